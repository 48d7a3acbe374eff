#include "package/pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr std::uint32_t kLfanew = 0x80;

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

std::uint32_t get32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}

// A hand-made image header: DOS header, "PE\0\0", file header and an
// optional header of the usual size, followed by zeros up to size.
// The headers are laid out in a full-size block first and then cut to
// `size`, so that images cut inside their headers can be made too.
std::vector<std::uint8_t> make_image(bool plus, std::size_t size = 1024) {
    std::vector<std::uint8_t> b(std::max<std::size_t>(size, 1024), 0);
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, kLfanew);
    std::memcpy(b.data() + kLfanew, "PE\0\0", 4);
    put16(b, kLfanew + 4, plus ? 0x8664 : 0x014C);       // machine
    put16(b, kLfanew + 4 + 16, plus ? 0xF0 : 0xE0);      // size of the optional header
    put16(b, kLfanew + 24, plus ? 0x20B : 0x10B);        // optional-header magic
    b.resize(size);
    return b;
}

std::vector<std::uint8_t> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A MinGW runtime DLL of the given target, if the cross compilers are installed.
std::filesystem::path mingw_dll(const char* triplet, const char* name) {
    std::error_code ec;
    const std::filesystem::path root = std::filesystem::path("/usr/lib/gcc") / triplet;
    for (const auto& dir : std::filesystem::directory_iterator(root, ec)) {
        if (std::filesystem::exists(dir.path() / name)) {
            return dir.path() / name;
        }
    }
    return {};
}

}  // namespace

TEST(PeImage, FieldIsLoaderFlagsOfEitherOptionalHeader) {
    EXPECT_EQ(package::loader_flags_field_offset(make_image(false)), kLfanew + 0x70);
    EXPECT_EQ(package::loader_flags_field_offset(make_image(true)), kLfanew + 0x80);
}

TEST(PeImage, WriteThenReadAndCutThePackage) {
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus);
        auto image = make_image(plus, 600);
        // A sentinel where a PE32 field would be: a PE32+ image must keep it.
        put32(image, kLfanew + 0x70, 0xA5A5A5A5);
        image.insert(image.end(), {'C', 'R', 'Y', 'P', 1, 2, 3, 4});
        ASSERT_TRUE(package::write_package_offset(image, 600));
        EXPECT_EQ(package::read_package_offset(image), 600u);
        const auto package = package::package_span(image);
        EXPECT_EQ(std::vector<std::uint8_t>(package.begin(), package.end()),
                  (std::vector<std::uint8_t>{'C', 'R', 'Y', 'P', 1, 2, 3, 4}));
        if (plus) {
            EXPECT_EQ(get32(image, kLfanew + 0x70), 0xA5A5A5A5u);
            EXPECT_EQ(get32(image, kLfanew + 0x80), 600u);
        } else {
            EXPECT_EQ(get32(image, kLfanew + 0x70), 600u);
        }
    }
}

TEST(PeImage, OffsetZeroOrOutsideTheFileMeansNoPackage) {
    auto image = make_image(false, 512);
    EXPECT_EQ(package::read_package_offset(image), 0u);
    EXPECT_TRUE(package::package_span(image).empty());
    ASSERT_TRUE(package::write_package_offset(image, 512));  // exactly at the end: nothing behind
    EXPECT_TRUE(package::package_span(image).empty());
    ASSERT_TRUE(package::write_package_offset(image, 513));
    EXPECT_TRUE(package::package_span(image).empty());
    ASSERT_TRUE(package::write_package_offset(image, 0xFFFFFFFF));
    EXPECT_TRUE(package::package_span(image).empty());
    ASSERT_TRUE(package::write_package_offset(image, 511));
    EXPECT_EQ(package::package_span(image).size(), 1u);
}

TEST(PeImage, BrokenHeadersAreRefusedAndNeverWritten) {
    const auto refused = [](std::vector<std::uint8_t> image, const char* why) {
        SCOPED_TRACE(why);
        EXPECT_FALSE(package::loader_flags_field_offset(image).has_value());
        EXPECT_FALSE(package::read_package_offset(image).has_value());
        EXPECT_TRUE(package::package_span(image).empty());
        const auto before = image;
        EXPECT_FALSE(package::write_package_offset(image, 0x1234));
        EXPECT_EQ(image, before);
    };
    auto image = make_image(false);
    image[1] = 'X';
    refused(image, "no MZ");
    image = make_image(true);
    image[kLfanew + 1] = 'X';
    refused(image, "no PE signature");
    image = make_image(true);
    put16(image, kLfanew + 24, 0x107);
    refused(image, "ROM optional header");
    image = make_image(false);
    put32(image, 0x3C, 0xFFFFFFF0);
    refused(image, "e_lfanew far outside");
    image = make_image(false);
    put32(image, 0x3C, 1024 - 8);
    refused(image, "e_lfanew near the end");
    image = make_image(true);
    put16(image, kLfanew + 20, 0x60);
    refused(image, "optional header too small for the field");
    refused(make_image(true, kLfanew + 0x83), "cut inside the PE32+ field");
    refused(make_image(false, kLfanew + 0x73), "cut inside the PE32 field");
    refused(make_image(false, 0x3E), "cut inside e_lfanew");
    refused({}, "empty");
    // Just long enough is enough.
    EXPECT_TRUE(package::loader_flags_field_offset(make_image(true, kLfanew + 0x84)).has_value());
    EXPECT_TRUE(package::loader_flags_field_offset(make_image(false, kLfanew + 0x74)).has_value());
}

TEST(PeImage, RealMinGwImagesOfBothKinds) {
    const auto pe32 = mingw_dll("i686-w64-mingw32", "libgcc_s_dw2-1.dll");
    const auto pe32plus = mingw_dll("x86_64-w64-mingw32", "libgcc_s_seh-1.dll");
    if (pe32.empty() || pe32plus.empty()) {
        GTEST_SKIP() << "MinGW runtime DLLs not installed";
    }
    for (const auto& [path, delta] : {std::pair{pe32, 0x70u}, std::pair{pe32plus, 0x80u}}) {
        SCOPED_TRACE(path.string());
        auto image = read_file(path);
        ASSERT_GT(image.size(), 1024u);
        const std::uint32_t lfanew = get32(image, 0x3C);
        EXPECT_EQ(package::loader_flags_field_offset(image), lfanew + delta);
        // The probe size of leading bytes is enough to find the field.
        const std::span<const std::uint8_t> start(image.data(), package::kPeHeaderProbeSize);
        EXPECT_EQ(package::loader_flags_field_offset(start), lfanew + delta);
        // Linkers leave LoaderFlags at 0: no package.
        EXPECT_EQ(package::read_package_offset(image), 0u);
        EXPECT_TRUE(package::package_span(image).empty());
        const auto size = static_cast<std::uint32_t>(image.size());
        image.insert(image.end(), 16, 0x77);
        ASSERT_TRUE(package::write_package_offset(image, size));
        EXPECT_EQ(package::package_span(image).size(), 16u);
    }
}
