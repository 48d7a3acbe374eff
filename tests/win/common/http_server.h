#pragma once
// A real HTTP server on 127.0.0.1 for tests that download: Python's
// http.server running tests/win/common/test_http_server.py, started by the
// test (Wine runs the Linux program it is asked to start) and ended when
// the object goes. It serves the files of one folder, 404 for anything
// else, and connections cut or reset mid-body on request; see the script
// for its paths.

#include <string>
#include <vector>

#include "scratch.h"

namespace wintest {

// The Linux path of a Windows path (Wine's own conversion); empty when
// there is none.
std::string unix_path(const std::wstring& windows_path);

class TestHttpServer {
public:
    // Serves the files in `root_folder` (a Windows path). Check running().
    // The server ends by itself after `lifetime_seconds` should the test
    // never stop it (a crash), and it never holds the test's output open.
    explicit TestHttpServer(const std::wstring& root_folder, unsigned lifetime_seconds = 120);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    bool running() const { return port_ != 0; }
    unsigned port() const { return port_; }
    // "http://127.0.0.1:PORT/" followed by `path` (no leading slash).
    std::wstring url(const std::wstring& path) const;
    // One line per request received so far: method, path, user agent.
    std::vector<std::string> requests() const;

private:
    ScratchFolder control_{L"httpserver"};
    unsigned port_ = 0;
};

}  // namespace wintest
