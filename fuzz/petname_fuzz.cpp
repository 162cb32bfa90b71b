// Pet-name validation on any text. A name that passes the full check can
// hold no separator, no character Windows forbids in a name, no control
// character, no "_" or double quote, is no device name, has no space or dot
// at its ends, holds in CP932, and every path made from it stays directly in
// the host folder. The lighter test for names read from list files keeps
// every path inside the host folder too.
#include <set>
#include <string>

#include "core/petname.h"
#include "core/settings.h"
#include "base/text.h"
#include "base/unicode.h"
#include "fuzz/fuzz_check.h"
#include "base/codepage.h"

namespace lup {
namespace {

bool IsControl(char32_t c) { return c < 0x20 || c == 0x7F; }
bool IsSpace(char32_t c) { return c == U' ' || c == 0x3000; }

// The name is one path element of the host folder, whatever follows it.
void CheckStaysInFolder(std::string_view name) {
  const std::filesystem::path d = U8Path("host");
  const std::filesystem::path p = d / U8Path(std::string(name) + "_item");
  FUZZ_CHECK(p.parent_path() == d);
  FUZZ_CHECK(p.lexically_normal().parent_path() == d);
}

// Windows takes a name for a device when what comes before its first dot,
// without the spaces at its end, is one of these in any letter case.
bool NamesDevice(std::string_view name) {
  static const std::set<std::string> kDevices = [] {
    std::set<std::string> devices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (char n = '1'; n <= '9'; ++n) {
      devices.insert(std::string("COM") + n);
      devices.insert(std::string("LPT") + n);
    }
    return devices;
  }();
  std::string base = UpperCase(name.substr(0, name.find('.')));
  base.erase(base.find_last_not_of(' ') + 1);
  return kDevices.count(base) > 0;
}

}  // namespace
}  // namespace lup

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lup;
  const std::string_view name = fuzz::Bytes(data, size);

  const bool safePart = IsSafeNamePart(name);
  if (safePart) {
    FUZZ_CHECK(IsValidUtf8(name));
    FUZZ_CHECK(name != "." && name != "..");
    FUZZ_CHECK(name.find_first_of("\\/:*?\"<>|") == std::string_view::npos);
    for (char32_t c : DecodeUtf8(name)) FUZZ_CHECK(!IsControl(c));
    CheckStaysInFolder(name);
  }

  const PetNameCheck shape = CheckPetNameShape(name);
  FUZZ_CHECK(shape.Reason().empty() == shape.ok());
  static const Settings defaults;
  const PetNameCheck full = CheckPetName(name, defaults);
  // The full check adds the length and nothing else.
  if (!shape.ok()) FUZZ_CHECK(full.problem == shape.problem);
  else FUZZ_CHECK(full.ok() || full.problem == PetNameProblem::TooLong);
  if (!shape.ok()) return 0;

  FUZZ_CHECK(safePart);
  FUZZ_CHECK(!name.empty());
  FUZZ_CHECK(name.find_first_of("_\"") == std::string_view::npos);
  const std::u32string text = DecodeUtf8(name);
  FUZZ_CHECK(!IsSpace(text.front()) && !IsSpace(text.back()));
  FUZZ_CHECK(text.back() != U'.');
  FUZZ_CHECK(!NamesDevice(name));
  const std::optional<std::string> cp932 = Utf8ToCp932(name);
  FUZZ_CHECK(cp932 && Cp932ToUtf8(*cp932) == std::string(name));
  // The pet's name is what comes before the first "_" of its settings file.
  const std::string file = std::string(name) + "_" + "PostPet設定.ppc";
  FUZZ_CHECK(file.substr(0, file.find('_')) == name);
  return 0;
}
