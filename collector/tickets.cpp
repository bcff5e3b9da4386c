#include "collector/tickets.h"

#include <sys/random.h>

#include <cctype>
#include <cstring>
#include <stdexcept>

namespace {

const char kAlphabet[] = "23456789ABCDEFGHJKMNPQRSTUVWXYZ";
constexpr unsigned kAlphabetSize = sizeof kAlphabet - 1;

// Fills with bytes from the kernel's CSPRNG; a short read is retried, and a failure
// ends the program's use of it rather than ever handing out a predictable code.
void FillRandom(unsigned char* bytes, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t got = getrandom(bytes + done, count - done, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("the system's random source failed");
        }
        done += static_cast<size_t>(got);
    }
}

bool InAlphabet(char c) { return c != '\0' && std::strchr(kAlphabet, c) != nullptr; }

}  // namespace

std::string NewTicket() {
    std::string ticket;
    while (ticket.size() < 9) {
        if (ticket.size() == 4) ticket += '-';
        unsigned char byte = 0;
        FillRandom(&byte, 1);
        // Bytes past the last whole multiple of the alphabet are drawn again, so every
        // character is equally likely.
        if (byte >= 256 - 256 % kAlphabetSize) continue;
        ticket += kAlphabet[byte % kAlphabetSize];
    }
    return ticket;
}

bool NormalizeTicket(const std::string& text, std::string* ticket) {
    if (text.size() != 9 || text[4] != '-') return false;
    std::string upper = text;
    for (size_t i = 0; i < upper.size(); ++i) {
        if (i == 4) continue;
        upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[i])));
        if (!InAlphabet(upper[i])) return false;
    }
    *ticket = upper;
    return true;
}

std::string RandomHex(size_t bytes) {
    std::string raw(bytes, '\0');
    FillRandom(reinterpret_cast<unsigned char*>(raw.data()), bytes);
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : raw) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}
