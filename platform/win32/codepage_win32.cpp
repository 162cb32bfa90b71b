// CP932 <-> UTF-8 through the system's own code page 932.
#include <windows.h>

#include <climits>

#include "base/codepage.h"
#include "platform/win32/wide.h"

namespace lup {

namespace {
constexpr UINT kCp932 = 932;
}

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
  const std::optional<std::wstring> wide = DecodeCodePage(kCp932, cp932);
  if (!wide) return std::nullopt;
  return NarrowStrict(*wide);
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
  if (utf8.empty()) return std::string();
  const std::optional<std::wstring> wide = WideStrict(utf8);
  if (!wide || wide->size() > INT_MAX) return std::nullopt;
  const int length = static_cast<int>(wide->size());
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, wide->data(), length, nullptr, 0,
                                    nullptr, &usedDefault);
  if (n <= 0 || usedDefault) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(n), '\0');
  if (WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, wide->data(), length, bytes.data(), n,
                          nullptr, &usedDefault) != n ||
      usedDefault) {
    return std::nullopt;
  }
  // Only text that reads back exactly counts as held by CP932.
  const std::optional<std::string> back = Cp932ToUtf8(bytes);
  if (!back || *back != utf8) return std::nullopt;
  return bytes;
}

}  // namespace lup
