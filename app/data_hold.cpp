#include "app/data_hold.h"

#include "base/text.h"
#include "core/product.h"
#include "platform/host_view.h"

namespace lup {

DataHold::DataHold(ProcessSystem& processes, const std::filesystem::path& hostFolder,
                   std::string_view program, const ui::Messenger& say) {
  if (os::HostViewInUse(hostFolder) == os::HostView::kElevatedBesideStore) {
    say.Tell(ElevatedBesideStoreText(program), ui::Icon::kExclamation);
    return;
  }
  DataLockAttempt attempt = processes.LockData(hostFolder, program, kDataWait);
  lock_ = std::move(attempt.lock);
  if (!lock_.held()) say.Tell(DataBusyText(attempt.holder), ui::Icon::kExclamation);
}

std::string DataBusyText(std::string_view holder) {
  const std::string who = holder.empty() ? std::string("ほかのプログラム") : ProgramTitle(holder);
  return who + "がポストペットのデータを使っています" + kCrLf +
         "その作業が終わってから、もう一度実行してください" + kCrLf + "何も変更していません";
}

std::string ElevatedBesideStoreText(std::string_view program) {
  return ProgramTitle(program) + "が管理者として実行されています" + kCrLf +
         "このまま起動したポストペットは、ふだんのペットのデータ（Windows が VirtualStore に移したもの）を見ないため、データは変更しません" +
         kCrLf + "いったん終了し、「管理者として実行」を使わずに、ふつうに起動してください" + kCrLf + "何も変更していません";
}

}  // namespace lup
