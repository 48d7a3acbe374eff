// Deciphering speed of the package cipher against OpenSSL's Blowfish on the
// same 64 MiB. Packages store each block half as a little-endian word while
// OpenSSL reads big-endian words, so OpenSSL is given the same data with
// every word byte-swapped; both must then yield the same clear words.
//
// Prints "decipher-vs-openssl: X.XXx" (our speed / OpenSSL's speed).

#include "package/blowfish.h"
#include "package/package_key.h"

#include <openssl/blowfish.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr std::size_t kDataSize = 64u << 20;
constexpr int kRuns = 5;

void swap_words(std::vector<std::uint8_t>& data) {
    for (std::size_t i = 0; i + 4 <= data.size(); i += 4) {
        std::swap(data[i], data[i + 3]);
        std::swap(data[i + 1], data[i + 2]);
    }
}

// Best time of several runs of fn(), in seconds; prepare() runs untimed first.
template <class Prepare, class Fn>
double best_of(Prepare prepare, Fn fn) {
    double best = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        prepare();
        const auto start = std::chrono::steady_clock::now();
        fn();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

}  // namespace

int main() {
    const auto* key = reinterpret_cast<const std::uint8_t*>(package::kPackageKey);
    package::BlowfishContext ours{};
    package::SetKey(ours, key, package::kPackageKeyLength);
    BF_KEY theirs;
    BF_set_key(&theirs, static_cast<int>(package::kPackageKeyLength), key);

    std::mt19937_64 rng(1);
    std::vector<std::uint8_t> clear(kDataSize);
    for (std::size_t i = 0; i < clear.size(); i += 8) {
        const std::uint64_t v = rng();
        std::memcpy(clear.data() + i, &v, 8);
    }
    std::vector<std::uint8_t> cipher = clear;
    package::encipher_blocks(ours, cipher.data(), cipher.size());
    std::vector<std::uint8_t> cipher_be = cipher;
    swap_words(cipher_be);

    std::vector<std::uint8_t> work(kDataSize);
    const double ours_s = best_of([&] { std::memcpy(work.data(), cipher.data(), kDataSize); },
                                  [&] { package::decipher_blocks(ours, work.data(), work.size()); });
    const bool ours_ok = work == clear;

    std::vector<std::uint8_t> out(kDataSize);
    const double theirs_s = best_of([&] { std::memset(out.data(), 0, kDataSize); },
                                    [&] {
                                        for (std::size_t i = 0; i < kDataSize; i += 8) {
                                            BF_ecb_encrypt(cipher_be.data() + i, out.data() + i, &theirs, BF_DECRYPT);
                                        }
                                    });
    swap_words(out);
    const bool theirs_ok = out == clear;

    // Enciphering what we deciphered must give the cipher text back.
    package::encipher_blocks(ours, work.data(), work.size());
    const bool round_trip_ok = work == cipher;

    const double mib = static_cast<double>(kDataSize) / (1 << 20);
    std::printf("ours:    %8.1f MiB/s (best of %d, %.3f s)\n", mib / ours_s, kRuns, ours_s);
    std::printf("openssl: %8.1f MiB/s (best of %d, %.3f s)\n", mib / theirs_s, kRuns, theirs_s);
    std::printf("same clear text as openssl: %s, round trip: %s\n", ours_ok && theirs_ok ? "yes" : "NO",
                round_trip_ok ? "yes" : "NO");
    std::printf("decipher-vs-openssl: %.2fx\n", theirs_s / ours_s);
    return ours_ok && theirs_ok && round_trip_ok ? 0 : 1;
}
