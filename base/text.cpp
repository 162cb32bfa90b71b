#include "base/text.h"

#include "base/unicode.h"

namespace lup {
namespace fs = std::filesystem;

// Names are compared as Windows compares them, letter case aside.
static bool SameComponent(const fs::path& a, const fs::path& b) {
  return UpcasedUtf16(PathText(a)) == UpcasedUtf16(PathText(b));
}

bool LiesUnder(const fs::path& name, const fs::path& root, fs::path* rest) {
  if (root.empty()) return false;
  const fs::path n = name.lexically_normal();
  const fs::path r = root.lexically_normal();
  auto ni = n.begin();
  for (auto ri = r.begin(); ri != r.end(); ++ri) {
    if (ri->empty()) continue;  // a trailing separator
    if (ni == n.end() || !SameComponent(*ni, *ri)) return false;
    ++ni;
  }
  fs::path below;
  for (; ni != n.end(); ++ni)
    if (!ni->empty()) below /= *ni;
  if (rest) *rest = below;
  return true;
}

std::optional<int> ParseDecimal(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  // Nine digits at the most: every such number fits an int.
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

}  // namespace lup
