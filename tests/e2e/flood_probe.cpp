// Stands in for a helper program gone wrong in the window test: whatever its arguments,
// it prints lines without end until it is ended.
#include <cstdio>

int main() {
    const char line[] = "Connecting to 127.0.0.1:80: flood\r\n";
    for (;;) {
        if (std::fwrite(line, 1, sizeof line - 1, stdout) != sizeof line - 1) return 1;
    }
}
