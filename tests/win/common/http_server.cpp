#include "http_server.h"

#include <windows.h>
#include <wininet.h>

#include <sstream>

namespace wintest {
namespace {

// Python runs as a Linux process, which Wine can start but not wait for:
// the test learns the port from a file and ends the server by request.
constexpr DWORD kStartTimeoutMs = 15000;

std::wstring widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::wstring quoted(const std::string& text) {
    return L"\"" + widen(text) + L"\"";
}

// Asks for one address and throws the answer away.
void fetch(const std::wstring& address) {
    HINTERNET internet = InternetOpenW(L"wintest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (internet == nullptr) return;
    HINTERNET request = InternetOpenUrlW(internet, address.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0);
    if (request != nullptr) {
        char buffer[256];
        DWORD got = 0;
        while (InternetReadFile(request, buffer, sizeof buffer, &got) && got > 0) {
        }
        InternetCloseHandle(request);
    }
    InternetCloseHandle(internet);
}

}  // namespace

std::string unix_path(const std::wstring& windows_path) {
    using Convert = char*(CDECL*)(const wchar_t*);
    const auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) return {};
    char* path = convert(windows_path.c_str());
    if (path == nullptr) return {};
    std::string result(path);
    HeapFree(GetProcessHeap(), 0, path);
    return result;
}

TestHttpServer::TestHttpServer(const std::wstring& root_folder, unsigned lifetime_seconds) {
    const std::wstring port_file = control_.file(L"port.txt");
    std::wstring command = quoted(IMEBASE_TEST_PYTHON3) + L" " + quoted(IMEBASE_TEST_HTTP_SERVER) + L" --root " +
                           quoted(unix_path(root_folder)) + L" --port-file " + quoted(unix_path(port_file)) +
                           L" --log-file " + quoted(unix_path(control_.file(L"requests.log"))) + L" --lifetime " +
                           std::to_wstring(lifetime_seconds);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (DWORD waited = 0; waited < kStartTimeoutMs; waited += 50) {
        const std::vector<std::uint8_t> text = read_file(port_file);
        if (!text.empty()) {
            port_ = static_cast<unsigned>(std::stoul(std::string(text.begin(), text.end())));
            return;
        }
        Sleep(50);
    }
}

TestHttpServer::~TestHttpServer() {
    if (running()) fetch(url(L"__quit__"));
}

std::wstring TestHttpServer::url(const std::wstring& path) const {
    return L"http://127.0.0.1:" + std::to_wstring(port_) + L"/" + path;
}

std::vector<std::string> TestHttpServer::requests() const {
    const std::vector<std::uint8_t> log = read_file(control_.file(L"requests.log"));
    std::istringstream lines(std::string(log.begin(), log.end()));
    std::vector<std::string> result;
    for (std::string line; std::getline(lines, line);) result.push_back(line);
    return result;
}

}  // namespace wintest
