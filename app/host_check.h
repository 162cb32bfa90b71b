#pragma once
// What the three programs share above the toolkit and the core: the check at
// start-up that the host is where the settings say.
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/process.h"
#include "ui/host.h"

namespace lup {

// True when `hostFolder` names a whole path (a folder given without its
// drive would move with the working folder) and `exeName` is a file in it.
bool HostFound(const std::filesystem::path& hostFolder, std::string_view exeName);

// "PostPet20.exeが見つかりません", the host folder the settings give, and
// `lastLine`, each on a line of its own.
std::string HostMissingText(const std::filesystem::path& hostFolder, std::string_view exeName,
                            std::string_view lastLine);

// The utility's and the snack manager's answer when the host is not found:
// the message (OK and Cancel) and, on OK, the launcher beside the program
// started minimised with the focus, so that the user corrects the settings
// there. The caller ends afterwards, whatever the answer.
void OfferLauncherForSettings(ui::Host& host, ProcessSystem& processes,
                              const std::filesystem::path& programFolder, std::string_view title,
                              const std::filesystem::path& hostFolder, std::string_view exeName);

}  // namespace lup
