// Shared pieces of the tests: the child program, a recording front end, and a TCP
// server on loopback that answers each connection from a script.
#pragma once

#include <atomic>
#include <functional>
#include <ostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/check_frontend.h"
#include "platform/local_time.h"

// Readable failure messages for the string class.
inline void PrintTo(const CString& text, std::ostream* out) { *out << '"' << text.Bytes() << '"'; }

#include "platform/child_process.h"

// The words of a test's command, split at blanks (the tests' own words hold none).
CArgumentList SplitTestWords(const std::string& line);
// Starts the test child program with the given mode and arguments (split at blanks).
CArgumentList TestChildCommand(const std::string& arguments);
// The test child program's own path.
std::string TestChildPath();
// A path the test child and the test agree on, under the build folder.
std::string TestScratchPath(const std::string& name);
bool IsProcessAlive(long processId);
// Starts the socket layer once per test program.
void EnsureNetworking();

// Keeps everything a check run hands its front end.
class CRecordingFrontEnd : public ICheckFrontEnd {
public:
    void AppendOutput(const CString& text) override;
    void StepProgress(int step, const CString& name) override;
    void NotifyCheckDone() override;

    std::string Report() const;
    std::vector<std::string> Appends() const;
    int ProgressSteps() const;
    int DoneNotices() const;

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_appends;
    int m_progress = 0;
    int m_done = 0;
};

#ifndef _WIN32
// Gives PATH a value for as long as it lives, then puts the old one back. (Windows looks
// for commands in its system folders whatever PATH says, so it has no use for this.)
class CScopedPath {
public:
    explicit CScopedPath(const std::string& value);
    ~CScopedPath();
    CScopedPath(const CScopedPath&) = delete;
    CScopedPath& operator=(const CScopedPath&) = delete;

private:
    std::string m_saved;
};
#endif

// The same fixed time for every step header.
CLocalTime FixedClock();

// One accepted connection, as the server's script sees it.
class CServerConnection {
public:
    CServerConnection(intptr_t socket, const std::atomic<bool>* stopping)
        : m_socket(socket), m_stopping(stopping) {}
    // Reads until the text ends with terminator, the peer closes, or 5 s pass.
    std::string ReadUntil(const std::string& terminator);
    void Send(const std::string& bytes);
    // Returns false once the peer has gone.
    bool TrySend(const std::string& bytes);
    // Keeps the connection open and silent until the server is destroyed.
    void HoldUntilStopped();
    bool Stopping() const { return m_stopping->load(); }

private:
    intptr_t m_socket;
    const std::atomic<bool>* m_stopping;
};

// Listens on 127.0.0.1 (or another loopback address) at a port of its choosing and
// runs the script once per connection, one connection at a time, on its own thread.
class CLoopbackServer {
public:
    using Script = std::function<void(CServerConnection&)>;
    explicit CLoopbackServer(Script script, const char* address = "127.0.0.1", int port = 0);
    ~CLoopbackServer();
    CLoopbackServer(const CLoopbackServer&) = delete;
    CLoopbackServer& operator=(const CLoopbackServer&) = delete;

    int Port() const { return m_port; }
    int Connections() const { return m_connections.load(); }

private:
    void Serve();

    Script m_script;
    intptr_t m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};
