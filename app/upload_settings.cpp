#include "app/upload_settings.h"

#include <windows.h>

#include "platform/program_path.h"
#include "platform/wide_text.h"

namespace {

// One value of the [upload] section, at most a line's worth; longer is cut and then
// refused as an address by the upload itself.
std::wstring UploadValue(const std::wstring& file, const wchar_t* key) {
    wchar_t value[1024] = {};
    GetPrivateProfileStringW(L"upload", key, L"", value, sizeof value / sizeof value[0], file.c_str());
    return value;
}

std::string Ascii(const std::wstring& text) {
    std::string out;
    for (const wchar_t ch : text) out.push_back(ch > 0x20 && ch < 0x7F ? static_cast<char>(ch) : '?');
    return out;
}

}  // namespace

CUploadSettings ReadUploadSettings() {
    CUploadSettings settings;
    std::wstring folder;
    if (!PathToWide(GetExecutableDirectory(), &folder) || folder.empty()) return settings;
    const std::wstring file = folder + L"tollvane.ini";
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return settings;
    settings.url = Ascii(UploadValue(file, L"url"));
    settings.redact = UploadValue(file, L"redact") != L"0";
    return settings;
}
