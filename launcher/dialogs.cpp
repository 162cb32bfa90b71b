#include "launcher/dialogs.h"

#include <unordered_map>
#include <vector>

#include "base/text.h"
#include "core/fsquery.h"
#include "core/fssteps.h"
#include "core/listfiles.h"
#include "core/pets.h"

namespace lup {

namespace {

// ---- share settings -------------------------------------------------------

struct KindText {
  const char* caption;
  const char* question;
  const char* overwrite;
};
const KindText kKinds[4] = {
    {"おともだち帳", "のおともだち帳を共有にコピーしますか？",
     "既に共有のおともだち帳がある場合、上書きされます"},
    {"送受信簿", "の送受信簿を共有にコピーしますか？",
     "既に共有の送受信簿がある場合、上書きされます"},
    {"おやつ", "のおやつを共有にコピーしますか？", "既に共有のおやつがある場合、上書きされます"},
    {"宝物", "の宝箱を共有にコピーしますか？", "既に共有の宝箱がある場合、上書きされます"},
};

}  // namespace

ShareDialog::ShareDialog(ui::Host& host, PetStore store, int row, const Pet& pet, Release release,
                         Apply apply)
    : host_(host),
      store_(std::move(store)),
      row_(row),
      pet_(pet.name),
      original_(pet.flags),
      release_(std::move(release)),
      apply_(std::move(apply)) {
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
  form_.SetDefaultButton(&ok);

  // What the pet list hands over: the name and the four flags.
  name.SetCaption(pet.name);
  for (int k = 0; k < 4; ++k) checks_[k]->SetValue(pet.flags[k] != 0 ? 1 : 0);
}

bool ShareDialog::Released() {
  if (!released_) released_ = release_();
  return released_;
}

void ShareDialog::Ok() {
  ShareFlags flags{};
  for (int k = 0; k < 4; ++k) {
    flags[k] = checks_[k]->Value() != 0 ? 1 : 0;
    if (!flags[k]) continue;
    const std::string question = pet_ + kKinds[k].question + kCrLf + kKinds[k].overwrite;
    if (say_.Ask(question, ui::Buttons::kYesNo, ui::Icon::kNone, 1) != ui::Answer::kYes) continue;
    // The host copies may hold the current pet's newer data of this kind.
    if (!Released()) return;
    const OpResult copied = store_.CopyToShared(pet_, static_cast<DataKind>(k));
    // A failed copy leaves the shared copy's old files where they were.
    say_.TellFailure(copied, copied.action == Action::Copy ? "共有のファイルは削除せずに残しました"
                                                           : std::string());
  }
  for (int k = 0; k < 4; ++k)
    if ((flags[k] != 0) != (original_[k] != 0) && !Released()) return;
  if (released_) apply_(row_, flags);
  host_.Unload(form_);
}

// ---- detailed settings ----------------------------------------------------

namespace {

struct FieldRow {
  int index;      // Text1 index
  ui::Twips top;  // of the field
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
    case 0:
      return &s.hostExeName;
    case 1:
      return &s.treasureFolderName;
    case 2:
      return &s.petFileName;
    case 3:
      return &s.friendBookName;
    case 4:
      return &s.treasureBoxName;
    case 5:
      return &s.receivedFolderName;
    case 6:
      return &s.sentFolderName;
    case 7:
      return &s.snackFolderName;
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
    auto& text =
        form_.AddTextBox("Text1", {120, f.top, f.index == 8 ? 3975 : 4335, 270}, nullptr, f.index);
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
  // Where Windows keeps what the host writes, told once here: the pets'
  // data is not in the folder above but in the user's VirtualStore.
  int buttonsTop = 5880;
  if (settings_.hostView == os::HostView::kVirtualStore && !settings_.hostDataFolder.empty()) {
    auto& note = form_.AddLabel("dataFolder", {120, 5880, 4335, 1260});
    note.SetCaption("Windows がポストペットの書き込みを移しているため、ペットのデータは次のフォルダにあります（バックアップも）：" +
                    std::string(kCrLf) + PathText(settings_.hostDataFolder));
    buttonsTop += 1380;
    form_.SetClientSize(4560, 6375 + 1380);
  }
  auto& special = form_.AddButton("Command2", {120, buttonsTop, 2895, 375});
  special.SetCaption("ノクタ・ミラ用設定");
  special.SetTabIndex(18);
  special.on_click = [this] {
    SpecialDialog dialog(settings_, store_, host_);
    host_.ShowModal(dialog.form(), &form_);
  };
  auto& ok = form_.AddButton("Command1", {3120, buttonsTop, 1335, 375});
  ok.SetCaption("OK");
  ok.SetTabIndex(10);
  ok.on_click = [this] { Ok(); };
  form_.SetDefaultButton(&ok);

  form_.on_load = [this] { Load(); };
}

void SettingsDialog::Load() {
  form_.Get<ui::TextBox>("Text1", 8).SetText(PathText(settings_.hostFolder));
  for (int i = 0; i < 8; ++i) form_.Get<ui::TextBox>("Text1", i).SetText(*FieldValue(settings_, i));
  form_.Get<ui::CheckBox>("Check1").SetValue(settings_.nsOption != 0 ? 1 : 0);
}

void SettingsDialog::Browse() {
  ui::OpenFileRequest request;
  request.title = "ポストペットのインストール先";
  request.filters = {{"ポストペット本体", "*.exe"}};
  request.initial_folder = settings_.hostFolder;
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
  settings_.nsOption = form_.Get<ui::CheckBox>("Check1").Value();
  settings_.hostFolder = U8Path(form_.Get<ui::TextBox>("Text1", 8).Text());
  settings_.hostFolderAsSet.clear();  // what the user typed is what is stored
  settings_.MakeHostPaths();
  say_.TellFailure(SaveSettings(settings_, store_));
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
      {0, "通常ペット用ポストペット本体の場所",
       "書き換えをしていない元の状態のポスペを指定してください", 1, 0, 7},
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
  form_.SetDefaultButton(&ok);

  form_.on_load = [this] { Load(); };
  // Every way out saves, the close box too.
  form_.on_unload = [this](ui::UnloadReason) { Save(); };
}

std::filesystem::path SpecialDialog::OrdinaryCopy() const { return PetStore(settings_).HostProgramCopy(false); }

std::filesystem::path SpecialDialog::PatchedCopy() const { return PetStore(settings_).HostProgramCopy(true); }

void SpecialDialog::Load() {
  form_.Get<ui::TextBox>("Text1", 0).SetText(store_.Get(key::kPpexe1).value_or(""));
  form_.Get<ui::TextBox>("Text1", 1).SetText(store_.Get(key::kPpexe2).value_or(""));

  auto& list = form_.Get<ui::ListBox>("List1");
  list.SetVisible(false);
  const PetStore store(settings_);
  std::vector<std::string> pets;
  say_.TellFailure(store.PetNames(&pets));
  for (const std::string& pet : pets) list.AddItem(pet);

  const std::filesystem::path D = settings_.hostFolder;
  if (!FileExists(SpecialMarksFile(D))) say_.TellFailure(store.SavePatchedMarks({}));
  const SpecialMarksRead marks = store.ReadPatchedMarks();
  say_.TellFailure(marks.error);
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
  request.initial_folder = settings_.hostFolder;
  request.owner = &form_;
  const std::filesystem::path chosen = host_.ChooseOpenFile(request);
  if (!chosen.empty()) form_.Get<ui::TextBox>("Text1", index).SetText(PathText(chosen));
}

bool SpecialDialog::Keep(const std::string& path, bool patched, bool* copied) {
  *copied = false;
  const std::filesystem::path copy = patched ? PatchedCopy() : OrdinaryCopy();
  if (path == PathText(copy)) return true;
  const std::filesystem::path from = U8Path(path);
  if (!FileExists(from)) {
    say_.Tell(path + "が見つかりません" + kCrLf + PathText(copy) + "にコピーできませんでした" +
                  kCrLf + "正しい場所を指定しなおしてください",
              ui::Icon::kExclamation);
    return false;
  }
  if (say_.TellFailure(PetStore(settings_).KeepHostProgram(from, patched))) return false;
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
    const bool keep0 = Keep(ordinary, false, &copied0);
    const bool keep1 = Keep(patched, true, &copied1);
    if (copied0 && copied1) {
      say_.Tell(ordinary + "を" + PathText(OrdinaryCopy()) + "にコピーしました" + kCrLf + patched +
                    "を" + PathText(PatchedCopy()) + "にコピーしました",
                ui::Icon::kInformation);
    }
    // A location that could not be kept stays as typed, so the next start
    // reports it again.
    if (keep0) text0.SetText(PathText(OrdinaryCopy()));
    if (keep1) text1.SetText(PathText(PatchedCopy()));
  }
  say_.TellFailure(WriteSpecialExes(store_, U8Path(text0.Text()), U8Path(text1.Text())));

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
  const std::filesystem::path D = settings_.hostFolder;
  const PetStore store(settings_);
  say_.TellFailure(store.SavePatchedMarks(marks));
  if (anyTicked && (text0.Text().empty() || text1.Text().empty())) {
    say_.Tell(std::string("通常用、ノクタ・ミラ用のポストペット本体の場所が指定されていません") +
                  kCrLf + "設定するまでチェックは有効になりません",
              ui::Icon::kExclamation);
    say_.TellFailure(store.ForgetPatchedMarks());
  }
}

}  // namespace lup
