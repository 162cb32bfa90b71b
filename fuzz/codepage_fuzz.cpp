// CP932 <-> UTF-8 on any bytes, both ways. Bytes that decode encode back to
// the same bytes, except where CP932 has two codes for one character (the
// NEC and IBM extensions): there the encoder picks one of them, the same
// length, and decoding that gives the same text again. Text that encodes
// decodes back to itself exactly.
#include <string>

#include "base/unicode.h"
#include "fuzz/fuzz_check.h"
#include "base/codepage.h"

namespace lup {
namespace {

bool IsLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Lead bytes of codes that share their character with another code and are
// not the one the encoder writes: NEC row 13 (0x87), the NEC-selected IBM
// extensions (0xED, 0xEE) and the IBM extensions' duplicates of them (0xFA).
bool IsDuplicateLead(unsigned char b) { return b == 0x87 || b == 0xED || b == 0xEE || b == 0xFA; }

void FromCp932(std::string_view bytes) {
  const std::optional<std::string> text = Cp932ToUtf8(bytes);
  if (!text) return;
  FUZZ_CHECK(IsValidUtf8(*text));
  const std::optional<std::string> again = Utf8ToCp932(*text);
  FUZZ_CHECK(again.has_value());
  FUZZ_CHECK(again->size() == bytes.size());
  FUZZ_CHECK(Cp932ToUtf8(*again) == *text);
  FUZZ_CHECK(Utf8ToCp932(*text) == again);  // the encoder's choice is stable
  // Where the bytes differ, the input held a duplicate code.
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    const std::size_t width = IsLead(b) ? 2 : 1;
    FUZZ_CHECK(i + width <= bytes.size());
    if (bytes.substr(i, width) != std::string_view(*again).substr(i, width))
      FUZZ_CHECK(width == 2 && IsDuplicateLead(b));
    i += width;
  }
}

void FromUtf8(std::string_view text) {
  const std::optional<std::string> bytes = Utf8ToCp932(text);
  if (!bytes) return;
  FUZZ_CHECK(IsValidUtf8(text));
  FUZZ_CHECK(Cp932ToUtf8(*bytes) == std::string(text));
  FUZZ_CHECK(bytes->size() <= text.size());
}

}  // namespace
}  // namespace lup

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = lup::fuzz::Bytes(data, size);
  lup::FromCp932(bytes);
  lup::FromUtf8(bytes);
  return 0;
}
