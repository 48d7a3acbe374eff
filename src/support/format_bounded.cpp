#include "support/format_bounded.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

namespace support {

std::uint32_t format_bounded(wchar_t* buffer, std::size_t units, const wchar_t* format, ...) {
    if (units == 0 || units > kMaxSlotUnits) return kStatusInvalidArgument;

    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    // vswprintf reports -1 instead of the needed length when the text does
    // not fit, so format into a scratch buffer that grows until it does.
    std::vector<wchar_t> scratch(units + 1);
    int needed = std::vswprintf(scratch.data(), scratch.size(), format, measure);
    va_end(measure);
    while (needed < 0 && scratch.size() < (std::size_t{1} << 22)) {
        scratch.resize(scratch.size() * 4);
        va_copy(measure, args);
        needed = std::vswprintf(scratch.data(), scratch.size(), format, measure);
        va_end(measure);
    }
    va_end(args);

    if (needed < 0) {  // a text too long to measure, or an encoding error
        buffer[0] = L'\0';
        return kStatusInsufficientBuffer;
    }
    const std::size_t length = static_cast<std::size_t>(needed);
    const std::size_t kept = length < units ? length : units - 1;
    std::wmemcpy(buffer, scratch.data(), kept);
    buffer[kept] = L'\0';
    return length < units ? kStatusOk : kStatusInsufficientBuffer;
}

bool copy_bounded(wchar_t* buffer, std::size_t units, const wchar_t* text) {
    if (units == 0) return false;
    buffer[0] = L'\0';
    return append_bounded(buffer, units, text);
}

bool append_bounded(wchar_t* buffer, std::size_t units, const wchar_t* text) {
    if (units == 0) return false;
    std::size_t at = 0;
    while (at < units - 1 && buffer[at] != L'\0') ++at;
    if (buffer[at] != L'\0') {  // not terminated inside the slot: cut here
        buffer[at] = L'\0';
        return false;
    }
    const wchar_t* p = text ? text : L"";
    while (*p != L'\0' && at < units - 1) buffer[at++] = *p++;
    buffer[at] = L'\0';
    return *p == L'\0';
}

}  // namespace support
