#include "core/hostproc.h"

#include "base/unicode.h"

namespace lup {

bool IsHostRunning(const std::vector<std::string>& processNames, std::string_view hostExeName) {
  if (hostExeName.empty()) return false;
  const std::string host = UpperCase(hostExeName);
  for (const std::string& name : processNames) {
    // The name up to its first NUL, as the process list hands it over.
    std::string upper = UpperCase(std::string_view(name).substr(0, name.find('\0')));
    if (upper.find("LUPINA.EXE") != std::string::npos) continue;
    if (upper.find(host) != std::string::npos) return true;
  }
  return false;
}

}  // namespace lup
