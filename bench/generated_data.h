#pragma once
// Deterministic file contents for the benchmarks' generated trees: text
// (prose and code tables), already compressed data and repetitive records.
// The same seed gives the same bytes on every machine.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// xorshift64*.
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
inline std::vector<std::string> make_vocabulary(Random& random) {
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
inline std::size_t zipf_rank(Random& random, std::size_t n) {
    const double u = static_cast<double>(random.below(1000000)) / 1e6;
    return std::min(n - 1, static_cast<std::size_t>(std::pow(static_cast<double>(n), u)) - 1);
}

// Text files of two kinds: prose (help files, licences) and code tables
// (a key sequence and a phrase of Chinese characters in UTF-8 a line).
inline void text_like(std::vector<std::uint8_t>& out, std::size_t size, Random& random,
                      const std::vector<std::string>& words, bool table) {
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
inline void incompressible(std::vector<std::uint8_t>& out, std::size_t size, Random& random) {
    while (out.size() < size) {
        const std::uint64_t v = random.next();
        for (int i = 0; i < 8 && out.size() < size; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

// Tables and bitmaps: a record repeated with small changes.
inline void repetitive(std::vector<std::uint8_t>& out, std::size_t size, Random& random) {
    std::vector<std::uint8_t> record(64 + random.below(2000));
    for (auto& b : record) b = static_cast<std::uint8_t>(random.below(16) + 'A');
    while (out.size() < size) {
        record[random.below(record.size())] = static_cast<std::uint8_t>(random.below(256));
        out.insert(out.end(), record.begin(), record.end());
    }
    out.resize(size);
}

// `count` file sizes, skewed (many small files, some large), adding up to `total`.
inline std::vector<std::size_t> skewed_sizes(Random& random, std::size_t count, std::uint64_t total) {
    std::vector<double> weights(count);
    double sum = 0;
    for (auto& w : weights) {
        const double u = static_cast<double>(random.below(1000000) + 1) / 1e6;
        w = u * u * u;
        sum += w;
    }
    std::vector<std::size_t> sizes(count);
    std::uint64_t given = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sizes[i] = static_cast<std::size_t>(weights[i] / sum * static_cast<double>(total));
        given += sizes[i];
    }
    if (count != 0) sizes[0] += static_cast<std::size_t>(total - given);
    return sizes;
}

}  // namespace bench
