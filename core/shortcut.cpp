#include "core/shortcut.h"

#include "core/fileops.h"

namespace lup {

std::string ShortcutFileName(std::string_view pet) {
  std::string name(pet);
  std::string tail = name.size() >= 4 ? name.substr(name.size() - 4) : std::string();
  for (char& c : tail)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (tail != ".LNK") name += ".LNK";
  return name;
}

OpResult WriteShortcut(const std::filesystem::path& file, const Shortcut& link) {
  const ShortcutBytes made = EncodeShortcut(link);
  if (!made.ok()) return OpResult::Fail(Action::Write, made.error, file);
  return Fs().Write(file, made.bytes);
}

}  // namespace lup
