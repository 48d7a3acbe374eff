#include "install_fixture.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "app/folders.h"
#include "support/format_bounded.h"
#include "support/wide.h"

namespace wintest {

namespace {

void make_parents(const std::wstring& path) {
    for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
}

}  // namespace

std::string file_text(const std::wstring& path) {
    const std::vector<std::uint8_t> bytes = read_file(path);
    return {bytes.begin(), bytes.end()};
}

bool put_file(const std::wstring& path, const std::string& content) {
    make_parents(path);
    return write_file(path, std::vector<std::uint8_t>(content.begin(), content.end()));
}

std::wstring system_dir() {
    wchar_t folder[MAX_PATH];
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\";
}

std::wstring windows_dir() {
    wchar_t folder[MAX_PATH];
    GetWindowsDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\";
}

std::wstring special_folder(int csidl) {
    wchar_t folder[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder);
    return std::wstring(folder) + L"\\";
}

std::wstring data_dir(const std::wstring& ime_name) {
    wchar_t folder[app::kPathUnits];
    return app::common_data_dir(folder, ime_name.c_str()) ? folder : L"";
}

InstallFixture::InstallFixture(const wchar_t* tag) : scratch_(tag) {
    ime_name_ = unique_name(L"zzime");
    display_name_ = unique_name(L"测试输入法");
    install_dir_ = scratch_.file(L"Program Files\\" + display_name_) + L"\\";

    const std::wstring workspace = scratch_.file(L"__ZZIMEInstall") + L"\\";
    CreateDirectoryW(workspace.c_str(), nullptr);
    support::copy_slot(context.workspace_dir, workspace.c_str());
    support::format_slot(context.extract_dir, L"%lsZZ_INSTALL\\", workspace.c_str());
    CreateDirectoryW(context.extract_dir, nullptr);
    support::format_slot(context.uninstaller_path, L"%lsunstall.exe", workspace.c_str());
    support::format_slot(context.package_path, L"%lszzinstallbaseexe.cab", workspace.c_str());
    support::format_slot(context.module_path, L"%ls___zinzin_install_base___.exe", workspace.c_str());
    support::copy_slot(context.command_line, L" file=C:\\setup\\demo-setup.exe");

    support::copy_slot(support::wide_slot(info.ime_name), ime_name_.c_str());
    support::copy_slot(support::wide_slot(info.layout_text), L"测试 layout");
    support::copy_slot(support::wide_slot(info.display_name), display_name_.c_str());
    support::copy_slot(support::wide_slot(info.publisher), L"marlix");
    support::copy_slot(support::wide_slot(info.display_version), L"1.0.0.1");
    info.shortcut_flags = 0;
}

void InstallFixture::add(const std::wstring& relative, const std::string& content) {
    put_file(extract() + relative, content);
}

void InstallFixture::add_uninstaller(const std::string& content) { put_file(context.uninstaller_path, content); }

void InstallFixture::add_package(const std::string& content) { put_file(context.package_path, content); }

void InstallFixture::adopt_product(const InstallFixture& installed) {
    ime_name_ = installed.ime_name_;
    display_name_ = installed.display_name_;
    install_dir_ = installed.install_dir_;
    info = installed.info;
}

void InstallFixture::add_product() {
    add(ime_name_ + L".ime", "IME module");
    add(L"config.exe", "settings program");
    add(L"main.chm", "help");
    add(L"InstallInfo.dif", std::string(reinterpret_cast<const char*>(&info), sizeof info));
    add(L"ITF\\Interface.dll", "interface library");
    add_uninstaller();
    add_package();
}

}  // namespace wintest
