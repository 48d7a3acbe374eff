// The update dialog's status cell while a package downloads: the process's
// byte total as bytes up to 10240, as whole kilobytes above.
#include <gtest/gtest.h>

#include <string>

#include "ui/auto_update_dialog.h"

namespace {

std::wstring shown(int total) { return std::wstring(ui::byte_count_text(total).view()); }

TEST(UpdateDialogByteCount, BytesUpToTenKilobytesThenWholeKilobytes) {
    EXPECT_EQ(shown(0), L"");  // nothing to show: the cell keeps its text
    EXPECT_EQ(shown(1), L"1 B");
    EXPECT_EQ(shown(10240), L"10240 B");
    EXPECT_EQ(shown(10241), L"10 KB");
    EXPECT_EQ(shown(11263), L"10 KB");
    EXPECT_EQ(shown(1048576), L"1024 KB");
}

TEST(UpdateDialogByteCount, TheLargestTotalIsCutToTheCell) {
    // 2097151 KB needs ten characters; the cell holds nine.
    EXPECT_EQ(shown(2147483647), L"2097151 K");
}

}  // namespace
