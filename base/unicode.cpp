#include "base/unicode.h"

namespace lup {

std::u32string DecodeUtf8(std::string_view s, bool* valid) {
  std::u32string out;
  out.reserve(s.size());
  bool ok = true;
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    int extra = 0;
    char32_t c = 0;
    char32_t min = 0;
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      extra = 1; c = b & 0x1F; min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2; c = b & 0x0F; min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3; c = b & 0x07; min = 0x10000;
    } else {
      extra = -1;
    }
    bool good = extra > 0 && i + extra < s.size();
    if (good) {
      for (int k = 1; k <= extra; ++k) {
        unsigned char t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) { good = false; break; }
        c = (c << 6) | (t & 0x3F);
      }
    }
    if (good && (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) good = false;
    if (!good) {
      ok = false;
      out.push_back(0xDC00 + b);
      ++i;
      continue;
    }
    out.push_back(c);
    i += extra + 1;
  }
  if (valid) *valid = ok;
  return out;
}

std::string EncodeUtf8(std::u32string_view text) {
  std::string out;
  for (char32_t c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c >= 0xDC80 && c <= 0xDCFF) {
      // A byte that was not UTF-8 goes back as that byte.
      out.push_back(static_cast<char>(c - 0xDC00));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view utf8) {
  bool valid = true;
  DecodeUtf8(utf8, &valid);
  return valid;
}

char32_t UpcaseChar(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
  // Latin-1
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  // Latin Extended-A: pairs of upper and lower case letters.
  if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
    return (c & 1) ? c - 1 : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
  // Greek
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
  if (c == 0x3C2) return 0x3A3;
  if ((c >= 0x3B1 && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CB)) return c - 0x20;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
  // Cyrillic
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  // Full-width Latin
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;
  return c;
}

std::u32string UpcasedCodePoints(std::string_view utf8) {
  std::u32string text = DecodeUtf8(utf8);
  for (char32_t& c : text) c = UpcaseChar(c);
  return text;
}

std::string UpperCase(std::string_view utf8) { return EncodeUtf8(UpcasedCodePoints(utf8)); }

static void AppendUtf16(std::u16string& out, char32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(c));
  }
}

std::size_t Utf16Length(std::string_view utf8) {
  std::size_t n = 0;
  for (char32_t c : DecodeUtf8(utf8)) n += c >= 0x10000 ? 2 : 1;
  return n;
}

std::u16string UpcasedUtf16(std::string_view utf8) {
  std::u16string out;
  for (char32_t c : DecodeUtf8(utf8)) AppendUtf16(out, UpcaseChar(c));
  return out;
}

}  // namespace lup
