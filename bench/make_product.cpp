// Writes the benchmarks' large product: about 2,000 files holding 64 MiB,
// a third of the bytes already compressed (pictures, archives), the rest
// text, code tables and repetitive records; some folders nine levels deep
// and names in Chinese characters. Beside the product it writes the
// description imepack builds the installer from. The same tree on every
// machine and every run.
//
// Usage: make_product OUT-FOLDER
//   OUT-FOLDER/product/        the product tree ("benchime.ime" at its top)
//   OUT-FOLDER/product.txt     its description (ime_name benchime)

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "generated_data.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFiles = 2000;
constexpr std::uint64_t kTotalBytes = 64ull << 20;

enum class Kind { Text, Table, Compressed, Records };

// The folders files go into, by kind. Deep ones keep their whole path
// (with the install folder in front) well below 259 units.
const char* const kTextFolders[] = {"doc", "help/使用说明", "help/常见问题/输入技巧", "licence"};
const char* const kTableFolders[] = {"dict", "dict/拼音词库", "dict/用户词库/备份",
                                     "data/codes/l1/l2/l3/l4/l5/l6/l7"};
const char* const kCompressedFolders[] = {"skins/经典蓝/images", "skins/水墨/images", "skins/默认皮肤",
                                          "pack/a/b/c/d/e/f/g/h"};
const char* const kRecordFolders[] = {"bitmaps", "data/索引", "data/tables/x/y/z/w/v/u"};

const char* extension(Kind kind) {
    switch (kind) {
        case Kind::Text: return "txt";
        case Kind::Table: return "tab";
        case Kind::Compressed: return "png";
        default: return "bin";
    }
}

std::string folder_of(Kind kind, std::size_t i) {
    switch (kind) {
        case Kind::Text: return kTextFolders[i % 4];
        case Kind::Table: return kTableFolders[i % 4];
        case Kind::Compressed: return kCompressedFolders[i % 4];
        default: return kRecordFolders[i % 3];
    }
}

// Every third file's name is Chinese.
std::string name_of(Kind kind, std::size_t i) {
    char name[64];
    if (i % 3 == 0) std::snprintf(name, sizeof name, "文件%04zu.%s", i, extension(kind));
    else std::snprintf(name, sizeof name, "file%04zu.%s", i, extension(kind));
    return name;
}

void write_file(const fs::path& path, const std::vector<std::uint8_t>& data) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out) {
        std::fprintf(stderr, "make_product: can't write %s\n", path.c_str());
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_product OUT-FOLDER\n");
        return 2;
    }
    const fs::path out = argv[1];
    const fs::path root = out / "product";
    fs::remove_all(root);
    bench::Random random(18);
    const auto words = bench::make_vocabulary(random);

    // Kinds by index: a third compressed, a third text and tables, a third
    // records; each third's sizes scaled to a third of the bytes, so a third
    // of the product is incompressible whatever the draw.
    std::vector<std::size_t> sizes[3];
    for (auto& s : sizes) s = bench::skewed_sizes(random, kFiles / 3 + 1, kTotalBytes / 3);
    std::uint64_t total = 0;
    std::uint64_t compressed = 0;
    std::vector<std::uint8_t> data;
    std::size_t files = 0;
    for (std::size_t i = 0; i + 1 < kFiles; ++i) {
        const std::size_t third = i % 3;
        const Kind kind = third == 0   ? Kind::Compressed
                          : third == 1 ? (i % 2 == 0 ? Kind::Text : Kind::Table)
                                       : Kind::Records;
        const std::size_t size = sizes[third][i / 3];
        data.clear();
        if (kind == Kind::Compressed) bench::incompressible(data, size, random);
        else if (kind == Kind::Records) bench::repetitive(data, size, random);
        else bench::text_like(data, size, random, words, kind == Kind::Table);
        write_file(root / folder_of(kind, i / 3) / name_of(kind, i), data);
        total += size;
        if (kind == Kind::Compressed) compressed += size;
        ++files;
    }
    // The IME file the description names, at the top.
    data.clear();
    bench::repetitive(data, 200000, random);
    write_file(root / "benchime.ime", data);
    total += data.size();
    ++files;

    std::ofstream description(out / "product.txt", std::ios::binary);
    description << "ime_name = benchime\n"
                   "layout_text = 中文(简体) - 基准输入法\n"
                   "display_name = 基准输入法\n"
                   "shortcut_flags = 0\n"
                   "publisher = 基准\n"
                   "display_version = 1.0.0.1\n";
    std::printf("product: %zu files, %llu bytes (%llu incompressible) in %s\n", files,
                static_cast<unsigned long long>(total), static_cast<unsigned long long>(compressed), root.c_str());
    return description ? 0 : 1;
}
