#include "app/private_folder.h"

#include <ntsecapi.h>
#include <sddl.h>

#include <cwchar>
#include <string>

namespace app {
namespace {

// The SDDL of the folder's access list: protected (nothing inherited from
// the temporary folder), full access inherited by files and folders
// inside for the named accounts only.
std::wstring private_access_list() {
    if (is_elevated()) return L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
    support::UniqueHandle token;
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    token.reset(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    auto* user = reinterpret_cast<TOKEN_USER*>(buffer.data());
    if (!GetTokenInformation(token.get(), TokenUser, user, size, &size)) return {};
    wchar_t* sid = nullptr;
    if (!ConvertSidToStringSidW(user->User.Sid, &sid)) return {};
    std::wstring sddl = std::wstring(L"D:P(A;OICI;FA;;;") + sid + L")";
    LocalFree(sid);
    return sddl;
}

}  // namespace

bool is_elevated() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const support::UniqueHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

bool create_private_folder(const wchar_t* path) {
    const std::wstring sddl = private_access_list();
    if (sddl.empty()) return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const BOOL made = CreateDirectoryW(path, &attributes);
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    SetLastError(error);
    return made != FALSE;
}

bool has_reparse_point(const wchar_t* path) {
    if (path == nullptr || std::wcslen(path) < 3 || path[1] != L':' || path[2] != L'\\') return true;
    std::wstring level(path, 3);
    for (const wchar_t* p = path + 3; *p != L'\0'; ++p) {
        if (*p == L'\\') {
            const DWORD attributes = GetFileAttributesW(level.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
                return true;
        }
        level += *p;
    }
    const DWORD attributes = GetFileAttributesW(level.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

support::UniqueHandle pin_folder(const wchar_t* path, bool inheritable) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, inheritable ? TRUE : FALSE};
    // The link itself is opened, never followed, so that a link is seen.
    HANDLE raw = CreateFileW(path, FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (raw == INVALID_HANDLE_VALUE) return {};
    support::UniqueHandle folder(raw);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(folder.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return {};
    }
    return folder;
}

bool random_hex(wchar_t* text, std::size_t digits) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::size_t written = 0;
    while (written < digits) {
        // The system's generator (advapi32's RtlGenRandom, also what the
        // C library's rand_s uses where it exists).
        unsigned char bytes[16];
        if (!RtlGenRandom(bytes, sizeof bytes)) return false;
        for (std::size_t i = 0; i < sizeof bytes && written < digits; ++i) {
            text[written++] = kDigits[bytes[i] >> 4];
            if (written < digits) text[written++] = kDigits[bytes[i] & 0xF];
        }
    }
    text[written] = L'\0';
    return true;
}

}  // namespace app
