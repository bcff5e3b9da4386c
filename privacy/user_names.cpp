// The user's name as paths and proxy URLs show it. A Windows user name may be Chinese,
// so a name runs over GBK characters up to the next separator.
#include <algorithm>
#include <cctype>

#include "privacy/personal_data.h"
#include "privacy/text_tokens.h"

namespace {

bool EndsName(char ch) {
    return ch == '\\' || ch == '/' || ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' ||
           ch == '"' || ch == '\'' || ch == ':' || ch == '@' || ch == ';' || ch == ',' ||
           ch == '<' || ch == '>' || ch == '|' || ch == '(' || ch == ')';
}

// The name starting at offset at, up to a separator (a Chinese character's second byte
// is never one).
std::string_view NameAt(std::string_view text, const std::vector<bool>& starts, size_t at) {
    size_t end = at;
    while (end < text.size() && !(starts[end] && EndsName(text[end]))) ++end;
    return text.substr(at, end - at);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

void AddName(std::vector<std::string>* names, std::string_view name) {
    // Folders every Windows machine has name nobody.
    for (std::string_view common : {"public", "default", "default user", "all users"})
        if (EqualsIgnoringCase(name, common)) return;
    if (name.empty() || name.size() > 64) return;
    for (const std::string& known : *names)
        if (EqualsIgnoringCase(known, name)) return;
    names->emplace_back(name);
}

// Offsets just after each case-blind occurrence of key that starts a character.
std::vector<size_t> After(std::string_view text, const std::vector<bool>& starts,
                          std::string_view key) {
    std::vector<size_t> found;
    for (size_t at = 0; at + key.size() <= text.size(); ++at)
        if (starts[at] && EqualsIgnoringCase(text.substr(at, key.size()), key))
            found.push_back(at + key.size());
    return found;
}

void ReadProxyUser(std::string_view text, const std::vector<bool>& starts, size_t at,
                   CPersonalData* data) {
    const std::string_view user = NameAt(text, starts, at);
    size_t end = at + user.size();
    if (end >= text.size() || (text[end] != ':' && text[end] != '@')) return;
    std::string_view password;
    if (text[end] == ':') {
        password = NameAt(text, starts, end + 1);
        end += 1 + password.size();
        if (end >= text.size() || text[end] != '@') return;  // host:port, not user:password
    }
    AddName(&data->userNames, user);
    if (!password.empty()) data->secrets.emplace_back(password);
}

}  // namespace

void ReadUserNames(std::string_view text, CPersonalData* data) {
    const std::vector<bool> starts = CharStarts(text);
    for (std::string_view key : {"users\\", "users/", "/home/"})
        for (size_t at : After(text, starts, key))
            AddName(&data->userNames, NameAt(text, starts, at));
    for (size_t at : After(text, starts, "://")) ReadProxyUser(text, starts, at, data);
}
