#pragma once
// The install mode's extraction of the package on a thread of its own, so
// that the wizard shows as soon as the install information is out: the
// person reads the first page and chooses the folder while the rest of the
// files come out. The wizard shows the extraction's progress and keeps its
// install button disabled until every file is out; the install itself
// never starts on a part of the product.
//
//     BackgroundUnpack unpack(run);   // run.package_path and the workspace set
//     if (unpack.start() && unpack.wait_for_install_info()) ... show the wizard ...
//     // the destructor stops an extraction still running and waits for it

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "app/records.h"
#include "support/unique_handle.h"

namespace app {

class BackgroundUnpack {
public:
    // stopped: ended early by abort().
    enum class State { running, done, failed, stopped };

    // Registers itself as the run's extraction (background_unpack()) until
    // it is destroyed. Nothing runs before start().
    explicit BackgroundUnpack(RunContext& run);
    // Stops an extraction still running (the file being written is
    // deleted) and waits for its thread: nothing writes into the workspace
    // once this has returned.
    ~BackgroundUnpack();
    BackgroundUnpack(const BackgroundUnpack&) = delete;
    BackgroundUnpack& operator=(const BackgroundUnpack&) = delete;

    // Starts the thread, which does what unpack_package does. False when
    // it can't be started (then nothing runs and the state is failed).
    bool start();
    // Waits until "InstallInfo.dif" is out whole or the extraction has
    // ended; true when the file is out.
    bool wait_for_install_info();
    // Waits for the extraction's end; true when every file is out.
    bool wait();
    // Has the extraction stop at its next step; the state becomes stopped
    // unless it has ended already.
    void abort() noexcept { abort_ = true; }

    State state() const noexcept { return state_.load(); }
    // How far the extraction has read the package: bytes read of the
    // package file's size (the read-ahead makes the last step jump).
    std::uint64_t bytes_read() const noexcept { return bytes_read_.load(); }
    std::uint64_t package_size() const noexcept { return package_size_; }

private:
    class Extraction;
    friend class Extraction;
    static DWORD WINAPI thread_main(void* self);
    void run();

    RunContext& run_;
    support::UniqueHandle thread_;
    support::UniqueHandle info_out_;  // manual-reset: the record is out, or the end
    std::atomic<State> state_{State::running};
    std::atomic<bool> abort_{false};
    std::atomic<std::uint64_t> bytes_read_{0};
    std::uint64_t package_size_ = 0;
    BackgroundUnpack* previous_;
};

// The run's extraction while the install mode has one, else null (every
// other mode, and silent runs that extract before anything else).
BackgroundUnpack* background_unpack() noexcept;

// True when no extraction is running for the wizard: there is none, or
// it has ended with every file out.
bool unpack_ready() noexcept;

}  // namespace app
