// imepack's cabinet writer against gcab on the same product tree.
//
// Generates a deterministic tree of 2,000 files holding 64 MiB of mixed data
// (text-like, random and repetitive), then times `imepack cab TREE OUT.cab`
// and `gcab -c -z OUT.cab FILES...` (best of three runs each), checks that
// cabextract accepts our cabinet, and prints on its last line
//   packer-vs-gcab: speed X.XXx size Y.YYYx
// where speed = gcab's time / ours and size = our cabinet's size / gcab's.
//
// Usage: packer_bench [IMEPACK] [WORK-FOLDER]

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

#ifndef IMEPACK_PATH
#define IMEPACK_PATH "imepack"
#endif

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFiles = 2000;
constexpr std::uint64_t kTotalBytes = 64ull << 20;

// xorshift64*: the same tree on every machine.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint64_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }

private:
    std::uint64_t state_;
};

// Words of English-like letters, most of them short.
std::vector<std::string> make_vocabulary(Random& random) {
    static const char letters[] = "eeeeeeeeeeeetttttttttaaaaaaaaooooooooiiiiiiinnnnnnnsssssshhhhhhrrrrrrdddd"
                                  "lllluuucccmmmwwffggyyppbbvkjxqz";
    std::vector<std::string> words;
    for (int i = 0; i < 10000; ++i) {
        std::string w;
        const std::size_t length = 1 + random.below(4) + random.below(4) + random.below(3);
        for (std::size_t k = 0; k < length; ++k) w += letters[random.below(sizeof letters - 1)];
        words.push_back(w);
    }
    return words;
}

// A word's rank, spread as in natural language: rank r about as often as 1/r.
std::size_t zipf_rank(Random& random, std::size_t n) {
    const double u = static_cast<double>(random.below(1000000)) / 1e6;
    return std::min(n - 1, static_cast<std::size_t>(std::pow(static_cast<double>(n), u)) - 1);
}

// Text files of two kinds: prose (help files, licences) and code tables
// (a key sequence and a phrase of Chinese characters in UTF-8 a line).
void text_like(std::vector<std::uint8_t>& out, std::size_t size, Random& random, const std::vector<std::string>& words,
               bool table) {
    while (out.size() < size) {
        if (table) {
            const std::size_t keys = 1 + random.below(4);
            for (std::size_t k = 0; k < keys; ++k) out.push_back(static_cast<std::uint8_t>('a' + random.below(26)));
            out.push_back(' ');
            const std::size_t chars = 1 + random.below(4);
            for (std::size_t k = 0; k < chars; ++k) {
                const auto cp = static_cast<std::uint32_t>(0x4E00 + zipf_rank(random, 3500) * 5);
                out.push_back(static_cast<std::uint8_t>(0xE0 | (cp >> 12)));
                out.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
                out.push_back(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
            }
            out.push_back('\n');
            continue;
        }
        const std::string& w = words[zipf_rank(random, words.size())];
        out.insert(out.end(), w.begin(), w.end());
        const std::size_t r = random.below(16);
        out.push_back(r == 0 ? '\n' : r == 1 ? ',' : r == 2 ? '.' : ' ');
    }
    out.resize(size);
}

// Already compressed data (pictures, archives): nothing to gain.
void incompressible(std::vector<std::uint8_t>& out, std::size_t size, Random& random) {
    while (out.size() < size) {
        const std::uint64_t v = random.next();
        for (int i = 0; i < 8 && out.size() < size; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

// Tables and bitmaps: a record repeated with small changes.
void repetitive(std::vector<std::uint8_t>& out, std::size_t size, Random& random) {
    std::vector<std::uint8_t> record(64 + random.below(2000));
    for (auto& b : record) b = static_cast<std::uint8_t>(random.below(16) + 'A');
    while (out.size() < size) {
        record[random.below(record.size())] = static_cast<std::uint8_t>(random.below(256));
        out.insert(out.end(), record.begin(), record.end());
    }
    out.resize(size);
}

// File sizes: skewed (many small files, some large), scaled to the total.
std::vector<std::size_t> file_sizes(Random& random) {
    std::vector<double> weights(kFiles);
    double sum = 0;
    for (auto& w : weights) {
        const double u = static_cast<double>(random.below(1000000) + 1) / 1e6;
        w = u * u * u;
        sum += w;
    }
    std::vector<std::size_t> sizes(kFiles);
    std::uint64_t given = 0;
    for (std::size_t i = 0; i < kFiles; ++i) {
        sizes[i] = static_cast<std::size_t>(weights[i] / sum * static_cast<double>(kTotalBytes));
        given += sizes[i];
    }
    sizes[0] += static_cast<std::size_t>(kTotalBytes - given);
    return sizes;
}

// Writes the tree; returns the file names relative to the root.
std::vector<std::string> make_tree(const fs::path& root) {
    fs::remove_all(root);
    Random random(2026);
    const auto words = make_vocabulary(random);
    const auto sizes = file_sizes(random);
    std::vector<std::string> names;
    std::vector<std::uint8_t> data;
    for (std::size_t i = 0; i < kFiles; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "part%02zu/group%zu/file%04zu.%s", i % 25, i % 4, i,
                      i % 10 < 5 ? "txt" : i % 10 < 8 ? "bin" : "tab");
        data.clear();
        // By count half text, three in ten random, two in ten repetitive.
        if (i % 10 < 5) text_like(data, sizes[i], random, words, i % 2 == 1);
        else if (i % 10 < 8) incompressible(data, sizes[i], random);
        else repetitive(data, sizes[i], random);
        const fs::path path = root / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                    static_cast<std::streamsize>(data.size()));
        names.push_back(name);
    }
    // gcab stores files in the order given: give it the order imepack uses
    // (byte order of the names), so both compress the same stream of bytes.
    std::sort(names.begin(), names.end());
    return names;
}

struct Timing {
    double wall = 1e30;  // best of three
    double cpu = 1e30;   // user + system time of the children, best of three
};

double cpu_seconds_of_children() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

Timing best_of_three(const std::string& command) {
    Timing best;
    for (int run = 0; run < 3; ++run) {
        const double cpu_before = cpu_seconds_of_children();
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "failed: %s\n", command.substr(0, 200).c_str());
            std::exit(1);
        }
        best.wall = std::min(best.wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        best.cpu = std::min(best.cpu, cpu_seconds_of_children() - cpu_before);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string imepack = argc > 1 && argv[1][0] != 0 ? argv[1] : IMEPACK_PATH;
    const fs::path work = fs::absolute(argc > 2 ? argv[2] : "packer-bench");
    const fs::path tree = work / "tree";
    fs::create_directories(work);
    const auto names = make_tree(tree);
    std::printf("tree: %zu files, %llu bytes in %s\n", names.size(), static_cast<unsigned long long>(kTotalBytes),
                tree.c_str());

    const fs::path ours = work / "imepack.cab";
    const fs::path theirs = work / "gcab.cab";
    const Timing our_time = best_of_three("'" + imepack + "' cab '" + tree.string() + "' '" + ours.string() + "' >/dev/null");
    std::string gcab = "cd '" + tree.string() + "' && gcab -c -z '" + theirs.string() + "'";
    for (const auto& n : names) gcab += " " + n;
    const Timing gcab_time = best_of_three(gcab);

    if (std::system(("cabextract -q -t '" + ours.string() + "' >/dev/null").c_str()) != 0) {
        std::fprintf(stderr, "cabextract does not accept our cabinet\n");
        return 1;
    }
    const auto our_size = fs::file_size(ours);
    const auto gcab_size = fs::file_size(theirs);
    std::printf("imepack: %.3f s (cpu %.3f s on %u cores), %llu bytes\n", our_time.wall, our_time.cpu,
                std::thread::hardware_concurrency(), static_cast<unsigned long long>(our_size));
    std::printf("gcab:    %.3f s (cpu %.3f s), %llu bytes\n", gcab_time.wall, gcab_time.cpu,
                static_cast<unsigned long long>(gcab_size));
    std::printf("cpu time: gcab / imepack = %.2fx (imepack spreads its work over all cores, gcab uses one)\n",
                gcab_time.cpu / our_time.cpu);
    fs::remove_all(work);
    std::printf("packer-vs-gcab: speed %.2fx size %.3fx\n", gcab_time.wall / our_time.wall,
                static_cast<double>(our_size) / static_cast<double>(gcab_size));
    return 0;
}
