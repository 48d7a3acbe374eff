#pragma once
// Cabinet time stamps: DOS date and time in the packing machine's local
// time, the way cabinets store them (the extractor converts back from its
// own local time). Seconds are kept to even values; times before 1980 or
// after 2107, which DOS dates can't express, are clamped to those years.

#include <cstdint>
#include <ctime>
#include <filesystem>

namespace imepack {

struct DosTime {
    std::uint16_t date = 0;
    std::uint16_t time = 0;
};

// Broken-down local time to DOS form (clamped as above).
DosTime dos_time_from_tm(const std::tm& local);

// Seconds since the epoch, in the local time zone.
DosTime dos_time_from_unix(std::time_t seconds);

DosTime dos_time_from_file_time(std::filesystem::file_time_type time);

// "YYYY-MM-DD hh:mm:ss" for listings.
std::string format_dos_time(std::uint16_t date, std::uint16_t time);

}  // namespace imepack
