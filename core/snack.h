#pragma once
// The fields of the host's snack files (".pac" in a snack folder) that the
// system reads and the two it changes. Every other byte is the host's.
//
//   offset 32       name length (1 byte)
//   offset 33       name, CP932, that many bytes
//   offset 881-882  count, low byte first; 65535 = unlimited ("∞")
//   offset 883-884  keep days; 65535 = keeps for ever
//   offset 889-890  opened year; 891 month; 893 day (0 = not opened)
//   offset 889-902  the opened-date block (14 bytes), all zero = unopened
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/result.h"

namespace lup {

inline constexpr int kUnlimitedCount = 65535;
inline constexpr int kKeepsForever = 65535;
// Files shorter than this lack some of the fields.
inline constexpr std::uint64_t kSnackLayoutLength = 903;

struct SnackInfo {
  std::string name;      // UTF-8; undecodable bytes become U+FFFD
  int count = 0;         // 0-65535
  int keepDays = 0;      // 0-65535
  int openedYear = 0;    // 0-65535 as stored (above 32767 cannot form a date)
  int openedMonth = 0;   // 0-255
  int openedDay = 0;     // 0-255
};

struct SnackRead {
  SnackInfo info;
  OpResult error;          // Read failure: the file could not be opened or read
  bool shortFile = false;  // shorter than 903 bytes: fields past the end read as
                           // zero, a name running past the end is cut
  bool nameDamaged = false;  // the name held bytes that are not CP932
  bool ok() const { return error.ok(); }
};

SnackRead ReadSnackInfo(const std::filesystem::path& path);

// Writes the count field (881-882) in place; `count` must lie in 0-65535
// (the caller limits it). A file shorter than 903 bytes is refused
// (FileTooShort) and left unchanged.
OpResult WriteSnackCount(const std::filesystem::path& path, int count);

// Sets the opened-date block (889-902) to zero in place; refuses a file
// shorter than 903 bytes like WriteSnackCount.
OpResult MarkSnackUnopened(const std::filesystem::path& path);

// A date of the calendar (proleptic Gregorian).
struct CivilDate {
  int year = 0;
  int month = 0;  // 1-12
  int day = 0;    // 1-31
  friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// Today's local date.
CivilDate LocalToday();

// Expired when opened (year, month and day all non-zero), keepDays is not
// 65535, and the date year/month/(day + keepDays), with a day or month past
// the end carrying into the next months and years, is before `today`. The
// snack is still good on opened date + keepDays itself. The sum day +
// keepDays is a signed 16-bit number: a sum above 32767 counts as not
// expired, as does an opened date that cannot form a date of the years
// 1-9999.
bool IsSnackExpired(const SnackInfo& info, const CivilDate& today);

// "∞" for 65535, otherwise the decimal digits.
std::string SnackCountText(int count);

}  // namespace lup
