#include "support/format_bounded.h"

#include <gtest/gtest.h>

#include <string>

using namespace support;

TEST(FormatBounded, FitsAndTerminates) {
    wchar_t buf[40];
    EXPECT_EQ(format_slot(buf, L"%ls file=%ls", L"a.exe", L"C:\\x y\\b.exe"), kStatusOk);
    EXPECT_STREQ(buf, L"a.exe file=C:\\x y\\b.exe");
    EXPECT_EQ(format_slot(buf, L"%08X", 0xE0020409u), kStatusOk);
    EXPECT_STREQ(buf, L"E0020409");
}

TEST(FormatBounded, CutsAtNMinusOneAndReportsInsufficientBuffer) {
    wchar_t buf[40];
    const std::wstring fifty(50, L'x');
    EXPECT_EQ(format_slot(buf, L"%ls", fifty.c_str()), kStatusInsufficientBuffer);
    EXPECT_EQ(std::wstring(buf), std::wstring(39, L'x'));
}

TEST(FormatBounded, ExactlyNMinusOneCharactersIsNotACut) {
    wchar_t buf[20];
    const std::wstring nineteen(19, L'7');
    EXPECT_EQ(format_slot(buf, L"%ls", nineteen.c_str()), kStatusOk);
    EXPECT_EQ(std::wstring(buf), nineteen);
}

TEST(FormatBounded, ZeroOrHugeSizeLeavesTheBufferUntouched) {
    wchar_t buf[4] = {L'a', L'b', L'c', L'\0'};
    EXPECT_EQ(format_bounded(buf, 0, L"%ls", L"zz"), kStatusInvalidArgument);
    EXPECT_EQ(format_bounded(buf, kMaxSlotUnits + 1, L"%ls", L"zz"), kStatusInvalidArgument);
    EXPECT_STREQ(buf, L"abc");
}

TEST(FormatBounded, ChineseTextIsKeptWhole) {
    wchar_t buf[260];
    EXPECT_EQ(format_slot(buf, L"欢迎使用 %ls", L"紫金输入法"), kStatusOk);
    EXPECT_STREQ(buf, L"欢迎使用 紫金输入法");
}

TEST(BoundedCopy, CopyAndAppendCutSilently) {
    wchar_t buf[8];
    EXPECT_TRUE(copy_slot(buf, L"C:\\ab"));
    EXPECT_TRUE(append_slot(buf, L"\\"));
    EXPECT_FALSE(append_slot(buf, L"cdef"));
    EXPECT_STREQ(buf, L"C:\\ab\\c");
    EXPECT_FALSE(copy_slot(buf, L"0123456789"));
    EXPECT_STREQ(buf, L"0123456");
}
