#include "tests/test_support.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
using socklen_t = int;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "platform/net_startup.h"

namespace {

#ifdef _WIN32
// Test paths are built on the Linux side; Wine sees that file system as drive Z.
std::string NativePath(std::string path) {
    for (char& ch : path) {
        if (ch == '/') ch = '\\';
    }
    return "Z:" + path;
}
void CloseSocket(intptr_t s) { closesocket(static_cast<SOCKET>(s)); }
#else
inline std::string NativePath(const std::string& path) { return path; }
void CloseSocket(intptr_t s) { close(static_cast<int>(s)); }
#endif

bool WaitReadable(intptr_t s, int milliseconds) {
#ifdef _WIN32
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(static_cast<SOCKET>(s), &ready);
    timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return select(0, &ready, nullptr, nullptr, &wait) > 0;
#else
    pollfd entry{static_cast<int>(s), POLLIN, 0};
    return poll(&entry, 1, milliseconds) > 0;
#endif
}

}  // namespace

CArgumentList SplitTestWords(const std::string& line) {
    CArgumentList words;
    size_t start = line.find_first_not_of(' ');
    while (start != std::string::npos) {
        const size_t end = line.find(' ', start);
        words.push_back(CString(line.substr(start, end == std::string::npos ? end : end - start)));
        start = line.find_first_not_of(' ', end);
    }
    return words;
}

CArgumentList TestChildCommand(const std::string& arguments) {
    CArgumentList command = SplitTestWords(arguments);
    command.insert(command.begin(), CString(NativePath(TEST_CHILD_PATH)));
    return command;
}

std::string TestChildPath() { return NativePath(TEST_CHILD_PATH); }

std::string TestScratchPath(const std::string& name) {
    return NativePath(std::string(TEST_BINARY_DIR) + "/" + name);
}

bool IsProcessAlive(long processId) {
#ifdef _WIN32
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId));
    if (!process) return false;
    DWORD code = 0;
    const bool alive = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return alive;
#else
    return processId > 0 && kill(static_cast<pid_t>(processId), 0) == 0;
#endif
}

void EnsureNetworking() {
    static std::once_flag once;
    std::call_once(once, [] { StartNetworking(); });
}

void CRecordingFrontEnd::AppendOutput(const CString& text) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_appends.push_back(text.Bytes());
}

void CRecordingFrontEnd::StepProgress(int, const CString&) {
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_progress;
}

void CRecordingFrontEnd::NotifyCheckDone() {
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_done;
}

std::string CRecordingFrontEnd::Report() const {
    std::lock_guard<std::mutex> guard(m_lock);
    std::string report;
    for (const std::string& piece : m_appends) report += piece;
    return report;
}

std::vector<std::string> CRecordingFrontEnd::Appends() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_appends;
}

int CRecordingFrontEnd::ProgressSteps() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_progress;
}

int CRecordingFrontEnd::DoneNotices() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_done;
}

#ifndef _WIN32
CScopedPath::CScopedPath(const std::string& value) {
    const char* path = std::getenv("PATH");
    m_saved = path ? path : "";
    setenv("PATH", value.c_str(), 1);
}

CScopedPath::~CScopedPath() { setenv("PATH", m_saved.c_str(), 1); }
#endif

CLocalTime FixedClock() { return {2026, 3, 7, 9, 5, 4}; }

std::string CServerConnection::ReadUntil(const std::string& terminator) {
    std::string received;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        if (received.size() >= terminator.size() &&
            received.compare(received.size() - terminator.size(), terminator.size(), terminator) == 0) {
            break;
        }
        if (!WaitReadable(m_socket, 100)) continue;
        char buffer[1024];
        const int got = static_cast<int>(recv(m_socket, buffer, sizeof buffer, 0));
        if (got <= 0) break;
        received.append(buffer, static_cast<size_t>(got));
    }
    return received;
}

void CServerConnection::HoldUntilStopped() {
    while (!m_stopping->load()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void CServerConnection::Send(const std::string& bytes) { TrySend(bytes); }

bool CServerConnection::TrySend(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
#ifdef _WIN32
        const int got = send(m_socket, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
#else
        const int got = static_cast<int>(
            send(static_cast<int>(m_socket), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL));
#endif
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

CLoopbackServer::CLoopbackServer(Script script, const char* address, int port)
    : m_script(std::move(script)) {
    EnsureNetworking();
    m_listener = static_cast<intptr_t>(socket(AF_INET, SOCK_STREAM, 0));
    int reuse = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    local.sin_addr.s_addr = inet_addr(address);
    bind(m_listener, reinterpret_cast<sockaddr*>(&local), sizeof local);
    listen(m_listener, 16);
    socklen_t size = sizeof local;
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&local), &size);
    m_port = ntohs(local.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

CLoopbackServer::~CLoopbackServer() {
    m_stopping = true;
    m_thread.join();
    CloseSocket(m_listener);
}

void CLoopbackServer::Serve() {
    while (!m_stopping) {
        if (!WaitReadable(m_listener, 50)) continue;
        const intptr_t peer = static_cast<intptr_t>(accept(m_listener, nullptr, nullptr));
        if (peer < 0) continue;
        ++m_connections;
        CServerConnection connection(peer, &m_stopping);
        m_script(connection);
        CloseSocket(peer);
    }
}
