// The driver and skin update engines against a real HTTP server: an IME
// "installed" by its vendor key, Uninstall entry and config.dsc, the demo
// product's components in its install folder and the system folder, and
// cabinets holding the newer builds the demo update server hands out.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cabinet_writer.h"
#include "http_server.h"
#include "install_fixture.h"
#include "scoped_variable.h"
#include "scratch.h"
#include "test_signer.h"
#include "support/version_number.h"
#include "support/version_resource.h"
#include "support/wide.h"
#include "update/config_dsc.h"
#include "update/ime_update.h"
#include "update/signature_check.h"
#include "update/skin_update.h"

using support::make_version;
using update::UpdateEntry;
using update::UpdateNotice;
using wintest::file_exists;
using wintest::read_file;
using wintest::write_file;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The settings the tests' IME has: code-table driver "abc", skin driver
// "colourful", IME module "ZZPinyin".
constexpr wchar_t kCodeTable[] = L"abc";
constexpr wchar_t kSkin[] = L"colourful";
constexpr wchar_t kImeMain[] = L"ZZPinyin";
const support::VersionNumber kOldVersion = make_version(1, 0, 0, 1);
const support::VersionNumber kNewVersion = make_version(1, 1, 0, 21);

std::wstring windows_path(const char* unix_path) {
    std::wstring path = L"Z:";
    for (const char* p = unix_path; *p != '\0'; ++p) path.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(*p));
    return path + L"\\";
}

// The demo product's components as installed, and their newer builds.
std::wstring installed_build(const wchar_t* file) { return windows_path(DEMO_IME_PRODUCT_DIR) + file; }
std::wstring newer_build(const wchar_t* file) { return windows_path(DEMO_UPDATE_BUILD_DIR) + file; }

std::string utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

Bytes as_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A cabinet of (name inside, bytes).
Bytes cabinet(const std::vector<std::pair<std::string, Bytes>>& files) {
    std::vector<imepack::CabinetFile> entries;
    for (const auto& [name, bytes] : files) entries.push_back(imepack::CabinetFile{name, bytes, 0, 0x5A21, 0x6000, 0x20});
    return imepack::write_cabinet(entries);
}

std::wstring version_string(const std::wstring& file, const wchar_t* key) {
    wchar_t text[256];
    support::GetVersionString(file.c_str(), key, text, 256);
    return text;
}

// The bytes of one resource of a file; empty when it has none.
Bytes resource_bytes(const std::wstring& file, WORD type, WORD id) {
    HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) return {};
    Bytes bytes;
    if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type))) {
        const auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found)));
        if (data != nullptr) bytes.assign(data, data + SizeofResource(module, found));
    }
    FreeLibrary(module);
    return bytes;
}

struct Recorder {
    std::vector<std::wstring> messages;
    static void on_message(const UpdateNotice* notice, void* user) {
        static_cast<Recorder*>(user)->messages.emplace_back(notice->text);
    }
    update::UpdateHandlers handlers() { return {nullptr, on_message, this}; }
};

std::wstring text_of(const char16_t* slot) { return support::as_wide(slot); }

void set_string(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() * 2));
}

class ImeUpdateTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        served_ = std::make_unique<wintest::ScratchFolder>(L"updserved");
        server_ = std::make_unique<wintest::TestHttpServer>(served_->path());
    }
    static void TearDownTestSuite() {
        server_.reset();
        served_.reset();
    }

    void SetUp() override {
        ASSERT_TRUE(server_->running()) << "the test HTTP server did not start";
        requests_before_ = server_->requests().size();
        ASSERT_TRUE(file_exists(installed_build(L"skin.dll"))) << "the demo product isn't built";
        ASSERT_TRUE(file_exists(newer_build(L"colourful.dll"))) << "the demo's newer components aren't built";
        install_dir_ = install_.file(L"product") + L"\\";
        CreateDirectoryW(install_dir_.c_str(), nullptr);
        system_ime_ = wintest::system_dir() + ime_ + L".zin.ime";
        set_string(HKEY_CURRENT_USER, vendor_key(), L"ZMEInstallPath", install_dir_);
        write_settings(kDefault);
    }

    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, vendor_key().c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, uninstall_key().c_str());
        DeleteFileW(system_ime_.c_str());
        const std::wstring data = wintest::data_dir(ime_);
        if (!data.empty()) wintest::remove_tree(data);
    }

    std::wstring vendor_key() const { return L"Software\\marlix\\" + ime_; }
    // The machine's "UpdateServer" value; null removes it.
    static void set_machine_server(const wchar_t* address) {
        if (address == nullptr) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, update::kServerKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key) == 0) {
                RegDeleteValueW(key, update::kServerValue);
                RegCloseKey(key);
            }
            return;
        }
        // The 64-bit view, where the program looks from either build.
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, update::kServerKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                                  nullptr, &key, nullptr), ERROR_SUCCESS);
        RegSetValueExW(key, update::kServerValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(address),
                       static_cast<DWORD>((wcslen(address) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    std::wstring uninstall_key() const { return L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + ime_; }

    enum Settings { kDefault, kWithoutDefaultRecord };
    void write_settings(Settings which) {
        std::vector<update::ConfigDscRecord> records = {
            {u"zz_ime_config_data_classic", {u"classic_mb", u"Classic", u"plain"}},
        };
        if (which == kDefault) records.push_back({u"ZZ_IME_CONFIG_DATA_DEFAULT", {u"abc", u"ZZPinyin", u"colourful"}});
        const auto bytes = update::write_config_dsc(records);
        ASSERT_TRUE(bytes.has_value());
        ASSERT_TRUE(wintest::put_file(wintest::data_dir(ime_) + L"config.dsc", std::string(bytes->begin(), bytes->end())));
    }

    // A file the server hands out, at the URL path `path`.
    static void serve(const std::wstring& path, const Bytes& bytes) {
        std::wstring local = path;
        std::replace(local.begin(), local.end(), L'/', L'\\');
        ASSERT_TRUE(wintest::put_file(served_->file(local), std::string(bytes.begin(), bytes.end())));
    }
    static std::wstring url(const std::wstring& path) { return server_->url(path); }
    // One list line naming a package on the server.
    static std::wstring line(const wchar_t* type, const std::wstring& name, const wchar_t* version,
                             const std::wstring& package) {
        return std::wstring(L"<TYPE=") + type + L"><NAME=" + name + L"><VERSION=" + version + L"><CABURL=" +
               url(package) + L">\r\n";
    }
    static void serve_driver_list(const std::wstring& text) {
        serve(L"_supports/zzime_drives/UpdateList.txt", as_bytes(utf8(text)));
    }
    // A list and, unless `signature` is null, its ".sig" beside it.
    static void serve_list(const std::wstring& path, const Bytes& list, const Bytes* signature) {
        serve(path, list);
        DeleteFileW(served_->file(path + L".sig").c_str());
        if (signature != nullptr) serve(path + L".sig", *signature);
    }
    static std::wstring with_digest(std::wstring line, const std::wstring& tag) {
        return line.insert(line.size() - 2, tag);
    }

    // Whether this test asked the server for a path holding `part`.
    bool requested(const std::string& part) const {
        const auto lines = server_->requests();
        return std::any_of(lines.begin() + static_cast<std::ptrdiff_t>(std::min(requests_before_, lines.size())),
                           lines.end(), [&](const std::string& l) { return l.find(part) != l.npos; });
    }

    // The engine attached, pointed at the test's server and temporary folder.
    template <typename Engine>
    void attach(Engine& engine) {
        ASSERT_EQ(engine.Attach(recorder_.handlers()), 1);
        ASSERT_EQ(engine.temp_directory().view(), temp_.path() + L"\\");
    }

    // Initialize and CollectCandidates; the candidate count.
    template <typename Engine>
    int collect(Engine& engine) {
        attach(engine);
        if (engine.Initialize(ime_.c_str()) == 0) return -1;
        return engine.CollectCandidates();
    }

    void install_component(const std::wstring& from, const std::wstring& to) {
        ASSERT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE)) << GetLastError();
    }

    std::wstring ime_ = wintest::unique_name(L"engime");
    wintest::ScratchFolder install_{L"updinstall"};
    wintest::ScratchFolder temp_{L"updtemp"};
    wintest::ScopedVariable tmp_{L"TMP", temp_.path().c_str()};
    wintest::ScopedVariable server_address_{L"IMEBASE_UPDATE_SERVER", url(L"").c_str()};
    std::wstring install_dir_;
    std::wstring system_ime_;
    Recorder recorder_;
    std::size_t requests_before_ = 0;

    static inline std::unique_ptr<wintest::ScratchFolder> served_;
    static inline std::unique_ptr<wintest::TestHttpServer> server_;
};

// --- the server's address ---------------------------------------------------

TEST_F(ImeUpdateTest, TheServerAddressComesFromTheEnvironmentInTestBuildsThenTheMachinesRegistry) {
    ASSERT_TRUE(update::update_server_from_environment_allowed()) << "the Windows tests want a test build";
    {
        wintest::ScopedVariable other(L"IMEBASE_UPDATE_SERVER", L"http://updates.example:8080//");
        EXPECT_EQ(update::update_list_address(update::kSkinListPath),
                  L"http://updates.example:8080/_supports/zzskin_colourful/updatelist.txt");
    }
    wintest::ScopedVariable none(L"IMEBASE_UPDATE_SERVER", nullptr);
    set_machine_server(L"https://machine.example/");
    EXPECT_EQ(update::update_server_address(), L"https://machine.example");

    // Neither an address of another kind nor (in this build) the build's
    // own: no server, so no list is asked for, and the dialog hears why.
    set_machine_server(L"ftp://machine.example");
    EXPECT_EQ(update::update_server_address(), L"");
    update::ZZIMEUpdate engine;
    attach(engine);
    EXPECT_EQ(engine.Initialize(ime_.c_str()), 0);
    EXPECT_EQ(recorder_.messages, std::vector<std::wstring>{update::kNoServerConfigured});
    set_machine_server(nullptr);
}

// --- Initialize ---------------------------------------------------------------

TEST_F(ImeUpdateTest, InitializeNeedsTheInstallFolderAndTheDefaultSettingsRecord) {
    update::ZZIMEUpdate engine;
    attach(engine);
    EXPECT_EQ(engine.Initialize(nullptr), 0);
    EXPECT_EQ(engine.Initialize(L""), 0);
    EXPECT_TRUE(recorder_.messages.empty());

    const std::wstring unknown = wintest::unique_name(L"noime");
    EXPECT_EQ(engine.Initialize(unknown.c_str()), 0);
    EXPECT_EQ(recorder_.messages, std::vector<std::wstring>{update::kNoInstallDirectory});

    recorder_.messages.clear();
    write_settings(kWithoutDefaultRecord);
    EXPECT_EQ(engine.Initialize(ime_.c_str()), 0);
    DeleteFileW((wintest::data_dir(ime_) + L"config.dsc").c_str());
    EXPECT_EQ(engine.Initialize(ime_.c_str()), 0);
    EXPECT_EQ(recorder_.messages, (std::vector<std::wstring>{update::kNoSettings, update::kNoSettings}));
    EXPECT_FALSE(requested("UpdateList.txt"));
}

TEST_F(ImeUpdateTest, InitializeLoadsTheDriverListThenTheProductsOwnList) {
    serve_driver_list(line(L"ZME_DRIVE", L"abc", L"1.1", L"a.cab") + line(L"SKIN_DRIVE", L"colourful", L"1.2", L"b.cab"));
    serve(L"second/UpdateList.txt", as_bytes(utf8(line(L"CONFIG_DRIVE", L"_config_", L"3", L"c.cab"))));
    update::ZZIMEUpdate engine;
    attach(engine);

    // Without URLUpdateInfo only the server's list.
    ASSERT_EQ(engine.Initialize(ime_.c_str()), 2);
    EXPECT_EQ(engine.code_table_driver_name(), L"abc");
    EXPECT_EQ(engine.skin_driver_name(), L"colourful");
    EXPECT_EQ(engine.ime_main_name(), L"ZZPinyin");
    EXPECT_EQ(engine.install_directory().view(), install_dir_);

    // With it, its entries follow; a new run starts from empty lists.
    set_string(HKEY_LOCAL_MACHINE, uninstall_key(), L"URLUpdateInfo", url(L"second/UpdateList.txt"));
    ASSERT_EQ(engine.Initialize(ime_.c_str()), 3);
    const auto& list = engine.server_list();
    EXPECT_EQ(text_of(list[0]->name), L"abc");
    EXPECT_EQ(text_of(list[1]->name), L"colourful");
    EXPECT_EQ(text_of(list[2]->name), L"_config_");
    EXPECT_EQ(list[2]->new_version, make_version(3, 0, 0, 0));
    EXPECT_TRUE(recorder_.messages.empty());
}

// --- CollectCandidates and GetTargetPath -------------------------------------

TEST_F(ImeUpdateTest, CandidatesAreTheListedComponentsTheImeUsesNamesComparedWithoutCase) {
    install_component(installed_build(L"skin.dll"), install_dir_ + L"skin.dll");
    install_component(installed_build(L"ZZPinyin.ime"), system_ime_);
    serve_driver_list(line(L"ZME_DRIVE", L"ABC", L"2.0", L"upper.cab") + line(L"ZME_DRIVE", L"abd", L"2.0", L"x.cab") +
                      line(L"zme_drive", L"abc", L"2.1", L"lower.cab") + line(L"SKIN_DRIVE", L"COLOURFUL", L"2.2", L"s.cab") +
                      line(L"IME_MAIN", L"zzpinyin", L"2.3", L"i.cab") + line(L"CONFIG_DRIVE", L"_CONFIG_", L"2.4", L"c.cab") +
                      line(L"INSTALLBASE_DRIVE", L"_install_base_", L"2.5", L"u.cab") +
                      line(L"UPDATE", L"abc", L"9", L"x.cab") + line(L"IMEGENCAB", L"abc", L"9", L"x.cab") +
                      line(L"SKINZIP", L"abc", L"9", L"x.cab") + line(L"SKIN_DRIVE", L"plain", L"9", L"x.cab"));
    update::ZZIMEUpdate engine;
    ASSERT_EQ(collect(engine), 6);
    EXPECT_EQ(recorder_.messages, std::vector<std::wstring>{update::kCollectStart});

    struct Expected {
        std::int32_t type;
        std::wstring name, path;
        support::VersionNumber local, listed;
        std::wstring package;
    };
    const std::vector<Expected> expected = {
        {1, L"abc", install_dir_ + L"mb.dll", 0, make_version(2, 0, 0, 0), L"upper.cab"},
        {1, L"abc", install_dir_ + L"mb.dll", 0, make_version(2, 1, 0, 0), L"lower.cab"},
        {2, L"colourful", install_dir_ + L"skin.dll", kOldVersion, make_version(2, 2, 0, 0), L"s.cab"},
        {3, L"ZZPinyin", system_ime_, kOldVersion, make_version(2, 3, 0, 0), L"i.cab"},
        {6, L"_config_", install_dir_ + L"config.exe", 0, make_version(2, 4, 0, 0), L"c.cab"},
        {7, L"_install_base_", install_dir_ + L"unstall.exe", 0, make_version(2, 5, 0, 0), L"u.cab"},
    };
    const auto& candidates = engine.candidate_list();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(candidates[i]->type, expected[i].type);
        EXPECT_EQ(text_of(candidates[i]->name), expected[i].name);
        EXPECT_EQ(text_of(candidates[i]->path), expected[i].path);
        EXPECT_EQ(candidates[i]->local_version, expected[i].local);
        EXPECT_EQ(candidates[i]->new_version, expected[i].listed);
        EXPECT_EQ(text_of(candidates[i]->package_address), url(expected[i].package));
    }

    // A type without a rule gets no path.
    UpdateEntry other{};
    other.type = update::kItemGeneratorCab;
    other.path[0] = u'x';
    engine.GetTargetPath(&other);
    EXPECT_EQ(other.path[0], u'\0');
}

// --- UpdateItem ------------------------------------------------------------------

TEST_F(ImeUpdateTest, ASkinDriverUpdateKeepsTheInstalledBitmapsDescriptionAndCompany) {
    const std::wstring skin = install_dir_ + L"skin.dll";
    install_component(installed_build(L"skin.dll"), skin);
    serve(L"pkg/colourful.cab", cabinet({{"colourful.dll", read_file(newer_build(L"colourful.dll"))}}));
    serve_driver_list(line(L"SKIN_DRIVE", L"colourful", L"1.1.0.21", L"pkg/colourful.cab"));
    update::ZZIMEUpdate engine;
    ASSERT_EQ(collect(engine), 1);
    recorder_.messages.clear();

    ASSERT_EQ(engine.UpdateItem(engine.candidate_list()[0].get()), 1);
    EXPECT_EQ(recorder_.messages, std::vector<std::wstring>{L"更新：colourful"});
    EXPECT_EQ(support::GetFileVersion(skin.c_str()), kNewVersion);
    EXPECT_EQ(version_string(skin, L"FileDescription"), L"紫金拼音界面驱动");
    EXPECT_EQ(version_string(skin, L"CompanyName"), L"紫金软件工作室");
    for (WORD bitmap : {103, 104}) {
        SCOPED_TRACE(bitmap);
        const Bytes kept = resource_bytes(skin, 2, bitmap);
        ASSERT_FALSE(kept.empty());
        EXPECT_EQ(kept, resource_bytes(installed_build(L"skin.dll"), 2, bitmap));
        EXPECT_NE(kept, resource_bytes(newer_build(L"colourful.dll"), 2, bitmap));
    }
    // The package and the extracted file stay in the temporary folder.
    EXPECT_TRUE(file_exists(temp_.file(L"_zzautodownload.cab")));
    EXPECT_TRUE(file_exists(temp_.file(L"colourful.dll")));
}

TEST_F(ImeUpdateTest, AnImeModuleUpdateReplacesTheSystemFolderFileAndKeepsItsIcon) {
    install_component(installed_build(L"ZZPinyin.ime"), system_ime_);
    serve(L"pkg/ime.cab", cabinet({{"ZZPinyin.ime", read_file(newer_build(L"ZZPinyin.ime"))}}));
    serve_driver_list(line(L"IME_MAIN", L"ZZPinyin", L"1.1.0.21", L"pkg/ime.cab"));
    update::ZZIMEUpdate engine;
    ASSERT_EQ(collect(engine), 1);

    ASSERT_EQ(engine.UpdateItem(engine.candidate_list()[0].get()), 1);
    EXPECT_EQ(support::GetFileVersion(system_ime_.c_str()), kNewVersion);
    EXPECT_FALSE(file_exists(install_dir_ + L"ZZPinyin.ime"));
    EXPECT_EQ(version_string(system_ime_, L"FileDescription"), L"紫金拼音输入法");
    const Bytes icon = resource_bytes(system_ime_, 3, 1);
    ASSERT_FALSE(icon.empty());
    EXPECT_EQ(icon, resource_bytes(installed_build(L"ZZPinyin.ime"), 3, 1));
    EXPECT_NE(icon, resource_bytes(newer_build(L"ZZPinyin.ime"), 3, 1));
}

TEST_F(ImeUpdateTest, AMissingComponentIsInstalledWithTheNewFilesOwnDescription) {
    serve(L"pkg/mb.cab", cabinet({{"abc.dll", read_file(newer_build(L"zzpinyin_mb.dll"))}}));
    serve_driver_list(line(L"ZME_DRIVE", L"abc", L"1.1.0.21", L"pkg/mb.cab"));
    update::ZZIMEUpdate engine;
    ASSERT_EQ(collect(engine), 1);
    ASSERT_EQ(engine.candidate_list()[0]->local_version, 0u);

    ASSERT_EQ(engine.UpdateItem(engine.candidate_list()[0].get()), 1);
    const std::wstring mb = install_dir_ + L"mb.dll";
    EXPECT_EQ(read_file(mb), read_file(newer_build(L"zzpinyin_mb.dll")));
}

TEST_F(ImeUpdateTest, FailedUpdatesLeaveTheInstalledFileAsItWas) {
    const std::wstring mb = install_dir_ + L"mb.dll";
    install_component(installed_build(L"mb.dll"), mb);
    const Bytes before = read_file(mb);
    serve(L"pkg/mb.cab", cabinet({{"abc.dll", read_file(newer_build(L"zzpinyin_mb.dll"))}}));
    serve(L"pkg/wrong.cab", cabinet({{"abd.dll", read_file(newer_build(L"zzpinyin_mb.dll"))}}));
    serve_driver_list(line(L"ZME_DRIVE", L"abc", L"1.1.0.21", L"pkg/mb.cab") +
                      line(L"ZME_DRIVE", L"abc", L"1.1.0.21", L"pkg/wrong.cab") +
                      line(L"ZME_DRIVE", L"abc", L"1.1.0.21", L"pkg/missing.cab"));
    update::ZZIMEUpdate engine;
    ASSERT_EQ(collect(engine), 3);
    const auto& candidates = engine.candidate_list();

    {
        // In use by a program that lets others only read it.
        HANDLE held = CreateFileW(mb.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        recorder_.messages.clear();
        EXPECT_EQ(engine.UpdateItem(candidates[0].get()), 0);
        CloseHandle(held);
        EXPECT_EQ(recorder_.messages, (std::vector<std::wstring>{L"更新：abc", update::kReplaceFailed}));
        EXPECT_EQ(read_file(mb), before);
    }
    {
        // The first package's abc.dll is still in the temporary folder: a
        // cabinet without it must not install that one.
        ASSERT_TRUE(file_exists(temp_.file(L"abc.dll")));
        recorder_.messages.clear();
        EXPECT_EQ(engine.UpdateItem(candidates[1].get()), 0);
        EXPECT_EQ(recorder_.messages, (std::vector<std::wstring>{L"更新：abc", update::kIdentityFailed}));
        EXPECT_EQ(read_file(mb), before);
    }
    {
        recorder_.messages.clear();
        EXPECT_EQ(engine.UpdateItem(candidates[2].get()), 0);
        EXPECT_EQ(recorder_.messages, (std::vector<std::wstring>{L"更新：abc", L"\u3000\u3000下载abc 失败"}));
        EXPECT_EQ(read_file(mb), before);
    }
    // And the first one, once nothing holds the file.
    EXPECT_EQ(engine.UpdateItem(candidates[0].get()), 1);
    EXPECT_EQ(support::GetFileVersion(mb.c_str()), kNewVersion);
    EXPECT_EQ(version_string(mb, L"FileDescription"), L"紫金拼音码表驱动");
}

// The new file is written beside the installed one and renamed over it;
// the installed file is kept until then and nothing is left beside it.
TEST(ReplaceInstalledFile, ReplacesWholeOrLeavesTheInstalledFileAndNothingBesideIt) {
    wintest::ScratchFolder folder(L"replace");
    const std::wstring installed = folder.file(L"mb.dll");
    const std::wstring new_file = folder.file(L"new\\mb.dll");
    wintest::put_file(installed, "installed");
    wintest::put_file(new_file, "new version");
    const auto beside = [&folder] {
        WIN32_FIND_DATAW entry{};
        const HANDLE search = FindFirstFileW(folder.file(L"~zz*").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) return 0;
        int count = 0;
        do ++count;
        while (FindNextFileW(search, &entry));
        FindClose(search);
        return count;
    };

    {
        // Held by a program that lets others only read it: the Windows
        // error, and the installed file as it was.
        HANDLE held = CreateFileW(installed.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_NE(update::replace_installed_file(new_file.c_str(), installed.c_str()), 0u);
        CloseHandle(held);
    }
    EXPECT_EQ(wintest::file_text(installed), "installed");
    EXPECT_EQ(beside(), 0);
    // A new file that can't be read: the same.
    EXPECT_EQ(update::replace_installed_file(folder.file(L"none.dll").c_str(), installed.c_str()),
              static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(wintest::file_text(installed), "installed");
    EXPECT_EQ(beside(), 0);

    EXPECT_EQ(update::replace_installed_file(new_file.c_str(), installed.c_str()), 0u);
    EXPECT_EQ(wintest::file_text(installed), "new version");
    EXPECT_EQ(wintest::file_text(new_file), "new version");
    EXPECT_EQ(beside(), 0);
    // A component that was missing is put in place as well.
    EXPECT_EQ(update::replace_installed_file(new_file.c_str(), folder.file(L"skin.dll").c_str()), 0u);
    EXPECT_EQ(wintest::file_text(folder.file(L"skin.dll")), "new version");
    EXPECT_EQ(beside(), 0);
}

// --- the demo update server's files ---------------------------------------------

// Every file below `from` copied to `to`, the lists' server address replaced
// by this test server's.
void copy_demo_tree(const std::wstring& from, const std::wstring& to, const std::string& server) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((from + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            copy_demo_tree(from + name + L"\\", to + name + L"\\", server);
            continue;
        }
        const Bytes bytes = read_file(from + name);
        std::string text(bytes.begin(), bytes.end());
        if (name.size() > 4 && name.substr(name.size() - 4) == L".txt") {
            const std::string compiled = DEMO_UPDATE_SERVER;
            for (std::size_t at = text.find(compiled); at != text.npos; at = text.find(compiled, at + server.size()))
                text.replace(at, compiled.size(), server);
        }
        wintest::put_file(to + name, text);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

TEST_F(ImeUpdateTest, TheDemoServersFilesUpdateEveryDemoComponent) {
    const std::wstring demo = windows_path(DEMO_UPDATE_SERVER_DIR);
    if (!file_exists(demo + L"_supports\\zzime_drives\\UpdateList.txt"))
        GTEST_SKIP() << "the demo update server's files aren't laid out (no packer)";
    std::string root = utf8(url(L""));
    root.pop_back();  // the trailing slash
    copy_demo_tree(demo, served_->path() + L"\\", root);
    // The demo product's own settings and second list.
    std::vector<update::ConfigDscRecord> records = {{u"zz_ime_config_data_default", {u"zzpinyin_mb", u"ZZPinyin", u"colourful"}}};
    const auto settings = update::write_config_dsc(records);
    ASSERT_TRUE(settings.has_value());
    ASSERT_TRUE(wintest::put_file(wintest::data_dir(ime_) + L"config.dsc", std::string(settings->begin(), settings->end())));
    set_string(HKEY_LOCAL_MACHINE, uninstall_key(), L"URLUpdateInfo", url(L"_supports/zzpinyin/UpdateList.txt"));
    const std::vector<std::pair<std::wstring, std::wstring>> installed = {
        {L"mb.dll", install_dir_ + L"mb.dll"},
        {L"skin.dll", install_dir_ + L"skin.dll"},
        {L"ZZPinyin.ime", system_ime_},
        {L"config.exe", install_dir_ + L"config.exe"},
    };
    for (const auto& [file, place] : installed) install_component(installed_build(file.c_str()), place);

    update::ZZIMEUpdate engine;
    ASSERT_EQ(collect(engine), 4);
    for (const auto& candidate : engine.candidate_list()) {
        SCOPED_TRACE(text_of(candidate->name));
        EXPECT_EQ(candidate->local_version, kOldVersion);
        EXPECT_EQ(candidate->new_version, kNewVersion);
        EXPECT_EQ(engine.UpdateItem(candidate.get()), 1);
    }
    for (const auto& [file, place] : installed) {
        SCOPED_TRACE(file);
        EXPECT_EQ(support::GetFileVersion(place.c_str()), kNewVersion);
        EXPECT_EQ(version_string(place, L"CompanyName"), L"紫金软件工作室");
        EXPECT_EQ(version_string(place, L"FileDescription"), version_string(installed_build(file.c_str()), L"FileDescription"));
    }

    update::ZZSKINZIPUpdate skins;
    ASSERT_EQ(collect(skins), 2);
    for (const auto& candidate : skins.candidate_list()) {
        SCOPED_TRACE(text_of(candidate->name));
        EXPECT_EQ(skins.UpdateItem(candidate.get()), 1);
        const Bytes preview = read_file(update::skin_preview_file(skins.temp_directory(), *candidate).c_str());
        ASSERT_GT(preview.size(), 8u);
        EXPECT_EQ(std::string(preview.begin() + 1, preview.begin() + 4), "PNG");
    }
}

// --- signed lists and packages ----------------------------------------------------

class SignedUpdateTest : public ImeUpdateTest {
protected:
    void SetUp() override {
        ImeUpdateTest::SetUp();
        ASSERT_TRUE(vendor_.ok() && stranger_.ok()) << "CNG can't make P-256 keys here";
    }
    template <typename Engine>
    int collect_verified(Engine& engine) {
        engine.set_update_key(vendor_.public_key());
        return collect(engine);
    }
    bool posted(const std::wstring& text) const {
        return std::find(recorder_.messages.begin(), recorder_.messages.end(), text) != recorder_.messages.end();
    }
    wintest::TestSigner vendor_;
    wintest::TestSigner stranger_;
};

TEST_F(SignedUpdateTest, AListIsTakenOnlyWithTheVendorsSignatureOverItsExactBytes) {
    const std::wstring path = L"_supports/zzime_drives/UpdateList.txt";
    const std::wstring address = url(path);
    const Bytes list = as_bytes(utf8(line(L"ZME_DRIVE", L"abc", L"2.0", L"pkg/mb.cab")));
    Bytes changed = list;
    changed[list.size() / 2] ^= 1;
    const Bytes good = vendor_.sign(list);
    const Bytes foreign = stranger_.sign(list);
    const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    const Bytes empty;
    const std::wstring unsigned_text = L"更新列表没有签名（无法取得" + address + L".sig），整个列表已拒绝";
    const std::wstring forged_text = L"更新列表的签名不对，整个列表已拒绝：" + address;
    struct Case {
        const char* what;
        const Bytes& served;
        const Bytes* signature;
        const std::wstring& message;
    };
    const Case cases[] = {
        {"unsigned (the signature answers 404)", list, nullptr, unsigned_text},
        {"one byte changed after signing", changed, &good, forged_text},
        {"signed with another key", list, &foreign, forged_text},
        {"a truncated signature", list, &cut, forged_text},
        {"an empty signature file", list, &empty, forged_text},
    };
    update::ZZIMEUpdate engine;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        serve_list(path, c.served, c.signature);
        recorder_.messages.clear();
        EXPECT_EQ(collect_verified(engine), -1);  // nothing taken from the list
        EXPECT_TRUE(posted(c.message)) << (recorder_.messages.empty() ? L"" : recorder_.messages.back());
    }
    serve_list(path, list, &good);
    EXPECT_EQ(collect_verified(engine), 1);
    EXPECT_FALSE(requested("pkg/mb.cab"));
}

TEST_F(SignedUpdateTest, OnlyPackagesWithTheSignedDigestAreInstalledAndNeverAnOlderVersion) {
    const std::wstring mb = install_dir_ + L"mb.dll";
    const std::wstring skin = install_dir_ + L"skin.dll";
    const std::wstring config = install_dir_ + L"config.exe";
    install_component(installed_build(L"mb.dll"), mb);
    install_component(installed_build(L"skin.dll"), skin);
    install_component(installed_build(L"ZZPinyin.ime"), system_ime_);
    install_component(installed_build(L"config.exe"), config);
    const Bytes mb_package = cabinet({{"abc.dll", read_file(newer_build(L"zzpinyin_mb.dll"))}});
    const Bytes skin_package = cabinet({{"colourful.dll", read_file(newer_build(L"colourful.dll"))}});
    Bytes forged = skin_package;
    forged[forged.size() - 10] ^= 1;
    serve(L"pkg/mb.cab", mb_package);
    serve(L"pkg/skin.cab", forged);
    serve(L"pkg/ime.cab", cabinet({{"ZZPinyin.ime", read_file(newer_build(L"ZZPinyin.ime"))}}));
    serve(L"pkg/config.cab", cabinet({{"_config_.exe", read_file(newer_build(L"config.exe"))}}));
    std::wstring capitals = wintest::sha256_hex(mb_package);
    std::transform(capitals.begin(), capitals.end(), capitals.begin(), towupper);
    const std::wstring list =
        with_digest(line(L"ZME_DRIVE", L"abc", L"1.0.0.0", L"pkg/mb.cab"), L"<SHA256=" + wintest::sha256_hex(mb_package) + L">") +
        with_digest(line(L"SKIN_DRIVE", L"colourful", L"1.1.0.21", L"pkg/skin.cab"),
                    L"<SHA256=" + wintest::sha256_hex(skin_package) + L">") +
        line(L"IME_MAIN", L"ZZPinyin", L"1.1.0.21", L"pkg/ime.cab") +
        with_digest(line(L"CONFIG_DRIVE", L"_config_", L"1.1.0.21", L"pkg/config.cab"), L"<SHA256=" + capitals + L">") +
        with_digest(line(L"ZME_DRIVE", L"abc", L"1.1.0.21", L"pkg/mb.cab"),
                    L"<SHA256= " + wintest::sha256_hex(mb_package).substr(1) + L">") +
        with_digest(line(L"ZME_DRIVE", L"abc", L"1.1.0.21", L"pkg/mb.cab"), L"<SHA256=" + wintest::sha256_hex(mb_package) + L">");
    const Bytes list_bytes = as_bytes(utf8(list));
    const Bytes signature = vendor_.sign(list_bytes);
    serve_list(L"_supports/zzime_drives/UpdateList.txt", list_bytes, &signature);
    std::vector<std::pair<std::wstring, Bytes>> before;
    for (const std::wstring& file : {mb, skin, system_ime_, config}) before.emplace_back(file, read_file(file));

    update::ZZIMEUpdate engine;
    ASSERT_EQ(collect_verified(engine), 6);
    const auto& candidates = engine.candidate_list();
    const std::wstring expected[] = {
        L"  abc的版本比已安装的旧，不安装",
        L"  colourful与更新列表签名的SHA-256摘要不符，已拒绝",
        L"  更新列表没有给出ZZPinyin的SHA-256摘要，已拒绝",
        L"  更新列表中_config_的SHA-256摘要格式不对，已拒绝",
        L"  更新列表中abc的SHA-256摘要格式不对，已拒绝",
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i]);
        recorder_.messages.clear();
        EXPECT_EQ(engine.UpdateItem(candidates[i].get()), 0);
        EXPECT_TRUE(posted(expected[i]));
        for (const auto& [file, bytes] : before) EXPECT_EQ(read_file(file), bytes);
    }
    // Nothing was extracted from the forged package; the next item, whose
    // package is the signed one, still goes in.
    EXPECT_FALSE(file_exists(temp_.file(L"colourful.dll")));
    EXPECT_FALSE(requested("pkg/ime.cab"));
    EXPECT_EQ(engine.UpdateItem(candidates[5].get()), 1);
    EXPECT_EQ(support::GetFileVersion(mb.c_str()), kNewVersion);
}

TEST_F(SignedUpdateTest, ASkinIsReadyOnlyWithItsPackageAndPreviewDigests) {
    const Bytes package = as_bytes("PK zip of jade");
    const Bytes preview = as_bytes("\x89PNG preview of jade");
    serve(L"skins/jade.zip", package);
    serve(L"skins/jade.zip.png", preview);
    const std::wstring digests =
        L"<SHA256=" + wintest::sha256_hex(package) + L"><PNGSHA256=" + wintest::sha256_hex(preview) + L">";
    const std::wstring list = with_digest(line(L"SKINZIP", L"jade", L"1", L"skins/jade.zip"), digests) +
                              with_digest(line(L"SKINZIP", L"nopic", L"1", L"skins/jade.zip"),
                                          L"<SHA256=" + wintest::sha256_hex(package) + L">") +
                              with_digest(line(L"SKINZIP", L"swapped", L"1", L"skins/jade.zip"),
                                          L"<SHA256=" + wintest::sha256_hex(preview) + L"><PNGSHA256=" +
                                              wintest::sha256_hex(preview) + L">");
    const Bytes list_bytes = as_bytes(utf8(list));
    const Bytes signature = vendor_.sign(list_bytes);
    serve_list(L"_supports/zzskin_colourful/updatelist.txt", list_bytes, &signature);
    ASSERT_TRUE(CreateDirectoryW((install_dir_ + L"colourful").c_str(), nullptr));

    update::ZZSKINZIPUpdate engine;
    ASSERT_EQ(collect_verified(engine), 3);
    const auto& candidates = engine.candidate_list();
    EXPECT_EQ(engine.UpdateItem(candidates[0].get()), 1);
    EXPECT_EQ(engine.UpdateItem(candidates[1].get()), 0);
    EXPECT_EQ(engine.last_failure(), update::kSkinNoDigest);
    EXPECT_EQ(engine.UpdateItem(candidates[2].get()), 0);
    EXPECT_EQ(engine.last_failure(), update::kSkinDigestMismatch);
    EXPECT_FALSE(engine.package_ready(*candidates[1]));
    EXPECT_FALSE(engine.install_package(*candidates[2]));

    // The checked package is installed; swapped after its check, it isn't.
    ASSERT_TRUE(engine.install_package(*candidates[0]));
    EXPECT_EQ(read_file(install_dir_ + L"colourful\\jade.zip"), package);
    DeleteFileW((install_dir_ + L"colourful\\jade.zip").c_str());
    ASSERT_TRUE(write_file(update::skin_package_file(engine.temp_directory(), *candidates[0]).c_str(), as_bytes("PK evil")));
    EXPECT_FALSE(engine.install_package(*candidates[0]));
    EXPECT_FALSE(file_exists(install_dir_ + L"colourful\\jade.zip"));
}

TEST(UpdateSignatureTest, AListSignedWithOpenSslsCommandLineVerifies) {
    const std::wstring folder = windows_path(SIGNING_FIXTURES_DIR);
    const Bytes pem = read_file(folder + L"vendor.pub.pem");
    const Bytes list = read_file(folder + L"UpdateList.txt");
    const Bytes signature = read_file(folder + L"UpdateList.txt.sig");
    ASSERT_FALSE(list.empty());
    const auto key = update::parse_public_key_pem(std::string(pem.begin(), pem.end()));
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(update::verify_signature(*key, list, signature), update::SignatureCheck::valid);
    Bytes changed = list;
    changed.back() ^= 1;
    EXPECT_EQ(update::verify_signature(*key, changed, signature), update::SignatureCheck::invalid);
    // And the program's own image carries no key in a test build.
    EXPECT_FALSE(update::program_update_key().has_value());
}

// --- the skin engine -----------------------------------------------------------

TEST_F(ImeUpdateTest, TheSkinEngineListsEverySkinPackageOfTheSkinListOnly) {
    set_string(HKEY_LOCAL_MACHINE, uninstall_key(), L"URLUpdateInfo", url(L"second/skins.txt"));
    serve(L"_supports/zzskin_colourful/updatelist.txt",
          as_bytes(utf8(line(L"SKINZIP", L"jade", L"1.0.0.1", L"skins/jade.zip") +
                        line(L"ZME_DRIVE", L"abc", L"2", L"pkg/mb.cab") +
                        line(L"SKINZIP", L"..\\escape", L"1", L"skins/x.zip") +
                        line(L"skinzip", L"sunset", L"1.0.32.1", L"skins/sunset.zip"))));
    update::ZZSKINZIPUpdate engine;
    ASSERT_EQ(collect(engine), 2);
    EXPECT_FALSE(requested("second/skins.txt"));
    EXPECT_FALSE(requested("zzime_drives"));
    const auto& candidates = engine.candidate_list();
    EXPECT_EQ(text_of(candidates[0]->name), L"jade");
    EXPECT_EQ(text_of(candidates[1]->name), L"sunset");
    EXPECT_EQ(candidates[1]->type, update::kItemSkinZip);
    EXPECT_EQ(candidates[1]->local_version, 0u);
    EXPECT_EQ(candidates[1]->new_version, make_version(1, 0, 32, 1));
    // Without a "colourful" folder every skin goes to skin.zip.
    EXPECT_EQ(text_of(candidates[0]->path), install_dir_ + L"skin.zip");
    EXPECT_EQ(text_of(candidates[1]->path), install_dir_ + L"skin.zip");

    ASSERT_TRUE(CreateDirectoryW((install_dir_ + L"colourful").c_str(), nullptr));
    ASSERT_EQ(engine.Initialize(ime_.c_str()), 4);
    ASSERT_EQ(engine.CollectCandidates(), 2);
    EXPECT_EQ(text_of(engine.candidate_list()[1]->path), install_dir_ + L"colourful\\sunset.zip");
}

TEST_F(ImeUpdateTest, ASkinUpdateDownloadsThePackageAndItsPreview) {
    const Bytes package = as_bytes("PK zip of jade");
    const Bytes preview = as_bytes("\x89PNG preview of jade");
    serve(L"skins/jade.zip", package);
    serve(L"skins/jade.zip.png", preview);
    serve(L"skins/nopreview.zip", package);
    serve(L"_supports/zzskin_colourful/updatelist.txt",
          as_bytes(utf8(line(L"SKINZIP", L"jade", L"1", L"skins/jade.zip") +
                        line(L"SKINZIP", L"nopreview", L"1", L"skins/nopreview.zip") +
                        line(L"SKINZIP", L"gone", L"1", L"skins/gone.zip"))));
    update::ZZSKINZIPUpdate engine;
    ASSERT_EQ(collect(engine), 3);
    const auto& candidates = engine.candidate_list();
    recorder_.messages.clear();

    ASSERT_EQ(engine.UpdateItem(candidates[0].get()), 1);
    EXPECT_EQ(update::skin_package_file(engine.temp_directory(), *candidates[0]).view(), temp_.file(L"jade.zip"));
    EXPECT_EQ(read_file(temp_.file(L"jade.zip")), package);
    EXPECT_EQ(read_file(update::skin_preview_file(engine.temp_directory(), *candidates[0]).c_str()), preview);
    // Nothing is installed by the engine.
    EXPECT_FALSE(file_exists(install_dir_ + L"skin.zip"));

    EXPECT_EQ(engine.UpdateItem(candidates[1].get()), 0);
    EXPECT_EQ(engine.UpdateItem(candidates[2].get()), 0);
    EXPECT_EQ(recorder_.messages,
              (std::vector<std::wstring>{L"更新：jade", L"更新：nopreview", L"\u3000\u3000下载nopreview .png 失败",
                                         L"更新：gone", L"\u3000\u3000下载gone 失败"}));
}

}  // namespace
