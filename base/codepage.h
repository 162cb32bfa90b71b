#pragma once
// The ANSI code page of the Japanese systems we are made for (CP932, Shift_JIS)
// appears only where files need it: the list files and the snack names.
// Inside the program all text is UTF-8.
#include <optional>
#include <string>
#include <string_view>

namespace lup {

// UTF-8 -> CP932 bytes. nullopt when the text holds a character CP932 cannot
// hold (or is not valid UTF-8): such text is reported, never silently replaced.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

// CP932 bytes -> UTF-8. nullopt when the bytes are not valid CP932.
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);

}  // namespace lup
