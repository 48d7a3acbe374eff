#include <windows.h>

#include <cwchar>

#include "app/background_unpack.h"
#include "app/folders.h"
#include "app/workspace.h"
#include "package/cabinet_extract.h"
#include "package/package_key.h"
#include "support/format_bounded.h"

namespace app {
namespace {

constexpr wchar_t kInstallInfoName[] = L"InstallInfo.dif";

std::atomic<BackgroundUnpack*> g_background{nullptr};

// Extracts run.package_path into the workspace's extraction folder with
// `extract` (made on the calling thread).
int unpack_with(RunContext& run, Cabinet::CExtract& extract) {
    // A cut extraction folder could be some other folder of the workspace's
    // parent, which the clearing below would remove.
    if (run.workspace_dir[0] == L'\0' ||
        support::format_slot(run.extract_dir, kExtractFolderFormat, run.workspace_dir) != support::kStatusOk) {
        run.extract_dir[0] = L'\0';
        return 0;
    }
    // Clear an earlier extraction; what can't be removed would mix with
    // this package's files.
    remove_directory_tree(run.extract_dir);
    if (GetFileAttributesW(run.extract_dir) != INVALID_FILE_ATTRIBUTES) return 0;

    extract.SetKey(package::kPackageKey, package::kPackageKeyLength);
    if (!extract.CreateFDIContext()) return 0;
    const BOOL extracted = extract.ExtractFile(run.package_path, run.extract_dir);
    extract.DestroyFDIContext();
    return extracted ? 1 : 0;
}

std::uint64_t file_size(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int unpack_package(RunContext& run) {
    // The extraction object holds the package reader's 64 KiB work buffer;
    // when memory can't be had it raises the fatal out-of-memory error.
    Cabinet::CExtract extract;
    return unpack_with(run, extract);
}

// The extraction as the wizard watches it: the package's bytes read, the
// record's arrival, and a stop asked for from the dialogs' thread.
class BackgroundUnpack::Extraction : public Cabinet::CExtract {
public:
    explicit Extraction(BackgroundUnpack& owner) : owner_(owner) {}

    int Read(INT_PTR handle, void* buffer, unsigned count) override {
        if (owner_.abort_) Abort();
        const int got = CExtract::Read(handle, buffer, count);
        if (got > 0) owner_.bytes_read_ += static_cast<std::uint64_t>(got);
        return got;
    }

    void FileExtracted(const wchar_t* name) override {
        if (owner_.abort_) Abort();
        if (_wcsicmp(name, kInstallInfoName) == 0) SetEvent(owner_.info_out_.get());
    }

private:
    BackgroundUnpack& owner_;
};

BackgroundUnpack::BackgroundUnpack(RunContext& run)
    : run_(run),
      info_out_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      package_size_(file_size(run.package_path)),
      previous_(g_background.exchange(this)) {}

BackgroundUnpack::~BackgroundUnpack() {
    abort();
    wait();
    g_background = previous_;
}

bool BackgroundUnpack::start() {
    if (!info_out_) {
        state_ = State::failed;
        return false;
    }
    DWORD id = 0;
    thread_.reset(CreateThread(nullptr, 0, thread_main, this, 0, &id));
    if (!thread_) {
        state_ = State::failed;
        SetEvent(info_out_.get());
        return false;
    }
    return true;
}

DWORD WINAPI BackgroundUnpack::thread_main(void* self) {
    static_cast<BackgroundUnpack*>(self)->run();
    return 0;
}

void BackgroundUnpack::run() {
    int extracted = 0;
    {
        // Made on this thread: the extraction works on the thread that made it.
        Extraction extract(*this);
        extracted = unpack_with(run_, extract);
    }
    state_ = extracted != 0 ? State::done : abort_ ? State::stopped : State::failed;
    // Nothing more comes: whoever waits for the record stops waiting.
    SetEvent(info_out_.get());
}

bool BackgroundUnpack::wait_for_install_info() {
    if (!thread_) return false;
    WaitForSingleObject(info_out_.get(), INFINITE);
    wchar_t path[kPathUnits];
    // Out whole, whether or not the rest followed; a failed extraction
    // ends the run anyway, and the caller asks the state.
    const State now = state();
    return now != State::failed && now != State::stopped && run_.extract_dir[0] != L'\0' &&
           support::format_slot(path, L"%ls%ls", run_.extract_dir, kInstallInfoName) == support::kStatusOk &&
           GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

bool BackgroundUnpack::wait() {
    if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
    return state() == State::done;
}

BackgroundUnpack* background_unpack() noexcept { return g_background.load(); }

bool unpack_ready() noexcept {
    const BackgroundUnpack* unpack = background_unpack();
    return unpack == nullptr || unpack->state() == BackgroundUnpack::State::done;
}

}  // namespace app
