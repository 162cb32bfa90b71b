// Calling a pet. The order of the work is what keeps the users' data safe:
//
//  1. put-away: the host copies go into the current pet's (or the shared)
//     copies. Nothing is deleted anywhere in this stage; when any copy fails
//     the call stops here, the host copies stay as they are and \lupina.dat
//     still names the current pet, so the next call simply tries again;
//  2. \lupina.dat is cleared: from here until the end of the bring-in the host
//     copies hold no pet's data that is not saved elsewhere, and a launcher
//     that dies meanwhile must not let the next call put them away under a
//     pet's name;
//  3. bring-in: the called pet's copies replace the host copies. A failure
//     stops the call; \lupina.dat stays empty and the host is not started;
//  4. \lupina.dat names the called pet (SaveSettings), and only then is the
//     host started.
//
// The moving of data is the pet store's; here are the order, the questions
// and the messages.
#include "launcher/call_pet.h"

#include <optional>
#include <string>
#include <vector>

#include "app/box_source.h"
#include "app/data_hold.h"
#include "app/data_messages.h"
#include "base/text.h"
#include "core/fsquery.h"
#include "core/hostproc.h"
#include "core/petname.h"
#include "core/petstore.h"
#include "core/product.h"
#include "ui/messenger.h"

namespace lup {
namespace fs = std::filesystem;

namespace {

// The launcher's answers to the pet store's questions while a pet comes in.
class CallQuestions final : public StoreQuestions {
 public:
  CallQuestions(const CallPetContext& c, std::string_view calledName)
      : c_(c), say_(c.host, kLauncherTitle, c.owner), calledName_(calledName) {}

  void PetFileWillBeMade(std::string_view pet) override {
    const std::string& file = c_.settings.petFileName;
    say_.Tell(std::string(pet) + "_" + file + "が見つかりません" + kCrLf + "現在の" + file +
              "をコピーして作成します");
  }

  bool MakeItemNew(std::string_view pet, std::string_view itemName, bool shared) override {
    const std::string item(itemName);
    const std::string missing = shared ? "共有の" + item : std::string(pet) + "_" + item;
    const std::string text = missing + "が見つかりません" + kCrLf +
                             "新規作成しますか？" + kCrLf + "「いいえ」を押すと現在の" + kCrLf +
                             item + "をコピーして作成します";
    return say_.Ask(text, ui::Buttons::kYesNo, ui::Icon::kQuestion) == ui::Answer::kYes;
  }

  std::optional<fs::path> ChooseBoxSource(const fs::path& folder) override {
    std::optional<fs::path> chosen =
        AskForBoxSource(c_.host, c_.settings, PathText(folder) + "フォルダに宝箱", c_.owner);
    if (!chosen) say_.Tell(calledName_ + "の宝箱は作成されませんでした");
    return chosen;
  }

 private:
  const CallPetContext& c_;
  ui::Messenger say_;
  std::string calledName_;
};

class Call {
 public:
  explicit Call(CallPetContext& c)
      : c_(c), s_(c.settings), say_(c.host, kLauncherTitle, c.owner), store_(c.settings) {}

  CallOutcome Run() {
    if (c_.called < 0 || c_.called >= static_cast<int>(c_.pets.size()))
      return CallOutcome::NoSettingsFile;
    called_ = c_.pets[static_cast<std::size_t>(c_.called)];
    // The host may have been started since the list was shown; its data is
    // not ours to move while it runs.
    if (IsHostRunning(c_.processes.RunningNames(), s_.hostExeName)) {
      say_.Tell(HostRunningText(), ui::Icon::kCritical);
      return CallOutcome::HostRunning;
    }
    // The whole call, its questions included, is one piece of work: no other
    // of our programs may find the host copies half swapped.
    const DataHold hold(c_.processes, s_.hostFolder, kLauncherFileName, say_);
    if (!hold) return CallOutcome::DataBusy;
    if (!SetAsideSettled()) return CallOutcome::PutAwayFailed;
    if (called_.name.empty() || !IsSafeNamePart(called_.name)) {
      say_.Tell(called_.name + "は存在しないペットです", ui::Icon::kCritical);
      return CallOutcome::NoSettingsFile;
    }
    if (const std::optional<std::string> misnamed = store_.MisnamedPetFile(called_.name)) {
      say_.Tell(MisnamedPetText(*misnamed, called_.name, s_.petFileName, "を呼び出せません",
                                "呼び出してください"),
                ui::Icon::kCritical);
      return CallOutcome::NoSettingsFile;
    }
    // The host copies may belong to a pet whose name is lost: ask before they
    // are overwritten; the default answer changes nothing.
    if (c_.currentPetUnreadable || !IsSafeNamePart(s_.currentPetName)) {
      if (!OverwriteUnknownData()) return CallOutcome::PutAwayFailed;
      s_.currentPetName.clear();
    }
    // The current pet by the spelling her files carry ("Mimi" when
    // \lupina.dat says "mimi"): the file system takes both for one.
    for (const Pet& pet : c_.pets)
      if (SamePetName(pet.name, s_.currentPetName)) s_.currentPetName = pet.name;
    if (!SamePetName(s_.currentPetName, called_.name)) {
      if (std::optional<CallOutcome> stopped = Switch()) return *stopped;
    }
    return Launch();
  }

 private:
  // A new-pet creation of the utility that did not end left the host's
  // settings file set aside: given back when that restores what the host
  // held before; otherwise the host may hold the new pet, not registered
  // yet, and a call would overwrite her.
  bool SetAsideSettled() {
    const PetStore::SetAsideLeft left = store_.LookAtSetAside();
    using State = PetStore::SetAsideLeft::State;
    if (left.state == State::kNone) return true;
    if (left.state == State::kGiveBack) {
      const OpResult back = store_.GiveBackHostPetFile();
      if (back.ok()) return true;
      say_.Tell(back.Describe() + kCrLf + "ポストペットのデータは何も変更していません", ui::Icon::kCritical);
      return false;
    }
    say_.Tell(std::string("新しいペットの作成が途中で終わっているため、呼び出しを中止します") + kCrLf +
                  "ルピナ・ヴィラ用ユーティリティの「新しいペットを飼う」で作成を終えてから、もう一度呼び出してください" +
                  kCrLf + "ポストペットのデータは何も変更していません",
              ui::Icon::kCritical);
    return false;
  }

  bool OverwriteUnknownData() {
    const std::string text =
        PathText(CurrentPetFile(s_.hostFolder)) +
        "を読み込めないため、ポストペットが今どのペットのデータを持っているか分かりません" + kCrLf +
        "「はい」を押すと、そのデータを保存せずに" + called_.name + "のデータに入れ替えます" +
        kCrLf + "「いいえ」を押すと、何も変更せずに終了します";
    return say_.Ask(text, ui::Buttons::kYesNo, ui::Icon::kExclamation, 1) == ui::Answer::kYes;
  }

  // The flags of the current pet's row; a pet without a row keeps every kind
  // to itself.
  ShareFlags FlagsOf(const std::string& name) const {
    for (const Pet& pet : c_.pets)
      if (SamePetName(pet.name, name)) return pet.flags;
    return ShareFlags{};
  }

  // Put-away, \lupina.dat cleared, bring-in. nullopt when the called pet's
  // data is in the host copies.
  std::optional<CallOutcome> Switch() {
    const std::string nothingChanged = "ポストペットのデータは何も変更していません";
    if (!s_.currentPetName.empty()) {
      const OpResult saved = store_.PutAway(s_.currentPetName, FlagsOf(s_.currentPetName));
      if (!saved.ok()) {
        say_.Tell(s_.currentPetName + "のデータを保存できなかったため、呼び出しを中止します" +
                      kCrLf + saved.Describe() + kCrLf + nothingChanged,
                  ui::Icon::kCritical);
        return CallOutcome::PutAwayFailed;
      }
    }
    // From here on the host copies are saved: no pet is current until the
    // bring-in is complete.
    const OpResult cleared = store_.RecordCurrent("");
    if (!cleared.ok()) {
      say_.Tell(std::string("呼び出し中のペットの記録を消せなかったため、呼び出しを中止します") +
                    kCrLf + cleared.Describe() + kCrLf + nothingChanged,
                ui::Icon::kCritical);
      return CallOutcome::BringInFailed;
    }
    cleared_ = true;
    s_.currentPetName = called_.name;
    s_.MakePetPaths(called_.name);
    CallQuestions questions(c_, called_.name);
    const PetStore::BringInResult in = store_.BringIn(called_.name, called_.flags, questions);
    switch (in.end) {
      case PetStore::BringInEnd::kDone:
        return std::nullopt;
      case PetStore::BringInEnd::kNoPetFile:
        say_.Tell(s_.petFileName + "が見つかりません" + kCrLf + "作業が続行できないため終了します");
        store_.ForgetCurrent();  // already empty: nothing is lost if it stays
        return CallOutcome::NoSettingsFile;
      case PetStore::BringInEnd::kFailed:
        break;
    }
    say_.Tell(called_.name +
                  "のデータをポストペットに移せなかったため、ポストペットを起動しません" + kCrLf +
                  in.failure.Describe() + kCrLf +
                  "それまでのペットのデータは保存してあります。もう一度呼び出してください",
              ui::Icon::kCritical);
    return CallOutcome::BringInFailed;
  }

  // The host for the called pet: the kept ordinary or patched host when the
  // special-kind setup is complete, otherwise D\pp_name.
  fs::path ChooseExecutable() const {
    const bool special = !s_.ordinaryHostExe.empty() && !s_.patchedHostExe.empty() &&
                         FileExists(s_.ordinaryHostExe) && FileExists(s_.patchedHostExe);
    if (!special) return s_.HostExe();
    return store_.UsesPatchedHost(s_.currentPetName) ? s_.patchedHostExe : s_.ordinaryHostExe;
  }

  CallOutcome Launch() {
    const fs::path exe = ChooseExecutable();
    const OpResult saved = SaveSettings(s_, c_.store);
    if (!saved.ok()) {
      if (saved.action != Action::SaveSetting && cleared_) {
        // \lupina.dat is still empty: the next call would not put the host's
        // work away, so the host must not run.
        say_.Tell(called_.name +
                      "を呼び出したことを記録できなかったため、ポストペットを起動しません" + kCrLf +
                      saved.Describe(),
                  ui::Icon::kCritical);
        return CallOutcome::BringInFailed;
      }
      say_.Tell(saved.Describe());  // the data is in place; only a setting is old
    }
    StartRequest request;
    request.program = exe;
    if (s_.nsOption != 0) request.arguments = "-ns";
    request.workingFolder = s_.hostFolder;
    request.show = ShowState::NormalFocus;
    const StartResult started = c_.processes.Start(request);
    if (!started.ok) {
      say_.Tell(PathText(exe) + "を起動できませんでした" + kCrLf + started.errorText,
                ui::Icon::kCritical);
      return CallOutcome::StartFailed;
    }
    return CallOutcome::HostStarted;
  }

  CallPetContext& c_;
  Settings& s_;
  ui::Messenger say_;
  PetStore store_;
  Pet called_;
  bool cleared_ = false;  // \lupina.dat was emptied for the bring-in
};

}  // namespace

CallOutcome CallPet(CallPetContext& context) { return Call(context).Run(); }

std::string HostRunningText() {
  return std::string("ポストペットが起動中です") + kCrLf +
         "lupina.exeはポストペット起動中に実行する事は出来ません";
}

}  // namespace lup
