// CExtract over Wine's "Cabinet.dll": cabinets written by gcab and by the
// packer's writer, sealed packages, names in UTF-8 and Windows-1252, times,
// attributes, cabinet sets, the error codes, hostile names and abort.
//
// The program runs 8 hours east of UTC (TZ=CST-8, set by the build), so a
// stored local time and a stored UTC time land on different file times.
// Cabinets the writer can't make (1252 names, hostile names, sets) come
// from the small raw builder below.
#include "package/cabinet_extract.h"

#include "cabinet_format.h"
#include "cabinet_writer.h"
#include "package/package_key.h"
#include "packaging.h"
#include "scratch.h"

#include <windows.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Cabinet::CExtract;
using wintest::file_exists;
using wintest::read_file;
using wintest::write_file;

// --- a raw cabinet builder: any names, attributes, folders and set links ---

struct RawBlock {
    Bytes payload;
    std::uint16_t uncompressed;  // 0 for the first part of a block split across cabinets
};
struct RawFile {
    std::string name;  // stored bytes, as they are
    std::uint32_t size;
    std::uint32_t offset;
    std::uint16_t folder;
    std::uint16_t attributes;
    std::uint16_t date = 0x5264;  // 2021-03-04
    std::uint16_t time = 0x28C4;  // 05:06:08
};
struct RawCabinet {
    std::uint16_t flags = 0;  // 1: a previous cabinet, 2: a next cabinet
    std::string previous, next;
    std::uint16_t index = 0;
    std::vector<std::vector<RawBlock>> folders;  // stored (uncompressed) data blocks
    std::vector<RawFile> files;
};

void put(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
void put_text(Bytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}
void patch32(Bytes& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

Bytes build(const RawCabinet& cab) {
    Bytes out{'M', 'S', 'C', 'F'};
    put(out, 0, 4);
    put(out, 0, 4);  // cabinet size, patched below
    put(out, 0, 4);
    put(out, 0, 4);  // first file entry, patched below
    put(out, 0, 4);
    put(out, 0x0103, 2);
    put(out, static_cast<std::uint32_t>(cab.folders.size()), 2);
    put(out, static_cast<std::uint32_t>(cab.files.size()), 2);
    put(out, cab.flags, 2);
    put(out, 0x4242, 2);  // set identifier
    put(out, cab.index, 2);
    if (cab.flags & 1) put_text(out, cab.previous), put_text(out, "disk");
    if (cab.flags & 2) put_text(out, cab.next), put_text(out, "disk");
    const std::size_t folder_entries = out.size();
    for (const auto& blocks : cab.folders) {
        put(out, 0, 4);  // first data block, patched below
        put(out, static_cast<std::uint32_t>(blocks.size()), 2);
        put(out, 0, 2);  // stored
    }
    patch32(out, 16, static_cast<std::uint32_t>(out.size()));
    for (const RawFile& f : cab.files) {
        put(out, f.size, 4);
        put(out, f.offset, 4);
        put(out, f.folder, 2);
        put(out, f.date, 2);
        put(out, f.time, 2);
        put(out, f.attributes, 2);
        put_text(out, f.name);
    }
    for (std::size_t i = 0; i < cab.folders.size(); ++i) {
        patch32(out, folder_entries + 8 * i, static_cast<std::uint32_t>(out.size()));
        for (const RawBlock& block : cab.folders[i]) {
            put(out, imepack::cab::data_block_checksum(block.payload, block.uncompressed), 4);
            put(out, static_cast<std::uint32_t>(block.payload.size()), 2);
            put(out, block.uncompressed, 2);
            out.insert(out.end(), block.payload.begin(), block.payload.end());
        }
    }
    patch32(out, 8, static_cast<std::uint32_t>(out.size()));
    return out;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// One folder, one stored block per file.
struct Entry {
    std::string name;
    std::string data;
    std::uint16_t attributes = 0x20;
};
Bytes simple_cabinet(const std::vector<Entry>& entries) {
    RawCabinet cab;
    cab.folders.emplace_back();
    std::uint32_t offset = 0;
    for (const Entry& e : entries) {
        const auto size = static_cast<std::uint32_t>(e.data.size());
        cab.files.push_back(RawFile{e.name, size, offset, 0, e.attributes});
        cab.folders[0].push_back(RawBlock{text(e.data), static_cast<std::uint16_t>(size)});
        offset += size;
    }
    return build(cab);
}

Bytes pseudo_random(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(gen() % 7 == 0 ? gen() : 'a' + gen() % 3);
    return out;
}

// --- what a person would look at afterwards ---

FILETIME utc_time(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    const SYSTEMTIME st{year, month, 0, day, hour, minute, second, 0};
    FILETIME ft{};
    SystemTimeToFileTime(&st, &ft);
    return ft;
}

struct Stamps {
    FILETIME creation{}, write{};
};
Stamps stamps_of(const std::wstring& path) {
    Stamps s;
    const support::UniqueHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, 0, nullptr));
    if (file) GetFileTime(file.get(), &s.creation, nullptr, &s.write);
    return s;
}
bool same(const FILETIME& a, const FILETIME& b) { return CompareFileTime(&a, &b) == 0; }

DWORD attributes_of(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }
// The attributes without archive and "normal": Wine reports every file as
// archived (docs/wine.md), Windows only those that are.
DWORD kept_attributes(const std::wstring& path) {
    return attributes_of(path) & ~DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL};
}

std::string read_text(const std::wstring& path) {
    const Bytes bytes = read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

// Every file and folder below `root`, as paths relative to it.
void list_tree(const std::wstring& root, const std::wstring& relative, std::set<std::wstring>& out) {
    WIN32_FIND_DATAW found;
    const std::wstring base = relative.empty() ? root : root + L"\\" + relative;
    HANDLE search = FindFirstFileW((base + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring child = relative.empty() ? name : relative + L"\\" + name;
        out.insert(child);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) list_tree(root, child, out);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}
std::set<std::wstring> tree_of(const std::wstring& root) {
    std::set<std::wstring> out;
    list_tree(root, L"", out);
    return out;
}

// A gcab fixture's path; the tree it was packed from lies beside it.
std::wstring gcab_fixture(const wchar_t* name) { return wintest::fixture_path(name); }

struct Outcome {
    BOOL ok;
    Cabinet::ExtractError error;
    ERF decoder;
};

class CabinetExtract : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(Cabinet::InitThreadSlot()); }

    void SetUp() override {
        TIME_ZONE_INFORMATION zone;
        GetTimeZoneInformation(&zone);
        ASSERT_EQ(zone.Bias, -480) << "run with TZ=CST-8 so local and UTC times differ";
    }

    std::wstring put_file(const std::wstring& name, const Bytes& bytes) {
        const std::wstring path = scratch_.file(name);
        EXPECT_TRUE(write_file(path, bytes));
        return path;
    }
    std::wstring dest(const std::wstring& name = L"out") const { return scratch_.file(name); }

    static Outcome extract(const std::wstring& cabinet, const std::wstring& destination, bool keyed = false) {
        CExtract extract;
        if (keyed) extract.SetKey(package::kPackageKey, package::kPackageKeyLength);
        EXPECT_TRUE(extract.CreateFDIContext());
        const BOOL ok = extract.ExtractFile(cabinet.c_str(), destination.c_str());
        const Outcome outcome{ok, extract.GetExtractError(), extract.GetDecoderError()};
        EXPECT_TRUE(extract.DestroyFDIContext());
        return outcome;
    }

    wintest::ScratchFolder scratch_{L"cabx"};
};

void expect_error(const Outcome& o, std::uint32_t code) {
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.error.code, code) << "system error " << o.error.system_error << ", decoder " << o.decoder.erfOper;
}

// --- cabinets from the peer tool and from the packer's writer ---

TEST_F(CabinetExtract, GcabCabinetsPlainAndSealed) {
    const std::wstring tree = gcab_fixture(L"gcab-tree");
    const wchar_t* names[] = {L"readme.txt", L"sub\\data.bin", L"sub\\deeper\\\u00E9\u4E2D\u6587.txt"};
    int round = 0;
    for (const wchar_t* fixture : {L"gcab_mszip.cab", L"gcab_stored.cab", L"sealed"}) {
        SCOPED_TRACE(fixture);
        const bool sealed = std::wstring(fixture) == L"sealed";
        std::wstring cabinet = gcab_fixture(fixture);
        if (sealed) {
            const Bytes plain = read_file(gcab_fixture(L"gcab_mszip.cab"));
            ASSERT_FALSE(plain.empty()) << "gcab fixture missing";
            cabinet = put_file(L"gcab.pkg", imepack::seal_package(plain));
        }
        const std::wstring out = dest(L"gcab" + std::to_wstring(++round));  // no trailing backslash
        const Outcome o = extract(cabinet, out, sealed);
        ASSERT_TRUE(o.ok) << o.error.code << " " << o.decoder.erfOper;
        EXPECT_EQ(tree_of(out), (std::set<std::wstring>{L"readme.txt", L"sub", L"sub\\data.bin", L"sub\\deeper",
                                                         names[2]}));
        for (const wchar_t* name : names) {
            EXPECT_EQ(read_file(out + L"\\" + name), read_file(tree + L"\\" + name)) << name;
            EXPECT_EQ(kept_attributes(out + L"\\" + name), 0u);
            EXPECT_NE(attributes_of(out + L"\\" + name) & FILE_ATTRIBUTE_ARCHIVE, 0u);
        }
        // Stored as local time 2021-03-04 05:06:08, eight hours ahead of UTC.
        const Stamps s = stamps_of(out + L"\\readme.txt");
        EXPECT_TRUE(same(s.write, utc_time(2021, 3, 3, 21, 6, 8)));
        EXPECT_TRUE(same(s.creation, s.write));
        EXPECT_TRUE(same(stamps_of(out + L"\\sub\\data.bin").write, utc_time(2019, 12, 31, 15, 59, 58)));
    }
}

std::vector<imepack::CabinetFile> writer_files(const std::string& flavour) {
    auto file = [&](std::string name, std::string data, std::uint16_t attributes, std::uint16_t date,
                    std::uint16_t time) {
        data += flavour;
        return imepack::CabinetFile{std::move(name), Bytes(data.begin(), data.end()), 0, date, time, attributes};
    };
    std::vector<imepack::CabinetFile> files = {
        file("plain.txt", "plain", 0x00, 0x4A21, 0x6000),                // 2017-01-01 12:00:00
        file("sub\\locked.ini", "[locked]", 0x01, 0x4A21, 0x6000),       // read-only
        file("sub\\secret.dat", "hidden", 0x02, 0x4A21, 0x6000),         // hidden
        file("sub\\both.cfg", "both", 0x01 | 0x02 | 0x20, 0x4A21, 0x6000),
        file("sub\\deep\\system.sys", "system", 0x04 | 0x40, 0x4A21, 0x6000),  // 0x40 is no attribute to keep
        file("utc.txt", "utc", 0x100, 0x4A21, 0x6000),                   // the stored time is UTC
        file("\xE4\xB8\xAD\xE6\x96\x87\\\xE5\x90\x8D.txt", "utf8", 0x00, 0x4A21, 0x6000),
    };
    const Bytes big = pseudo_random(200000, 7);  // several MSZIP blocks through the reader
    files.push_back(imepack::CabinetFile{"sub\\big.bin", big, 0, 0x4A21, 0x6000, 0x20});
    return files;
}

TEST_F(CabinetExtract, WriterCabinetKeepsFoldersTimesAndAttributesAndReplacesReadOnlyTargets) {
    const std::wstring out = dest();
    for (const char* flavour : {"", " (second run)"}) {
        SCOPED_TRACE(flavour);
        const auto files = writer_files(flavour);
        // The first run extracts a plain cabinet, the second a sealed one over
        // the first run's read-only and hidden files.
        const bool sealed = *flavour != '\0';
        const Bytes cabinet = imepack::write_cabinet(files);
        const std::wstring path = put_file(sealed ? L"w.pkg" : L"w.cab", sealed ? imepack::seal_package(cabinet) : cabinet);
        const Outcome o = extract(path, out + L"\\", sealed);
        ASSERT_TRUE(o.ok) << o.error.code << " " << o.error.system_error << " " << o.decoder.erfOper;

        const std::string suffix = flavour;
        EXPECT_EQ(read_text(out + L"\\plain.txt"), "plain" + suffix);
        EXPECT_EQ(read_text(out + L"\\sub\\locked.ini"), "[locked]" + suffix);
        EXPECT_EQ(read_text(out + L"\\sub\\secret.dat"), "hidden" + suffix);
        EXPECT_EQ(read_text(out + L"\\\u4E2D\u6587\\\u540D.txt"), "utf8" + suffix);
        EXPECT_EQ(read_file(out + L"\\sub\\big.bin"), std::get<Bytes>(files.back().source));

        EXPECT_EQ(kept_attributes(out + L"\\plain.txt"), 0u);
        EXPECT_EQ(kept_attributes(out + L"\\sub\\locked.ini"), DWORD{FILE_ATTRIBUTE_READONLY});
        EXPECT_EQ(kept_attributes(out + L"\\sub\\secret.dat"), DWORD{FILE_ATTRIBUTE_HIDDEN});
        EXPECT_EQ(kept_attributes(out + L"\\sub\\both.cfg"), DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});
        EXPECT_NE(attributes_of(out + L"\\sub\\both.cfg") & FILE_ATTRIBUTE_ARCHIVE, 0u);
        EXPECT_EQ(kept_attributes(out + L"\\sub\\deep\\system.sys"), DWORD{FILE_ATTRIBUTE_SYSTEM});

        // Local 2017-01-01 12:00:00 is 04:00 UTC; the file marked UTC keeps 12:00.
        for (const wchar_t* name : {L"plain.txt", L"sub\\locked.ini", L"sub\\secret.dat", L"sub\\big.bin"}) {
            const Stamps s = stamps_of(out + L"\\" + name);
            EXPECT_TRUE(same(s.write, utc_time(2017, 1, 1, 4, 0, 0))) << name;
            EXPECT_TRUE(same(s.creation, s.write)) << name;
        }
        const Stamps utc = stamps_of(out + L"\\utc.txt");
        EXPECT_TRUE(same(utc.write, utc_time(2017, 1, 1, 12, 0, 0)));
        EXPECT_TRUE(same(utc.creation, utc.write));
    }
}

// Wine lets an administrator truncate a read-only or hidden file, which
// Windows refuses (docs/wine.md); so the replacement is watched where it
// happens: opening to create makes the old file's attributes normal first.
TEST_F(CabinetExtract, OpeningToCreateClearsReadOnlyAndHidden) {
    const std::wstring path = put_file(L"locked.txt", text("old"));
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    CExtract extract;
    const INT_PTR reading = extract.Open(path.c_str(), _O_RDONLY | _O_BINARY, 0);
    ASSERT_NE(reading, -1);
    extract.Close(reading);
    EXPECT_EQ(kept_attributes(path), DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});

    const INT_PTR writing = extract.Open(path.c_str(), _O_CREAT | _O_TRUNC | _O_RDWR | _O_BINARY, _S_IREAD | _S_IWRITE);
    ASSERT_NE(writing, -1);
    EXPECT_EQ(extract.Write(writing, "new", 3), 3);
    extract.Close(writing);
    EXPECT_EQ(kept_attributes(path), 0u);
    EXPECT_EQ(read_text(path), "new");
}

TEST_F(CabinetExtract, NamesWithoutTheUtf8BitAreWindows1252) {
    const Bytes cabinet = simple_cabinet({
        {"caf\xE9\\na\xEFve \x80.txt", "1252", 0x20},       // no 0x80: Windows-1252
        {"caf\xC3\xA9\\utf8.txt", "utf8", 0x20 | 0x80},     // 0x80: UTF-8
        {"d\xC3\xA9j\xC3\xA0.txt", "looks like UTF-8", 0x20},  // the same bytes read as 1252
    });
    const std::wstring out = dest();
    ASSERT_TRUE(extract(put_file(L"cp.cab", cabinet), out).ok);
    EXPECT_EQ(read_text(out + L"\\caf\u00E9\\na\u00EFve \u20AC.txt"), "1252");
    EXPECT_EQ(read_text(out + L"\\caf\u00E9\\utf8.txt"), "utf8");
    EXPECT_EQ(read_text(out + L"\\d\u00C3\u00A9j\u00C3\u00A0.txt"), "looks like UTF-8");
}

// --- paths, signatures, damaged and wrongly keyed packages ---

TEST_F(CabinetExtract, ShortPathsAreRefusedWith1002) {
    const std::wstring cabinet = put_file(L"ok.cab", simple_cabinet({{"a.txt", "a"}}));
    expect_error(extract(cabinet, L"C"), Cabinet::kErrBadPaths);
    expect_error(extract(cabinet, L""), Cabinet::kErrBadPaths);
    expect_error(extract(put_file(L"c", simple_cabinet({{"a.txt", "a"}})), dest()), Cabinet::kErrBadPaths);
    expect_error(extract(L"ok.cab", dest()), Cabinet::kErrBadPaths);  // no folder
    // Forward slashes are separators; "C:" gains its backslash and is long enough.
    std::wstring forward = dest(L"fwd");
    std::replace(forward.begin(), forward.end(), L'\\', L'/');
    std::wstring forward_cabinet = cabinet;
    std::replace(forward_cabinet.begin(), forward_cabinet.end(), L'\\', L'/');
    EXPECT_TRUE(extract(forward_cabinet, forward).ok);
    EXPECT_TRUE(file_exists(dest(L"fwd") + L"\\a.txt"));
}

TEST_F(CabinetExtract, SignaturesKeysAndDamage) {
    const Bytes cabinet = imepack::write_cabinet(writer_files(""));
    const Bytes sealed = imepack::seal_package(cabinet);
    const std::wstring plain_path = put_file(L"plain.cab", cabinet);
    const std::wstring sealed_path = put_file(L"sealed.pkg", sealed);

    expect_error(extract(plain_path, dest(L"o1"), true), Cabinet::kErrPlainWhereKeyed);
    expect_error(extract(sealed_path, dest(L"o2"), false), Cabinet::kErrKeyedWhereNone);
    expect_error(extract(put_file(L"junk.cab", text("this is no cabinet at all, just words")), dest(L"o3")),
                 Cabinet::kErrNotCabinet);
    EXPECT_FALSE(extract(scratch_.file(L"missing.cab"), dest(L"o4")).ok);

    const Bytes truncated(sealed.begin(), sealed.begin() + static_cast<std::ptrdiff_t>(sealed.size() / 2));
    const Outcome cut = extract(put_file(L"cut.pkg", truncated), dest(L"o5"), true);
    EXPECT_FALSE(cut.ok);
    EXPECT_TRUE(cut.decoder.fError);

    Bytes damaged = sealed;
    for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 64; ++i) damaged[i] ^= 0x5A;
    const Outcome broken = extract(put_file(L"damaged.pkg", damaged), dest(L"o6"), true);
    EXPECT_FALSE(broken.ok);
    EXPECT_TRUE(broken.decoder.fError);

    // A wrong key turns everything after the plain head into noise: the
    // decoder fails and nothing lands outside the destination.
    const std::set<std::wstring> before = tree_of(scratch_.path());
    CExtract wrong;
    wrong.SetKey("not the key", 11);
    ASSERT_TRUE(wrong.CreateFDIContext());
    EXPECT_FALSE(wrong.ExtractFile(sealed_path.c_str(), dest(L"o7").c_str()));
    std::set<std::wstring> after = tree_of(scratch_.path());
    std::erase_if(after, [](const std::wstring& p) { return p.rfind(L"o7", 0) == 0; });
    EXPECT_EQ(after, before);
}

// --- names that try to leave the destination ---

TEST_F(CabinetExtract, HostileNamesWriteNothingOutsideAndFailWith8) {
    // The scratch folder's own path in its drive-less, drive and UNC forms.
    const std::wstring root = scratch_.path();
    std::string narrow(root.begin(), root.end());  // the temporary folder is plain ASCII
    const std::string no_drive = narrow.substr(2);
    std::string unix_like = no_drive;
    std::replace(unix_like.begin(), unix_like.end(), '\\', '/');
    const std::vector<std::string> hostile = {
        "..\\up.txt",
        "sub\\..\\..\\up2.txt",
        "../fwd.txt",
        "sub/../../fwd2.txt",
        ".. \\dots.txt",
        "...\\three.txt",
        narrow + "\\abs.txt",
        no_drive + "\\lead.txt",
        unix_like + "/slash.txt",
        "C:drive.txt",
        "\\\\?\\" + narrow + "\\unc.txt",
        "stream.txt:evil",
        "sub\\NUL.txt",
    };
    int round = 0;
    for (const std::string& name : hostile) {
        SCOPED_TRACE(name);
        const std::wstring out = dest(L"h" + std::to_wstring(++round));
        const std::wstring cab = put_file(L"h.cab", simple_cabinet({{"before.txt", "b"}, {name, "evil"}, {"after.txt", "a"}}));
        const std::set<std::wstring> before = tree_of(root);
        const Outcome o = extract(cab, out);
        expect_error(o, Cabinet::kErrCreateOutput);
        EXPECT_EQ(o.error.system_error, DWORD{ERROR_INVALID_NAME});
        // The file before it is kept; the extraction stopped at the hostile one.
        EXPECT_EQ(tree_of(out), (std::set<std::wstring>{L"before.txt"}));
        std::set<std::wstring> after = tree_of(root);
        after.erase(L"h" + std::to_wstring(round));
        after.erase(L"h" + std::to_wstring(round) + L"\\before.txt");
        EXPECT_EQ(after, before);
    }
    EXPECT_FALSE(file_exists(L"C:\\drive.txt"));
}

// --- threads and the slot ---

TEST_F(CabinetExtract, OtherThreadsAreRefusedWith1011) {
    const std::wstring cab = put_file(L"t.cab", simple_cabinet({{"a.txt", "a"}}));
    CExtract extract;
    std::uint32_t codes[3] = {};
    BOOL results[3] = {TRUE, TRUE, TRUE};
    std::thread([&] {
        results[0] = extract.CreateFDIContext();
        codes[0] = extract.GetExtractError().code;
    }).join();
    ASSERT_TRUE(extract.CreateFDIContext());
    std::thread([&] {
        results[1] = extract.ExtractFile(cab.c_str(), dest().c_str());
        codes[1] = extract.GetExtractError().code;
        results[2] = extract.DestroyFDIContext();
        codes[2] = extract.GetExtractError().code;
    }).join();
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(results[i]) << i;
        EXPECT_EQ(codes[i], Cabinet::kErrWrongThread) << i;
    }
    EXPECT_FALSE(file_exists(dest() + L"\\a.txt"));
    // The owner thread still can.
    EXPECT_TRUE(extract.ExtractFile(cab.c_str(), dest().c_str()));
    EXPECT_TRUE(file_exists(dest() + L"\\a.txt"));
}

TEST_F(CabinetExtract, ASecondObjectOnTheSameThreadIsRefusedWith1012) {
    const std::wstring cab = put_file(L"s.cab", simple_cabinet({{"a.txt", "a"}}));
    CExtract first;
    ASSERT_TRUE(first.CreateFDIContext());
    {
        CExtract second;
        EXPECT_FALSE(second.CreateFDIContext());
        EXPECT_EQ(second.GetExtractError().code, Cabinet::kErrSlotTaken);
    }  // its end must not take the first object's registration with it
    EXPECT_EQ(Cabinet::ThreadSlotObject(), &first);
    EXPECT_TRUE(first.ExtractFile(cab.c_str(), dest(L"one").c_str()));
    EXPECT_TRUE(first.DestroyFDIContext());

    // Clearing the slot on its own lets the next object of the thread in.
    Cabinet::ClearThreadSlot();
    CExtract third;
    ASSERT_TRUE(third.CreateFDIContext());
    EXPECT_TRUE(third.ExtractFile(cab.c_str(), dest(L"three").c_str()));
    EXPECT_TRUE(file_exists(dest(L"three") + L"\\a.txt"));
}

TEST_F(CabinetExtract, ThreadsExtractSideBySide) {
    const std::wstring cab = put_file(L"p.cab", imepack::write_cabinet(writer_files("")));
    BOOL ok[2] = {};
    std::thread workers[2];
    for (int i = 0; i < 2; ++i) {
        workers[i] = std::thread([&, i] {
            CExtract extract;
            ok[i] = extract.CreateFDIContext() && extract.ExtractFile(cab.c_str(), dest(L"t" + std::to_wstring(i)).c_str());
        });
    }
    for (auto& w : workers) w.join();
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(ok[i]);
        EXPECT_EQ(read_file(dest(L"t" + std::to_wstring(i)) + L"\\sub\\big.bin").size(), 200000u);
    }
}

// --- cabinet sets ---

TEST_F(CabinetExtract, SetsAreFollowedToTheirLastCabinet) {
    RawCabinet one;
    one.flags = 2;
    one.next = "set2.cab";
    one.folders = {{RawBlock{text("first"), 5}}};
    one.files = {RawFile{"one.txt", 5, 0, 0, 0x20}};
    RawCabinet two;
    two.flags = 1;
    two.previous = "set1.cab";
    two.index = 1;
    two.folders = {{RawBlock{text("second"), 6}}};
    two.files = {RawFile{"sub\\two.txt", 6, 0, 0, 0x20}};
    put_file(L"set2.cab", build(two));
    const Outcome o = extract(put_file(L"set1.cab", build(one)), dest());
    ASSERT_TRUE(o.ok) << o.error.code;
    EXPECT_EQ(read_text(dest() + L"\\one.txt"), "first");
    EXPECT_EQ(read_text(dest() + L"\\sub\\two.txt"), "second");
}

// A file whose data runs from the first cabinet into the second.
void write_spanning_set(const std::wstring& folder, bool with_second) {
    const std::string a(100, 'a');
    std::string b(300, 'b');
    b[0] = 'B', b[299] = 'E';
    RawCabinet one;
    one.flags = 2;
    one.next = "span2.cab";
    one.folders = {{RawBlock{text(a), 100}, RawBlock{text(b.substr(0, 150)), 0}}};
    one.files = {RawFile{"a.txt", 100, 0, 0, 0x20}, RawFile{"b.txt", 300, 100, 0xFFFE, 0x20}};
    RawCabinet two;
    two.flags = 1;
    two.previous = "span1.cab";
    two.index = 1;
    two.folders = {{RawBlock{text(b.substr(150)), 300}}, {RawBlock{text("cc"), 2}}};
    two.files = {RawFile{"b.txt", 300, 100, 0xFFFD, 0x20}, RawFile{"c.txt", 2, 0, 1, 0x20}};
    write_file(folder + L"\\span1.cab", build(one));
    if (with_second) write_file(folder + L"\\span2.cab", build(two));
}

TEST_F(CabinetExtract, AFileSpanningTwoCabinetsIsWhole) {
    write_spanning_set(scratch_.path(), true);
    const Outcome o = extract(scratch_.file(L"span1.cab"), dest());
    ASSERT_TRUE(o.ok) << o.error.code << " " << o.decoder.erfOper;
    EXPECT_EQ(read_text(dest() + L"\\a.txt"), std::string(100, 'a'));
    const std::string b = read_text(dest() + L"\\b.txt");
    ASSERT_EQ(b.size(), 300u);
    EXPECT_EQ(b.front(), 'B');
    EXPECT_EQ(b.back(), 'E');
    EXPECT_EQ(read_text(dest() + L"\\c.txt"), "cc");
}

TEST_F(CabinetExtract, BrokenSetsEndWithTheDecodersErrorInsteadOfLooping) {
    // The second cabinet is missing: the decoder's "not found" (1) is kept.
    write_spanning_set(scratch_.path(), false);
    expect_error(extract(scratch_.file(L"span1.cab"), dest(L"m")), FDIERROR_CABINET_NOT_FOUND);

    // A cabinet that names itself (or one outside its folder) as the next.
    for (const char* next : {"loop.cab", "LOOP.CAB", "..\\loop.cab"}) {
        SCOPED_TRACE(next);
        RawCabinet loop;
        loop.flags = 2;
        loop.next = next;
        loop.folders = {{RawBlock{text("x"), 1}}};
        loop.files = {RawFile{"x.txt", 1, 0, 0, 0x20}};
        expect_error(extract(put_file(L"loop.cab", build(loop)), dest(L"l")), FDIERROR_WRONG_CABINET);
        EXPECT_EQ(read_text(dest(L"l") + L"\\x.txt"), "x");
    }
}

// --- abort and failed writes ---

// Aborts (or fails) while writing the file whose name ends in "b.txt".
class InterruptedExtract : public CExtract {
public:
    explicit InterruptedExtract(bool fail_writes) : fail_writes_(fail_writes) {}
    INT_PTR Open(const wchar_t* path, int flags, int permission) override {
        const INT_PTR handle = CExtract::Open(path, flags, permission);
        if (std::wstring(path).ends_with(L"b.txt")) target_ = handle;
        return handle;
    }
    int Write(INT_PTR handle, const void* buffer, unsigned count) override {
        if (handle != target_) return CExtract::Write(handle, buffer, count);
        if (fail_writes_) return -1;
        Abort();
        return CExtract::Write(handle, buffer, count);
    }

private:
    bool fail_writes_;
    INT_PTR target_ = -2;
};

TEST_F(CabinetExtract, AbortStopsAndDeletesTheFileBeingWritten) {
    const std::wstring cab = put_file(L"abc.cab", simple_cabinet({{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}}));
    InterruptedExtract extract(false);
    ASSERT_TRUE(extract.CreateFDIContext());
    EXPECT_FALSE(extract.ExtractFile(cab.c_str(), dest().c_str()));
    EXPECT_TRUE(extract.GetDecoderError().fError);
    EXPECT_EQ(tree_of(dest()), (std::set<std::wstring>{L"a.txt"}));

    // The next extraction starts afresh.
    EXPECT_TRUE(extract.ExtractFile(put_file(L"d.cab", simple_cabinet({{"d.txt", "d"}})).c_str(), dest().c_str()));
}

TEST_F(CabinetExtract, AFailedWriteIsAFailedExtraction) {
    const std::wstring cab = put_file(L"abc.cab", simple_cabinet({{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}}));
    InterruptedExtract extract(true);
    ASSERT_TRUE(extract.CreateFDIContext());
    EXPECT_FALSE(extract.ExtractFile(cab.c_str(), dest().c_str()));
    EXPECT_EQ(extract.GetExtractError().code, Cabinet::kErrCreateOutput);
}

}  // namespace
