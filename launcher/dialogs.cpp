#include "launcher/dialogs.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "core/fileops.h"
#include "core/fssteps.h"
#include "core/listfiles.h"
#include "core/pets.h"
#include "core/text.h"
#include "launcher/launcher.h"

namespace lup {

namespace {

constexpr const char* kCrLf = "\r\n";

void TellIn(ui::Host& host, const ui::Form& owner, const std::string& text, ui::Icon icon) {
  ui::Message m;
  m.title = kLauncherTitle;
  m.text = text;
  m.buttons = ui::Buttons::kOk;
  m.icon = icon;
  host.Ask(m, &owner);
}

bool TellFailureIn(ui::Host& host, const ui::Form& owner, const OpResult& r) {
  if (r.ok()) return false;
  TellIn(host, owner, r.Describe(), ui::Icon::kExclamation);
  return true;
}

// ---- share settings -------------------------------------------------------

struct KindText {
  const char* caption;
  const char* question;
  const char* overwrite;
};
const KindText kKinds[4] = {
    {"おともだち帳", "のおともだち帳を共有にコピーしますか？", "既に共有のおともだち帳がある場合、上書きされます"},
    {"送受信簿", "の送受信簿を共有にコピーしますか？", "既に共有の送受信簿がある場合、上書きされます"},
    {"おやつ", "のおやつを共有にコピーしますか？", "既に共有のおやつがある場合、上書きされます"},
    {"宝物", "の宝箱を共有にコピーしますか？", "既に共有の宝箱がある場合、上書きされます"},
};

}  // namespace

ShareDialog::ShareDialog(Launcher& launcher, int row) : launcher_(launcher) {
  form_.SetCaption("共有・非共有の設定");
  form_.SetClientSize(3750, 2055);
  form_.SetBorder(ui::Border::kFixedSingle);
  form_.SetShowInTaskbar(false);

  auto& name = form_.AddLabel("Label1", {120, 0, 3495, 255});
  name.SetTabIndex(0);
  auto& frame = form_.AddFrame("Frame1", {120, 240, 3495, 1215});
  frame.SetTabIndex(2);
  const ui::Rect places[4] = {
      {120, 240, 1575, 375}, {1800, 240, 1575, 375}, {120, 720, 1575, 375}, {1800, 720, 1575, 375}};
  const int tabs[4] = {6, 5, 4, 3};
  for (int k = 0; k < 4; ++k) {
    checks_[k] = &form_.AddCheckBox("Check" + std::to_string(k + 1), places[k], &frame);
    checks_[k]->SetCaption(kKinds[k].caption);
    checks_[k]->SetTabIndex(tabs[k]);
  }
  auto& ok = form_.AddButton("Command1", {120, 1560, 3495, 375});
  ok.SetCaption("OK");
  ok.SetTabIndex(1);
  ok.on_click = [this] { Ok(); };

  // What the pet list hands over: the row, the name and the four flags.
  const ui::Grid& grid = launcher_.grid();
  form_.tag = std::to_string(row);
  name.SetCaption(grid.Cell(row, 0));
  const std::vector<PetRow> rows = launcher_.Rows();
  for (int k = 0; k < 4; ++k) checks_[k]->SetValue(rows.at(row - 1).flags[k] != 0 ? 1 : 0);
}

void ShareDialog::Ok() {
  ui::Grid& grid = launcher_.grid();
  int row = 0;
  if (!ParseStoredInt(form_.tag, &row) || row < 1 || row >= grid.Rows()) return;
  grid.SetRow(row);
  const std::string pet = grid.Cell(row, 0);
  Settings paths = launcher_.settings();
  paths.MakePetPaths(pet);

  for (int k = 0; k < 4; ++k) {
    grid.SetCol(1 + k);
    const bool shared = checks_[k]->Value() != 0;
    launcher_.ShowFlag(row, k, shared);
    if (!shared) continue;
    ui::Message question;
    question.title = kLauncherTitle;
    question.text = pet + kKinds[k].question + kCrLf + kKinds[k].overwrite;
    question.buttons = ui::Buttons::kYesNo;
    question.icon = ui::Icon::kNone;
    question.default_button = 1;
    if (launcher_.env().host.Ask(question, &form_) == ui::Answer::kYes) CopyToShared(k, paths);
  }
  for (int k = 0; k < 4; ++k) grid.SetCell(row, 5 + k, checks_[k]->Value() != 0 ? "1" : "0");

  launcher_.TellFailure(launcher_.SavePlist());
  // The host copies may hold data filed under the old flags: no pet is
  // current from the next start on.
  const std::filesystem::path current = CurrentPetFile(launcher_.settings().ppDir);
  if (FileExists(current)) launcher_.TellFailure(Fs().Delete(current));
  launcher_.env().host.Unload(form_);
}

void ShareDialog::CopyToShared(int kind, const Settings& paths) {
  switch (kind) {
    case kFriendBook:
      if (FileExists(paths.friendPaths.pet)) {
        TellFailureIn(launcher_.env().host, form_,
                      CopyOneFile(paths.friendPaths.pet, paths.friendPaths.shared));
      }
      break;
    case kSendReceiveLog:
      RefreshSharedFolder(paths.jyusinPaths.pet, paths.jyusinPaths.shared);
      RefreshSharedFolder(paths.sousinPaths.pet, paths.sousinPaths.shared);
      break;
    case kSnacks:
      RefreshSharedFolder(paths.oyatsuPaths.pet, paths.oyatsuPaths.shared);
      break;
    case kTreasureBox:
      RefreshSharedFolder(paths.tzPaths.pet, paths.tzPaths.shared);
      break;
  }
}

// The shared folder ends up holding exactly the pet's files. The pet's files
// are copied in first and the shared files the pet does not have are removed
// only after every copy succeeded, so a failed copy never leaves the shared
// copy emptied.
void ShareDialog::RefreshSharedFolder(const std::filesystem::path& petFolder,
                                      const std::filesystem::path& sharedFolder) {
  ui::Host& host = launcher_.env().host;
  if (AnyFileMatches(petFolder)) {
    const FolderOpResult copied = ShellFileOp(petFolder / "*.*", sharedFolder, ShellOp::Copy);
    if (!copied.ok()) {
      TellIn(host, form_,
             copied.result.Describe() + kCrLf + PathText(sharedFolder) +
                 " にあったファイルは削除せずに残しました",
             ui::Icon::kExclamation);
      return;
    }
  }
  std::vector<std::string> problems;
  for (const std::string& name : ListNames(sharedFolder, "*.*", Pick::Files)) {
    if (FileExists(petFolder / U8Path(name))) continue;
    const OpResult removed = Fs().Delete(sharedFolder / U8Path(name));
    if (!removed.ok()) problems.push_back(removed.Describe());
  }
  if (problems.empty()) return;
  std::string text;
  for (const std::string& p : problems) text += (text.empty() ? "" : kCrLf) + p;
  TellIn(host, form_, text, ui::Icon::kExclamation);
}

// ---- detailed settings ----------------------------------------------------

namespace {

struct FieldRow {
  int index;          // Text1 index
  ui::Twips top;      // of the field
  const char* label;
  int tab;
};
const FieldRow kFields[] = {
    {8, 240, "ポストペットのインストール先", 19},
    {0, 840, "ポストペット本体のファイル名", 0},
    {1, 1920, "宝箱ファイルのあるフォルダ名", 2},
    {2, 2520, "ペット設定ファイル名", 4},
    {3, 3120, "お友達帳ファイル名", 6},
    {4, 3720, "宝箱ファイル名", 8},
    {5, 4320, "受信簿フォルダ名", 11},
    {6, 4920, "送信簿フォルダ名", 12},
    {7, 5520, "おやつフォルダ名", 15},
};

// The text fields of the detailed settings, by Text1 index.
std::string* FieldValue(Settings& s, int index) {
  switch (index) {
    case 0: return &s.ppName;
    case 1: return &s.tzDir;
    case 2: return &s.ppcName;
    case 3: return &s.friendName;
    case 4: return &s.tzName;
    case 5: return &s.jyusinDir;
    case 6: return &s.sousinDir;
    case 7: return &s.oyatsuDir;
  }
  return nullptr;
}

}  // namespace

SettingsDialog::SettingsDialog(Settings& settings, SettingsStore& store, ui::Host& host)
    : settings_(settings), store_(store), host_(host) {
  form_.SetCaption("詳細設定");
  form_.SetClientSize(4560, 6375);
  form_.SetBorder(ui::Border::kFixedSingle);
  form_.SetShowInTaskbar(false);

  for (const FieldRow& f : kFields) {
    auto& label = form_.AddLabel("Label1", {120, f.top - 240, 4335, 180}, nullptr, f.index);
    label.SetCaption(f.label);
    auto& text = form_.AddTextBox("Text1", {120, f.top, f.index == 8 ? 3975 : 4335, 270}, nullptr, f.index);
    text.SetTabIndex(f.tab);
  }
  auto& ns = form_.AddCheckBox("Check1", {360, 1200, 2295, 255});
  ns.SetCaption("nsオプションを有効にする");
  ns.SetTabIndex(17);

  auto& browse = form_.AddButton("Command3", {4200, 240, 255, 255});
  browse.SetCaption("...");
  browse.SetToolTip("参照");
  browse.SetTabIndex(21);
  browse.on_click = [this] { Browse(); };
  auto& special = form_.AddButton("Command2", {120, 5880, 2895, 375});
  special.SetCaption("ノクタ・ミラ用設定");
  special.SetTabIndex(18);
  special.on_click = [this] {
    SpecialDialog dialog(settings_, store_, host_);
    host_.ShowModal(dialog.form(), &form_);
  };
  auto& ok = form_.AddButton("Command1", {3120, 5880, 1335, 375});
  ok.SetCaption("OK");
  ok.SetTabIndex(10);
  ok.on_click = [this] { Ok(); };

  form_.on_load = [this] { Load(); };
}

void SettingsDialog::Load() {
  form_.Get<ui::TextBox>("Text1", 8).SetText(PathText(settings_.ppDir));
  for (int i = 0; i < 8; ++i) form_.Get<ui::TextBox>("Text1", i).SetText(*FieldValue(settings_, i));
  form_.Get<ui::CheckBox>("Check1").SetValue(settings_.flgSopt1 != 0 ? 1 : 0);
}

void SettingsDialog::Browse() {
  ui::OpenFileRequest request;
  request.title = "ポストペットのインストール先";
  request.filters = {{"ポストペット本体", "*.exe"}};
  request.initial_folder = settings_.ppDir;
  request.owner = &form_;
  const std::filesystem::path chosen = host_.ChooseOpenFile(request);
  if (chosen.empty()) return;
  const std::string text = PathText(chosen);
  const std::size_t slash = text.find_last_of("\\/");
  if (slash == std::string::npos) return;
  std::string folder = text.substr(0, slash);
  // "C:" alone would name the current folder of drive C, not its root.
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  form_.Get<ui::TextBox>("Text1", 8).SetText(folder);
}

void SettingsDialog::Ok() {
  for (int i = 0; i < 8; ++i) *FieldValue(settings_, i) = form_.Get<ui::TextBox>("Text1", i).Text();
  settings_.flgSopt1 = form_.Get<ui::CheckBox>("Check1").Value();
  settings_.ppDir = U8Path(form_.Get<ui::TextBox>("Text1", 8).Text());
  settings_.MakeHostPaths();
  TellFailureIn(host_, form_, SaveSettings(settings_, store_));
  host_.Unload(form_);
}

// ---- special-kind host settings -------------------------------------------

SpecialDialog::SpecialDialog(const Settings& settings, SettingsStore& store, ui::Host& host)
    : settings_(settings), store_(store), host_(host) {
  form_.SetCaption("ノクタ・ミラ用設定");
  form_.SetClientSize(4575, 5295);
  form_.SetBorder(ui::Border::kFixedSingle);
  form_.SetShowInTaskbar(false);

  // The two locations, index 0 the ordinary executable, 1 the patched one:
  // a label, the path field and its "..." button each. The first label is as
  // wide as the second, so that the Japanese font's caption fits.
  struct Location {
    ui::Twips top;  // of the label; the field and the button lie 240 below it
    const char* caption;
    const char* tip;
    int labelTab, textTab, buttonTab;
  };
  const Location locations[2] = {
      {0, "通常ペット用ポストペット本体の場所", "書き換えをしていない元の状態のポスペを指定してください", 1, 0, 7},
      {600, "ノクタ・ミラ用ポストペット本体の場所", "書き換えたポスペを指定してください", 3, 2, 8},
  };
  for (int i = 0; i < 2; ++i) {
    const Location& at = locations[i];
    auto& label = form_.AddLabel("Label1", {120, at.top, 3450, 180}, nullptr, i);
    label.SetCaption(at.caption);
    label.SetTabIndex(at.labelTab);
    auto& text = form_.AddTextBox("Text1", {120, at.top + 240, 3975, 270}, nullptr, i);
    text.SetToolTip(at.tip);
    text.SetTabIndex(at.textTab);
    auto& browse = form_.AddButton("Command1", {4200, at.top + 240, 255, 255}, nullptr, i);
    browse.SetCaption("...");
    browse.SetToolTip("参照");
    browse.SetTabIndex(at.buttonTab);
    browse.on_click = [this, i] { Browse(i); };
  }

  auto& hint = form_.AddLabel("Label2", {120, 1200, 4335, 375});
  hint.SetCaption("チェックを入れたペットはノクタ・ミラ用のポストペット本体で起動します");
  hint.SetTabIndex(5);
  auto& list = form_.AddCheckList("List1", {120, 1680, 4335, 3000});
  list.SetTabIndex(4);
  auto& ok = form_.AddButton("Command2", {3000, 4800, 1455, 375});
  ok.SetCaption("OK");
  ok.SetTabIndex(6);
  ok.on_click = [this] { host_.Unload(form_); };

  form_.on_load = [this] { Load(); };
  // Every way out saves, the close box too.
  form_.on_unload = [this](ui::UnloadReason) { Save(); };
}

std::filesystem::path SpecialDialog::OrdinaryCopy() const {
  return settings_.ppDir / U8Path("通常用_" + settings_.ppName);
}

std::filesystem::path SpecialDialog::PatchedCopy() const {
  return settings_.ppDir / U8Path("ノクタ用_" + settings_.ppName);
}

void SpecialDialog::Load() {
  form_.Get<ui::TextBox>("Text1", 0).SetText(store_.Get(key::kPpexe1).value_or(""));
  form_.Get<ui::TextBox>("Text1", 1).SetText(store_.Get(key::kPpexe2).value_or(""));

  auto& list = form_.Get<ui::ListBox>("List1");
  list.SetVisible(false);
  for (const std::string& pet : ListPets(settings_.ppDir, settings_.ppcName)) list.AddItem(pet);

  const std::filesystem::path D = settings_.ppDir;
  if (!FileExists(SpecialMarksFile(D))) TellFailureIn(host_, form_, WriteSpecialMarks(D, {}));
  const SpecialMarksRead marks = ReadSpecialMarks(D);
  TellFailureIn(host_, form_, marks.error);
  // The entries of each name (two settings files can register one name):
  // every mark finds its entries at once, however many pets there are.
  std::unordered_map<std::string, std::vector<int>> entries;
  for (int i = 0; i < list.Count(); ++i) entries[list.Item(i)].push_back(i);
  for (const SpecialMark& mark : marks.records) {
    if (!mark.usable) continue;
    const auto found = entries.find(mark.name);
    if (found == entries.end()) continue;
    for (int i : found->second) list.SetChecked(i, mark.patched);
  }
  list.SetVisible(true);
}

void SpecialDialog::Browse(int index) {
  ui::OpenFileRequest request;
  request.title = index == 0 ? "通常ペット用ポストペット本体" : "ノクタ・ミラ用ポストペット本体";
  request.filters = {{"ポストペット本体", "*.exe"}};
  request.initial_folder = settings_.ppDir;
  request.owner = &form_;
  const std::filesystem::path chosen = host_.ChooseOpenFile(request);
  if (!chosen.empty()) form_.Get<ui::TextBox>("Text1", index).SetText(PathText(chosen));
}

bool SpecialDialog::Keep(const std::string& path, const std::filesystem::path& copy, bool* copied) {
  *copied = false;
  if (path == PathText(copy)) return true;
  const std::filesystem::path from = U8Path(path);
  if (!FileExists(from)) {
    TellIn(host_, form_,
           path + "が見つかりません" + kCrLf + PathText(copy) + "にコピーできませんでした" + kCrLf +
               "正しい場所を指定しなおしてください",
           ui::Icon::kExclamation);
    return false;
  }
  if (TellFailureIn(host_, form_, CopyOneFile(from, copy))) return false;
  *copied = true;
  return true;
}

void SpecialDialog::Save() {
  auto& text0 = form_.Get<ui::TextBox>("Text1", 0);
  auto& text1 = form_.Get<ui::TextBox>("Text1", 1);
  if (!text0.Text().empty() && !text1.Text().empty()) {
    const std::string ordinary = text0.Text();
    const std::string patched = text1.Text();
    bool copied0 = false, copied1 = false;
    const bool keep0 = Keep(ordinary, OrdinaryCopy(), &copied0);
    const bool keep1 = Keep(patched, PatchedCopy(), &copied1);
    if (copied0 && copied1) {
      TellIn(host_, form_,
             ordinary + "を" + PathText(OrdinaryCopy()) + "にコピーしました" + kCrLf + patched + "を" +
                 PathText(PatchedCopy()) + "にコピーしました",
             ui::Icon::kInformation);
    }
    // A location that could not be kept stays as typed, so the next start
    // reports it again.
    if (keep0) text0.SetText(PathText(OrdinaryCopy()));
    if (keep1) text1.SetText(PathText(PatchedCopy()));
  }
  TellFailureIn(host_, form_, WriteSpecialExes(store_, U8Path(text0.Text()), U8Path(text1.Text())));

  const auto& list = form_.Get<ui::ListBox>("List1");
  std::vector<SpecialMark> marks;
  bool anyTicked = false;
  for (int i = 0; i < list.Count(); ++i) {
    SpecialMark mark;
    mark.name = list.Item(i);
    mark.patched = list.Checked(i);
    anyTicked = anyTicked || mark.patched;
    marks.push_back(std::move(mark));
  }
  const std::filesystem::path D = settings_.ppDir;
  TellFailureIn(host_, form_, WriteSpecialMarks(D, marks));
  if (anyTicked && (text0.Text().empty() || text1.Text().empty())) {
    TellIn(host_, form_,
           std::string("通常用、ノクタ・ミラ用のポストペット本体の場所が指定されていません") + kCrLf +
               "設定するまでチェックは有効になりません",
           ui::Icon::kExclamation);
    if (FileExists(SpecialMarksFile(D))) TellFailureIn(host_, form_, Fs().Delete(SpecialMarksFile(D)));
  }
}

}  // namespace lup
