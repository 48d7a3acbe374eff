// The header edits around a signature on real MinGW images: the checksum,
// the certificate-table entry, and installers taken apart whatever a
// signing tool appended.
#include "package/pe_certificate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "cabinet_writer.h"
#include "package/pe_image.h"
#include "packaging.h"
#include "packer_test_util.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t get32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The MinGW runtime DLLs of both targets: images whose checksums the
// linker wrote.
std::vector<Bytes> real_images() {
    std::vector<Bytes> images;
    for (const char* dir : {"/usr/lib/gcc/x86_64-w64-mingw32", "/usr/lib/gcc/i686-w64-mingw32"}) {
        std::error_code ec;
        for (const auto& version : std::filesystem::directory_iterator(dir, ec)) {
            const auto dll = version.path() / "libssp-0.dll";
            if (!std::filesystem::exists(dll)) continue;
            std::ifstream in(dll, std::ios::binary);
            images.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            break;
        }
    }
    return images;
}

// `file` with a certificate table of `size` bytes appended and recorded.
Bytes sign_fake(Bytes file, std::uint32_t size) {
    const auto fields = package::read_pe_fields(file);
    put32(file, fields->certificate_entry, static_cast<std::uint32_t>(file.size()));
    put32(file, fields->certificate_entry + 4, size);
    file.resize(file.size() + size, 0xC3);
    return file;
}

Bytes sealed_package() {
    imepack::CabinetFile f;
    f.name = "readme.txt";
    f.source = packer_test::text_bytes(3001, 7);
    return imepack::seal_package(imepack::write_cabinet(std::vector{f}));
}

}  // namespace

TEST(PeCertificate, ChecksumIsTheLinkersOnRealImages) {
    const auto images = real_images();
    if (images.empty()) GTEST_SKIP() << "no MinGW runtime DLLs installed";
    for (const Bytes& image : images) {
        const auto fields = package::read_pe_fields(image);
        ASSERT_TRUE(fields);
        ASSERT_NE(get32(image, fields->checksum), 0u);
        EXPECT_EQ(package::pe_checksum(image, fields->checksum), get32(image, fields->checksum));
        EXPECT_FALSE(package::recorded_certificate_table(image, *fields));
        EXPECT_LE(fields->image_end, image.size());
    }
}

TEST(PeCertificate, ClearingASignatureLeavesAWellFormedImage) {
    const auto images = real_images();
    if (images.empty()) GTEST_SKIP() << "no MinGW runtime DLLs installed";
    for (const Bytes& image : images) {
        // Cut back to the image: the entry would point past the end.
        const Bytes signed_file = sign_fake(image, 4096);
        Bytes cut(signed_file.begin(), signed_file.begin() + image.size());
        ASSERT_TRUE(package::clear_signature(cut));
        const auto fields = package::read_pe_fields(cut);
        EXPECT_FALSE(package::recorded_certificate_table(cut, *fields));
        EXPECT_EQ(cut, image) << "entry zero and the checksum of these bytes: the unsigned original";

        // A checksum gone stale (the offset changed) is put right too; an
        // image without one and without a table keeps every byte.
        Bytes stale = image;
        put32(stale, *package::loader_flags_field_offset(stale), 12345);
        ASSERT_TRUE(package::clear_signature(stale));
        EXPECT_EQ(get32(stale, fields->checksum), package::pe_checksum(stale, fields->checksum));
        Bytes no_checksum = image;
        put32(no_checksum, fields->checksum, 0);
        const Bytes before = no_checksum;
        ASSERT_TRUE(package::clear_signature(no_checksum));
        EXPECT_EQ(no_checksum, before);
    }
    Bytes text(200, 'x');
    EXPECT_FALSE(package::clear_signature(text));
}

TEST(PeCertificate, InstallersSplitToThePackagesOwnLength) {
    const auto images = real_images();
    if (images.empty()) GTEST_SKIP() << "no MinGW runtime DLLs installed";
    const Bytes stub = images.front();
    const Bytes package = sealed_package();
    const Bytes installer = imepack::attach_package(stub, package);

    Bytes appended = installer;
    appended.insert(appended.end(), 40, 0x55);
    const Bytes signed_file = sign_fake(installer, 3000);
    Bytes appended_to_signed = signed_file;
    appended_to_signed.insert(appended_to_signed.end(), 40, 0x55);
    Bytes signed_first = sign_fake(stub, 800);
    const std::uint32_t late = static_cast<std::uint32_t>(signed_first.size());
    package::write_package_offset(signed_first, late);
    signed_first.insert(signed_first.end(), package.begin(), package.end());

    struct Case {
        const char* what;
        Bytes file;
        std::size_t program;
        std::size_t trailing;
    } cases[] = {
        {"unsigned", installer, stub.size(), 0},
        {"bytes appended", appended, stub.size(), 40},
        {"signed", signed_file, stub.size(), 3000},
        {"signed, then bytes appended", appended_to_signed, stub.size(), 3040},
        {"signed before the package was attached", signed_first, stub.size(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto layout = package::split_installer_file(c.file);
        ASSERT_TRUE(layout);
        EXPECT_EQ(layout->program.size(), c.program);
        EXPECT_TRUE(std::equal(layout->package.begin(), layout->package.end(), package.begin(), package.end()));
        EXPECT_EQ(layout->trailing.size(), c.trailing);
        EXPECT_TRUE(package::same_program(c.file, stub));
    }

    Bytes changed = stub;
    changed[changed.size() / 2] ^= 1;
    EXPECT_FALSE(package::same_program(installer, changed));

    // A package cut short is refused, also when a table stands where its
    // missing bytes belong.
    Bytes short_package(installer.begin(), installer.end() - 8);
    EXPECT_FALSE(package::split_installer_file(short_package));
    EXPECT_FALSE(package::split_installer_file(sign_fake(short_package, 64)));
    EXPECT_FALSE(package::split_installer_file(stub));
}
