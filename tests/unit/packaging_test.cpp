#include "packaging.h"

#include "cabinet_writer.h"
#include "package/package_container.h"
#include "packer_test_util.h"
#include "tool_error.h"

#include <gtest/gtest.h>

#include <cstring>

using imepack::attach_package;
using imepack::check_signing;
using imepack::Signing;
using imepack::InputError;
using imepack::seal_package;
using imepack::split_installer;
using imepack::unseal_package;
using namespace packer_test;

namespace {

std::vector<std::uint8_t> small_cabinet(unsigned seed) {
    imepack::CabinetFile f;
    f.name = "files\\data" + std::to_string(seed) + ".bin";
    f.source = text_bytes(5000 + seed, seed);
    return imepack::write_cabinet(std::vector{f});
}

// A minimal image header: "MZ", e_lfanew = 0x80, "PE\0\0", a file header and
// the optional header's magic, padded to `size` bytes of "code".
std::vector<std::uint8_t> fake_image(bool pe32_plus, std::size_t size = 0x400) {
    std::vector<std::uint8_t> image(size, 0x90);
    std::memset(image.data(), 0, 0x200);
    image[0] = 'M';
    image[1] = 'Z';
    image[0x3C] = 0x80;
    std::memcpy(&image[0x80], "PE\0\0", 4);
    image[0x80 + 4 + 16] = pe32_plus ? 0xF0 : 0xE0;  // SizeOfOptionalHeader
    image[0x98] = 0x0B;
    image[0x99] = pe32_plus ? 0x02 : 0x01;
    return image;
}

std::uint32_t loader_flags(const std::vector<std::uint8_t>& exe, bool pe32_plus) {
    const std::size_t at = 0x80 + (pe32_plus ? 0x80 : 0x70);
    return static_cast<std::uint32_t>(exe[at] | (exe[at + 1] << 8) | (exe[at + 2] << 16) | (exe[at + 3] << 24));
}

std::string error_of(auto&& step) {
    try {
        step();
    } catch (const InputError& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(Packaging, UnsealGivesBackTheSealedCabinetExactly) {
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) {  // cabinet lengths of every remainder modulo 8
        const auto cabinet = small_cabinet(seed);
        const auto sealed = seal_package(cabinet);
        EXPECT_EQ(std::string(sealed.begin(), sealed.begin() + 4), "CRYP");
        EXPECT_EQ(sealed.size() % 8, 0u);
        EXPECT_LT(sealed.size() - cabinet.size(), 8u);
        // The header stays readable; the rest is enciphered.
        EXPECT_TRUE(std::equal(cabinet.begin() + 4, cabinet.begin() + 56, sealed.begin() + 4));
        EXPECT_FALSE(std::equal(cabinet.begin() + 56, cabinet.end(), sealed.begin() + 56));
        EXPECT_EQ(unseal_package(sealed), cabinet);
    }
}

TEST(Packaging, RefusesWhatIsNotACabinetOrNotSealed) {
    const auto cabinet = small_cabinet(1);
    EXPECT_NE(error_of([&] { seal_package(seal_package(cabinet)); }).find("already a sealed package"), std::string::npos);
    EXPECT_NE(error_of([&] { seal_package(bytes_of("just some text, long enough to be a header")); }).find("MSCF"),
              std::string::npos);
    EXPECT_NE(error_of([&] { unseal_package(cabinet); }).find("not a sealed package"), std::string::npos);
    EXPECT_NE(error_of([&] { unseal_package(bytes_of("CRYP and not much else")); }), "no error");

    auto damaged = seal_package(cabinet);
    damaged[damaged.size() - 20] ^= 0x55;
    EXPECT_NE(error_of([&] { unseal_package(damaged); }).find("checksum"), std::string::npos);
}

TEST(Packaging, AttachThenSplitGivesBackOffsetAndPackage) {
    for (const bool plus : {false, true}) {
        const auto image = fake_image(plus);
        const auto sealed = seal_package(small_cabinet(3));
        const auto exe = attach_package(image, sealed);
        EXPECT_EQ(loader_flags(exe, plus), image.size());
        const auto parts = split_installer(exe);
        EXPECT_EQ(parts.pe32_plus, plus);
        EXPECT_EQ(parts.image.size(), image.size());
        EXPECT_TRUE(std::equal(parts.package.begin(), parts.package.end(), sealed.begin(), sealed.end()));
        // Apart from the offset, the image is untouched.
        auto restored = std::vector<std::uint8_t>(parts.image.begin(), parts.image.end());
        std::fill_n(restored.begin() + 0x80 + (plus ? 0x80 : 0x70), 4, std::uint8_t{0});
        EXPECT_EQ(restored, image);
    }
}

TEST(Packaging, ASecondAttachReplacesThePackage) {
    const auto image = fake_image(false);
    const auto first = attach_package(image, seal_package(small_cabinet(1)));
    const auto second_package = seal_package(small_cabinet(2));
    const auto second = attach_package(first, second_package);
    EXPECT_EQ(second.size(), image.size() + second_package.size());
    EXPECT_EQ(loader_flags(second, false), image.size());
    EXPECT_EQ(unseal_package(split_installer(second).package), small_cabinet(2));
}

TEST(Packaging, AnImageWithoutPackageSplitsIntoItselfAlone) {
    auto image = fake_image(true);
    EXPECT_TRUE(split_installer(image).package.empty());
    // An offset beyond the end means no package as well.
    image[0x80 + 0x80 + 1] = 0x10;
    EXPECT_TRUE(split_installer(image).package.empty());
    EXPECT_EQ(split_installer(image).image.size(), image.size());
}

TEST(Packaging, AttachRefusesNonImagesAndUnsealedPackages) {
    const auto cabinet = small_cabinet(1);
    EXPECT_NE(error_of([&] { attach_package(bytes_of("MZ but nothing else of an image"), seal_package(cabinet)); })
                  .find("not a Windows executable"),
              std::string::npos);
    auto not_pe = fake_image(false);
    not_pe[0x80] = 'X';
    EXPECT_NE(error_of([&] { attach_package(not_pe, seal_package(cabinet)); }), "no error");
    EXPECT_NE(error_of([&] { attach_package(fake_image(false), cabinet); }).find("not a sealed package"),
              std::string::npos);
}

namespace {

// A PE32 fake image with a data directory of 16 entries and 0x200 bytes of
// headers, and a certificate table of `size` bytes at `at` recorded in it
// (appended when it lies at the end of the file).
std::vector<std::uint8_t> with_table(std::vector<std::uint8_t> file, std::uint32_t at, std::uint32_t size) {
    file[0x98 + 60] = 0x00;  // SizeOfHeaders = 0x200
    file[0x98 + 61] = 0x02;
    file[0x98 + 92] = 16;    // NumberOfRvaAndSizes
    for (int i = 0; i < 4; ++i) {
        file[0x98 + 128 + i] = static_cast<std::uint8_t>(at >> (8 * i));
        file[0x98 + 132 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    }
    if (at == file.size()) file.resize(file.size() + size, 0xC3);
    return file;
}

Signing signing_of(const std::vector<std::uint8_t>& file) { return check_signing(split_installer(file), file.size()); }

}  // namespace

TEST(Packaging, SignedInputsAreTakenApartOrRefusedByWhereTheirTableLies) {
    const auto image = fake_image(false);
    const auto sealed = seal_package(small_cabinet(4));
    const auto program = with_table(image, 0x400, 64);
    EXPECT_EQ(signing_of(with_table(image, 0, 0)), Signing::kUnsigned);
    EXPECT_EQ(signing_of(program), Signing::kSignedProgram);

    // Attached, the table and its entry are gone; signed again, the new
    // table follows the package.
    const auto unsigned_installer = attach_package(program, sealed);
    EXPECT_EQ(unsigned_installer.size(), image.size() + sealed.size());
    EXPECT_EQ(signing_of(unsigned_installer), Signing::kUnsigned);
    const auto installer = with_table(unsigned_installer, static_cast<std::uint32_t>(unsigned_installer.size()), 64);
    EXPECT_EQ(signing_of(installer), Signing::kSignedInstaller);
    EXPECT_EQ(split_installer(installer).trailing.size(), 64u);
    EXPECT_EQ(attach_package(installer, sealed), unsigned_installer);

    auto appended = program;
    appended.push_back(0);
    auto signed_first = program;
    signed_first[0x80 + 0x70] = static_cast<std::uint8_t>(program.size());
    signed_first[0x80 + 0x70 + 1] = static_cast<std::uint8_t>(program.size() >> 8);
    signed_first.insert(signed_first.end(), sealed.begin(), sealed.end());
    EXPECT_NE(error_of([&] { signing_of(appended); }).find("isn't the last thing in the file: 1 bytes"),
              std::string::npos);
    EXPECT_NE(error_of([&] { signing_of(signed_first); }).find("signed before its package was attached"),
              std::string::npos);
    EXPECT_NE(error_of([&] { signing_of(with_table(image, 0x100, 64)); }).find("inside the image"), std::string::npos);
    EXPECT_NE(error_of([&] { signing_of(with_table(image, 0x3F0, 64)); }).find("outside the file"), std::string::npos);
}
