#pragma once
// What the utility's tasks share: they wait for the host to end before they
// change what it holds, they stop when the current pet's data cannot be put
// away, and they name every failure.
#include <string>
#include <vector>

#include "core/result.h"
#include "core/settings.h"
#include "platform/process.h"
#include "ui/messenger.h"

namespace lup {

// True, after telling the user so, when the host runs.
bool RefusedWhileHostRuns(ProcessSystem& processes, const Settings& settings,
                          const ui::Messenger& say);

// Tells a failed put-away of the current pet (the task stops); true when it
// succeeded.
bool SavedOrTold(const OpResult& saved, const ui::Messenger& say);

// The failures, each on a line of its own after a line break; past `most`
// of them the rest are counted.
std::string FailureLines(const std::vector<OpResult>& failures, std::size_t most = 12);

}  // namespace lup
