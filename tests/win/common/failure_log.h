#pragma once
// A run report that keeps the failures it is told, for tests that check
// what a run said went wrong and with which Windows error.

#include <string>
#include <utility>
#include <vector>

#include "support/run_report.h"

namespace wintest {

class FailureLog final : public support::RunReport {
public:
    void row(const wchar_t*) override {}
    void progress(int) override {}
    void failure(const wchar_t* what, unsigned long error) override { failures.emplace_back(what, error); }
    void touched(support::Touch, const wchar_t*) override {}

    std::vector<std::pair<std::wstring, unsigned long>> failures;
};

}  // namespace wintest
