#include "ui/testing/example_form.h"

#include "base/text.h"

namespace lup::ui::testing {

ExampleWindow::ExampleWindow(Host& host) : host_(host) {
  form_.SetCaption("ルピナ・ヴィラ 見本");
  form_.SetClientSize(6930, 5400);
  form_.SetBorder(Border::kFixedSingle);

  grid_ = &form_.AddGrid("Grid1", {0, 0, 3855, 3000}, 3);
  grid_->SetToolTip("Ctrl+クリックで色を変えます");
  grid_->SetColWidth(0, 2560);
  grid_->SetColWidth(1, 900);
  grid_->SetColWidth(2, 0);  // the colour flag, for the window's own use
  grid_->SetCell(0, 0, "名前");
  grid_->SetCell(0, 1, "文字数");

  form_.AddLabel("Label1", {120, 3120, 1000, 195}).SetCaption("名前");
  name_ = &form_.AddTextBox("Text1", {120, 3360, 2295, 270}, nullptr, 0);
  add_ = &form_.AddButton("Command1", {2520, 3360, 1335, 375});
  add_->SetCaption("追加");
  add_->SetEnabled(false);
  name_->on_change = [this] { add_->SetEnabled(!name_->Text().empty()); };
  add_->on_click = [this] { AddName(); };

  auto& del = form_.AddButton("Command2", {2520, 3840, 1335, 375});
  del.SetCaption("削除");
  del.on_click = [this] { DeleteSelected(); };

  colour_ = &form_.AddComboBox("Combo1", {120, 3840, 2295, 300}, nullptr, 0);
  colour_->AddItem("水色");
  colour_->AddItem("桃色", 0);  // at the top
  status_ = &form_.AddLabel("Label2", {120, 4320, 3735, 195});
  colour_->on_select = [this] { status_->SetCaption(colour_->SelectedText() + "で追加します"); };

  auto& frame = form_.AddFrame("Frame1", {4020, 0, 2790, 1935});
  frame.SetCaption("設定");
  no_confirm_ = &form_.AddCheckBox("Check1", {120, 240, 2535, 255}, &frame);
  no_confirm_->SetCaption("確認しない");
  pets_ = &form_.AddCheckList("List2", {120, 600, 2535, 1215}, &frame);
  pets_->AddItem("ペットA");
  pets_->AddItem("ペットB");

  log_ = &form_.AddListBox("List1", {4020, 2040, 2790, 1200});

  auto& wait = form_.AddButton("Command3", {4020, 3360, 1335, 375});
  wait.SetCaption("待つ");
  wait.on_click = [this] { Pause(); };
  timer_ = &form_.AddTimer("Timer1", 3000, false);
  timer_->on_tick = [this] {
    ++ticks_;
    timer_->SetEnabled(false);
    waiting_ = false;
  };

  auto& open = form_.AddButton("Command4", {5475, 3360, 1335, 375});
  open.SetCaption("開く…");
  open.on_click = [this] { ChooseFile(); };

  auto& details = form_.AddButton("Command6", {4020, 3840, 1335, 375});
  details.SetCaption("詳細設定");
  details.SetBold(true);
  details.on_click = [this] { ShowDetails(); };

  auto& quit = form_.AddButton("Command5", {5475, 3840, 1335, 375});
  quit.SetCaption("終了");
  quit.on_click = [this] { host_.Quit(3); };

  hint_ = &form_.AddLabel("Label3", {120, 4680, 6690, 615});
  hint_->SetCaption(kHoverHint);
  add_->on_mouse_move = [this](const MouseEvent&) { hint_->SetCaption("名前を一覧に加えます\r\n空の名前は加えられません"); };
  form_.on_mouse_move = [this](const MouseEvent&) { hint_->SetCaption(kHoverHint); };

  grid_->on_mouse_down = [this](const MouseEvent& e) {
    if (grid_->Rows() < 2 || e.button != MouseButton::kLeft || e.keys != kCtrlKey) return;
    const int row = grid_->Row();
    const bool pink = grid_->Cell(row, 2) == "1";
    for (int c = 0; c < 2; ++c) grid_->SetCellColour(row, c, pink ? kAqua : kPink);
    grid_->SetCell(row, 2, pink ? "0" : "1");
  };
  grid_->on_dbl_click = [this] {
    if (grid_->Rows() > 1) log_->AddItem(grid_->Cell(grid_->Row(), 0) + " を呼びました");
  };

  form_.on_load = [this] {
    colour_->SetListIndex(0);
    grid_->SetFocus();
  };
  form_.on_unload = [this](UnloadReason reason) {
    if (reason != UnloadReason::kCloseBox) return;
    saved_.clear();
    for (int r = 1; r < grid_->Rows(); ++r) saved_.push_back(grid_->Cell(r, 0));
  };
}

void ExampleWindow::AddName() {
  const std::string name = name_->Text();
  grid_->SetVisible(false);
  const int row = grid_->AddRow();
  grid_->SetCell(row, 0, name);
  grid_->SetCell(row, 1, std::to_string(name.size()));
  const bool pink = colour_->ListIndex() == 0;
  for (int c = 0; c < 2; ++c) grid_->SetCellColour(row, c, pink ? kPink : kAqua);
  grid_->SetCell(row, 2, pink ? "1" : "0");
  grid_->SetRow(row);
  grid_->SetVisible(true);
  name_->SetText("");
}

void ExampleWindow::DeleteSelected() {
  if (grid_->Row() < 1) return;
  const int first = grid_->FirstSelectedRow(), last = grid_->LastSelectedRow();
  if (!no_confirm_->Value()) {
    Message q;
    q.title = kExampleTitle;
    q.text = std::to_string(last - first + 1) + "件を削除しますか？\r\n元には戻せません";
    q.buttons = Buttons::kYesNo;
    q.icon = Icon::kQuestion;
    q.default_button = 1;
    if (host_.Ask(q, &form_) != Answer::kYes) return;
  }
  for (int r = last; r >= first; --r) grid_->RemoveRow(r);
  log_->AddItem(std::to_string(last - first + 1) + "件削除");
}

void ExampleWindow::Pause() {
  host_.SetBusy(true);
  form_.SetEnabled(false);
  waiting_ = true;
  timer_->SetEnabled(true);
  while (waiting_ && !host_.Ending()) host_.DoEvents();
  form_.SetEnabled(true);
  host_.SetBusy(false);
}

void ExampleWindow::ChooseFile() {
  OpenFileRequest r;
  r.title = "見本のファイルを選択";
  r.filters = {{"ポストペット本体", "*.exe"}, {"すべて", "*.*"}};
  r.initial_folder = U8Path("C:\\ポストペット");
  r.owner = &form_;
  const std::filesystem::path chosen = host_.ChooseOpenFile(r);
  if (chosen.empty()) {
    host_.Ask({kExampleTitle, "ファイルは選ばれませんでした", Buttons::kOk, Icon::kExclamation, 0}, &form_);
    return;
  }
  status_->SetCaption(PathText(chosen));
}

void ExampleWindow::ShowDetails() {
  details_.SetCaption("詳細設定");
  details_.SetClientSize(3750, 1095);
  details_.SetBorder(Border::kFixedDialog);
  details_.SetShowInTaskbar(false);
  if (!details_.Find("Text1", 0)) {
    details_.AddLabel("Label1", {120, 0, 3495, 195}).SetCaption("状態行の文字");
    details_.AddTextBox("Text1", {120, 240, 3495, 270}, nullptr, 0);
    auto& ok = details_.AddButton("Command1", {120, 600, 3495, 375});
    ok.SetCaption("OK");
    ok.on_click = [this] {
      status_->SetCaption(details_.Get<TextBox>("Text1", 0).Text());
      host_.Unload(details_);
    };
  }
  details_.on_load = [this] { details_.Get<TextBox>("Text1", 0).SetText(status_->Caption()); };
  host_.ShowModal(details_, &form_);
  log_->AddItem("詳細設定を閉じました");
}

}  // namespace lup::ui::testing
