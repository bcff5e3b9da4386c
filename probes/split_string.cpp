#include "probes/split_string.h"

void SplitString(CString text, CString delimiter, CStringArray* array) {
    int start = 0;
    int pos = text.Find(delimiter.GetString());
    // Only a delimiter past the first byte splits: a leading one leaves the text whole,
    // so ".com" is a single label to the whois query.
    while (pos > 0) {
        array->Add(text.Mid(start, pos - start));
        start = pos + delimiter.GetLength();
        pos = text.Find(delimiter.GetString(), start);
    }
    array->Add(text.Mid(start));
}
