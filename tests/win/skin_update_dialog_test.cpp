// The skin package dialog against a real HTTP server on 127.0.0.1: the
// skins it lists (and the driver entries it leaves out), the packages and
// pictures it downloads, the preview beside it, the checked packages it
// copies into place, the retry box of a failed copy, and the refusals
// while its run is active. The dialog runs modally on a thread of its own,
// as it does under the update dialog's worker.

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dialog_helpers.h"
#include "http_server.h"
#include "install_fixture.h"
#include "png_writer.h"
#include "scoped_variable.h"
#include "scratch.h"
#include "ui/skin_zip_update_dialog.h"
#include "update/config_dsc.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using wintest::file_exists;
using wintest::read_file;

constexpr const wchar_t* kCaption = L"colourful皮肤驱动更新";
constexpr const wchar_t* kPreviewCaption = L"图片御览";

std::string utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

Bytes package_bytes(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 13 + i / 97);
    return bytes;
}

wintest::Rgba grey(int, int) { return {128, 128, 128, 255}; }

// An owner window on the dialog's thread that destroys itself (and with it
// the dialog it owns) when it gets WM_APP.
LRESULT CALLBACK owner_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_APP) {
        DestroyWindow(window);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

const wchar_t* owner_class() {
    static const ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = owner_proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"SkinTestOwner";
        return RegisterClassW(&wc);
    }();
    return atom != 0 ? L"SkinTestOwner" : L"STATIC";
}

// The dialog shown modally on its own thread, over an owner of that thread.
class DialogThread {
public:
    explicit DialogThread(std::wstring ime) : thread_([this, ime] {
        owner_ = CreateWindowExW(0, owner_class(), L"skin owner", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        result_ = ui::run_skin_zip_update_dialog(owner_, ime.c_str());
        if (IsWindow(owner_)) DestroyWindow(owner_);
        done_ = true;
    }) {}
    ~DialogThread() {
        if (!done_) {
            if (HWND dialog = wintest::find_dialog(kCaption)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        }
        thread_.join();
    }
    DialogThread(const DialogThread&) = delete;
    DialogThread& operator=(const DialogThread&) = delete;

    HWND window() const {
        HWND dialog = nullptr;
        wintest::pump_until([&] { return (dialog = wintest::find_dialog(kCaption)) != nullptr; });
        return dialog;
    }
    HWND owner() const { return owner_; }
    bool wait_closed(DWORD timeout_ms = 20000) const {
        return wintest::pump_until([this] { return done_.load(); }, timeout_ms);
    }
    int result() const { return result_; }

private:
    std::atomic<HWND> owner_{nullptr};
    std::atomic<int> result_{-2};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

HWND list_of(HWND dialog) { return GetDlgItem(dialog, ui::kSkinListId); }
int rows(HWND dialog) { return static_cast<int>(SendMessageW(list_of(dialog), LVM_GETITEMCOUNT, 0, 0)); }

std::wstring cell(HWND dialog, int row, int column) {
    wchar_t text[64] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 64;
    SendMessageW(list_of(dialog), LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

void set_state(HWND dialog, int row, UINT mask, UINT state) {
    LVITEMW item{};
    item.stateMask = mask;
    item.state = state;
    SendMessageW(list_of(dialog), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}
void check(HWND dialog, int row) { set_state(dialog, row, LVIS_STATEIMAGEMASK, INDEXTOSTATEIMAGEMASK(2)); }
void select(HWND dialog, int row) { set_state(dialog, row, LVIS_SELECTED, LVIS_SELECTED); }

void press(HWND dialog, int button) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }

// The run has ended once the rows are there and the install button is
// enabled again (the worker disables it first).
bool wait_run_end(HWND dialog, int expected_rows) {
    return wintest::pump_until([&] {
        return rows(dialog) == expected_rows && IsWindowEnabled(GetDlgItem(dialog, ui::kSkinInstallButtonId));
    });
}

RECT rect_of(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

class SkinDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        served_ = std::make_unique<wintest::ScratchFolder>(L"skinserved");
        server_ = std::make_unique<wintest::TestHttpServer>(served_->path());
        serve(L"skins\\Aurora.zip", package_bytes(30000, 1));
        serve(L"skins\\Aurora.zip.png", wintest::rgba_png(300, 200, grey));
        serve(L"skins\\Breeze.zip", package_bytes(700, 2));
        serve(L"skins\\Breeze.zip.png", wintest::rgba_png(120, 90, grey));
        serve(L"skins\\Cinder.zip", package_bytes(900, 3));  // no picture
    }
    static void TearDownTestSuite() {
        server_.reset();
        served_.reset();
    }

    void SetUp() override {
        ASSERT_TRUE(server_->running()) << "the test HTTP server did not start";
        install_dir_ = install_.file(L"product") + L"\\";
        CreateDirectoryW(install_dir_.c_str(), nullptr);
        RegSetKeyValueW(HKEY_CURRENT_USER, vendor_key().c_str(), L"ZMEInstallPath", REG_SZ, install_dir_.c_str(),
                        static_cast<DWORD>(install_dir_.size() * 2));
        const std::vector<update::ConfigDscRecord> records = {
            {u"zz_ime_config_data_default", {u"abc", u"ZZPinyin", u"colourful"}}};
        const auto settings = update::write_config_dsc(records);
        ASSERT_TRUE(settings.has_value());
        ASSERT_TRUE(wintest::put_file(wintest::data_dir(ime_) + L"config.dsc", std::string(settings->begin(), settings->end())));
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, vendor_key().c_str());
        const std::wstring data = wintest::data_dir(ime_);
        if (!data.empty()) wintest::remove_tree(data);
    }

    static void serve(const std::wstring& path, const Bytes& bytes) {
        ASSERT_TRUE(wintest::put_file(served_->file(path), std::string(bytes.begin(), bytes.end())));
    }
    static Bytes served(const std::wstring& path) { return read_file(served_->file(path)); }
    // One list line; `route` lets the server stall the package (__cut__/).
    static std::wstring line(const wchar_t* type, const wchar_t* name, const wchar_t* version,
                             const wchar_t* route = L"") {
        return std::wstring(L"<TYPE=") + type + L"><NAME=" + name + L"><VERSION=" + version + L"><CABURL=" +
               server_->url(std::wstring(route) + L"skins/" + name + L".zip") + L">\r\n";
    }
    static void serve_list(const std::wstring& text) {
        const std::string bytes = utf8(text);
        serve(L"_supports\\zzskin_colourful\\updatelist.txt", Bytes(bytes.begin(), bytes.end()));
    }

    std::wstring vendor_key() const { return L"Software\\marlix\\" + ime_; }
    std::wstring temp_file(const std::wstring& name) const { return temp_.file(name); }
    void make_skin_folder() { CreateDirectoryW((install_dir_ + L"colourful").c_str(), nullptr); }

    std::wstring ime_ = wintest::unique_name(L"SkinIme");
    wintest::ScratchFolder install_{L"skininst"};
    std::wstring install_dir_;
    // The engine's temporary directory is the test's own.
    wintest::ScratchFolder temp_{L"skintmp"};
    wintest::ScopedVariable tmp_{L"TMP", temp_.path().c_str()};
    wintest::ScopedVariable server_address_{L"IMEBASE_UPDATE_SERVER", server_->url(L"").c_str()};

    static inline std::unique_ptr<wintest::ScratchFolder> served_;
    static inline std::unique_ptr<wintest::TestHttpServer> server_;
};

TEST_F(SkinDialog, ListsOnlyTheSkinPackagesDownloadsThemAndInstallsTheCheckedOnes) {
    make_skin_folder();
    serve_list(line(L"SKINZIP", L"Aurora", L"1.2.3.4") + line(L"ZME_DRIVE", L"abc", L"9.0.0.0") +
               line(L"SKINZIP", L"Breeze", L"2.5.19.1153"));
    DialogThread shown(ime_);
    HWND dialog = shown.window();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(wait_run_end(dialog, 2));

    // Columns and rows: the third part of a version loses its low four bits.
    HWND header = reinterpret_cast<HWND>(SendMessageW(list_of(dialog), LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(list_of(dialog), LVM_GETCOLUMNWIDTH, 0, 0), 150);
    EXPECT_NE(SendMessageW(list_of(dialog), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_CHECKBOXES, 0);
    EXPECT_EQ(cell(dialog, 0, 0), L"Aurora");
    EXPECT_EQ(cell(dialog, 0, 1), L"1.2.0.4");
    EXPECT_EQ(cell(dialog, 1, 0), L"Breeze");
    EXPECT_EQ(cell(dialog, 1, 1), L"2.5.16.1153");
    // The last row downloaded shows the process's byte total.
    const std::wstring count = cell(dialog, 1, 2);
    EXPECT_TRUE(count.ends_with(L" KB") || count.ends_with(L" B")) << "status cell: " << count.c_str();

    EXPECT_EQ(read_file(temp_file(L"Aurora.zip")), served(L"skins\\Aurora.zip"));
    EXPECT_EQ(read_file(temp_file(L"Breeze.png")), served(L"skins\\Breeze.zip.png"));
    EXPECT_FALSE(file_exists(temp_file(L"abc.zip")));

    check(dialog, 1);
    press(dialog, ui::kSkinInstallButtonId);
    ASSERT_TRUE(shown.wait_closed());
    EXPECT_EQ(shown.result(), IDOK);
    EXPECT_EQ(read_file(install_dir_ + L"colourful\\Breeze.zip"), served(L"skins\\Breeze.zip"));
    EXPECT_FALSE(file_exists(install_dir_ + L"colourful\\Aurora.zip"));
    EXPECT_FALSE(file_exists(install_dir_ + L"skin.zip"));
}

TEST_F(SkinDialog, WithoutASkinFolderEveryCheckedSkinBecomesSkinZipTheLastWinning) {
    serve_list(line(L"SKINZIP", L"Aurora", L"1.0.0.1") + line(L"SKINZIP", L"Breeze", L"1.0.0.2"));
    DialogThread shown(ime_);
    HWND dialog = shown.window();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(wait_run_end(dialog, 2));
    check(dialog, 0);
    check(dialog, 1);
    press(dialog, ui::kSkinInstallButtonId);
    ASSERT_TRUE(shown.wait_closed());
    EXPECT_EQ(read_file(install_dir_ + L"skin.zip"), served(L"skins\\Breeze.zip"));
    EXPECT_FALSE(wintest::folder_exists(install_dir_ + L"colourful"));
}

TEST_F(SkinDialog, NothingCheckedCopiesNothingAndCloses) {
    make_skin_folder();
    serve_list(line(L"SKINZIP", L"Aurora", L"1.0.0.1"));
    DialogThread shown(ime_);
    HWND dialog = shown.window();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(wait_run_end(dialog, 1));
    press(dialog, ui::kSkinInstallButtonId);
    ASSERT_TRUE(shown.wait_closed());
    EXPECT_EQ(shown.result(), IDOK);
    EXPECT_FALSE(file_exists(install_dir_ + L"colourful\\Aurora.zip"));
    EXPECT_FALSE(file_exists(install_dir_ + L"skin.zip"));
}

TEST_F(SkinDialog, CancelAndInstallDuringTheRunAreRefusedWithTheWaitBox) {
    // Packages that stall a while each before breaking off: a run of some
    // seconds.
    std::wstring list;
    constexpr int kStalling = 9;
    for (int i = 0; i < kStalling; ++i) list += line(L"SKINZIP", L"Aurora", L"1.0.0.1", L"__cut__/");
    serve_list(list);
    DialogThread shown(ime_);
    HWND dialog = shown.window();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(wintest::pump_until([&] { return rows(dialog) == kStalling; }));
    // A skin listed again is listed again.
    EXPECT_EQ(cell(dialog, kStalling - 1, 0), L"Aurora");
    {
        wintest::DialogAnswer busy(ui::kSkinBusyCaption, IDOK);
        press(dialog, ui::kSkinCancelButtonId);
        ASSERT_TRUE(busy.wait());
        EXPECT_EQ(busy.text(), ui::kSkinBusyText);
    }
    {
        wintest::DialogAnswer busy(ui::kSkinBusyCaption, IDOK);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        ASSERT_TRUE(busy.wait());
    }
    EXPECT_TRUE(IsWindow(dialog));
    {
        wintest::DialogAnswer busy(ui::kSkinBusyCaption, IDOK);
        press(dialog, ui::kSkinInstallButtonId);
        ASSERT_TRUE(busy.wait());
    }
    EXPECT_TRUE(IsWindow(dialog));
    ASSERT_TRUE(wait_run_end(dialog, kStalling));
    press(dialog, ui::kSkinCancelButtonId);
    ASSERT_TRUE(shown.wait_closed());
    EXPECT_EQ(shown.result(), IDCANCEL);
    EXPECT_FALSE(file_exists(install_dir_ + L"skin.zip"));
}

TEST_F(SkinDialog, AFailedCopyIsRetriedWhileTheUserSaysYes) {
    make_skin_folder();
    // A folder where the package should go: every copy fails.
    CreateDirectoryW((install_dir_ + L"colourful\\Aurora.zip").c_str(), nullptr);
    serve_list(line(L"SKINZIP", L"Aurora", L"1.0.0.1") + line(L"SKINZIP", L"Breeze", L"1.0.0.2"));
    DialogThread shown(ime_);
    HWND dialog = shown.window();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(wait_run_end(dialog, 2));
    check(dialog, 0);
    check(dialog, 1);
    {
        wintest::DialogAnswer retry(ui::kSkinCopyFailedCaption, IDYES);
        press(dialog, ui::kSkinInstallButtonId);
        ASSERT_TRUE(retry.wait());
        EXPECT_EQ(retry.text(), ui::kSkinCopyFailedText);
    }
    {
        wintest::DialogAnswer give_up(ui::kSkinCopyFailedCaption, IDNO);
        ASSERT_TRUE(give_up.wait());
    }
    ASSERT_TRUE(shown.wait_closed());
    // The next checked row was still installed.
    EXPECT_EQ(read_file(install_dir_ + L"colourful\\Breeze.zip"), served(L"skins\\Breeze.zip"));
}

TEST_F(SkinDialog, ARowChangeShowsItsPreviewBesideTheDialogOnlyWhenItIsAnotherRow) {
    serve_list(line(L"SKINZIP", L"Aurora", L"1.0.0.1") + line(L"SKINZIP", L"Breeze", L"1.0.0.2") +
               line(L"SKINZIP", L"Cinder", L"1.0.0.3"));
    DialogThread shown(ime_);
    HWND dialog = shown.window();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(wait_run_end(dialog, 3));
    HWND preview = nullptr;
    ASSERT_TRUE(wintest::pump_until([&] { return (preview = wintest::find_dialog(kPreviewCaption)) != nullptr; }));
    EXPECT_EQ(GetWindow(preview, GW_OWNER), dialog);

    select(dialog, 0);
    EXPECT_EQ(ui::last_previewed_skin_row(), 0);
    ASSERT_TRUE(IsWindowVisible(preview));
    const RECT beside = rect_of(dialog);
    const RECT shown_at = rect_of(preview);
    EXPECT_EQ(shown_at.left, beside.right + 5);
    EXPECT_EQ(shown_at.top, beside.top);
    EXPECT_EQ(shown_at.right - shown_at.left, 300);
    EXPECT_EQ(shown_at.bottom - shown_at.top, 225);

    select(dialog, 1);
    EXPECT_EQ(rect_of(preview).right - rect_of(preview).left, 120);

    // The row previewed last is not loaded again: its picture gone, the
    // window still shows the one it has.
    ASSERT_TRUE(DeleteFileW(temp_file(L"Breeze.png").c_str()));
    set_state(dialog, 1, LVIS_SELECTED, 0);
    select(dialog, 1);
    EXPECT_TRUE(IsWindowVisible(preview));

    // A skin whose picture never came hides the preview.
    select(dialog, 2);
    EXPECT_FALSE(IsWindowVisible(preview));
    EXPECT_EQ(ui::last_previewed_skin_row(), 2);
    press(dialog, ui::kSkinCancelButtonId);
    ASSERT_TRUE(shown.wait_closed());
}

TEST_F(SkinDialog, ADialogDestroyedWithItsOwnerDuringTheRunStopsTheWorkerFirst) {
    serve_list(line(L"SKINZIP", L"Aurora", L"1.0.0.1"));
    DialogThread shown(ime_);
    HWND dialog = shown.window();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(wintest::pump_until([&] { return rows(dialog) == 1; }));
    // Still inside the half second before the downloads.
    PostMessageW(shown.owner(), WM_APP, 0, 0);
    ASSERT_TRUE(shown.wait_closed());
    EXPECT_FALSE(IsWindow(dialog));
    // The worker ended with the dialog: it never went on to download.
    EXPECT_FALSE(file_exists(temp_file(L"Aurora.zip")));
}

TEST_F(SkinDialog, AnImeWithoutItsInstallFolderListsNothing) {
    RegDeleteTreeW(HKEY_CURRENT_USER, vendor_key().c_str());
    serve_list(line(L"SKINZIP", L"Aurora", L"1.0.0.1"));
    DialogThread shown(ime_);
    HWND dialog = shown.window();
    ASSERT_NE(dialog, nullptr);
    wintest::pump_for(300);
    ASSERT_TRUE(wintest::pump_until([&] { return IsWindowEnabled(GetDlgItem(dialog, ui::kSkinInstallButtonId)) != 0; }));
    EXPECT_EQ(rows(dialog), 0);
    EXPECT_FALSE(file_exists(temp_file(L"Aurora.zip")));
    press(dialog, ui::kSkinCancelButtonId);
    ASSERT_TRUE(shown.wait_closed());
    EXPECT_EQ(shown.result(), IDCANCEL);
}

}  // namespace
