#include "app/host_check.h"

#include "base/text.h"
#include "core/fsquery.h"
#include "core/product.h"
#include "ui/messenger.h"

namespace lup {

bool HostFound(const std::filesystem::path& hostFolder, std::string_view exeName) {
  return hostFolder.is_absolute() && FileExists(hostFolder / U8Path(exeName));
}

std::string HostMissingText(const std::filesystem::path& hostFolder, std::string_view exeName,
                            std::string_view lastLine) {
  return std::string(exeName) + "が見つかりません" + kCrLf + "現在ポストペットのインストール先は" +
         PathText(hostFolder) + "になっています" + kCrLf + std::string(lastLine);
}

void OfferLauncherForSettings(ui::Host& host, ProcessSystem& processes,
                              const std::filesystem::path& programFolder, std::string_view title,
                              const std::filesystem::path& hostFolder, std::string_view exeName) {
  const ui::Messenger say(host, std::string(title));
  const std::string text =
      HostMissingText(hostFolder, exeName, "詳細設定を変更するため、ルピナ・ヴィラを起動します");
  if (say.Ask(text, ui::Buttons::kOkCancel, ui::Icon::kExclamation) != ui::Answer::kOk) return;
  StartRequest request;
  request.program = programFolder / U8Path(kLauncherFileName);
  request.workingFolder = programFolder;
  request.show = ShowState::MinimizedFocus;
  const StartResult started = processes.Start(request);
  if (started.ok) return;
  std::string failed = PathText(request.program) + " を起動できませんでした";
  if (!started.errorText.empty()) failed += "（" + started.errorText + "）";
  say.Tell(failed, ui::Icon::kCritical);
}

}  // namespace lup
