#include "platform/win32/wide.h"

#include <windows.h>

#include <climits>

namespace lup {

namespace {

std::optional<std::wstring> ToWide(UINT codePage, std::string_view bytes, DWORD flags) {
  if (bytes.empty()) return std::wstring();
  if (bytes.size() > INT_MAX) return std::nullopt;
  const int length = static_cast<int>(bytes.size());
  const int n = MultiByteToWideChar(codePage, flags, bytes.data(), length, nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  if (MultiByteToWideChar(codePage, flags, bytes.data(), length, out.data(), n) != n) {
    return std::nullopt;
  }
  return out;
}

std::optional<std::string> ToUtf8(std::wstring_view utf16, DWORD flags) {
  if (utf16.empty()) return std::string();
  if (utf16.size() > INT_MAX) return std::nullopt;
  const int length = static_cast<int>(utf16.size());
  const int n = WideCharToMultiByte(CP_UTF8, flags, utf16.data(), length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::nullopt;
  std::string out(static_cast<std::size_t>(n), '\0');
  if (WideCharToMultiByte(CP_UTF8, flags, utf16.data(), length, out.data(), n, nullptr, nullptr) != n) {
    return std::nullopt;
  }
  return out;
}

}  // namespace

std::wstring Wide(std::string_view utf8) { return ToWide(CP_UTF8, utf8, 0).value_or(std::wstring()); }

std::string Narrow(std::wstring_view utf16) { return ToUtf8(utf16, 0).value_or(std::string()); }

std::optional<std::wstring> WideStrict(std::string_view utf8) {
  return ToWide(CP_UTF8, utf8, MB_ERR_INVALID_CHARS);
}

std::optional<std::wstring> DecodeCodePage(unsigned codePage, std::string_view bytes) {
  return ToWide(codePage, bytes, MB_ERR_INVALID_CHARS);
}

std::optional<std::string> NarrowStrict(std::wstring_view utf16) {
  return ToUtf8(utf16, WC_ERR_INVALID_CHARS);
}

std::string SystemErrorText(unsigned long error) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (n > 0 && buffer != nullptr) text.assign(buffer, n);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) return "エラー " + std::to_string(error);
  return Narrow(text);
}

}  // namespace lup
