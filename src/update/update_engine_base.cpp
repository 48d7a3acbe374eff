#include "update/update_engine_base.h"

#include <windows.h>

#include <string>

#include "app/process_records.h"
#include "support/unique_handle.h"
#include "support/wide.h"
#include "update/download.h"
#include "update/list_text.h"
#include "update/read_text.h"
#include "update/signature_check.h"
#include "update/update_list.h"

namespace update {
namespace {

void end_with_backslash(support::PathSlot& folder) {
    const std::size_t n = folder.size();
    if (n > 0 && folder.c_str()[n - 1] != L'\\') folder.append(L"\\");
}

// A count of units written by a GetXxxDirectory-style call counts as read
// only when it fitted the slot (larger counts are sizes asked for).
bool fitted(DWORD written, std::size_t capacity) {
    return written > 0 && written < capacity;
}

// The whole of a small file, read through a handle that lets nobody write
// it meanwhile; nothing when it can't be read or is larger than `limit`.
std::optional<std::vector<std::uint8_t>> read_small_file(const wchar_t* path, std::uint64_t limit) {
    support::UniqueHandle file(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<std::uint64_t>(size.QuadPart) > limit)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size()))
        return std::nullopt;
    return bytes;
}

// Where this run's downloads go: the run's private workspace. Only an
// engine outside a run (the tests') falls back to the temporary directory.
bool read_download_folder(support::PathSlot& folder) {
    if (const app::RunContext* run = app::run_context(); run != nullptr) {
        folder.assign(run->workspace_dir);
        return !folder.empty() && GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    const DWORD temp = GetTempPathW(static_cast<DWORD>(folder.capacity()), folder.data());
    if (!fitted(temp, folder.capacity())) return false;
    folder.seal();
    return true;
}

}  // namespace

UpdateEngineBase::UpdateEngineBase() : update_key_(program_update_key()) {}

int UpdateEngineBase::Attach(const UpdateHandlers& handlers) {
    handlers_ = handlers;

    const UINT system = GetSystemDirectoryW(system_directory_.data(), static_cast<UINT>(system_directory_.capacity()));
    if (!fitted(system, system_directory_.capacity())) {
        system_directory_.clear();
        post(kNoSystemDirectory);
        return 0;
    }
    system_directory_.seal();
    end_with_backslash(system_directory_);

    if (!read_download_folder(temp_directory_)) {
        temp_directory_.clear();
        post(kNoTempDirectory);
        return 0;
    }
    end_with_backslash(temp_directory_);
    return 1;
}

int UpdateEngineBase::Download(const wchar_t* address, const wchar_t* local_file, std::uint64_t size_limit) {
    return download_file(handlers_, address, local_file, size_limit);
}

std::optional<std::vector<std::uint8_t>> UpdateEngineBase::checked_list_bytes(const wchar_t* address,
                                                                              const wchar_t* list_file) {
    std::optional<std::vector<std::uint8_t>> list = read_small_file(list_file, kListSizeLimit);
    if (!list || !update_key_) return list;

    support::TextSlot<256> message;
    const std::wstring signature_address = std::wstring(address) + kSignatureSuffix;
    const std::wstring signature_file = std::wstring(list_file) + kSignatureSuffix;
    std::optional<std::vector<std::uint8_t>> signature;
    if (Download(signature_address.c_str(), signature_file.c_str(), kSignatureSizeLimit))
        signature = read_small_file(signature_file.c_str(), kSignatureSizeLimit);
    if (!signature) {
        message.format(kListUnsignedFormat, signature_address.c_str());
        post(message.c_str());
        return std::nullopt;
    }
    switch (verify_signature(*update_key_, *list, *signature)) {
    case SignatureCheck::valid: return list;
    case SignatureCheck::unavailable: post(kNoCryptographyText); return std::nullopt;
    case SignatureCheck::invalid: break;
    }
    message.format(kListForgedFormat, address);
    post(message.c_str());
    return std::nullopt;
}

void UpdateEngineBase::LoadList(const wchar_t* address) {
    support::PathSlot list_file;
    list_file.format(kListFileFormat, temp_directory_.c_str());
    if (!Download(address, list_file.c_str(), kListSizeLimit)) {
        support::TextSlot<256> message;
        message.format(kUnreachableListFormat, address != nullptr ? address : L"");
        post(message.c_str());
        return;
    }

    // The bytes that are checked are the bytes that are read: the list is
    // read once, into memory.
    const std::optional<std::vector<std::uint8_t>> bytes = checked_list_bytes(address, list_file.c_str());
    if (!bytes) return;
    const std::u16string text = decode_list_text(*bytes, ansi_code_page_text);
    const auto entries = parse_update_list(text, [this](std::u16string_view message) {
        const std::wstring line = support::to_wide(message);
        post(line.c_str());
    });
    server_list_.reserve(server_list_.size() + entries.size());
    for (const UpdateEntry& entry : entries) server_list_.push_back(std::make_unique<UpdateEntry>(entry));
}

}  // namespace update
