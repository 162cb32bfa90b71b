#include "utility/tasks.h"

#include "base/text.h"
#include "core/hostproc.h"

namespace lup {

bool RefusedWhileHostRuns(ProcessSystem& processes, const Settings& settings,
                          const ui::Messenger& say) {
  if (!IsHostRunning(processes.RunningNames(), settings.hostExeName)) return false;
  say.Tell("ポストペット（" + settings.hostExeName + "）が起動中です" + kCrLf +
               "ポストペットを終了してから、もう一度実行してください",
           ui::Icon::kCritical);
  return true;
}

bool SavedOrTold(const OpResult& saved, const ui::Messenger& say) {
  if (saved.ok()) return true;
  say.Tell("前回呼び出したペットのデータを保存できなかったため、作業を中止しました" + std::string(kCrLf) +
               saved.Describe(),
           ui::Icon::kCritical);
  return false;
}

std::string FailureLines(const std::vector<OpResult>& failures, std::size_t most) {
  std::string text;
  for (std::size_t i = 0; i < failures.size() && i < most; ++i) text += kCrLf + failures[i].Describe();
  if (failures.size() > most)
    text += kCrLf + std::string("ほか ") + std::to_string(failures.size() - most) + " 件";
  return text;
}

}  // namespace lup
