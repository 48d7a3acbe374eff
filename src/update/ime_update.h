#pragma once
// ZZIMEUpdate: the engine behind the online update of one installed IME.
//
// Given the IME's name it finds the install directory (the vendor key's
// ZMEInstallPath) and the three component names of its settings record
// ("config.dsc" in the IME's data folder), loads the update lists, keeps as
// candidates the listed items that name a component the IME really uses,
// and updates one candidate at a time: download the cabinet, extract the
// new file, carry the installed file's identity (bitmaps 103/104, icon 1,
// description, company name) over into it, copy it over the installed file.
//
// Whether a candidate is due (listed version newer than the local one) is
// the dialog's decision. The dialogs call Attach once, then per run
// Initialize, CollectCandidates and UpdateItem for each due candidate, all
// on one worker thread. The skin engine (ZZSKINZIPUpdate) derives from this
// class and replaces Initialize, CollectCandidates and UpdateItem.

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/text_slot.h"
#include "update/update_engine_base.h"
#include "update/update_entry.h"

namespace update {

// Where the two lists of the update server live, below its address.
inline constexpr const wchar_t* kDriverListPath = L"/_supports/zzime_drives/UpdateList.txt";
inline constexpr const wchar_t* kSkinListPath = L"/_supports/zzskin_colourful/updatelist.txt";

// The update server's address ("http://host[:port]", no trailing slash).
// The environment variable IMEBASE_UPDATE_SERVER overrides the address
// compiled into the program (CMake cache variable IMEBASE_UPDATE_SERVER),
// so a vendor or a test points an installed product at another server
// without rebuilding. A trailing slash in either is dropped.
std::wstring update_server_address();
// update_server_address() followed by `list_path`.
std::wstring update_list_address(const wchar_t* list_path);

// Messages the engine posts through its message handler.
inline constexpr const wchar_t* kNoInstallDirectory = L"无法获取指定名称的输入法安装目录";
inline constexpr const wchar_t* kNoSettings = L"无法获取指定名称的输入法的配置信息";
inline constexpr const wchar_t* kCollectStart = L"开始Zinzin驱动程序更新：";
inline constexpr const wchar_t* kUpdatingFormat = L"更新：%ls";
inline constexpr const wchar_t* kDownloadFailedFormat = L"\u3000\u3000下载%ls 失败";
inline constexpr const wchar_t* kNoDecoderContext = L"  创建FDIContext失败！";
inline constexpr const wchar_t* kExtractFailed = L"  解压文件失败！";
inline constexpr const wchar_t* kIdentityFailed = L"  替换文件资源信息失败！";
inline constexpr const wchar_t* kReplaceFailed = L"  替换文件失败！";

class ZZIMEUpdate : public UpdateEngineBase {
public:
    ZZIMEUpdate() = default;
    ~ZZIMEUpdate() override = default;

    // Downloads the candidate's package into the temporary directory's
    // "_zzautodownload.cab", extracts it there, carries the installed file's
    // identity over into the extracted file and copies that over the
    // candidate's path. 1 when the installed file was replaced; 0 with one
    // of the messages above otherwise (the installed file then is untouched).
    virtual int UpdateItem(UpdateEntry* candidate);

    // Reads the install directory and the settings record, replaces both
    // lists with empty ones and loads the driver list, then the list named
    // by the Uninstall entry's URLUpdateInfo. The number of server-list
    // entries; 0 (with a message unless the name is missing) on failure.
    virtual int Initialize(const wchar_t* ime_name);

    // Posts "开始Zinzin驱动程序更新：" and appends one candidate per
    // server-list entry that names one of the IME's components (names
    // compared without regard to case). The number of candidates.
    virtual int CollectCandidates();

    // Writes into candidate->path the installed file that the candidate's
    // type and name replace; an empty path for a type without a rule.
    virtual void GetTargetPath(UpdateEntry* candidate);

    EntryList& candidate_list() noexcept { return candidates_; }
    const EntryList& candidate_list() const noexcept { return candidates_; }

    const support::NameSlot& ime_name() const noexcept { return ime_name_; }
    const support::PathSlot& install_directory() const noexcept { return install_directory_; }
    const support::NameSlot& ime_main_name() const noexcept { return ime_main_name_; }
    const support::NameSlot& code_table_driver_name() const noexcept { return code_table_driver_name_; }
    const support::NameSlot& skin_driver_name() const noexcept { return skin_driver_name_; }

protected:
    // The part of Initialize the skin engine shares: the name, the install
    // directory, the settings record's three names and two fresh, empty
    // lists. 1 on success; 0 (with its message) on failure.
    int prepare(const wchar_t* ime_name);
    // The IME's own name of the component an item type replaces (from the
    // settings, or the fixed "_config_" and "_install_base_"); null for the
    // types this engine never updates.
    const wchar_t* component_name(std::int32_t type) const;

    support::NameSlot ime_name_;
    support::PathSlot install_directory_;  // ends in a backslash
    support::NameSlot ime_main_name_;
    support::NameSlot code_table_driver_name_;
    support::NameSlot skin_driver_name_;
    EntryList candidates_;
};

}  // namespace update
