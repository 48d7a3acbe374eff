// Updating one candidate: download, check, extract, carry the installed
// file's identity over, put the new file in place of the installed one. The
// installed file is only ever touched by the last step, so any earlier
// failure leaves it as it was; the last step itself keeps the installed file
// until the new one is in place whole, and puts it back otherwise.

#include <windows.h>

#include <cstring>
#include <span>
#include <vector>

#include "package/cabinet_extract.h"
#include "support/format_bounded.h"
#include "support/replace_file.h"
#include "support/text_slot.h"
#include "support/version_resource.h"
#include "support/unique_handle.h"
#include "support/wide.h"
#include "update/ime_update.h"
#include "update/signature_check.h"

namespace update {
namespace {

constexpr const wchar_t* kPackageFileFormat = L"%ls_zzautodownload.cab";
constexpr std::uint16_t kBitmapType = 2;  // RT_BITMAP
constexpr std::uint16_t kIconType = 3;    // RT_ICON
constexpr support::ResourceId kSkinBitmaps[] = {{kBitmapType, 103}, {kBitmapType, 104}};
constexpr support::ResourceId kMainIcon[] = {{kIconType, 1}};
constexpr const wchar_t* const kCarriedStrings[] = {L"FileDescription", L"CompanyName"};

// The file an item's cabinet brings: the component's name with the ending
// of its kind, the bare name for other kinds.
support::TextSlot<64> package_file_name(const UpdateEntry& candidate) {
    support::TextSlot<64> name;
    const wchar_t* text = support::as_wide(candidate.name);
    switch (candidate.type) {
    case kItemCodeTableDriver:
    case kItemSkinDriver: name.format(L"%ls.dll", text); break;
    case kItemImeMain: name.format(L"%ls.ime", text); break;
    case kItemConfigProgram:
    case kItemInstallBase: name.format(L"%ls.exe", text); break;
    default: name.assign(text); break;
    }
    return name;
}

// Makes the new file look like the installed one: the skin driver keeps
// its bitmaps, the IME and the uninstaller their icon, every file its
// description and company name. An installed string that is missing or
// empty hands nothing over: the new file keeps its own text rather than
// losing it. One rewrite of the new file for all of it, none when it has
// them already.
bool carry_identity(const UpdateEntry& candidate, const wchar_t* new_file) {
    // A cabinet without the expected file has nothing to carry into.
    if (GetFileAttributesW(new_file) == INVALID_FILE_ATTRIBUTES) return false;
    const wchar_t* installed = support::as_wide(candidate.path);
    std::span<const support::ResourceId> resources;
    if (candidate.type == kItemSkinDriver) resources = kSkinBitmaps;
    if (candidate.type == kItemImeMain || candidate.type == kItemInstallBase) resources = kMainIcon;
    return support::CarryIdentity(new_file, installed, resources, kCarriedStrings) != 0;
}

// A file of that name left in the temporary directory by an earlier
// update must not pass for this package's: it goes before extracting.
bool clear_stale_file(const wchar_t* path) {
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(path) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

// Extracts the whole package into the temporary directory.
enum class Extraction { ok, no_context, failed };

Extraction extract_package(const wchar_t* package, const wchar_t* folder) {
    Cabinet::CExtract extract;
    if (!extract.CreateFDIContext()) return Extraction::no_context;
    const BOOL extracted = extract.ExtractFile(package, folder);
    extract.DestroyFDIContext();
    return extracted ? Extraction::ok : Extraction::failed;
}

// Whether the two files hold the same bytes.
bool same_content(const wchar_t* a, const wchar_t* b) {
    const support::UniqueHandle first(
        CreateFileW(a, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const support::UniqueHandle second(CreateFileW(b, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER first_size{};
    LARGE_INTEGER second_size{};
    if (!first || !second || !GetFileSizeEx(first.get(), &first_size) || !GetFileSizeEx(second.get(), &second_size) ||
        first_size.QuadPart != second_size.QuadPart)
        return false;
    static constexpr DWORD kChunk = 64 * 1024;
    std::vector<char> one(kChunk);
    std::vector<char> other(kChunk);
    for (LONGLONG left = first_size.QuadPart; left > 0;) {
        const DWORD wanted = left < kChunk ? static_cast<DWORD>(left) : kChunk;
        DWORD read_one = 0;
        DWORD read_other = 0;
        if (!ReadFile(first.get(), one.data(), wanted, &read_one, nullptr) ||
            !ReadFile(second.get(), other.data(), wanted, &read_other, nullptr) || read_one != wanted ||
            read_other != wanted || std::memcmp(one.data(), other.data(), wanted) != 0)
            return false;
        left -= wanted;
    }
    return true;
}

// The kept installed file goes: deleted now, or at the next restart when a
// program still holds it.
void forget_kept(const wchar_t* kept) {
    SetFileAttributesW(kept, FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(kept)) MoveFileExW(kept, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace

DWORD replace_installed_file(const wchar_t* new_file, const wchar_t* installed) {
    if (new_file == nullptr || installed == nullptr) return ERROR_INVALID_PARAMETER;
    // The installed file is kept under a second name beside itself until
    // the item has succeeded (a component that is missing has nothing to
    // keep).
    support::PathSlot kept;
    const bool existed = GetFileAttributesW(installed) != INVALID_FILE_ATTRIBUTES;
    if (existed) {
        // A file that a program holds against deletion can't be replaced
        // now; asked first, so that no kept name is left that nothing can
        // delete while the program runs.
        const support::UniqueHandle probe(CreateFileW(installed, DELETE,
                                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!probe) return GetLastError();
    }
    if (existed) {
        const DWORD error = support::keep_beside(installed, kept);
        if (error != 0) return error;
    }
    // Written beside the installed file and renamed over it: its name never
    // holds a partly written file. A failed copy or rename leaves the
    // installed file in place, and only the kept name goes.
    const DWORD error = support::copy_then_rename(new_file, installed);
    if (error != 0) {
        if (existed) forget_kept(kept.c_str());
        return error;
    }
    // In place, it must read back as the file made ready for it; otherwise
    // what was installed goes back.
    if (same_content(new_file, installed)) {
        if (existed) forget_kept(kept.c_str());
        return 0;
    }
    SetFileAttributesW(installed, FILE_ATTRIBUTE_NORMAL);
    if (!existed) DeleteFileW(installed);
    else if (!MoveFileExW(kept.c_str(), installed, support::kReplaceFlags)) forget_kept(kept.c_str());
    return ERROR_FILE_CORRUPT;
}

int ZZIMEUpdate::refuse(const wchar_t* format, const UpdateEntry& candidate) {
    support::TextSlot<128> message;
    message.format(format, support::as_wide(candidate.name));
    post(message.c_str());
    return 0;
}

int ZZIMEUpdate::UpdateItem(UpdateEntry* candidate) {
    if (candidate == nullptr) return 0;
    const wchar_t* name = support::as_wide(candidate->name);
    support::TextSlot<128> message;
    message.format(kUpdatingFormat, name);
    post(message.c_str());

    // A signed list vouches for a package only through its digest, and a
    // replayed old list must not take a component back.
    DigestTag listed{};
    if (verifies()) {
        listed = parse_digest_text(candidate->digest);
        if (listed.status == DigestStatus::missing) return refuse(kDigestMissingFormat, *candidate);
        if (listed.status == DigestStatus::malformed) return refuse(kDigestMalformedFormat, *candidate);
        if (candidate->new_version < candidate->local_version) return refuse(kDowngradeFormat, *candidate);
    }

    support::PathSlot package;
    package.format(kPackageFileFormat, temp_directory_.c_str());
    if (!Download(support::as_wide(candidate->package_address), package.c_str(), kPackageSizeLimit)) {
        message.format(kDownloadFailedFormat, name);
        post(message.c_str());
        return 0;
    }
    // Held open without write or delete sharing from the check through the
    // extraction: what is extracted is what was checked.
    const support::UniqueHandle held(open_file_locked(package.c_str()));
    if (!held) {
        post(kExtractFailed);
        return 0;
    }
    if (verifies() && !file_has_digest(held.get(), listed.digest)) return refuse(kDigestMismatchFormat, *candidate);

    support::PathSlot new_file;
    new_file.format(L"%ls%ls", temp_directory_.c_str(), package_file_name(*candidate).c_str());
    if (!clear_stale_file(new_file.c_str())) {
        post(kExtractFailed);
        return 0;
    }
    switch (extract_package(package.c_str(), temp_directory_.c_str())) {
    case Extraction::no_context: post(kNoDecoderContext); return 0;
    case Extraction::failed: post(kExtractFailed); return 0;
    case Extraction::ok: break;
    }

    if (!carry_identity(*candidate, new_file.c_str())) {
        post(kIdentityFailed);
        return 0;
    }
    const DWORD error = replace_installed_file(new_file.c_str(), support::as_wide(candidate->path));
    if (error != 0) {
        post(kReplaceFailed);
        SetLastError(error);
        return 0;
    }
    return 1;
}

}  // namespace update
