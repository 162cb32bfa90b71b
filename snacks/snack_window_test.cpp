#include "snacks/snack_window.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/fileops.h"
#include "core/listfiles.h"
#include "tests/support/host_folder.h"
#include "base/text.h"
#include "snacks/snack_test_files.h"
#include "ui/headless/headless_host.h"

namespace lup::snacks {
namespace {

namespace fs = std::filesystem;
using lup::test::ReadBytes;
using lup::test::WriteBytes;
using test::PutSnack;
using test::SnackSpec;
using ui::Answer;
using ui::Grid;

constexpr CivilDate kToday{2024, 6, 15};

// A snack opened long ago that keeps 3 days: red today.
SnackSpec Expired(std::string name) {
  SnackSpec s;
  s.name = std::move(name);
  s.keepDays = 3;
  s.opened = {2024, 6, 1};
  return s;
}

SnackSpec Fresh(std::string name, int count = 3) {
  SnackSpec s;
  s.name = std::move(name);
  s.count = count;
  return s;
}

int CountField(const fs::path& file) {
  const std::string b = ReadBytes(file);
  return static_cast<unsigned char>(b.at(881)) + 256 * static_cast<unsigned char>(b.at(882));
}

bool OpenedBlockZero(const fs::path& file) {
  const std::string b = ReadBytes(file);
  for (std::size_t i = 889; i <= 902; ++i)
    if (b.at(i) != 0) return false;
  return true;
}

class SnackWindowTest : public ::testing::Test, public lup::test::HostFolder {
 protected:
  fs::path Folder(std::string_view entry) const { return ResolveSnackFolder(D(), entry); }
  fs::path Live() const { return Folder(kLiveEntry); }
  fs::path SnackFile(std::string_view entry, std::string_view file) const {
    return Folder(entry) / U8Path(file);
  }
  void MakeFolder(std::string_view entry) { fs::create_directories(Folder(entry)); }
  void Put(std::string_view entry, std::string_view file, const SnackSpec& spec) {
    fs::create_directories(Folder(entry));
    PutSnack(SnackFile(entry, file), spec);
  }
  void SetCurrentPet(std::string_view name) { ASSERT_TRUE(WriteCurrentPet(D(), name).ok()); }
  void SetSnackShared(std::string_view name, int flag) {
    ShareRecord r;
    r.name = std::string(name);
    r.flags = {0, 0, flag, 0};
    ASSERT_TRUE(WriteShareList(D(), {r}).ok());
  }

  void Open() {
    window = std::make_unique<SnackWindow>(
        host, SnackEnv{store, processes, Programs(), version,
                       [this] { return today; }});
    host.Show(window->form());
  }

  ui::Form& form() { return window->form(); }
  Grid& grid() { return form().Get<Grid>("Grid1"); }
  ui::ComboBox& list(int i) { return form().Get<ui::ComboBox>("Combo1", i); }
  ui::Control& control(const char* name) { return form().GetControl(name); }
  void SelectSource(std::string_view entry) { SelectIn(0, entry); }
  void SelectTarget(std::string_view entry) { SelectIn(1, entry); }
  void SelectIn(int i, std::string_view entry) {
    const auto& items = list(i).Items();
    for (std::size_t k = 0; k < items.size(); ++k) {
      if (items[k] == entry) {
        host.Select(form(), {"Combo1", i}, static_cast<int>(k));
        return;
      }
    }
    FAIL() << "no entry " << entry;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> out;
    for (int r = 1; r < grid().Rows(); ++r) out.push_back(grid().Cell(r, 0));
    return out;
  }
  void Click(const char* name) { host.Click(form(), name); }
  void TypeCount(std::string_view text) { host.Type(form(), "Text1", text); }
  // Snacks 1.pac (おかし1) to N.pac in pet a, an empty folder for pet b;
  // the window shows a with b as the target.
  void OpenAToB(int snacks) {
    for (int i = 1; i <= snacks; ++i)
      Put("a", std::to_string(i) + ".pac", Fresh("おかし" + std::to_string(i)));
    MakeFolder("b");
    Open();
    SelectSource("a");
    SelectTarget("b");
  }

  VersionNumber version{1, 6, 4};
  CivilDate today = kToday;
  ui::headless::HeadlessHost host;
  std::unique_ptr<SnackWindow> window;
};

// ---- start-up ---------------------------------------------------------------

TEST_F(SnackWindowTest, MissingHostOkStartsTheLauncherMinimisedAndEnds) {
  fs::remove(D() / U8Path("PostPet20.exe"));
  store.Set("pp_name", "PP.exe");
  host.ExpectMessage(Answer::kOk)
      .Title(kTitle)
      .With(ui::Buttons::kOkCancel)
      .With(ui::Icon::kExclamation)
      .Text("PP.exeが見つかりません\r\n現在ポストペットのインストール先は" + PathText(D()) +
            "になっています\r\n詳細設定を変更するため、ルピナ・ヴィラを起動します");
  Open();
  ASSERT_EQ(processes.started.size(), 1u);
  EXPECT_EQ(processes.started[0].program, Programs() / "lupina.exe");
  EXPECT_EQ(processes.started[0].arguments, "");
  EXPECT_EQ(processes.started[0].show, ShowState::MinimizedFocus);
  EXPECT_TRUE(host.ended());
  EXPECT_FALSE(form().Visible());
}

TEST_F(SnackWindowTest, MissingHostCancelEndsWithoutStartingAnything) {
  fs::remove(D() / U8Path("PostPet20.exe"));
  host.ExpectMessage(Answer::kCancel).TextHas("PostPet20.exeが見つかりません");
  Open();
  EXPECT_TRUE(processes.started.empty());
  EXPECT_TRUE(host.ended());
  EXPECT_FALSE(form().Visible());
}

TEST_F(SnackWindowTest, ALauncherThatCannotStartIsReported) {
  fs::remove(D() / U8Path("PostPet20.exe"));
  processes.failStart = "指定されたファイルが見つかりません。";
  host.ExpectMessage(Answer::kOk).With(ui::Buttons::kOkCancel);
  host.ExpectMessage(Answer::kOk).TextHas("lupina.exe を起動できませんでした").TextHas("見つかりません");
  Open();
  EXPECT_TRUE(host.ended());
}

TEST_F(SnackWindowTest, ListsReverseTheListingWithTheSharedFolderOnTop) {
  Put("a", "a1.pac", Fresh("あめ"));
  MakeFolder("b");
  Put(kSharedEntry, "s1.pac", Fresh("せんべい"));
  Open();
  const std::vector<std::string> expected{"共有", "b", "a"};
  EXPECT_EQ(list(0).Items(), expected);
  EXPECT_EQ(list(1).Items(), expected);
  EXPECT_TRUE(list(0).Visible());
  EXPECT_TRUE(list(1).Visible());
  EXPECT_EQ(list(0).SelectedText(), "共有");
  EXPECT_EQ(list(1).SelectedText(), "共有");
  EXPECT_EQ(Names(), std::vector<std::string>{"せんべい"});
  EXPECT_FALSE(control("btn_move").Enabled());
  EXPECT_FALSE(control("btn_copy").Enabled());
  EXPECT_FALSE(control("btn_cnt").Enabled());
  EXPECT_EQ(form().Caption(), kTitle);
  EXPECT_EQ(grid().Cell(0, 0), "名前");
  EXPECT_EQ(grid().Cell(0, 1), "個数");
  EXPECT_GT(grid().ColWidth(1), 0);
  EXPECT_EQ(grid().ColWidth(2), 0);  // the file names stay hidden

  // Choosing another target enables move and copy; the same one disables them.
  SelectTarget("a");
  EXPECT_TRUE(control("btn_move").Enabled());
  EXPECT_TRUE(control("btn_copy").Enabled());
  SelectSource("a");
  EXPECT_EQ(Names(), std::vector<std::string>{"あめ"});
  EXPECT_FALSE(control("btn_move").Enabled());
}

TEST_F(SnackWindowTest, WithoutTheSharedFolderOnlyPetsAreListed) {
  MakeFolder("a");
  MakeFolder("b");
  Open();
  EXPECT_EQ(list(0).Items(), (std::vector<std::string>{"b", "a"}));
}

TEST_F(SnackWindowTest, WithNoSnackFolderTheLiveFolderIsTheOnlyEntry) {
  Put(kLiveEntry, "x.pac", Fresh("ぐみ"));
  Open();
  EXPECT_EQ(list(0).Items(), std::vector<std::string>{"おやつ"});
  EXPECT_EQ(list(1).Items(), std::vector<std::string>{"おやつ"});
  EXPECT_EQ(Names(), std::vector<std::string>{"ぐみ"});
  EXPECT_FALSE(control("btn_move").Enabled());
  EXPECT_FALSE(control("btn_copy").Enabled());
}

TEST_F(SnackWindowTest, EntryNamesComeFromTheTextBeforeTheFirstUnderscore) {
  MakeFolder("z");
  fs::create_directories(D() / U8Path("a_b_おやつ"));   // gives "a"
  fs::create_directories(D() / U8Path("a_おやつ"));     // "a" again: listed once
  WriteBytes(D() / U8Path("c_おやつ"), "");             // a plain file still gives "c"
  fs::create_directories(D() / U8Path("_おやつ"));      // no pet name
  fs::create_directories(D() / U8Path("共有_おやつ"));  // would stand for the shared folder
  fs::create_directories(D() / U8Path("おやつ_おやつ")); // would stand for the live folder
  fs::create_directories(D() / U8Path("おやつ"));       // no "_"
  Open();
  EXPECT_EQ(list(0).Items(), (std::vector<std::string>{"z", "c", "a"}));
}

TEST_F(SnackWindowTest, APlainFileEntryShowsNoSnacksAndIsNoTarget) {
  WriteBytes(D() / U8Path("c_おやつ"), "");
  Put("a", "a1.pac", Fresh("あめ"));
  host.ExpectMessage(Answer::kOk).TextHas("c_おやつ のおやつを一覧にできませんでした");
  Open();  // "c" comes first
  EXPECT_TRUE(Names().empty());
  SelectSource("a");
  SelectTarget("c");
  host.ExpectMessage(Answer::kOk).TextHas("c_おやつ フォルダが見つからない").TextHas("何も変更していません");
  Click("btn_copy");
  EXPECT_TRUE(fs::is_regular_file(SnackFile("a", "a1.pac")));
  EXPECT_EQ(ReadBytes(D() / U8Path("c_おやつ")), "");
}

// ---- the grid ---------------------------------------------------------------

TEST_F(SnackWindowTest, GridShowsNameCountPathAndExpiredRowsInRed) {
  Put("a", "1.pac", Fresh("あめ", 5));
  Put("a", "2.pac", Expired("ぷりん"));
  Put("a", "3.pac", Fresh("ぐみ", kUnlimitedCount));
  SnackSpec lastGoodDay = Fresh("きょうまで");
  lastGoodDay.opened = {2024, 6, 11};
  lastGoodDay.keepDays = 4;  // good on 15 June, expired from 16 June
  Put("a", "4.pac", lastGoodDay);
  WriteBytes(Folder("a") / "notes.txt", "not a snack");
  fs::create_directories(D() / U8Path("0_おやつ"));  // "0" is listed last
  Open();
  ASSERT_EQ(Names(), (std::vector<std::string>{"あめ", "ぷりん", "ぐみ", "きょうまで"}));
  EXPECT_EQ(grid().Cell(1, 1), "5");
  EXPECT_EQ(grid().Cell(3, 1), "∞");
  EXPECT_EQ(U8Path(grid().Cell(2, 2)), SnackFile("a", "2.pac"));
  EXPECT_EQ(grid().CellColour(2, 0), ui::kRed);
  EXPECT_EQ(grid().CellColour(2, 1), ui::kRed);
  EXPECT_EQ(grid().CellColour(2, 2), std::nullopt);
  EXPECT_EQ(grid().CellColour(1, 0), std::nullopt);
  EXPECT_EQ(grid().CellColour(4, 0), std::nullopt);
  EXPECT_EQ(grid().Row(), 4);  // the last snack row is current
  EXPECT_TRUE(grid().Visible());

  // A day later the last one has gone off too (read afresh at every fill).
  today = {2024, 6, 16};
  SelectSource("0");
  SelectSource("a");
  EXPECT_EQ(grid().CellColour(4, 0), ui::kRed);
}

// Whether the columns then fit beside the scroll bar is read back under Wine.
TEST_F(SnackWindowTest, NameColumnNarrowsFromTwentyNineSnacks) {
  for (int i = 0; i < 28; ++i) Put("a", "s" + std::to_string(100 + i) + ".pac", Fresh("おかし"));
  for (int i = 0; i < 29; ++i) Put("b", "s" + std::to_string(100 + i) + ".pac", Fresh("おかし"));
  Open();
  SelectSource("a");
  EXPECT_EQ(grid().Rows(), 29);
  const ui::Twips wide = grid().ColWidth(0);
  SelectSource("b");
  EXPECT_EQ(grid().Rows(), 30);
  EXPECT_LT(grid().ColWidth(0), wide);
  SelectSource("a");
  EXPECT_EQ(grid().ColWidth(0), wide);
}

TEST_F(SnackWindowTest, GridFollowsTheListingOrder) {
  Put("a", "b.pac", Fresh("び"));
  Put("a", "A.pac", Fresh("えー"));
  Put("a", "c.PAC", Fresh("しー"));
  Open();
  EXPECT_EQ(Names(), (std::vector<std::string>{"えー", "び", "しー"}));
}

// ---- setting the count ------------------------------------------------------

TEST_F(SnackWindowTest, CountRules) {
  Put("a", "1.pac", Fresh("あめ"));
  Open();
  EXPECT_FALSE(control("btn_cnt").Enabled());
  struct Case {
    const char* typed;
    int stored;
    const char* shown;
  } cases[] = {{"-1", 65535, "∞"}, {"65535", 65535, "∞"}, {"70000", 65535, "∞"},
               {"-5", 0, "0"},     {"300", 300, "300"},   {" １２ ", 12, "12"},
               {"99999999999999999999", 65535, "∞"}};
  const std::string before = ReadBytes(SnackFile("a", "1.pac"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    TypeCount(c.typed);
    Click("btn_cnt");
    EXPECT_EQ(CountField(SnackFile("a", "1.pac")), c.stored);
    EXPECT_EQ(grid().Cell(1, 1), c.shown);
  }
  // Only the count bytes changed.
  std::string after = ReadBytes(SnackFile("a", "1.pac"));
  ASSERT_EQ(after.size(), before.size());
  after[881] = before[881];
  after[882] = before[882];
  EXPECT_EQ(after, before);

  TypeCount("");
  EXPECT_FALSE(control("btn_cnt").Enabled());
}

TEST_F(SnackWindowTest, ACountThatIsNotAWholeNumberWritesNothing) {
  Put("a", "1.pac", Fresh("あめ", 7));
  Open();
  for (const char* typed : {"abc", "1.5", "--3", "-", "3個"}) {
    SCOPED_TRACE(typed);
    TypeCount(typed);
    EXPECT_TRUE(control("btn_cnt").Enabled());
    host.ExpectMessage(Answer::kOk).Title(kTitle).TextHas("整数").TextHas(typed);
    Click("btn_cnt");
    EXPECT_EQ(CountField(SnackFile("a", "1.pac")), 7);
    EXPECT_EQ(grid().Cell(1, 1), "7");
  }
}

TEST(ParseCountText, WholeNumbersOnly) {
  EXPECT_EQ(ParseCountText("0"), 0);
  EXPECT_EQ(ParseCountText("+5"), 5);
  EXPECT_EQ(ParseCountText("－１"), 65535);
  EXPECT_EQ(ParseCountText("65534"), 65534);
  EXPECT_EQ(ParseCountText("-0"), 0);
  EXPECT_EQ(ParseCountText("-99999999999999"), 0);
  EXPECT_EQ(ParseCountText(""), std::nullopt);
  EXPECT_EQ(ParseCountText("   "), std::nullopt);
  EXPECT_EQ(ParseCountText("1 2"), std::nullopt);
  EXPECT_EQ(ParseCountText("0x10"), std::nullopt);
  EXPECT_EQ(ParseCountText("\xff"), std::nullopt);
}

TEST_F(SnackWindowTest, SettingTheCountKeepsTheColours) {
  Put("a", "1.pac", Expired("ぷりん"));
  Open();
  TypeCount("9");
  Click("btn_cnt");
  EXPECT_EQ(grid().CellColour(1, 0), ui::kRed);
  EXPECT_EQ(grid().Cell(1, 1), "9");
}

// ---- making unopened --------------------------------------------------------

TEST_F(SnackWindowTest, MakingARedRowUnopenedTurnsItWhiteAndClearsTheDate) {
  Put("a", "1.pac", Expired("ぷりん"));
  Put("a", "2.pac", Expired("ようかん"));
  fs::create_directories(D() / U8Path("0_おやつ"));
  Open();
  const std::string before = ReadBytes(SnackFile("a", "1.pac"));
  host.ClickCell(form(), "Grid1", 1, 0);
  Click("btn_new");
  EXPECT_EQ(grid().CellColour(1, 0), ui::kWhite);
  EXPECT_EQ(grid().CellColour(1, 1), ui::kWhite);
  EXPECT_EQ(grid().CellColour(2, 0), ui::kRed);
  EXPECT_TRUE(OpenedBlockZero(SnackFile("a", "1.pac")));
  EXPECT_FALSE(OpenedBlockZero(SnackFile("a", "2.pac")));
  const std::string after = ReadBytes(SnackFile("a", "1.pac"));
  EXPECT_EQ(after.substr(0, 889), before.substr(0, 889));
  EXPECT_EQ(after.substr(903), before.substr(903));
  // Read afresh, it is no longer expired.
  SelectSource("0");
  SelectSource("a");
  EXPECT_EQ(grid().CellColour(1, 0), std::nullopt);
  EXPECT_EQ(grid().CellColour(2, 0), ui::kRed);
}

// ---- each action in both directions of a selection -------------------------

class SelectionDirection : public SnackWindowTest,
                           public ::testing::WithParamInterface<std::tuple<const char*, bool>> {};

// Rows 2 to 4 of five are selected, dragging downwards or upwards; the action
// reaches exactly their files.
TEST_P(SelectionDirection, ActionCoversTheSelectedRowsOnly) {
  const std::string action = std::get<0>(GetParam());
  const bool upwards = std::get<1>(GetParam());
  for (int i = 1; i <= 5; ++i) Put("a", std::to_string(i) + ".pac", Expired("おかし" + std::to_string(i)));
  MakeFolder("b");
  Open();
  SelectSource("a");
  SelectTarget("b");
  if (upwards) host.DragRows(form(), "Grid1", 4, 2);
  else host.DragRows(form(), "Grid1", 2, 4);
  if (action == "btn_cnt") TypeCount("0");
  Click(action.c_str());

  auto touched = [&](int i) {
    const fs::path a = SnackFile("a", std::to_string(i) + ".pac");
    const fs::path b = SnackFile("b", std::to_string(i) + ".pac");
    if (action == "btn_cnt") return CountField(a) == 0;
    if (action == "btn_new") return OpenedBlockZero(a);
    if (action == "btn_copy") return fs::exists(a) && fs::exists(b);
    if (action == "btn_move") return !fs::exists(a) && fs::exists(b);
    return !fs::exists(a) && !fs::exists(b);  // btn_del
  };
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(touched(i), i >= 2 && i <= 4) << "file " << i;
}

INSTANTIATE_TEST_SUITE_P(Actions, SelectionDirection,
                         ::testing::Combine(::testing::Values("btn_cnt", "btn_new", "btn_copy",
                                                              "btn_move", "btn_del"),
                                            ::testing::Bool()));

// ---- mirroring into the live folder -----------------------------------------

// Pets a (current, its own snacks) and b, the shared folder, and the live
// folder holding a's snacks; each snack file exists in every folder.
class MirrorTest : public SnackWindowTest {
 protected:
  void SetUp() override {
    for (const char* entry : {"a", "b", kSharedEntry, kLiveEntry}) {
      Put(entry, "x.pac", Expired("えくす"));
      Put(entry, "y.pac", Fresh("わい", 4));
    }
    SetCurrentPet("a");
  }
  // Selects the source and its row of x.pac.
  void OnX(std::string_view source) {
    SelectSource(source);
    for (int r = 1; r < grid().Rows(); ++r) {
      if (U8Path(grid().Cell(r, 2)).filename() == "x.pac") {
        host.ClickCell(form(), "Grid1", r, 0);
        return;
      }
    }
    FAIL() << "x.pac not listed";
  }
  fs::path LiveX() const { return Live() / "x.pac"; }
};

TEST_F(MirrorTest, CountAndUnopenedReachTheLiveFolderOnlyFromTheCurrentPet) {
  Open();
  EXPECT_EQ(window->liveOwner(), std::optional<std::string>("a"));
  for (const char* source : {"b", kSharedEntry}) {
    SCOPED_TRACE(source);
    OnX(source);
    TypeCount("11");
    Click("btn_cnt");
    Click("btn_new");
    EXPECT_EQ(CountField(SnackFile(source, "x.pac")), 11);
    EXPECT_EQ(CountField(LiveX()), 3);
    EXPECT_FALSE(OpenedBlockZero(LiveX()));
  }
  OnX("a");
  TypeCount("12");
  Click("btn_cnt");
  EXPECT_EQ(CountField(LiveX()), 12);
  Click("btn_new");
  EXPECT_TRUE(OpenedBlockZero(LiveX()));
}

TEST_F(MirrorTest, WritesInTheLiveFolderOnlyWhereTheFileExists) {
  fs::remove(LiveX());
  Open();
  OnX("a");
  TypeCount("2");
  Click("btn_cnt");
  Click("btn_new");
  Click("btn_del");
  EXPECT_TRUE(host.messages().empty());
  EXPECT_FALSE(fs::exists(LiveX()));
  EXPECT_FALSE(fs::exists(SnackFile("a", "x.pac")));
}

TEST_F(MirrorTest, DiscardReachesTheLiveFolderOnlyFromTheCurrentPet) {
  Open();
  OnX("b");
  Click("btn_del");
  EXPECT_TRUE(fs::exists(LiveX()));
  // The shared folder is not what the live folder holds for a pet with its
  // own snacks: a's own snack of that name stays.
  OnX(kSharedEntry);
  Click("btn_del");
  EXPECT_FALSE(fs::exists(SnackFile(kSharedEntry, "x.pac")));
  EXPECT_TRUE(fs::exists(LiveX()));
  OnX("a");
  Click("btn_del");
  EXPECT_FALSE(fs::exists(LiveX()));
  EXPECT_TRUE(fs::exists(Live() / "y.pac"));
}

// Her next put-away takes the live folder as her snacks: the live copy goes
// first, so that a discard cut short after it is finished by the next call
// instead of coming back; a read-only snack of hers keeps both copies.
TEST_F(MirrorTest, RemovingTheCurrentPetsSnackTakesTheLiveCopyFirst) {
  Open();
  OnX("a");
  {
    FileOps ops;
    ScopedFileOps scoped(ops);
    ops.FailAt(2, std::make_error_code(std::errc::permission_denied));
    host.ExpectMessage(Answer::kOk).TextHas("次のおやつを捨てられませんでした").TextHas("x.pac");
    Click("btn_del");
    ASSERT_FALSE(ops.Journal().empty());
    EXPECT_EQ(ops.Journal().front().path, LiveX());
  }
  EXPECT_FALSE(fs::exists(LiveX()));
  EXPECT_TRUE(fs::exists(SnackFile("a", "x.pac")));

  PutSnack(LiveX(), Expired("えくす"));
  fs::permissions(SnackFile("a", "x.pac"), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  OnX("a");
  host.ExpectMessage(Answer::kOk).TextHas("次のおやつを捨てられませんでした").TextHas("x.pac");
  Click("btn_del");
  EXPECT_TRUE(fs::exists(LiveX()));
  EXPECT_TRUE(fs::exists(SnackFile("a", "x.pac")));
}

TEST_F(MirrorTest, CopyIntoTheCurrentPetAlsoFillsTheLiveFolder) {
  fs::remove(LiveX());
  fs::remove(SnackFile("a", "x.pac"));
  fs::remove(SnackFile(kSharedEntry, "x.pac"));
  Open();
  SelectTarget(kSharedEntry);
  OnX("b");
  Click("btn_copy");
  EXPECT_TRUE(fs::exists(SnackFile(kSharedEntry, "x.pac")));
  EXPECT_FALSE(fs::exists(LiveX()));
  SelectTarget("a");
  Click("btn_copy");
  EXPECT_EQ(ReadBytes(SnackFile("a", "x.pac")), ReadBytes(SnackFile("b", "x.pac")));
  EXPECT_EQ(ReadBytes(LiveX()), ReadBytes(SnackFile("b", "x.pac")));
  EXPECT_TRUE(fs::exists(SnackFile("b", "x.pac")));
  EXPECT_EQ(Names().size(), 2u);  // the grid stays as it was
}

TEST_F(MirrorTest, MoveCopiesIntoAndDeletesFromTheLiveFolderForTheCurrentPet) {
  Open();
  // Out of the current pet: the live twin goes too.
  SelectTarget("b");
  PutSnack(SnackFile("a", "x.pac"), Fresh("えくす", 42));
  OnX("a");
  Click("btn_move");
  EXPECT_FALSE(fs::exists(SnackFile("a", "x.pac")));
  EXPECT_FALSE(fs::exists(LiveX()));
  EXPECT_EQ(CountField(SnackFile("b", "x.pac")), 42);
  // Into the current pet: it arrives in the live folder too.
  SelectTarget("a");
  OnX("b");
  Click("btn_move");
  EXPECT_FALSE(fs::exists(SnackFile("b", "x.pac")));
  EXPECT_EQ(CountField(SnackFile("a", "x.pac")), 42);
  EXPECT_EQ(CountField(LiveX()), 42);
  // Between other folders the live folder is left alone.
  SelectTarget(kSharedEntry);
  PutSnack(SnackFile("b", "x.pac"), Fresh("えくす", 7));
  SelectSource("a");
  OnX("b");
  Click("btn_move");
  EXPECT_EQ(CountField(SnackFile(kSharedEntry, "x.pac")), 7);
  EXPECT_EQ(CountField(LiveX()), 42);
}

// The next put-away of the current pet takes the host's folder as her
// snacks: a moved snack that did not reach it must stay where it was.
TEST_F(MirrorTest, AMoveIntoTheCurrentPetThatMissesTheLiveFolderKeepsTheSource) {
  Open();
  SelectTarget("a");
  PutSnack(SnackFile("b", "x.pac"), Fresh("えくす", 9));
  OnX("b");
  FileOps ops;
  ScopedFileOps scoped(ops);
  // the copy into a, then the copy into the live folder fails
  ops.FailAt(2, std::make_error_code(std::errc::no_space_on_device));
  host.ExpectMessage(Answer::kOk)
      .TextHas("次のおやつを移動できませんでした")
      .TextHas("x.pac")
      .TextHas("ディスクの空き容量が足りません");
  Click("btn_move");
  EXPECT_EQ(CountField(SnackFile("b", "x.pac")), 9);
  EXPECT_EQ(CountField(SnackFile("a", "x.pac")), 9);
}

TEST_F(MirrorTest, APetThatSharesItsSnacksMirrorsTheSharedFolder) {
  SetSnackShared("a", 1);
  Open();
  EXPECT_EQ(window->liveOwner(), std::optional<std::string>(kSharedEntry));
  OnX("a");
  TypeCount("5");
  Click("btn_cnt");
  Click("btn_del");
  EXPECT_EQ(CountField(LiveX()), 3);
  EXPECT_TRUE(fs::exists(LiveX()));
  OnX(kSharedEntry);
  TypeCount("6");
  Click("btn_cnt");
  EXPECT_EQ(CountField(LiveX()), 6);
  Click("btn_new");
  EXPECT_TRUE(OpenedBlockZero(LiveX()));
  Click("btn_del");
  EXPECT_FALSE(fs::exists(LiveX()));
  SelectTarget(kSharedEntry);
  OnX("b");
  Click("btn_copy");
  EXPECT_TRUE(fs::exists(LiveX()));
}

TEST_F(MirrorTest, WithoutACurrentPetNothingIsMirrored) {
  fs::remove(CurrentPetFile(D()));
  Open();
  EXPECT_EQ(window->currentPetName(), "");
  EXPECT_EQ(window->liveOwner(), std::nullopt);
  OnX("a");
  Click("btn_del");
  EXPECT_TRUE(fs::exists(LiveX()));
}

TEST_F(MirrorTest, AnUnreadableCurrentPetFileIsReportedAndNothingIsMirrored) {
  WriteBytes(CurrentPetFile(D()), "\"\x81\"\r\n");  // half a CP932 character
  host.ExpectMessage(Answer::kOk).Title(kTitle).TextHas("lupina.dat を読み取れませんでした");
  Open();
  EXPECT_EQ(window->liveOwner(), std::nullopt);
  OnX("a");
  Click("btn_del");
  EXPECT_TRUE(fs::exists(LiveX()));
}

TEST_F(MirrorTest, ACallMadeWhileTheWindowIsOpenMovesTheLiveFolderToTheCalledPet) {
  Open();
  EXPECT_EQ(window->liveOwner(), std::optional<std::string>("a"));
  // The launcher calls b meanwhile: the live folder holds b's snacks now.
  SetCurrentPet("b");
  OnX("a");
  Click("btn_del");
  EXPECT_FALSE(fs::exists(SnackFile("a", "x.pac")));
  EXPECT_TRUE(fs::exists(LiveX())) << "b's live snack was discarded with a's";
  OnX("b");
  Click("btn_del");
  EXPECT_FALSE(fs::exists(LiveX()));
  EXPECT_EQ(window->liveOwner(), std::optional<std::string>("b"));
}

TEST_F(SnackWindowTest, NamesThatDifferInLetterCaseAreOneFolder) {
  // On Windows "Mimi_おやつ" and "mimi_おやつ" are one folder: one entry, and a
  // move between two names of it never deletes the only copy.
  Put("Mimi", "x.pac", Fresh("えくす"));
  Put("ソラ", "y.pac", Fresh("わい"));
  WriteBytes(D() / U8Path("mimi_2_おやつ"), "an older file of the same pet");
  Open();
  ASSERT_EQ(list(0).Items().size(), 2u);
  EXPECT_EQ(list(0).Item(0), "ソラ");
  EXPECT_TRUE(SameEntry(list(0).Item(1), "Mimi"));
  EXPECT_TRUE(SameEntry("Mimi", "MIMI"));
  EXPECT_FALSE(SameEntry("ミミ", "ソラ"));
}

TEST_F(SnackWindowTest, AHostFolderThatCannotBeListedIsToldNotShownEmpty) {
  Put("a", "x.pac", Fresh("えくす"));
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailReadsOf(D(), std::make_error_code(std::errc::permission_denied));
  host.ExpectMessage(Answer::kOk).Title(kTitle).TextHas("ペットのおやつフォルダを一覧にできませんでした");
  // Only the live folder is offered, and it is not there.
  host.ExpectMessage(Answer::kOk).TextHas(PathText(Live()));
  Open();
  EXPECT_EQ(list(0).Items(), std::vector<std::string>{kLiveEntry});
}

TEST_F(SnackWindowTest, ASnackFolderThatCannotBeListedIsToldNotShownEmpty) {
  Put("a", "x.pac", Fresh("えくす"));
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailReadsOf(Folder("a"), std::make_error_code(std::errc::permission_denied));
  host.ExpectMessage(Answer::kOk).Title(kTitle).TextHas(PathText(Folder("a")) + " のおやつを一覧にできませんでした");
  Open();
  EXPECT_EQ(grid().Rows(), 1);
}

// ---- lastClickedRow and the top row after a refill ---------------------------

TEST_F(SnackWindowTest, TopRowAfterDiscardFollowsTheLastClickedRow) {
  for (int i = 1; i <= 6; ++i) Put("a", std::to_string(i) + ".pac", Fresh("おかし"));
  Open();
  host.ScrollTo(form(), "Grid1", 3);
  host.ClickCell(form(), "Grid1", 2, 0);
  EXPECT_EQ(window->lastClickedRow(), 2);
  Click("btn_del");
  EXPECT_EQ(grid().Rows(), 6);
  EXPECT_EQ(window->lastClickedRow(), 2);
  EXPECT_EQ(grid().TopRow(), 2);
  EXPECT_EQ(form().Focused(), &grid());

  // The last row clicked, then discarded: the new last row is on top.
  host.ClickCell(form(), "Grid1", 5, 0);
  Click("btn_del");
  EXPECT_EQ(grid().Rows(), 5);
  EXPECT_EQ(window->lastClickedRow(), 4);
  EXPECT_EQ(grid().TopRow(), 4);
}

TEST_F(SnackWindowTest, TopRowAfterMoveOfEverything) {
  OpenAToB(3);
  host.DragRows(form(), "Grid1", 3, 1);
  EXPECT_EQ(window->lastClickedRow(), 3);
  Click("btn_move");
  EXPECT_EQ(grid().Rows(), 1);
  EXPECT_EQ(window->lastClickedRow(), 0);
  EXPECT_EQ(lup::test::NamesIn(Folder("b")), "1.pac|2.pac|3.pac");
}

// ---- failures ---------------------------------------------------------------

TEST_F(SnackWindowTest, AMoveNeverDeletesASourceWhoseCopyFailed) {
  OpenAToB(3);
  host.DragRows(form(), "Grid1", 1, 3);
  FileOps ops;
  ScopedFileOps scoped(ops);
  // copy 1, delete 1, copy 2 (fails after its temporary file is written), ...
  ops.FailAt(3, std::make_error_code(std::errc::no_space_on_device), false,
             FaultPoint::BeforeReplace);
  host.ExpectMessage(Answer::kOk)
      .Title(kTitle)
      .With(ui::Icon::kExclamation)
      .TextHas("次のおやつを移動できませんでした")
      .TextHas("2.pac")
      .TextHas("ディスクの空き容量が足りません");
  Click("btn_move");
  EXPECT_EQ(lup::test::NamesIn(Folder("a")), "2.pac");
  EXPECT_EQ(lup::test::NamesIn(Folder("b")), "1.pac|3.pac");
  EXPECT_EQ(Names(), std::vector<std::string>{"おかし2"});  // what is on disk
}

TEST_F(SnackWindowTest, EveryActionWaitsForTheDataAndChangesNothingWhileAnotherProgramHasIt) {
  OpenAToB(2);
  host.DragRows(form(), "Grid1", 1, 2);
  TypeCount("9");
  processes.dataHolder = "lupset.exe";
  const auto before = Snapshot();
  for (const char* button : {"btn_cnt", "btn_new", "btn_copy", "btn_move", "btn_del"}) {
    host.ExpectMessage(Answer::kOk)
        .Text("ルピナ・ヴィラ用ユーティリティ（lupset.exe）がポストペットのデータを使っています\r\n"
              "その作業が終わってから、もう一度実行してください\r\n何も変更していません")
        .With(ui::Icon::kExclamation);
    Click(button);
    EXPECT_EQ(Snapshot(), before) << button;
    EXPECT_EQ(grid().Rows(), 3) << button;
  }
  EXPECT_EQ(processes.lockAttempts, 5);
  // Once it is free, the move is held while it works, and not after.
  processes.dataHolder.clear();
  Click("btn_move");
  EXPECT_EQ(processes.mostLocksHeld, 1);
  EXPECT_EQ(processes.locksHeld, 0);
  EXPECT_EQ(lup::test::NamesIn(Folder("b")), "1.pac|2.pac");
}

TEST_F(SnackWindowTest, AMoveWhoseDeleteFailsKeepsBothAndSaysSo) {
  OpenAToB(1);
  FileOps ops;
  ScopedFileOps scoped(ops);
  ops.FailAt(2, std::make_error_code(std::errc::permission_denied));
  host.ExpectMessage(Answer::kOk).TextHas("1.pac").TextHas("アクセスが拒否されました");
  Click("btn_move");
  EXPECT_TRUE(fs::exists(SnackFile("a", "1.pac")));
  EXPECT_TRUE(fs::exists(SnackFile("b", "1.pac")));
  EXPECT_EQ(grid().Rows(), 2);
}

TEST_F(SnackWindowTest, FailedCopiesAndDiscardsAreReportedAfterTheOtherRows) {
  OpenAToB(3);
  host.DragRows(form(), "Grid1", 3, 1);
  {
    FileOps ops;
    ScopedFileOps scoped(ops);
    ops.FailAt(1, std::make_error_code(std::errc::io_error));
    host.ExpectMessage(Answer::kOk).TextHas("次のおやつをコピーできませんでした").TextHas("1.pac");
    Click("btn_copy");
    EXPECT_EQ(lup::test::NamesIn(Folder("b")), "2.pac|3.pac");
    EXPECT_EQ(ops.Count(), 3);
  }
  {
    host.DragRows(form(), "Grid1", 1, 3);
    FileOps ops;
    ScopedFileOps scoped(ops);
    ops.FailAt(2, std::make_error_code(std::errc::permission_denied));
    host.ExpectMessage(Answer::kOk).TextHas("次のおやつを捨てられませんでした").TextHas("2.pac");
    Click("btn_del");
    EXPECT_EQ(lup::test::NamesIn(Folder("a")), "2.pac");
    EXPECT_EQ(grid().Rows(), 2);
  }
}

TEST_F(SnackWindowTest, AMissingTargetFolderIsReportedAndNeverMade) {
  OpenAToB(1);
  fs::remove(Folder("b"));
  for (const char* button : {"btn_copy", "btn_move"}) {
    host.ExpectMessage(Answer::kOk).TextHas(PathText(Folder("b")) + " フォルダが見つからない");
    Click(button);
  }
  EXPECT_FALSE(fs::exists(Folder("b")));
  EXPECT_TRUE(fs::exists(SnackFile("a", "1.pac")));
}

TEST_F(SnackWindowTest, ShortFilesAreListedButNeverWritten) {
  SnackSpec shortOne = Fresh("みじかい", 4);
  shortOne.length = 890;
  Put("a", "1.pac", shortOne);
  Put("a", "2.pac", Expired("ながい"));
  Open();
  ASSERT_EQ(Names(), (std::vector<std::string>{"みじかい", "ながい"}));
  const std::string before = ReadBytes(SnackFile("a", "1.pac"));
  host.DragRows(form(), "Grid1", 1, 2);
  TypeCount("8");
  host.ExpectMessage(Answer::kOk).TextHas("次のおやつの数を変更できませんでした").TextHas("1.pac");
  Click("btn_cnt");
  EXPECT_EQ(CountField(SnackFile("a", "2.pac")), 8);
  host.DragRows(form(), "Grid1", 1, 2);
  host.ExpectMessage(Answer::kOk).TextHas("次のおやつを未開封にできませんでした").TextHas("1.pac");
  Click("btn_new");
  EXPECT_TRUE(OpenedBlockZero(SnackFile("a", "2.pac")));
  EXPECT_EQ(ReadBytes(SnackFile("a", "1.pac")), before);
  // Refilled from the disk: the short one still shows its old count.
  EXPECT_EQ(grid().Cell(1, 1), "4");
  EXPECT_EQ(grid().Cell(2, 1), "8");
  EXPECT_EQ(grid().CellColour(2, 0), std::nullopt);
}

TEST_F(SnackWindowTest, ManyFailuresAreCutShortInOneMessage) {
  for (int i = 10; i < 25; ++i) Put("a", std::to_string(i) + ".pac", Fresh("おかし"));
  Open();
  host.DragRows(form(), "Grid1", 1, 15);
  FileOps ops;
  ScopedFileOps scoped(ops);
  ops.FailAt(1, std::make_error_code(std::errc::permission_denied), true);
  host.ExpectMessage(Answer::kOk).TextHas("ほか 5 件");
  Click("btn_del");
  EXPECT_EQ(host.messages().size(), 1u);
  EXPECT_EQ(grid().Rows(), 16);
}

TEST_F(SnackWindowTest, WithNoSnackRowTheButtonsDoNothing) {
  MakeFolder("a");
  MakeFolder("b");
  Open();
  SelectTarget("a");
  FileOps ops;
  ScopedFileOps scoped(ops);
  TypeCount("x");  // not even the count check speaks
  for (const char* button : {"btn_cnt", "btn_new", "btn_copy", "btn_move", "btn_del"}) Click(button);
  EXPECT_EQ(ops.Count(), 0);
  EXPECT_TRUE(host.messages().empty());
  EXPECT_EQ(grid().Rows(), 1);
}

// ---- the version box and the end -------------------------------------------

TEST_F(SnackWindowTest, VersionBoxAndQuit) {
  MakeFolder("a");
  Open();
  host.ExpectMessage(Answer::kOk)
      .Title("ﾊﾞｰｼﾞｮﾝ情報")
      .With(ui::Buttons::kOk)
      .With(ui::Icon::kNone)
      .Text("ルピナ・ヴィラ用おやつ管理ツール Ver.1.64");
  Click("Command7");
  EXPECT_FALSE(host.ended());
  Click("Command6");
  EXPECT_TRUE(host.ended());
}

TEST_F(SnackWindowTest, ClosingTheWindowEndsTheProgram) {
  MakeFolder("a");
  Open();
  host.CloseBox(form());
  EXPECT_TRUE(host.ended());
}

}  // namespace
}  // namespace lup::snacks
