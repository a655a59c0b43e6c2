// Page formation: TrbPageFormer turns one template page into prepared
// pages.  Before formation it builds a run-time band (ReportBand.h) per
// band object, attaches every other object to the band whose vertical span
// holds it, links headers, footers, groups and child bands to their data
// bands and binds objects to dataset fields; then it walks the data bands
// level by level (master, detail, sub-detail), prints bands at the current
// position, starts new pages and columns, and prints page headers and
// footers, overlays, column headers and footers, group headers and footers
// and the report summary.  One former per template page, owned by the
// report component while a preparation runs.  Calls the report objects,
// datasets and component.
//
// Formation of a page (per pass):
//   InitReport -> PrepareObjects -> FormPage (per record of an rtMultiple
//   report) -> DoneReport.  In a two-pass run InitReport and PrepareObjects
//   run in the counting pass only and DoneReport in the final pass only.
// Modes: pmNormal prints; pmBuildList (a page shown by a sub-report object)
//   queues bands and replays them onto the pages of the outer page.
//
// Process-wide state (one report forms at a time): rbFormation().
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "platform/core/DateTime.h"
#include "platform/core/Variant.h"
#include "report/ReportBand.h"

class TForm;

class TDataSet;
class TrbPage;
class TrbReport;

enum TrbPageMode { pmNormal, pmBuildList };

struct TrbFormationState {
  TrbReport* CurReport = nullptr;
  TrbReport* MasterReport = nullptr;
  TrbPageFormer* CurPage = nullptr;
  TrbBand* CurBand = nullptr;
  int PageNo = 0;      // prepared page being formed, from 0
  int TotalPages = 0;  // TOTALPAGES
  TDateTime Date = 0, Time = 0;
  Variant CurValue;
  AnsiString CurVariable;
  AnsiString Evaluating;  // the name being evaluated as an expression
  bool Preparing = false;
  bool DialogCancelled = false;
  bool Append = false;
  bool Composite = false;
  bool ErrorsOff = false;
  TrbBand* RegisteringFor = nullptr;
  // The last formed page's CurY and CurBottomY and whether its last page
  // footer was printed, for a following page with PrintToPrevPage.
  int SavedCurY = 0, SavedCurBottomY = 0;
  bool LastFooterPrinted = false;  // data band whose aggregates are registered
  std::vector<TrbView*> HookList;
  void Clear();
};
TrbFormationState& rbFormation();

// The class-library dataset of the data band that the current band belongs
// to: report title and summary, page and master bands and groups the master
// data band, detail bands the detail data band, sub-detail bands the
// sub-detail data band, cross bands the cross data band; nullptr otherwise.
TDataSet* rbGetDefaultDataSet();

class TrbPageFormer {
 public:
  TrbPageFormer(TrbReport* report, TrbPage* page, int pageNumber);
  ~TrbPageFormer();
  TrbPageFormer(const TrbPageFormer&) = delete;
  TrbPageFormer& operator=(const TrbPageFormer&) = delete;

  TrbReport* Report;
  TrbPage* Page;
  int PageNumber;  // 1-based place in the template
  std::array<TrbBand*, btTypeCount> Bands{};
  bool Skip = false;
  bool Initialised = false;
  int CurColumn = 0, ColumnTop = 0, ColumnLeft = 0, ColumnWidth = 0, Columns = 1;
  TrbPageMode Mode = pmNormal;
  int CrossColumn = 1;     // COLUMN#
  int RecordCounter = 1;   // CURRENT#
  TrbBand* LastPrintedBand = nullptr;
  bool LastFooters = false;
  int CurY = 0, CurBottomY = 0;
  // The position below the page or column headers: a band that does not fit
  // there would not fit on any later page either, so it prints there.
  int BodyTop = 0;
  // A page shown by a sub-report object: its x offset and queue.
  bool IsSubReport = false;
  struct TQueueEntry {
    TrbBand* band;
    int action;  // 0 print, 1 first, 2 next
  };
  std::vector<TQueueEntry> Queue;
  size_t PlayIndex = 0;
  // The band whose own sub-reports did not finish on the current prepared
  // page; the replay continues it first.
  TrbBand* PendingSubBand = nullptr;

  // Where a band would start after a break: the next column's top below
  // its header, else a new page's top below its headers.  A band that does
  // not fit at or above it fits nowhere better and prints where it is.
  int NextStart() const;
  int LeftEdge() const;
  int TopEdge() const;
  int RightEdge() const;
  int BottomEdge() const;
  int ColumnFooterHeight() const;

  void InitReport();
  void PrepareObjects();
  void FormPage();
  void NewPage();
  void NewColumn(TrbBand* band);
  void EndPage();
  void ShowBand(TrbBand* band);
  void ShowBandByName(const AnsiString& name);
  // Replays the queue from the play index; true when it stopped unfinished.
  bool PlayFrom();
  void DoneReport();
  // A dialog page's form while formation runs (InitDialog to DoneReport).
  std::unique_ptr<TForm> DialogForm;
  // Adds a prepared page with this page's paper to the report's pages.
  void AddPreparedPage();
  void PrintPending();

 private:
  void PrepareBands();
  void DoLoop(int level);
  void RunPageScript();
  void InitDialog();
  std::vector<std::unique_ptr<TrbBand>> owned_;
  std::vector<TrbBand*> pending_;
  int deepestLevel_ = 0;
};
