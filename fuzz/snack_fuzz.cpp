// The snack file reader and its two in-place writers on files of any bytes
// and length. The first 32 bytes of a snack file are never read, so the
// input's first bytes also choose the count to write and the day to judge
// expiry by.
#include <string>

#include "core/snack.h"
#include "tests/support/temp_folder.h"
#include "base/unicode.h"
#include "fuzz/fuzz_check.h"
#include "base/codepage.h"

namespace lup {
namespace {

constexpr std::size_t kCountAt = 881;
constexpr std::size_t kOpenedAt = 889;
constexpr std::size_t kOpenedEnd = 903;

int At(std::string_view bytes, std::size_t i) {
  return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0;
}

void CheckInfo(const SnackRead& read, std::size_t length) {
  FUZZ_CHECK(read.ok());
  FUZZ_CHECK(read.shortFile == (length < kSnackLayoutLength));
  const SnackInfo& info = read.info;
  FUZZ_CHECK(info.count >= 0 && info.count <= 65535);
  FUZZ_CHECK(info.keepDays >= 0 && info.keepDays <= 65535);
  FUZZ_CHECK(info.openedYear >= 0 && info.openedYear <= 65535);
  FUZZ_CHECK(info.openedMonth >= 0 && info.openedMonth <= 255);
  FUZZ_CHECK(info.openedDay >= 0 && info.openedDay <= 255);
  FUZZ_CHECK(IsValidUtf8(info.name));
  if (read.nameDamaged) {
    FUZZ_CHECK(info.name.find("\xEF\xBF\xBD") != std::string::npos);
  } else if (!info.name.empty()) {
    FUZZ_CHECK(Utf8ToCp932(info.name).has_value());
  }
  const std::string text = SnackCountText(info.count);
  if (info.count == kUnlimitedCount) FUZZ_CHECK(text == "∞");
  else FUZZ_CHECK(text == std::to_string(info.count));
}

void CheckExpiry(const SnackInfo& info, const CivilDate& today) {
  const bool expired = IsSnackExpired(info, today);
  const bool opened = info.openedYear != 0 && info.openedMonth != 0 && info.openedDay != 0;
  if (!opened || info.keepDays == kKeepsForever) FUZZ_CHECK(!expired);
  // Expiry never comes before the opened day, and once expired a snack
  // stays expired.
  FUZZ_CHECK(!IsSnackExpired(info, CivilDate{1, 1, 1}));
  if (expired) FUZZ_CHECK(IsSnackExpired(info, CivilDate{9999, 12, 31}));
}

// All bytes but [from, to) are equal, and the lengths too.
bool SameOutside(std::string_view a, std::string_view b, std::size_t from, std::size_t to) {
  return a.size() == b.size() && a.substr(0, from) == b.substr(0, from) &&
         (a.size() <= to || a.substr(to) == b.substr(to));
}

}  // namespace
}  // namespace lup

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lup;
  static test::TempFolder folder;
  const std::string_view bytes = fuzz::Bytes(data, size);
  const auto path = folder / "snack.pac";
  test::WriteBytes(path, bytes);

  const int count = At(bytes, 0) + 256 * At(bytes, 1);
  const CivilDate today{1 + (At(bytes, 2) + 256 * At(bytes, 3)) % 9999, 1 + At(bytes, 4) % 12,
                        1 + At(bytes, 5) % 28};

  const SnackRead read = ReadSnackInfo(path);
  CheckInfo(read, size);
  CheckExpiry(read.info, today);

  const bool longEnough = size >= kSnackLayoutLength;
  const OpResult countWritten = WriteSnackCount(path, count);
  FUZZ_CHECK(countWritten.ok() == longEnough);
  std::string now = test::ReadBytes(path);
  if (!longEnough) {
    FUZZ_CHECK(countWritten.error == MakeError(CoreError::FileTooShort));
    FUZZ_CHECK(now == bytes);
  } else {
    FUZZ_CHECK(SameOutside(now, bytes, kCountAt, kCountAt + 2));
    const SnackRead after = ReadSnackInfo(path);
    CheckInfo(after, size);
    FUZZ_CHECK(after.info.count == count);
    FUZZ_CHECK(after.info.name == read.info.name && after.info.keepDays == read.info.keepDays);
  }

  const std::string beforeMark = now;
  const OpResult marked = MarkSnackUnopened(path);
  FUZZ_CHECK(marked.ok() == longEnough);
  now = test::ReadBytes(path);
  if (!longEnough) {
    FUZZ_CHECK(now == bytes);
    return 0;
  }
  FUZZ_CHECK(SameOutside(now, beforeMark, kOpenedAt, kOpenedEnd));
  FUZZ_CHECK(now.substr(kOpenedAt, kOpenedEnd - kOpenedAt) == std::string(14, '\0'));
  const SnackRead unopened = ReadSnackInfo(path);
  CheckInfo(unopened, size);
  FUZZ_CHECK(unopened.info.openedYear == 0 && unopened.info.openedMonth == 0 &&
             unopened.info.openedDay == 0);
  FUZZ_CHECK(unopened.info.count == count && unopened.info.keepDays == read.info.keepDays);
  FUZZ_CHECK(!IsSnackExpired(unopened.info, today));
  FUZZ_CHECK(!IsSnackExpired(unopened.info, CivilDate{9999, 12, 31}));
  return 0;
}
