// The test backend driving the example window: what the later window tests
// rely on (scripted questions that fail loudly, modal forms, the clock).
#include "ui/headless/headless_host.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "base/text.h"
#include "ui/testing/example_form.h"

namespace lup::ui::headless {
namespace {

using testing::ExampleWindow;
using testing::kAqua;
using testing::kPink;

class ExampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.SetAppTitle("見本アプリ");
    host.Show(w.form());
  }
  void AddName(const std::string& name) {
    host.Type(form(), {"Text1", 0}, name);
    host.Click(form(), "Command1");
  }
  Form& form() { return w.form(); }
  Grid& grid() { return form().Get<Grid>("Grid1"); }

  HeadlessHost host;
  ExampleWindow w{host};
};

TEST_F(ExampleTest, LoadRunsBeforeTheFormIsShown) {
  EXPECT_TRUE(form().Loaded());
  EXPECT_TRUE(form().Visible());
  // The load handler selected the first colour, which ran the list's handler.
  EXPECT_EQ(form().Get<ComboBox>("Combo1", 0).SelectedText(), "桃色");
  EXPECT_EQ(form().Get<Label>("Label2").Caption(), "桃色で追加します");
  EXPECT_EQ(form().Focused(), &grid());
}

TEST_F(ExampleTest, TypingEnablesTheButtonAndDisabledButtonsCannotBeClicked) {
  auto& add = form().Get<Button>("Command1");
  EXPECT_FALSE(add.Enabled());
  EXPECT_NONFATAL_FAILURE(host.Click(form(), "Command1"), "Command1: it is disabled");
  EXPECT_EQ(grid().Rows(), 1);
  host.Type(form(), {"Text1", 0}, "ミント");
  EXPECT_TRUE(add.Enabled());
  host.Click(form(), "Command1");
  ASSERT_EQ(grid().Rows(), 2);
  EXPECT_EQ(grid().Cell(1, 0), "ミント");
  EXPECT_EQ(grid().Cell(1, 1), "9");  // bytes of UTF-8
  EXPECT_EQ(grid().CellColour(1, 0), kPink);
  EXPECT_TRUE(grid().Visible());
  EXPECT_FALSE(add.Enabled());  // the text was emptied again
}

TEST_F(ExampleTest, CtrlClickOnACellRecoloursTheRowAndPlainClicksDoNot) {
  AddName("a");
  AddName("b");
  host.ClickCell(form(), "Grid1", 1, 0, kCtrlKey);
  EXPECT_EQ(grid().Row(), 1);
  EXPECT_EQ(grid().CellColour(1, 0), kAqua);
  EXPECT_EQ(grid().CellColour(1, 1), kAqua);
  EXPECT_EQ(grid().CellColour(2, 0), kPink);
  host.ClickCell(form(), "Grid1", 2, 0);
  host.ClickCell(form(), "Grid1", 2, 0, kCtrlKey | kShiftKey);  // not exactly Ctrl
  EXPECT_EQ(grid().CellColour(2, 0), kPink);
  // The right button does not move the current row.
  host.MouseDownCell(form(), "Grid1", 1, 0, MouseButton::kRight, kCtrlKey);
  EXPECT_EQ(grid().Row(), 2);
}

TEST_F(ExampleTest, DoubleClickOnACellActsOnThatRow) {
  AddName("a");
  AddName("b");
  host.DoubleClickCell(form(), "Grid1", 1, 1);
  auto& log = form().Get<ListBox>("List1");
  ASSERT_EQ(log.Count(), 1);
  EXPECT_EQ(log.Item(0), "a を呼びました");
  // A double click beside the cells (only the header) does nothing.
  grid().SetRows(1);
  host.DoubleClick(form(), "Grid1");
  EXPECT_EQ(log.Count(), 1);
}

TEST_F(ExampleTest, ShiftClickAndDragSelectRangesUpwardsAndDownwards) {
  for (const char* n : {"a", "b", "c", "d", "e"}) AddName(n);
  host.ClickCell(form(), "Grid1", 4, 0);
  host.ClickCell(form(), "Grid1", 2, 0, kShiftKey);
  EXPECT_EQ(grid().Row(), 4);
  EXPECT_EQ(grid().RowSel(), 2);
  EXPECT_EQ(grid().FirstSelectedRow(), 2);
  host.DragRows(form(), "Grid1", 1, 3);
  EXPECT_EQ(grid().Row(), 1);
  EXPECT_EQ(grid().RowSel(), 3);
  host.ExpectMessage(Answer::kYes)
      .Title("見本")
      .Text("3件を削除しますか？\r\n元には戻せません")
      .With(Buttons::kYesNo)
      .With(Icon::kQuestion)
      .DefaultButton(1);
  host.Click(form(), "Command2");
  ASSERT_EQ(grid().Rows(), 3);
  EXPECT_EQ(grid().Cell(1, 0), "d");
  EXPECT_EQ(grid().Cell(2, 0), "e");
}

TEST_F(ExampleTest, AnsweringNoKeepsTheRowsAndTheCheckBoxSkipsTheQuestion) {
  AddName("a");
  host.ExpectMessage(Answer::kNo);
  host.Click(form(), "Command2");
  EXPECT_EQ(grid().Rows(), 2);
  ASSERT_EQ(host.messages().size(), 1u);
  EXPECT_EQ(host.messages()[0].message.icon, Icon::kQuestion);
  EXPECT_EQ(host.messages()[0].answer, Answer::kNo);
  host.Click(form(), "Check1");  // in the frame
  EXPECT_EQ(form().Get<CheckBox>("Check1").Value(), 1);
  host.Click(form(), "Command2");
  EXPECT_EQ(grid().Rows(), 1);
  EXPECT_EQ(host.messages().size(), 1u);
}

TEST_F(ExampleTest, AQuestionWithoutAnAnswerFailsAndIsDismissed) {
  AddName("a");
  EXPECT_NONFATAL_FAILURE(host.Click(form(), "Command2"), "unexpected message box \"見本\"");
  EXPECT_EQ(grid().Rows(), 2);  // dismissed as No
}

TEST_F(ExampleTest, AQuestionOfAnotherKindThanScriptedFails) {
  AddName("a");
  host.ExpectOpenFile(U8Path("/x.exe"));
  EXPECT_NONFATAL_FAILURE(host.Click(form(), "Command2"), "next scripted answer is for a open-file dialog");
  // The open-file answer is still there for the open-file dialog.
  host.Click(form(), "Command4");
  EXPECT_EQ(form().Get<Label>("Label2").Caption(), "/x.exe");
}

TEST_F(ExampleTest, AnAnswerThatIsNotAButtonOfTheBoxFails) {
  AddName("a");
  host.ExpectMessage(Answer::kRetry);
  EXPECT_NONFATAL_FAILURE(host.Click(form(), "Command2"), "Retry is not a button");
}

TEST_F(ExampleTest, ChecksOfTheScriptedMessageReportMismatches) {
  AddName("a");
  host.ExpectMessage(Answer::kYes).With(Icon::kCritical);
  EXPECT_NONFATAL_FAILURE(host.Click(form(), "Command2"), "expected icon critical");
}

TEST(HeadlessHostScript, AnAnswerLeftUnusedFailsTheTest) {
  EXPECT_NONFATAL_FAILURE(
      {
        HeadlessHost h;
        h.ExpectMessage(Answer::kOk).Title("ルピナ・ヴィラ");
      },
      "scripted but never asked: message box answered OK titled \"ルピナ・ヴィラ\"");
}

TEST_F(ExampleTest, OpenFileDialogGetsTheRequestAndCancelIsEmpty) {
  host.ExpectOpenFile(U8Path("C:\\ポストペット\\PostPet20.exe"))
      .Title("見本のファイルを選択")
      .InitialFolder(U8Path("C:\\ポストペット"))
      .Filter("ポストペット本体", "*.exe")
      .Filter("すべて", "*.*");
  host.Click(form(), "Command4");
  EXPECT_EQ(form().Get<Label>("Label2").Caption(), "C:\\ポストペット\\PostPet20.exe");
  host.ExpectOpenFile({});
  host.ExpectMessage(Answer::kOk).Text("ファイルは選ばれませんでした").With(Icon::kExclamation);
  host.Click(form(), "Command4");
  EXPECT_EQ(host.file_requests().size(), 2u);
  EXPECT_EQ(host.file_requests()[1].owner, &form());
}

TEST_F(ExampleTest, ModalFormRunsItsLoadThenTheScriptedActions) {
  host.ExpectModal("Form2", [&](Form& d) {
    EXPECT_EQ(d.Caption(), "詳細設定");
    EXPECT_EQ(d.Get<TextBox>("Text1", 0).Text(), "桃色で追加します");  // set by its load
    // The window behind takes no input while the modal form is open.
    EXPECT_NONFATAL_FAILURE(host.Click(form(), "Command3"), "the modal form Form2 is open");
    host.Type(d, {"Text1", 0}, "新しい状態");
    host.Click(d, "Command1");
  });
  host.Click(form(), "Command6");
  EXPECT_TRUE(form().Get<Button>("Command6").GetFont().bold);
  EXPECT_EQ(form().Get<Label>("Label2").Caption(), "新しい状態");
  EXPECT_EQ(form().Get<ListBox>("List1").Item(0), "詳細設定を閉じました");
  EXPECT_EQ(host.modal_forms(), std::vector<std::string>{"Form2"});
  // Shown again: loaded anew, the close box leaves the status as it was.
  host.ExpectModal("Form2", [&](Form& d) {
    host.Type(d, {"Text1", 0}, "捨てる");
    host.CloseBox(d);
  });
  host.Click(form(), "Command6");
  EXPECT_EQ(form().Get<Label>("Label2").Caption(), "新しい状態");
}

TEST_F(ExampleTest, ModalFormLeftOpenByItsScriptFailsAndIsClosed) {
  host.ExpectModal("Form2", [](Form&) {});
  EXPECT_NONFATAL_FAILURE(host.Click(form(), "Command6"), "still open after its scripted actions");
  EXPECT_FALSE(host.FindLoaded("Form2"));
  EXPECT_NONFATAL_FAILURE(host.Click(form(), "Command6"), "unexpected modal form Form2");
}

TEST_F(ExampleTest, PauseWaitsForTheTimerOnTheVirtualClock) {
  host.Click(form(), "Command3");
  EXPECT_EQ(w.ticks(), 1);
  EXPECT_EQ(host.now_ms(), 3000);
  EXPECT_TRUE(form().Enabled());
  EXPECT_FALSE(host.busy());
  EXPECT_FALSE(form().Get<Timer>("Timer1").Ticking());
  // A stopped timer cannot tick.
  EXPECT_NONFATAL_FAILURE(host.Tick(form(), "Timer1"), "not running");
  host.AdvanceTime(10000);
  EXPECT_EQ(w.ticks(), 1);
}

TEST(HeadlessHostClock, AdvanceTimeRunsEveryDueTickInOrder) {
  HeadlessHost host;
  Form form("Form1");
  std::vector<std::string> order;
  auto& fast = form.AddTimer("Timer1", 100, true);
  auto& slow = form.AddTimer("Timer2", 250, true);
  fast.on_tick = [&] { order.push_back("f" + std::to_string(host.now_ms())); };
  slow.on_tick = [&] {
    order.push_back("s" + std::to_string(host.now_ms()));
    fast.SetEnabled(false);
  };
  host.Show(form);
  host.AdvanceTime(600);
  EXPECT_EQ(order, (std::vector<std::string>{"f100", "f200", "s250", "s500"}));
  EXPECT_EQ(host.now_ms(), 600);
  // Unloaded forms' timers stop.
  host.Unload(form);
  host.AdvanceTime(1000);
  EXPECT_EQ(order.size(), 4u);
}

TEST(HeadlessHostClock, WaitingWithNothingToWaitForIsReported) {
  HeadlessHost host;
  int polls = 0;
  host.on_idle = [&] { ++polls; };
  host.DoEvents();
  EXPECT_EQ(polls, 1);
  host.on_idle = nullptr;
  EXPECT_THROW(
      {
        for (;;) host.DoEvents();
      },
      std::runtime_error);
}

TEST_F(ExampleTest, HoverOverAButtonAndOverTheBackground) {
  host.MoveMouse(form(), "Command1");  // disabled: the form gets the move
  EXPECT_EQ(form().Get<Label>("Label3").Caption(), testing::kHoverHint);
  host.Type(form(), {"Text1", 0}, "x");
  host.MoveMouse(form(), "Command1");
  EXPECT_EQ(form().Get<Label>("Label3").Caption(), "名前を一覧に加えます\r\n空の名前は加えられません");
  host.MoveMouse(form(), "Label3");  // no handler: nothing changes
  EXPECT_EQ(form().Get<Label>("Label3").Caption(), "名前を一覧に加えます\r\n空の名前は加えられません");
  host.MoveMouseOverForm(form());
  EXPECT_EQ(form().Get<Label>("Label3").Caption(), testing::kHoverHint);
}

TEST_F(ExampleTest, CloseBoxRunsTheUnloadHandlerAndEndsTheProgram) {
  AddName("a");
  AddName("b");
  host.CloseBox(form());
  EXPECT_EQ(w.saved(), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(host.ended());
  EXPECT_FALSE(host.quit_called());
  EXPECT_EQ(host.exit_code(), 0);
  EXPECT_FALSE(form().Loaded());
  EXPECT_NONFATAL_FAILURE(host.Click(form(), "Command2"), "the form is not loaded");
}

TEST_F(ExampleTest, QuitEndsWithoutTheUnloadHandler) {
  AddName("a");
  host.Click(form(), "Command5");
  EXPECT_TRUE(host.ended());
  EXPECT_TRUE(host.quit_called());
  EXPECT_EQ(host.exit_code(), 3);
  EXPECT_TRUE(w.saved().empty());
  EXPECT_EQ(host.Run(), 3);
  EXPECT_NONFATAL_FAILURE(host.Click(form(), "Command2"), "the program has ended");
}

TEST_F(ExampleTest, ListsAndCheckListsArePickedByTheUser) {
  host.Select(form(), {"Combo1", 0}, 1);
  EXPECT_EQ(form().Get<Label>("Label2").Caption(), "水色で追加します");
  AddName("z");
  EXPECT_EQ(grid().CellColour(1, 0), kAqua);
  EXPECT_EQ(grid().Cell(1, 2), "0");
  int ticked = -1;
  auto& pets = form().Get<ListBox>("List2");
  pets.on_item_check = [&](int i) { ticked = i; };
  host.CheckItem(form(), "List2", 1, true);
  EXPECT_EQ(ticked, 1);
  EXPECT_TRUE(pets.Checked(1));
  EXPECT_NONFATAL_FAILURE(host.Select(form(), {"Combo1", 0}, 5), "has no entry 5");
  form().Get<Frame>("Frame1").SetVisible(false);
  EXPECT_NONFATAL_FAILURE(host.CheckItem(form(), "List2", 0, true), "Frame1 is hidden");
}

TEST(HeadlessHostForms, LoadHandlerThatEndsTheProgramShowsNothing) {
  HeadlessHost host;
  Form main("Form1"), dialog("Form2");
  main.on_load = [&] {
    Message m{"ルピナ・ヴィラ", "PostPet20.exeが見つかりません", Buttons::kRetryCancel, Icon::kExclamation, 0};
    if (host.Ask(m) == Answer::kRetry) host.ShowModal(dialog);
    host.Quit(1);
  };
  host.ExpectMessage(Answer::kRetry);
  host.ExpectModal("Form2", [&](Form& d) { host.Unload(d); });
  host.Show(main);
  EXPECT_FALSE(main.Visible());
  EXPECT_FALSE(main.Loaded());
  EXPECT_TRUE(host.quit_called());
  EXPECT_EQ(host.exit_code(), 1);
  // After the end nothing more is shown.
  host.ShowModal(dialog);
  EXPECT_FALSE(dialog.Loaded());
}

TEST(HeadlessHostForms, AHiddenFormTakesNoInputAndShowingAnOpenFormModallyFails) {
  HeadlessHost host;
  Form list("Form3");
  host.Show(list);
  list.Hide();
  EXPECT_NONFATAL_FAILURE(host.CloseBox(list), "the form is hidden");
  host.ExpectModal("Form3", [&](Form& f) {
    EXPECT_TRUE(f.Visible());
    host.CloseBox(f);
  });
  host.ShowModal(list);
  EXPECT_FALSE(list.Loaded());
  host.Show(list);
  EXPECT_NONFATAL_FAILURE(host.ShowModal(list), "shown modally while it is open");
  EXPECT_EQ(host.modal_forms(), std::vector<std::string>{"Form3"});
}

TEST(HeadlessHostQuestions, EmptyTitleBearsTheProgramTitleAndChoosersAnswer) {
  HeadlessHost host;
  host.SetAppTitle("ルピナ・ヴィラ用ユーティリティ");
  host.ExpectMessage(Answer::kOk).Title("ルピナ・ヴィラ用ユーティリティ");
  host.Ask({"", "ショートカットを作成しました", Buttons::kOk, Icon::kNone, 0});
  host.ExpectFolder(U8Path("C:\\Links")).Title("ショートカットを作成するフォルダ");
  EXPECT_EQ(PathText(host.ChooseFolder("ショートカットを作成するフォルダ")), "C:\\Links");
  host.ExpectIcon(IconChoice{U8Path("C:\\lupina.exe"), 2}).StartsAt({U8Path("C:\\lupina.exe"), 0});
  auto icon = host.ChooseIcon({U8Path("C:\\lupina.exe"), 0});
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->index, 2);
  host.ExpectIcon(std::nullopt);
  EXPECT_FALSE(host.ChooseIcon({U8Path("C:\\x.dll"), 0}));
  host.ExpectMessage(Answer::kOk);
  EXPECT_NONFATAL_FAILURE(host.Ask({"t", "x", Buttons::kOk, Icon::kNone, 1}), "default button out of range");
}

}  // namespace
}  // namespace lup::ui::headless
