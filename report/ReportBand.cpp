// Band formation (contracts in ReportBand.h).
#include "report/ReportBand.h"

#include <algorithm>
#include <memory>

#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "report/ReportComponent.h"
#include "report/ReportDatasets.h"
#include "report/ReportFormation.h"
#include "report/ReportFunctions.h"
#include "report/ReportViews.h"

namespace {

TrbMemoView* AsMemo(TrbView* v) { return v->Typ == gtMemo ? static_cast<TrbMemoView*>(v) : nullptr; }

bool IsStretchable(TrbView* v) { return v->Typ == gtMemo || v->Typ == gtLine; }

// Writes the object at its place moved by (ox, oy) onto the prepared page;
// the template object keeps its own place whatever happens.
void PrintViewShifted(TrbReport* report, int pageNo, TrbView* v, int ox, int oy) {
  v->x += ox;
  v->y += oy;
  struct TBack {
    TrbView* v;
    int ox, oy;
    ~TBack() {
      v->x -= ox;
      v->y -= oy;
    }
  } back{v, ox, oy};
  TStream* s = report->TargetPages().Pages(pageNo).Stream.get();
  s->SetPosition(s->Size());
  v->PrintToStream(s);
}

// The current band comes back when a nested print (headers, footers,
// repeated groups) ends.
struct TCurrentBand {
  explicit TCurrentBand(TrbBand* b) : band(b) {}
  ~TCurrentBand() { rbFormation().CurBand = band; }
  TrbBand* band;
};

}  // namespace

TrbBand::TrbBand(int type, TrbPageFormer* page) : Page(page) { BandType = type; }

TrbBand::~TrbBand() { FreeDataSets(); }

bool TrbBand::Exists() const { return View != nullptr || (BandType == btNone && !Objects.empty()); }

void TrbBand::SetDataSetName(const AnsiString& name) {
  if (BandType == btGroupHeader) {
    GroupCondition = name;
    return;
  }
  TrbReport* report = Page->Report;
  if (!name.empty() && name.find(';') == std::string::npos) {
    bool owned = false;
    DataSource = rbFindDataSet(report->Owner(), name, owned);
    OwnsDataSource = owned;
  }
  if (BandType == btMasterData && !DataSource && report->ReportType() != rtMultiple && report->Dataset()) {
    DataSource = report->Dataset();
    OwnsDataSource = false;
    DataSource->Init();
  }
  if (View) View->RunDataset = DataSource;
}

void TrbBand::FreeDataSets() {
  auto release = [](TrbDataset*& ds, bool& owned) {
    if (!ds) return;
    try {
      ds->Exit();
    } catch (const Exception&) {  // a dataset that cannot go back keeps where it is
    }
    if (owned) delete ds;
    ds = nullptr;
    owned = false;
  };
  release(DataSource, OwnsDataSource);
  release(CrossDataSource, OwnsCrossDataSource);
}

Variant TrbBand::GroupConditionValue() { return rbGlobalParser().Calc(GroupCondition); }

void TrbBand::ForgetLastTexts() {
  for (TrbView* v : Objects)
    if (TrbMemoView* m = AsMemo(v)) m->ForgetLastPrinted();
}

bool TrbBand::IsCrossObject(TrbView* v) const {
  if (BandType >= btCrossHeader && BandType <= btCrossFooter) return false;
  if (!HasCrossObjects) return false;
  for (int t = btCrossHeader; t <= btCrossFooter; ++t) {
    const auto& list = Page->Bands[static_cast<size_t>(t)]->Objects;
    if (std::find(list.begin(), list.end(), v) != list.end()) return true;
  }
  return false;
}

bool TrbBand::OwnsObject(TrbView* v) const { return !IsCrossObject(v); }

void TrbBand::RunScript() {
  if (Script.Count() == 0) return;
  rbFormation().CurBand = this;
  rbSetCurrentView(View);
  rbGlobalInterpreter().DoScript(&Script);
}

// ---- printing ----

bool TrbBand::Print() {
  auto& st = rbFormation();
  TrbPageFormer& p = *Page;
  TrbReport* report = p.Report;
  TCurrentBand restore(st.CurBand);
  st.CurBand = this;
  rbSetCurrentView(View);
  CalculatedHeight = -1;
  NewPageCount = NewColumnCount = 0;
  report->DoBeginBand(this);
  // 2. Records side by side end when another band prints.
  TrbBand* last = p.LastPrintedBand;
  if (last && last != this && last->BandColumnNo > 0) {
    p.ColumnLeft = last->BandColumnLeft;
    p.CurY = std::max(p.CurY, last->y + std::max(last->CalculatedHeight, last->dy));
    last->BandColumnNo = 0;
  }
  // 3. The script, once per print.
  if (!ScriptDone) RunScript();
  ScriptDone = false;
  st.CurBand = this;
  if (report->IsTerminated()) return false;
  // 4. Breaks the script asked for.
  for (int i = 0; i < NewPageCount; ++i) {
    p.CurColumn = p.Columns - 1;
    p.NewColumn(this);
  }
  for (int i = 0; i < NewColumnCount; ++i) p.NewColumn(this);
  st.CurBand = this;
  bool result = false;
  if (Visible) {
    if (BandType == btColumnHeader) p.ColumnTop = p.CurY;
    if (BandType == btPageFooter) y = p.CurBottomY;
    if (Exists()) {
      CalculatedHeight = dy;
      bool flowing = BandType != btPageFooter && BandType != btOverlay && BandType != btColumnFooter &&
                     BandType != btNone;
      // A band at the top of a fresh page or column fits nowhere better.
      if (flowing && p.CurY + CalcHeight() > p.CurBottomY && !PageBreak && p.CurY > p.NextStart()) {
        if (p.IsSubReport) {
          ScriptDone = true;  // the replay prints it again on the next page
          report->DoEndBand(this);
          return true;
        }
        CheckPageBreak(0, 10000, false);
        st.CurBand = this;
      }
      if (IsDataBand() && DataSource && Next && Next->View && !Next->DataSource) {
        DoDraw();
        for (TrbBand* b = Next; b && b->View && !b->DataSource; b = b->Next) b->DoDraw();
      } else {
        DoDraw();
        if (Child) Child->Print();
        st.CurBand = this;
        if (!IsDataBand() && BandType != btGroupHeader && NewPageAfter && Visible) p.NewPage();
      }
      if (!SubReportsFinished) result = true;
    }
  } else {
    if (Child && PrintChildIfInvisible) Child->Print();
    if (IsDataBand()) DoAggregate();
  }
  // 7. Totals restart after the band that shows them.
  if (!Repeating) {
    if (BandType == btPageFooter) {
      if (st.PageNo >= report->TargetPages().Count() - 1) ResetAggregates();
    } else {
      ResetAggregates();
    }
  }
  st.CurBand = this;
  report->DoEndBand(this);
  if (Exists() && BandType != btPageFooter && BandType != btOverlay && BandType != btNone) p.LastPrintedBand = this;
  return result;
}

int TrbBand::StretchHeight() {
  if (HasCrossObjects && BandType != btPageFooter) return CrossHeight();
  int h = dy;
  for (TrbView* v : Objects) {
    if (!OwnsObject(v) || !IsStretchable(v) || !(v->Flags & mfStretched)) continue;
    rbSetCurrentView(v);
    int need = static_cast<TrbStretcheable*>(v)->CalcHeight();
    h = std::max(h, v->y + need);
  }
  return h;
}

int TrbBand::CalcHeight() {
  if (IsDataBand() && DataSource && Next && Next->View && !Next->DataSource) {
    int sum = CalculatedHeight = StretchHeight();
    for (TrbBand* b = Next; b && b->View && !b->DataSource; b = b->Next) {
      b->CalculatedHeight = b->Stretched ? b->StretchHeight() : b->dy;
      sum += b->CalculatedHeight;
    }
    return sum;
  }
  CalculatedHeight = Stretched ? StretchHeight() : dy;
  int sum = CalculatedHeight;
  for (TrbBand* c = Child; c; c = c->Child)
    if (c->Visible && c->View) sum += c->Stretched ? c->StretchHeight() : c->dy;
  return sum;
}

bool TrbBand::CheckPageBreak(int atY, int height, bool testOnly) {
  TrbPageFormer& p = *Page;
  if (BandType == btColumnFooter) return false;
  if (atY + height + p.ColumnFooterHeight() <= p.CurBottomY) return false;
  if (!testOnly) {
    TCurrentBand restore(this);
    p.NewColumn(this);
  }
  return true;
}

void TrbBand::StretchObjects(int h, std::vector<int>& saved) {
  for (TrbView* v : Objects) saved.push_back(v->dy);
  for (TrbView* v : Objects)
    if (OwnsObject(v) && IsStretchable(v) && (v->Flags & 1) && v->dy >= 1) v->dy = h - v->y;
}

void TrbBand::RestoreHeights(const std::vector<int>& saved) {
  for (size_t i = 0; i < saved.size() && i < Objects.size(); ++i) Objects[i]->dy = saved[i];
}

void TrbBand::DoDraw() {
  TrbPageFormer& p = *Page;
  int designY = y;
  bool flowing = BandType != btPageFooter && BandType != btOverlay && BandType != btNone;
  if (flowing) y = p.CurY;
  bool hasSub = std::any_of(Objects.begin(), Objects.end(), [](TrbView* v) { return v->Typ == gtSubReport && v->Visible; });
  SubReportsFinished = true;
  // Records side by side: each record right of the one before.
  int sideShift = 0;
  bool sideBySide = View && View->Columns >= 2 && View->NewColumnAfter == 1 && IsDataBand();
  if (sideBySide) {
    if (BandColumnNo == 0) BandColumnLeft = p.ColumnLeft;
    ++BandColumnNo;
    sideShift = (View->ColumnWidth + View->ColumnGap) * (BandColumnNo - 1);
    p.ColumnLeft = BandColumnLeft + sideShift;
  }
  int h = Stretched ? (CalculatedHeight >= 0 ? CalculatedHeight : dy) : dy;
  std::vector<int> saved;
  // A band that breaks across pages grows its objects part by part instead.
  if (Stretched && h > dy && !(PageBreak && flowing)) StretchObjects(h, saved);
  PrintedHeight = h;
  if (!PageBreak && flowing && p.CurY > p.NextStart() && BandType != btColumnFooter) {
    CheckPageBreak(y, h, false);
    y = p.CurY;
  }
  if (PageBreak && flowing) {
    DrawPageBreak();
  } else {
    DrawObjects();
    if (HasCrossObjects && BandType != btPageFooter) DrawCross();
    if (flowing && !hasSub) p.CurY += h;
  }
  RestoreHeights(saved);
  if (sideBySide) {
    if (BandColumnNo < View->Columns) {
      p.CurY -= h;
    } else {
      BandColumnNo = 0;
    }
    p.ColumnLeft = BandColumnLeft;
  }
  int printedAt = y;
  y = designY;
  if (sideBySide && BandColumnNo > 0) y = printedAt;  // where the row continues
  if (IsDataBand()) DoAggregate();
}

void TrbBand::DrawObjects() {
  TrbReport* report = Page->Report;
  for (size_t i = 0; i < Objects.size(); ++i) {
    if (report->IsTerminated()) return;
    TrbView* v = Objects[i];
    if (v->Typ == gtSubReport) {
      if (v->Visible) {
        DrawSubReports(i);
        return;
      }
      continue;
    }
    DrawObject(v);
  }
}

void TrbBand::DrawObject(TrbView* v) {
  if (!OwnsObject(v)) return;
  auto& st = rbFormation();
  TrbPageFormer& p = *Page;
  TrbReport* report = p.Report;
  rbSetCurrentView(v);
  if (report->IsFirstPass() && !PageBreak) {
    TrbMemoView* m = AsMemo(v);
    if (m && m->DrawMode == 2) return;
    if (v->Script.Count()) rbGlobalInterpreter().DoScript(&v->Script);
    if (m) m->DrawMode = 0;
    return;
  }
  int ox = p.ColumnLeft - p.LeftEdge();
  int oy = BandType == btNone ? 0 : y;
  PrintViewShifted(report, st.PageNo, v, ox, oy);
}

// The page-break routine: the band's objects go onto as many pages as they
// need.  Texts that stretch split line by line; other objects move whole to
// the next page.  Each page part draws at least something when the band
// starts at the top of a fresh page (a text line taller than the page is
// clipped, an object taller than the page is drawn over the edge), so the
// routine always ends.
void TrbBand::DrawPageBreak() {
  TrbPageFormer& p = *Page;
  TrbReport* report = p.Report;
  auto& st = rbFormation();
  struct TItem {
    TrbView* v;
    int x, y, dx, dy;
    bool pending;
  };
  std::vector<TItem> items;
  for (TrbView* v : Objects)
    if (OwnsObject(v) && v->Typ != gtSubReport) items.push_back({v, v->x, v->y, v->dx, v->dy, true});
  struct TRestore {
    std::vector<TItem>& items;
    ~TRestore() {
      for (TItem& it : items) {
        it.v->x = it.x;
        it.v->y = it.y;
        it.v->dx = it.dx;
        it.v->dy = it.dy;
        if (TrbMemoView* m = AsMemo(it.v)) {
          m->DrawMode = 0;
          m->PartLines = -1;
        }
      }
    }
  } restore{items};
  int total = PrintedHeight;
  if (y + total + p.ColumnFooterHeight() <= p.CurBottomY) {
    DrawObjects();
    p.CurY = y + total;
    return;
  }
  // Objects below a text in its horizontal span move down by what the
  // text grows.
  auto shiftBelow = [&](TItem& moved, int oldBottom, int delta) {
    if (delta == 0) return;
    for (TItem& o : items)
      if (&o != &moved && o.pending && o.v->x >= moved.v->x && o.v->x <= moved.v->x + moved.v->dx &&
          o.v->y >= oldBottom)
        o.v->y += delta;
  };
  // Measure the texts that may split.
  for (TItem& it : items) {
    TrbMemoView* m = AsMemo(it.v);
    if (!m || !(m->Flags & mfStretched)) continue;
    if (m->DrawMode != 1) {
      rbSetCurrentView(m);
      m->CalcHeight();
    }
    int oldBottom = m->y + m->dy;
    m->dy = std::max(m->dy, m->Memo1.Count() * m->LineHeight() + 2 * m->GapY);
    shiftBelow(it, oldBottom, m->y + m->dy - oldBottom);
  }
  int lowest = 0;
  while (!report->IsTerminated()) {
    bool fresh = y <= p.BodyTop;
    int room = p.CurBottomY - p.ColumnFooterHeight() - y;
    if (fresh && room < 1) room = 1;
    if (fresh) {
      // Empty space above the next object would only make empty pages.
      int minTop = -1;
      for (TItem& it : items)
        if (it.pending) minTop = minTop < 0 ? std::max(0, it.v->y) : std::min(minTop, std::max(0, it.v->y));
      if (minTop >= room)
        for (TItem& it : items)
          if (it.pending) it.v->y -= minTop;
    }
    lowest = 0;
    for (TItem& it : items) {
      if (!it.pending) continue;
      TrbView* v = it.v;
      int top = v->y;
      if (top < 0 || top >= room) continue;
      TrbMemoView* m = AsMemo(v);
      bool splits = m && (m->Flags & mfStretched) && m->LineHeight() > 0;
      bool partStarted = splits && m->DrawMode == 2;
      if (top + v->dy <= room) {
        if (partStarted) m->PartLines = m->Memo1.Count();
        DrawObject(v);
        it.pending = false;
        lowest = std::max(lowest, top + v->dy);
        continue;
      }
      int oldBottom = top + v->dy;
      if (splits) {
        int lh = m->LineHeight();
        int fit = (room - top - 2 * m->GapY) / lh;
        if (fit <= 0 && top == 0 && fresh) fit = 1;  // taller than the page: one clipped line
        if (fit > 0) {
          fit = std::min(fit, m->Memo1.Count());
          m->dy = std::max(1, std::min(room - top, fit * lh + 2 * m->GapY));
          m->DrawMode = 2;
          m->PartLines = fit;
          DrawObject(v);
          lowest = std::max(lowest, top + m->dy);
          if (m->Memo1.Count() == 0) {
            it.pending = false;
            continue;
          }
          m->DrawMode = 2;  // the rest continues from the next page's top
          m->dy = m->Memo1.Count() * lh + 2 * m->GapY;
          m->y = room;
          shiftBelow(it, oldBottom, room + m->dy - oldBottom);
          continue;
        }
      } else if (top == 0 && fresh) {
        DrawObject(v);  // taller than the page: drawn over its edge
        it.pending = false;
        lowest = std::max(lowest, room);
        continue;
      }
      v->y = room;  // whole to the next page
      shiftBelow(it, oldBottom, room - top);
    }
    bool any = false;
    for (TItem& it : items)
      if (it.pending) {
        it.v->y -= room;
        any = true;
      }
    if (!any) break;
    CheckPageBreak(y, 10000, false);
    st.CurBand = this;
    y = p.CurY;
  }
  PrintedHeight = lowest;
  p.CurY = y + lowest;
}

// Sub-reports of the band: each shown page is formed into a queue, then the
// queues are replayed together, page after page, until all are done.
bool TrbBand::DrawSubReports(size_t first) {
  TrbPageFormer& p = *Page;
  TrbReport* report = p.Report;
  auto& st = rbFormation();
  subs_.clear();
  for (size_t i = first; i < Objects.size(); ++i) {
    TrbView* v = Objects[i];
    if (v->Typ != gtSubReport || !v->Visible) continue;
    TrbPageFormer* f = report->FormerOfIndex(static_cast<TrbSubReportView*>(v)->SubPage);
    if (!f || f == &p || f->Page->Type != 0 || !f->Initialised || f->Mode == pmBuildList) continue;
    subs_.push_back({v, f, false});
  }
  struct TEnd {
    TrbBand* band;
    bool keep = false;
    ~TEnd() {
      if (!keep) band->EndSubReports();
      rbFormation().CurPage = band->Page;
    }
  } end{this};
  subBandY_ = y;
  for (TSubReplay& s : subs_) {
    TrbPageFormer& f = *s.former;
    f.Mode = pmBuildList;
    f.IsSubReport = true;
    f.Queue.clear();
    f.PlayIndex = 0;
    f.PendingSubBand = nullptr;
    f.Columns = 1;
    f.CurColumn = 0;
    st.CurPage = &f;
    f.FormPage();
  }
  end.keep = ReplaySubReports(false);
  return end.keep;
}

// Replays the sub-report queues from where they stopped, starting new pages
// of this band's page while they do not fit.  On a page that is itself
// shown by a sub-report no page can be started here: the band is left
// pending and the outer replay continues it on the next page.  True while
// pending.
bool TrbBand::ReplaySubReports(bool continued) {
  TrbPageFormer& p = *Page;
  TrbReport* report = p.Report;
  auto& st = rbFormation();
  bool newPage = continued;
  int lowest = continued ? p.CurY : subBandY_ + dy;
  while (true) {
    bool unfinished = false;
    int lowestNow = p.CurY;
    for (TSubReplay& s : subs_) {
      if (s.done) continue;
      TrbPageFormer& f = *s.former;
      f.ColumnLeft = s.view->x + (p.ColumnLeft - p.LeftEdge());
      f.CurY = newPage ? p.CurY : subBandY_ + s.view->y;
      f.BodyTop = f.ColumnTop = f.CurY;
      f.CurBottomY = p.CurBottomY - p.ColumnFooterHeight();
      st.CurPage = &f;
      bool stopped = f.PlayFrom();
      lowestNow = std::max(lowestNow, f.CurY);
      if (stopped) unfinished = true;
      else s.done = true;
    }
    st.CurPage = &p;
    st.CurBand = this;
    lowest = newPage ? lowestNow : std::max(lowest, lowestNow);
    if (!unfinished || report->IsTerminated()) break;
    if (p.IsSubReport) {
      p.PendingSubBand = this;
      SubReportsFinished = false;
      p.CurY = lowest;
      return true;
    }
    CheckPageBreak(p.CurY, 10000, false);
    st.CurBand = this;
    newPage = true;
  }
  p.CurY = lowest;
  SubReportsFinished = true;
  if (p.PendingSubBand == this) p.PendingSubBand = nullptr;
  EndSubReports();
  return false;
}

void TrbBand::EndSubReports() {
  for (TSubReplay& s : subs_) {
    s.former->Queue.clear();
    s.former->PlayIndex = 0;
    s.former->PendingSubBand = nullptr;
    s.former->Mode = pmNormal;
  }
  subs_.clear();
}

// ---- cross-tab ----

void TrbBand::DrawCrossCell(TrbBand* cross, int cx) {
  auto& st = rbFormation();
  TrbPageFormer& p = *Page;
  TrbReport* report = p.Report;
  TCurrentBand restore(st.CurBand);
  st.CurBand = cross;
  cross->LineNo = LineNo;
  cross->LineThrough = LineThrough;
  if (cross->BandType == btCrossData) cross->AggregateSource = this;
  for (TrbView* v : cross->Objects) {
    if (std::find(Objects.begin(), Objects.end(), v) == Objects.end()) continue;
    rbSetCurrentView(v);
    if (report->IsFirstPass()) {
      if (v->Script.Count()) rbGlobalInterpreter().DoScript(&v->Script);
      if (TrbMemoView* m = AsMemo(v)) m->DrawMode = 0;
      continue;
    }
    int ox = cx + (p.ColumnLeft - p.LeftEdge());
    PrintViewShifted(report, st.PageNo, v, ox, y);
  }
}

void TrbBand::CrossWrap(int& runningX, int width, int startPage, TrbBand* header) {
  TrbPageFormer& p = *Page;
  auto& st = rbFormation();
  TrbReport* report = p.Report;
  int right = p.RightEdge() - (p.ColumnLeft - p.LeftEdge());
  if (runningX + width <= right) return;
  runningX = p.LeftEdge();
  ++st.PageNo;
  TrbEMFPages& pages = report->TargetPages();
  if (st.PageNo >= pages.Count()) {
    p.AddPreparedPage();
    int keepY = p.CurY;
    TCurrentBand restore(st.CurBand);
    p.ShowBand(p.Bands[btOverlay]);
    p.CurY = p.TopEdge();
    if (startPage != 0 || (p.Bands[btPageHeader]->Flags & bfOnFirstPage)) p.ShowBand(p.Bands[btPageHeader]);
    p.CurY = keepY;
    report->DoProgress(st.PageNo + 1);
  }
  if (header && (header->Flags & bfRepeatHeader)) {
    DrawCrossCell(header, p.LeftEdge());
    runningX = p.LeftEdge() + header->dx;
  }
}

void TrbBand::DrawCross() {
  TrbPageFormer& p = *Page;
  auto& st = rbFormation();
  TrbReport* report = p.Report;
  p.CrossColumn = 1;
  int runningX = 0;
  int startPage = st.PageNo;
  if (BandType == btPageFooter) return;
  report->DoBeginColumn(this);
  TrbBand* header = p.Bands[btCrossHeader]->View ? p.Bands[btCrossHeader] : nullptr;
  TrbBand* data = p.Bands[btCrossData]->View ? p.Bands[btCrossData] : nullptr;
  TrbBand* footer = p.Bands[btCrossFooter]->View ? p.Bands[btCrossFooter] : nullptr;
  if (header) {
    header->RunScript();
    DrawCrossCell(header, header->x);
    runningX = header->x + header->dx;
  }
  if (data) {
    if (runningX == 0) runningX = data->x;
    TrbDataset* src = data->DataSource ? data->DataSource : CrossDataSource;
    std::unique_ptr<TrbDataset> made;
    if (src) {
      src->First();
      if (BandType == btMasterFooter && src->Eof()) {
        src = nullptr;
        if (data->LargestColumnCount > 0) {
          bool owned = false;
          made.reset(rbFindDataSet(nullptr, IntToStr(data->LargestColumnCount), owned));
          src = made.get();
          src->First();
        }
      }
    }
    while (src && !src->Eof() && !report->IsTerminated()) {
      rbSetCurrentView(data->View);
      int w = data->dx;
      report->DoPrintColumn(p.CrossColumn, w);
      data->dx = w;
      data->RunScript();
      CrossWrap(runningX, data->dx, startPage, header);
      DrawCrossCell(data, runningX);
      data->DoAggregate();
      if (IsDataBand()) {
        TrbBand* keep = st.CurBand;
        Aggregates.Accumulate(Visible, p.CrossColumn, [](const AnsiString& e) { return rbGlobalParser().Calc(e); });
        st.CurBand = keep;
      }
      runningX += data->dx;
      ++p.CrossColumn;
      src->Next();
    }
    if (src) data->LargestColumnCount = std::max(data->LargestColumnCount, src->RecNo());
  }
  if (footer) {
    if (runningX == 0) runningX = footer->x;
    footer->RunScript();
    CrossWrap(runningX, footer->dx, startPage, header);
    DrawCrossCell(footer, runningX);
    footer->ResetAggregates();
  }
  st.PageNo = startPage;
  st.CurBand = this;
}

int TrbBand::CrossHeight() {
  TrbPageFormer& p = *Page;
  TrbReport* report = p.Report;
  p.CrossColumn = 1;
  report->DoBeginColumn(this);
  TrbBand* data = p.Bands[btCrossData]->View ? p.Bands[btCrossData] : nullptr;
  int result = dy;
  if (!data) return CalculatedHeight = result;
  TrbDataset* src = data->DataSource ? data->DataSource : CrossDataSource;
  if (!src) return CalculatedHeight = result;
  src->First();
  while (!src->Eof() && !report->IsTerminated()) {
    int w = 0;
    report->DoPrintColumn(p.CrossColumn, w);
    int h = dy;
    for (TrbView* v : Objects) {
      if (!IsStretchable(v) || !(v->Flags & mfStretched)) continue;
      rbSetCurrentView(v);
      h = std::max(h, v->y + static_cast<TrbStretcheable*>(v)->CalcHeight());
      if (TrbMemoView* m = AsMemo(v)) m->DrawMode = 0;
    }
    result = std::max(result, h);
    ++p.CrossColumn;
    src->Next();
  }
  return CalculatedHeight = result;
}

// ---- aggregates ----

void TrbBand::DoAggregate() {
  auto& st = rbFormation();
  TCurrentBand restore(st.CurBand);
  st.CurBand = this;
  // With cross-tab objects the per-column totals are kept while the columns
  // are drawn; here only the totals without a column part count the record.
  Aggregates.Accumulate(Visible, -1, [](const AnsiString& e) { return rbGlobalParser().Calc(e); });
}

void TrbBand::ResetAggregates() {
  if (BandType == btGroupHeader) {
    for (TrbBand* g = this; g; g = g->GroupNext) {
      try {
        g->GroupValue = g->GroupConditionValue();
      } catch (const Exception&) {
        g->GroupValue = Variant();
        throw;
      }
    }
    return;
  }
  if (AggregateSource) AggregateSource->Aggregates.Reset(Name);
}
