#pragma once
// Whether the host is running, decided from the executable names of the
// running processes (the live list comes from platform/).
#include <string>
#include <string_view>
#include <vector>

namespace lup {

// True when a process belongs to the host: for each name, upper-cased, a name
// containing "LUPINA.EXE" is passed over (the launcher itself); otherwise a
// name containing `hostExeName` upper-cased is the host. Both tests look
// anywhere in the name, so full paths and bare names both match. An empty
// `hostExeName` matches nothing (it would otherwise match every process).
bool IsHostRunning(const std::vector<std::string>& processNames, std::string_view hostExeName);

}  // namespace lup
