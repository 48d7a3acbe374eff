#include "update/update_engine_base.h"

#include <windows.h>

#include <string>

#include "support/wide.h"
#include "update/download.h"
#include "update/read_text.h"
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

}  // namespace

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

    const DWORD temp = GetTempPathW(static_cast<DWORD>(temp_directory_.capacity()), temp_directory_.data());
    if (!fitted(temp, temp_directory_.capacity())) {
        temp_directory_.clear();
        post(kNoTempDirectory);
        return 0;
    }
    temp_directory_.seal();
    end_with_backslash(temp_directory_);
    return 1;
}

int UpdateEngineBase::Download(const wchar_t* address, const wchar_t* local_file) {
    return download_file(handlers_, address, local_file);
}

void UpdateEngineBase::LoadList(const wchar_t* address) {
    support::PathSlot list_file;
    list_file.format(kListFileFormat, temp_directory_.c_str());
    if (!Download(address, list_file.c_str())) {
        support::TextSlot<256> message;
        message.format(kUnreachableListFormat, address != nullptr ? address : L"");
        post(message.c_str());
        return;
    }

    std::u16string text;
    {
        READTEXT reader;
        if (!reader.Load(list_file.c_str())) return;
        text = reader.take_text();
    }
    const auto entries = parse_update_list(text, [this](std::u16string_view message) {
        const std::wstring line = support::to_wide(message);
        post(line.c_str());
    });
    server_list_.reserve(server_list_.size() + entries.size());
    for (const UpdateEntry& entry : entries) server_list_.push_back(std::make_unique<UpdateEntry>(entry));
}

}  // namespace update
