#pragma once
// An environment variable set for one test; the old value (or its absence)
// comes back when the object goes.

#include <windows.h>

#include <string>

namespace wintest {

class ScopedVariable {
public:
    // `value` null removes the variable for the test.
    ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
        const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
        if (needed != 0) {
            old_.resize(needed);
            const DWORD n = GetEnvironmentVariableW(name, old_.data(), needed);
            had_ = n < needed;
            old_.resize(had_ ? n : 0);
        }
        SetEnvironmentVariableW(name, value);
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::wstring name_;
    std::wstring old_;
    bool had_ = false;
};

}  // namespace wintest
