#include "platform/http_client.h"

#include <algorithm>

bool CHttpPage::ReadLine(CString* line) {
    for (;;) {
        const size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            *line = CString(m_pending.data(), static_cast<int>(end));
            m_pending.erase(0, end + 1);
            return true;
        }
        if (m_ended) {
            if (m_pending.empty()) return false;
            *line = CString(m_pending);
            m_pending.clear();
            return true;
        }
        char buffer[4096];
        const int room = std::min(static_cast<int>(sizeof buffer), m_maxBody - m_bodyRead);
        const int got = room > 0 ? ReadSome(buffer, room) : 0;
        if (got <= 0) {
            m_ended = true;
        } else {
            m_pending.append(buffer, static_cast<size_t>(got));
            m_bodyRead += got;
        }
    }
}
