// Growable array of strings, kept in append order.
#pragma once

#include <stdexcept>
#include <vector>

#include "platform/mb_string.h"

class CStringArray {
public:
    int Add(const CString& text) {
        m_items.push_back(text);
        return GetSize() - 1;
    }
    int GetSize() const { return static_cast<int>(m_items.size()); }
    // Reading outside the array throws, as the framework's array does.
    const CString& GetAt(int index) const {
        if (index < 0 || index >= GetSize()) throw std::invalid_argument("CStringArray index");
        return m_items[static_cast<size_t>(index)];
    }

private:
    std::vector<CString> m_items;
};
