#include "support/version_resource.h"

#include <windows.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "support/text_slot.h"
#include "support/unique_handle.h"
#include "support/version_block.h"
#include "support/wide.h"

namespace support {
namespace {

struct Translation {
    std::uint16_t language;
    std::uint16_t code_page;
};

// The file's version information as the system hands it out; empty when
// it has none.
std::vector<std::uint8_t> read_version_info(const wchar_t* path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) return {};
    std::vector<std::uint8_t> info(size, 0);
    if (!GetFileVersionInfoW(path, 0, size, info.data())) return {};
    return info;
}

std::vector<Translation> translations(std::vector<std::uint8_t>& info) {
    void* table = nullptr;
    UINT bytes = 0;
    std::vector<Translation> out;
    if (info.empty() || !VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &table, &bytes) || !table)
        return out;
    const auto* words = static_cast<const std::uint16_t*>(table);
    for (UINT i = 0; i + 1 < bytes / sizeof(std::uint16_t); i += 2) out.push_back({words[i], words[i + 1]});
    return out;
}

// Looks up string `key` in the table of one translation; false when that
// table doesn't have it.
bool lookup(std::vector<std::uint8_t>& info, Translation entry, const wchar_t* key, std::wstring_view& text) {
    TextSlot<256> query;  // longer keys are cut, as a query path of 255 characters
    query.format(L"\\StringFileInfo\\%04x%04x\\%ls", entry.language, entry.code_page, key);
    void* value = nullptr;
    UINT units = 0;
    if (!VerQueryValueW(info.data(), query.c_str(), &value, &units) || value == nullptr) return false;
    const auto* units_found = static_cast<const wchar_t*>(value);
    std::size_t length = 0;
    while (length < units && units_found[length] != L'\0') ++length;
    text = std::wstring_view(units_found, length);
    return true;
}

// The first translation whose table has `key`, and the string found there.
bool find_string(std::vector<std::uint8_t>& info, const wchar_t* key, Translation& where, std::wstring_view& text) {
    for (const Translation& entry : translations(info)) {
        if (lookup(info, entry, key, text)) {
            where = entry;
            return true;
        }
    }
    return false;
}

// A resource update that is discarded unless committed.
class ResourceUpdate {
public:
    explicit ResourceUpdate(const wchar_t* path) : handle_(BeginUpdateResourceW(path, FALSE)) {}
    ResourceUpdate(const ResourceUpdate&) = delete;
    ResourceUpdate& operator=(const ResourceUpdate&) = delete;
    ~ResourceUpdate() {
        if (handle_ != nullptr) EndUpdateResourceW(handle_, TRUE);
    }
    explicit operator bool() const { return handle_ != nullptr; }
    bool replace(WORD type, WORD name, WORD language, const void* bytes, DWORD count) {
        return UpdateResourceW(handle_, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(name), language,
                               const_cast<void*>(bytes), count) != FALSE;
    }
    bool commit() {
        const BOOL done = EndUpdateResourceW(handle_, FALSE);
        handle_ = nullptr;
        return done != FALSE;
    }

private:
    HANDLE handle_;
};

constexpr WORD kVersionType = 16;  // RT_VERSION
constexpr WORD kVersionName = 1;
// A carried version text is cut to this many units, as GetVersionString
// into a slot of 256 cuts it.
constexpr std::size_t kCarriedTextUnits = 255;

}  // namespace

void GetVersionString(const wchar_t* path, const wchar_t* key, wchar_t* out, std::size_t capacity) {
    if (out == nullptr || capacity == 0) return;
    out[0] = L'\0';
    std::vector<std::uint8_t> info = read_version_info(path);
    Translation where{};
    std::wstring_view text;
    if (info.empty() || !find_string(info, key, where, text)) return;
    copy_bounded(out, capacity, std::wstring(text).c_str());
}

VersionNumber GetFileVersion(const wchar_t* path) {
    TextSlot<128> text;
    GetVersionString(path, L"FileVersion", text.data(), text.capacity());
    return ParseVersion(to_u16(text.view()));
}

int WriteVersionResource(const wchar_t* path, std::uint16_t language, const void* bytes, std::uint32_t count) {
    if (language == kFileOwnLanguage) {
        std::vector<std::uint8_t> info = read_version_info(path);
        const std::vector<Translation> table = translations(info);
        if (table.empty()) return 0;
        language = table.front().language;
    }
    ResourceUpdate update(path);
    if (!update || !update.replace(kVersionType, kVersionName, language, bytes, count)) return 0;
    return update.commit() ? 1 : 0;
}

int SetVersionString(const wchar_t* path, const wchar_t* key, const wchar_t* text) {
    std::vector<std::uint8_t> info = read_version_info(path);
    Translation where{};
    std::wstring_view old_text;
    if (info.empty() || key == nullptr || !find_string(info, key, where, old_text)) return 0;
    const auto resource = replace_version_string(info, to_u16(key), to_u16(text ? text : L""));
    if (!resource) return 0;
    return WriteVersionResource(path, where.language, resource->data(), static_cast<std::uint32_t>(resource->size()));
}

int CopyResource(const wchar_t* target, const wchar_t* source, std::uint16_t type, std::uint16_t name) {
    std::vector<std::uint8_t> info = read_version_info(target);
    const std::vector<Translation> table = translations(info);
    if (table.empty() || table.front().language == 0) return 0;
    const WORD language = table.front().language;

    // Mapped as data: the file's start-up code never runs in this
    // (elevated) process, whatever the file is.
    const UniqueModule module(
        LoadLibraryExW(source, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module) return 0;
    HRSRC found = FindResourceW(module.get(), MAKEINTRESOURCEW(name), MAKEINTRESOURCEW(type));
    HGLOBAL loaded = found ? LoadResource(module.get(), found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = found ? SizeofResource(module.get(), found) : 0;
    if (bytes == nullptr || size == 0) return 0;

    ResourceUpdate update(target);
    if (!update || !update.replace(type, name, language, bytes, size)) return 0;
    return update.commit() ? 1 : 0;
}

int CarryIdentity(const wchar_t* target, const wchar_t* source, std::span<const ResourceId> resources,
                  std::span<const wchar_t* const> keys) {
    std::vector<std::uint8_t> info = read_version_info(target);
    const std::vector<Translation> table = translations(info);

    // The resources that differ from the target's, read while both files
    // are mapped as data (never run); the mappings go before the rewrite.
    struct Change {
        WORD type;
        WORD name;
        WORD language;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Change> changes;
    if (!resources.empty()) {
        if (table.empty() || table.front().language == 0) return 0;
        const WORD language = table.front().language;
        constexpr DWORD kAsData = LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE;
        const UniqueModule from(LoadLibraryExW(source, nullptr, kAsData));
        const UniqueModule into(LoadLibraryExW(target, nullptr, kAsData));
        if (!from || !into) return 0;
        for (const ResourceId& id : resources) {
            HRSRC found = FindResourceW(from.get(), MAKEINTRESOURCEW(id.name), MAKEINTRESOURCEW(id.type));
            HGLOBAL loaded = found ? LoadResource(from.get(), found) : nullptr;
            const auto* bytes = static_cast<const std::uint8_t*>(loaded ? LockResource(loaded) : nullptr);
            const DWORD size = found ? SizeofResource(from.get(), found) : 0;
            if (bytes == nullptr || size == 0) return 0;
            HRSRC own = FindResourceExW(into.get(), MAKEINTRESOURCEW(id.type), MAKEINTRESOURCEW(id.name), language);
            HGLOBAL own_loaded = own ? LoadResource(into.get(), own) : nullptr;
            const auto* own_bytes = static_cast<const std::uint8_t*>(own_loaded ? LockResource(own_loaded) : nullptr);
            if (own_bytes != nullptr && SizeofResource(into.get(), own) == size &&
                std::equal(bytes, bytes + size, own_bytes))
                continue;
            changes.push_back({id.type, id.name, language, {bytes, bytes + size}});
        }
    }

    // The strings: every change goes into the one copy of the target's
    // version information, written in each language a changed key was in.
    std::vector<std::uint8_t> source_info = keys.empty() ? std::vector<std::uint8_t>{} : read_version_info(source);
    std::vector<WORD> string_languages;
    for (const wchar_t* key : keys) {
        Translation ignored{};
        std::wstring_view text;
        if (source_info.empty() || !find_string(source_info, key, ignored, text) || text.empty()) continue;
        text = text.substr(0, kCarriedTextUnits);
        Translation where{};
        std::wstring_view old_text;
        if (info.empty() || !find_string(info, key, where, old_text)) return 0;
        if (old_text == text) continue;
        const std::wstring new_text(text);
        auto resource = replace_version_string(info, to_u16(key), to_u16(new_text.c_str()));
        if (!resource) return 0;
        info = std::move(*resource);
        if (std::find(string_languages.begin(), string_languages.end(), where.language) == string_languages.end())
            string_languages.push_back(where.language);
    }

    if (changes.empty() && string_languages.empty()) return 1;
    ResourceUpdate update(target);
    if (!update) return 0;
    for (const Change& change : changes)
        if (!update.replace(change.type, change.name, change.language, change.bytes.data(),
                            static_cast<DWORD>(change.bytes.size())))
            return 0;
    for (const WORD language : string_languages)
        if (!update.replace(kVersionType, kVersionName, language, info.data(), static_cast<DWORD>(info.size())))
            return 0;
    return update.commit() ? 1 : 0;
}

}  // namespace support
