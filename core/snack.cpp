#include "core/snack.h"

#include <ctime>

#include "base/local_time.h"
#include "core/fileops.h"
#include "core/fsquery.h"
#include "platform/osfile.h"
#include "base/codepage.h"

namespace lup {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kNameLengthAt = 32;
constexpr std::size_t kNameAt = 33;
constexpr std::uint64_t kCountAt = 881;
constexpr std::size_t kKeepDaysAt = 883;
constexpr std::uint64_t kOpenedAt = 889;
constexpr std::size_t kOpenedLength = 14;

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Decodes a snack name; bytes that are not CP932 become U+FFFD each.
std::string DecodeName(const std::string& bytes, bool* damaged) {
  *damaged = false;
  if (bytes.empty()) return "";
  if (auto whole = Cp932ToUtf8(bytes)) return *whole;
  *damaged = true;
  std::string out;
  std::size_t i = 0;
  while (i < bytes.size()) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    std::size_t width = IsLeadByte(b) && i + 1 < bytes.size() ? 2 : 1;
    if (auto part = Cp932ToUtf8(bytes.substr(i, width))) {
      out += *part;
      i += width;
    } else {
      out += kReplacement;
      ++i;
    }
  }
  return out;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

}  // namespace

SnackRead ReadSnackInfo(const fs::path& path) {
  SnackRead out;
  std::string bytes;
  {
    os::File file;
    std::error_code e = os::OpenRead(path, &file);
    char buffer[kSnackLayoutLength];
    while (!e && bytes.size() < kSnackLayoutLength) {
      std::size_t got = 0;
      e = file.Read(buffer, kSnackLayoutLength - bytes.size(), &got);
      if (got == 0) break;
      bytes.append(buffer, got);
    }
    if (e) {
      if (e == std::errc::is_a_directory) e = MakeError(CoreError::IsAFolder);
      out.error = OpResult::Fail(Action::Read, e, path);
      return out;
    }
  }
  out.shortFile = bytes.size() < kSnackLayoutLength;
  // Fields past the end read as zero.
  auto byte = [&](std::size_t i) -> int {
    return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0;
  };
  std::size_t nameLength = static_cast<std::size_t>(byte(kNameLengthAt));
  std::string name;
  if (kNameAt < bytes.size()) name = bytes.substr(kNameAt, nameLength);  // cut at the end
  out.info.name = DecodeName(name, &out.nameDamaged);
  out.info.count = byte(kCountAt) + 256 * byte(kCountAt + 1);
  out.info.keepDays = byte(kKeepDaysAt) + 256 * byte(kKeepDaysAt + 1);
  out.info.openedYear = byte(kOpenedAt) + 256 * byte(kOpenedAt + 1);
  out.info.openedMonth = byte(kOpenedAt + 2);
  out.info.openedDay = byte(kOpenedAt + 4);
  return out;
}

namespace {

OpResult EditSnack(const fs::path& path, std::uint64_t offset, std::string_view bytes) {
  long long length = FileLength(path);
  if (length >= 0 && static_cast<std::uint64_t>(length) < kSnackLayoutLength)
    return OpResult::Fail(Action::Edit, MakeError(CoreError::FileTooShort), path);
  return Fs().EditBytes(path, offset, bytes);
}

}  // namespace

OpResult WriteSnackCount(const fs::path& path, int count) {
  if (count < 0 || count > 65535)
    return OpResult::Fail(Action::Edit, std::make_error_code(std::errc::invalid_argument), path);
  const char bytes[2] = {static_cast<char>(count & 0xFF), static_cast<char>(count >> 8)};
  return EditSnack(path, kCountAt, std::string_view(bytes, 2));
}

OpResult MarkSnackUnopened(const fs::path& path) {
  return EditSnack(path, kOpenedAt, std::string(kOpenedLength, '\0'));
}

CivilDate LocalToday() {
  const std::tm local = LocalTimeNow();
  return CivilDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

bool IsSnackExpired(const SnackInfo& info, const CivilDate& today) {
  if (info.openedYear == 0 || info.openedMonth == 0 || info.openedDay == 0) return false;
  if (info.keepDays == kKeepsForever) return false;
  // The day sum is a signed 16-bit number: beyond it no date can be formed.
  const int daySum = info.openedDay + info.keepDays;
  if (daySum > 32767) return false;
  // A month past 12 carries into the following years.
  const long long year = info.openedYear + (info.openedMonth - 1) / 12;
  const unsigned month = static_cast<unsigned>((info.openedMonth - 1) % 12 + 1);
  if (info.openedYear > 32767 || year < 1 || year > 9999) return false;
  // A day past the end of the month carries into the following months.
  const long long lastGoodDay = DaysFromCivil(year, month, 1) + daySum - 1;
  if (lastGoodDay > DaysFromCivil(9999, 12, 31)) return false;
  const long long todayDays = DaysFromCivil(today.year, static_cast<unsigned>(today.month),
                                            static_cast<unsigned>(today.day));
  return lastGoodDay < todayDays;
}

std::string SnackCountText(int count) {
  if (count == kUnlimitedCount) return "∞";
  return std::to_string(count);
}

}  // namespace lup
