#pragma once
// One program at a time on the pets' data: what each of the three programs
// holds while it changes the host folder's files, and what the user is told
// when another program is at work there.
//
//   DataHold hold(env.processes, settings.hostFolder, kUtilityFileName, say_);
//   if (!hold) return;  // told; nothing changed
//
// Held only for a piece of work, never while the program waits for the
// user to open or fill in a window.
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/process.h"
#include "ui/messenger.h"

namespace lup {

// How long a program waits for another to finish its piece of work.
inline constexpr std::chrono::milliseconds kDataWait{2000};

class DataHold {
 public:
  DataHold(ProcessSystem& processes, const std::filesystem::path& hostFolder,
           std::string_view program, const ui::Messenger& say);
  bool held() const { return lock_.held(); }
  explicit operator bool() const { return held(); }

 private:
  DataLock lock_;
};

// "ルピナ・ヴィラ用ユーティリティ（lupset.exe）がポストペットのデータを使っています" and what to do.
std::string DataBusyText(std::string_view holder);

// What a program run elevated says, while the user's VirtualStore holds a copy
// of the host folder, instead of changing anything (os::HostView).
std::string ElevatedBesideStoreText(std::string_view program);

}  // namespace lup
