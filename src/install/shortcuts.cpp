#include "install/shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <cwchar>

#include "app/folders.h"
#include "app/open_as_user.h"
#include "app/run_options.h"
#include "install/install_journal.h"
#include "install/install_run.h"
#include "install/plain_name.h"
#include "support/file_kind.h"
#include "support/format_bounded.h"
#include "support/wide.h"

namespace install {

namespace {

// Descriptions and arguments are at most 255 characters.
constexpr std::size_t kTextUnits = 256;

// The component system for the calling thread, in the apartment model the
// shell-link object wants. A thread that already entered the free-threaded
// model keeps it: the object is then reached through its own apartment.
class ComApartment {
public:
    ComApartment() noexcept : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool usable() const noexcept { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

// One interface pointer, released when it goes.
template <typename Interface>
class ComRef {
public:
    ComRef() noexcept = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (pointer_ != nullptr) pointer_->Release();
    }
    Interface* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }
    void** put() noexcept { return reinterpret_cast<void**>(&pointer_); }

private:
    Interface* pointer_ = nullptr;
};

enum class Target : std::uint8_t { Settings, Help, Uninstaller };

struct LinkSpec {
    std::uint32_t bit;
    const wchar_t* file;         // formatted with the folder
    Target target;
    const wchar_t* arguments;    // formatted with the IME name; null: none
    const wchar_t* description;  // formatted with the display name
    int icon_index;
};

// In the program folder, in the order they are made.
constexpr LinkSpec kProgramLinks[] = {
    {package::kShortcutSettings, L"%ls系统设置.lnk", Target::Settings, L"/n '%ls'", L"%ls 的使用习惯更改和设定", 0},
    {package::kShortcutHelp, L"%ls使用帮助.lnk", Target::Help, nullptr, L"查看 %ls 的详细帮助文档", 0},
    {package::kShortcutUpdate, L"%ls检查更新.lnk", Target::Uninstaller, L"-g name=[%ls]", L"检查 %ls 的最新服务器版本", 0},
};

// In the tools folder, in the order they are made.
constexpr LinkSpec kToolLinks[] = {
    {package::kShortcutCodeTable, L"%ls码表查询.lnk", Target::Settings, L"/n '%ls' /do mabiaochaxun",
     L"查询 %ls 中的编码定义", 2},
    {package::kShortcutKeys, L"%ls按键功能.lnk", Target::Settings, L"/n '%ls' /do anjianshezhi",
     L"更改或定义 %ls 按键功能", 3},
    {package::kShortcutUserWords, L"%ls添加用户词.lnk", Target::Settings, L"/n '%ls' /do tianjiayonghuci",
     L"%ls 用户词添加操作", 6},
    {package::kShortcutRepair, L"%ls修复安装.lnk", Target::Uninstaller, L"-r name=[%ls]", L"修复 %ls 至新安装状态", 0},
    {package::kShortcutUninstall, L"%ls卸载软件.lnk", Target::Uninstaller, L"-u name=[%ls]", L"卸载 %ls 程序", 0},
};

// The desktop's settings shortcut: "<desktop>\<display name>系统设置.lnk".
constexpr LinkSpec kDesktopLink = {package::kShortcutSettings, L"%ls系统设置.lnk", Target::Settings, L"/n '%ls'",
                                   L"%ls 的使用习惯更改和设定", 0};

const wchar_t* target_format(Target target) {
    switch (target) {
    case Target::Settings: return L"%lsconfig.exe";
    case Target::Help: return L"%lsmain.chm";
    case Target::Uninstaller: return L"%lsUnstall.exe";
    }
    return L"";
}

struct Product {
    const wchar_t* install_dir;
    const wchar_t* display_name;
    const wchar_t* ime_name;
    InstallJournal* journal;
    InstallRun* run;  // told of a link that couldn't be written
};

// A special folder with a trailing backslash; false when the shell has none.
bool special_folder(int csidl, wchar_t (&folder)[app::kPathUnits]) {
    folder[0] = L'\0';
    if (FAILED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder))) return false;
    const std::size_t length = std::wcslen(folder);
    return length > 0 && (folder[length - 1] == L'\\' || support::append_slot(folder, L"\\"));
}

// `folder` exists afterwards; one this call created is journaled.
void ensure_folder(const wchar_t* folder, InstallJournal* journal) {
    const DWORD attributes = GetFileAttributesW(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;
    if (CreateDirectoryW(folder, nullptr) && journal != nullptr) journal->folder_created(folder);
}

// One shortcut in `folder` (ending in a backslash). A path that would be
// cut names another file, and a link whose old file the journal couldn't
// keep stays as it is: neither is written.
void make_link(const Product& product, const LinkSpec& spec, const wchar_t* folder) {
    wchar_t link[app::kPathUnits];
    wchar_t target[app::kPathUnits];
    if (support::format_slot(link, spec.file, folder) != support::kStatusOk ||
        support::format_slot(target, target_format(spec.target), product.install_dir) != support::kStatusOk)
        return;
    wchar_t description[kTextUnits];
    support::format_slot(description, spec.description, product.display_name);
    wchar_t arguments[kTextUnits];
    if (spec.arguments != nullptr) support::format_slot(arguments, spec.arguments, product.ime_name);
    if (product.journal != nullptr && !product.journal->before_file_write(link)) return;
    if (create_shell_link(target, description, link, product.install_dir,
                          spec.arguments != nullptr ? arguments : nullptr, spec.icon_index)) {
        report_touched(*product.run, support::Touch::shortcut_created, link);
    } else {
        report_failure(*product.run, link, GetLastError());
        wchar_t row[2 * app::kPathUnits];
        support::format_slot(row, kShortcutFailedRow, link);
        post_progress(*product.run, -1, row);
    }
}

// The user-word tool needs the product's single-character table.
bool has_user_word_table(const wchar_t* ime_name) {
    wchar_t table[app::kPathUnits];
    if (!app::common_data_dir(table, ime_name) || !support::append_slot(table, L"danzi.zmi")) return false;
    return support::is_file(table);
}

void make_start_menu_links(const Product& product, std::uint32_t flags) {
    wchar_t programs[app::kPathUnits];
    if (!special_folder(CSIDL_COMMON_PROGRAMS, programs)) return;
    wchar_t program_folder[app::kPathUnits];
    wchar_t tools_folder[app::kPathUnits];
    if (support::format_slot(program_folder, L"%ls%ls\\", programs, product.display_name) != support::kStatusOk ||
        support::format_slot(tools_folder, L"%ls%ls\\%ls\\", programs, product.display_name, kToolsFolderName) !=
            support::kStatusOk)
        return;

    ensure_folder(program_folder, product.journal);
    for (const LinkSpec& spec : kProgramLinks)
        if ((flags & spec.bit) != 0) make_link(product, spec, program_folder);

    if ((flags & package::kShortcutMoreToolsMask) != 0) ensure_folder(tools_folder, product.journal);
    for (const LinkSpec& spec : kToolLinks) {
        if ((flags & spec.bit) == 0) continue;
        if (spec.bit == package::kShortcutUserWords && !has_user_word_table(product.ime_name)) continue;
        make_link(product, spec, tools_folder);
    }
    SHChangeNotify(SHCNE_ALLEVENTS, SHCNF_PATHW | SHCNF_FLUSH, tools_folder, nullptr);
}

// The settings shortcut on the desktop of the user who installs, where the
// removal looks for it.
void make_desktop_link(const Product& product, std::uint32_t flags) {
    if ((flags & kDesktopLink.bit) == 0) return;
    wchar_t desktop[app::kPathUnits];
    if (!special_folder(CSIDL_DESKTOPDIRECTORY, desktop)) return;
    wchar_t prefix[app::kPathUnits];
    if (support::format_slot(prefix, L"%ls%ls", desktop, product.display_name) != support::kStatusOk) return;
    make_link(product, kDesktopLink, prefix);
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW | SHCNF_FLUSH, desktop, nullptr);
}

// The file the package asks to show once the product is in place, with
// its default action, opened as the signed-in user: never by this
// elevated process, whose Notepad would hand out elevated file dialogs.
void open_post_install_file(InstallRun& run) {
    // A run without a person opens nothing on the machine's desktop.
    if (run.info->post_install_open[0] == u'\0' || app::run_options().silent) return;
    wchar_t file[app::kPathUnits];
    if (support::format_slot(file, L"%ls%ls", run.install_dir, support::as_wide(run.info->post_install_open)) !=
        support::kStatusOk)
        return;
    // Nothing the install needs: a file that couldn't be shown is only
    // noted in the run's log.
    if (!app::open_as_signed_in_user(file)) report_failure(run, file, GetLastError());
}

}  // namespace

int create_shortcuts(InstallRun& run) {
    if (run.info == nullptr) return 1;
    const ComApartment apartment;  // one for every link and the shell call
    const Product product{run.install_dir, support::as_wide(run.info->display_name),
                          support::as_wide(run.info->ime_name), run.journal, &run};
    if (is_plain_name(product.display_name)) {
        make_start_menu_links(product, run.info->shortcut_flags);
        make_desktop_link(product, run.info->shortcut_flags);
    }
    open_post_install_file(run);
    return 1;
}

int create_shell_link(const wchar_t* target, const wchar_t* description, const wchar_t* link_path,
                      const wchar_t* working_dir, const wchar_t* arguments, int icon_index) {
    const ComApartment apartment;
    if (!apartment.usable()) return 0;
    ComRef<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put())))
        return 0;
    link->SetPath(target);
    link->SetDescription(description);
    link->SetWorkingDirectory(working_dir);
    link->SetIconLocation(target, icon_index);
    if (arguments != nullptr) link->SetArguments(arguments);
    link->SetShowCmd(SW_SHOW);
    ComRef<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.put()))) return 0;
    // A link that couldn't be saved is no success.
    return SUCCEEDED(file->Save(link_path, TRUE)) ? 1 : 0;
}

}  // namespace install
