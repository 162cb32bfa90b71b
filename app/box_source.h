#pragma once
// The question both the launcher and the utility ask when a treasure box is
// missing: which other pet's box the new one is made from. The box is
// recovered the utility's way in both, so the message bears its title.
//
//   const std::optional<fs::path> source =
//       AskForBoxSource(host, settings, pet + "の宝箱", &form);
//   if (!source) ...  // the user chose none; what that means is the caller's
#include <filesystem>
#include <optional>
#include <string>

#include "core/settings.h"
#include "ui/host.h"

namespace lup {

// Tells that `missing` ("ミミの宝箱", "共有の宝箱", or "<folder>フォルダに宝箱")
// was not found, then asks for a settings.treasureBoxName to make it from,
// starting in the host folder. `owner` owns the message while it is loaded
// and the file chooser (nullptr: the active form). nullopt when the user
// chose none.
std::optional<std::filesystem::path> AskForBoxSource(ui::Host& host, const Settings& settings,
                                                     const std::string& missing,
                                                     const ui::Form* owner = nullptr);

}  // namespace lup
