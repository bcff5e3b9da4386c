// The check report as it grows: the GBK bytes the worker appended, in order. Each front
// end shows the report in its own way; saving writes these bytes, so the file never
// depends on how the report was shown.
#pragma once

#include <mutex>

#include "platform/mb_string.h"

class CReportBuffer {
public:
    // Safe from any thread; a piece is appended whole or, when memory runs out
    // (std::bad_alloc), not at all.
    void Append(const CString& text);
    void Clear();
    // The bytes appended so far.
    CString Snapshot() const;

private:
    mutable std::mutex m_lock;
    CString m_bytes;
};
