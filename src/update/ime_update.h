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

// The update server's address ("http[s]://host[:port]", no trailing
// slash), the first of:
// - in test builds only, the environment variable IMEBASE_UPDATE_SERVER;
// - the machine's value "UpdateServer" of HKEY_LOCAL_MACHINE\SOFTWARE\ZinzinIMEs
//   (64-bit view), which only administrators can write;
// - the address the build names (CMake cache variable IMEBASE_UPDATE_SERVER).
// Empty when none names an http:// or https:// address: no server is
// configured, and the server's lists are not asked for.
std::wstring update_server_address();
// update_server_address() followed by `list_path`; empty without a server.
std::wstring update_list_address(const wchar_t* list_path);
// Whether this build reads the environment variable (a test build).
bool update_server_from_environment_allowed() noexcept;

inline constexpr const wchar_t* kServerKey = L"SOFTWARE\\ZinzinIMEs";
inline constexpr const wchar_t* kServerValue = L"UpdateServer";
inline constexpr const wchar_t* kServerVariable = L"IMEBASE_UPDATE_SERVER";
inline constexpr std::size_t kServerAddressUnits = 256;

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
inline constexpr const wchar_t* kNoServerConfigured = L"没有配置更新服务器，不检查服务器上的更新";
inline constexpr const wchar_t* kUpdatesNotVerified = L"注意：本程序不带厂商的更新公钥，更新未经签名验证";
inline constexpr const wchar_t* kDigestMissingFormat = L"  更新列表没有给出%ls的SHA-256摘要，已拒绝";
inline constexpr const wchar_t* kDigestMalformedFormat = L"  更新列表中%ls的SHA-256摘要格式不对，已拒绝";
inline constexpr const wchar_t* kDigestMismatchFormat = L"  %ls与更新列表签名的SHA-256摘要不符，已拒绝";
inline constexpr const wchar_t* kDowngradeFormat = L"  %ls的版本比已安装的旧，不安装";

// The last step of an item: puts `new_file` in place of `installed`. The
// installed file is kept beside itself (a second name, or a copy where the
// volume has none) while the new file is copied beside it and renamed over
// it, and must then read back as `new_file`; on success the kept file goes,
// otherwise it is put back in place (a file that wasn't there stays
// absent). 0, or the Windows error (ERROR_DISK_FULL, ERROR_WRITE_PROTECT,
// ERROR_ACCESS_DENIED for a file a program holds...).
unsigned long replace_installed_file(const wchar_t* new_file, const wchar_t* installed);

class ZZIMEUpdate : public UpdateEngineBase {
public:
    ZZIMEUpdate() = default;
    ~ZZIMEUpdate() override = default;

    // Downloads the candidate's package into the download folder's
    // "_zzautodownload.cab", extracts it there, carries the installed file's
    // identity over into the extracted file and puts that in place of the
    // candidate's path (replace_installed_file). 1 when the installed file
    // was replaced; 0 with one of the messages above otherwise (the
    // installed file then is as it was; after a failed replacement the
    // thread's last error is its Windows error).
    // An engine with a key first wants the candidate's listed digest and a
    // version not older than the installed one, and extracts the package
    // only when its SHA-256 is the listed one.
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

    // LoadList of the update server's list at `list_path`; without a
    // configured server only the message saying so.
    void load_server_list(const wchar_t* list_path);
    // Posts `format` with the candidate's name; 0.
    int refuse(const wchar_t* format, const UpdateEntry& candidate);
};

}  // namespace update
