#include "core/shortcut.h"

#include "base/unicode.h"
#include "core/fileops.h"

namespace lup {

std::string ShortcutFileName(std::string_view pet) {
  std::string name(pet);
  const std::string_view tail = name.size() >= 4 ? std::string_view(name).substr(name.size() - 4) : "";
  if (UpperCase(tail) != ".LNK") name += ".LNK";
  return name;
}

OpResult WriteShortcut(const std::filesystem::path& file, const Shortcut& link) {
  const ShortcutBytes made = EncodeShortcut(link);
  if (!made.ok()) return OpResult::Fail(Action::Write, made.error, file);
  return Fs().Write(file, made.bytes);
}

}  // namespace lup
