// The system's cabinet decoder ("Cabinet.dll", FDI) extracts the cabinets
// that the packer's writer makes: stored and MSZIP, subfolders, UTF-8
// names, read-only files, empty files, multi-block and several folders.
// The writer is neutral code, linked in here as the packer links it.
#include "cabinet_reader.h"
#include "cabinet_writer.h"
#include "folder_scan.h"

#include <windows.h>
#include <fcntl.h>
#include <fdi.h>
#include <io.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

// What the decoder reported for one file when it closed it.
struct Extracted {
    Bytes data;
    USHORT date = 0;
    USHORT time = 0;
    USHORT attributes = 0;
};

// The state of one FDICopy run; the notify callback reaches it through pvUser.
struct Extraction {
    fs::path destination;
    std::map<std::string, Extracted> files;  // by stored name
    std::map<INT_PTR, std::string> open_outputs;
};

std::wstring widen(const std::string& text, UINT code_page) {
    const int n = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

FNALLOC(fdi_alloc) { return std::malloc(cb); }
FNFREE(fdi_free) { std::free(pv); }
FNOPEN(fdi_open) { return _open(pszFile, oflag | _O_BINARY, pmode); }
FNREAD(fdi_read) { return static_cast<UINT>(_read(static_cast<int>(hf), pv, cb)); }
FNWRITE(fdi_write) { return static_cast<UINT>(_write(static_cast<int>(hf), pv, cb)); }
FNCLOSE(fdi_close) { return _close(static_cast<int>(hf)); }
FNSEEK(fdi_seek) { return _lseek(static_cast<int>(hf), dist, seektype); }

FNFDINOTIFY(fdi_notify) {
    auto* run = static_cast<Extraction*>(pfdin->pv);
    switch (fdint) {
    case fdintCOPY_FILE: {
        // Names with attribute 0x80 are UTF-8, others in the ANSI code page.
        const std::string name = pfdin->psz1;
        const UINT code_page = (pfdin->attribs & _A_NAME_IS_UTF) ? CP_UTF8 : CP_ACP;
        const fs::path out = run->destination / widen(name, code_page);
        fs::create_directories(out.parent_path());
        const int fd = _wopen(out.c_str(), _O_BINARY | _O_CREAT | _O_TRUNC | _O_WRONLY, _S_IREAD | _S_IWRITE);
        if (fd >= 0) run->open_outputs[fd] = name;
        return fd;
    }
    case fdintCLOSE_FILE_INFO: {
        const std::string name = run->open_outputs[pfdin->hf];
        run->open_outputs.erase(pfdin->hf);
        _close(static_cast<int>(pfdin->hf));
        Extracted& e = run->files[name];
        e.date = pfdin->date;
        e.time = pfdin->time;
        e.attributes = pfdin->attribs;
        const UINT code_page = (pfdin->attribs & _A_NAME_IS_UTF) ? CP_UTF8 : CP_ACP;
        std::ifstream in(run->destination / widen(name, code_page), std::ios::binary);
        e.data.assign(std::istreambuf_iterator<char>(in), {});
        return TRUE;
    }
    default:
        return 0;
    }
}

// Extracts the cabinet at `cabinet` into `destination` with the system's FDI.
std::map<std::string, Extracted> extract_with_fdi(const fs::path& cabinet, const fs::path& destination) {
    ERF error{};
    HFDI fdi = FDICreate(fdi_alloc, fdi_free, fdi_open, fdi_read, fdi_write, fdi_close, fdi_seek, cpuUNKNOWN, &error);
    EXPECT_NE(fdi, nullptr);
    if (fdi == nullptr) return {};
    Extraction run;
    run.destination = destination;
    // The cabinet's own path is plain ASCII (the temporary folder).
    std::string folder = cabinet.parent_path().string() + "\\";
    std::string name = cabinet.filename().string();
    EXPECT_TRUE(FDICopy(fdi, name.data(), folder.data(), 0, fdi_notify, nullptr, &run))
        << "FDI error " << error.erfOper << "/" << error.erfType;
    FDIDestroy(fdi);
    return run.files;
}

Bytes random_bytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(gen());
    return out;
}

Bytes text_bytes(std::size_t n) {
    const std::string line = "ni hao 你好 shurufa 输入法 table entry\r\n";
    Bytes out;
    for (std::size_t i = 0; out.size() < n; ++i) {
        const std::string numbered = std::to_string(i * 7919 % 100000) + " " + line;
        out.insert(out.end(), numbered.begin(), numbered.end());
    }
    out.resize(n);
    return out;
}

class PackerFdi : public testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root_ = fs::path(temp) / (L"imepack-fdi-" + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(root_);
        product_ = root_ / L"product";
        add(L"readme.txt", Bytes{'h', 'i'});
        add(L"empty.dat", {});
        add(L"sub\\deep\\table.mb", text_bytes(150000));
        add(L"sub\\noise.bin", random_bytes(100000, 1));
        add(L"中文\\皮肤 默认.bmp", text_bytes(40000));
        add(L"café.txt", Bytes{'c', 'r', 'e', 'm', 'e'});
        add(L"locked.ini", Bytes{'[', ']'});
        SetFileAttributesW((product_ / L"locked.ini").c_str(), FILE_ATTRIBUTE_READONLY);
    }

    void TearDown() override {
        SetFileAttributesW((product_ / L"locked.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
        for (auto it = fs::recursive_directory_iterator(root_); it != fs::recursive_directory_iterator(); ++it) {
            SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        fs::remove_all(root_);
    }

    void add(const std::wstring& name, const Bytes& data) {
        const fs::path path = product_ / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                    static_cast<std::streamsize>(data.size()));
        expected_[name] = data;
    }

    // Writes the product's cabinet, extracts it through FDI and compares
    // every file with its source and its cabinet entry.
    // Returns the number of folders in the cabinet.
    std::size_t check(const imepack::CabinetOptions& options, const wchar_t* tag) {
        const auto files = imepack::scan_folder(product_);
        EXPECT_EQ(files.size(), expected_.size());
        const Bytes cabinet = imepack::write_cabinet(files, options);
        const fs::path cab_path = root_ / (std::wstring(tag) + L".cab");
        std::ofstream(cab_path, std::ios::binary).write(reinterpret_cast<const char*>(cabinet.data()),
                                                        static_cast<std::streamsize>(cabinet.size()));
        const auto extracted = extract_with_fdi(cab_path, root_ / tag);
        EXPECT_EQ(extracted.size(), files.size());
        for (const auto& f : files) {
            SCOPED_TRACE(f.name);
            if (extracted.count(f.name) != 1) {
                ADD_FAILURE() << "not extracted";
                continue;
            }
            const Extracted& e = extracted.at(f.name);
            EXPECT_EQ(e.data, expected_.at(widen(f.name, CP_UTF8)));
            EXPECT_EQ(e.date, f.dos_date);
            EXPECT_EQ(e.time, f.dos_time);
            const bool utf8 = std::any_of(f.name.begin(), f.name.end(), [](char c) { return (c & 0x80) != 0; });
            EXPECT_EQ((e.attributes & _A_NAME_IS_UTF) != 0, utf8);
            EXPECT_EQ(e.attributes & _A_RDONLY, f.name == "locked.ini" ? _A_RDONLY : 0);
            EXPECT_TRUE(fs::exists(root_ / tag / widen(f.name, CP_UTF8)));
        }
        return imepack::read_cabinet_listing(cabinet).folders.size();
    }

    fs::path root_;
    fs::path product_;
    std::map<std::wstring, Bytes> expected_;
};

}  // namespace

TEST_F(PackerFdi, ExtractsAnMszipCabinet) {
    check(imepack::CabinetOptions{imepack::Compression::Mszip, 0, {}}, L"mszip");
}

TEST_F(PackerFdi, ExtractsAStoredCabinet) {
    check(imepack::CabinetOptions{imepack::Compression::Store, 0, {}}, L"stored");
}

TEST_F(PackerFdi, FollowsSeveralFoldersOfACabinet) {
    imepack::CabinetOptions options;
    options.limits.max_blocks_per_folder = 5;  // 160 KiB a folder: the product needs two
    EXPECT_EQ(check(options, L"folders"), 2u);
    options.compression = imepack::Compression::Store;
    EXPECT_EQ(check(options, L"folders-stored"), 2u);
}

TEST_F(PackerFdi, ExtractsBestLevelCabinetsWhoseBlocksReferToTheBlockBefore) {
    imepack::CabinetOptions options;
    options.best = true;
    check(options, L"best");
    options.limits.max_blocks_per_folder = 5;  // history starts afresh in the second folder
    EXPECT_EQ(check(options, L"best-folders"), 2u);
}
