// TrbPreviewForm, TrbPBox, TrbPreviewSearchForm (see ReportPreview.h).
#include "report/ReportPreview.h"

#include <algorithm>
#include <cmath>

#include "platform/core/AnsiText.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Files.h"
#include "platform/core/NumFormat.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/Printers.h"
#include "platform/ui/VirtualKeys.h"
#include "report/ReportFormsInt.h"
#include "report/ReportFunctions.h"
#include "report/ReportPage.h"
#include "report/ReportPrepared.h"
#include "report/ReportPrintDialog.h"
#include "report/ReportPrinter.h"
#include "report/ReportWindowPos.h"

using namespace rbforms;

namespace {

constexpr TColor kDeskColor = 0x808080;
constexpr int kZoomTags[] = {200, 150, 100, 75, 50, 25, 10};
constexpr int kPageWidthMode = 1, kWholePageMode = 2, kTwoPagesMode = 3;

double gLastScale = 1;
int gLastZoomMode = 0;

int Px(double v) { return static_cast<int>(std::lround(v)); }

}  // namespace

double rbLastPreviewScale() { return gLastScale; }
int rbLastPreviewZoomMode() { return gLastZoomMode; }
void rbSetLastPreviewZoom(double scale, int mode) {
  gLastScale = scale;
  gLastZoomMode = mode;
}

// ---- page text records ----

std::vector<TrbTextRecord> rbPageTextRecords(TrbEMFPages& pages, int index) {
  TrbPageInfo& info = pages.Pages(index);
  std::vector<TrbTextRecord> records;
  int w = std::max(1, info.PrnInfo[2]), h = std::max(1, info.PrnInfo[3]);
  bool wasVisible = info.Visible;
  TBitmap bmp(w, h);
  bmp.Canvas()->OnTextOut = [&records](const TRect& r, const AnsiString& text) { records.push_back({r, text}); };
  info.Visible = true;
  try {
    pages.Draw(index, bmp.Canvas(), TRect(0, 0, w, h));
  } catch (...) {
    info.Visible = wasVisible;
    throw;
  }
  bmp.Canvas()->OnTextOut = nullptr;
  info.Visible = wasVisible;
  if (!wasVisible) pages.Draw(index, bmp.Canvas(), TRect());  // lets the page's objects go again
  bmp.Canvas()->ReleasePainter();
  return records;
}

// ---- TrbPBox ----

TrbPBox::TrbPBox(TComponent* owner, TrbPreviewForm* preview) : TCustomControl(owner), preview_(preview) {}

void TrbPBox::Paint() { preview_->PaintDesk(Canvas()); }

// ---- TrbPreviewSearchForm ----

TrbPreviewSearchForm::TrbPreviewSearchForm(TComponent* owner) : TForm(owner) {
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetCaption(rbLoadStr(53028));
  SetClientWidth(300);
  SetClientHeight(128);
  Label(this, 8, 12, "文本:");
  Edit1 = Place<TEdit>(this, 56, 8, 236, 21);
  CB1 = Place<TCheckBox>(this, 8, 38, 200, 17);
  CB1->SetCaption("区分大小写");
  RB1 = Place<TRadioButton>(this, 8, 60, 140, 17);
  RB1->SetCaption("从第一页开始");
  RB1->SetChecked(true);
  RB2 = Place<TRadioButton>(this, 150, 60, 140, 17);
  RB2->SetCaption("从当前页开始");
  OKBtn = Button(this, 136, 94, "确认", mrOk);
  OKBtn->SetDefault(true);
  CancelBtn = Button(this, 217, 94, "取消", mrCancel);
  CancelBtn->SetCancel(true);
  SetActiveControl(Edit1);
}

// ---- TrbPreviewForm: construction ----

TrbPreviewForm::TrbPreviewForm(TComponent* owner) : TForm(owner) {
  SetCaption("预览");
  SetBounds(40, 40, 800, 600);
  SetKeyPreview(true);

  ToolPanel = new TPanel(this);
  ToolPanel->SetParent(this);
  ToolPanel->SetAlign(alTop);
  ToolPanel->SetHeight(28);
  ToolPanel->SetBevelOuter(bvNone);
  auto button = [this](const AnsiString& caption, int tag) {
    auto* b = new TrbTBButton(this);
    b->SetParent(ToolPanel);
    b->SetBounds(0, 2, 64, 24);
    b->SetCaption(caption);
    b->SetHint(caption);
    b->SetShowHint(true);
    b->SetTag(tag);
    return b;
  };
  ZoomBtn = button("100%", 200);
  ZoomBtn->SetHint(rbLoadStr(53024));
  LoadBtn = button(rbLoadStr(53025), 201);
  SaveBtn = button(rbLoadStr(53026), 202);
  PrintBtn = button(rbLoadStr(53027), 203);
  PageSetupBtn = button("页面设置", 203);
  FindBtn = button(rbLoadStr(53028), 204);
  HelpBtn = button(rbLoadStr(53032), 0);
  PgUpBtn = button("上一页", 0);
  PgDownBtn = button("下一页", 0);
  ExitBtn = button(rbLoadStr(53023), 205);

  StatusPanel = new TPanel(this);
  StatusPanel->SetParent(this);
  StatusPanel->SetAlign(alBottom);
  StatusPanel->SetHeight(20);
  StatusPanel->SetBevelOuter(bvLowered);
  StatusLabel = Label(StatusPanel, 8, 3, "");

  HScrollBar = new TScrollBar(this);
  HScrollBar->SetParent(this);
  HScrollBar->SetKind(sbHorizontal);
  HScrollBar->SetAlign(alBottom);
  HScrollBar->SetHeight(16);
  VScrollBar = new TScrollBar(this);
  VScrollBar->SetParent(this);
  VScrollBar->SetKind(sbVertical);
  VScrollBar->SetAlign(alRight);
  VScrollBar->SetWidth(16);
  for (TScrollBar* bar : {HScrollBar, VScrollBar}) {
    bar->SetSmallChange(kSmallStep);
    bar->SetLargeChange(kLargeStep);
    bar->OnChange = [this](TObject*) {
      if (!syncing_) ScrollTo(HScrollBar->Position(), VScrollBar->Position());
    };
  }

  PBox = new TrbPBox(this, this);
  PBox->SetParent(this);
  PBox->SetAlign(alClient);
  PBox->SetColor(kDeskColor);
  PBox->OnResize = [this](TObject*) { FormResize(); };
  PBox->OnMouseDown = [this](TObject*, TMouseButton b, TShiftState, int x, int y) { DeskMouseDown(b, x, y); };
  PBox->OnMouseMove = [this](TObject*, TShiftState, int x, int y) { DeskMouseMove(x, y); };
  PBox->OnMouseUp = [this](TObject*, TMouseButton, TShiftState, int, int) { DeskMouseUp(); };
  PBox->OnMouseWheel = [this](TObject*, TShiftState, int delta, TPoint, bool& handled) {
    Wheel(delta);
    handled = true;
  };

  ProcMenu = new TPopupMenu(this);
  auto item = [this](const AnsiString& caption, int tag) {
    auto* m = new TMenuItem(ProcMenu);
    m->SetCaption(caption);
    m->SetTag(tag);
    ProcMenu->Items()->Add(m);
    return m;
  };
  auto zoomItem = [&](const AnsiString& caption, int tag) {
    TMenuItem* m = item(caption, tag);
    m->SetRadioItem(true);
    m->SetGroupIndex(1);
    m->OnClick = [this, tag](TObject*) { SetZoom(tag); };
    ZoomItems.push_back(m);
  };
  for (int tag : kZoomTags) zoomItem(IntToStr(tag) + "%", tag);
  zoomItem("页宽(&P)", kPageWidthMode);
  zoomItem("全页(&W)", kWholePageMode);
  zoomItem("双页(&T)", kTwoPagesMode);
  item("-", 0);
  // Page editing needs a report designer, which this system does not have:
  // the items stay hidden.
  EditPageItem = item(rbLoadStr(53029), 0);
  AddPageItem = item(rbLoadStr(53030), 0);
  DelPageItem = item(rbLoadStr(53031), 0);
  for (TMenuItem* m : {EditPageItem, AddPageItem, DelPageItem}) m->SetVisible(false);

  ZoomBtn->OnClick = [this](TObject*) { ZoomBtnClick(); };
  LoadBtn->OnClick = [this](TObject*) { LoadBtnClick(); };
  SaveBtn->OnClick = [this](TObject*) { SaveBtnClick(); };
  PrintBtn->OnClick = [this](TObject*) { PrintBtnClick(); };
  PageSetupBtn->OnClick = [this](TObject*) { PageSetupBtnClick(); };
  FindBtn->OnClick = [this](TObject*) { FindBtnClick(); };
  HelpBtn->OnClick = [this](TObject*) { HelpBtnClick(); };
  PgUpBtn->OnClick = [this](TObject*) { PrevPage(); };
  PgDownBtn->OnClick = [this](TObject*) { NextPage(); };
  ExitBtn->OnClick = [this](TObject*) { Close(); };

  OnActivate = [this](TObject*) {
    oldHelpFile_ = Application->HelpFile();
    Application->SetHelpFile("RBuser.hlp");
  };
  OnDeactivate = [this](TObject*) { Application->SetHelpFile(oldHelpFile_); };
  OnClose = [this](TObject*, TCloseAction& action) {
    rbSaveFormPosition(this);
    action = caFree;
  };
}

TrbPreviewForm::~TrbPreviewForm() = default;

// ---- showing ----

void TrbPreviewForm::Connect(TrbPreviewReport* report) {
  report_ = report;
  TrbPreviewButtons b = report->PreviewButtons();
  const std::pair<TrbTBButton*, bool> shown[] = {
      {ZoomBtn, b.Contains(pbZoom)},   {LoadBtn, b.Contains(pbLoad)},  {SaveBtn, b.Contains(pbSave)},
      {PrintBtn, b.Contains(pbPrint)}, {PageSetupBtn, b.Contains(pbPageSetup)},
      {FindBtn, b.Contains(pbFind)},   {HelpBtn, b.Contains(pbHelp)},  {PgUpBtn, true},
      {PgDownBtn, true},               {ExitBtn, b.Contains(pbExit)}};
  int x = 2;
  for (const auto& [button, visible] : shown) {
    button->SetVisible(visible);
    button->SetGrayedInactive(report->GrayedButtons());
    if (!visible) continue;
    button->SetLeft(x);
    x += button->Width() + 2;
  }
  switch (report->InitialZoom()) {
    case pzPageWidth: zoomMode_ = kPageWidthMode; break;
    case pzOnePage: zoomMode_ = kWholePageMode; break;
    case pzTwoPages: zoomMode_ = kTwoPagesMode; break;
    default:
      scale_ = rbLastPreviewScale();
      zoomMode_ = rbLastPreviewZoomMode();
      break;
  }
  findText_.clear();
  ShowFirstPage();
}

void TrbPreviewForm::ShowFirstPage() {
  searchPage_ = hitPage_ = -1;
  curPage_ = 1;
  offsetX_ = offsetY_ = 0;
  FormResize();
  UpdateStatus();
}

void TrbPreviewForm::ShowReport(TrbPreviewReport* report) {
  Connect(report);
  rbRestoreFormPosition(this);
  if (report->ModalPreview()) ShowModal();
  else Show();
}

int TrbPreviewForm::PageCount() const {
  return report_ && report_->EMFPages() ? report_->EMFPages()->Count() : 0;
}

TRect TrbPreviewForm::PageRect(int index) const { return report_->EMFPages()->Pages(index).R; }

AnsiString TrbPreviewForm::StatusText() const {
  return AnsiString("页") + " " + IntToStr(curPage_) + "/" + IntToStr(PageCount());
}

void TrbPreviewForm::UpdateStatus() { StatusLabel->SetCaption(StatusText()); }

void TrbPreviewForm::PageChanged(int page) {
  if (page == curPage_) return;
  curPage_ = page;
  if (panel_ && panel_->OnPageChanged) panel_->OnPageChanged(panel_, page);  // told first
  UpdateStatus();
}

// ---- zoom and layout ----

void TrbPreviewForm::SetZoom(int tag) {
  if (tag >= kPageWidthMode && tag <= kTwoPagesMode) {
    zoomMode_ = tag;
  } else {
    zoomMode_ = 0;
    scale_ = tag / 100.0;
  }
  FormResize();
}

void TrbPreviewForm::FormResize() {
  int count = PageCount();
  const int deskW = PBox->ClientWidth(), deskH = PBox->ClientHeight();
  if (count == 0) {
    horzMax_ = vertMax_ = 0;
    UpdateScrollBars();
    PBox->Invalidate();
    return;
  }
  TrbEMFPages& pages = *report_->EMFPages();
  curPage_ = std::clamp(curPage_, 1, count);
  // 1. The scale by the zoom mode, from the current page.
  const auto& cur = pages.Pages(curPage_ - 1).PrnInfo;
  int pw = std::max(1, cur[2]), ph = std::max(1, cur[3]);
  if (zoomMode_ == kPageWidthMode) scale_ = (deskW - 20.0) / pw;
  else if (zoomMode_ == kWholePageMode) scale_ = (deskH - 20.0) / ph;
  else if (zoomMode_ == kTwoPagesMode) scale_ = (deskW - 30.0) / (2.0 * pw);
  scale_ = std::max(scale_, 0.01);  // a desk too small for any page
  int percent = Px(scale_ * 100);
  ZoomBtn->SetCaption(IntToStr(percent) + "%");
  for (TMenuItem* m : ZoomItems)
    m->SetChecked(zoomMode_ == 0 ? m->Tag() == percent : m->Tag() == zoomMode_);
  rbSetLastPreviewZoom(scale_, zoomMode_);

  auto width = [&](int i) { return std::max(1, Px(pages.Pages(i).PrnInfo[2] * scale_)); };
  auto height = [&](int i) { return std::max(1, Px(pages.Pages(i).PrnInfo[3] * scale_)); };
  // 2. Pages per row: the most that fitted in any row.
  if (zoomMode_ == kWholePageMode) {
    pagesPerRow_ = 1;
  } else if (zoomMode_ == kTwoPagesMode) {
    pagesPerRow_ = 2;
  } else {
    int best = 0, inRow = 0, x = 10;
    for (int i = 0; i < count; ++i) {
      int w = width(i);
      if (x + w + 10 <= deskW) {
        x += w + 10;
        ++inRow;
      } else {
        best = std::max(best, inRow);
        x = 10 + w + 10;
        inRow = 1;
      }
    }
    pagesPerRow_ = std::max({1, best, inRow});
  }
  // 3. Placement in rows from (10, 10).
  int y = 10, right = 0, bottom = 0;
  for (int first = 0; first < count; first += pagesPerRow_) {
    int x = 10, rowHeight = 0;
    for (int i = first; i < std::min(count, first + pagesPerRow_); ++i) {
      int w = width(i), ht = height(i);
      int left = pagesPerRow_ == 1 && w < deskW ? (deskW - w) / 2 : x;
      pages.Pages(i).R = TRect(left, y, left + w, y + ht);
      x = left + w + 10;
      rowHeight = std::max(rowHeight, ht);
      right = std::max(right, left + w);
      bottom = std::max(bottom, y + ht);
    }
    y += rowHeight + 10;
  }
  // 4. Scroll ranges, then the current page's top 10 pixels below the top.
  horzMax_ = std::max(0, right - deskW + 10);
  vertMax_ = std::max(0, bottom - deskH + 10);
  offsetX_ = std::clamp(offsetX_, 0, horzMax_);
  ScrollToPage(curPage_);
}

void TrbPreviewForm::UpdateScrollBars() {
  syncing_ = true;
  HScrollBar->SetParams(offsetX_, 0, horzMax_);
  HScrollBar->SetEnabled(horzMax_ > 0);
  HScrollBar->SetPageSize(std::max(1, PBox->ClientWidth()));
  VScrollBar->SetParams(offsetY_, 0, vertMax_);
  VScrollBar->SetEnabled(vertMax_ > 0);
  VScrollBar->SetPageSize(std::max(1, PBox->ClientHeight()));
  syncing_ = false;
}

void TrbPreviewForm::ScrollToPage(int page) {
  if (page >= 1 && page <= PageCount()) offsetY_ = std::clamp(PageRect(page - 1).Top - 10, 0, vertMax_);
  UpdateScrollBars();
  PBox->Invalidate();
}

void TrbPreviewForm::ScrollTo(int x, int y) {
  x = std::clamp(x, 0, horzMax_);
  y = std::clamp(y, 0, vertMax_);
  bool vertical = y != offsetY_;
  offsetX_ = x;
  offsetY_ = y;
  if (vertical) {
    // The page at the line 11 pixels below the top becomes current.
    for (int i = 0; i < PageCount(); ++i) {
      TRect r = PageRect(i);
      if (r.Top <= y + 11 && y + 11 <= r.Bottom) {
        PageChanged(i + 1);
        break;
      }
    }
  }
  UpdateScrollBars();
  PBox->Invalidate();
}

void TrbPreviewForm::GotoPage(int page) {
  int count = PageCount();
  if (count == 0) return;
  page = std::clamp(page, 1, count);
  PageChanged(page);
  ScrollToPage(page);
}

void TrbPreviewForm::Wheel(int wheelDelta) {
  ScrollBy(0, -wheelDelta / WHEEL_DELTA * kSmallStep * wheelFactor_);
}

// ---- painting ----

// The desk grey; each page on screen white with a black frame and its
// contents; pages off screen let their objects go.  A page is on screen
// when it reaches into the panel's height (not a fixed 2,000 pixels: a
// taller panel would leave its lower pages blank).
void TrbPreviewForm::PaintDesk(TCanvas* c) {
  const int deskW = PBox->ClientWidth(), deskH = PBox->ClientHeight();
  c->Pen()->SetMode(pmCopy);
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(kDeskColor);
  c->FillRect(TRect(0, 0, deskW, deskH));
  if (PageCount() == 0) return;
  TrbEMFPages& pages = *report_->EMFPages();
  for (int i = 0; i < pages.Count(); ++i) {
    TrbPageInfo& info = pages.Pages(i);
    TRect r = info.R;
    OffsetRect(r, -offsetX_, -offsetY_);
    info.Visible = r.Top < deskH && r.Bottom > 0;
    if (!info.Visible) {
      pages.Draw(i, c, TRect());
      continue;
    }
    c->Pen()->SetMode(pmCopy);
    c->Pen()->SetColor(clBlack);
    c->Pen()->SetWidth(1);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(clWhite);
    c->Rectangle(r);
    try {
      pages.Draw(i, c, r);
    } catch (const Exception&) {
      // A page whose objects cannot be read (a damaged ".rbp" file) shows
      // as crossed out; raising here would put up an error at every paint.
      info.Page.reset();
      c->Pen()->SetMode(pmCopy);
      c->Pen()->SetColor(clRed);
      c->MoveTo(r.Left, r.Top);
      c->LineTo(r.Right, r.Bottom);
      c->MoveTo(r.Right - 1, r.Top);
      c->LineTo(r.Left - 1, r.Bottom);
      continue;
    }
    if (i == hitPage_) {
      // The hit inverted: white lines drawn in exclusive-or mode.
      TRect h(r.Left + Px(hitRect_.Left * scale_), r.Top + Px(hitRect_.Top * scale_),
              r.Left + Px(hitRect_.Right * scale_), r.Top + Px(hitRect_.Bottom * scale_));
      c->Pen()->SetMode(pmXor);
      c->Pen()->SetColor(clWhite);
      for (int y = h.Top; y < h.Bottom; ++y) {
        c->MoveTo(h.Left, y);
        c->LineTo(h.Right, y);
      }
      c->Pen()->SetMode(pmCopy);
    }
  }
}

// ---- keys and mouse ----

void TrbPreviewForm::KeyDown(std::uint16_t& key, TShiftState shift) {
  HandleKey(key, shift);
  if (key) TForm::KeyDown(key, shift);
}

void TrbPreviewForm::HandleKey(std::uint16_t& key, TShiftState shift) {
  const bool ctrl = shift.Contains(ssCtrl);
  switch (key) {
    case VK_UP: ScrollBy(0, -kSmallStep); break;
    case VK_DOWN: ScrollBy(0, kSmallStep); break;
    case VK_LEFT: ScrollBy(-kSmallStep, 0); break;
    case VK_RIGHT: ScrollBy(kSmallStep, 0); break;
    case VK_PRIOR:
      if (ctrl) PrevPage();
      else ScrollBy(0, -kLargeStep);
      break;
    case VK_NEXT:
      if (ctrl) NextPage();
      else ScrollBy(0, kLargeStep);
      break;
    case VK_HOME:
      if (!ctrl) return;
      ScrollTo(offsetX_, 0);
      break;
    case VK_END:
      if (!ctrl) return;
      GotoPage(PageCount());
      break;
    case VK_SPACE: ZoomBtnClick(); break;
    case VK_ESCAPE: Close(); break;
    case VK_F3: FindNext(); break;
    default:
      if (!ctrl) return;
      if (key == 'O') LoadBtnClick();
      else if (key == 'S') SaveBtnClick();
      else if (key == 'P') {
        if (PrintBtn->Visible() && PrintBtn->Enabled()) PrintBtnClick();
      } else if (key == 'F') FindBtnClick();
      else if (key == 'E') {
        // Editing a page needs a designer; none exists here.
      } else return;
      break;
  }
  key = 0;
}

void TrbPreviewForm::DeskMouseDown(TMouseButton button, int x, int y) {
  if (button == mbRight) {
    TPoint at = PBox->ClientToScreen(TPoint(x, y));
    ProcMenu->Popup(at.x, at.y);
    return;
  }
  if (button != mbLeft || PageCount() == 0) return;
  TrbEMFPages& pages = *report_->EMFPages();
  TPoint at(x + offsetX_, y + offsetY_);
  for (int i = 0; i < pages.Count(); ++i) {
    TRect r = PageRect(i);
    if (at.x < r.Left || at.x >= r.Right || at.y < r.Top || at.y >= r.Bottom) continue;
    PageChanged(i + 1);
    int cursor = 0;
    TPoint onPage(Px((at.x - r.Left) / scale_), Px((at.y - r.Top) / scale_));
    if (pages.DoClick(i, onPage, true, cursor)) return;
    break;
  }
  dragging_ = true;
  dragFrom_ = TPoint(x, y);
}

void TrbPreviewForm::DeskMouseMove(int x, int y) {
  if (dragging_) {
    ScrollBy(dragFrom_.x - x, dragFrom_.y - y);
    dragFrom_ = TPoint(x, y);
    return;
  }
  if (PageCount() == 0) return;
  TrbEMFPages& pages = *report_->EMFPages();
  TPoint at(x + offsetX_, y + offsetY_);
  int cursor = crDefault;
  for (int i = 0; i < pages.Count(); ++i) {
    TRect r = PageRect(i);
    if (at.x < r.Left || at.x >= r.Right || at.y < r.Top || at.y >= r.Bottom) continue;
    TPoint onPage(Px((at.x - r.Left) / scale_), Px((at.y - r.Top) / scale_));
    if (!pages.DoClick(i, onPage, false, cursor)) cursor = crDefault;
    break;
  }
  PBox->SetCursor(static_cast<TCursor>(cursor));
}

void TrbPreviewForm::DeskMouseUp() { dragging_ = false; }

// ---- find ----

bool TrbPreviewForm::Find(const AnsiString& text, bool caseSensitive, bool fromCurrentPage) {
  if (text.empty() || PageCount() == 0) return false;
  findCase_ = caseSensitive;
  findText_ = caseSensitive ? text : AnsiUpperCase(text);
  int page = fromCurrentPage ? curPage_ - 1 : 0;
  int record = fromCurrentPage && page == searchPage_ ? searchRecord_ : 0;
  return Search(page, record);
}

bool TrbPreviewForm::FindNext() {
  if (findText_.empty() || PageCount() == 0) return false;
  int page = curPage_ - 1;
  return Search(page, page == searchPage_ ? searchRecord_ : 0);
}

bool TrbPreviewForm::Search(int startPage, int startRecord) {
  TrbEMFPages& pages = *report_->EMFPages();
  for (int p = std::max(0, startPage); p < pages.Count(); ++p) {
    std::vector<TrbTextRecord> records;
    try {
      records = rbPageTextRecords(pages, p);
    } catch (const Exception&) {
      continue;  // a damaged page holds no text to find (it shows crossed out)
    }
    for (size_t k = p == startPage ? static_cast<size_t>(startRecord) : 0; k < records.size(); ++k) {
      const AnsiString& text = records[k].Text;
      if (AnsiPos(findText_, findCase_ ? text : AnsiUpperCase(text)) <= 0) continue;
      searchPage_ = p;
      searchRecord_ = static_cast<int>(k) + 1;
      hitPage_ = p;
      hitRect_ = records[k].R;
      PageChanged(p + 1);
      ScrollHitIntoView();
      return true;
    }
  }
  return false;  // nowhere: the view stays as it was
}

// The hit's rectangle, scaled, wholly in view: where it is not, the view
// goes to the page's top (left) edge less 10, and further when the hit
// still lies beyond the view.
void TrbPreviewForm::ScrollHitIntoView() {
  TRect page = PageRect(hitPage_);
  TRect h(page.Left + Px(hitRect_.Left * scale_), page.Top + Px(hitRect_.Top * scale_),
          page.Left + Px(hitRect_.Right * scale_), page.Top + Px(hitRect_.Bottom * scale_));
  const int deskW = PBox->ClientWidth(), deskH = PBox->ClientHeight();
  int x = offsetX_, y = offsetY_;
  if (h.Top < y || h.Bottom > y + deskH) {
    y = page.Top - 10;
    if (h.Bottom > y + deskH) y = h.Bottom - deskH + 10;
  }
  if (h.Left < x || h.Right > x + deskW) {
    x = page.Left - 10;
    if (h.Right > x + deskW) x = h.Right - deskW + 10;
  }
  offsetX_ = std::clamp(x, 0, horzMax_);
  offsetY_ = std::clamp(y, 0, vertMax_);
  UpdateScrollBars();
  PBox->Invalidate();
}

// ---- commands ----

void TrbPreviewForm::ZoomBtnClick() {
  // From the button the page-editing items are hidden (they are anyway:
  // no designer).
  TPoint at = ZoomBtn->ClientToScreen(TPoint(0, ZoomBtn->Height()));
  ProcMenu->Popup(at.x, at.y);
}

void TrbPreviewForm::LoadBtnClick() {
  if (!report_) return;
  TFileRequest r;
  r.Filter = rbLoadStr(55211) + " (*.rbp)|*.rbp";
  r.DefaultExt = "rbp";
  r.FileMustExist = true;
  if (!DialogService().OpenFile(r)) return;
  report_->LoadPreparedReport(r.FileName);
  findText_.clear();
  ShowFirstPage();
}

void TrbPreviewForm::SaveBtnClick() {
  if (!report_) return;
  TFileRequest r;
  r.Filter = rbLoadStr(55211) + " (*.rbp)|*.rbp";
  r.DefaultExt = "rbp";
  r.OverwritePrompt = true;
  if (!DialogService().SaveFile(r)) return;
  AnsiString name = r.FileName;
  if (AnsiLowerCase(ExtractFileExt(name)) != ".rbp") name = ChangeFileExt(name, ".rbp");
  report_->SavePreparedReport(name);
}

void TrbPreviewForm::PrintBtnClick() {
  if (!report_ || PageCount() == 0) return;
  TrbPrinter* printer = rbPrinter();
  int copies = report_->DefaultCopies();
  bool collate = report_->DefaultCollate();
  AnsiString pageNumbers;
  TrbPrintPages which = ppAll;
  if (report_->ShowPrintDialog() && !rbShowPrintDialog(curPage_, copies, collate, pageNumbers, which)) return;
  AnsiString pdf;
  if (!printer->HasSystemPrinters()) {
    // No printer installed: the printer object's PDF printer stands for
    // one, and the pages print into a file the user names once the print
    // dialog has said what to print.
    TFileRequest r;
    r.Filter = "PDF 文件 (*.pdf)|*.pdf";
    r.DefaultExt = "pdf";
    r.OverwritePrompt = true;
    if (!DialogService().SaveFile(r)) return;
    pdf = r.FileName;
    if (AnsiLowerCase(ExtractFileExt(pdf)) != ".pdf") pdf += ".pdf";
  }
  TPrinter* device = printer->Printer();
  AnsiString oldOutput = device->OutputFileName();
  device->SetOutputFileName(pdf);
  struct Restore {
    TPrinter* device;
    AnsiString output;
    ~Restore() {
      if (!device->Printing()) device->SetOutputFileName(output);
    }
  } restore{device, oldOutput};
  report_->PrintPreparedReport(pageNumbers, copies, collate, which);
  FormResize();
}

void TrbPreviewForm::FindBtnClick() {
  if (PageCount() == 0) return;
  auto form = std::make_unique<TrbPreviewSearchForm>(nullptr);
  if (form->ShowModal() != mrOk) return;
  AnsiString text = form->Edit1->Text();
  bool caseSensitive = form->CB1->Checked(), fromCurrent = form->RB2->Checked();
  form.reset();
  Find(text, caseSensitive, fromCurrent);
}

void TrbPreviewForm::PageSetupBtnClick() {
  if (!report_) return;
  TrbPages* templ = report_->TemplatePages();
  if (!templ || templ->Count() == 0) return;
  TrbPrinter* printer = rbPrinter();
  TrbPage* first = templ->Pages(0);
  TrbPageSetup setup;
  setup.Mode = printer->Printer()->DeviceMode();
  setup.Mode.PaperSize = printer->PaperSize();
  setup.Mode.Orientation = printer->Orientation();
  bool landscape = printer->Orientation() == poLandscape;
  setup.Mode.PaperWidth = landscape ? printer->PaperHeight() : printer->PaperWidth();
  setup.Mode.PaperLength = landscape ? printer->PaperWidth() : printer->PaperHeight();
  // Design units to hundredths of a millimetre and back.
  setup.Margins = {first->LeftMargin * 500 / 18, first->TopMargin * 500 / 18, first->RightMargin * 500 / 18,
                   first->BottomMargin * 500 / 18};
  if (!rbRunPrinterDialog(printer->Printer(), setup, true)) return;
  const TPrinterDeviceMode& m = setup.Mode;
  landscape = m.Orientation == poLandscape;
  printer->SetPrinterInfo(m.PaperSize, landscape ? m.PaperLength : m.PaperWidth,
                          landscape ? m.PaperWidth : m.PaperLength, kDefaultBin, m.Orientation, true);
  for (int i = 0; i < templ->Count(); ++i) {
    TrbPage* page = templ->Pages(i);
    if (page->Type != 0) continue;  // dialog pages have no paper
    page->LeftMargin = setup.Margins[0] * 18 / 500;
    page->TopMargin = setup.Margins[1] * 18 / 500;
    page->RightMargin = setup.Margins[2] * 18 / 500;
    page->BottomMargin = setup.Margins[3] * 18 / 500;
    page->pgSize = m.PaperSize;
    page->pgWidth = m.PaperWidth;
    page->pgHeight = m.PaperLength;
    page->pgOr = landscape ? 1 : 0;
  }
  report_->PrepareReport();
  ShowFirstPage();
}

void TrbPreviewForm::HelpBtnClick() {
  MessageBox(
      "Ctrl+PgUp / Ctrl+PgDn: 上一页 / 下一页\r\n"
      "Ctrl+Home / Ctrl+End: 第一页 / 最后一页\r\n"
      "空格: 放缩\r\n"
      "Ctrl+F: 查找文本, F3: 查找下一个\r\n"
      "Ctrl+O / Ctrl+S / Ctrl+P: 打开 / 保存 / 打印报表\r\n"
      "Esc: 关闭预览",
      rbLoadStr(53032), MB_OK | MB_ICONINFORMATION);
}

// ---- TrbPreview ----

TrbPreview::TrbPreview(TComponent* owner) : TPanel(owner), window_(new TrbPreviewForm(nullptr)) {
  SetBevelInner(bvNone);
  SetBevelOuter(bvLowered);
  window_->panel_ = this;
}

TrbPreview::~TrbPreview() {
  Disconnect();
  delete window_;
}

void TrbPreview::Connect(TrbPreviewReport* report) {
  if (!connected_) {
    // The page area's controls belong to the window; here they are only
    // parented, and go back before the panel or the window goes.
    if (showToolbar_) window_->ToolPanel->SetParent(this);
    window_->HScrollBar->SetParent(this);
    window_->VScrollBar->SetParent(this);
    window_->PBox->SetParent(this);
    window_->wheelFactor_ = 3;
    if (PopupMenu()) window_->ProcMenu = PopupMenu();
    connected_ = true;
    PlaceBars();
  }
  window_->Connect(report);
}

void TrbPreview::Disconnect() {
  if (!connected_) return;
  window_->ToolPanel->SetParent(window_);
  window_->HScrollBar->SetParent(window_);
  window_->VScrollBar->SetParent(window_);
  window_->PBox->SetParent(window_);
  window_->wheelFactor_ = 1;
  window_->report_ = nullptr;
  connected_ = false;
}

int TrbPreview::GetPage() const { return window_->CurPage(); }

void TrbPreview::SetScrollBars(TScrollStyle s) {
  scrollBars_ = s;
  PlaceBars();
}

void TrbPreview::PlaceBars() {
  window_->VScrollBar->SetVisible(scrollBars_ == ssBoth || scrollBars_ == ssVertical);
  window_->HScrollBar->SetVisible(scrollBars_ == ssBoth || scrollBars_ == ssHorizontal);
  if (connected_) window_->FormResize();
}

void TrbPreview::Resize() {
  TPanel::Resize();
  if (connected_) window_->FormResize();
}
