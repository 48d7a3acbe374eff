// The benchmarks that run under Wine, one command each. Every command
// checks what the measured road produced (the extracted or installed tree
// equals the product byte for byte) and exits 1 when it differs; its last
// line is its ratio. Times are the best of RUNS runs, the two roads
// alternating so that both see the same load.
//
//   wine_bench extract PACKAGE PLAIN.cab PRODUCT WORK RUNS
//       extract-sealed-vs-plain: the system's decoder through our reader,
//       sealed (deciphered on the fly) against plain
//   wine_bench install PRODUCT PACKAGE UNINSTALLER WORK RUNS
//       install-vs-copy: the install run of the extracted product against a
//       bare loop of CopyFileW of its files into a fresh folder
//   wine_bench update SERVER-ADDRESS SERVED-FOLDER DEMO-PRODUCT WORK RUNS
//       update-vs-download: the update of the demo IME's four components
//       from a local HTTP server (its lists pointing at SERVER-ADDRESS)
//       against downloading the same four packages with a WinINet loop
//   wine_bench launch INSTALLER DISPLAY-NAME PRODUCT CABEXTRACT-SECONDS RUNS
//       launch-vs-cabextract: from starting the installer until its wizard
//       is visible and enabled, against cabextract's (native) time; also
//       until its install button is enabled with the licence accepted
//       (the extraction behind the wizard has ended: its workspace then
//       holds the product)
//
// Paths are Windows paths; WORK is a scratch folder of the benchmark's own.

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "app/folders.h"
#include "install/file_placement.h"
#include "install/install_run.h"
#include "install/run_install.h"
#include "package/cabinet_extract.h"
#include "package/package_key.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"
#include "support/version_number.h"
#include "support/version_resource.h"
#include "support/wide.h"
#include "ui/wizard_texts.h"
#include "update/config_dsc.h"
#include "update/ime_update.h"

#include "scratch.h"

namespace {

double seconds_now() {
    static LARGE_INTEGER frequency{};
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// User and kernel time of this process so far.
double cpu_seconds() {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

std::wstring with_backslash(std::wstring path) {
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path;
}

// Folders are cleared with the Windows tests' own helper.
using wintest::remove_tree;

// The product's folders (parents first) and files, relative to its root.
struct Listing {
    std::vector<std::wstring> folders;
    std::vector<std::wstring> files;
};

void list_tree(const std::wstring& root, const std::wstring& relative, Listing& listing) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((root + relative + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            listing.folders.push_back(relative + name);
            list_tree(root, relative + name + L"\\", listing);
        } else {
            listing.files.push_back(relative + name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

bool read_whole(const std::wstring& path, std::vector<char>& bytes) {
    const support::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return false;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    return bytes.empty() || (ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
                             got == bytes.size());
}

// The install moves the product's IME file into the system folder.
constexpr wchar_t kImeFile[] = L"benchime.ime";
constexpr wchar_t kSystemImeFile[] = L"benchime.zin.ime";

std::wstring system_folder() {
    wchar_t folder[MAX_PATH];
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\";
}

// Files of the product missing from `tree` or different there; reports
// the first few. With `installed`, the IME file is looked for where the
// install puts it.
std::size_t differences(const std::wstring& product, const Listing& listing, const std::wstring& tree,
                        bool installed) {
    std::size_t wrong = 0;
    std::vector<char> expected;
    std::vector<char> got;
    for (const std::wstring& file : listing.files) {
        const std::wstring where = installed && file == kImeFile ? system_folder() + kSystemImeFile : tree + file;
        const bool same = read_whole(product + file, expected) && read_whole(where, got) && expected == got;
        if (!same && ++wrong <= 5) std::fwprintf(stderr, L"differs or missing: %ls\n", where.c_str());
    }
    return wrong;
}

void copy_listing(const std::wstring& product, const Listing& listing, const std::wstring& target) {
    CreateDirectoryW(target.c_str(), nullptr);
    for (const std::wstring& folder : listing.folders) CreateDirectoryW((target + folder).c_str(), nullptr);
    for (const std::wstring& file : listing.files) CopyFileW((product + file).c_str(), (target + file).c_str(), FALSE);
}

bool check_tree(const std::wstring& product, const Listing& listing, const std::wstring& tree, const wchar_t* what,
                bool installed = false) {
    const std::size_t wrong = differences(product, listing, tree, installed);
    if (wrong == 0) return true;
    std::fwprintf(stderr, L"%ls: %zu of %zu files differ from the product\n", what, wrong, listing.files.size());
    return false;
}

// ---- extract

// The extraction with its file operations counted and timed: where an
// extraction's time goes besides inflating and deciphering.
class TimedExtract : public Cabinet::CExtract {
public:
    struct Count {
        long calls = 0;
        double seconds = 0;
        double bytes = 0;
    };
    Count reads, seeks, writes, opens, closes;

    int Read(INT_PTR handle, void* buffer, unsigned count) override {
        const double start = seconds_now();
        const int got = CExtract::Read(handle, buffer, count);
        add(reads, start, got > 0 ? got : 0);
        return got;
    }
    int Write(INT_PTR handle, const void* buffer, unsigned count) override {
        const double start = seconds_now();
        const int put = CExtract::Write(handle, buffer, count);
        add(writes, start, put > 0 ? put : 0);
        return put;
    }
    long Seek(INT_PTR handle, long offset, int origin) override {
        const double start = seconds_now();
        const long at = CExtract::Seek(handle, offset, origin);
        add(seeks, start, 0);
        return at;
    }
    INT_PTR Open(const wchar_t* path, int flags, int permission) override {
        const double start = seconds_now();
        const INT_PTR handle = CExtract::Open(path, flags, permission);
        add(opens, start, 0);
        return handle;
    }
    int Close(INT_PTR handle) override {
        const double start = seconds_now();
        const int result = CExtract::Close(handle);
        add(closes, start, 0);
        return result;
    }
    void print(const char* what, double total) const {
        std::printf("  %s: %.3f s: reads %ld (%.1f MB) %.3f s, seeks %ld %.3f s, writes %ld (%.1f MB) %.3f s, "
                    "opens %ld %.3f s, closes %ld %.3f s, the rest %.3f s\n",
                    what, total, reads.calls, reads.bytes / 1e6, reads.seconds, seeks.calls, seeks.seconds,
                    writes.calls, writes.bytes / 1e6, writes.seconds, opens.calls, opens.seconds, closes.calls,
                    closes.seconds,
                    total - reads.seconds - seeks.seconds - writes.seconds - opens.seconds - closes.seconds);
    }

private:
    static void add(Count& count, double start, int bytes) {
        count.seconds += seconds_now() - start;
        ++count.calls;
        count.bytes += bytes;
    }
};

// Wall time; `cpu` gets this process's processor time for the extraction.
double extract_once(const wchar_t* cabinet, const std::wstring& destination, bool sealed, double& cpu) {
    remove_tree(destination);
    TimedExtract extract;
    if (sealed) extract.SetKey(package::kPackageKey, package::kPackageKeyLength);
    const double cpu_start = cpu_seconds();
    const double start = seconds_now();
    const bool done = extract.CreateFDIContext() && extract.ExtractFile(cabinet, destination.c_str());
    const double took = seconds_now() - start;
    cpu = std::min(cpu, cpu_seconds() - cpu_start);
    extract.DestroyFDIContext();
    if (!done) {
        std::fwprintf(stderr, L"extraction of %ls failed: code %u, system error %u\n", cabinet,
                      extract.GetExtractError().code, extract.GetExtractError().system_error);
        std::exit(1);
    }
    extract.print(sealed ? "sealed" : "plain ", took);
    return took;
}

int run_extract(const wchar_t* package, const wchar_t* plain, const std::wstring& product, const std::wstring& work,
                int runs) {
    Listing listing;
    list_tree(product, L"", listing);
    CreateDirectoryW(work.c_str(), nullptr);
    const std::wstring sealed_out = work + L"sealed\\";
    const std::wstring plain_out = work + L"plain\\";
    double sealed = 1e30;
    double unsealed = 1e30;
    double sealed_cpu = 1e30;
    double unsealed_cpu = 1e30;
    for (int run = 0; run < runs; ++run) {
        sealed = std::min(sealed, extract_once(package, sealed_out, true, sealed_cpu));
        unsealed = std::min(unsealed, extract_once(plain, plain_out, false, unsealed_cpu));
    }
    const bool same = check_tree(product, listing, sealed_out, L"sealed") && check_tree(product, listing, plain_out, L"plain");
    remove_tree(work.substr(0, work.size() - 1));
    if (!same) return 1;
    std::printf("extract: sealed %.3f s (cpu %.3f s), plain %.3f s (cpu %.3f s), best of %d, %zu files\n", sealed,
                sealed_cpu, unsealed, unsealed_cpu, runs, listing.files.size());
    std::printf("extract-sealed-vs-plain: %.2fx\n", sealed / unsealed);
    return 0;
}

// ---- install

// What the start-up leaves for the install run: a workspace with the
// extracted tree, the bare uninstaller and the package.
struct Prepared {
    app::RunContext context{};
    package::InstallInfo info{};
};

void prepare_install(Prepared& p, const std::wstring& product, const Listing& listing, const wchar_t* package,
                     const wchar_t* uninstaller, const std::wstring& workspace) {
    remove_tree(workspace.substr(0, workspace.size() - 1));
    CreateDirectoryW(workspace.c_str(), nullptr);
    support::copy_slot(p.context.workspace_dir, workspace.c_str());
    support::format_slot(p.context.extract_dir, L"%lsZZ_INSTALL\\", workspace.c_str());
    support::format_slot(p.context.uninstaller_path, L"%lsunstall.exe", workspace.c_str());
    support::format_slot(p.context.package_path, L"%lspackage.bin", workspace.c_str());
    support::format_slot(p.context.module_path, L"%lssetup.exe", workspace.c_str());
    copy_listing(product, listing, p.context.extract_dir);
    CopyFileW(package, p.context.package_path, FALSE);
    CopyFileW(uninstaller, p.context.uninstaller_path, FALSE);
    support::copy_slot(support::wide_slot(p.info.ime_name), L"benchime");
    support::copy_slot(support::wide_slot(p.info.layout_text), L"中文(简体) - 基准输入法");
    support::copy_slot(support::wide_slot(p.info.display_name), L"基准输入法");
    support::copy_slot(support::wide_slot(p.info.publisher), L"基准");
    support::copy_slot(support::wide_slot(p.info.display_version), L"1.0.0.1");
}

int run_install_bench(const std::wstring& product, const wchar_t* package, const wchar_t* uninstaller,
                      const std::wstring& work, int runs) {
    Listing listing;
    list_tree(product, L"", listing);
    CreateDirectoryW(work.c_str(), nullptr);
    double installed = 1e30;
    double copied = 1e30;
    for (int run = 0; run < runs; ++run) {
        Prepared p;
        prepare_install(p, product, listing, package, uninstaller, work + L"ws\\");
        const std::wstring install_dir = work + L"installed\\";
        remove_tree(work + L"installed");
        install::InstallRun install_run = install::make_install_run(nullptr, &p.info, &p.context);
        const double start = seconds_now();
        const int done = install::run_install(install_run, install_dir.c_str(), L"bench", L"bench");
        installed = std::min(installed, seconds_now() - start);
        if (!done) {
            std::fprintf(stderr, "the install run failed\n");
            return 1;
        }
        if (!check_tree(product, listing, install_dir, L"installed", true)) return 1;

        const std::wstring copy_dir = work + L"copied\\";
        remove_tree(work + L"copied");
        const double copy_start = seconds_now();
        copy_listing(product, listing, copy_dir);
        copied = std::min(copied, seconds_now() - copy_start);
        if (!check_tree(product, listing, copy_dir, L"copied")) return 1;
    }
    // Where the run's time goes: its two copying steps on their own.
    Prepared p;
    prepare_install(p, product, listing, package, uninstaller, work + L"ws\\");
    remove_tree(work + L"steps");
    install::InstallRun steps = install::make_install_run(nullptr, &p.info, &p.context);
    support::format_slot(steps.install_dir, L"%lssteps\\", work.c_str());
    double at = seconds_now();
    install::place_files(steps);
    const double placing = seconds_now() - at;
    at = seconds_now();
    install::backup_package(steps);
    const double backing_up = seconds_now() - at;
    std::printf("install steps: placing the files %.3f s, keeping the package %.3f s\n", placing, backing_up);
    remove_tree(work.substr(0, work.size() - 1));
    std::printf("install: run %.3f s, CopyFileW loop %.3f s (best of %d), %zu files\n", installed, copied, runs,
                listing.files.size());
    std::printf("install-vs-copy: %.2fx\n", installed / copied);
    return 0;
}

// ---- update

constexpr wchar_t kUpdateIme[] = L"benchupd";
const support::VersionNumber kNewVersion = support::make_version(1, 1, 0, 21);

// The demo components as installed: (file in the demo product, place).
std::vector<std::pair<std::wstring, std::wstring>> installed_components(const std::wstring& install_dir) {
    return {{L"mb.dll", install_dir + L"mb.dll"},
            {L"skin.dll", install_dir + L"skin.dll"},
            {L"ZZPinyin.ime", system_folder() + kUpdateIme + L".zin.ime"},
            {L"config.exe", install_dir + L"config.exe"}};
}

void set_string(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * 2));
}

// An IME "installed" as the update engine finds it: vendor key, uninstall
// entry naming the product's own list, settings record.
bool register_update_ime(const std::wstring& server, const std::wstring& install_dir) {
    set_string(HKEY_CURRENT_USER, std::wstring(L"Software\\marlix\\") + kUpdateIme, L"ZMEInstallPath", install_dir);
    set_string(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kUpdateIme,
               L"URLUpdateInfo", server + L"/_supports/zzpinyin/UpdateList.txt");
    const std::vector<update::ConfigDscRecord> records = {
        {u"zz_ime_config_data_default", {u"zzpinyin_mb", u"ZZPinyin", u"colourful"}}};
    const auto bytes = update::write_config_dsc(records);
    wchar_t data[app::kPathUnits];
    if (!bytes || !app::common_data_dir(data, kUpdateIme)) return false;
    const std::wstring data_dir = data;
    CreateDirectoryW(data_dir.substr(0, data_dir.find_last_of(L'\\', data_dir.size() - 2)).c_str(), nullptr);
    CreateDirectoryW(data_dir.c_str(), nullptr);
    const support::UniqueHandle file(CreateFileW((data_dir + L"config.dsc").c_str(), GENERIC_WRITE, 0, nullptr,
                                                 CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), bytes->data(), static_cast<DWORD>(bytes->size()), &written, nullptr) &&
           written == bytes->size();
}

void ignore_notice(const update::UpdateNotice*, void*) {}

// One update run over freshly installed old components; the packages'
// addresses it used go to `addresses`.
double update_once(const std::wstring& demo, const std::wstring& install_dir, std::vector<std::wstring>& addresses) {
    for (const auto& [file, place] : installed_components(install_dir)) {
        SetFileAttributesW(place.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!CopyFileW((demo + file).c_str(), place.c_str(), FALSE)) {
            std::fwprintf(stderr, L"can't install %ls: %lu\n", place.c_str(), GetLastError());
            std::exit(1);
        }
    }
    const double start = seconds_now();
    update::ZZIMEUpdate engine;
    int updated = 0;
    int candidates = -1;
    if (engine.Attach({nullptr, ignore_notice, nullptr}) == 1 && engine.Initialize(kUpdateIme) != 0) {
        candidates = engine.CollectCandidates();
        for (const auto& candidate : engine.candidate_list()) updated += engine.UpdateItem(candidate.get());
    }
    const double took = seconds_now() - start;
    if (candidates != 4 || updated != 4) {
        std::fprintf(stderr, "the update found %d candidates and updated %d of them (4 expected)\n", candidates, updated);
        std::exit(1);
    }
    addresses.clear();
    for (const auto& candidate : engine.candidate_list()) addresses.push_back(support::as_wide(candidate->package_address));
    for (const auto& [file, place] : installed_components(install_dir)) {
        if (support::GetFileVersion(place.c_str()) != kNewVersion) {
            std::fwprintf(stderr, L"%ls is not the new version after the update\n", place.c_str());
            std::exit(1);
        }
    }
    return took;
}

// The plain download loop; checks each file against the served one.
double download_once(const std::vector<std::wstring>& addresses, const std::wstring& server,
                     const std::wstring& served, const std::wstring& folder) {
    CreateDirectoryW(folder.c_str(), nullptr);
    const double start = seconds_now();
    const HINTERNET session = InternetOpenW(L"bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    std::vector<std::wstring> files;
    for (const std::wstring& address : addresses) {
        const std::wstring file = folder + std::to_wstring(files.size()) + L".cab";
        files.push_back(file);
        const HINTERNET request = InternetOpenUrlW(session, address.c_str(), nullptr, 0,
                                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
        const support::UniqueHandle out(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        char buffer[16384];
        DWORD got = 0;
        DWORD written = 0;
        while (request != nullptr && InternetReadFile(request, buffer, sizeof buffer, &got) && got != 0)
            WriteFile(out.get(), buffer, got, &written, nullptr);
        if (request != nullptr) InternetCloseHandle(request);
    }
    InternetCloseHandle(session);
    const double took = seconds_now() - start;
    std::vector<char> expected;
    std::vector<char> got;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        std::wstring local = addresses[i].substr(server.size() + 1);
        std::replace(local.begin(), local.end(), L'/', L'\\');
        if (!read_whole(served + local, expected) || !read_whole(files[i], got) || expected != got || got.empty()) {
            std::fwprintf(stderr, L"the download of %ls differs from the served file\n", addresses[i].c_str());
            std::exit(1);
        }
    }
    return took;
}

int run_update_bench(const std::wstring& server, const std::wstring& served, const std::wstring& demo,
                     const std::wstring& work, int runs) {
    CreateDirectoryW(work.c_str(), nullptr);
    const std::wstring install_dir = work + L"installed\\";
    const std::wstring temp = work + L"temp\\";
    CreateDirectoryW(install_dir.c_str(), nullptr);
    CreateDirectoryW(temp.c_str(), nullptr);
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    SetEnvironmentVariableW(L"IMEBASE_UPDATE_SERVER", server.c_str());
    if (!register_update_ime(server, install_dir)) {
        std::fprintf(stderr, "can't set up the installed IME\n");
        return 1;
    }
    double updating = 1e30;
    double downloading = 1e30;
    std::vector<std::wstring> addresses;
    for (int run = 0; run < runs; ++run) {
        updating = std::min(updating, update_once(demo, install_dir, addresses));
        downloading = std::min(downloading, download_once(addresses, server, served, work + L"downloads\\"));
    }
    for (const auto& component : installed_components(install_dir)) DeleteFileW(component.second.c_str());
    remove_tree(work.substr(0, work.size() - 1));
    std::printf("update: four components %.3f s, WinINet loop %.3f s (best of %d)\n", updating, downloading, runs);
    std::printf("update-vs-download: %.2fx\n", updating / downloading);
    return 0;
}

// ---- launch

void end_process_of(HWND window) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    const support::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    if (!process) return;
    TerminateProcess(process.get(), 0);
    WaitForSingleObject(process.get(), 10000);
}

// The run's workspace in the temporary folder `temp`: "__ZZIMEInstall."
// and a random suffix, with a backslash; empty while there is none.
std::wstring find_workspace(const std::wstring& temp) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((temp + L"__ZZIMEInstall.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return {};
    std::wstring workspace;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) workspace = temp + found.cFileName + L"\\";
    } while (workspace.empty() && FindNextFileW(search, &found));
    FindClose(search);
    return workspace;
}

// The start-up's steps as seen from outside: when each file of the
// relaunch first appears in the run's workspace (the installer's copy, the
// scratch copy, the package cut out of it, the extraction folder), seconds
// after the start; -1 when never seen.
struct Phases {
    static constexpr int kCount = 4;
    static constexpr const wchar_t* kNames[kCount] = {L"___zinzin_install_base___.exe", L"zzinstallbaseexe.tmp",
                                                     L"zzinstallbaseexe.cab", L"ZZ_INSTALL"};
    std::wstring temp;
    std::wstring workspace;
    double seen[kCount] = {-1, -1, -1, -1};

    Phases() {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        temp = folder;
    }
    void poll(double at) {
        if (workspace.empty()) workspace = find_workspace(temp);
        if (workspace.empty()) return;
        for (int i = 0; i < kCount; ++i)
            if (seen[i] < 0 && GetFileAttributesW((workspace + kNames[i]).c_str()) != INVALID_FILE_ATTRIBUTES)
                seen[i] = at;
    }
};

// Removes every workspace left in `temp` (the bench's own prefix), waiting
// for a program that still holds one to let go.
void remove_workspaces(const std::wstring& temp) {
    for (int tries = 0; tries < 50; ++tries) {
        const std::wstring workspace = find_workspace(temp);
        if (workspace.empty()) return;
        remove_tree(workspace.substr(0, workspace.size() - 1));
        if (GetFileAttributesW(workspace.c_str()) != INVALID_FILE_ATTRIBUTES) Sleep(100);
    }
}

// Seconds from CreateProcess until the wizard is visible and enabled
// (`ready` gets the seconds until its install button is, with the licence
// accepted: every file is out then); the extracted tree is compared with
// the product, then the wizard's process is ended and its workspace
// removed.
double launch_once(const wchar_t* installer, const wchar_t* title, const std::wstring& product, const Listing& listing,
                   double& ready) {
    Phases phases;
    remove_workspaces(phases.temp);
    std::wstring command = L"\"" + std::wstring(installer) + L"\"";
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION started{};
    const double start = seconds_now();
    if (!CreateProcessW(installer, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        std::fwprintf(stderr, L"can't start %ls: %lu\n", installer, GetLastError());
        std::exit(1);
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    HWND wizard = nullptr;
    while (seconds_now() - start < 120) {
        phases.poll(seconds_now() - start);
        wizard = FindWindowW(nullptr, title);
        if (wizard != nullptr && IsWindowVisible(wizard) && IsWindowEnabled(wizard)) break;
        wizard = nullptr;
        Sleep(2);
    }
    const double took = seconds_now() - start;
    if (wizard == nullptr) {
        std::fwprintf(stderr, L"the wizard \"%ls\" did not appear\n", title);
        std::exit(1);
    }
    // The licence accepted as a person does; the install button follows
    // once the extraction behind the wizard has ended.
    SendMessageW(GetDlgItem(wizard, 1012), BM_CLICK, 0, 0);
    const HWND install = GetDlgItem(wizard, IDOK);
    while (seconds_now() - start < 120 && !IsWindowEnabled(install)) Sleep(2);
    ready = seconds_now() - start;
    std::printf("  copy in its workspace %.2f s, scratch copy %.2f s, package %.2f s, extraction folder %.2f s, "
                "wizard %.2f s, install button %.2f s\n",
                phases.seen[0], phases.seen[1], phases.seen[2], phases.seen[3], took, ready);
    if (phases.workspace.empty()) phases.workspace = find_workspace(phases.temp);
    const bool same = IsWindowEnabled(install) &&
                      check_tree(product, listing, phases.workspace + L"ZZ_INSTALL\\", L"unpacked");
    end_process_of(wizard);
    remove_workspaces(phases.temp);
    if (!same) std::exit(1);
    return took;
}

int run_launch(const wchar_t* installer, const wchar_t* display_name, const std::wstring& product, double cabextract,
               int runs) {
    wchar_t title[256];
    support::format_slot(title, ui::kWizardTitleFormat, display_name);
    Listing listing;
    list_tree(product, L"", listing);
    double best = 1e30;
    double best_ready = 1e30;
    for (int run = 0; run < runs; ++run) {
        double ready = 0;
        best = std::min(best, launch_once(installer, title, product, listing, ready));
        best_ready = std::min(best_ready, ready);
    }
    std::printf("launch: wizard usable after %.3f s, every file out (install button enabled) after %.3f s "
                "(best of %d), cabextract %.3f s\n", best, best_ready, runs, cabextract);
    std::printf("launch-to-install-button-vs-cabextract: %.2fx\n", best_ready / cabextract);
    std::printf("launch-vs-cabextract: %.2fx\n", best / cabextract);
    return 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: wine_bench extract PACKAGE PLAIN.cab PRODUCT WORK RUNS\n"
                 "       wine_bench install PRODUCT PACKAGE UNINSTALLER WORK RUNS\n"
                 "       wine_bench update SERVER-ADDRESS SERVED-FOLDER DEMO-PRODUCT WORK RUNS\n"
                 "       wine_bench launch INSTALLER DISPLAY-NAME PRODUCT CABEXTRACT-SECONDS RUNS\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return usage();
    const std::wstring command = argv[1];
    if (command == L"extract" && argc == 7)
        return run_extract(argv[2], argv[3], with_backslash(argv[4]), with_backslash(argv[5]), _wtoi(argv[6]));
    if (command == L"install" && argc == 7)
        return run_install_bench(with_backslash(argv[2]), argv[3], argv[4], with_backslash(argv[5]), _wtoi(argv[6]));
    if (command == L"update" && argc == 7)
        return run_update_bench(argv[2], with_backslash(argv[3]), with_backslash(argv[4]), with_backslash(argv[5]),
                                _wtoi(argv[6]));
    if (command == L"launch" && argc == 7)
        return run_launch(argv[2], argv[3], with_backslash(argv[4]), _wtof(argv[5]), _wtoi(argv[6]));
    return usage();
}
