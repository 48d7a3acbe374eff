// The wizard's pages on their own, created hidden inside a hidden window:
// the directory page's proposal, its lock on a registered product and the
// product folder the browse button appends; the user page's registered
// owner and organisation; the licence page's address and title. Registry
// values longer than the fields leave them as they were.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <exdispid.h>

#include <optional>
#include <vector>
#include <string>

#include "dialog_helpers.h"
#include "install_fixture.h"
#include "ui/directory_page.h"
#include "ui/licence_page.h"
#include "ui/user_page.h"
#include "ui/wizard_buffers.h"
#include "ui/wizard_texts.h"
#include "wizard_setup.h"

namespace {

using ui::wizard_buffers;

// A hidden top-level window for the pages to live in.
struct Parent : wintest::HiddenParent {
    Parent() : HiddenParent(0, 0, 600, 400) {}
};

std::wstring slot(const wchar_t* text, const wchar_t* name) {
    wchar_t directory[ui::kDirectoryUnits];
    wcscpy(directory, text);
    ui::append_product_folder(directory, name);
    return directory;
}

TEST(ProductFolder, IsAppendedWithExactlyOneBackslashBetween) {
    EXPECT_EQ(slot(L"C:\\", L"ZZPinyin"), L"C:\\ZZPinyin\\");
    EXPECT_EQ(slot(L"D:\\Tools", L"ZZPinyin"), L"D:\\Tools\\ZZPinyin\\");
    // A folder already named after the product gets its own subfolder.
    EXPECT_EQ(slot(L"D:\\ZZPinyin\\", L"ZZPinyin"), L"D:\\ZZPinyin\\ZZPinyin\\");
    // Cut to the slot, always terminated.
    const std::wstring long_folder = L"C:\\" + std::wstring(250, L'a');
    EXPECT_EQ(slot(long_folder.c_str(), L"ZZPinyin"), (long_folder + L"\\ZZPinyin\\").substr(0, 259));
}

class Pages : public ::testing::Test {
protected:
    wintest::WizardSetup setup{L"Page"};
    Parent parent;
};

TEST_F(Pages, ARegisteredProductLocksItsDirectory) {
    const std::wstring registered = L"D:\\Registered\\" + setup.ime_name() + L"\\";
    setup.register_directory(registered);
    ui::CZZ_Install_SelectDir page;
    ASSERT_NE(page.create_modeless(parent.get()), nullptr);
    EXPECT_TRUE(page.locked());
    EXPECT_EQ(page.item_text(ui::kDirectoryEditId), registered);
    EXPECT_FALSE(IsWindowEnabled(page.item(ui::kDirectoryEditId)));
    EXPECT_EQ(std::wstring(wizard_buffers().directory), registered);

    // Browsing only says why the directory can't change.
    wintest::DialogAnswer locked(ui::kDirectoryLockedCaption, IDOK);
    SendMessageW(page.item(ui::kBrowseButtonId), BM_CLICK, 0, 0);
    ASSERT_TRUE(locked.wait());
    EXPECT_EQ(locked.text(), ui::kDirectoryLockedText);
    EXPECT_EQ(page.item_text(ui::kDirectoryEditId), registered);
}

TEST_F(Pages, ARegisteredValueThatIsEmptyOrTooLongLocksNothing) {
    wchar_t program_files[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, program_files);
    const std::wstring proposal = std::wstring(program_files) + L"\\" + setup.ime_name() + L"\\";
    for (const std::wstring& value : {std::wstring(), L"D:\\" + std::wstring(300, L'x') + L"\\"}) {
        setup.register_directory(value);
        ui::CZZ_Install_SelectDir page;
        ASSERT_NE(page.create_modeless(parent.get()), nullptr);
        EXPECT_FALSE(page.locked());
        EXPECT_TRUE(IsWindowEnabled(page.item(ui::kDirectoryEditId)));
        EXPECT_EQ(page.item_text(ui::kDirectoryEditId), proposal);
    }
}

TEST_F(Pages, BrowsingExtendsTheChosenFolderOrKeepsTheTextWhenCancelled) {
    // The folder browser needs OLE on the page's thread, as the program's
    // dialog thread has it.
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    {
        ui::CZZ_Install_SelectDir page;
        ASSERT_NE(page.create_modeless(parent.get()), nullptr);
        const std::wstring proposal = page.item_text(ui::kDirectoryEditId);
        {
            wintest::DialogAnswer cancel(L"", IDCANCEL);
            SendMessageW(page.item(ui::kBrowseButtonId), BM_CLICK, 0, 0);
            EXPECT_TRUE(cancel.wait());
        }
        EXPECT_EQ(page.item_text(ui::kDirectoryEditId), proposal);

        wintest::DialogAnswer choose(L"", IDOK);
        SendMessageW(page.item(ui::kBrowseButtonId), BM_CLICK, 0, 0);
        EXPECT_TRUE(choose.wait());
        // The browser opens on the desktop: its folder, with the product's
        // subfolder.
        wchar_t desktop[MAX_PATH] = {};
        SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktop);
        EXPECT_EQ(page.item_text(ui::kDirectoryEditId), std::wstring(desktop) + L"\\" + setup.ime_name() + L"\\");
    }
    OleUninitialize();
}

// Windows' registered owner and organisation, set for a test and put back.
class RegisteredUser {
public:
    RegisteredUser() {
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_ALL_ACCESS, &key_);
        owner_ = read(L"RegisteredOwner");
        organisation_ = read(L"RegisteredOrganization");
    }
    ~RegisteredUser() {
        put_back(L"RegisteredOwner", owner_);
        put_back(L"RegisteredOrganization", organisation_);
        RegCloseKey(key_);
    }
    RegisteredUser(const RegisteredUser&) = delete;
    RegisteredUser& operator=(const RegisteredUser&) = delete;

    void set(const wchar_t* name, const std::wstring& value) {
        RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

private:
    std::optional<std::wstring> read(const wchar_t* name) {
        wchar_t value[1024] = {};
        DWORD bytes = sizeof value - sizeof(wchar_t);
        if (RegQueryValueExW(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &bytes) != ERROR_SUCCESS)
            return std::nullopt;
        return std::wstring(value);
    }
    void put_back(const wchar_t* name, const std::optional<std::wstring>& value) {
        if (value) set(name, *value);
        else RegDeleteValueW(key_, name);
    }

    HKEY key_ = nullptr;
    std::optional<std::wstring> owner_, organisation_;
};

TEST_F(Pages, TheUserPageStartsWithWindowsRegisteredOwner) {
    RegisteredUser registered;
    registered.set(L"RegisteredOwner", L"张三");
    registered.set(L"RegisteredOrganization", L"紫金软件");
    ui::CZZ_Install_User page;
    ASSERT_NE(page.create_modeless(parent.get()), nullptr);
    EXPECT_EQ(page.item_text(ui::kUserNameEditId), L"张三");
    EXPECT_EQ(page.item_text(ui::kCompanyEditId), L"紫金软件");
}

TEST_F(Pages, ACompanyGivenEarlierKeepsTheUserPageFromTheRegistry) {
    RegisteredUser registered;
    registered.set(L"RegisteredOwner", L"张三");
    registered.set(L"RegisteredOrganization", L"紫金软件");
    wcscpy(wizard_buffers().user_name, L"李四");
    wcscpy(wizard_buffers().company, L"先前的公司");
    ui::CZZ_Install_User page;
    ASSERT_NE(page.create_modeless(parent.get()), nullptr);
    EXPECT_EQ(page.item_text(ui::kUserNameEditId), L"李四");
    EXPECT_EQ(page.item_text(ui::kCompanyEditId), L"先前的公司");
}

TEST_F(Pages, RegisteredNamesLongerThanTheFieldsLeaveThemEmpty) {
    RegisteredUser registered;
    registered.set(L"RegisteredOwner", std::wstring(256, L'o'));
    registered.set(L"RegisteredOrganization", std::wstring(255, L'c'));
    ui::CZZ_Install_User page;
    ASSERT_NE(page.create_modeless(parent.get()), nullptr);
    EXPECT_EQ(page.item_text(ui::kUserNameEditId), L"");
    // 255 characters still fit the 256-unit field.
    EXPECT_EQ(page.item_text(ui::kCompanyEditId), std::wstring(255, L'c'));
}

TEST_F(Pages, TheLicenceIsLicenseHtmlOrThePageInsideMainChm) {
    const std::wstring extract = setup.extract_dir();
    EXPECT_EQ(ui::licence_address(extract.c_str()), L"");
    ASSERT_TRUE(wintest::put_file(extract + L"main.chm", "ITSF"));
    EXPECT_EQ(ui::licence_address(extract.c_str()), L"mk:@MSITStore:" + extract + L"main.chm::/License.html");
    ASSERT_TRUE(wintest::put_file(extract + L"License.html", "<html><body>licence</body></html>"));
    EXPECT_EQ(ui::licence_address(extract.c_str()), extract + L"License.html");
    EXPECT_EQ(ui::licence_address(L""), L"");
}

std::vector<std::wstring> g_opened_outside;
bool record_outside(const wchar_t* address) {
    g_opened_outside.push_back(address);
    return true;
}

// The control's event: `id` with `arguments` (last first), as the control
// raises it; whether the handler cancelled it.
bool cancelled(IDispatch* events, DISPID id, std::vector<VARIANT> arguments, std::size_t cancel_index) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    arguments[cancel_index].vt = VT_BYREF | VT_BOOL;
    arguments[cancel_index].pboolVal = &cancel;
    DISPPARAMS parameters{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    events->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
    return cancel == VARIANT_TRUE;
}

TEST_F(Pages, TheLicencePageFollowsNoLinkAndSendsWebLinksOutside) {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    {
        ui::CZZ_Install_Licence licence;
        ASSERT_NE(licence.create_modeless(parent.get()), nullptr);
        ASSERT_TRUE(licence.has_browser());
        ASSERT_NE(licence.browser_events(), nullptr);
        licence.set_link_opener(&record_outside);
        g_opened_outside.clear();
        const auto navigation = [&](const wchar_t* url) {
            BSTR text = SysAllocString(url);
            VARIANT address;
            address.vt = VT_BSTR;
            address.bstrVal = text;
            std::vector<VARIANT> arguments(7);
            for (VARIANT& a : arguments) VariantInit(&a);
            arguments[5].vt = VT_BYREF | VT_VARIANT;
            arguments[5].pvarVal = &address;
            const bool result = cancelled(licence.browser_events(), DISPID_BEFORENAVIGATE2, arguments, 0);
            SysFreeString(text);
            return result;
        };
        // A web link: cancelled here, opened by the user's browser.
        EXPECT_TRUE(navigation(L"https://example.com/terms"));
        // A local file or a script: cancelled, opened nowhere.
        EXPECT_TRUE(navigation(L"file:///C:/windows/system32/cmd.exe"));
        EXPECT_TRUE(navigation(L"javascript:alert(1)"));
        // A new window with a mail address.
        BSTR mail = SysAllocString(L"mailto:vendor@example.com");
        std::vector<VARIANT> window(5);
        for (VARIANT& a : window) VariantInit(&a);
        window[0].vt = VT_BSTR;
        window[0].bstrVal = mail;
        EXPECT_TRUE(cancelled(licence.browser_events(), DISPID_NEWWINDOW3, window, 3));
        SysFreeString(mail);
        EXPECT_EQ(g_opened_outside,
                  (std::vector<std::wstring>{L"https://example.com/terms", L"mailto:vendor@example.com"}));
        licence.destroy();
    }
    OleUninitialize();
}

TEST_F(Pages, TheLicencePageOpensWithTheProductsTitleAndClosesWithEscape) {
    // The program's dialog thread has OLE, for the browser control.
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    ASSERT_TRUE(wintest::put_file(setup.extract_dir() + L"License.html", "<html><body>licence</body></html>"));
    ui::CZZ_Install_Licence licence;
    ASSERT_NE(licence.create_modeless(parent.get()), nullptr);
    wchar_t title[260] = {};
    GetWindowTextW(licence.hwnd(), title, 260);
    EXPECT_EQ(std::wstring(title), setup.display_name() + L" - 最终用户许可协议");
    EXPECT_EQ(licence.address(), setup.extract_dir() + L"License.html");
    // The browser control lives inside control 1014 (Wine makes one even
    // without its HTML engine; the page then stays blank).
    EXPECT_TRUE(licence.has_browser());
    EXPECT_NE(GetWindow(licence.item(ui::kBrowserId), GW_CHILD), nullptr);
    wintest::pump_for(200);
    SendMessageW(licence.hwnd(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(licence.ended());
    licence.destroy();
    EXPECT_EQ(licence.hwnd(), nullptr);
    OleUninitialize();
}

TEST_F(Pages, WithoutALicenceFileOrABrowserThePageOpensEmptyAndCloses) {
    // No OLE on this thread: the browser can't be made.
    ui::CZZ_Install_Licence licence;
    ASSERT_NE(licence.create_modeless(parent.get()), nullptr);
    EXPECT_EQ(licence.address(), L"");
    EXPECT_FALSE(licence.has_browser());
    EXPECT_EQ(GetWindow(licence.item(ui::kBrowserId), GW_CHILD), nullptr);
    SendMessageW(licence.hwnd(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(licence.ended());
}

}  // namespace
