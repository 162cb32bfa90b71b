// CP932 <-> UTF-8 with iconv.
#include <iconv.h>

#include <cerrno>

#include "base/codepage.h"

namespace lup {

namespace {

// Converts all of `in`; nullopt on any byte sequence that the target cannot
// hold or that is not valid in the source (no transliteration, no skipping).
std::optional<std::string> Convert(const char* to, const char* from, std::string_view in) {
  if (in.empty()) return std::string();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(in.size() * 3 + 8, '\0');
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  std::size_t used = 0;
  bool ok = true;
  for (;;) {
    char* dst = out.data() + used;
    std::size_t dstLeft = out.size() - used;
    const std::size_t r = srcLeft > 0 ? iconv(cd, &src, &srcLeft, &dst, &dstLeft)
                                      : iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    used = out.size() - dstLeft;
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      ok = false;  // EILSEQ or EINVAL (a sequence cut off at the end)
      break;
    }
    // iconv may count characters it replaced on its own; none are allowed.
    if (r != 0) {
      ok = false;
      break;
    }
    if (srcLeft == 0 && src == nullptr) break;
    if (srcLeft == 0) src = nullptr;  // one more round to flush the state
  }
  iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(used);
  return out;
}

}  // namespace

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
  return Convert("UTF-8", "CP932", cp932);
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
  std::optional<std::string> bytes = Convert("CP932", "UTF-8", utf8);
  if (!bytes) return std::nullopt;
  // Some characters map to bytes that read back as another character (the yen
  // sign becomes a backslash): such text is not held by CP932 either.
  std::optional<std::string> back = Cp932ToUtf8(*bytes);
  if (!back || *back != utf8) return std::nullopt;
  return bytes;
}

}  // namespace lup
