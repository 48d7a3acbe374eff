// The image-header reader on this very test program: a PE32+ image made by
// the project's own toolchain, read the way the installer reads itself.

#include "package/pe_image.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<std::uint8_t> own_image() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(PeImage, OwnImageHasItsLoaderFlagsFieldFound) {
    auto image = own_image();
    ASSERT_GT(image.size(), package::kPeHeaderProbeSize);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.data() + dos->e_lfanew);
    // The system's own header layout names the same four bytes.
    const auto expected = static_cast<std::uint32_t>(
        reinterpret_cast<const std::uint8_t*>(&nt->OptionalHeader.LoaderFlags) - image.data());
    EXPECT_EQ(package::loader_flags_field_offset(image), expected);
#ifdef _WIN64
    EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
    EXPECT_EQ(expected, static_cast<std::uint32_t>(dos->e_lfanew) + 0x80u);
#endif
    // A linker leaves the field 0: no package behind this image.
    EXPECT_EQ(package::read_package_offset(image), 0u);
    EXPECT_TRUE(package::package_span(image).empty());

    // Appending a package and storing its offset changes nothing else.
    const auto size = static_cast<std::uint32_t>(image.size());
    auto packed = image;
    packed.insert(packed.end(), {'C', 'R', 'Y', 'P', 0, 0, 0, 0});
    ASSERT_TRUE(package::write_package_offset(packed, size));
    EXPECT_EQ(reinterpret_cast<const IMAGE_NT_HEADERS*>(packed.data() + dos->e_lfanew)->OptionalHeader.LoaderFlags,
              size);
    EXPECT_EQ(package::package_span(packed).size(), 8u);
    for (std::size_t i = 0; i < image.size(); ++i) {
        if (i < expected || i >= expected + 4) {
            ASSERT_EQ(packed[i], image[i]) << "byte " << i;
        }
    }
}
