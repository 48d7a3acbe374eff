#pragma once
// A running ime_holder.exe (tests/win/fixtures) that keeps a library
// loaded, as a program does that uses an IME; ended when the object goes.

#include <windows.h>

#include <string>

#include "support/unique_handle.h"

namespace wintest {

class ImeHolderProcess {
public:
    // Starts the helper on `library` and waits until it has loaded it (or
    // given up); `scratch_folder` takes its ready file.
    ImeHolderProcess(const std::wstring& library, const std::wstring& scratch_folder);
    ~ImeHolderProcess();
    ImeHolderProcess(const ImeHolderProcess&) = delete;
    ImeHolderProcess& operator=(const ImeHolderProcess&) = delete;

    DWORD id() const { return id_; }
    bool running() const;
    // Its exit code once it has ended (waiting up to five seconds).
    DWORD exit_code() const;

private:
    support::UniqueHandle process_;
    DWORD id_ = 0;
};

}  // namespace wintest
