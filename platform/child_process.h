// A console child whose standard output and standard error share one pipe.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/mb_string.h"
#include "platform/platform_error.h"
#include "platform/time_limits.h"

// A program and its arguments, one element each, never split or joined again by a
// shell: element 0 names the program (a CFilePath's bytes, path_text.h), the rest are
// GBK text and reach it as its argv[1...].
using CArgumentList = std::vector<CString>;

class CChildProcess {
public:
    CChildProcess();
    // Ends the child and everything it started if still running, in a job or not.
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts arguments[0] with the other elements as its arguments. The program is a
    // path (path_text.h) or a bare name, which means
    // one of the system's own commands: on Windows the one in the system folder and
    // nowhere else, so a program planted in the program's or the current folder never
    // runs. The arguments are GBK text; each reaches the child whole, whatever blanks,
    // quotes or backslashes it holds. False when the pipe or the process cannot be
    // created; StartError() then says why (kNotFound for a missing program).
    bool Start(const CArgumentList& arguments);
    CPlatformError StartError() const;

    // Settings ("NAME=value", GBK text) laid over this process's environment for the
    // children started after the call: each replaces the variable of its name or adds
    // it. Without any, a child gets this process's environment as it is.
    void SetEnvironment(const std::vector<CString>& settings);

    // Bytes the next child started reads on its standard input, which then ends. Without
    // them its standard input is none.
    void SetInput(const std::string& bytes);

    enum { kReadEnd = -1, kReadIdle = 0 };
    // How long output may still arrive once the child itself has exited. Whatever it
    // started may hold the pipe open for much longer; the step does not wait for that.
    static constexpr int kExitGraceMs = kChildExitGraceMs;
    // Reads what the child wrote, waiting at most waitMs for something to arrive.
    // Returns the byte count, kReadIdle when nothing came in time, or kReadEnd once
    // every holder of the pipe's write end has closed it, once the child has exited and
    // nothing more came for kExitGraceMs, or when reading failed.
    int Read(char* buffer, int capacity, int waitMs);

    // Waits at most waitMs for the child itself to exit. True once it has, with its
    // exit status in *exitCode (-1 when a signal ended it); false while it still runs,
    // or when none was started.
    bool WaitForExit(int waitMs, int* exitCode);

    // Ends the child and everything it started.
    void Terminate();

private:
    bool StartChild(const CArgumentList& arguments);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
