#pragma once
// Small UTF-8 helpers shared by the listing order, wild cards, upper-casing
// and length checks.
#include <cstddef>
#include <string>
#include <string_view>

namespace lup {

// Decodes UTF-8 into code points. A byte that does not start a valid
// sequence yields U+DC00 + byte (so names that are not UTF-8 still compare
// and match deterministically) and sets *valid to false when given.
std::u32string DecodeUtf8(std::string_view utf8, bool* valid = nullptr);
std::string EncodeUtf8(std::u32string_view text);
bool IsValidUtf8(std::string_view utf8);

// The upper-case letter Windows compares a character as (ASCII, Latin-1,
// Latin Extended-A, Greek, Cyrillic, full-width Latin); other characters
// stay as they are.
char32_t UpcaseChar(char32_t c);
// The text with every character upper-cased so, as UTF-8 and as code points
// (DecodeUtf8's for bytes that are not UTF-8).
std::string UpperCase(std::string_view utf8);
std::u32string UpcasedCodePoints(std::string_view utf8);

// Number of UTF-16 code units the text takes (the unit of Windows path
// lengths).
std::size_t Utf16Length(std::string_view utf8);

// The UTF-16 code units of the upper-cased text (the key of the listing order).
std::u16string UpcasedUtf16(std::string_view utf8);

}  // namespace lup
