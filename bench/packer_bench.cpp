// imepack's cabinet writer against gcab on the same product tree.
//
// Generates a deterministic tree of 2,000 files holding 64 MiB of mixed data
// (text-like, random and repetitive), then times `imepack cab TREE OUT.cab`
// and `gcab -c -z OUT.cab FILES...` (best of three runs each), and the same
// with `imepack cab --best`, checks that cabextract accepts our cabinets,
// and prints
//   packer-best-vs-gcab: speed X.XXx size Y.YYYx
// and on its last line
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

#include "generated_data.h"

#include <sys/resource.h>

#ifndef IMEPACK_PATH
#define IMEPACK_PATH "imepack"
#endif

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFiles = 2000;
constexpr std::uint64_t kTotalBytes = 64ull << 20;

using bench::Random;

// File sizes: skewed (many small files, some large), scaled to the total.
std::vector<std::size_t> file_sizes(Random& random) { return bench::skewed_sizes(random, kFiles, kTotalBytes); }

// Writes the tree; returns the file names relative to the root.
std::vector<std::string> make_tree(const fs::path& root) {
    fs::remove_all(root);
    Random random(2026);
    const auto words = bench::make_vocabulary(random);
    const auto sizes = file_sizes(random);
    std::vector<std::string> names;
    std::vector<std::uint8_t> data;
    for (std::size_t i = 0; i < kFiles; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "part%02zu/group%zu/file%04zu.%s", i % 25, i % 4, i,
                      i % 10 < 5 ? "txt" : i % 10 < 8 ? "bin" : "tab");
        data.clear();
        // By count half text, three in ten random, two in ten repetitive.
        if (i % 10 < 5) bench::text_like(data, sizes[i], random, words, i % 2 == 1);
        else if (i % 10 < 8) bench::incompressible(data, sizes[i], random);
        else bench::repetitive(data, sizes[i], random);
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
    const fs::path ours_best = work / "imepack-best.cab";
    const fs::path theirs = work / "gcab.cab";
    const Timing our_time = best_of_three("'" + imepack + "' cab '" + tree.string() + "' '" + ours.string() + "' >/dev/null");
    const Timing best_time =
        best_of_three("'" + imepack + "' cab '" + tree.string() + "' '" + ours_best.string() + "' --best >/dev/null");
    std::string gcab = "cd '" + tree.string() + "' && gcab -c -z '" + theirs.string() + "'";
    for (const auto& n : names) gcab += " " + n;
    const Timing gcab_time = best_of_three(gcab);

    for (const fs::path& cabinet : {ours, ours_best}) {
        if (std::system(("cabextract -q -t '" + cabinet.string() + "' >/dev/null").c_str()) != 0) {
            std::fprintf(stderr, "cabextract does not accept %s\n", cabinet.c_str());
            return 1;
        }
    }
    const auto best_size = fs::file_size(ours_best);
    const auto our_size = fs::file_size(ours);
    const auto gcab_size = fs::file_size(theirs);
    std::printf("imepack: %.3f s (cpu %.3f s on %u cores), %llu bytes\n", our_time.wall, our_time.cpu,
                std::thread::hardware_concurrency(), static_cast<unsigned long long>(our_size));
    std::printf("imepack --best: %.3f s (cpu %.3f s), %llu bytes\n", best_time.wall, best_time.cpu,
                static_cast<unsigned long long>(best_size));
    std::printf("gcab:    %.3f s (cpu %.3f s), %llu bytes\n", gcab_time.wall, gcab_time.cpu,
                static_cast<unsigned long long>(gcab_size));
    std::printf("cpu time: gcab / imepack = %.2fx (imepack spreads its work over all cores, gcab uses one)\n",
                gcab_time.cpu / our_time.cpu);
    fs::remove_all(work);
    std::printf("packer-best-vs-gcab: speed %.2fx size %.3fx\n", gcab_time.wall / best_time.wall,
                static_cast<double>(best_size) / static_cast<double>(gcab_size));
    std::printf("packer-vs-gcab: speed %.2fx size %.3fx\n", gcab_time.wall / our_time.wall,
                static_cast<double>(our_size) / static_cast<double>(gcab_size));
    return 0;
}
