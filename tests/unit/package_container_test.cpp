#include "package/package_container.h"

#include "package_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using package::ContainerError;

using package_test::make_cabinet;
using package_test::package_key;

TEST(PackageContainer, SealThenUnsealGivesBackThePaddedCabinet) {
    const auto key = package_key();
    for (std::size_t size : {36u, 55u, 56u, 57u, 63u, 64u, 65u, 1000u, 4099u}) {
        SCOPED_TRACE(size);
        const auto cabinet = make_cabinet(size);
        ContainerError error = ContainerError::kTooShort;
        const auto sealed = package::seal_cabinet(cabinet, key, &error);
        EXPECT_EQ(error, ContainerError::kNone);
        ASSERT_EQ(sealed.size(), (size + 7) / 8 * 8);
        EXPECT_EQ(std::memcmp(sealed.data(), "CRYP", 4), 0);
        // Header bytes 4-55 stay plain, the size field keeps the real size.
        const std::size_t plain = std::min<std::size_t>(size, 56);
        EXPECT_TRUE(std::equal(cabinet.begin() + 4, cabinet.begin() + static_cast<std::ptrdiff_t>(plain),
                               sealed.begin() + 4));
        if (size >= 64) {
            EXPECT_FALSE(std::equal(cabinet.begin() + 56, cabinet.begin() + 64, sealed.begin() + 56));
        }
        const auto unsealed = package::unseal_package(sealed, key, &error);
        EXPECT_EQ(error, ContainerError::kNone);
        auto expected = cabinet;
        expected.resize(sealed.size(), 0);
        EXPECT_EQ(unsealed, expected);
    }
}

TEST(PackageContainer, BlocksAreAlignedToTheFileFromOffset56) {
    const auto key = package_key();
    const auto cabinet = make_cabinet(80);
    const auto sealed = package::seal_cabinet(cabinet, key);
    // Each block is enciphered on its own: the block at 64 deciphers alone.
    std::uint8_t block[8];
    std::memcpy(block, sealed.data() + 64, 8);
    package::decipher_block(key, block);
    EXPECT_EQ(std::memcmp(block, cabinet.data() + 64, 8), 0);
    // Electronic codebook: equal clear blocks give equal cipher blocks.
    auto twins = make_cabinet(80);
    std::memset(twins.data() + 56, 0xAB, 16);
    const auto sealed_twins = package::seal_cabinet(twins, key);
    EXPECT_EQ(std::memcmp(sealed_twins.data() + 56, sealed_twins.data() + 64, 8), 0);
}

TEST(PackageContainer, BadCabinetsAreRefusedWithAReason) {
    const auto key = package_key();
    ContainerError error = ContainerError::kNone;

    EXPECT_TRUE(package::seal_cabinet(std::vector<std::uint8_t>(20, 0), key, &error).empty());
    EXPECT_EQ(error, ContainerError::kTooShort);

    auto not_cab = make_cabinet(100);
    not_cab[0] = 'X';
    EXPECT_TRUE(package::seal_cabinet(not_cab, key, &error).empty());
    EXPECT_EQ(error, ContainerError::kNotCabinet);

    auto sealed = package::seal_cabinet(make_cabinet(100), key);
    EXPECT_TRUE(package::seal_cabinet(sealed, key, &error).empty());  // sealing twice
    EXPECT_EQ(error, ContainerError::kNotCabinet);

    auto lying = make_cabinet(100);
    lying[8] = 101;  // claims one byte more than it has
    EXPECT_TRUE(package::seal_cabinet(lying, key, &error).empty());
    EXPECT_EQ(error, ContainerError::kBadCabinetSize);
    EXPECT_NE(std::string(package::container_error_text(error)), "");
}

TEST(PackageContainer, BadPackagesAreRefusedWithAReason) {
    const auto key = package_key();
    ContainerError error = ContainerError::kNone;
    auto sealed = package::seal_cabinet(make_cabinet(100), key);

    auto cut = sealed;
    cut.pop_back();
    EXPECT_TRUE(package::unseal_package(cut, key, &error).empty());
    EXPECT_EQ(error, ContainerError::kBadLength);

    EXPECT_TRUE(package::unseal_package(make_cabinet(104), key, &error).empty());
    EXPECT_EQ(error, ContainerError::kNotPackage);

    EXPECT_TRUE(package::unseal_package(std::vector<std::uint8_t>{'C', 'R', 'Y', 'P'}, key, &error).empty());
    EXPECT_EQ(error, ContainerError::kTooShort);

    EXPECT_EQ(package::check_package(sealed), ContainerError::kNone);
    EXPECT_EQ(package::check_cabinet(make_cabinet(100)), ContainerError::kNone);
    for (auto e : {ContainerError::kTooShort, ContainerError::kNotCabinet, ContainerError::kBadCabinetSize,
                   ContainerError::kNotPackage, ContainerError::kBadLength}) {
        EXPECT_STRNE(package::container_error_text(e), package::container_error_text(ContainerError::kNone));
    }
}

TEST(PackageContainer, WrongKeyUnsealsToGarbage) {
    const auto cabinet = make_cabinet(200);
    const auto sealed = package::seal_cabinet(cabinet, package_key());
    package::BlowfishContext other{};
    const std::uint8_t wrong[] = "another key";
    package::SetKey(other, wrong, 11);
    const auto unsealed = package::unseal_package(sealed, other);
    ASSERT_EQ(unsealed.size(), 200u);
    EXPECT_TRUE(std::equal(cabinet.begin(), cabinet.begin() + 56, unsealed.begin()));
    EXPECT_FALSE(std::equal(cabinet.begin() + 56, cabinet.end(), unsealed.begin() + 56));
}
