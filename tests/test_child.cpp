// Child program for the capture tests: prints what each mode asks for.
//   args A B ...     each argument on a line of its own, in brackets (GBK on Windows)
//   bytes N          N bytes of a repeating pattern in one write
//   gbk-split        4095 bytes, then a GBK character across the 4096-byte border
//   nul              "abc", NUL, "def"; a pause; then "ghi"
//   exact            exactly 4096 bytes; a pause; then "tail"
//   silent           nothing
//   sleep S          nothing for S seconds
//   spawn FILE S     starts "sleep S" as its own child, writes that child's id to FILE, sleeps S
//   stream MIB       MIB mebibytes in 64 KiB writes
//   flood            64 KiB writes without end, until the pipe breaks or it is ended
//   leave FILE MS    starts "late MS" as its own child (holding the pipe), writes that
//                    child's id to FILE, prints "left" and exits at once
//   late MS          after MS milliseconds prints "late", then holds the pipe for 60 s
//   folder           the folder this program runs from, as the platform layer finds it
//   env NAME...      NAME=value for each variable that is set, "NAME unset" for the others
//   exit N           ends with exit status N
//   startup          (Windows) what its start-up record and standard input say
//   handle VALUE     (Windows) "open" when a handle of that value exists here, else "closed"
// Started under another name (a planted ping.exe), it prints only "planted NAME".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/program_path.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#else
#include <spawn.h>
#include <unistd.h>
extern char** environ;
#endif

namespace {

void Write(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

void Pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

std::string Pattern(size_t count) {
    std::string bytes(count, ' ');
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

long SpawnSelf(const char* self, const char* mode, const char* argument) {
#ifdef _WIN32
    std::string line = std::string("\"") + self + "\" " + mode + " " + argument;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
        return -1;
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return static_cast<long>(child.dwProcessId);
#else
    pid_t pid = -1;
    char* argv[] = {const_cast<char*>(self), const_cast<char*>(mode), const_cast<char*>(argument), nullptr};
    if (posix_spawn(&pid, self, nullptr, nullptr, argv, environ) != 0) return -1;
    return static_cast<long>(pid);
#endif
}

void WriteId(const char* file, long id) {
    if (FILE* out = std::fopen(file, "w")) {
        std::fprintf(out, "%ld\n", id);
        std::fclose(out);
    }
}

// True when this program was started under a name other than its own.
bool StartedUnderAnotherName(std::string* name) {
    *name = GetExecutableBaseName();
    return !name->empty() && *name != "test_child";
}

#ifdef _WIN32
const char* InputKind(HANDLE input) {
    DWORD mode = 0;
    if (GetConsoleMode(input, &mode)) return "console";
    switch (GetFileType(input)) {
        case FILE_TYPE_DISK: return "file";
        case FILE_TYPE_PIPE: return "pipe";
        case FILE_TYPE_CHAR: return "device";
        default: return "unknown";
    }
}

// The arguments as the system passed them, in GBK whatever the ANSI code page is.
void WriteWideArguments() {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 2; words && i < count; ++i) {
        char gbk[512] = {};
        WideCharToMultiByte(936, 0, words[i], -1, gbk, sizeof gbk - 1, nullptr, nullptr);
        Write(std::string("[") + gbk + "]\n");
    }
    LocalFree(words);
}

void DescribeStartup() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char text[160];
    std::snprintf(text, sizeof text, "reserved2=%u flags=0x%lx show=%u stdin=%s\n",
                  static_cast<unsigned>(startup.cbReserved2), static_cast<unsigned long>(startup.dwFlags),
                  static_cast<unsigned>(startup.wShowWindow),
                  input == nullptr || input == INVALID_HANDLE_VALUE ? "none" : InputKind(input));
    Write(text);
}

void DescribeHandle(const char* value) {
    const auto handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::strtoull(value, nullptr, 10)));
    DWORD flags = 0;
    Write(GetHandleInformation(handle, &flags) ? "open\n" : "closed\n");
}
#endif

// The modes that only write: true when mode is one of them (and it has run).
bool RunWritingMode(const std::string& mode, int argc, char** argv) {
    if (mode == "args") {
#ifdef _WIN32
        WriteWideArguments();
#else
        for (int i = 2; i < argc; ++i) Write(std::string("[") + argv[i] + "]\n");
#endif
    } else if (mode == "bytes" && argc > 2) {
        Write(Pattern(std::strtoul(argv[2], nullptr, 10)));
    } else if (mode == "gbk-split") {
        Write(Pattern(4095) + "\xBC\xEC" + "end");
    } else if (mode == "nul") {
        Write(std::string("abc\0def", 7));
        Pause(300);
        Write("ghi");
    } else if (mode == "exact") {
        Write(Pattern(4096));
        Pause(300);
        Write("tail");
    } else if (mode == "input") {
        // Standard input back on standard output, whole.
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        std::string input;
        char piece[4096];
        for (size_t got; (got = std::fread(piece, 1, sizeof piece, stdin)) > 0;) input.append(piece, got);
        Write(input);
    } else if (mode == "folder") {
        Write(GetExecutableDirectory());
    } else if (mode == "env") {
        for (int i = 2; i < argc; ++i) {
            const char* value = std::getenv(argv[i]);
            Write(std::string(argv[i]) + (value ? std::string("=") + value : std::string(" unset")) + "\n");
        }
    } else if (mode == "stream" && argc > 2) {
        const std::string block = Pattern(64 * 1024);
        const long blocks = std::strtol(argv[2], nullptr, 10) * 16;
        for (long i = 0; i < blocks; ++i) std::fwrite(block.data(), 1, block.size(), stdout);
        std::fflush(stdout);
    } else if (mode == "flood") {
        const std::string block = Pattern(64 * 1024);
        while (std::fwrite(block.data(), 1, block.size(), stdout) == block.size()) {
        }
    } else {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::string name;
    if (StartedUnderAnotherName(&name)) {
        Write("planted " + name + "\n");
        return 0;
    }
    if (argc < 2) return 2;
    const std::string mode = argv[1];
    if (RunWritingMode(mode, argc, argv)) return 0;
    if (mode == "silent") {
    } else if (mode == "sleep" && argc > 2) {
        Pause(1000 * std::atoi(argv[2]));
    } else if (mode == "spawn" && argc > 3) {
        WriteId(argv[2], SpawnSelf(argv[0], "sleep", argv[3]));
        Pause(1000 * std::atoi(argv[3]));
    } else if (mode == "leave" && argc > 3) {
        WriteId(argv[2], SpawnSelf(argv[0], "late", argv[3]));
        Write("left");
    } else if (mode == "late" && argc > 2) {
        Pause(std::atoi(argv[2]));
        Write("late");
        Pause(60 * 1000);
    } else if (mode == "exit" && argc > 2) {
        return std::atoi(argv[2]);
#ifdef _WIN32
    } else if (mode == "startup") {
        DescribeStartup();
    } else if (mode == "handle" && argc > 2) {
        DescribeHandle(argv[2]);
#endif
    } else {
        return 2;
    }
    return 0;
}
