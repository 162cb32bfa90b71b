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
// Every file is written through the funnel (atomically). Steps whose source
// does not exist are passed over: nothing can be lost there.
#include "launcher/call_pet.h"

#include <optional>
#include <string>
#include <vector>

#include "core/fileops.h"
#include "core/fsquery.h"
#include "core/fssteps.h"
#include "core/listfiles.h"
#include "core/petname.h"
#include "core/pets.h"
#include "base/text.h"

namespace lup {
namespace fs = std::filesystem;

namespace {

constexpr const char* kTitle = "ルピナ・ヴィラ";
constexpr const char* kUtilityTitle = "ルピナ・ヴィラ用ユーティリティ";
constexpr const char* kCrLf = "\r\n";

// Name comparison as the Windows file system does it (letter case ignored).
bool SameFileName(std::string_view a, std::string_view b) {
  if (a.find_first_of("*?") != std::string_view::npos) return a == b;
  return WildcardMatch(a, b);
}

fs::path AllFiles(const fs::path& folder) { return folder / U8Path("*.*"); }

class Call {
 public:
  explicit Call(CallPetContext& c) : c_(c), s_(c.settings) {}

  CallOutcome Run() {
    if (c_.calledRow < 0 || c_.calledRow >= static_cast<int>(c_.rows.size()))
      return CallOutcome::NoSettingsFile;
    const PetRow& called = c_.rows[static_cast<std::size_t>(c_.calledRow)];
    calledName_ = called.name;
    calledFlags_ = called.flags;
    if (calledName_.empty() || !IsSafeNamePart(calledName_)) {
      Tell(calledName_ + "は存在しないペットです", ui::Icon::kCritical);
      return CallOutcome::NoSettingsFile;
    }

    // The host copies may belong to a pet whose name is lost: ask before they
    // are overwritten; the default answer changes nothing.
    if (c_.currentPetUnreadable || !IsSafeNamePart(s_.currentPetName)) {
      if (!OverwriteUnknownData()) return CallOutcome::PutAwayFailed;
      s_.currentPetName.clear();
    }

    if (s_.currentPetName != calledName_) {
      if (!s_.currentPetName.empty() && !PutAway()) {
        Tell(s_.currentPetName + "のデータを保存できなかったため、呼び出しを中止します" + kCrLf +
                 failure_.Describe() + kCrLf + "ポストペットのデータは何も変更していません",
             ui::Icon::kCritical);
        return CallOutcome::PutAwayFailed;
      }
      // From here on the host copies are saved: no pet is current until the
      // bring-in is complete.
      OpResult cleared = WriteCurrentPet(s_.hostFolder, "");
      if (!cleared.ok()) {
        Tell(std::string("呼び出し中のペットの記録を消せなかったため、呼び出しを中止します") + kCrLf +
                 cleared.Describe() + kCrLf + "ポストペットのデータは何も変更していません",
             ui::Icon::kCritical);
        return CallOutcome::BringInFailed;
      }
      cleared_ = true;
      s_.currentPetName = calledName_;
      BringInResult in = BringIn();
      if (in == BringInResult::NoSettingsFile) return CallOutcome::NoSettingsFile;
      if (in == BringInResult::Failed) {
        Tell(calledName_ + "のデータをポストペットに移せなかったため、ポストペットを起動しません" +
                 kCrLf + failure_.Describe() + kCrLf +
                 "それまでのペットのデータは保存してあります。もう一度呼び出してください",
             ui::Icon::kCritical);
        return CallOutcome::BringInFailed;
      }
    }
    return Launch();
  }

 private:
  enum class BringInResult { Done, NoSettingsFile, Failed };

  // ---- talking to the user ------------------------------------------------

  ui::Answer Ask(const std::string& text, ui::Buttons buttons, ui::Icon icon,
                 const char* title = kTitle, int defaultButton = 0) {
    ui::Message m;
    m.title = title;
    m.text = text;
    m.buttons = buttons;
    m.icon = icon;
    m.default_button = defaultButton;
    return c_.host.Ask(m, c_.owner);
  }
  void Tell(const std::string& text, ui::Icon icon = ui::Icon::kExclamation) {
    Ask(text, ui::Buttons::kOk, icon);
  }

  bool OverwriteUnknownData() {
    std::string text = PathText(CurrentPetFile(s_.hostFolder)) +
                       "を読み込めないため、ポストペットが今どのペットのデータを持っているか分かりません" +
                       kCrLf + "「はい」を押すと、そのデータを保存せずに" + calledName_ +
                       "のデータに入れ替えます" + kCrLf +
                       "「いいえ」を押すと、何も変更せずに終了します";
    return Ask(text, ui::Buttons::kYesNo, ui::Icon::kExclamation, kTitle, 1) == ui::Answer::kYes;
  }

  // Question Q for a missing per-pet item: true for Yes (make it new).
  bool AskMakeNew(const std::string& itemName) {
    std::string text = calledName_ + "_" + itemName + "が見つかりません" + kCrLf +
                       "新規作成しますか？" + kCrLf + "「いいえ」を押すと現在の" + kCrLf + itemName +
                       "をコピーして作成します";
    return Ask(text, ui::Buttons::kYesNo, ui::Icon::kQuestion) == ui::Answer::kYes;
  }

  // Box recovery for a treasure folder without a box file: the file the user
  // chose, or nothing (after M4).
  std::optional<fs::path> RecoverBox(const fs::path& folder) {
    Ask(PathText(folder) + "フォルダに宝箱が見つかりません" + kCrLf +
            "他のペットの宝箱を元に作成します" + kCrLf + "元にする" + s_.treasureBoxName + "を指定してください",
        ui::Buttons::kOk, ui::Icon::kExclamation, kUtilityTitle);
    ui::OpenFileRequest request;
    request.title = "コピー元の宝箱を選択";
    request.filters = {{"宝箱", s_.treasureBoxName}};
    request.initial_folder = s_.hostFolder;
    request.owner = c_.owner;
    fs::path chosen = c_.host.ChooseOpenFile(request);
    if (chosen.empty()) {
      Tell(calledName_ + "の宝箱は作成されませんでした");
      return std::nullopt;
    }
    return chosen;
  }

  // ---- steps that must succeed ---------------------------------------------

  bool Check(const OpResult& r) {
    if (!r.ok()) failure_ = r;
    return r.ok();
  }

  ShareFlags FlagsOf(const std::string& name) const {
    for (const PetRow& row : c_.rows)
      if (row.name == name) return row.flags;
    return ShareFlags{};
  }

  // ---- put-away --------------------------------------------------------------

  bool PutAwayFolder(const ItemPaths& p, bool shared) {
    const fs::path& target = shared ? p.shared : p.pet;
    if (!shared && !FolderExists(p.pet) && !Check(MakeFolder(p.pet))) return false;
    return Check(ShellFileOp(AllFiles(p.host), target, ShellOp::Copy).result);
  }

  bool PutAway() {
    const ShareFlags flags = FlagsOf(s_.currentPetName);
    s_.MakePetPaths(s_.currentPetName);
    if (FileExists(s_.petFilePaths.host) && !Check(CopyOneFile(s_.petFilePaths.host, s_.petFilePaths.pet)))
      return false;
    if (FileExists(s_.friendBookPaths.host) &&
        !Check(CopyOneFile(s_.friendBookPaths.host,
                           flags[kFriendBook] ? s_.friendBookPaths.shared : s_.friendBookPaths.pet)))
      return false;
    return PutAwayFolder(s_.treasurePaths, flags[kTreasureBox] != 0) &&
           PutAwayFolder(s_.receivedPaths, flags[kSendReceiveLog] != 0) &&
           PutAwayFolder(s_.sentPaths, flags[kSendReceiveLog] != 0) &&
           PutAwayFolder(s_.snackPaths, flags[kSnacks] != 0);
  }

  // ---- bring-in --------------------------------------------------------------

  // Makes the host folder hold the files of `source`: copies them over first,
  // then removes the host's files that the source does not have. Sub-folders
  // are left alone.
  bool RefreshHostFolder(const fs::path& source, const fs::path& host) {
    std::vector<std::string> sourceNames = ListNames(source, "*.*", Pick::Files);
    std::vector<std::string> extras;
    for (const std::string& name : ListNames(host, "*.*", Pick::Files)) {
      bool inSource = false;
      for (const std::string& s : sourceNames)
        if (SameFileName(s, name)) inSource = true;
      if (!inSource) extras.push_back(name);
    }
    if (!sourceNames.empty() && !Check(ShellFileOp(AllFiles(source), host, ShellOp::Copy).result))
      return false;
    for (const std::string& name : extras)
      if (!Check(Fs().Delete(host / U8Path(name)))) return false;
    return true;
  }

  bool EmptyHostFolder(const fs::path& host) {
    return !AnyFileMatches(host) || Check(DeleteMatching(host));
  }

  BringInResult SettingsFile() {
    const ItemPaths& p = s_.petFilePaths;
    if (!FileExists(p.pet)) {
      Tell(calledName_ + "_" + s_.petFileName + "が見つかりません" + kCrLf + "現在の" + s_.petFileName +
           "をコピーして作成します");
      if (!FileExists(p.host)) {
        Tell(s_.petFileName + "が見つかりません" + kCrLf + "作業が続行できないため終了します");
        fs::path list = CurrentPetFile(s_.hostFolder);
        if (FileExists(list)) Fs().Delete(list);  // already empty: nothing is lost if it stays
        return BringInResult::NoSettingsFile;
      }
      if (!Check(CopyOneFile(p.host, p.pet))) return BringInResult::Failed;
      return BringInResult::Done;  // the host's file is the pet's now
    }
    return Check(CopyOneFile(p.pet, p.host)) ? BringInResult::Done : BringInResult::Failed;
  }

  bool FriendBook() {
    const ItemPaths& p = s_.friendBookPaths;
    if (calledFlags_[kFriendBook]) {
      return !FileExists(p.shared) || Check(CopyOneFile(p.shared, p.host));
    }
    if (FileExists(p.pet)) return Check(CopyOneFile(p.pet, p.host));
    if (AskMakeNew(s_.friendBookName)) {
      if (FileExists(p.host) && !Check(Fs().Delete(p.host))) return false;
      return Check(Fs().Write(p.pet, ""));
    }
    return !FileExists(p.host) || Check(CopyOneFile(p.host, p.pet));
  }

  // The host's treasure folder from an existing copy (shared or the pet's).
  bool TreasureFrom(const fs::path& source) {
    const fs::path host = s_.treasurePaths.host;
    if (!RefreshHostFolder(source, host)) return false;
    if (FileExists(s_.BoxFile(source))) return true;
    std::optional<fs::path> chosen = RecoverBox(source);
    if (!chosen) return true;
    return Check(CopyOneFile(*chosen, s_.BoxFile(source))) &&
           Check(ResetTreasureTags(s_.BoxFile(source))) &&
           Check(CopyOneFile(s_.BoxFile(source), s_.BoxFile(host)));
  }

  bool TreasureBox() {
    const ItemPaths& p = s_.treasurePaths;
    if (calledFlags_[kTreasureBox]) return TreasureFrom(p.shared);
    if (IsFolder(p.pet)) return TreasureFrom(p.pet);
    if (!Check(MakeFolder(p.pet))) return false;
    const fs::path hostBox = s_.BoxFile(p.host);
    const fs::path petBox = s_.BoxFile(p.pet);
    if (AskMakeNew(s_.treasureFolderName)) {
      // A new, empty box: only the box file stays in the host's folder.
      bool haveBox = FileExists(hostBox);
      if (!haveBox) {
        std::optional<fs::path> chosen = RecoverBox(p.host);
        if (chosen && !Check(CopyOneFile(*chosen, hostBox))) return false;
        haveBox = chosen.has_value();
      }
      if (haveBox && !Check(CopyOneFile(hostBox, petBox))) return false;
      // The previous pet's treasures go even when no box was chosen: left in
      // the host's folder they would be put away as the called pet's.
      for (const std::string& name : ListNames(p.host, "*.*", Pick::Files)) {
        // The box file is kept whatever the letter case of its name on disk.
        if (haveBox && SameFileName(s_.treasureBoxName, name)) continue;
        if (!Check(Fs().Delete(p.host / U8Path(name)))) return false;
      }
      return !haveBox || (Check(ResetTreasureTags(petBox)) && Check(ResetTreasureTags(hostBox)));
    }
    // Copy the current treasures.
    if (AnyFileMatches(p.host) &&
        !Check(ShellFileOp(AllFiles(p.host), p.pet, ShellOp::Copy).result))
      return false;
    if (FileExists(hostBox)) return true;
    std::optional<fs::path> chosen = RecoverBox(p.host);
    if (!chosen) return true;
    return Check(CopyOneFile(*chosen, hostBox)) && Check(ResetTreasureTags(hostBox)) &&
           Check(CopyOneFile(hostBox, petBox));
  }

  // A received, sent or snack folder.
  bool Folder(const ItemPaths& p, const std::string& itemName, bool shared) {
    if (shared) return RefreshHostFolder(p.shared, p.host);
    if (IsFolder(p.pet)) return RefreshHostFolder(p.pet, p.host);
    if (!Check(MakeFolder(p.pet))) return false;
    if (AskMakeNew(itemName)) return EmptyHostFolder(p.host);
    return !AnyFileMatches(p.host) ||
           Check(ShellFileOp(AllFiles(p.host), p.pet, ShellOp::Copy).result);
  }

  BringInResult BringIn() {
    s_.MakePetPaths(calledName_);
    BringInResult r = SettingsFile();
    if (r != BringInResult::Done) return r;
    bool ok = FriendBook() && TreasureBox() &&
              Folder(s_.receivedPaths, s_.receivedFolderName, calledFlags_[kSendReceiveLog] != 0) &&
              Folder(s_.sentPaths, s_.sentFolderName, calledFlags_[kSendReceiveLog] != 0) &&
              Folder(s_.snackPaths, s_.snackFolderName, calledFlags_[kSnacks] != 0);
    return ok ? BringInResult::Done : BringInResult::Failed;
  }

  // ---- launching -------------------------------------------------------------

  fs::path ChooseExecutable() const {
    const bool special = !s_.ordinaryHostExe.empty() && !s_.patchedHostExe.empty() && FileExists(s_.ordinaryHostExe) &&
                         FileExists(s_.patchedHostExe);
    if (!special) return s_.HostExe();
    SpecialMarksRead marks = ReadSpecialMarks(s_.hostFolder);
    if (marks.exists) {
      std::optional<bool> mark = FindSpecialMark(marks.records, s_.currentPetName);
      if (mark && *mark) return s_.patchedHostExe;
    }
    return s_.ordinaryHostExe;
  }

  CallOutcome Launch() {
    const fs::path exe = ChooseExecutable();
    OpResult saved = SaveSettings(s_, c_.store);
    if (!saved.ok()) {
      if (saved.action != Action::SaveSetting && cleared_) {
        // \lupina.dat is still empty: the next call would not put the host's
        // work away, so the host must not run.
        Tell(calledName_ + "を呼び出したことを記録できなかったため、ポストペットを起動しません" +
                 kCrLf + saved.Describe(),
             ui::Icon::kCritical);
        return CallOutcome::BringInFailed;
      }
      Tell(saved.Describe());  // the data is in place; only a setting is old
    }
    StartRequest request;
    request.program = exe;
    if (s_.nsOption != 0) request.arguments = "-ns";
    request.workingFolder = s_.hostFolder;
    request.show = ShowState::NormalFocus;
    StartResult started = c_.processes.Start(request);
    if (!started.ok) {
      Tell(PathText(exe) + "を起動できませんでした" + kCrLf + started.errorText,
           ui::Icon::kCritical);
      return CallOutcome::StartFailed;
    }
    return CallOutcome::HostStarted;
  }

  CallPetContext& c_;
  Settings& s_;
  std::string calledName_;
  ShareFlags calledFlags_{};
  OpResult failure_;
  bool cleared_ = false;  // \lupina.dat was emptied for the bring-in
};

}  // namespace

CallOutcome CallPet(CallPetContext& context) { return Call(context).Run(); }

}  // namespace lup
