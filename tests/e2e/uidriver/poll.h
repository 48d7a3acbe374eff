#pragma once
// Waiting without fixed sleeps: an attempt is repeated every few
// milliseconds until it yields a value or the time-out has passed.

#include <windows.h>

#include <optional>

namespace uidriver {

inline constexpr DWORD kPollIntervalMs = 40;

// `attempt` returns std::optional<T>; the first engaged result is returned,
// std::nullopt after `timeout_ms` (one attempt is always made).
template <class Attempt>
auto poll_until(DWORD timeout_ms, Attempt&& attempt) -> decltype(attempt()) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        auto result = attempt();
        if (result) return result;
        if (GetTickCount64() >= deadline) return std::nullopt;
        Sleep(kPollIntervalMs);
    }
}

}  // namespace uidriver
