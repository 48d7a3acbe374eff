#include "support/replace_file.h"

#include <atomic>
#include <cwchar>

namespace support {

namespace {

// A few names are tried when one is taken already (a file left by a run that
// was killed, or another program's).
constexpr int kNameAttempts = 8;

std::atomic<unsigned> g_counter{0};

// Eight hexadecimal digits that differ at every call of the process and,
// through the process id and the clock, between processes.
unsigned next_number() {
    const unsigned count = g_counter.fetch_add(1, std::memory_order_relaxed);
    const unsigned mixed = (GetCurrentProcessId() << 16) ^ (GetTickCount() << 4) ^ (count * 0x9E3779B1u);
    return mixed;
}

bool taken(DWORD error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

void delete_new_file(const wchar_t* path) {
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path);
}

}  // namespace

bool path_beside(PathSlot& beside, const wchar_t* target, const wchar_t* ending) {
    if (target == nullptr || ending == nullptr) return false;
    std::size_t folder = 0;
    for (std::size_t i = 0; target[i] != L'\0'; ++i)
        if (target[i] == L'\\' || target[i] == L'/') folder = i + 1;
    // A path without a folder would make the file wherever the current
    // directory is.
    if (folder == 0) return false;
    wchar_t name[32];
    std::swprintf(name, 32, L"~zz%08x%ls", next_number(), ending);
    if (std::wcslen(name) >= 31) return false;
    if (folder + std::wcslen(name) >= PathSlot::capacity()) return false;
    if (!beside.assign(std::wstring_view(target, folder))) return false;
    return beside.append(name);
}

DWORD copy_then_rename(const wchar_t* source, const wchar_t* target, BesideHook hook, void* context) {
    if (source == nullptr || target == nullptr) return ERROR_INVALID_PARAMETER;
    PathSlot beside;
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kNameAttempts && taken(error); ++attempt) {
        if (!path_beside(beside, target, L".new")) return ERROR_FILENAME_EXCED_RANGE;
        if (hook != nullptr && !hook(context, beside.c_str())) {
            const DWORD refused = GetLastError();
            return refused != 0 ? refused : ERROR_CANCELLED;
        }
        // Never over an existing file: the name must be new.
        error = CopyFileW(source, beside.c_str(), TRUE) ? 0 : GetLastError();
    }
    if (error != 0) {
        // A copy that stopped half way (a full disk) leaves a partial file;
        // a name that was taken is somebody else's and stays.
        if (!taken(error)) delete_new_file(beside.c_str());
        return error;
    }
    if (!MoveFileExW(beside.c_str(), target, kReplaceFlags)) {
        error = GetLastError();
        delete_new_file(beside.c_str());
        return error;
    }
    return 0;
}

DWORD keep_beside(const wchar_t* target, PathSlot& kept) {
    if (target == nullptr) return ERROR_INVALID_PARAMETER;
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kNameAttempts && taken(error); ++attempt) {
        if (!path_beside(kept, target, L".old")) return ERROR_FILENAME_EXCED_RANGE;
        error = CreateHardLinkW(kept.c_str(), target, nullptr) ? 0 : GetLastError();
        // A volume without second names (FAT), or one that refuses them
        // here: a copy keeps the old content as well.
        if (error != 0 && !taken(error)) {
            error = CopyFileW(target, kept.c_str(), TRUE) ? 0 : GetLastError();
            if (error != 0 && !taken(error)) delete_new_file(kept.c_str());
        }
    }
    return error;
}

}  // namespace support
