// TrbPreviewForm: the preview window of a report's prepared pages.  The
// pages lie on a grey desk at a zoom, scrolled with scroll bars, keys, the
// wheel and mouse dragging; a tool bar zooms, loads and saves prepared
// reports (".rbp"), prints, finds text, sets up the page and closes.
// TrbPBox is the panel that paints the pages; TrbPreviewSearchForm asks
// for the text to find.  Calls the prepared pages, the printer model, the
// report through TrbPreviewReport, and platform/ui.
//
//   TrbPreviewForm* f = new TrbPreviewForm(owner);
//   f->ShowReport(&report);   // modal or not, as the report asks
//
// Desk geometry (desk pixels; the desk is PBox's client area scrolled by
// OffsetX/OffsetY): every page's rectangle R (in TrbPageInfo) is its
// screen-unit size times Scale, placed in rows from (10, 10) with 10
// pixels between pages and rows.  ZoomMode: 0 free percentage, 1 page
// width, 2 whole page, 3 two pages.  CurPage is 1-based.
//
// Find walks a page's text records: the page is drawn once at scale 1 and
// every text output (TCanvas::OnTextOut) is recorded with its cell; a hit
// is the first record at or after the start index that holds the text.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StdCtrls.h"
#include "report/ReportPreviewReport.h"
#include "report/ReportToolbar.h"

class TrbEMFPages;
class TrbPreviewForm;
class TrbPreview;

// One text output of a drawn page: its cell in the page's screen units.
struct TrbTextRecord {
  TRect R;
  AnsiString Text;
};
// The text records of a prepared page, in drawing order.
std::vector<TrbTextRecord> rbPageTextRecords(TrbEMFPages& pages, int index);

// The page panel.
class TrbPBox : public TCustomControl {
 public:
  TrbPBox(TComponent* owner, TrbPreviewForm* preview);
  void Paint() override;

 private:
  TrbPreviewForm* preview_;
};

class TrbPreviewSearchForm : public TForm {
 public:
  explicit TrbPreviewSearchForm(TComponent* owner);
  TEdit* Edit1;       // the text
  TCheckBox* CB1;     // case sensitive
  TRadioButton* RB1;  // from the first page (default)
  TRadioButton* RB2;  // from the current page
  TButton* OKBtn;
  TButton* CancelBtn;
};

class TrbPreviewForm : public TForm {
 public:
  explicit TrbPreviewForm(TComponent* owner);
  ~TrbPreviewForm() override;

  // Takes the report's pages, sets the buttons and the zoom, goes to page
  // 1 with both scroll bars at 0; ShowReport then shows the window, modal
  // when the report asks for it.
  void Connect(TrbPreviewReport* report);
  void ShowReport(TrbPreviewReport* report);
  TrbPreviewReport* Report() const { return report_; }

  // --- view state ----------------------------------------------------
  int PageCount() const;
  int CurPage() const { return curPage_; }
  double Scale() const { return scale_; }
  int ZoomMode() const { return zoomMode_; }
  int OffsetX() const { return offsetX_; }
  int OffsetY() const { return offsetY_; }
  int HorzMax() const { return horzMax_; }
  int VertMax() const { return vertMax_; }
  int PagesPerRow() const { return pagesPerRow_; }
  // The page's rectangle on the desk (not scrolled).
  TRect PageRect(int index) const;
  AnsiString StatusText() const;

  // Zoom by a menu tag: 1 page width, 2 whole page, 3 two pages, else a
  // percentage.
  void SetZoom(int tag);
  // Lays the pages out for the desk's size and the zoom.
  void FormResize();
  // Paging: within 1 .. page count; the view scrolls to the page.
  void GotoPage(int page);
  void NextPage() { GotoPage(curPage_ + 1); }
  void PrevPage() { GotoPage(curPage_ - 1); }
  // Scrolls the desk (clamped to the ranges); a vertical scroll makes the
  // page at the top current.
  void ScrollTo(int x, int y);
  void ScrollBy(int dx, int dy) { ScrollTo(offsetX_ + dx, offsetY_ + dy); }
  // The keys the window previews; a handled key is set to 0.
  void HandleKey(std::uint16_t& key, TShiftState shift);
  // Wheel notches (positive away from the user) scroll by the small step.
  void Wheel(int wheelDelta);

  // --- find ----------------------------------------------------------------
  // Finds text from the first page or the current one; true on a hit,
  // which becomes current, scrolled into view and highlighted.
  bool Find(const AnsiString& text, bool caseSensitive, bool fromCurrentPage);
  // F3: the next hit of the last text, from the current page.
  bool FindNext();
  // The last hit: its page (0-based, -1 none) and its cell in screen units.
  int HitPage() const { return hitPage_; }
  TRect HitRect() const { return hitRect_; }

  // --- commands --------------------------------------------------------------
  void ZoomBtnClick();
  void LoadBtnClick();
  void SaveBtnClick();
  void PrintBtnClick();
  void FindBtnClick();
  void PageSetupBtnClick();
  void HelpBtnClick();
  // Mouse on the desk (desk-panel coordinates).
  void DeskMouseDown(TMouseButton button, int x, int y);
  void DeskMouseMove(int x, int y);
  void DeskMouseUp();

  TPanel* ToolPanel;
  TrbTBButton* ZoomBtn;
  TrbTBButton* LoadBtn;
  TrbTBButton* SaveBtn;
  TrbTBButton* PrintBtn;
  TrbTBButton* PageSetupBtn;
  TrbTBButton* FindBtn;
  TrbTBButton* HelpBtn;
  TrbTBButton* ExitBtn;
  TrbTBButton* PgUpBtn;
  TrbTBButton* PgDownBtn;
  TPanel* StatusPanel;
  TLabel* StatusLabel;
  TScrollBar* HScrollBar;
  TScrollBar* VScrollBar;
  TrbPBox* PBox;
  TPopupMenu* ProcMenu;
  std::vector<TMenuItem*> ZoomItems;  // tags 200 .. 10, 1, 2, 3
  TMenuItem* EditPageItem;
  TMenuItem* AddPageItem;
  TMenuItem* DelPageItem;

  // Scroll steps.
  static constexpr int kSmallStep = 10;
  static constexpr int kLargeStep = 200;

  void KeyDown(std::uint16_t& key, TShiftState shift) override;

 private:
  friend class TrbPBox;
  friend class TrbPreview;
  void PaintDesk(TCanvas* canvas);
  void UpdateStatus();
  // After the pages were replaced (connected, loaded, formed again): no
  // search hit, the first page at the top left, the view laid out anew.
  void ShowFirstPage();
  void UpdateScrollBars();
  void ScrollToPage(int page);
  void ScrollHitIntoView();
  void PageChanged(int page);
  bool Search(int startPage, int startRecord);
  void RemoveFromReport();

  TrbPreviewReport* report_ = nullptr;
  int curPage_ = 1;
  double scale_ = 1;
  int zoomMode_ = 0;
  int offsetX_ = 0, offsetY_ = 0;
  int horzMax_ = 0, vertMax_ = 0;
  int pagesPerRow_ = 1;
  bool syncing_ = false;
  // Search state.
  AnsiString findText_;
  bool findCase_ = false;
  int searchPage_ = -1;     // the page searched last
  int searchRecord_ = 0;    // the record after the last hit there
  int hitPage_ = -1;
  TRect hitRect_;
  // Dragging the desk.
  bool dragging_ = false;
  TPoint dragFrom_;
  AnsiString oldHelpFile_;
  // The panel the page area lives in, when embedded.
  TrbPreview* panel_ = nullptr;
  int wheelFactor_ = 1;
};

// A panel that hosts a preview window's page area (and, with ShowToolbar,
// its tool bar) inside another form.  It makes its own preview window (no
// owner) and frees it; the report shows its pages here when its Preview
// names the panel.
class TrbPreview : public TPanel {
 public:
  explicit TrbPreview(TComponent* owner);
  ~TrbPreview() override;

  // Moves the page area into the panel and shows the report's pages; the
  // wheel scrolls three small steps a notch here.
  void Connect(TrbPreviewReport* report);
  // Hands the page area back to the window (and the pages to the report).
  void Disconnect();
  bool Connected() const { return connected_; }
  int GetPage() const;
  TrbPreviewForm* Window() const { return window_; }

  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle s);
  bool ShowToolbar() const { return showToolbar_; }
  void SetShowToolbar(bool v) { showToolbar_ = v; }
  // Raised when the current page changes.
  std::function<void(TObject* sender, int page)> OnPageChanged;

 protected:
  void Resize() override;

 private:
  void PlaceBars();
  TrbPreviewForm* window_;
  TScrollStyle scrollBars_ = ssBoth;
  bool showToolbar_ = false;
  bool connected_ = false;
};

// The zoom kept between preview windows.
double rbLastPreviewScale();
int rbLastPreviewZoomMode();
void rbSetLastPreviewZoom(double scale, int mode);
