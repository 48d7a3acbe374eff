// The package container and the deciphering reader the cabinet decoder
// reads a package through. The input is the package file. The reader is
// driven like the decoder drives it: the header first, then seeks to the
// offsets the header names, in reads of many sizes, with and without a key.
// What it delivers must be the file's own bytes (no key) or the deciphered
// bytes (key), and nothing may be written outside the buffers given.

#include "fuzz_check.h"

#include "package/package_container.h"
#include "package/package_key.h"
#include "package/package_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

std::uint32_t get32(std::span<const std::uint8_t> b, std::size_t at) {
    if (at + 4 > b.size()) return 0;
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

// The file with "CRYP" turned into "MSCF" and every whole block after the
// plain prefix deciphered: what a keyed reader must deliver.
std::vector<std::uint8_t> expected_keyed(std::span<const std::uint8_t> file) {
    std::vector<std::uint8_t> out(file.begin(), file.end());
    if (out.size() > package::kPlainPrefix) {
        const std::size_t body = (out.size() - package::kPlainPrefix) & ~std::size_t{7};
        package::decipher_blocks(package::package_cipher(), out.data() + package::kPlainPrefix, body);
    }
    return out;
}

// The file the reader sees, and its position. One reader serves every
// run (as one serves a whole extraction), so its work buffer is made once.
struct RawFile {
    std::span<const std::uint8_t> bytes;
    std::size_t pos = 0;
};

package::PackageReader& reader_over(RawFile& raw) {
    static package::PackageReader reader(
        nullptr,
        [&raw](std::intptr_t, void* buffer, unsigned count) {
            const std::size_t got = raw.pos < raw.bytes.size() ? std::min<std::size_t>(count, raw.bytes.size() - raw.pos) : 0;
            if (got != 0) std::memcpy(buffer, raw.bytes.data() + raw.pos, got);
            raw.pos += got;
            return static_cast<long>(got);
        },
        [&raw](std::intptr_t, long offset, int) {
            raw.pos = static_cast<std::size_t>(offset);
            return offset;
        });
    return reader;
}

void drive_reader(std::span<const std::uint8_t> file, bool keyed, const std::vector<std::uint8_t>& clear) {
    static const package::BlowfishContext none{};
    static RawFile raw;
    raw = RawFile{file, 0};
    std::size_t& pos = raw.pos;
    package::PackageReader& reader = reader_over(raw);
    reader.set_cipher(keyed ? &package::package_cipher() : &none);
    reader.OnOpen(7);

    // Where the decoder goes: the start, the file entries, each folder's data.
    std::vector<long> stops{0, 0, static_cast<long>(get32(file, 16))};
    const std::uint32_t folders = std::min<std::uint32_t>(get32(file, 26) & 0xFFFF, 8);
    for (std::uint32_t i = 0; i < folders; ++i) stops.push_back(static_cast<long>(get32(clear, 36 + 8 * i)));
    stops.push_back(static_cast<long>(file.size() / 2));
    stops.push_back(static_cast<long>(file.size()));
    static constexpr unsigned kSizes[] = {36, 1, 7, 8, 9, 300, 4096, 65536, 65537, 3};

    static std::vector<std::uint8_t> dest(package::PackageReader::kWorkBufferSize + 64);
    std::size_t n = 0;
    for (const long stop : stops) {
        pos = static_cast<std::size_t>(stop);
        reader.OnSeek(7, stop);
        for (int step = 0; step < 3; ++step, ++n) {
            const unsigned count = kSizes[(n + file.size()) % std::size(kSizes)];
            const long at = *reader.position(7);
            // Guard bytes behind the buffer handed over catch a write past it.
            const auto guard = dest.begin() + count;
            std::memset(dest.data() + count, 0xEE, 32);
            const long got = reader.Read(7, dest.data(), count);
            FUZZ_CHECK(got == -1 || (got >= 0 && got <= static_cast<long>(count)));
            FUZZ_CHECK(std::all_of(guard, guard + 32, [](std::uint8_t b) { return b == 0xEE; }));
            if (got < 0) {
                // Both the recorded position and the file's stay put.
                FUZZ_CHECK(*reader.position(7) == at);
                FUZZ_CHECK(pos == static_cast<std::size_t>(at));
                break;
            }
            FUZZ_CHECK(*reader.position(7) == at + got);
            FUZZ_CHECK(pos == static_cast<std::size_t>(at + got));
            // The signature is judged, not compared; every other byte must match.
            const std::size_t skip = at < 4 ? static_cast<std::size_t>(4 - at) : 0;
            if (static_cast<std::size_t>(got) > skip) {
                const std::uint8_t* want = (keyed ? clear.data() : file.data()) + at + skip;
                FUZZ_CHECK(std::memcmp(dest.data() + skip, want, static_cast<std::size_t>(got) - skip) == 0);
            }
            if (at == 0 && got >= 4) {
                FUZZ_CHECK(std::memcmp(dest.data(), package::kCabSignature, 4) == 0);
            }
        }
    }
    reader.OnClose(7);
    FUZZ_CHECK(!reader.position(7));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = fuzz::bytes_of(data, size);

    // Unsealing and sealing again gives the package back.
    package::ContainerError error = package::ContainerError::kNone;
    const std::vector<std::uint8_t> cabinet = package::unseal_package(file, package::package_cipher(), &error);
    FUZZ_CHECK(error == package::check_package(file));
    FUZZ_CHECK(package::container_error_text(error) != nullptr);
    if (error == package::ContainerError::kNone) {
        FUZZ_CHECK(cabinet.size() == size);
        FUZZ_CHECK(std::memcmp(cabinet.data(), package::kCabSignature, 4) == 0);
        const auto plain = static_cast<std::ptrdiff_t>(std::min(size, package::kPlainPrefix));
        FUZZ_CHECK(std::equal(cabinet.begin() + 4, cabinet.begin() + plain, file.begin() + 4));
        if (package::check_cabinet(cabinet) == package::ContainerError::kNone) {
            FUZZ_CHECK(package::seal_cabinet(cabinet, package::package_cipher()) == std::vector<std::uint8_t>(file.begin(), file.end()));
        }
    } else {
        FUZZ_CHECK(cabinet.empty());
    }
    // The bytes taken as a cabinet: sealed, they unseal to themselves plus padding.
    const std::vector<std::uint8_t> sealed = package::seal_cabinet(file, package::package_cipher(), &error);
    FUZZ_CHECK(error == package::check_cabinet(file));
    if (error == package::ContainerError::kNone) {
        FUZZ_CHECK(sealed.size() % package::kCipherBlock == 0 && sealed.size() - size < package::kCipherBlock);
        const std::vector<std::uint8_t> back = package::unseal_package(sealed, package::package_cipher());
        FUZZ_CHECK(std::equal(file.begin(), file.end(), back.begin()));
        FUZZ_CHECK(std::all_of(back.begin() + static_cast<std::ptrdiff_t>(size), back.end(),
                               [](std::uint8_t b) { return b == 0; }));
    }

    const std::vector<std::uint8_t> clear = expected_keyed(file);
    drive_reader(file, true, clear);
    drive_reader(file, false, clear);
    return 0;
}
