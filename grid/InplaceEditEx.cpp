// The data grid's in-place editor and its drop-downs (see InplaceEditEx.h).
#include "grid/InplaceEditEx.h"

#include <algorithm>

#include "grid/DBGridEx.h"
#include "grid/DBGridExColumns.h"
#include "grid/DBLookupEx.h"
#include "grid/EditButtonsEx.h"
#include "grid/GridDataLinkEx.h"
#include "grid/GridExUtils.h"
#include "platform/core/AnsiText.h"
#include "platform/core/NumFormat.h"
#include "platform/core/SysInfo.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/FontMetrics.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/Frames3D.h"
#include "platform/ui/Messages.h"
#include "platform/ui/SysColors.h"

namespace {

constexpr int kPickItemHeight = 11;
constexpr int kTypeAheadMs = 2000;
constexpr size_t kMaxSearchText = 32;

std::function<std::uint32_t()>& TickSource() {
  static std::function<std::uint32_t()> source;
  return source;
}

bool KeyFieldsModifiable(TField* f) {
  TDataSet* ds = f->DataSet();
  if (ds == nullptr) return false;
  AnsiString names = f->KeyFields();
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    if (end == std::string::npos) end = names.size();
    AnsiString name = names.substr(start, end - start);
    if (!name.empty()) {
      TField* k = ds->FindField(name);
      if (k == nullptr || !k->CanModify()) return false;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace

std::uint32_t PopupTickCount() { return TickSource() ? TickSource()() : GetTickCount(); }

void SetPopupTickSourceForTest(std::function<std::uint32_t()> source) {
  TickSource() = std::move(source);
}

TEditStyle GetColumnEditStyle(TColumnEx* column, bool forEditor) {
  switch (column->ButtonStyle()) {
    case cbsEllipsis: return esEllipsis;
    case cbsUpDown: return esUpDown;
    case cbsDropDown: return esDropDown;
    case cbsNone: return esSimple;
    case cbsAuto: break;
  }
  TField* f = column->Field();
  TCustomDBGridEx* grid = column->Grid();
  if (f && f->Lookup() && !f->KeyFields().empty()) {
    bool ok = grid && (KeyFieldsModifiable(f) || grid->IsDesigning()) &&
              !(column->AssignedValues().Contains(cvReadOnly) && column->ReadOnly()) &&
              !grid->ReadOnly() && grid->DataLink()->Active() && !grid->DataLink()->ReadOnly();
    return ok ? esDataList : esSimple;
  }
  if (column->HasPickList() && column->PickList()->Count() > 0 && !column->ReadOnly() &&
      (forEditor || column->ImageList() == nullptr))
    return esPickList;
  if (f && (f->DataType() == ftDate || f->DataType() == ftDateTime) && !column->ReadOnly())
    return esDateCalendar;
  return esSimple;
}

TEditButtonsEx* TColumnEx::EditButtons() const {
  if (!editButtons_) editButtons_ = std::make_shared<TEditButtonsEx>(const_cast<TColumnEx*>(this));
  return editButtons_.get();
}

int EditButtonsWidth(TColumnEx* column) {
  TCustomDBGridEx* grid = column->Grid();
  bool flat = grid && grid->Flat();
  int standard = flat ? FlatButtonWidth() + 1 : GetSystemMetrics(SM_CXVSCROLL);
  int width = GetColumnEditStyle(column, false) == esSimple ? 0 : standard;
  TEditButtonsEx* buttons = column->EditButtons();
  for (int i = 0; i < buttons->Count(); ++i) {
    TEditButtonEx* b = buttons->Items(i);
    if (!b->Visible()) continue;
    width += b->Width() > 0 ? b->Width() + (flat ? 1 : 0) : standard;
  }
  return width;
}

int IndexOfText(TStrings* list, const AnsiString& text, bool partial) {
  if (list == nullptr) return -1;
  for (int i = 0; i < list->Count(); ++i) {
    AnsiString item = list->Strings(i);
    if (partial) item = LeadingBytes(item, text.size());
    if (AnsiCompareText(item, text) == 0) return i;
  }
  return -1;
}

// ---------------------------------------------------------------------------
// TPopupListbox

TPopupListbox::TPopupListbox(TComponent* owner, TDBGridInplaceEdit* editor)
    : TCustomListBox(owner), editor_(editor) {
  SetIntegralHeight(true);
  SetItemHeight(kPickItemHeight);
  SetVisible(false);
  SetTabStop(false);
}

void TPopupListbox::KeyPress(char& key) {
  auto byte = static_cast<unsigned char>(key);
  if (key == '\b' || key == '\x1b') {
    searchText_.clear();
  } else if (byte >= 32) {
    std::uint32_t now = PopupTickCount();
    if (now - searchTick_ > static_cast<std::uint32_t>(kTypeAheadMs)) searchText_.clear();
    searchTick_ = now;
    if (searchText_.size() < kMaxSearchText) searchText_ += key;
    int found = IndexOfText(Items(), searchText_, true);
    if (found >= 0) SetItemIndex(found);
    key = 0;
  }
  TCustomListBox::KeyPress(key);
}

void TPopupListbox::MouseMove(TShiftState shift, int x, int y) {
  if (!shift.Contains(ssLeft) && !shift.Contains(ssRight) && !shift.Contains(ssMiddle)) {
    int i = ItemAtPos(TPoint{x, y}, true);
    if (i >= 0 && i != ItemIndex()) SetItemIndex(i);
  }
  TCustomListBox::MouseMove(shift, x, y);
}

void TPopupListbox::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomListBox::MouseUp(button, shift, x, y);
  if (button == mbLeft && editor_)
    editor_->CloseUp(x >= 0 && x < Width() && y >= 0 && y < Height());
}

// ---------------------------------------------------------------------------
// TPopupMonthCalendarEx: a title row (month), a row of weekday names and
// six rows of seven days, Sunday first.

namespace {
constexpr int kDayW = 24, kDayH = 16, kTitleH = 20;
}

TPopupMonthCalendarEx::TPopupMonthCalendarEx(TComponent* owner, TDBGridInplaceEdit* editor)
    : TCustomControl(owner), editor_(editor) {
  SetVisible(false);
  SetColor(clWindow);
  TPoint size = MinimumSize();
  SetBounds(0, 0, size.x, size.y);
}

TPoint TPopupMonthCalendarEx::MinimumSize() { return TPoint{7 * kDayW + 4, kTitleH + 7 * kDayH + 4}; }

void TPopupMonthCalendarEx::SetDate(TDateTime value) {
  date_ = static_cast<double>(static_cast<long long>(static_cast<double>(value)));
  Invalidate();
}

TDateTime TPopupMonthCalendarEx::FirstShown() const {
  unsigned short y, m, d;
  DecodeDate(date_, y, m, d);
  TDateTime first = EncodeDate(y, m, 1);
  return static_cast<double>(first) - (DayOfWeek(first) - 1);
}

bool TPopupMonthCalendarEx::DayAt(int x, int y, TDateTime& day) const {
  int top = 2 + kTitleH + kDayH;
  if (x < 2 || x >= 2 + 7 * kDayW || y < top || y >= top + 6 * kDayH) return false;
  int col = (x - 2) / kDayW, row = (y - top) / kDayH;
  day = static_cast<double>(FirstShown()) + row * 7 + col;
  return true;
}

void TPopupMonthCalendarEx::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  c->Brush()->SetColor(Color());
  c->FillRect(r);
  TRect frame = r;
  DrawEdge(c, frame, BDR_RAISEDOUTER, BF_RECT);
  unsigned short y, m, d;
  DecodeDate(date_, y, m, d);
  c->Font()->Assign(Font());
  c->TextOut(4, 2, IntToStr(y) + "年" + IntToStr(m) + "月");
  static const char* kDays[7] = {"日", "一", "二", "三", "四", "五", "六"};
  for (int i = 0; i < 7; ++i) c->TextOut(2 + i * kDayW + 4, 2 + kTitleH, kDays[i]);
  TDateTime first = FirstShown();
  for (int i = 0; i < 42; ++i) {
    TDateTime day = static_cast<double>(first) + i;
    unsigned short dy, dm, dd;
    DecodeDate(day, dy, dm, dd);
    int x = 2 + (i % 7) * kDayW, top = 2 + kTitleH + kDayH + (i / 7) * kDayH;
    bool current = static_cast<long long>(static_cast<double>(day)) ==
                   static_cast<long long>(static_cast<double>(date_));
    if (current) {
      c->Brush()->SetColor(clHighlight);
      c->FillRect(TRect(x, top, x + kDayW, top + kDayH));
    }
    c->Brush()->SetStyle(bsClear);
    c->Font()->SetColor(current ? clHighlightText : dm == m ? clWindowText : clGrayText);
    c->TextOut(x + 4, top, IntToStr(dd));
    c->Brush()->SetStyle(bsSolid);
  }
}

void TPopupMonthCalendarEx::KeyDown(std::uint16_t& key, TShiftState shift) {
  switch (key) {
    case VK_RETURN:
    case VK_ESCAPE:
      if (editor_) editor_->CloseUp(key == VK_RETURN);
      key = 0;
      return;
    case VK_LEFT: SetDate(static_cast<double>(date_) - 1); key = 0; return;
    case VK_RIGHT: SetDate(static_cast<double>(date_) + 1); key = 0; return;
    case VK_UP: SetDate(static_cast<double>(date_) - 7); key = 0; return;
    case VK_DOWN: SetDate(static_cast<double>(date_) + 7); key = 0; return;
    case VK_PRIOR:
    case VK_NEXT: {
      unsigned short y, m, d;
      DecodeDate(date_, y, m, d);
      int month = m + (key == VK_NEXT ? 1 : -1), year = y;
      if (month < 1) { month = 12; --year; }
      if (month > 12) { month = 1; ++year; }
      TDateTime next;
      while (!TryEncodeDate(year, month, d, next)) --d;
      SetDate(next);
      key = 0;
      return;
    }
    default:
      TCustomControl::KeyDown(key, shift);
  }
}

void TPopupMonthCalendarEx::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseDown(button, shift, x, y);
  if (x < 0 || y < 0 || x >= Width() || y >= Height()) {
    if (editor_) editor_->CloseUp(false);
  }
}

void TPopupMonthCalendarEx::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseUp(button, shift, x, y);
  if (button != mbLeft || editor_ == nullptr) return;
  if (x < 0 || y < 0 || x >= Width() || y >= Height()) {
    editor_->CloseUp(false);
    return;
  }
  TDateTime day;
  if (DayAt(x, y, day)) {
    SetDate(day);
    editor_->CloseUp(true);
  }
}

// ---------------------------------------------------------------------------
// TDBGridInplaceEdit

TDBGridInplaceEdit::TDBGridInplaceEdit(TComponent* owner) : TInplaceEdit(owner) {
  mainButton_ = new TEditButtonControlEx(this);
  mainButton_->SetParent(this);
  mainButton_->SetVisible(false);
  mainButton_->OnDownNotify = [this](TObject* sender, bool topButton, bool& autoRepeat) {
    SetFocus();
    bool handled = false;
    TColumnEx* c = Column();
    if (c && c->OnEditButtonDown) c->OnEditButtonDown(sender, topButton, autoRepeat, handled);
    if (!handled) ButtonDown(!topButton);
  };
  mainButton_->OnButtonClick = [this](TObject* sender) { EditButtonClick(sender); };
  mainButton_->OnButtonMouseUp = [this](TObject*, TMouseButton, TShiftState, int x, int y) {
    if (x < 0 || y < 0 || x >= mainButton_->Width() || y >= mainButton_->Height())
      justDropped_ = false;
  };
}

TDBGridInplaceEdit::~TDBGridInplaceEdit() {
  // The buttons' windows live inside the edit widget, which goes before the
  // window base would let its children go: they leave first.
  for (TEditButtonControlEx* b : extraButtons_) delete b;
  delete mainButton_;
  delete pickGrip_;
  delete dataGrip_;
}

TSizeGripEx* TDBGridInplaceEdit::ListGrip() const {
  return activeList_ == pickList_ ? pickGrip_ : activeList_ == dataList_ ? dataGrip_ : nullptr;
}

TCustomDBGridEx* TDBGridInplaceEdit::DBGrid() const {
  return dynamic_cast<TCustomDBGridEx*>(Grid());
}

TColumnEx* TDBGridInplaceEdit::Column() const {
  TCustomDBGridEx* g = DBGrid();
  if (g == nullptr) return nullptr;
  int i = g->CurrentColumnIndex();
  return i >= 0 ? g->Columns()->Items(i) : nullptr;
}

bool TDBGridInplaceEdit::CanModifyCell(bool tryEdit) {
  TColumnEx* c = Column();
  TCustomDBGridEx* g = DBGrid();
  return c && g && !g->ReadOnly() && g->Options().Contains(dgEditing) && c->CanModify(tryEdit);
}

void TDBGridInplaceEdit::SetEditStyle(TEditStyle style) {
  if (style != editStyle_) {
    editStyle_ = style;
    switch (style) {
      case esPickList:
        if (!pickList_) {
          pickList_ = new TPopupListbox(this, this);
          pickGrip_ = new TSizeGripEx(pickList_);
          pickGrip_->OnResized = [this](TObject*) { pickList_->SetSized(true); };
        }
        activeList_ = pickList_;
        break;
      case esDateCalendar:
        if (!calendar_) calendar_ = new TPopupMonthCalendarEx(this, this);
        activeList_ = calendar_;
        break;
      case esDataList:
        if (!dataList_) {
          dataList_ = new TPopupDataListEx(this, this);
          dataGrip_ = new TSizeGripEx(dataList_);
          dataGrip_->OnResized = [this](TObject*) { dataList_->FitToHeight(); };
        }
        activeList_ = dataList_;
        break;
      default:
        activeList_ = nullptr;
        break;
    }
  }
  if (TColumnEx* c = Column()) SetReadOnly(c->ReadOnly());
  UpdateEditButtons();
}

void TDBGridInplaceEdit::UpdateEditButtons() {
  TColumnEx* c = Column();
  TCustomDBGridEx* g = DBGrid();
  bool flat = g && g->Flat();
  int standard = flat ? FlatButtonWidth() + 1 : GetSystemMetrics(SM_CXVSCROLL);
  TEditButtonsEx* items = c ? c->EditButtons() : nullptr;
  int extra = items ? items->Count() : 0;
  while (static_cast<int>(extraButtons_.size()) < extra) {
    auto* b = new TEditButtonControlEx(this);
    b->SetParent(this);
    int index = static_cast<int>(extraButtons_.size());
    b->OnDownNotify = [this, index](TObject* sender, bool topButton, bool& autoRepeat) {
      TColumnEx* col = Column();
      if (!col || index >= col->EditButtons()->Count()) return;
      bool handled = false;
      TEditButtonEx* item = col->EditButtons()->Items(index);
      if (item->OnDown) item->OnDown(sender, topButton, autoRepeat, handled);
      if (!handled && item->DropdownMenu()) {
        // The button's menu drops down under its bottom-left corner.
        auto* control = static_cast<TEditButtonControlEx*>(sender);
        TPopupMenu* menu = item->DropdownMenu();
        menu->PopupComponent = this;
        TPoint at = control->ClientToScreen(TPoint{0, control->Height()});
        menu->Popup(at.x, at.y);
        control->Perform(WM_LBUTTONUP, 0, 0);
      }
    };
    b->OnButtonClick = [this, index](TObject* sender) {
      TColumnEx* col = Column();
      if (!col || index >= col->EditButtons()->Count()) return;
      bool handled = false;
      TEditButtonEx* item = col->EditButtons()->Items(index);
      if (item->OnClick) item->OnClick(sender, handled);
    };
    extraButtons_.push_back(b);
  }
  // Widths: the main button next to the text, the column's buttons outside
  // it, its last one at the outer edge.
  std::vector<std::pair<TEditButtonControlEx*, int>> strip;
  bool mainShown = editStyle_ != esSimple && c != nullptr;
  if (c) {
    mainButton_->SetStyle(editStyle_ == esEllipsis ? ebsEllipsisEx
                          : editStyle_ == esUpDown ? ebsUpDownEx
                                                   : ebsDropDownEx);
    mainButton_->SetFlat(flat);
  }
  mainButton_->SetVisible(mainShown);
  if (mainShown) strip.push_back({mainButton_, standard});
  for (size_t i = 0; i < extraButtons_.size(); ++i) {
    TEditButtonControlEx* b = extraButtons_[i];
    bool shown = static_cast<int>(i) < extra && items->Items(static_cast<int>(i))->Visible();
    b->SetVisible(shown);
    if (!shown) continue;
    TEditButtonEx* item = items->Items(static_cast<int>(i));
    b->SetStyle(item->Style());
    b->SetFlat(flat);
    int w = item->Width() >= 1 ? item->Width() : standard;
    strip.push_back({b, w});
  }
  int h = ClientHeight();
  int bh = h;
  for (auto& [b, w] : strip) bh = std::min(bh, h > (w * 3 + 1) / 2 ? w : h);
  int x = Width();
  for (auto it = strip.rbegin(); it != strip.rend(); ++it) {
    x -= it->second;
    it->first->SetBounds(x, 0, it->second, std::max(bh, 1));
  }
  buttonWidth_ = Width() - x;
  // The text keeps clear of the button strip.
  SetTextMargins(0, 0, buttonWidth_, 0);
}

void TDBGridInplaceEdit::Move(const TRect& r) {
  TInplaceEdit::Move(r);
  UpdateEditButtons();
}

void TDBGridInplaceEdit::UpdateContents() {
  TCustomDBGridEx* g = DBGrid();
  TColumnEx* c = Column();
  if (listVisible_) CloseUp(false);
  if (g == nullptr || c == nullptr) {
    TInplaceEdit::UpdateContents();
    return;
  }
  SetEditStyle(GetColumnEditStyle(c, true));
  Font()->Assign(c->Font());
  TColCellParamsEx p;
  p.Font = Font();
  c->FillColCellParams(&p);
  p.Font = Font();
  p.Background = c->Color();
  p.State = 2;  // focused
  p.Text = g->GetEditText(g->Col(), g->Row());
  p.ReadOnly = !c->CanModify(false);
  bool wasReadOnly = p.ReadOnly;
  if (g->OnGetCellParams) g->OnGetCellParams(g, c, p.Font, p.Background, TGridDrawState{gdFocused});
  c->GetColCellParams(true, &p);
  SetColor(p.Background);
  readOnlyFromParams_ = p.ReadOnly != wasReadOnly;
  if (readOnlyFromParams_) SetReadOnly(p.ReadOnly);
  TInplaceEdit::UpdateContents();
  g->SetEditTextEx(Text());
  TField* f = c->Field();
  if (f && f->Lookup() && !f->KeyFields().empty() && f->DataSet())
    g->SetEditValue(f->DataSet()->FieldValues(f->KeyFields()));
  else
    g->SetEditValue(f && c->ColumnKind() == ckKeyPickList && !f->IsNull() ? Variant(f->Text())
                                                                            : Variant::Null());
}

// --- drop-downs --------------------------------------------------------------

bool TDBGridInplaceEdit::PlaceList(TWinControl* list, int height) {
  TWinControl* host = GetParentForm();
  if (host == nullptr) host = Grid() ? static_cast<TWinControl*>(Grid()) : this;
  if (list->Parent() != host) list->SetParent(host);
  TPoint p = host->ScreenToClient(ClientToScreen(TPoint{0, 0}));
  TRect work = host->ClientRect();
  int y = p.y + Height();
  int width = std::min(list->Width(), work.Width());
  bool below;
  if (y + height <= work.Bottom) {
    below = true;
  } else if (p.y - height >= work.Top) {
    below = false;
  } else {
    below = work.Bottom - y >= p.y - work.Top;
  }
  if (below) {
    height = std::min(height, work.Bottom - y);
  } else {
    height = std::min(height, p.y - work.Top);
    y = p.y - height;
  }
  int x = p.x;
  if (x + width > work.Right) x = work.Right - width;
  x = std::max(x, work.Left);
  list->SetBounds(x, y, width, height);
  list->SetVisible(true);
  list->BringToFront();
  return below;
}

void TDBGridInplaceEdit::DropDown() {
  if (listVisible_ || activeList_ == nullptr) return;
  TColumnEx* c = Column();
  if (c == nullptr) return;
  int height = 0;
  if (activeList_ == pickList_) {
    pickList_->SetColor(Color());
    pickList_->Font()->Assign(Font());
    TStrings* picks = c->PickList();
    TStrings* keys = c->KeyList();
    TStrings* items = pickList_->Items();
    items->BeginUpdate();
    items->Clear();
    pickKeys_.clear();
    bool keyed = keys && keys->Count() > 0;
    int n = keyed ? std::min(keys->Count(), picks->Count()) : picks->Count();
    for (int i = 0; i < n; ++i) items->Add(picks->Strings(i));
    items->EndUpdate();
    int rows = static_cast<int>(c->DropDownRows());
    int count = items->Count();
    height = (count < rows ? count : rows) * kPickItemHeight + 4;
    TField* f = c->Field();
    if (f && f->IsNull())
      pickList_->SetItemIndex(-1);
    else
      pickList_->SetItemIndex(keyed ? picks->IndexOf(Text()) : items->IndexOf(Text()));
    int width = Width();
    for (int i = 0; i < count; ++i)
      width = std::max(width, FontMetrics().TextWidth(*Font(), items->Strings(i)) + 4);
    pickList_->SetBounds(0, 0, width, height);
    pickList_->SetSized(false);
  } else if (activeList_ == dataList_) {
    TField* f = c->Field();
    TDataSet* lookup = f ? f->LookupDataSet() : nullptr;
    dataList_->SetColor(Color());
    dataList_->Font()->Assign(Font());
    dataList_->SpecRow()->Assign(c->DropDownSpecRow());
    int rows = static_cast<int>(c->DropDownRows());
    int n = lookup && lookup->Active() && lookup->IsSequenced() ? lookup->RecordCount() : 0;
    dataList_->SetRowCount(n > 0 && n < rows ? n : rows);
    dataList_->SetShowTitles(c->DropDownShowTitles());
    AnsiString listFields = c->LookupDisplayFields();
    if (listFields.empty() && f) listFields = f->LookupResultField();
    int display = 0, index = 0;
    size_t start = 0;
    while (f && start <= listFields.size()) {
      size_t end = listFields.find(';', start);
      if (end == std::string::npos) end = listFields.size();
      if (AnsiCompareText(listFields.substr(start, end - start), f->LookupResultField()) == 0)
        display = index;
      ++index;
      start = end + 1;
    }
    dataList_->SetKeyValue(DBGrid()->EditValue());
    dataList_->SetList(lookup, f ? f->LookupKeyFields() : AnsiString(), listFields, display);
    int width = c->DropDownWidth() > 0 ? c->DropDownWidth() : Width();
    dataList_->SetBounds(0, 0, std::max(width, Width()), dataList_->Height());
    height = dataList_->Height();
  } else if (activeList_ == calendar_) {
    calendar_->SetColor(Color());
    calendar_->Font()->Assign(Font());
    // Text that is no date (typed by hand, half a date) opens today.
    TDateTime d;
    if (!TryStrToDateTime(Text(), d)) d = Date();
    calendar_->SetDate(d);
    TPoint size = TPopupMonthCalendarEx::MinimumSize();
    calendar_->SetBounds(0, 0, size.x, size.y);
    height = size.y;
  }
  bool below = PlaceList(activeList_, height);
  if (TSizeGripEx* grip = ListGrip()) {
    // The grip sits in the corner away from the cell.
    grip->SetPosition(below ? 2 : 1);
    grip->SetVisible(c->DropDownSizing());
  }
  if (dataList_) dataList_->SetSized(false);
  listVisible_ = true;
  mainButton_->SetAlwaysDown(true);
  dropDownActive_ = true;
  dropText_ = Text();
  // The focus stays where the typing goes: in the editor, when the grid
  // had it.
  if (!Focused() && Grid() && Grid()->Focused() && CanFocus()) SetFocus();
}

void TDBGridInplaceEdit::CloseUp(bool accept) {
  if (!listVisible_) return;
  mainButton_->SetAlwaysDown(false);
  TColumnEx* c = Column();
  TCustomDBGridEx* g = DBGrid();
  Variant listValue = Variant::Null();
  int chosen = -1;
  if (activeList_ == pickList_ && pickList_) {
    chosen = pickList_->ItemIndex();
    if (chosen >= 0 && c) {
      TStrings* keys = c->KeyList();
      listValue = keys && keys->Count() > 0 ? Variant(keys->Strings(chosen))
                                            : Variant(pickList_->Items()->Strings(chosen));
    }
    if (pickList_->Sized() && c) {
      c->SetDropDownRows(static_cast<unsigned>(pickList_->ClientHeight() / kPickItemHeight));
      c->SetDropDownWidth(pickList_->Width());
    }
  }
  if (activeList_ == dataList_ && dataList_->Sized() && c) {
    c->SetDropDownRows(static_cast<unsigned>(dataList_->RowCount()));
    c->SetDropDownWidth(dataList_->Width());
  }
  activeList_->SetVisible(false);
  dropDownActive_ = false;
  listVisible_ = false;
  if (c == nullptr || g == nullptr) return;
  if (!accept) {
    // Walking the list showed its items in the editor; the text before
    // the drop-down comes back.
    if ((activeList_ == pickList_ || activeList_ == dataList_) && Text() != dropText_) {
      SetText(dropText_);
      g->SetEditTextEx(dropText_);
    }
    return;
  }
  if (activeList_ == dataList_) {
    TField* f = c->Field();
    if (f && KeyFieldsModifiable(f) && c->CanModify(true)) {
      AnsiString text = dataList_->SelectedText();
      SetText(text);
      g->SetEditValue(dataList_->KeyValue());
      g->SetEditTextEx(text);
      SelectAll();
    }
    return;
  }
  if (activeList_ == calendar_) {
    if (c->CanModify(true))
      if (TField* f = c->Field()) f->SetAsDateTime(calendar_->Date());
    return;
  }
  if (activeList_ == pickList_ && !listValue.IsNull() && CanModifyCell(true)) {
    TStrings* keys = c->KeyList();
    AnsiString text = keys && keys->Count() > 0 ? pickList_->Items()->Strings(chosen)
                                                : listValue.AsString();
    SetText(text);
    g->SetEditTextEx(text);
    if (keys && keys->Count() > 0) g->SetEditValue(listValue);
    SelectAll();
  }
}

// --- typing ------------------------------------------------------------------

void TDBGridInplaceEdit::SetTextSelectTail(const AnsiString& text, size_t typedLength) {
  SetText(text);
  SetSelStart(static_cast<int>(typedLength));
  SetSelLength(static_cast<int>(text.size() - std::min(typedLength, text.size())));
}

void TDBGridInplaceEdit::UpdateEditValue() {
  TCustomDBGridEx* g = DBGrid();
  if (g && CanModifyCell(true)) g->SetEditTextEx(Text());
}

void TDBGridInplaceEdit::ValidateListText(AnsiString& typed) {
  if (typed.size() == 1 && static_cast<unsigned char>(typed[0]) < 32 && typed[0] != '\b') return;
  TColumnEx* c = Column();
  TCustomDBGridEx* g = DBGrid();
  if (c == nullptr || g == nullptr) return;
  TColumnKind kind = c->ColumnKind();
  if (editStyle_ == esDataList) {
    ValidateLookupText(typed);
    return;
  }
  if (kind != ckKeyPickList && editStyle_ != esPickList) return;
  if (!CanModifyCell(false)) return;
  if (typed == "\b") {
    if (kind == ckKeyPickList) typed.clear();
    return;
  }
  AnsiString s = Text().substr(0, static_cast<size_t>(std::max(SelStart(), 0))) + typed;
  int i = IndexOfText(c->PickList(), s, true);
  if (i >= 0) {
    typed.clear();
    if (CanModifyCell(true)) {
      SetTextSelectTail(c->PickList()->Strings(i), s.size());
      g->SetEditTextEx(Text());
      if (listVisible_ && pickList_) pickList_->SetItemIndex(i < pickList_->Items()->Count() ? i : -1);
    }
  } else if (c->OnNotInList) {
    typed.clear();
    if (!CanModifyCell(true)) return;
    SetText(s);
    SetSelStart(static_cast<int>(s.size()));
    g->SetEditValue(Variant::Null());
    g->SetEditTextEx(s);
    if (listVisible_ && pickList_) pickList_->SetItemIndex(-1);
  }
  if (kind == ckKeyPickList) typed.clear();
}

void TDBGridInplaceEdit::ValidateLookupText(AnsiString& typed) {
  TColumnEx* c = Column();
  TCustomDBGridEx* g = DBGrid();
  TField* f = c->Field();
  TDataSet* lookup = f ? f->LookupDataSet() : nullptr;
  if (lookup == nullptr || !CanModifyCell(false)) return;
  if (typed == "\b") {
    typed.clear();
    return;
  }
  AnsiString s = Text().substr(0, static_cast<size_t>(std::max(SelStart(), 0))) + typed;
  typed.clear();
  bool found = false;
  TBookmarkStr mark = lookup->Bookmark();
  AnsiString result;
  Variant key;
  try {
    found = lookup->Locate(f->LookupResultField(), Variant(s),
                           TLocateOptions{loCaseInsensitive, loPartialKey});
    if (found) {
      result = lookup->FieldByName(f->LookupResultField())->DisplayText();
      key = lookup->FieldValues(f->LookupKeyFields());
    }
  } catch (const EDatabaseError&) {
    found = false;
  }
  if (!mark.empty()) lookup->SetBookmark(mark);
  if (found) {
    if (!CanModifyCell(true)) return;
    SetTextSelectTail(result, s.size());
    g->SetEditValue(key);
    g->SetEditTextEx(Text());
    if (listVisible_ && dataList_) dataList_->SetKeyValue(key);
  } else if (c->OnNotInList) {
    if (!CanModifyCell(true)) return;
    SetText(s);
    SetSelStart(static_cast<int>(s.size()));
    g->SetEditValue(Variant::Null());
    g->SetEditTextEx(s);
    if (listVisible_ && dataList_) dataList_->SetKeyValue(Variant::Null());
  }
}

bool TDBGridInplaceEdit::PasteListText() {
  TColumnEx* c = Column();
  TCustomDBGridEx* g = DBGrid();
  if (c == nullptr || g == nullptr) return false;
  bool keyed = c->ColumnKind() == ckKeyPickList;
  if (editStyle_ != esDataList && !keyed) return false;  // an ordinary paste
  if (!CanModifyCell(false) || !Clipboard()->HasFormat(CF_TEXT)) return true;
  AnsiString clip = Clipboard()->AsText();
  if (editStyle_ == esDataList) {
    ValidateLookupText(clip);
    return true;
  }
  AnsiString t = Text();
  size_t start = static_cast<size_t>(std::max(SelStart(), 0));
  size_t end = std::min(t.size(), start + static_cast<size_t>(std::max(SelLength(), 0)));
  AnsiString s = t.substr(0, start) + clip + t.substr(end);
  int i = IndexOfText(c->PickList(), s, true);
  if (i >= 0 && CanModifyCell(true)) {
    SetTextSelectTail(c->PickList()->Strings(i), s.size());
  } else if (c->OnNotInList && CanModifyCell(true)) {
    SetText(s);
    SetSelStart(static_cast<int>(s.size()));
    g->SetEditValue(Variant::Null());
    i = -1;
  } else {
    return true;  // matches nothing: the paste does nothing
  }
  g->SetEditTextEx(Text());
  if (listVisible_ && pickList_) pickList_->SetItemIndex(i < pickList_->Items()->Count() ? i : -1);
  return true;
}

void TDBGridInplaceEdit::WndProc(TMessage& message) {
  if (message.Msg == WM_PASTE && PasteListText()) return;
  TInplaceEdit::WndProc(message);
}

void TDBGridInplaceEdit::KeyPress(char& key) {
  TColumnEx* c = Column();
  auto byte = static_cast<unsigned char>(key);
  // Ctrl+Enter's line feed only means something to a multi-line editor.
  if (key == '\n') {
    key = 0;
    return;
  }
  if (byte >= 32 && !listVisible_ && c && c->AutoDropDown() && activeList_) DropDown();
  bool listColumn = c && (c->ColumnKind() == ckKeyPickList || editStyle_ == esPickList ||
                          editStyle_ == esDataList);
  if (listColumn) {
    if (keyBuffer_.empty() && IsDBCSLeadByte(byte)) {
      keyBuffer_ = AnsiString(1, key);
      key = 0;
      return;
    }
    keyBuffer_ += key;
    AnsiString typed = keyBuffer_;
    keyBuffer_.clear();
    ValidateListText(typed);
    if (typed.empty()) {
      key = 0;
      return;
    }
    if (typed.size() == 2) {
      // A double-byte character that the list did not take: typed as is.
      if (!ReadOnly()) SetSelText(typed);
      key = 0;
      return;
    }
    key = typed[0];
  }
  TInplaceEdit::KeyPress(key);
}

void TDBGridInplaceEdit::KeyDown(std::uint16_t& key, TShiftState shift) {
  TCustomDBGridEx* g = DBGrid();
  TColumnEx* c = Column();
  bool ctrl = shift.Contains(ssCtrl), alt = shift.Contains(ssAlt), sh = shift.Contains(ssShift);
  bool onlyCtrl = ctrl && !alt && !sh;
  if (editStyle_ == esPickList || editStyle_ == esDataList || editStyle_ == esDateCalendar) {
    if ((key == VK_RETURN || key == VK_ESCAPE) && listVisible_ && !alt) {
      CloseUp(key == VK_RETURN);
      key = 0;
      return;
    }
    if (key == VK_RETURN && onlyCtrl && !listVisible_) {
      DropDown();
      key = 0;
      return;
    }
    if ((key == VK_UP || key == VK_DOWN) && alt) {
      if (listVisible_)
        CloseUp(true);
      else
        DropDown();
      key = 0;
      return;
    }
    if (listVisible_) {
      bool listKey = key == VK_PRIOR || key == VK_NEXT || key == VK_UP || key == VK_DOWN ||
                     (ctrl && (key == VK_HOME || key == VK_END));
      if (activeList_ == calendar_ && (key == VK_LEFT || key == VK_RIGHT)) listKey = true;
      if (listKey) {
        if (activeList_ == calendar_) {
          calendar_->KeyDown(key, shift);
        } else if (activeList_ == dataList_) {
          dataList_->KeyDown(key, shift);
          AnsiString shown = dataList_->SelectedText();
          if (shown != Text()) {
            SetText(shown);
            SelectAll();
          }
        } else if (pickList_) {
          int count = pickList_->Items()->Count();
          int i = pickList_->ItemIndex();
          int page = std::max(1, pickList_->ClientHeight() / kPickItemHeight);
          switch (key) {
            case VK_UP: i = std::max(0, i - 1); break;
            case VK_DOWN: i = std::min(count - 1, i + 1); break;
            case VK_PRIOR: i = std::max(0, i - page); break;
            case VK_NEXT: i = std::min(count - 1, std::max(i, 0) + page); break;
            case VK_HOME: i = 0; break;
            case VK_END: i = count - 1; break;
            default: break;
          }
          if (count > 0) pickList_->SetItemIndex(i);
          int sel = pickList_->ItemIndex();
          if (sel >= 0 && pickList_->Items()->Strings(sel) != Text()) {
            SetText(pickList_->Items()->Strings(sel));
            SelectAll();
          }
        }
        key = 0;
        return;
      }
    }
  }
  if (editStyle_ == esDataList && c && c->DropDownSpecRow()->Visible() && g) {
    // The special row's short cut (Alt+Del unless set) chooses it.
    unsigned short cut = static_cast<unsigned short>(key) | (sh ? 0x2000 : 0) |
                         (ctrl ? 0x4000 : 0) | (alt ? 0x8000 : 0);
    TSpecRowEx* specialRow = c->DropDownSpecRow();
    if (cut == specialRow->ShortCut() && CanModifyCell(false)) {
      if (CanModifyCell(true)) {
        AnsiString text = specialRow->CellText(0);
        SetText(text);
        g->SetEditTextEx(text);
        g->SetEditValue(specialRow->Value());
        if (listVisible_ && dataList_) dataList_->SetKeyValue(specialRow->Value());
        SelectAll();
      }
      key = 0;
      return;
    }
  }
  if (((key == 'V' && onlyCtrl) || (key == VK_INSERT && sh && !ctrl && !alt)) &&
      PasteListText()) {
    key = 0;
    return;
  }
  if (key == VK_RETURN && onlyCtrl && (editStyle_ == esEllipsis || editStyle_ == esDropDown)) {
    if (g) g->EditButtonClick();
    key = 0;
    return;
  }
  if (c && key == VK_DELETE && shift.Empty() && c->ColumnKind() == ckKeyPickList &&
      CanModifyCell(false)) {
    if (SelStart() == 0 && SelLength() == static_cast<int>(Text().size())) {
      if (CanModifyCell(true)) {
        SetText(AnsiString());
        if (g) g->SetEditTextEx(AnsiString());
      }
    } else if (c->OnNotInList) {
      ClearSelection();
      UpdateEditValue();
    }
    key = 0;
    return;
  }
  if (c && key == VK_BACK && (c->ColumnKind() == ckLookup || c->ColumnKind() == ckKeyPickList)) {
    if (c->OnNotInList) {
      if (CanModifyCell(true)) {
        if (SelLength() > 0) ClearSelection();
        int at = SelStart();
        if (at > 0) {
          AnsiString t = Text();
          int n = at >= 2 && ByteTypeAt(t, static_cast<size_t>(at - 1)) == mbTrailByte ? 2 : 1;
          t.erase(static_cast<size_t>(at - n), static_cast<size_t>(n));
          SetText(t);
          SetSelStart(at - n);
          UpdateEditValue();
        }
      }
      key = 0;
      return;
    }
    key = VK_LEFT;
  }
  if (g && key == VK_RETURN && g->OptionsEx().Contains(dghEnterAsTab)) {
    g->GridKeyDown(key, shift);
    key = 0;
    return;
  }
  if (g && key == 'F' && onlyCtrl && g->OptionsEx().Contains(dghIncSearch)) {
    g->GridKeyDown(key, shift);
    key = 0;
    return;
  }
  if (g && (key == VK_ESCAPE || (onlyCtrl && (key == VK_DELETE || key == VK_HOME ||
                                                key == VK_END || key == VK_PRIOR ||
                                                key == VK_NEXT)))) {
    g->GridKeyDown(key, shift);
    if (key == 0) return;
  }
  TInplaceEdit::KeyDown(key, shift);
}

void TDBGridInplaceEdit::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TInplaceEdit::MouseDown(button, shift, x, y);
  TColumnEx* c = Column();
  if (button == mbLeft && shift.Contains(ssDouble) && c && c->DblClickNextVal())
    c->SetNextFieldValue(shift.Contains(ssShift) ? -1.0 : 1.0);
}

void TDBGridInplaceEdit::DoExit() {
  if (listVisible_) CloseUp(false);
  TInplaceEdit::DoExit();
  // Leaving the editor for a control outside the grid leaves the grid.
  TCustomDBGridEx* g = DBGrid();
  if (g && !g->FocusStaysInside(true)) g->DoExit();
}

// --- buttons -------------------------------------------------------------------

void TDBGridInplaceEdit::StepValue(bool down) {
  TColumnEx* c = Column();
  TCustomDBGridEx* g = DBGrid();
  if (c == nullptr || g == nullptr || !c->CanModify(true)) return;
  if (Text() != g->GetEditText(g->Col(), g->Row())) {
    g->SetEditText(g->Col(), g->Row(), Text());
    g->UpdateData();
  }
  double step = c->Increment();
  if (c->ColumnKind() == ckCommon)
    step = down ? -step : step;
  else
    step = down ? step : -step;
  c->SetNextFieldValue(step);
}

void TDBGridInplaceEdit::ButtonDown(bool isDown) {
  if (editStyle_ == esUpDown) {
    StepValue(isDown);
  } else if (!dropDownActive_) {
    DropDown();
    justDropped_ = true;
  }
}

void TDBGridInplaceEdit::EditButtonClick(TObject* sender) {
  bool handled = false;
  TCustomDBGridEx* g = DBGrid();
  TColumnEx* c = Column();
  if (sender == mainButton_) {
    if ((editStyle_ == esEllipsis || editStyle_ == esDropDown) && g) g->EditButtonClick();
    if (c && c->OnEditButtonClick) c->OnEditButtonClick(sender, handled);
  }
  if (!handled && dropDownActive_ && !justDropped_ && sender == mainButton_) CloseUp(false);
  justDropped_ = false;
}

PAYROLL_PUBLISH(TPopupListbox) {}
PAYROLL_PUBLISH(TPopupMonthCalendarEx) {}
PAYROLL_PUBLISH(TDBGridInplaceEdit) {}
