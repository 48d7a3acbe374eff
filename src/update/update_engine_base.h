#pragma once
// What every update engine shares: its handlers, the system and temporary
// directories, the list of entries read from the update server, and the
// three operations around them. ZZIMEUpdate (and through it the skin
// engine) derives from this, so `Attach`, `Download` and `LoadList` are
// operations of every engine.

#include <memory>
#include <vector>

#include "support/text_slot.h"
#include "update/update_entry.h"
#include "update/update_handlers.h"

namespace update {

// A growable list of owned entries; an entry keeps its address while the
// list grows.
using EntryList = std::vector<std::unique_ptr<UpdateEntry>>;

// The one file every list is downloaded into, in the temporary directory.
inline constexpr const wchar_t* kListFileFormat = L"%ls_zzime_update_list.txt";

inline constexpr const wchar_t* kNoSystemDirectory = L"获取系统路径失败";
inline constexpr const wchar_t* kNoTempDirectory = L"获取系统临时路径失败";
inline constexpr const wchar_t* kUnreachableListFormat = L"无法访问的URL：%ls";

class UpdateEngineBase {
public:
    UpdateEngineBase() = default;
    UpdateEngineBase(const UpdateEngineBase&) = delete;
    UpdateEngineBase& operator=(const UpdateEngineBase&) = delete;
    virtual ~UpdateEngineBase() = default;

    // Keeps the handlers, then reads the system directory and the temporary
    // directory, each ending in a backslash. 1 on success; 0, with the
    // message "获取系统路径失败" or "获取系统临时路径失败", when one can't
    // be read.
    int Attach(const UpdateHandlers& handlers);

    // download_file with this engine's handlers (update/download.h).
    int Download(const wchar_t* address, const wchar_t* local_file);

    // Downloads the list at `address` into the temporary directory's
    // "_zzime_update_list.txt" (left there afterwards) and appends one
    // entry per line to the server list. When it can't be fetched, posts
    // "无法访问的URL：" with the address (the message cut at 255
    // characters) and adds nothing; a list file that can't be read adds
    // nothing either, silently. Unknown tag keys post "未知的更新标识！".
    void LoadList(const wchar_t* address);

    const UpdateHandlers& handlers() const noexcept { return handlers_; }
    const support::PathSlot& system_directory() const noexcept { return system_directory_; }
    const support::PathSlot& temp_directory() const noexcept { return temp_directory_; }
    EntryList& server_list() noexcept { return server_list_; }
    const EntryList& server_list() const noexcept { return server_list_; }

protected:
    void post(const wchar_t* text) const { post_message(handlers_, text); }

    UpdateHandlers handlers_{};
    support::PathSlot system_directory_;  // ends in a backslash once attached
    support::PathSlot temp_directory_;    // ends in a backslash once attached
    EntryList server_list_;
};

}  // namespace update
