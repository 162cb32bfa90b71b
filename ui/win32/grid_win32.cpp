// The grid as a virtual list view in report mode: the Form holds the cells,
// the list view asks for their texts (LVN_GETDISPINFO) and colours
// (NM_CUSTOMDRAW). Row 0 of the grid is the list view's header; grid row r
// is list view item r - 1. The mouse is handled here, not by the list view,
// so that a press selects the way the grid's users expect (Shift stretches
// from the current row, Ctrl does not toggle) and the window code sees the
// new current row in its mouse-down handler.
#include <windowsx.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/win32/wide.h"
#include "ui/win32/backend_win32.h"
#include "ui/win32/control_kinds_win32.h"

namespace lup::ui::win32 {

ControlWindow::WindowKind GridWindow::Kind() const {
  return {WC_LISTVIEWW,
          LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP,
          WS_EX_CLIENTEDGE};
}

void GridWindow::Created() {
  ListView_SetExtendedListViewStyle(hwnd_,
                                    LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
  if (HWND header = ListView_GetHeader(hwnd_)) {
    SetWindowLongPtrW(header, GWL_STYLE, GetWindowLongPtrW(header, GWL_STYLE) | HDS_NOSIZING);
  }
  Defer(kColumnsPending | kRowsPending | kSelectionPending);
}

// What the grid holds: marked now, applied by Flush.
void GridWindow::KindChanged(Prop prop, int a, int) {
  switch (prop) {
    case Prop::kGridShape:
      Defer(kColumnsPending | kRowsPending | kSelectionPending);
      break;
    case Prop::kColWidth:
      Defer(kColumnsPending);
      break;
    case Prop::kCell:
      Defer(a == 0 ? kColumnsPending : kCellsPending);
      break;
    case Prop::kGridSelection:
      Defer(kSelectionPending);
      break;
    case Prop::kTopRow:
      top_row_pending_ = a;
      Defer(kTopRowPending);
      break;
    default:
      break;
  }
}

void GridWindow::Apply(unsigned what) {
  if (what & kColumnsPending) CreateColumns();
  if (what & kRowsPending) SyncShape();
  if (what & kCellsPending) InvalidateRect(hwnd_, nullptr, FALSE);
  if (what & kSelectionPending) SyncSelection();
  if (what & kTopRowPending) ScrollTo(top_row_pending_);
}

std::optional<int> GridWindow::Query(const Control&, Prop prop) const {
  if (detached() || !hwnd_ || prop != Prop::kTopRow) return std::nullopt;
  if (grid().Rows() < 2) return std::nullopt;
  // The rows and a scroll asked for may still wait.
  const_cast<GridWindow*>(this)->Flush();
  return ListView_GetTopIndex(hwnd_) + 1;
}

LRESULT GridWindow::OnNotify(NMHDR* header, bool* handled) {
  switch (header->code) {
    case LVN_GETDISPINFOW: {
      auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
      const int row = info->item.iItem + 1, col = info->item.iSubItem;
      if ((info->item.mask & LVIF_TEXT) && info->item.pszText && info->item.cchTextMax > 0) {
        text_buffer_ = (row < grid().Rows() && col < grid().Cols()) ? Wide(grid().Cell(row, col))
                                                                    : std::wstring();
        lstrcpynW(info->item.pszText, text_buffer_.c_str(), info->item.cchTextMax);
      }
      *handled = true;
      return 0;
    }
    case NM_CUSTOMDRAW:
      *handled = true;
      return CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
    case LVN_ITEMCHANGED:
    case LVN_ODSTATECHANGED:
      if (!syncing_) {
        shown_.known = false;  // the list view changed its selection itself
        FromView();
      }
      *handled = true;
      return 0;
    default:
      return 0;
  }
}

bool GridWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
      *result = Mouse(msg, wp, lp);
      return true;
    case WM_MOUSEMOVE:
      if (dragging_) Mouse(msg, wp, lp);
      return false;
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (hdr->code != NM_CUSTOMDRAW || hdr->hwndFrom != ListView_GetHeader(hwnd_)) return false;
      *result = HeaderDraw(reinterpret_cast<NMCUSTOMDRAW*>(lp));
      return true;
    }
    default:
      return false;
  }
}

void GridWindow::CreateColumns() {
  if (!hwnd_) return;
  auto& grid = static_cast<Grid&>(control());
  HWND header = ListView_GetHeader(hwnd_);
  int have = header ? Header_GetItemCount(header) : 0;
  while (have > grid.Cols()) ListView_DeleteColumn(hwnd_, --have);
  for (int c = 0; c < grid.Cols(); ++c) {
    std::wstring text = Wide(grid.Cell(0, c));
    LVCOLUMNW col{};
    col.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_FMT;
    col.fmt = LVCFMT_LEFT;
    col.cx = owner().Px(grid.ColWidth(c));
    col.pszText = text.data();
    if (c < have) ListView_SetColumn(hwnd_, c, &col);
    else ListView_InsertColumn(hwnd_, c, &col);
  }
}

void GridWindow::SyncShape() {
  if (!hwnd_) return;
  auto& grid = static_cast<Grid&>(control());
  syncing_ = true;
  if (ListView_GetItemCount(hwnd_) != grid.Rows() - 1) {
    ListView_SetItemCountEx(hwnd_, grid.Rows() - 1, LVSICF_NOSCROLL);
    // Rows past the end lose their selection: read it back when next needed.
    shown_.known = false;
  }
  // Rows removed or added in between move the others.
  InvalidateRect(hwnd_, nullptr, TRUE);
  syncing_ = false;
}

namespace {

using Span = std::pair<int, int>;  // list view items first..last

void SetSpanState(HWND list, Span span, UINT state, UINT mask) {
  for (int i = span.first; i <= span.second; ++i) ListView_SetItemState(list, i, state, mask);
}

// The items the list view shows selected, as ascending spans.
std::vector<Span> SelectedSpans(HWND list) {
  std::vector<Span> spans;
  for (int i = ListView_GetNextItem(list, -1, LVNI_SELECTED); i >= 0; i = ListView_GetNextItem(list, i, LVNI_SELECTED)) {
    if (!spans.empty() && spans.back().second + 1 == i) spans.back().second = i;
    else spans.emplace_back(i, i);
  }
  return spans;
}

}  // namespace

// Only the rows whose state changes are touched: those leaving the selection,
// those entering it, and the focused row when it moves.
void GridWindow::SyncSelection() {
  if (!hwnd_) return;
  auto& grid = static_cast<Grid&>(control());
  Span want{-1, -2};  // empty
  int focus = -1, mark = -1;
  if (grid.Row() >= 1) {
    want = Span{std::max(1, grid.FirstSelectedRow()) - 1, grid.LastSelectedRow() - 1};
    if (grid.RowSel() >= 1) focus = grid.RowSel() - 1;
    mark = grid.Row() - 1;
  }
  std::vector<Span> shown;
  int shown_focus = -1;
  if (shown_.known) {
    if (shown_.first >= 0) shown.emplace_back(shown_.first, shown_.last);
    shown_focus = shown_.focus;
  } else {
    shown = SelectedSpans(hwnd_);
    shown_focus = ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED);
  }
  syncing_ = true;
  int next = want.first;  // the first wanted item not yet known to be selected
  for (const Span& s : shown) {
    // Before and after the wanted span: no longer selected.
    SetSpanState(hwnd_, Span{s.first, std::min(s.second, want.first - 1)}, 0, LVIS_SELECTED);
    SetSpanState(hwnd_, Span{std::max(s.first, want.second + 1), s.second}, 0, LVIS_SELECTED);
    // Wanted and not shown before this span: selected now.
    SetSpanState(hwnd_, Span{next, std::min(s.first - 1, want.second)}, LVIS_SELECTED, LVIS_SELECTED);
    next = std::max(next, s.second + 1);
  }
  SetSpanState(hwnd_, Span{next, want.second}, LVIS_SELECTED, LVIS_SELECTED);
  // Focusing a row takes the focus from the one that had it.
  if (focus != shown_focus && focus >= 0) {
    ListView_SetItemState(hwnd_, focus, LVIS_FOCUSED, LVIS_FOCUSED);
  } else if (focus != shown_focus && shown_focus >= 0) {
    ListView_SetItemState(hwnd_, shown_focus, 0, LVIS_FOCUSED);
  }
  ListView_SetSelectionMark(hwnd_, mark);
  // The current row is drawn apart from the rest of the selection.
  InvalidateRect(hwnd_, nullptr, FALSE);
  syncing_ = false;
  shown_ = ShownSelection{want.first >= 0 ? want.first : -1, want.first >= 0 ? want.second : -1, focus, true};
}

void GridWindow::ScrollTo(int row) {
  auto& grid = static_cast<Grid&>(control());
  if (!hwnd_ || grid.Rows() < 2) return;
  RECT item{};
  if (!ListView_GetItemRect(hwnd_, 0, &item, LVIR_BOUNDS)) return;
  const int height = item.bottom - item.top;
  if (height <= 0) return;
  const int top = ListView_GetTopIndex(hwnd_);
  ListView_Scroll(hwnd_, 0, (row - 1 - top) * height);
}

bool GridWindow::Hit(LPARAM lp, int* row, int* col) const {
  auto& grid = static_cast<Grid&>(control());
  LVHITTESTINFO info{};
  info.pt = POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  if (ListView_SubItemHitTest(hwnd_, &info) < 0 && info.iItem < 0) return false;
  if (info.iItem < 0 || info.iItem + 1 >= grid.Rows()) return false;
  *row = info.iItem + 1;
  *col = std::clamp(info.iSubItem, 0, grid.Cols() - 1);
  return true;
}

LRESULT GridWindow::Mouse(UINT msg, WPARAM wp, LPARAM lp) {
  auto& grid = static_cast<Grid&>(control());
  const MouseButton button = ButtonOf(msg);
  const MouseEvent e = MakeMouse(button, wp, lp);
  int row = 0, col = 0;
  const bool hit = Hit(lp, &row, &col);
  switch (msg) {
    case WM_MOUSEMOVE:
      if (hit && row != grid.RowSel()) {
        grid.UserSetSelection(grid.Row() >= 1 ? grid.Row() : row, grid.Col(), row);
        Defer(kSelectionPending);
      }
      return 0;
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
      SetFocus(hwnd_);
      if (detached()) return 0;
      if (button == MouseButton::kLeft && hit) {
        if ((e.keys & kShiftKey) && grid.Row() >= 1) grid.UserSetSelection(grid.Row(), col, row);
        else grid.UserSetSelection(row, col, row);
        if (detached()) return 0;
        Defer(kSelectionPending);
      }
      control().FireMouse(control().on_mouse_down, e);
      if (detached()) return 0;
      // Drag to stretch the selection, unless the handler already ran a
      // dialog and the button is up again.
      if (button == MouseButton::kLeft && GetKeyState(VK_LBUTTON) < 0) {
        dragging_ = true;
        SetCapture(hwnd_);
      }
      return 0;
    case WM_LBUTTONDBLCLK:
      after_double_click_ = true;
      control().Fire(control().on_dbl_click);
      return 0;
    case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK:
      return 0;
    default: {  // a button released
      if (button == MouseButton::kLeft && dragging_) {
        dragging_ = false;
        ReleaseCapture();
      }
      control().FireMouse(control().on_mouse_up, e);
      if (detached()) return 0;
      if (button == MouseButton::kLeft) {
        if (!after_double_click_) control().Fire(control().on_click);
        after_double_click_ = false;
      }
      return 0;
    }
  }
}

void GridWindow::FromView() {
  auto& grid = static_cast<Grid&>(control());
  if (grid.Rows() < 2) return;
  const int focus = ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED);
  if (focus < 0) return;
  // The list view moves its selection mark only after it has told of the
  // new focus: without Shift the selection is the focused row alone.
  int mark = ListView_GetSelectionMark(hwnd_);
  if (GetKeyState(VK_SHIFT) >= 0 || mark < 0 || mark + 1 >= grid.Rows()) mark = focus;
  if (focus + 1 >= grid.Rows()) return;
  grid.UserSetSelection(mark + 1, grid.Col(), focus + 1);
}

LRESULT GridWindow::CustomDraw(NMLVCUSTOMDRAW* draw) {
  auto& grid = static_cast<Grid&>(control());
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      // The current row shows its own colours; the rest of a selected range
      // is highlighted.
      if (static_cast<int>(draw->nmcd.dwItemSpec) + 1 == grid.Row()) draw->nmcd.uItemState &= ~CDIS_SELECTED;
      return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
      const int row = static_cast<int>(draw->nmcd.dwItemSpec) + 1;
      const int col = draw->iSubItem;
      if (row == grid.Row()) draw->nmcd.uItemState &= ~CDIS_SELECTED;
      std::optional<Colour> c;
      if (row < grid.Rows() && col < grid.Cols()) c = grid.CellColour(row, col);
      draw->clrTextBk = c ? RGB(c->r, c->g, c->b) : GetSysColor(COLOR_WINDOW);
      draw->clrText = GetSysColor(COLOR_WINDOWTEXT);
      return CDRF_NEWFONT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

// The header row is drawn here, its text centred with no margins: a grid's
// one-character columns (300 twips) are narrower than the margins the list
// view's header keeps around its texts, which would leave only "…".
LRESULT GridWindow::HeaderDraw(NMCUSTOMDRAW* draw) {
  switch (draw->dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      HWND header = draw->hdr.hwndFrom;
      wchar_t text[256] = {};
      HDITEMW item{};
      item.mask = HDI_TEXT;
      item.pszText = text;
      item.cchTextMax = 255;
      Header_GetItem(header, static_cast<int>(draw->dwItemSpec), &item);
      RECT r = draw->rc;
      HDC dc = draw->hdc;
      FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
      HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
      HGDIOBJ old = SelectObject(dc, pen);
      MoveToEx(dc, r.right - 1, r.top, nullptr);
      LineTo(dc, r.right - 1, r.bottom - 1);
      LineTo(dc, r.left - 1, r.bottom - 1);
      SelectObject(dc, old);
      DeleteObject(pen);
      HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(header, WM_GETFONT, 0, 0)));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
      RECT t = r;
      t.right -= 1;
      DrawTextW(dc, text, -1, &t, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      SelectObject(dc, oldFont);
      return CDRF_SKIPDEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

}  // namespace lup::ui::win32
