// The menu window and start-up.
#include <utility>

#include "app/data_hold.h"
#include "app/host_check.h"
#include "base/text.h"
#include "core/fsquery.h"
#include "core/listfiles.h"
#include "core/petstore.h"
#include "utility/data_dialogs.h"
#include "utility/register.h"
#include "utility/select.h"
#include "utility/utility.h"

namespace lup {

namespace {

struct MenuButton {
  const char* name;
  const char* caption;
  ui::Twips top;
  int tab;
  const char* description;  // nullptr: the label keeps what it shows
};

constexpr MenuButton kButtons[] = {
    {"Command1", "新しいペットを飼う", 120, 0,
     "ポスペを起動して新しいペットを作成し\r\nルピナ・ヴィラに登録します\r\n"
     "現在飼っているペットをまだ登録していない場合、先に登録してから行ってください"},
    {"Command2", "飼っているペットのデータを変換", 600, 1, "現在飼っているペットをルピナ・ヴィラに登録します"},
    {"Command6", "ペットの削除", 1080, 4, "ルピナ・ヴィラに登録したペットを削除します"},
    {"Command5", "データのバックアップ", 1560, 5, "現在の全てのペットのデータをバックアップします"},
    {"Command4", "壊れてしまったデータの修復", 2040, 6,
     "他のペットのデータが上書きされてしまったりして壊れてしまったデータを\r\n"
     "登録時、またはバックアップ時の状態に戻します"},
    {"Command7", "ペット別のショートカット作成", 2520, 7,
     "ペットの名前をスイッチ指定したルピナヴィラのショートカットを作成します"},
    {"Command8", "宝箱を空にする", 3000, 8, nullptr},
    {"Command3", "終了", 3480, 3, nullptr},
};

}  // namespace

MenuWindow::MenuWindow(UtilityEnv env) : env_(std::move(env)) {
  env_.host.SetAppTitle(kUtilityTitle);
  const MoreDialogs own = DataDialogs(env_);
  if (!env_.more.backup) env_.more.backup = own.backup;
  if (!env_.more.repair) env_.more.repair = own.repair;
  if (!env_.more.remove) env_.more.remove = own.remove;
  selection_ = std::make_unique<PetSelectDialog>(env_, state_);
  BuildForm();
}

MenuWindow::~MenuWindow() = default;

void MenuWindow::BuildForm() {
  form_.SetCaption(kUtilityTitle);
  form_.SetClientSize(3975, 4950);
  form_.SetBorder(ui::Border::kFixedSingle);
  for (const MenuButton& b : kButtons) {
    auto& button = form_.AddButton(b.name, {120, b.top, 3735, 375});
    button.SetCaption(b.caption);
    button.SetTabIndex(b.tab);
    if (b.description) {
      const std::string text = b.description;
      button.on_mouse_move = [this, text](const ui::MouseEvent&) { hint_->SetCaption(text); };
    }
  }
  hint_ = &form_.AddLabel("Label1", {0, 3960, 3975, 975});
  hint_->SetCaption(kMenuHint);
  hint_->SetTabIndex(2);
  form_.on_mouse_move = [this](const ui::MouseEvent&) { hint_->SetCaption(kMenuHint); };

  form_.Get<ui::Button>("Command1").on_click = [this] {
    Registrar(env_, state_.settings, form_).NewPet();
  };
  form_.Get<ui::Button>("Command2").on_click = [this] {
    Registrar(env_, state_.settings, form_).CurrentPet();
  };
  form_.Get<ui::Button>("Command3").on_click = [this] { env_.host.Unload(form_); };
  form_.Get<ui::Button>("Command4").on_click = [this] { OpenSelection(SelectionTask::kRepair); };
  form_.Get<ui::Button>("Command5").on_click = [this] { env_.more.backup(state_); };
  form_.Get<ui::Button>("Command6").on_click = [this] { OpenSelection(SelectionTask::kDelete); };
  form_.Get<ui::Button>("Command7").on_click = [this] { OpenSelection(SelectionTask::kShortcut); };
  form_.Get<ui::Button>("Command8").on_click = [this] { OpenSelection(SelectionTask::kTreasure); };
  // Closing the menu, by its close box or "終了", ends the utility.
  form_.on_unload = [this](ui::UnloadReason) { env_.host.Quit(0); };
}

bool MenuWindow::Start() {
  state_.settings = ReadSettings(env_.store, env_.programFolder);
  if (!HostFound()) return false;
  // The share list is rebuilt only when it is missing, whatever it holds.
  const PetStore store(state_.settings);
  if (!FileExists(ShareListFile(state_.settings.hostFolder))) {
    if (const DataHold hold(env_.processes, state_.settings.hostFolder, kUtilityFileName, say_); hold)
      say_.TellFailure(store.RebuildShares());
  }
  env_.host.Show(form_);
  return form_.Loaded();
}

// The host must be where the settings say. If not, the launcher is started
// so that the user can correct them there, and the utility ends.
bool MenuWindow::HostFound() {
  const Settings& s = state_.settings;
  if (lup::HostFound(s.hostFolder, s.hostExeName)) return true;
  OfferLauncherForSettings(env_.host, env_.processes, env_.programFolder, kUtilityTitle,
                           s.hostFolder, s.hostExeName);
  env_.host.Quit(0);
  return false;
}

void MenuWindow::OpenSelection(SelectionTask task) {
  selection_->SetForm(task);
  selection_->ShowAndRun();
}

}  // namespace lup
