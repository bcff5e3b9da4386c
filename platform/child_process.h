// A console child whose standard output and standard error share one pipe.
#pragma once

#include <memory>

#include "platform/mb_string.h"

class CChildProcess {
public:
    CChildProcess();
    ~CChildProcess();  // ends the child and everything it started if still running
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts the command line without any shell: its first word names the program.
    // False when the pipe or the process cannot be created.
    bool Start(const CString& commandLine);

    enum { kReadEnd = -1, kReadIdle = 0 };
    // Reads what the child wrote, waiting at most waitMs for something to arrive.
    // Returns the byte count, kReadIdle when nothing came in time, or kReadEnd once
    // every holder of the pipe's write end has closed it (or reading failed).
    int Read(char* buffer, int capacity, int waitMs);

    // Ends the child and everything it started.
    void Terminate();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
