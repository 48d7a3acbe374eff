// The command line as a vendor meets it: help, usage mistakes and bad input
// give the documented exit codes, and nothing is left behind on failure.
#include "cli.h"
#include "progress_line.h"

#include "packer_test_util.h"

#include <gtest/gtest.h>

using imepack::run_cli;
using namespace packer_test;

namespace {

int run(std::vector<std::string> args) { return run_cli(args); }

std::string utf8(const fs::path& p) {
    const auto s = p.u8string();
    return std::string(s.begin(), s.end());
}

std::size_t entries_in(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

}  // namespace

TEST(ImepackCli, HelpAndUsageMistakes) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_EQ(run({"cab", "--help"}), 0);
    EXPECT_EQ(run({"help", "build"}), 0);
    const std::string help = testing::internal::GetCapturedStdout();
    EXPECT_NE(help.find("imepack build PRODUCT-FOLDER DESCRIPTION.txt INSTALLER.exe OUT.exe"), std::string::npos);
    EXPECT_NE(help.find("Usage: imepack cab FOLDER OUT.cab [--store | --best]"), std::string::npos);

    testing::internal::CaptureStderr();
    EXPECT_EQ(run({}), 2);
    EXPECT_EQ(run({"pack", "a", "b"}), 2);
    EXPECT_EQ(run({"cab", "only-one"}), 2);
    EXPECT_EQ(run({"seal", "a", "b", "c"}), 2);
    EXPECT_EQ(run({"seal", "a", "b", "--store"}), 2);
    EXPECT_EQ(run({"cab", "a", "b", "--fast"}), 2);
    EXPECT_EQ(run({"seal", "a", "b", "--best"}), 2);
    EXPECT_EQ(run({"cab", "a", "b", "--best", "--store"}), 2);
    EXPECT_EQ(run({"help", "nothing"}), 2);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("cab takes 2 operand(s), got 1"), std::string::npos);
    EXPECT_NE(errors.find("unknown option --fast"), std::string::npos);
    EXPECT_NE(errors.find("--best belongs to the cab and build commands only"), std::string::npos);
}

TEST(ImepackCli, BadInputExitsWithOneAndKeepsTheOldOutput) {
    TempFolder temp;
    write_bytes(temp / "out/old.pkg", bytes_of("old contents"));
    write_bytes(temp / "plain.txt", bytes_of("not a cabinet at all, but long enough"));
    const std::string out = utf8(temp / "out/old.pkg");
    testing::internal::CaptureStderr();
    EXPECT_EQ(run({"seal", utf8(temp / "missing.cab"), out}), 1);
    EXPECT_EQ(run({"seal", utf8(temp / "plain.txt"), out}), 1);
    EXPECT_EQ(run({"unseal", utf8(temp / "plain.txt"), out}), 1);
    EXPECT_EQ(run({"cab", utf8(temp / "no-folder"), out}), 1);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("missing.cab: no such file"), std::string::npos) << errors;
    EXPECT_NE(errors.find("plain.txt: not a cabinet"), std::string::npos) << errors;
    EXPECT_EQ(read_bytes(temp / "out/old.pkg"), bytes_of("old contents"));
    EXPECT_EQ(entries_in(temp / "out"), 1u);  // no temporary file left behind
}

TEST(ImepackCli, ACabinetSealedAndUnsealedThroughTheCommandsComesBackWhole) {
    TempFolder temp;
    write_bytes(temp / "p/ime.ime", text_bytes(70000, 4));
    const auto cab = utf8(temp / "p.cab");
    testing::internal::CaptureStdout();
    ASSERT_EQ(run({"cab", utf8(temp / "p"), cab}), 0);
    ASSERT_EQ(run({"seal", cab, utf8(temp / "p.pkg")}), 0);
    ASSERT_EQ(run({"unseal", utf8(temp / "p.pkg"), utf8(temp / "back.cab")}), 0);
    ASSERT_EQ(run({"inspect", utf8(temp / "p.pkg")}), 0);
    const std::string listing = testing::internal::GetCapturedStdout();
    EXPECT_EQ(read_bytes(temp / "back.cab"), read_bytes(temp / "p.cab"));
    EXPECT_NE(listing.find("sealed package"), std::string::npos);
    EXPECT_NE(listing.find("       70000  "), std::string::npos) << listing;
    EXPECT_NE(listing.find("ime.ime"), std::string::npos);
}

TEST(ImepackCli, TheProgressLineShowsFilesBytesAndRateOnATerminalOnly) {
    TempFolder temp;
    const auto draw = [&](bool shown) {
        std::FILE* out = std::fopen((temp / "line.txt").c_str(), "w+b");
        {
            imepack::ProgressLine line(out, shown, {3u << 20, 0, 1u << 20}, {}, {});
            line.update(1u << 20);
            line.update(4u << 20);
        }
        std::rewind(out);
        std::string text(4096, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), out));
        std::fclose(out);
        return text;
    };
    const std::string drawn = draw(true);
    EXPECT_NE(drawn.find("\r0/3 files, 1.0/4.0 MiB, "), std::string::npos) << drawn;
    EXPECT_NE(drawn.find("\r3/3 files, 4.0/4.0 MiB, "), std::string::npos) << drawn;
    EXPECT_NE(drawn.find(" MiB/s"), std::string::npos) << drawn;
    EXPECT_EQ(drawn.substr(drawn.rfind('\r', drawn.size() - 2)).find_first_not_of(" \r"), std::string::npos)
        << "the line is cleared at the end";
    EXPECT_EQ(draw(false), "");
}
