#include "app/box_source.h"

#include "base/text.h"
#include "core/product.h"
#include "ui/messenger.h"

namespace lup {

std::optional<std::filesystem::path> AskForBoxSource(ui::Host& host, const Settings& settings,
                                                     const std::string& missing,
                                                     const ui::Form* owner) {
  const ui::Messenger say(host, kUtilityTitle, owner);
  say.Tell(missing + "が見つかりません" + kCrLf + "他のペットの宝箱を元に作成します" + kCrLf +
           "元にする" + settings.treasureBoxName + "を指定してください");
  ui::OpenFileRequest request;
  request.title = "コピー元の宝箱を選択";
  request.filters = {{"宝箱", settings.treasureBoxName}};
  request.initial_folder = settings.hostFolder;
  request.owner = owner;
  std::filesystem::path chosen = host.ChooseOpenFile(request);
  if (chosen.empty()) return std::nullopt;
  return chosen;
}

}  // namespace lup
