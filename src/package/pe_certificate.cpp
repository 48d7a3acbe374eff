#include "package/pe_certificate.h"

#include <algorithm>
#include <vector>

#include "package/package_container.h"
#include "package/pe_image.h"

namespace package {
namespace {

constexpr std::size_t kLfanewOffset = 0x3C;
constexpr std::size_t kSectionCountOffset = 6;      // NumberOfSections, after "PE\0\0"
constexpr std::size_t kOptionalSizeOffset = 20;     // SizeOfOptionalHeader, after "PE\0\0"
constexpr std::size_t kOptionalHeaderOffset = 24;   // "PE\0\0" and the file header
constexpr std::size_t kSizeOfHeadersOffset = 60;    // within the optional header, both kinds
constexpr std::size_t kChecksumOffset = 64;
// NumberOfRvaAndSizes, followed by the data directory.
constexpr std::size_t kDirectoryCountPe32 = 92;
constexpr std::size_t kDirectoryCountPe32Plus = 108;
constexpr std::size_t kCertificateDirectory = 4;
constexpr std::size_t kDirectoryEntrySize = 8;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kSectionRawSize = 16;
constexpr std::size_t kSectionRawPointer = 20;
// The cabinet's own size field in a package's plain header.
constexpr std::size_t kCabinetSizeField = 8;

std::uint32_t read16(std::span<const std::uint8_t> b, std::uint64_t at) {
    return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t read32(std::span<const std::uint8_t> b, std::uint64_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}

void write32(std::span<std::uint8_t> b, std::uint64_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// True when [at, at + size) lies inside the bytes; no overflow for any at.
bool fits(std::span<const std::uint8_t> b, std::uint64_t at, std::uint64_t size) {
    return at <= b.size() && size <= b.size() - at;
}

// The end of the headers and of the last section's raw data; empty when
// the section table lies outside the bytes.
std::optional<std::uint64_t> image_end(std::span<const std::uint8_t> b, std::uint64_t nt, std::uint64_t optional) {
    const std::uint64_t sections = optional + read16(b, nt + kOptionalSizeOffset);
    const std::uint64_t count = read16(b, nt + kSectionCountOffset);
    if (!fits(b, sections, count * kSectionHeaderSize)) return std::nullopt;
    std::uint64_t end = read32(b, optional + kSizeOfHeadersOffset);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t header = sections + i * kSectionHeaderSize;
        const std::uint64_t raw_size = read32(b, header + kSectionRawSize);
        if (raw_size != 0) end = std::max(end, read32(b, header + kSectionRawPointer) + raw_size);
    }
    return end;
}

}  // namespace

std::optional<PeFields> read_pe_fields(std::span<const std::uint8_t> image) {
    // The signature checks and the optional header's kind are the package
    // offset's too.
    const auto loader_flags = loader_flags_field_offset(image);
    if (!loader_flags) return std::nullopt;
    const std::uint64_t nt = read32(image, kLfanewOffset);
    const std::uint64_t optional = nt + kOptionalHeaderOffset;
    const bool plus = read16(image, optional) == kPe32PlusMagic;
    const std::uint64_t declared = read16(image, nt + kOptionalSizeOffset);
    const std::uint64_t count_at = plus ? kDirectoryCountPe32Plus : kDirectoryCountPe32;
    if (declared < count_at + 4 || !fits(image, optional, count_at + 4)) return std::nullopt;

    PeFields fields;
    fields.checksum = static_cast<std::uint32_t>(optional + kChecksumOffset);
    const auto end = image_end(image, nt, optional);
    if (!end) return std::nullopt;
    fields.image_end = *end;
    const std::uint64_t entry = count_at + 4 + kCertificateDirectory * kDirectoryEntrySize;
    // An entry the header doesn't declare isn't there.
    if (read32(image, optional + count_at) > kCertificateDirectory && declared >= entry + kDirectoryEntrySize &&
        fits(image, optional + entry, kDirectoryEntrySize)) {
        fields.certificate_entry = static_cast<std::uint32_t>(optional + entry);
    }
    return fields;
}

std::optional<CertificateTable> recorded_certificate_table(std::span<const std::uint8_t> image,
                                                           const PeFields& fields) {
    if (fields.certificate_entry == 0) return std::nullopt;
    CertificateTable table{read32(image, fields.certificate_entry), read32(image, fields.certificate_entry + 4)};
    if (table.offset == 0 && table.size == 0) return std::nullopt;
    return table;
}

std::uint32_t pe_checksum(std::span<const std::uint8_t> image, std::uint32_t checksum_field) {
    std::uint64_t sum = 0;
    const std::size_t words = image.size() / 2;
    for (std::size_t i = 0; i < words; ++i) {
        const std::size_t at = 2 * i;
        if (at == checksum_field || at == std::size_t{checksum_field} + 2) continue;
        sum += read16(image, at);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    if (image.size() % 2 != 0) {
        sum += image.back();
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + image.size());
}

std::optional<std::size_t> package_length(std::span<const std::uint8_t> package) {
    if (package.size() < kCabHeaderSize) return std::nullopt;
    const std::uint64_t cabinet = read32(package, kCabinetSizeField);
    if (cabinet < kCabHeaderSize) return std::nullopt;
    const std::uint64_t length = (cabinet + kCipherBlock - 1) / kCipherBlock * kCipherBlock;
    if (length > package.size()) return std::nullopt;
    return static_cast<std::size_t>(length);
}

std::span<const std::uint8_t> program_part(std::span<const std::uint8_t> file) {
    const auto fields = read_pe_fields(file);
    if (!fields) return file;
    std::span<const std::uint8_t> program = file;
    const std::uint32_t offset = *read_package_offset(file);
    if (offset != 0 && offset < file.size()) program = file.first(offset);
    // A table between the image and the package, or at the end of a
    // program without one: not part of the program.
    const auto table = recorded_certificate_table(file, *fields);
    if (table && table->offset >= fields->image_end && table->end() <= program.size()) {
        program = program.first(table->offset);
    }
    return program;
}

std::optional<InstallerLayout> split_installer_file(std::span<const std::uint8_t> file) {
    const auto fields = read_pe_fields(file);
    if (!fields) return std::nullopt;
    const std::uint32_t offset = *read_package_offset(file);
    if (offset == 0 || offset >= file.size()) return std::nullopt;
    // A table recorded behind the package is no part of it.
    std::uint64_t end = file.size();
    const auto table = recorded_certificate_table(file, *fields);
    if (table && table->offset >= offset && table->end() <= file.size()) end = table->offset;
    const auto length = package_length(file.subspan(offset, static_cast<std::size_t>(end - offset)));
    if (!length) return std::nullopt;
    InstallerLayout layout;
    layout.program = program_part(file);
    layout.package = file.subspan(offset, *length);
    layout.trailing = file.subspan(offset + *length);
    return layout;
}

bool clear_signature(std::span<std::uint8_t> program) {
    const auto fields = read_pe_fields(program);
    if (!fields) return false;
    const bool signed_entry = recorded_certificate_table(program, *fields).has_value();
    if (signed_entry) {
        std::fill_n(program.begin() + fields->certificate_entry, kDirectoryEntrySize, std::uint8_t{0});
    }
    if (signed_entry || read32(program, fields->checksum) != 0) {
        write32(program, fields->checksum, pe_checksum(program, fields->checksum));
    }
    return true;
}

bool same_program(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    const auto normalised = [](std::span<const std::uint8_t> file) {
        const std::span<const std::uint8_t> part = program_part(file);
        std::vector<std::uint8_t> bytes(part.begin(), part.end());
        const auto fields = read_pe_fields(bytes);
        const auto loader_flags = loader_flags_field_offset(bytes);
        if (!fields || !loader_flags) return std::vector<std::uint8_t>{};
        write32(bytes, *loader_flags, 0);
        write32(bytes, fields->checksum, 0);
        if (fields->certificate_entry != 0) {
            std::fill_n(bytes.begin() + fields->certificate_entry, kDirectoryEntrySize, std::uint8_t{0});
        }
        return bytes;
    };
    const std::vector<std::uint8_t> x = normalised(a);
    return !x.empty() && x == normalised(b);
}

}  // namespace package
