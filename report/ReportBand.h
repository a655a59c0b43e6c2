// TrbBand: the run-time form of a band object while a page is formed.
// Printing a band raises its events, runs its script, carries out the page
// and column breaks the script asked for, works out the height it needs
// (stretching), starts a new column or page when it does not fit, writes
// its objects onto the current prepared page, splits itself across pages
// when it may break, prints its child band, draws its cross-tab columns,
// advances the current position and keeps the aggregate totals of data
// bands.  Owned by its page's former (ReportFormation.h).  Calls the report
// objects, the report datasets and the report component.
//
// Band Flags bits: 1 stretched, 2 new page after, 4 print if subset empty,
// 8 may break across pages, 16 on first page, 32 on last page, 64 repeat
// header, 128 print child if invisible.
#pragma once

#include <vector>

#include "platform/core/Strings.h"
#include "report/ReportAggregates.h"

class TrbBandView;
class TrbDataset;
class TrbPageFormer;
class TrbView;

enum : std::uint16_t {
  bfStretched = 1, bfNewPageAfter = 2, bfPrintIfSubsetEmpty = 4, bfPageBreak = 8,
  bfOnFirstPage = 16, bfOnLastPage = 32, bfRepeatHeader = 64, bfPrintChildIfInvisible = 128
};

// Band type codes.
enum : int {
  btReportTitle = 0, btReportSummary = 1, btPageHeader = 2, btPageFooter = 3,
  btMasterHeader = 4, btMasterData = 5, btMasterFooter = 6, btDetailHeader = 7,
  btDetailData = 8, btDetailFooter = 9, btSubDetailHeader = 10, btSubDetailData = 11,
  btSubDetailFooter = 12, btOverlay = 13, btColumnHeader = 14, btColumnFooter = 15,
  btGroupHeader = 16, btGroupFooter = 17, btCrossHeader = 18, btCrossData = 19,
  btCrossFooter = 20, btChild = 21, btNone = 22, btTypeCount = 23
};

class TrbBand : public TrbAggregateBand {
 public:
  TrbBand(int type, TrbPageFormer* page);
  ~TrbBand();
  TrbBand(const TrbBand&) = delete;
  TrbBand& operator=(const TrbBand&) = delete;

  TrbPageFormer* Page;
  TrbBandView* View = nullptr;  // nullptr for a placeholder
  std::uint16_t Flags = 0;
  TrbBand* Next = nullptr;
  TrbBand* Prev = nullptr;
  TrbBand* GroupNext = nullptr;
  TrbBand* GroupPrev = nullptr;
  TrbBand* FirstGroup = nullptr;
  TrbBand* LastGroup = nullptr;
  TrbBand* Child = nullptr;
  TrbBand* Header = nullptr;
  TrbBand* Footer = nullptr;
  TrbBand* LastBand = nullptr;
  int LineNo = 1;       // LINE#
  int LineThrough = 1;  // LINETHROUGH#
  Variant GroupValue;
  bool Repeating = false;  // printed again by NewColumn
  int CalculatedHeight = -1;
  int BandColumnNo = 0, BandColumnLeft = 0;
  int LargestColumnCount = 0;
  bool ScriptDone = false;
  int x = 0, y = 0, dx = 0, dy = 0;  // y: position while printing
  int PrintedHeight = 0;
  bool PrintIfSubsetEmpty = false, NewPageAfter = false, Stretched = false, PageBreak = false,
       PrintChildIfInvisible = false, Visible = true;
  std::vector<TrbView*> Objects;
  TStringList Memo, Script;
  TrbDataset* DataSource = nullptr;
  bool OwnsDataSource = false;
  TrbDataset* CrossDataSource = nullptr;
  bool OwnsCrossDataSource = false;
  AnsiString GroupCondition;  // postfix
  int NewPageCount = 0, NewColumnCount = 0;
  bool SubReportsFinished = true;
  struct TSubReplay {
    TrbView* view;
    TrbPageFormer* former;
    bool done;
  };

  int Type() const { return BandType; }
  bool IsDataBand() const { return BandType == btMasterData || BandType == btDetailData || BandType == btSubDetailData; }
  // A band with an object, or a type-22 band that holds objects.
  bool Exists() const;
  void SetDataSetName(const AnsiString& name);
  void FreeDataSets();

  // True when the band did not fit (or left sub-reports unfinished).
  bool Print();
  int CalcHeight();
  bool CheckPageBreak(int y, int height, bool testOnly);
  void DoAggregate();
  void ResetAggregates();
  // Continues sub-reports left unfinished on a page that is itself shown by
  // a sub-report; true while they still do not fit.
  bool ReplaySubReports(bool continued);
  // The group condition's value now.
  Variant GroupConditionValue();
  void ForgetLastTexts();

 private:
  int StretchHeight();
  int CrossHeight();
  void DoDraw();
  void DrawObjects();
  void DrawObject(TrbView* view);
  void DrawPageBreak();
  bool DrawSubReports(size_t first);
  void EndSubReports();
  void DrawCross();
  void DrawCrossCell(TrbBand* cross, int cx);
  void CrossWrap(int& runningX, int width, int startPage, TrbBand* header);
  bool OwnsObject(TrbView* view) const;
  bool IsCrossObject(TrbView* view) const;
  void RunScript();
  void StretchObjects(int h, std::vector<int>& savedHeights);
  void RestoreHeights(const std::vector<int>& savedHeights);
  std::vector<TSubReplay> subs_;  // sub-reports being replayed
  int subBandY_ = 0;
};
