#include "commands.h"

#include "cabinet_file.h"
#include "cabinet_format.h"
#include "description.h"
#include "dos_time.h"
#include "file_io.h"
#include "folder_scan.h"
#include "package/install_info.h"
#include "package/pe_certificate.h"
#include "packaging.h"
#include "progress_line.h"
#include "tool_error.h"
#include "update_signing.h"
#include "support/utf8.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstring>
#include <ctime>

namespace imepack {

namespace {

// The file's name in front of an error that doesn't say it yet.
template <typename F>
auto naming(const std::string& file, F&& step) -> decltype(step()) {
    try {
        return step();
    } catch (const InputError& e) {
        throw InputError(file + ": " + e.what());
    }
}

bool same_name_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// The uninstaller's name in the install folder, and of the signed
// installer program a package carries for it.
constexpr std::string_view kUninstallerName = "unstall.exe";

std::string attribute_letters(std::uint16_t a) {
    std::string s = "-----";
    if (a & cab::kAttribReadOnly) s[0] = 'R';
    if (a & cab::kAttribHidden) s[1] = 'H';
    if (a & cab::kAttribSystem) s[2] = 'S';
    if (a & cab::kAttribArchive) s[3] = 'A';
    if (a & cab::kAttribNameIsUtf8) s[4] = 'U';
    return s;
}

const char* compression_name(std::uint16_t type) {
    switch (type) {
    case cab::kCompressNone: return "stored";
    case cab::kCompressMszip: return "MSZIP";
    case 2: return "Quantum";
    case 3: return "LZX";
    default: return "unknown";
    }
}

void print_listing(const CabinetListing& listing, std::FILE* out) {
    std::fprintf(out, "cabinet: %u bytes, version %u.%u, %zu folder(s), %zu file(s)\n", listing.cabinet_size,
                 listing.version_major, listing.version_minor, listing.folders.size(), listing.files.size());
    for (std::size_t i = 0; i < listing.folders.size(); ++i) {
        const CabinetFolderEntry& f = listing.folders[i];
        std::fprintf(out, "folder %zu: %s, %u data block(s) at offset %u\n", i, compression_name(f.compression),
                     f.blocks, f.data_offset);
    }
    std::fprintf(out, "%12s  %-19s  %-5s  %s\n", "size", "date/time", "attr", "name");
    std::uint64_t total = 0;
    for (const CabinetFileEntry& f : listing.files) {
        std::fprintf(out, "%12u  %s  %s  %s\n", f.size, format_dos_time(f.dos_date, f.dos_time).c_str(),
                     attribute_letters(f.attributes).c_str(), f.name.c_str());
        total += f.size;
    }
    std::fprintf(out, "%12llu  total in %zu file(s)\n", static_cast<unsigned long long>(total), listing.files.size());
}

void inspect_cabinet(std::span<const std::uint8_t> cabinet, std::FILE* out) {
    const CabinetListing listing = read_cabinet_listing(cabinet);
    check_data_blocks(listing, cabinet);
    print_listing(listing, out);
}

// What follows the package: nothing in an unsigned installer, the
// certificate table in a signed one.
void print_after_package(const InstallerParts& parts, std::FILE* out) {
    const std::uint64_t package_end = parts.image.size() + parts.package.size();
    if (parts.trailing.empty()) {
        std::fprintf(out, "after the package: nothing\n");
    } else if (parts.certificate && parts.certificate->offset == package_end &&
               parts.certificate->size == parts.trailing.size()) {
        std::fprintf(out, "after the package: the certificate table (%zu bytes)\n", parts.trailing.size());
    } else {
        std::fprintf(out, "after the package: %zu bytes that are no part of it%s\n", parts.trailing.size(),
                     parts.certificate ? "" : " (no certificate table)");
    }
}

// Whether the file is signed, as far as its header and layout tell; the
// signature itself is checked by osslsigncode verify or signtool verify.
void print_signing(const InstallerParts& parts, std::size_t file_size, std::FILE* out) {
    if (!parts.certificate) {
        std::fprintf(out, "signed: no\n");
        return;
    }
    std::fprintf(out, "signed: yes, a certificate table of %u bytes at offset %u\n", parts.certificate->size,
                 parts.certificate->offset);
    try {
        check_signing(parts, file_size);
    } catch (const InputError& e) {
        std::fprintf(out, "signature unusable: %s\n", e.what());
    }
}

// The signed installer program a package may carry for the uninstaller.
struct CarriedProgram {
    const CabinetFileEntry* entry = nullptr;  // null: none carried
    bool is_signed = false;
    bool own = false;  // the installer's own program: the install places it
};

CarriedProgram find_carried_program(const CabinetListing& listing, std::span<const std::uint8_t> cabinet,
                                    std::span<const std::uint8_t> installer) {
    CarriedProgram found;
    for (const CabinetFileEntry& f : listing.files) {
        if (!same_name_ignoring_case(f.name, kUninstallerName)) continue;
        const std::vector<std::uint8_t> carried = read_cabinet_file(listing, cabinet, f);
        const auto fields = package::read_pe_fields(carried);
        found.entry = &f;
        found.is_signed = fields && package::recorded_certificate_table(carried, *fields);
        found.own = package::same_program(carried, installer);
        break;
    }
    return found;
}

// The install places the carried program when it is the installer's own;
// otherwise it cuts an uninstaller from the installer.
void print_uninstaller(const CarriedProgram& carried, std::FILE* out) {
    if (carried.entry == nullptr) {
        std::fprintf(out, "uninstaller: cut from the installer at install (unsigned)\n");
        return;
    }
    std::fprintf(out, "uninstaller: carried \"%s\" (%u bytes, %s), ", carried.entry->name.c_str(),
                 carried.entry->size, carried.is_signed ? "signed" : "unsigned");
    if (carried.own) {
        std::fprintf(out, "this installer's own program: the install places it\n");
    } else {
        std::fprintf(out, "not this installer's program: the install places the copy cut from the installer "
                          "(unsigned) instead\n");
    }
}

void inspect_installer(const std::string& name, std::span<const std::uint8_t> bytes, std::FILE* out) {
    const InstallerParts parts = split_installer(bytes);
    std::fprintf(out, "%s: installer (%s image)\n", name.c_str(), parts.pe32_plus ? "PE32+" : "PE32");
    std::fprintf(out, "image size: %zu bytes\n", parts.image.size());
    if (parts.package.empty()) {
        std::fprintf(out, "package: none attached\n");
        print_signing(parts, bytes.size(), out);
        return;
    }
    std::fprintf(out, "package offset: %zu (LoaderFlags at 0x%X)\n", parts.image.size(), parts.field_offset);
    std::fprintf(out, "package size: %zu bytes\n", parts.package.size());
    print_after_package(parts, out);
    print_signing(parts, bytes.size(), out);
    const std::vector<std::uint8_t> cabinet = naming("the attached package", [&] { return unseal_package(parts.package); });
    const CabinetListing listing = read_cabinet_listing(cabinet);
    print_uninstaller(find_carried_program(listing, cabinet, bytes), out);
    print_listing(listing, out);
}

void report_time(std::FILE* report, std::chrono::steady_clock::time_point start) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::fprintf(report, " in %.2f s\n", static_cast<double>(ms.count()) / 1000.0);
}

std::uint64_t total_size(const std::vector<CabinetFile>& files) {
    std::uint64_t total = 0;
    for (const CabinetFile& f : files) {
        if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&f.source)) total += bytes->size();
        else total += f.size;
    }
    return total;
}

// The cabinet of `files`, with the progress line on a terminal.
std::vector<std::uint8_t> pack_files(const std::vector<CabinetFile>& files, Compression compression, bool best) {
    std::vector<std::uint64_t> sizes;
    for (const CabinetFile& f : files) {
        const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&f.source);
        sizes.push_back(bytes != nullptr ? bytes->size() : f.size);
    }
    ProgressLine progress(stderr, ProgressLine::is_terminal(stderr), sizes);
    CabinetOptions options{compression, 0, {}, best, [&](std::uint64_t done) { progress.update(done); }};
    return write_cabinet(files, options);
}

// `bytes` as a top-level file of the cabinet, with the time stamp of the
// file it came from (so the same inputs give the same installer, byte for
// byte): in name order, or first.
enum class Place { in_name_order, first };
void insert_file(std::vector<CabinetFile>& files, std::string name, std::vector<std::uint8_t> bytes,
                 const std::string& stamped_like, Place place = Place::in_name_order) {
    CabinetFile entry;
    entry.name = std::move(name);
    entry.source = std::move(bytes);
    std::error_code ec;
    const auto written = std::filesystem::last_write_time(path_from_utf8(stamped_like), ec);
    const DosTime stamp = ec ? dos_time_from_unix(std::time(nullptr)) : dos_time_from_file_time(written);
    entry.dos_date = stamp.date;
    entry.dos_time = stamp.time;
    entry.attributes = cab::kAttribArchive;
    const auto at = place == Place::first
                        ? files.begin()
                        : std::lower_bound(files.begin(), files.end(), entry.name,
                                           [](const CabinetFile& f, const std::string& n) { return f.name < n; });
    files.insert(at, std::move(entry));
}

// The record goes into the cabinet's root beside the product's files, with
// the description's time stamp (so that the same inputs give the same
// installer, byte for byte). It is the cabinet's first file: the installer
// shows its wizard as soon as the record is out, while the product's files
// follow.
void add_record(std::vector<CabinetFile>& files, std::vector<std::uint8_t> record, const std::string& folder,
                const std::string& description) {
    constexpr std::string_view kRecordName = "InstallInfo.dif";
    for (const CabinetFile& f : files) {
        if (same_name_ignoring_case(f.name, kRecordName)) {
            throw InputError(folder + ": already holds " + f.name +
                             "; the record is made from the description, so take that file out of the folder");
        }
    }
    insert_file(files, std::string(kRecordName), std::move(record), description, Place::first);
}

// The files of a top-level name that the installer keeps for itself; the
// packer's own copy goes there, never the folder's.
void refuse_uninstaller_name(const std::vector<CabinetFile>& files, const std::string& folder) {
    for (const CabinetFile& f : files) {
        if (same_name_ignoring_case(f.name, kUninstallerName)) {
            throw InputError(folder + ": holds " + f.name +
                             " at its top level; that name is the uninstaller's (the install leaves its own "
                             "there), so take that file out of the folder");
        }
    }
}

// A signed installer program travels untouched in the package: the install
// puts it in place as the uninstaller, whose signature then still holds.
void add_signed_program(std::vector<CabinetFile>& files, std::span<const std::uint8_t> program,
                        const std::string& installer) {
    insert_file(files, std::string(kUninstallerName), {program.begin(), program.end()}, installer);
}

void warn_signature_dropped(const std::string& installer, const std::string& out, Signing signing, bool carried,
                            std::FILE* report) {
    if (signing == Signing::kUnsigned) return;
    if (carried) {
        std::fprintf(report, "note: %s is signed; %s is not (sign it as the last step). Its package carries the "
                             "signed installer program, which the install leaves as the uninstaller\n",
                     installer.c_str(), out.c_str());
        return;
    }
    std::fprintf(report, "warning: %s is signed; %s is not (sign it), and the install will leave an unsigned "
                         "uninstaller: build from the signed program without a package to carry a signed one\n",
                 installer.c_str(), out.c_str());
}

// A product without its IME file installs nothing useful; say so early.
void warn_missing_ime_file(const std::vector<CabinetFile>& files, const std::vector<std::uint8_t>& record,
                           std::FILE* report) {
    const package::InstallInfo info = package::load_install_info(record);
    std::string ime_file;
    for (const char16_t c : info.ime_name) {
        if (c == 0) break;
        if (c >= 0x80) return;  // non-ASCII names: no simple comparison; skip the hint
        ime_file += static_cast<char>(c);
    }
    ime_file += ".ime";
    for (const CabinetFile& f : files) {
        if (same_name_ignoring_case(f.name, ime_file)) return;
    }
    std::fprintf(report, "warning: the product folder has no %s at its top level\n", ime_file.c_str());
}

// An output inside the folder being packed would be packed itself by the
// next run (or, being written, by this one): refuse it up front.
void check_output_outside(const std::string& folder, const std::string& out) {
    std::error_code ec;
    const auto root = std::filesystem::weakly_canonical(path_from_utf8(folder), ec);
    if (ec) return;  // the scan reports a bad folder itself
    const auto target = std::filesystem::weakly_canonical(path_from_utf8(out), ec);
    if (ec) return;
    const auto [end, ignored] = std::mismatch(root.begin(), root.end(), target.begin(), target.end());
    if (end == root.end()) throw InputError(out + ": the output lies inside " + folder + "; write it elsewhere");
}

}  // namespace

void command_cab(const std::string& folder, const std::string& out, Compression compression, std::FILE* report,
                 bool best) {
    const auto start = std::chrono::steady_clock::now();
    check_output_outside(folder, out);
    const std::vector<CabinetFile> files = scan_folder(path_from_utf8(folder));
    const std::vector<std::uint8_t> cabinet =
        naming(folder, [&] { return pack_files(files, compression, best); });
    write_file_atomically(path_from_utf8(out), cabinet);
    std::fprintf(report, "%s: %zu file(s), %llu bytes -> %zu bytes (%s)", out.c_str(), files.size(),
                 static_cast<unsigned long long>(total_size(files)), cabinet.size(),
                 compression == Compression::Store ? "stored" : best ? "MSZIP, best" : "MSZIP");
    report_time(report, start);
}

void command_seal(const std::string& in, const std::string& out, std::FILE* report) {
    const std::vector<std::uint8_t> cabinet = read_file(path_from_utf8(in));
    const std::vector<std::uint8_t> sealed = naming(in, [&] { return seal_package(cabinet); });
    write_file_atomically(path_from_utf8(out), sealed);
    std::fprintf(report, "%s: sealed package, %zu bytes\n", out.c_str(), sealed.size());
}

void command_unseal(const std::string& in, const std::string& out, std::FILE* report) {
    const std::vector<std::uint8_t> sealed = read_file(path_from_utf8(in));
    const std::vector<std::uint8_t> cabinet = naming(in, [&] { return unseal_package(sealed); });
    write_file_atomically(path_from_utf8(out), cabinet);
    std::fprintf(report, "%s: cabinet, %zu bytes\n", out.c_str(), cabinet.size());
}

void command_attach(const std::string& installer, const std::string& package, const std::string& out,
                    std::FILE* report) {
    const std::vector<std::uint8_t> exe = read_file(path_from_utf8(installer));
    const std::vector<std::uint8_t> sealed = read_file(path_from_utf8(package));
    const InstallerParts parts = naming(installer, [&] { return split_installer(exe); });
    const Signing signing = naming(installer, [&] { return check_signing(parts, exe.size()); });
    const std::vector<std::uint8_t> result = naming(package, [&] { return attach_package(exe, sealed); });
    write_file_atomically(path_from_utf8(out), result);
    if (signing != Signing::kUnsigned) {
        const std::vector<std::uint8_t> cabinet = unseal_package(sealed);
        const CarriedProgram carried = find_carried_program(read_cabinet_listing(cabinet), cabinet, result);
        warn_signature_dropped(installer, out, signing, carried.own && carried.is_signed, stderr);
    }
    std::fprintf(report, "%s: installer with its package at offset %zu (%zu bytes)\n", out.c_str(),
                 result.size() - sealed.size(), sealed.size());
}

void command_inspect(const std::string& file, std::FILE* report) {
    const std::vector<std::uint8_t> bytes = read_file(path_from_utf8(file));
    naming(file, [&] {
        if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z') {
            inspect_installer(file, bytes, report);
        } else if (bytes.size() >= 4 && std::memcmp(bytes.data(), "CRYP", 4) == 0) {
            const std::vector<std::uint8_t> cabinet = unseal_package(bytes);
            std::fprintf(report, "%s: sealed package, %zu bytes\n", file.c_str(), bytes.size());
            print_listing(read_cabinet_listing(cabinet), report);
        } else if (bytes.size() >= 4 && std::memcmp(bytes.data(), "MSCF", 4) == 0) {
            std::fprintf(report, "%s: plain cabinet, %zu bytes\n", file.c_str(), bytes.size());
            inspect_cabinet(bytes, report);
        } else {
            throw InputError("neither an installer, a sealed package nor a cabinet");
        }
        return 0;
    });
}

void command_record(const std::string& description, const std::string& out, std::FILE* report) {
    const std::vector<std::uint8_t> text = read_file(path_from_utf8(description));
    const std::vector<std::uint8_t> record = record_from_description(text, description);
    write_file_atomically(path_from_utf8(out), record);
    std::fprintf(report, "%s: install information, %zu bytes\n", out.c_str(), record.size());
}

void command_set_key(const std::string& installer, const std::string& public_key, const std::string& out,
                     std::FILE* report) {
    std::vector<std::uint8_t> exe = read_file(path_from_utf8(installer));
    naming(installer, [&] { return split_installer(exe); });
    exe = with_update_key(std::move(exe), public_key, installer);
    write_file_atomically(path_from_utf8(out), exe);
    std::fprintf(report, "%s: installer carrying the update key of %s\n", out.c_str(), public_key.c_str());
}

void command_build(const std::string& folder, const std::string& description, const std::string& installer,
                   const std::string& out, std::FILE* report, const std::string& update_key, bool best) {
    const auto start = std::chrono::steady_clock::now();
    check_output_outside(folder, out);
    std::vector<std::uint8_t> record = record_from_description(read_file(path_from_utf8(description)), description);
    std::vector<std::uint8_t> exe = read_file(path_from_utf8(installer));
    const InstallerParts parts = naming(installer, [&] { return split_installer(exe); });
    const Signing signing = naming(installer, [&] { return check_signing(parts, exe.size()); });
    if (!update_key.empty()) {
        std::vector<std::uint8_t> keyed = with_update_key(exe, update_key, installer);
        // Writing the key into a signed program would break its signature.
        if (signing != Signing::kUnsigned && keyed != exe)
            throw InputError(installer + ": signed without the update key; put the key in first (set-key), then sign");
        exe = std::move(keyed);
    }
    std::vector<CabinetFile> files = scan_folder(path_from_utf8(folder));
    warn_missing_ime_file(files, record, stderr);
    refuse_uninstaller_name(files, folder);
    add_record(files, std::move(record), folder, description);
    if (signing == Signing::kSignedProgram) add_signed_program(files, exe, installer);
    const std::vector<std::uint8_t> cabinet = naming(folder, [&] { return pack_files(files, Compression::Mszip, best); });
    const std::vector<std::uint8_t> sealed = seal_package(cabinet);
    const std::vector<std::uint8_t> result = attach_package(exe, sealed);
    write_file_atomically(path_from_utf8(out), result);
    std::fprintf(report, "%s: installer with %zu file(s), package of %zu bytes at offset %zu", out.c_str(),
                 files.size(), sealed.size(), result.size() - sealed.size());
    report_time(report, start);
    warn_signature_dropped(installer, out, signing, true, stderr);
}

}  // namespace imepack
