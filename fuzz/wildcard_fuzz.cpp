// Wild-card matching and the listing order on any text. The order must be a
// strict weak ordering on every triple of names (a sort with anything less
// is undefined behaviour), total on names that differ, and blind to letter
// case except as the last word; matching ignores letter case and a leading
// "*" only widens a pattern.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "core/fsquery.h"
#include "base/unicode.h"
#include "fuzz/fuzz_check.h"

namespace lup {
namespace {

void CheckOrder(const std::string& a, const std::string& b, const std::string& c) {
  auto less = NameOrderLess;
  FUZZ_CHECK(!less(a, a));
  FUZZ_CHECK(!(less(a, b) && less(b, a)));
  FUZZ_CHECK(a == b || less(a, b) || less(b, a));  // total on different names
  if (less(a, b) && less(b, c)) FUZZ_CHECK(less(a, c));
  const bool abEqual = !less(a, b) && !less(b, a);
  const bool bcEqual = !less(b, c) && !less(c, b);
  if (abEqual && bcEqual) FUZZ_CHECK(!less(a, c) && !less(c, a));
  // Names that differ in more than letter case are ordered as their
  // upper-case forms are.
  const std::string ua = UpperCase(a), ub = UpperCase(b);
  FUZZ_CHECK(UpperCase(ua) == ua);
  if (ua != ub) FUZZ_CHECK(less(a, b) == less(ua, ub));
}

void CheckMatch(const std::string& pattern, const std::string& name) {
  const bool match = WildcardMatch(pattern, name);
  FUZZ_CHECK(WildcardMatch(pattern, UpperCase(name)) == match);
  FUZZ_CHECK(WildcardMatch(UpperCase(pattern), name) == match);
  if (match) FUZZ_CHECK(WildcardMatch("*" + pattern, name));
  FUZZ_CHECK(WildcardMatch("*", name));
  FUZZ_CHECK(WildcardMatch("*.*", name));
  // A name without wild cards matches itself (a name ending in a dot
  // cannot exist on Windows and is left out).
  if (name.find_first_of("*?") == std::string::npos && (name.empty() || name.back() != '.'))
    FUZZ_CHECK(WildcardMatch(name, name));
  // "?" stands for exactly one character.
  const std::size_t chars = DecodeUtf8(name).size();
  FUZZ_CHECK(WildcardMatch(std::string(chars, '?'), name));
  FUZZ_CHECK(!WildcardMatch(std::string(chars + 1, '?'), name));
}

}  // namespace
}  // namespace lup

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string a = in.ConsumeRandomLengthString(64);
  const std::string b = in.ConsumeRandomLengthString(64);
  const std::string c = in.ConsumeRemainingBytesAsString();
  lup::CheckOrder(a, b, c);
  lup::CheckOrder(lup::UpperCase(a), b, a);
  lup::CheckMatch(a, b);
  lup::CheckMatch(b, c);
  return 0;
}
