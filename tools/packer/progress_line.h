#pragma once
// The packer's progress line for long runs on a terminal: files and bytes
// packed so far and the rate, redrawn in place on one line and cleared at
// the end. Nothing is written when the output isn't a terminal (a log, a
// pipe, a build script), nor for runs that end before the first redraw.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace imepack {

class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;

    // `sizes`: the files' sizes in the order they are packed. `shown`:
    // whether to draw at all (is_terminal). The first line is drawn once
    // `first_after` has passed, later ones at most every `interval`.
    ProgressLine(std::FILE* out, bool shown, const std::vector<std::uint64_t>& sizes,
                 Clock::duration first_after = std::chrono::seconds(1),
                 Clock::duration interval = std::chrono::milliseconds(250));
    ~ProgressLine() { finish(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // The bytes of the files packed so far.
    void update(std::uint64_t bytes_done);
    // Clears the line if one was drawn.
    void finish();

    static bool is_terminal(std::FILE* out);

private:
    std::FILE* out_;
    bool shown_;
    std::vector<std::uint64_t> ends_;  // each file's end in the packed stream
    Clock::time_point start_;
    Clock::time_point next_;
    Clock::duration interval_;
    std::size_t width_ = 0;  // of the line drawn last; 0: none drawn
};

}  // namespace imepack
