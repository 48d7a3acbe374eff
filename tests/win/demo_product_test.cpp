// The demo product folder as the build lays it out: what the installer,
// the uninstaller, the updater and a person rely on in each file.
#include "update/config_dsc.h"

#include <windows.h>
#include <imm.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#ifndef DEMO_IME_PRODUCT_DIR
#error "DEMO_IME_PRODUCT_DIR names the product folder"
#endif

namespace {

// The build passes a Unix path; under Wine the root of the Unix file
// system is drive Z:.
std::wstring product_dir() {
    const char* utf8 = DEMO_IME_PRODUCT_DIR;
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring path(static_cast<std::size_t>(n > 0 ? n - 1 : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, path.data(), n);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (!path.empty() && path[0] == L'\\') path.insert(0, L"Z:");
    return path + L"\\";
}

std::wstring product_file(const wchar_t* relative) {
    return product_dir() + relative;
}

struct ModuleDeleter {
    void operator()(HMODULE m) const { FreeLibrary(m); }
};
using Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleDeleter>;

struct HandleDeleter {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using Handle = std::unique_ptr<void, HandleDeleter>;

std::vector<std::uint8_t> read_bytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A folder of the test's own under the temporary folder, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path_ = std::wstring(base) + L"demo_product_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(counter_++) + L"\\";
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path_ + L"*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((path_ + found.cFileName).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path_.c_str());
    }
    const std::wstring& path() const { return path_; }

private:
    static inline int counter_ = 0;
    std::wstring path_;
};

void list_tree(const std::wstring& folder, const std::wstring& prefix, std::set<std::wstring>& out) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            list_tree(folder + name + L"\\", prefix + name + L"\\", out);
        else
            out.insert(prefix + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

struct Built {
    const wchar_t* file;
    const wchar_t* description;
};
constexpr Built kBuilt[] = {
    {L"ZZPinyin.ime", L"紫金拼音输入法"},         {L"mb.dll", L"紫金拼音码表驱动"},
    {L"skin.dll", L"紫金拼音界面驱动"},           {L"config.exe", L"紫金拼音输入法设置"},
    {L"ITF\\Interface.dll", L"紫金拼音输入接口"},
};

std::wstring version_string(const std::vector<std::uint8_t>& block, const wchar_t* name) {
    void* value = nullptr;
    UINT units = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    if (!VerQueryValueW(block.data(), query.c_str(), &value, &units) || value == nullptr) return L"<missing>";
    return static_cast<const wchar_t*>(value);
}

}  // namespace

TEST(DemoProduct, FolderHoldsExactlyTheProductFilesInTheirPlaces) {
    std::set<std::wstring> files;
    list_tree(product_dir(), L"", files);
    const std::set<std::wstring> expected = {
        L"ZZPinyin.ime",
        L"mb.dll",
        L"skin.dll",
        L"config.exe",
        L"ITF\\Interface.dll",
        L"License.html",
        L"readme.txt",
        L"main.chm",
        L"$system32$\\ZZPinyin.lex",
        L"$windows$\\ZZPinyin.ini",
        L"$fonts$\\Comfortaa-Regular.ttf",
        L"$dataFiles$\\config.dsc",
        L"$dataFiles$\\danzi.zmi",
    };
    EXPECT_EQ(files, expected);
}

TEST(DemoProduct, EveryBuiltFileCarriesItsVersionResource) {
    for (const auto& built : kBuilt) {
        SCOPED_TRACE(testing::Message() << "file " << static_cast<int>(&built - kBuilt));
        const std::wstring path = product_file(built.file);
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_GT(size, 0u);
        std::vector<std::uint8_t> block(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT fixed_size = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size));
        EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
        EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);

        WORD* translation = nullptr;
        UINT translation_size = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                                   &translation_size));
        ASSERT_GE(translation_size, 4u);
        EXPECT_EQ(translation[0], 0x0804);
        EXPECT_EQ(translation[1], 1200);

        EXPECT_EQ(version_string(block, L"FileVersion"), L"1.0.0.1");
        EXPECT_EQ(version_string(block, L"FileDescription"), built.description);
        EXPECT_EQ(version_string(block, L"CompanyName"), L"紫金软件工作室");
        EXPECT_EQ(version_string(block, L"ProductName"), L"紫金拼音输入法");
    }
}

TEST(DemoProduct, EveryBuiltFileHasAnIconAndTheSettingsProgramHasTheShortcutsIcons) {
    for (const auto& built : kBuilt) {
        EXPECT_GE(ExtractIconExW(product_file(built.file).c_str(), -1, nullptr, nullptr, 0), 1u)
            << static_cast<int>(&built - kBuilt);
    }
    // The tools shortcuts show config.exe's icons 2, 3 and 6.
    EXPECT_EQ(ExtractIconExW(product_file(L"config.exe").c_str(), -1, nullptr, nullptr, 0), 7u);
    // The updater carries icon resource 1 over into a newer IME file.
    Module ime(LoadLibraryExW(product_file(L"ZZPinyin.ime").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(ime);
    EXPECT_NE(FindResourceW(ime.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(3) /* RT_ICON */), nullptr);
}

TEST(DemoProduct, ImeFileIsAnInputMethodWithEveryEntryPoint) {
    const std::wstring path = product_file(L"ZZPinyin.ime");
    DWORD ignored = 0;
    std::vector<std::uint8_t> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DRV));
    EXPECT_EQ(fixed->dwFileSubtype, static_cast<DWORD>(VFT2_DRV_INPUTMETHOD));

    Module ime(LoadLibraryW(path.c_str()));
    ASSERT_TRUE(ime);
    for (const char* entry : {"ImeInquire", "ImeConfigure", "ImeConversionList", "ImeDestroy", "ImeEscape",
                              "ImeProcessKey", "ImeSelect", "ImeSetActiveContext", "ImeToAsciiEx", "NotifyIME",
                              "ImeRegisterWord", "ImeUnregisterWord", "ImeGetRegisterWordStyle",
                              "ImeEnumRegisterWord", "ImeSetCompositionString"}) {
        EXPECT_NE(GetProcAddress(ime.get(), entry), nullptr) << entry;
    }

    DWORD info[7] = {0xCDCDCDCD, 0, 0, 0, 0, 0, 0};  // the IME's information record
    wchar_t ui_class[17] = L"";
    using Inquire = BOOL(WINAPI*)(DWORD*, wchar_t*, DWORD);
    const auto inquire = reinterpret_cast<Inquire>(reinterpret_cast<void*>(GetProcAddress(ime.get(), "ImeInquire")));
    ASSERT_NE(inquire, nullptr);
    ASSERT_TRUE(inquire(info, ui_class, 0));
    EXPECT_EQ(info[0], 0u);                              // no private data
    EXPECT_TRUE(info[1] & IME_PROP_UNICODE);             // wide texts
    EXPECT_TRUE(info[2] & IME_CMODE_NATIVE);             // Chinese input
    EXPECT_STREQ(ui_class, L"ZZPinyinUI");
    EXPECT_FALSE(inquire(nullptr, ui_class, 0));

    // The UI class is registered while the IME is loaded, as an IME class.
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    ASSERT_TRUE(GetClassInfoExW(ime.get(), ui_class, &wc));
    EXPECT_TRUE(wc.style & CS_IME);

    // Keys pass through untouched.
    using ProcessKey = BOOL(WINAPI*)(HIMC, UINT, LPARAM, BYTE*);
    const auto process_key =
        reinterpret_cast<ProcessKey>(reinterpret_cast<void*>(GetProcAddress(ime.get(), "ImeProcessKey")));
    BYTE keys[256] = {};
    EXPECT_FALSE(process_key(nullptr, 'A', 0, keys));
}

TEST(DemoProduct, SkinDriverHasBothSkinBitmaps) {
    Module skin(LoadLibraryExW(product_file(L"skin.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(skin);
    const struct {
        int id;
        LONG width;
        LONG height;
    } bitmaps[] = {{103, 96, 24}, {104, 48, 16}};
    for (const auto& b : bitmaps) {
        HANDLE image = LoadImageW(skin.get(), MAKEINTRESOURCEW(b.id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
        ASSERT_NE(image, nullptr) << b.id;
        BITMAP info{};
        EXPECT_EQ(GetObjectW(image, sizeof info, &info), static_cast<int>(sizeof info));
        EXPECT_EQ(info.bmWidth, b.width) << b.id;
        EXPECT_EQ(info.bmHeight, b.height) << b.id;
        DeleteObject(image);
    }
    EXPECT_EQ(LoadImageW(skin.get(), MAKEINTRESOURCEW(105), IMAGE_BITMAP, 0, 0, 0), nullptr);
}

class InterfaceLibrary : public testing::Test {
protected:
    using Message = int(__cdecl*)(int, int, int, int);

    void SetUp() override {
        library_.reset(LoadLibraryW(product_file(L"ITF\\Interface.dll").c_str()));
        ASSERT_TRUE(library_);
        message_ = reinterpret_cast<Message>(
            reinterpret_cast<void*>(GetProcAddress(library_.get(), "ZZInterfaceMessage")));
        ASSERT_NE(message_, nullptr);
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"ZZ_INTERFACE_LOG_DIR", nullptr);
        DeleteFileW((log_dir_.path() + L"ZZInterface.log").c_str());
    }

    std::string log_in(const std::wstring& folder) {
        const auto bytes = read_bytes(folder + L"ZZInterface.log");
        return {bytes.begin(), bytes.end()};
    }
    std::string expected_line(int code) {
        return "ZZInterfaceMessage 0 " + std::to_string(code) + " 0 0 pid=" + std::to_string(GetCurrentProcessId()) +
               " exe=win_demo_product.exe\r\n";
    }

    Module library_;
    Message message_ = nullptr;
    TempFolder log_dir_;
};

TEST_F(InterfaceLibrary, RecordsEachCallInTheFolderNamedByTheEnvironment) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"ZZ_INTERFACE_LOG_DIR", log_dir_.path().c_str()));
    EXPECT_EQ(message_(0, 7, 0, 0), 1);  // the removal notice is acted on
    EXPECT_EQ(log_in(log_dir_.path()), expected_line(7));
    EXPECT_EQ(message_(0, 3, 0, 0), 0);  // other codes are recorded, not acted on
    EXPECT_EQ(log_in(log_dir_.path()), expected_line(7) + expected_line(3));
}

TEST_F(InterfaceLibrary, WithoutTheVariableRecordsInTheTemporaryFolder) {
    TempFolder temp;
    wchar_t saved[MAX_PATH] = L"";
    const DWORD had = GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", temp.path().c_str()));
    wchar_t now[MAX_PATH];
    GetTempPathW(MAX_PATH, now);
    EXPECT_EQ(std::wstring(now), temp.path());
    EXPECT_EQ(message_(0, 7, 0, 0), 1);
    SetEnvironmentVariableW(L"TMP", had ? saved : nullptr);
    EXPECT_EQ(log_in(temp.path()), expected_line(7));
    DeleteFileW((temp.path() + L"ZZInterface.log").c_str());
}

TEST(DemoProduct, SettingsStoreNamesTheProductsComponents) {
    const auto bytes = read_bytes(product_file(L"$dataFiles$\\config.dsc"));
    ASSERT_FALSE(bytes.empty());
    const auto found = update::read_config_record(bytes);
    ASSERT_EQ(found.status, update::ConfigDscStatus::ok);
    EXPECT_EQ(found.names.code_table_driver, u"zzpinyin_mb");
    EXPECT_EQ(found.names.ime_main, u"ZZPinyin");  // the IME file is ZZPinyin.ime
    EXPECT_EQ(found.names.skin_driver, u"colourful");
    // The default record is not the first: the offset table is what finds it.
    EXPECT_EQ(update::read_config_record(bytes, u"zz_ime_config_data_classic").names.skin_driver, u"classic");
}

TEST(DemoProduct, FontLicenceAndReadmeAreWhatTheInstallerExpects) {
    // A TrueType font whose name contains ".ttf" in lower case.
    const auto font = read_bytes(product_file(L"$fonts$\\Comfortaa-Regular.ttf"));
    ASSERT_GE(font.size(), 4u);
    EXPECT_EQ(std::vector<std::uint8_t>(font.begin(), font.begin() + 4), (std::vector<std::uint8_t>{0, 1, 0, 0}));
    EXPECT_LE(font.size(), 300u * 1024u);

    // The licence page is UTF-8 and says so.
    const auto licence = read_bytes(product_file(L"License.html"));
    const std::string html(licence.begin(), licence.end());
    EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, html.data(), static_cast<int>(html.size()),
                                          nullptr, 0);
    ASSERT_GT(units, 0);
    std::wstring text(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, html.data(), static_cast<int>(html.size()), text.data(), units);
    EXPECT_NE(text.find(L"许可协议"), std::wstring::npos);

    // The file opened after the install, with a byte-order mark for Notepad.
    const auto readme = read_bytes(product_file(L"readme.txt"));
    ASSERT_GE(readme.size(), 3u);
    EXPECT_EQ(readme[0], 0xEF);
    EXPECT_EQ(readme[1], 0xBB);
    EXPECT_EQ(readme[2], 0xBF);
}

namespace {

// Starts config.exe as a shortcut would and returns the text of the message
// box it shows, closing the box; empty when no box appeared in time.
std::wstring settings_program_says(const wchar_t* arguments) {
    std::wstring command = L"\"" + product_file(L"config.exe") + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, product_dir().c_str(), &si,
                        &pi))
        return L"<not started>";
    Handle process(pi.hProcess);
    Handle thread(pi.hThread);
    std::wstring text;
    for (int i = 0; i < 200 && text.empty(); ++i) {
        HWND box = FindWindowW(L"#32770", L"紫金拼音输入法设置");
        DWORD owner = 0;
        if (box != nullptr && GetWindowThreadProcessId(box, &owner) && owner == pi.dwProcessId) {
            wchar_t buffer[512] = L"";
            GetDlgItemTextW(box, 0xFFFF, buffer, 512);
            text = buffer;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        } else {
            Sleep(50);
        }
    }
    if (WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) TerminateProcess(process.get(), 1);
    return text;
}

}  // namespace

TEST(DemoProduct, SettingsProgramShowsTheTaskItWasStartedFor) {
    const std::wstring lookup = settings_program_says(L"/n 'ZZPinyin' /do mabiaochaxun");
    EXPECT_NE(lookup.find(L"输入法：ZZPinyin"), std::wstring::npos) << lookup.size();
    EXPECT_NE(lookup.find(L"功能：码表查询"), std::wstring::npos);
    const std::wstring plain = settings_program_says(L"/n 'ZZ Pinyin'");
    EXPECT_NE(plain.find(L"输入法：ZZ Pinyin"), std::wstring::npos);
    EXPECT_NE(plain.find(L"功能：使用习惯更改和设定"), std::wstring::npos);
}
