// The shortcut reader of the native build (the stand-in for the shell's link
// format that the tests read back) on files of any bytes: it never crashes or
// reads past the end, and a shortcut it reads writes back and reads again as
// the same shortcut.
#include <string>

#include "fuzz/fuzz_check.h"
#include "base/text.h"
#include "platform/shell.h"
#include "tests/support/temp_folder.h"

namespace {

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lup;
  static test::TempFolder folder;
  const std::filesystem::path path = folder / "input.lnk";
  test::WriteBytes(path, std::string(fuzz::Bytes(data, size)));
  std::error_code error;
  const std::optional<Shortcut> read = ReadShortcut(path, &error);
  FUZZ_CHECK(read.has_value() == !error);
  if (!read) return 0;
  FUZZ_CHECK(read->showCommand == KnownShowCommand(read->showCommand));
  const ShortcutBytes again = EncodeShortcut(*read);
  const bool writable = !read->target.empty() && !HasLineBreak(read->arguments) &&
                        !HasLineBreak(PathText(read->target)) &&
                        !HasLineBreak(PathText(read->workingFolder)) &&
                        !HasLineBreak(PathText(read->iconFile));
  FUZZ_CHECK(again.ok() == writable);
  if (!again.ok()) return 0;
  test::WriteBytes(path, again.bytes);
  const std::optional<Shortcut> back = ReadShortcut(path);
  FUZZ_CHECK(back.has_value());
  FUZZ_CHECK(*back == *read);
  return 0;
}
