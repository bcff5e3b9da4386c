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

    // Starts the command line without any shell: its first word names the program,
    // double quotes group a word that holds blanks. That word is a path (in the
    // file-name encoding of program_path.h) or a bare name, which means one of the
    // system's own commands: on Windows the one in the system folder and nowhere else,
    // so a program planted in the program's or the current folder never runs. The
    // rest of the line is GBK text. False when the pipe or the process cannot be created.
    bool Start(const CString& commandLine);

    enum { kReadEnd = -1, kReadIdle = 0 };
    // How long output may still arrive once the child itself has exited. Whatever it
    // started may hold the pipe open for much longer; the step does not wait for that.
    static constexpr int kExitGraceMs = 2000;
    // Reads what the child wrote, waiting at most waitMs for something to arrive.
    // Returns the byte count, kReadIdle when nothing came in time, or kReadEnd once
    // every holder of the pipe's write end has closed it, once the child has exited and
    // nothing more came for kExitGraceMs, or when reading failed.
    int Read(char* buffer, int capacity, int waitMs);

    // Ends the child and everything it started.
    void Terminate();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
