#pragma once
// The header fields that Authenticode signing touches, and an installer
// file taken apart whether or not it was signed.
//
// A signing tool appends a certificate table to the file, records it in
// the certificate-table entry of the optional header's data directory (a
// file offset and a length, not an address) and puts the image checksum
// right. The signature covers everything else, our package and its offset
// in LoaderFlags included. So a signed installer is
//     program | package | certificate table
// and whoever cuts it must leave the table and its entry behind.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace package {

// File offsets of the fields signing touches, and where the image's own
// bytes end (the headers and every section's raw data).
struct PeFields {
    std::uint32_t checksum = 0;           // CheckSum
    std::uint32_t certificate_entry = 0;  // the table's directory entry; 0 when the header has none
    std::uint64_t image_end = 0;
};

// Empty when the bytes are no PE32 or PE32+ image header.
std::optional<PeFields> read_pe_fields(std::span<const std::uint8_t> image);

// A certificate table as its directory entry records it.
struct CertificateTable {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::uint64_t end() const { return std::uint64_t{offset} + size; }
};

// The recorded table; empty when the entry is absent or zero.
std::optional<CertificateTable> recorded_certificate_table(std::span<const std::uint8_t> image,
                                                           const PeFields& fields);

// The image checksum as the loader and the signing tools compute it: the
// 16-bit words of the file (CheckSum counted as 0) added with end-around
// carry, plus the file length.
std::uint32_t pe_checksum(std::span<const std::uint8_t> image, std::uint32_t checksum_field);

// A package's own length: the cabinet size in its header rounded up to
// whole cipher blocks. Empty when the bytes are shorter than a cabinet
// header or than the length the header gives.
std::optional<std::size_t> package_length(std::span<const std::uint8_t> package);

// An installer file taken apart.
struct InstallerLayout {
    // What the uninstaller is cut from: the bytes before the package,
    // without a certificate table lying at their end (a program signed
    // before its package was attached).
    std::span<const std::uint8_t> program;
    std::span<const std::uint8_t> package;   // exactly the package's own length
    std::span<const std::uint8_t> trailing;  // whatever follows the package
};

// Empty when the file carries no package (no readable header, offset 0 or
// at or past the end) or when its package doesn't hold the length its
// header gives: a certificate table recorded behind the package bounds it.
std::optional<InstallerLayout> split_installer_file(std::span<const std::uint8_t> file);

// The program part of any executable: the bytes before its package when it
// carries one, without a certificate table at their end. The whole file
// when the header can't be read.
std::span<const std::uint8_t> program_part(std::span<const std::uint8_t> file);

// Makes a program cut from a possibly signed file well formed: the
// certificate-table entry cleared, and the checksum recomputed over the
// bytes given when the entry was set or the checksum was (an unsigned
// image without a checksum keeps its bytes). False when the bytes are no
// image header.
bool clear_signature(std::span<std::uint8_t> program);

// Whether two files hold the same program: their program parts equal but
// for the fields that attaching and signing change (LoaderFlags, CheckSum,
// the certificate-table entry).
bool same_program(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

}  // namespace package
