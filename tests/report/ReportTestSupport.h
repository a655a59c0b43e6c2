// Shared helpers of the report tests: a GUI application for fonts, fixed
// font metrics for layouts that do not depend on the installed fonts, and
// pixel reading.
#pragma once

#include <vector>

#include "platform/core/Component.h"
#include "platform/ui/Dialogs.h"

#include "platform/ui/FontMetrics.h"
#include "platform/ui/SysColors.h"

class TBitmap;

void RequireGuiApp();

// Every single-byte character 6 pixels wide, a double-byte one 12, lines
// 12 high, while the guard lives.
class TFixedMetricsGuard {
 public:
  TFixedMetricsGuard();
  ~TFixedMetricsGuard();

 private:
  TFixedFontMetrics metrics_;
};

// The colour of a pixel as a TColor (0x00BBGGRR).
TColor PixelAt(TBitmap& bmp, int x, int y);

// ---- report formation fixtures ----

class TMemDataSet;
class TrbDBDataSet;
class TrbReport;
class TrbPage;
class TrbBandView;
class TrbMemoView;
class TrbEMFPages;

// Records message boxes instead of showing them (answers OK).
class TRecordingDialogs : public TDialogService {
 public:
  TRecordingDialogs();
  ~TRecordingDialogs() override;
  std::vector<TMessageRequest> Boxes;
  int ShowMessageBox(const TMessageRequest& request) override;
  bool InputQuery(const AnsiString&, const AnsiString&, AnsiString&) override { return false; }
  bool OpenFile(TFileRequest&) override { return false; }
  bool SaveFile(TFileRequest&) override { return false; }
  bool SelectDirectory(const AnsiString&, const AnsiString&, AnsiString&) override { return false; }

 private:
  TDialogService* previous_;
};

// One text written on a prepared page: its page (from 0), place and text
// (paragraph marks removed, lines joined with "|").
struct TFormedText {
  int page, x, y, dx, dy;
  AnsiString text;
};
std::vector<TFormedText> FormedTexts(TrbEMFPages& pages);
// The texts of one page, top to bottom as written.
std::vector<AnsiString> TextsOfPage(TrbEMFPages& pages, int page);

// A form with an in-memory dataset "Mem" (columns Name string, Amount
// float, Grp string) bound to the report dataset "DS", and a report with
// one A4 portrait page (756 x 1069 design units), fixed font metrics (a
// text line is 14 units high with the default spacing).
class TReportBench {
 public:
  TReportBench();
  ~TReportBench();
  TComponent Form{nullptr};
  TMemDataSet* Mem;
  TrbDBDataSet* DS;
  TrbReport* Report;
  TrbPage* Page;
  void AddRows(int count, int groupSize = 0);
  TrbBandView* Band(int type, int top, int height, const AnsiString& source = AnsiString(),
                    TrbPage* page = nullptr);
  TrbMemoView* Text(int left, int top, int width, int height, const AnsiString& text,
                    TrbPage* page = nullptr);

 private:
  TFixedMetricsGuard metrics_;
  TRecordingDialogs dialogs_;
};
