// The lookup drop-down and its special row (see DBLookupEx.h).
#include "grid/DBLookupEx.h"

#include <algorithm>

#include "grid/DBGridExColumns.h"
#include "grid/GridExUtils.h"
#include "grid/InplaceEditEx.h"
#include "platform/core/AnsiText.h"
#include "platform/data/DataSource.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/FontMetrics.h"
#include "platform/ui/Frames3D.h"
#include "platform/ui/Messages.h"
#include "platform/ui/SysColors.h"
#include "platform/ui/VirtualKeys.h"

namespace {

constexpr int kBorder = 2;
constexpr int kTypeAheadMs = 2000;
constexpr size_t kMaxSearchText = 32;

std::vector<AnsiString> SplitNames(const AnsiString& names) {
  std::vector<AnsiString> out;
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    if (end == std::string::npos) end = names.size();
    AnsiString n = names.substr(start, end - start);
    if (!n.empty()) out.push_back(n);
    start = end + 1;
  }
  return out;
}

}  // namespace

TSpecRowEx* TColumnEx::DropDownSpecRow() const {
  if (!specRow_) specRow_ = std::make_shared<TSpecRowEx>();
  return specRow_.get();
}

// ---------------------------------------------------------------------------
// TSpecRowEx

void TSpecRowEx::Assign(TPersistent* source) {
  auto* s = dynamic_cast<TSpecRowEx*>(source);
  if (s == nullptr) return TPersistent::Assign(source);
  SetCellsText(s->cellsText_);
  color_ = s->color_;
  value_ = s->value_;
  visible_ = s->visible_;
  showIfNotInKeyList_ = s->showIfNotInKeyList_;
  shortCut_ = s->shortCut_;
}

void TSpecRowEx::SetCellsText(const AnsiString& value) {
  cellsText_ = value;
  cells_.clear();
  size_t i = 0, n = value.size();
  auto skipControls = [&] {
    while (i < n && static_cast<unsigned char>(value[i]) >= 1 &&
           static_cast<unsigned char>(value[i]) < 32)
      ++i;
  };
  skipControls();
  while (i < n) {
    AnsiString cell;
    if (value[i] == '"') {
      ++i;
      while (i < n) {
        if (value[i] == '"') {
          if (i + 1 < n && value[i + 1] == '"') {
            cell += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        cell += value[i++];
      }
      // Anything after the closing quote up to the separator is dropped.
      while (i < n && value[i] != ';') ++i;
    } else {
      while (i < n && value[i] != ';' && static_cast<unsigned char>(value[i]) >= 32)
        cell += value[i++];
    }
    cells_.push_back(cell);
    skipControls();
    if (i < n && value[i] == ';') {
      ++i;
      skipControls();
    }
  }
}

AnsiString TSpecRowEx::CellText(int index) const {
  return index >= 0 && index < CellCount() ? cells_[index] : AnsiString();
}

// ---------------------------------------------------------------------------
// TSizeGripEx

TSizeGripEx::TSizeGripEx(TWinControl* list) : TCustomControl(list), list_(list) {
  SetParent(list);
  SetBounds(0, 0, GetSystemMetrics(SM_CXVSCROLL), GetSystemMetrics(SM_CYVSCROLL));
  Place();
}

void TSizeGripEx::SetPosition(int corner) {
  position_ = std::clamp(corner, 0, 3);
  Place();
}

void TSizeGripEx::Place() {
  TRect r = list_->ClientRect();
  int x = position_ == 0 || position_ == 3 ? 0 : r.Right - Width();
  int y = position_ <= 1 ? 0 : r.Bottom - Height();
  SetBounds(x, y, Width(), Height());
  BringToFront();
}

void TSizeGripEx::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseDown(button, shift, x, y);
  if (button != mbLeft) return;
  moving_ = true;
  start_ = ClientToScreen(TPoint{x, y});
  startBounds_ = TRect(list_->Left(), list_->Top(), list_->Left() + list_->Width(),
                       list_->Top() + list_->Height());
  SetCapture();
}

void TSizeGripEx::MouseMove(TShiftState shift, int x, int y) {
  TCustomControl::MouseMove(shift, x, y);
  if (!moving_) return;
  TPoint now = ClientToScreen(TPoint{x, y});
  int dx = now.x - start_.x, dy = now.y - start_.y;
  int minW = GetSystemMetrics(SM_CXVSCROLL), minH = GetSystemMetrics(SM_CYVSCROLL);
  TRect b = startBounds_;
  if (position_ == 0 || position_ == 3) b.Left = std::min(b.Left + dx, b.Right - minW);
  else b.Right = std::max(b.Right + dx, b.Left + minW);
  if (position_ <= 1) b.Top = std::min(b.Top + dy, b.Bottom - minH);
  else b.Bottom = std::max(b.Bottom + dy, b.Top + minH);
  list_->SetBounds(b.Left, b.Top, b.Width(), b.Height());
  if (OnResized) OnResized(this);
  Place();
}

void TSizeGripEx::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  moving_ = false;
  if (GetCapture() == this) ReleaseCapture();
  TCustomControl::MouseUp(button, shift, x, y);
}

void TSizeGripEx::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  c->Brush()->SetColor(clBtnFace);
  c->FillRect(r);
  // Three pairs of diagonal lines toward the corner.
  const TColor colors[3] = {clBtnHighlight, clBtnShadow, clBtnShadow};
  int w = r.Width(), h = r.Height();
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      int k = 3 + i * 4 + j;
      if (k >= std::min(w, h)) break;
      c->Pen()->SetColor(colors[j]);
      bool right = position_ == 1 || position_ == 2, bottom = position_ >= 2;
      int x0 = right ? w - k : k, y1 = bottom ? h - k : k;
      c->MoveTo(x0, bottom ? h - 1 : 0);
      c->LineTo(right ? w - 1 : 0, y1);
    }
  }
}

// ---------------------------------------------------------------------------
// TPopupDataListEx

// Re-reads the list when the dataset's records change; moving through the
// dataset (as reading does) changes nothing.
class TPopupDataListEx::TListLink : public TDataLink {
 public:
  explicit TListLink(TPopupDataListEx* list) : list_(list) {}

 protected:
  void ActiveChanged() override { list_->ListChanged(); }
  void DataSetScrolled(int) override {}
  void RecordChanged(TField*) override { list_->ListChanged(); }

 private:
  TPopupDataListEx* list_;
};

TPopupDataListEx::TPopupDataListEx(TComponent* owner, TDBGridInplaceEdit* editor)
    : TCustomControl(owner),
      source_(std::make_unique<TDataSource>(nullptr)),
      link_(std::make_unique<TListLink>(this)),
      editor_(editor) {
  link_->SetDataSource(source_.get());
  SetVisible(false);
  SetColor(clWindow);
  SetBounds(0, 0, 121, 10);
  UpdateHeight();
}

int TPopupDataListEx::RowHeight() const {
  return std::max(1, FontMetrics().Metrics(*Font()).Height);
}

void TPopupDataListEx::UpdateHeight() {
  SetHeight(rowCount_ * RowHeight() + kBorder + TitleHeight() + SpecRowHeight());
}

void TPopupDataListEx::FitToHeight() {
  sized_ = true;
  rowCount_ = std::clamp((Height() - kBorder - TitleHeight() - SpecRowHeight()) / RowHeight(), 1, 100);
  UpdateHeight();
}

void TPopupDataListEx::SetRowCount(int value) {
  rowCount_ = std::clamp(value, 1, 100);
  UpdateHeight();
}

void TPopupDataListEx::SetShowTitles(bool value) {
  showTitles_ = value;
  UpdateHeight();
}

TPopupDataListEx::~TPopupDataListEx() { link_->SetDataSource(nullptr); }

void TPopupDataListEx::SetList(TDataSet* dataset, const AnsiString& keyField,
                               const AnsiString& listFields, int displayIndex) {
  keyField_ = keyField;
  listFields_ = listFields;
  display_ = displayIndex;
  selected_ = -1;
  top_ = 0;
  {
    TFlagScope reading(reading_);  // the link reports nothing of our own setting
    source_->SetDataSet(dataset);
  }
  ReadRows();
}

void TPopupDataListEx::ListChanged() {
  // A record being edited is read once it is posted: walking the dataset
  // now would post it.
  TDataSet* dataset = source_->DataSet();
  if (reading_ || (dataset && dataset->Active() && dataset->State() != dsBrowse)) return;
  const int top = top_;
  ReadRows();
  top_ = std::clamp(top, 0, std::max(0, RecordCount() - rowCount_));
  Invalidate();
}

void TPopupDataListEx::ReadRows() {
  TFlagScope reading(reading_);
  rows_.clear();
  titles_.clear();
  TDataSet* dataset = source_->DataSet();
  if (dataset == nullptr || !dataset->Active()) return;
  std::vector<TField*> shown;
  for (const AnsiString& n : SplitNames(listFields_))
    if (TField* f = dataset->FindField(n)) shown.push_back(f);
  if (shown.empty())
    if (TField* f = dataset->FindField(keyField_)) shown.push_back(f);
  for (TField* f : shown) titles_.push_back(f->DisplayLabel());
  TBookmarkStr mark = dataset->Bookmark();
  dataset->DisableControls();
  try {
    for (dataset->First(); !dataset->Eof(); dataset->Next()) {
      TRow row;
      row.Key = dataset->FieldValues(keyField_);
      for (TField* f : shown) row.Texts.push_back(f->DisplayText());
      rows_.push_back(std::move(row));
    }
    if (!mark.empty()) dataset->SetBookmark(mark);
  } catch (...) {
    dataset->EnableControls();
    throw;
  }
  dataset->EnableControls();
  if (display_ < 0 || display_ >= static_cast<int>(shown.size())) display_ = 0;
  SetKeyValue(keyValue_);
}

void TPopupDataListEx::SetKeyValue(const Variant& value) {
  keyValue_ = value;
  selected_ = -1;
  specSelected_ = false;
  for (int i = 0; i < RecordCount(); ++i)
    if (!value.IsNull() && rows_[i].Key == value) {
      selected_ = i;
      break;
    }
  if (specRow_.Visible() &&
      ((!value.IsNull() && value == specRow_.Value()) ||
       (selected_ < 0 && specRow_.ShowIfNotInKeyList())))
    specSelected_ = selected_ < 0 || value == specRow_.Value();
  if (specSelected_) selected_ = -1;
  if (selected_ >= 0) ScrollTo(selected_);
  Invalidate();
}

AnsiString TPopupDataListEx::SelectedText() const {
  if (specSelected_) return specRow_.CellText(display_);
  if (selected_ < 0 || selected_ >= RecordCount()) return AnsiString();
  const TRow& r = rows_[selected_];
  return display_ < static_cast<int>(r.Texts.size()) ? r.Texts[display_] : AnsiString();
}

void TPopupDataListEx::ScrollTo(int row) {
  if (row < top_) top_ = row;
  if (row >= top_ + rowCount_) top_ = row - rowCount_ + 1;
  top_ = std::clamp(top_, 0, std::max(0, RecordCount() - rowCount_));
}

void TPopupDataListEx::Select(int row) {
  if (RecordCount() == 0) return;
  row = std::clamp(row, 0, RecordCount() - 1);
  selected_ = row;
  specSelected_ = false;
  keyValue_ = rows_[row].Key;
  ScrollTo(row);
  Invalidate();
}

void TPopupDataListEx::SelectSpecRow() {
  if (!specRow_.Visible()) return;
  specSelected_ = true;
  selected_ = -1;
  keyValue_ = specRow_.Value();
  top_ = 0;
  Invalidate();
}

void TPopupDataListEx::KeyDown(std::uint16_t& key, TShiftState shift) {
  int step = 0;
  switch (key) {
    case VK_PRIOR: step = -(rowCount_ - 1); break;
    case VK_NEXT: step = rowCount_ - 1; break;
    case VK_UP: case VK_LEFT: step = -1; break;
    case VK_DOWN: case VK_RIGHT: step = 1; break;
    case VK_HOME:
      searchText_.clear();
      if (specRow_.Visible()) SelectSpecRow();
      else Select(0);
      key = 0;
      return;
    case VK_END:
      searchText_.clear();
      Select(RecordCount() - 1);
      key = 0;
      return;
    default:
      TCustomControl::KeyDown(key, shift);
      return;
  }
  searchText_.clear();
  if (step < 0 && (specSelected_ || selected_ <= 0) && specRow_.Visible()) {
    SelectSpecRow();
  } else if (specSelected_ || selected_ < 0) {
    Select(step > 0 ? (specSelected_ ? 0 : step - 1) : 0);
  } else {
    Select(selected_ + step);
  }
  key = 0;
}

void TPopupDataListEx::KeyPress(char& key) {
  auto byte = static_cast<unsigned char>(key);
  if (key == '\b' || key == '\x1b') {
    searchText_.clear();
    return;
  }
  if (byte < 32) return;
  AnsiString typed(1, key);
  if (pendingLead_ != 0) {
    typed = AnsiString(1, pendingLead_) + typed;
    pendingLead_ = 0;
  } else if (IsDBCSLeadByte(byte)) {
    pendingLead_ = key;
    key = 0;
    return;
  }
  key = 0;
  std::uint32_t now = PopupTickCount();
  if (now - searchTick_ > static_cast<std::uint32_t>(kTypeAheadMs)) searchText_.clear();
  searchTick_ = now;
  if (searchText_.size() >= kMaxSearchText) return;
  AnsiString candidate = searchText_ + typed;
  for (int i = 0; i < RecordCount(); ++i) {
    const TRow& r = rows_[i];
    AnsiString text = display_ < static_cast<int>(r.Texts.size()) ? r.Texts[display_] : "";
    if (IncSearchMatchLength(text, candidate) == candidate.size()) {
      searchText_ = candidate;
      Select(i);
      return;
    }
  }
}

int TPopupDataListEx::RowAt(int y) const {
  int top = kBorder / 2 + TitleHeight();
  if (specRow_.Visible() && y >= top && y < top + SpecRowHeight()) return -2;
  top += SpecRowHeight();
  if (y < top) return -1;
  int row = top_ + (y - top) / RowHeight();
  return row < RecordCount() && row < top_ + rowCount_ ? row : -1;
}

void TPopupDataListEx::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseDown(button, shift, x, y);
  if (button != mbLeft) return;
  searchText_.clear();
  tracking_ = true;
  SetCapture();
  int row = RowAt(y);
  if (row == -2) SelectSpecRow();
  else if (row >= 0) Select(row);
}

void TPopupDataListEx::MouseMove(TShiftState shift, int x, int y) {
  TCustomControl::MouseMove(shift, x, y);
  int top = kBorder / 2 + TitleHeight() + SpecRowHeight();
  int bottom = top + std::min(rowCount_, std::max(RecordCount() - top_, 0)) * RowHeight();
  if (!tracking_) {
    // The highlight follows the mouse.
    int row = RowAt(y);
    if (row >= 0 && row != selected_) Select(row);
    return;
  }
  int outside = y < top ? top - y : y >= bottom ? y - bottom + 1 : 0;
  if (outside > 0) {
    trackDirection_ = y < top ? -1 : 1;
    unsigned interval = static_cast<unsigned>(std::max(0, 200 - 15 * outside));
    if (interval != trackInterval_ || trackInterval_ == 0) SetTimer(1, interval);
    trackInterval_ = interval;
    return;
  }
  if (trackInterval_ != 0) KillTimer(1);
  trackInterval_ = 0;
  int row = RowAt(y);
  if (row == -2) SelectSpecRow();
  else if (row >= 0) Select(row);
}

void TPopupDataListEx::WndProc(TMessage& m) {
  if (m.Msg == WM_TIMER && static_cast<unsigned>(m.WParam) == 1) {
    if (tracking_ && trackDirection_ != 0 && RecordCount() > 0) {
      int from = selected_ < 0 ? (trackDirection_ > 0 ? -1 : 0) : selected_;
      if (trackDirection_ < 0 && from <= 0 && specRow_.Visible()) SelectSpecRow();
      else Select(from + trackDirection_);
    }
    return;
  }
  TCustomControl::WndProc(m);
}

void TPopupDataListEx::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  tracking_ = false;
  if (trackInterval_ != 0) KillTimer(1);
  trackInterval_ = 0;
  if (GetCapture() == this) ReleaseCapture();
  TCustomControl::MouseUp(button, shift, x, y);
  if (button == mbLeft && editor_)
    editor_->CloseUp(x >= 0 && x < Width() && y >= 0 && y < Height() && RowAt(y) != -1);
}

void TPopupDataListEx::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  c->Brush()->SetColor(Color());
  c->FillRect(r);
  TRect frame = r;
  DrawEdge(c, frame, BDR_SUNKENOUTER, BF_RECT);
  c->Font()->Assign(Font());
  int cols = std::max<int>(1, static_cast<int>(titles_.size()));
  int colW = std::max(1, (r.Width() - kBorder) / cols);
  int h = RowHeight();
  int y = kBorder / 2;
  auto cellsRow = [&](const std::vector<AnsiString>& texts, TColor back, TColor fore) {
    c->Brush()->SetColor(back);
    c->FillRect(TRect(1, y, r.Right - 1, y + h));
    c->Font()->SetColor(fore);
    for (int i = 0; i < cols && i < static_cast<int>(texts.size()); ++i)
      c->TextRect(TRect(1 + i * colW, y, 1 + (i + 1) * colW, y + h), 3 + i * colW, y, texts[i]);
    y += h;
  };
  if (showTitles_) {
    cellsRow(titles_, clBtnFace, clBtnText);
    ++y;
  }
  if (specRow_.Visible()) {
    std::vector<AnsiString> cells;
    for (int i = 0; i < cols; ++i) cells.push_back(specRow_.CellText(i));
    cellsRow(cells, specSelected_ ? clHighlight : specRow_.Color(),
             specSelected_ ? clHighlightText : clWindowText);
  }
  for (int i = top_; i < RecordCount() && i < top_ + rowCount_; ++i) {
    bool sel = i == selected_ && !specSelected_;
    cellsRow(rows_[i].Texts, sel ? clHighlight : Color(), sel ? clHighlightText : clWindowText);
  }
}

PAYROLL_PUBLISH(TSpecRowEx) {
  using T = TSpecRowEx;
  p.Property("CellsText", &T::CellsText, &T::SetCellsText);
  p.Property("ShowIfNotInKeyList", &T::ShowIfNotInKeyList, &T::SetShowIfNotInKeyList)
      .Default(true);
  p.Property("Visible", &T::Visible, &T::SetVisible).Default(false);
}
PAYROLL_PUBLISH(TPopupDataListEx) {}
PAYROLL_PUBLISH(TSizeGripEx) {}
