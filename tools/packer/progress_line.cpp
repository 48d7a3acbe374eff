#include "progress_line.h"

#include <algorithm>
#include <string>

#ifdef _WIN32
#include <io.h>
#define imepack_isatty _isatty
#define imepack_fileno _fileno
#else
#include <unistd.h>
#define imepack_isatty isatty
#define imepack_fileno fileno
#endif

namespace imepack {

namespace {

double mib(std::uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace

ProgressLine::ProgressLine(std::FILE* out, bool shown, const std::vector<std::uint64_t>& sizes,
                           Clock::duration first_after, Clock::duration interval)
    : out_(out), shown_(shown), start_(Clock::now()), next_(start_ + first_after), interval_(interval) {
    std::uint64_t end = 0;
    for (const std::uint64_t size : sizes) ends_.push_back(end += size);
}

bool ProgressLine::is_terminal(std::FILE* out) { return imepack_isatty(imepack_fileno(out)) != 0; }

void ProgressLine::update(std::uint64_t bytes_done) {
    if (!shown_) return;
    const Clock::time_point now = Clock::now();
    if (now < next_) return;
    next_ = now + interval_;
    // Files whose last byte is packed (empty files count with the file before them).
    const auto files = static_cast<std::size_t>(std::upper_bound(ends_.begin(), ends_.end(), bytes_done) - ends_.begin());
    const double seconds = std::chrono::duration<double>(now - start_).count();
    char line[160];
    std::snprintf(line, sizeof line, "%zu/%zu files, %.1f/%.1f MiB, %.1f MiB/s", files, ends_.size(), mib(bytes_done),
                  mib(ends_.empty() ? 0 : ends_.back()), seconds > 0 ? mib(bytes_done) / seconds : 0.0);
    std::string text = line;
    // Blanks over what is left of a longer line before.
    if (text.size() < width_) text.append(width_ - text.size(), ' ');
    width_ = std::string(line).size();
    std::fprintf(out_, "\r%s", text.c_str());
    std::fflush(out_);
}

void ProgressLine::finish() {
    if (width_ == 0) return;
    std::fprintf(out_, "\r%s\r", std::string(width_, ' ').c_str());
    std::fflush(out_);
    width_ = 0;
}

}  // namespace imepack
