// Growable text and byte buffers: growth, path operations, conversions,
// and the two errors with how they end a program.
#include "support/text_buffers.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "scratch.h"
#include "support/fatal_error.h"

using support::BufferError;
using support::CByteBuf;
using support::CTextBufA;
using support::CTextBufW;

namespace {

// Fills every unit of the buffer, so its text has no terminator inside.
void spoil(CTextBufW& text) {
    for (std::uint32_t i = 0; i < text.capacity(); ++i) text.data()[i] = L'x';
}

template <typename Action>
std::string error_of(Action action) {
    try {
        action();
    } catch (const BufferError& error) {
        return error.what();
    }
    return "(nothing raised)";
}

}  // namespace

TEST(TextBuffer, StartsWithRoomForThreeHundredDoubled) {
    CTextBufW empty;
    EXPECT_EQ(empty.capacity(), 600u);
    EXPECT_STREQ(empty.c_str(), L"");

    CTextBufW short_text(L"C:\\Program Files");
    EXPECT_EQ(short_text.capacity(), 600u);
    EXPECT_STREQ(short_text.c_str(), L"C:\\Program Files");

    const std::wstring long_text(450, L'p');
    CTextBufW big(long_text.c_str());
    EXPECT_EQ(big.capacity(), 900u);
    EXPECT_EQ(big.view(), long_text);
}

TEST(TextBuffer, ReserveDoublesOnlyWhenTheRequestReachesTheCapacity) {
    CTextBufW text(L"keep me");
    text.reserve(599);
    EXPECT_EQ(text.capacity(), 600u);
    text.reserve(600);
    EXPECT_EQ(text.capacity(), 1200u);
    EXPECT_STREQ(text.c_str(), L"keep me");
}

TEST(TextBuffer, AssignAndAppendGrowToFit) {
    const std::wstring seven_hundred(700, L'a');
    CTextBufW source(seven_hundred.c_str());
    CTextBufW target(L"old");
    target.assign(source);
    EXPECT_EQ(target.view(), seven_hundred);
    EXPECT_EQ(target.capacity(), 1400u);

    CTextBufW tail(L"\\tail.txt");
    target.append(tail);
    EXPECT_EQ(target.view(), seven_hundred + L"\\tail.txt");
    EXPECT_STREQ(tail.c_str(), L"\\tail.txt");

    // Appending a buffer to itself reads the text before it moves.
    CTextBufW twice(L"ab");
    twice.append(twice);
    EXPECT_STREQ(twice.c_str(), L"abab");
}

TEST(TextBuffer, BackslashesAndSlashes) {
    CTextBufW drive(L"C:");
    drive.ensure_trailing_backslash();
    EXPECT_STREQ(drive.c_str(), L"C:\\");
    drive.ensure_trailing_backslash();
    EXPECT_STREQ(drive.c_str(), L"C:\\");

    CTextBufW single(L"C");
    single.ensure_trailing_backslash();
    EXPECT_STREQ(single.c_str(), L"C");
    CTextBufW none;
    none.ensure_trailing_backslash();
    EXPECT_STREQ(none.c_str(), L"");

    CTextBufW folder(L"ZZ_INSTALL");
    folder.append_backslash();
    EXPECT_STREQ(folder.c_str(), L"ZZ_INSTALL\\");

    CTextBufW mixed(L"$system32$/sub/a.dll");
    mixed.slashes_to_backslashes();
    EXPECT_STREQ(mixed.c_str(), L"$system32$\\sub\\a.dll");
}

TEST(TextBuffer, SplitPath) {
    CTextBufW folder(L"stale");
    CTextBufW file(L"stale");
    CTextBufW(L"abc").split_path(&folder, &file);
    EXPECT_STREQ(folder.c_str(), L"");
    EXPECT_STREQ(file.c_str(), L"abc");

    CTextBufW(L"a\\b\\c.txt").split_path(&folder, &file);
    EXPECT_STREQ(folder.c_str(), L"a\\b\\");
    EXPECT_STREQ(file.c_str(), L"c.txt");

    CTextBufW(L"dir\\").split_path(&folder, nullptr);
    EXPECT_STREQ(folder.c_str(), L"dir\\");

    // Into the buffer itself, either way round.
    CTextBufW path(L"x\\y\\z.ime");
    path.split_path(&path, &file);
    EXPECT_STREQ(path.c_str(), L"x\\y\\");
    EXPECT_STREQ(file.c_str(), L"z.ime");
    CTextBufW other(L"x\\y\\z.ime");
    other.split_path(&folder, &other);
    EXPECT_STREQ(folder.c_str(), L"x\\y\\");
    EXPECT_STREQ(other.c_str(), L"z.ime");
}

TEST(TextBuffer, ConvertsToUtf8AndFromCodePages) {
    CTextBufA utf8;
    support::to_utf8(CTextBufW(L"紫金\\a\U0001F600"), utf8);
    EXPECT_STREQ(utf8.c_str(), "\xE7\xB4\xAB\xE9\x87\x91\\a\xF0\x9F\x98\x80");

    CTextBufW wide;
    EXPECT_TRUE(support::from_code_page("\xD7\xCF\xBD\xF0.txt", 936, wide));
    EXPECT_STREQ(wide.c_str(), L"紫金.txt");
    EXPECT_TRUE(support::from_code_page("\xE7\xB4\xAB", CP_UTF8, wide));
    EXPECT_STREQ(wide.c_str(), L"紫");

    // A text far longer than the starting room converts whole.
    const std::string long_name(1000, 'n');
    EXPECT_TRUE(support::from_code_page(long_name.c_str(), 1252, wide));
    EXPECT_EQ(wide.length(), 1000u);

    EXPECT_FALSE(support::from_code_page("abc", 12345, wide));
    EXPECT_STREQ(wide.c_str(), L"");
}

TEST(TextBuffer, ReleasedBufferReadsEmptyAndGrowsAgain) {
    CTextBufW text(L"gone");
    text.release();
    EXPECT_EQ(text.capacity(), 0u);
    EXPECT_EQ(text.data(), nullptr);
    EXPECT_STREQ(text.c_str(), L"");
    text.append_backslash();
    EXPECT_STREQ(text.c_str(), L"\\");
    EXPECT_EQ(text.capacity(), 2u);
}

TEST(TextBufferErrors, MissingTerminatorIsRaisedAndNothingChanges) {
    CTextBufW broken;
    spoil(broken);
    CTextBufW target(L"before");
    EXPECT_EQ(error_of([&] { target.assign(broken); }), support::kNoTerminatorMessage);
    EXPECT_EQ(error_of([&] { target.append(broken); }), support::kNoTerminatorMessage);
    EXPECT_STREQ(target.c_str(), L"before");
    EXPECT_EQ(target.capacity(), 600u);

    EXPECT_EQ(error_of([&] { broken.append_backslash(); }), support::kNoTerminatorMessage);
    EXPECT_EQ(error_of([&] { broken.slashes_to_backslashes(); }), support::kNoTerminatorMessage);
    EXPECT_EQ(error_of([&] { broken.reserve(5000); }), support::kNoTerminatorMessage);
    EXPECT_EQ(broken.capacity(), 600u);
    CTextBufA utf8;
    EXPECT_EQ(error_of([&] { support::to_utf8(broken, utf8); }), support::kNoTerminatorMessage);
}

TEST(TextBufferErrors, ImpossibleRoomIsOutOfMemoryAndKeepsTheText) {
    CTextBufW text(L"still here");
    EXPECT_EQ(error_of([&] { text.reserve(0x80000000u); }), support::kOutOfMemoryMessage);
    EXPECT_STREQ(text.c_str(), L"still here");
    EXPECT_EQ(text.capacity(), 600u);
}

TEST(ByteBuffer, ReservingMoreDropsFormerContents) {
    CByteBuf bytes;
    EXPECT_EQ(bytes.capacity(), 0);
    bytes.reserve(10);
    EXPECT_EQ(bytes.capacity(), 10);
    for (int i = 0; i < 12; ++i) bytes.data()[i] = 0xAB;  // ten bytes and the two spare ones
    bytes.set_size(10);
    EXPECT_EQ(bytes.size(), 10u);

    bytes.reserve(20);
    EXPECT_EQ(bytes.capacity(), 20);
    EXPECT_EQ(bytes.size(), 0u);
    for (int i = 0; i < 22; ++i) EXPECT_EQ(bytes.data()[i], 0) << "byte " << i;

    // Less than the capacity: same storage, emptied.
    bytes.data()[0] = 7;
    bytes.set_size(5);
    bytes.reserve(5);
    EXPECT_EQ(bytes.capacity(), 20);
    EXPECT_EQ(bytes.size(), 0u);
    EXPECT_EQ(bytes.data()[0], 7);

    bytes.set_size(1000);
    EXPECT_EQ(bytes.size(), 20u);
}

TEST(ByteBuffer, FailedReservationLeavesNoData) {
    CByteBuf bytes;
    bytes.reserve(64);
    EXPECT_EQ(error_of([&] { bytes.reserve(0x7FFFFFFFu); }), support::kOutOfMemoryMessage);
    EXPECT_EQ(bytes.data(), nullptr);
    EXPECT_EQ(bytes.capacity(), 0);
    bytes.reserve(8);
    EXPECT_EQ(bytes.capacity(), 8);
}

// What a person sees when a buffer error ends the program: a message box
// with the text, then the process is gone with the fatal-error exit code.
class FatalBufferError : public ::testing::TestWithParam<const wchar_t*> {};

namespace {

struct FoundBox {
    DWORD process;
    HWND box;
};

BOOL CALLBACK find_box(HWND window, LPARAM context) {
    auto* found = reinterpret_cast<FoundBox*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t class_name[16] = {};
    GetClassNameW(window, class_name, 16);
    if (owner == found->process && std::wstring(class_name) == L"#32770") {
        found->box = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

TEST_P(FatalBufferError, ShowsTheTextAndExitsWithItsCode) {
    std::wstring command = L"\"" + wintest::fixture_path(L"fatal_child.exe") + L"\" " + GetParam();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    FoundBox found{process.dwProcessId, nullptr};
    for (int i = 0; i < 200 && found.box == nullptr; ++i) {
        EnumWindows(find_box, reinterpret_cast<LPARAM>(&found));
        if (found.box == nullptr) Sleep(50);
    }
    ASSERT_NE(found.box, nullptr) << "no message box appeared";
    // The box may be found before its controls exist: wait for its text.
    wchar_t text[128] = {};
    for (int i = 0; i < 100 && text[0] == L'\0'; ++i) {
        GetDlgItemTextW(found.box, 0xFFFF, text, 128);  // the box's static text
        if (text[0] == L'\0') Sleep(50);
    }
    EXPECT_STREQ(text, GetParam() == std::wstring(L"memory") ? L"Fatal error: Out of memory!"
                                                              : L"The string has no terminating null character!");
    PostMessageW(found.box, WM_COMMAND, IDOK, 0);

    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    DWORD exit_code = 0;
    GetExitCodeProcess(process.hProcess, &exit_code);
    EXPECT_EQ(exit_code, support::kFatalErrorExitCode);
    if (exit_code == STILL_ACTIVE) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

INSTANTIATE_TEST_SUITE_P(OnAnyThread, FatalBufferError, ::testing::Values(L"main", L"thread", L"memory"));
