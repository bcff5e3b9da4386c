// Child program for the capture tests: prints what each mode asks for.
//   args A B ...     each argument on a line of its own, in brackets
//   bytes N          N bytes of a repeating pattern in one write
//   gbk-split        4095 bytes, then a GBK character across the 4096-byte border
//   nul              "abc", NUL, "def"; a pause; then "ghi"
//   exact            exactly 4096 bytes; a pause; then "tail"
//   silent           nothing
//   sleep S          nothing for S seconds
//   spawn FILE S     starts "sleep S" as its own child, writes that child's id to FILE, sleeps S
//   stream MIB       MIB mebibytes in 64 KiB writes
//   flood            64 KiB writes without end, until the pipe breaks or it is ended
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
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

long SpawnSleeper(const char* self, const char* seconds) {
#ifdef _WIN32
    std::string line = std::string("\"") + self + "\" sleep " + seconds;
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
    char* argv[] = {const_cast<char*>(self), const_cast<char*>("sleep"), const_cast<char*>(seconds), nullptr};
    if (posix_spawn(&pid, self, nullptr, nullptr, argv, environ) != 0) return -1;
    return static_cast<long>(pid);
#endif
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (argc < 2) return 2;
    const std::string mode = argv[1];
    if (mode == "args") {
        for (int i = 2; i < argc; ++i) Write(std::string("[") + argv[i] + "]\n");
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
    } else if (mode == "silent") {
    } else if (mode == "sleep" && argc > 2) {
        Pause(1000 * std::atoi(argv[2]));
    } else if (mode == "spawn" && argc > 3) {
        const long id = SpawnSleeper(argv[0], argv[3]);
        if (FILE* file = std::fopen(argv[2], "w")) {
            std::fprintf(file, "%ld\n", id);
            std::fclose(file);
        }
        Pause(1000 * std::atoi(argv[3]));
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
        return 2;
    }
    return 0;
}
