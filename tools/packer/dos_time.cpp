#include "dos_time.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace imepack {

DosTime dos_time_from_tm(const std::tm& local) {
    const int year = local.tm_year + 1900;
    if (year < 1980) return DosTime{static_cast<std::uint16_t>((1 << 5) | 1), 0};
    if (year > 2107) {
        return DosTime{static_cast<std::uint16_t>((127 << 9) | (12 << 5) | 31),
                       static_cast<std::uint16_t>((23 << 11) | (59 << 5) | 29)};
    }
    const int second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second
    return DosTime{
        static_cast<std::uint16_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday),
        static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (second / 2)),
    };
}

DosTime dos_time_from_unix(std::time_t seconds) {
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &seconds) != 0) return dos_time_from_tm(std::tm{});
#else
    if (localtime_r(&seconds, &local) == nullptr) return dos_time_from_tm(std::tm{});
#endif
    return dos_time_from_tm(local);
}

DosTime dos_time_from_file_time(std::filesystem::file_time_type time) {
    const auto system = std::chrono::file_clock::to_sys(time);
    const auto seconds = std::chrono::floor<std::chrono::seconds>(system).time_since_epoch().count();
    return dos_time_from_unix(static_cast<std::time_t>(seconds));
}

std::string format_dos_time(std::uint16_t date, std::uint16_t time) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980u + (date >> 9), (date >> 5) & 15u,
                  date & 31u, time >> 11, (time >> 5) & 63u, (time & 31u) * 2);
    return text;
}

}  // namespace imepack
