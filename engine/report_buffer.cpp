#include "engine/report_buffer.h"

void CReportBuffer::Append(const CString& text) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bytes += text;
}

void CReportBuffer::Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bytes.Empty();
}

CString CReportBuffer::Snapshot() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bytes;
}
