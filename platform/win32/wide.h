#pragma once
// UTF-8 <-> UTF-16 at the Win32 boundary. Inside the program text is UTF-8;
// every W API call gets its text through Wide and gives it back through Narrow.
#include <optional>
#include <string>
#include <string_view>

namespace lup {

// UTF-8 -> UTF-16. Bytes that are not UTF-8 become U+FFFD.
std::wstring Wide(std::string_view utf8);

// UTF-16 -> UTF-8. A lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view utf16);

// UTF-8 -> UTF-16, nullopt when the text is not valid UTF-8.
std::optional<std::wstring> WideStrict(std::string_view utf8);

// UTF-16 -> UTF-8, nullopt when the text holds a lone surrogate.
std::optional<std::string> NarrowStrict(std::wstring_view utf16);

// Bytes in the Windows code page `codePage` -> UTF-16; nullopt when they are
// not valid in it.
std::optional<std::wstring> DecodeCodePage(unsigned codePage, std::string_view bytes);

// The system's own description of a Win32 error number, in the user's
// language, without the trailing line break; "エラー N" when it has none.
std::string SystemErrorText(unsigned long error);

}  // namespace lup
