#pragma once
// What every update engine shares: its handlers, the system and temporary
// directories, the list of entries read from the update server, and the
// three operations around them. ZZIMEUpdate (and through it the skin
// engine) derives from this, so `Attach`, `Download` and `LoadList` are
// operations of every engine.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "support/text_slot.h"
#include "update/download.h"
#include "update/update_entry.h"
#include "update/update_handlers.h"
#include "update/update_signature.h"

namespace update {

// A growable list of owned entries; an entry keeps its address while the
// list grows.
using EntryList = std::vector<std::unique_ptr<UpdateEntry>>;

// The one file every list is downloaded into, in the temporary directory.
inline constexpr const wchar_t* kListFileFormat = L"%ls_zzime_update_list.txt";

inline constexpr const wchar_t* kNoSystemDirectory = L"获取系统路径失败";
inline constexpr const wchar_t* kNoTempDirectory = L"获取系统临时路径失败";
inline constexpr const wchar_t* kUnreachableListFormat = L"无法访问的URL：%ls";
inline constexpr const wchar_t* kListUnsignedFormat = L"更新列表没有签名（无法取得%ls），整个列表已拒绝";
inline constexpr const wchar_t* kListForgedFormat = L"更新列表的签名不对，整个列表已拒绝：%ls";
inline constexpr const wchar_t* kNoCryptographyText = L"系统无法验证更新签名，整个列表已拒绝";

class UpdateEngineBase {
public:
    // The engine verifies with the key this program carries, if any.
    UpdateEngineBase();
    UpdateEngineBase(const UpdateEngineBase&) = delete;
    UpdateEngineBase& operator=(const UpdateEngineBase&) = delete;
    virtual ~UpdateEngineBase() = default;

    // Keeps the handlers, then reads the system directory and the folder
    // downloads go to, each ending in a backslash: the run's private
    // workspace (app::run_context()), or the temporary directory where
    // there is no run (an engine used on its own, as the tests do). 1 on
    // success; 0, with the message "获取系统路径失败" or "获取系统临时路径失败",
    // when one can't be had.
    int Attach(const UpdateHandlers& handlers);

    // download_file with this engine's handlers (update/download.h).
    int Download(const wchar_t* address, const wchar_t* local_file, std::uint64_t size_limit = kPackageSizeLimit);

    // Downloads the list at `address` into the download folder's
    // "_zzime_update_list.txt" and appends one entry per line to the server
    // list. When it can't be fetched, posts "无法访问的URL：" with the
    // address (the message cut at 255 characters) and adds nothing; a list
    // file that can't be read adds nothing either, silently. Unknown tag
    // keys post "未知的更新标识！".
    // With a key, the list's signature (the address + ".sig") is fetched
    // too and checked over the list's exact bytes; a list whose signature
    // is missing or wrong is refused whole, with a message saying so.
    void LoadList(const wchar_t* address);

    // The vendor's key the lists and packages are checked against; none:
    // nothing is verified (a program built without a key).
    const std::optional<PublicKey>& update_key() const noexcept { return update_key_; }
    void set_update_key(const std::optional<PublicKey>& key) { update_key_ = key; }
    bool verifies() const noexcept { return update_key_.has_value(); }

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
    std::optional<PublicKey> update_key_;

private:
    // The list's bytes when its signature holds (or when nothing is verified).
    std::optional<std::vector<std::uint8_t>> checked_list_bytes(const wchar_t* address, const wchar_t* list_file);
};

}  // namespace update
