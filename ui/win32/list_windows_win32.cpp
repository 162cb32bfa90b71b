// List boxes, drop-down lists and check-box lists. What they hold reaches
// their windows in batches (Defer, Apply).
#include "platform/win32/wide.h"
#include "ui/win32/backend_win32.h"
#include "ui/win32/control_kinds_win32.h"

namespace lup::ui::win32 {

namespace {

const ListWindow::Messages kListBoxMessages{LB_RESETCONTENT, LB_INITSTORAGE, LB_ADDSTRING,
                                            LB_SETCURSEL,    LB_GETCURSEL,   LBN_SELCHANGE,
                                            LB_ERR};
const ListWindow::Messages kComboBoxMessages{CB_RESETCONTENT, CB_INITSTORAGE, CB_ADDSTRING,
                                             CB_SETCURSEL,    CB_GETCURSEL,   CBN_SELCHANGE,
                                             CB_ERR};

}  // namespace

// --- list boxes and drop-down lists ---

void ListWindow::KindChanged(Prop prop, int, int) {
  if (prop == Prop::kItems)
    Defer(kItemsPending);
  else if (prop == Prop::kListIndex)
    Defer(kIndexPending);
}

void ListWindow::Apply(unsigned what) {
  if (what & kItemsPending)
    SyncItems();  // with the selected entry
  else if (what & kIndexPending)
    SyncListIndex();
}

void ListWindow::SyncItems() {
  syncing_ = true;
  auto& list = static_cast<ListControl&>(control());
  const auto count = static_cast<WPARAM>(list.Count());
  SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(hwnd_, messages_.reset, 0, 0);
  SendMessageW(hwnd_, messages_.init_storage, count, static_cast<LPARAM>(count * 32));
  for (const auto& item : list.Items()) {
    SendMessageW(hwnd_, messages_.add_string, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
  }
  SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(hwnd_, nullptr, TRUE);
  syncing_ = false;
  SyncListIndex();
}

void ListWindow::SyncListIndex() {
  syncing_ = true;
  const int i = static_cast<ListControl&>(control()).ListIndex();
  SendMessageW(hwnd_, messages_.set_cur_sel, static_cast<WPARAM>(i), 0);
  syncing_ = false;
}

void ListWindow::OnCommand(UINT code) {
  if (code != messages_.sel_change) return;
  const auto i = SendMessageW(hwnd_, messages_.get_cur_sel, 0, 0);
  static_cast<ListControl&>(control()).UserSetListIndex(i == messages_.error ? -1
                                                                             : static_cast<int>(i));
}

ListBoxWindow::ListBoxWindow(FormWindow& owner, Control& control, int id)
    : ListWindow(owner, control, id, kListBoxMessages) {}

ControlWindow::WindowKind ListBoxWindow::Kind() const {
  return {L"LISTBOX", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP,
          WS_EX_CLIENTEDGE};
}

ComboBoxWindow::ComboBoxWindow(FormWindow& owner, Control& control, int id)
    : ListWindow(owner, control, id, kComboBoxMessages) {}

ControlWindow::WindowKind ComboBoxWindow::Kind() const {
  return {L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0};
}

int ComboBoxWindow::WindowHeight(int control_height) const {
  return control_height + owner().Px(2400);
}

// --- check-box lists ---

ControlWindow::WindowKind CheckListWindow::Kind() const {
  return {WC_LISTVIEWW,
          LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
          WS_EX_CLIENTEDGE};
}

void CheckListWindow::Created() {
  ListView_SetExtendedListViewStyle(hwnd_,
                                    LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  LVCOLUMNW col{};
  col.mask = LVCF_WIDTH;
  col.cx = owner().Px(control().Geometry().width) - GetSystemMetrics(SM_CXVSCROLL) - 4;
  ListView_InsertColumn(hwnd_, 0, &col);
  Defer(kItemsPending);
}

void CheckListWindow::KindChanged(Prop prop, int a, int) {
  switch (prop) {
    case Prop::kItems:
      Defer(kItemsPending);
      break;
    case Prop::kListIndex:
      Defer(kIndexPending);
      break;
    case Prop::kItemChecked:
      if (!pending(kItemsPending)) {
        ticks_pending_.push_back(a);
        // Ticked and unticked over and over: the whole list is cheaper.
        if (ticks_pending_.size() > static_cast<size_t>(box().Count())) {
          Defer(kItemsPending);
          break;
        }
      }
      Defer(kTicksPending);
      break;
    default:
      break;
  }
}

void CheckListWindow::Apply(unsigned what) {
  if (what & kItemsPending) {
    ticks_pending_.clear();
    SyncItems();  // with every tick and the selected entry
    return;
  }
  if (what & kTicksPending) SyncTicks();
  if (what & kIndexPending) SyncListIndex();
}

void CheckListWindow::SyncItems() {
  syncing_ = true;
  ListBox& list = box();
  SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(hwnd_);
  ListView_SetItemCount(hwnd_, list.Count());
  for (int i = 0; i < list.Count(); ++i) {
    std::wstring text = Wide(list.Item(i));
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_STATE;
    item.iItem = i;
    item.pszText = text.data();
    item.state = INDEXTOSTATEIMAGEMASK(list.Checked(i) ? 2 : 1);
    item.stateMask = LVIS_STATEIMAGEMASK;
    ListView_InsertItem(hwnd_, &item);
    // Some list views (Wine's) insert every entry unticked.
    if (list.Checked(i)) ListView_SetCheckState(hwnd_, i, TRUE);
  }
  shown_ = ShownSelection{};  // nothing selected in a list just filled
  SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(hwnd_, nullptr, TRUE);
  syncing_ = false;
  SyncListIndex();
}

void CheckListWindow::SyncTicks() {
  ListBox& list = box();
  syncing_ = true;
  for (int i : ticks_pending_) {
    if (i < list.Count()) ListView_SetCheckState(hwnd_, i, list.Checked(i));
  }
  ticks_pending_.clear();
  syncing_ = false;
}

void CheckListWindow::SyncListIndex() {
  syncing_ = true;
  const int i = box().ListIndex();
  // One entry is selected at a time: only the one that was and the one
  // that is change.
  if (!shown_.known) {
    shown_.first = ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED);
    shown_.focus = ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED);
    shown_.known = true;
  }
  if (shown_.first >= 0 && shown_.first != i) {
    ListView_SetItemState(hwnd_, shown_.first, 0, LVIS_SELECTED);
  }
  if (shown_.focus >= 0 && shown_.focus != i) {
    ListView_SetItemState(hwnd_, shown_.focus, 0, LVIS_FOCUSED);
  }
  if (i >= 0 && (shown_.first != i || shown_.focus != i)) {
    ListView_SetItemState(hwnd_, i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  shown_.first = shown_.last = shown_.focus = i;
  syncing_ = false;
}

LRESULT CheckListWindow::OnNotify(NMHDR* header, bool* handled) {
  if (detached() || header->code != LVN_ITEMCHANGED || syncing_) return 0;
  shown_.known = false;
  auto* change = reinterpret_cast<NMLISTVIEW*>(header);
  ListBox& list = box();
  if (change->iItem < 0 || change->iItem >= list.Count() || !(change->uChanged & LVIF_STATE)) {
    return 0;
  }
  const UINT old_image = change->uOldState & LVIS_STATEIMAGEMASK;
  const UINT new_image = change->uNewState & LVIS_STATEIMAGEMASK;
  if (old_image != new_image && new_image != 0) {
    list.UserSetChecked(change->iItem, (new_image >> 12) == 2);
    if (detached()) return 0;
  }
  if ((change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED)) {
    list.UserSetListIndex(change->iItem);
  }
  *handled = true;
  return 0;
}

}  // namespace lup::ui::win32
