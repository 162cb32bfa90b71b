#include "app/data_hold.h"

#include "base/text.h"
#include "core/product.h"

namespace lup {

DataHold::DataHold(ProcessSystem& processes, const std::filesystem::path& hostFolder,
                   std::string_view program, const ui::Messenger& say) {
  DataLockAttempt attempt = processes.LockData(hostFolder, program, kDataWait);
  lock_ = std::move(attempt.lock);
  if (!lock_.held()) say.Tell(DataBusyText(attempt.holder), ui::Icon::kExclamation);
}

std::string DataBusyText(std::string_view holder) {
  const std::string who = holder.empty() ? std::string("ほかのプログラム") : ProgramTitle(holder);
  return who + "がポストペットのデータを使っています" + kCrLf +
         "その作業が終わってから、もう一度実行してください" + kCrLf + "何も変更していません";
}

}  // namespace lup
