// Page formation (contracts in ReportFormation.h).
#include "report/ReportFormation.h"

#include <algorithm>

#include "platform/core/AnsiText.h"
#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"
#include "platform/core/ScopeGuards.h"
#include "platform/ui/Forms.h"
#include "report/ReportComponent.h"
#include "report/ReportControls.h"
#include "report/ReportDatasets.h"
#include "report/ReportFunctions.h"
#include "report/ReportPage.h"
#include "report/ReportViews.h"

void TrbFormationState::Clear() { *this = TrbFormationState(); }

// BodyTop while the headers of a new page or column print: a header taller
// than the page must not start yet another page.
constexpr int kHeadersNeverBreak = 1 << 30;

TrbFormationState& rbFormation() {
  static TrbFormationState state;
  return state;
}

TDataSet* rbGetDefaultDataSet() {
  TrbBand* band = rbFormation().CurBand;
  if (!band || !band->Page) return nullptr;
  int type = band->BandType, data;
  if (type <= btMasterFooter || type == btGroupHeader || type == btGroupFooter) data = btMasterData;
  else if (type == btDetailData || type == btDetailFooter || type == btDetailHeader) data = btDetailData;
  else if (type >= btSubDetailHeader && type <= btSubDetailFooter) data = btSubDetailData;
  else if (type == btCrossData || type == btCrossFooter) data = btCrossData;
  else return nullptr;
  TrbBand* owner = band->Page->Bands[static_cast<size_t>(data)];
  if (band->IsDataBand() && band->DataSource) owner = band;
  auto* db = owner ? dynamic_cast<TrbDBDataSet*>(owner->DataSource) : nullptr;
  return db ? db->DataSet() : nullptr;
}

namespace {


bool IsMemo(TrbView* v) { return v->Typ == gtMemo; }

// The aggregate function names that registration looks for.
TStringList& AggregateNames() {
  static TStringList* names = [] {
    auto* l = new TStringList;
    for (const char* n : {"SUM", "MIN", "MAX", "AVG", "COUNT"}) l->Add(n);
    return l;
  }();
  return *names;
}

// Every bracketed expression of a text line.
void BracketedExpressions(const AnsiString& line, std::vector<AnsiString>& out) {
  int pos = 1;
  while (pos <= line.Length()) {
    unsigned char c = static_cast<unsigned char>(line[static_cast<size_t>(pos - 1)]);
    if (c == '[') {
      int start = pos, stop = pos;
      try {
        out.push_back(GetBracketedVariable(line, start, stop));
      } catch (const Exception&) {
        return;
      }
      pos = stop + 1;
    } else {
      pos += IsDBCSLeadByte(c) ? 2 : 1;
    }
  }
}

}  // namespace

TrbPageFormer::TrbPageFormer(TrbReport* report, TrbPage* page, int pageNumber)
    : Report(report), Page(page), PageNumber(pageNumber) {}

TrbPageFormer::~TrbPageFormer() { DoneReport(); }

// ---- edges ----

int TrbPageFormer::LeftEdge() const {
  if (IsSubReport) return 0;
  return Page->UseMargins ? Page->LeftMargin : 0;
}

int TrbPageFormer::TopEdge() const { return Page->UseMargins ? Page->TopMargin : 0; }

int TrbPageFormer::RightEdge() const {
  if (!Page->UseMargins || Page->RightMargin == 0) return Page->PageWidth();
  return Page->PageWidth() - Page->RightMargin;
}

int TrbPageFormer::BottomEdge() const {
  int bottom = Page->PageHeight();
  if (Page->UseMargins && Page->BottomMargin != 0) bottom -= Page->BottomMargin;
  TrbBand* footer = Bands[btPageFooter];
  if (rbFormation().Preparing && footer && footer->View) bottom -= footer->dy;  // its room is kept
  return bottom;
}

int TrbPageFormer::NextStart() const {
  if (IsSubReport || !Bands[btPageHeader]) return BodyTop;
  auto height = [](TrbBand* b) { return b && b->View && b->Visible ? b->dy : 0; };
  int next = CurColumn < Columns - 1 ? ColumnTop + height(Bands[btColumnHeader])
                                     : TopEdge() + height(Bands[btPageHeader]) + height(Bands[btColumnHeader]);
  return BodyTop == kHeadersNeverBreak ? BodyTop : next;
}

int TrbPageFormer::ColumnFooterHeight() const {
  TrbBand* f = Bands[btColumnFooter];
  if (LastFooters || !f || !f->View || !f->Visible) return 0;
  return f->dy;
}

// ---- preparing the bands ----

void TrbPageFormer::InitReport() {
  if (Initialised) return;
  if (Page->Type == 1) {
    InitDialog();
    Initialised = true;
    return;
  }
  owned_.clear();
  for (int t = 0; t < btTypeCount; ++t) {
    owned_.push_back(std::make_unique<TrbBand>(t, this));
    Bands[static_cast<size_t>(t)] = owned_.back().get();
  }
  PrepareBands();
  CrossColumn = 1;
  RecordCounter = 1;
  Initialised = true;
}

// A dialog page: its visual controls go onto a form of the page's look;
// with at least one of them on a visible page, the page script runs once
// as the form opens (MODALRESULT there decides without showing it), then
// the form is shown modally.  A result of 2 (cancel) cancels the report.
// Without visual controls only the script runs.
void TrbPageFormer::InitDialog() {
  auto& st = rbFormation();
  st.CurPage = this;
  std::vector<TrbControl*> visual;
  for (const auto& o : Page->Objects) {
    auto* c = dynamic_cast<TrbControl*>(o.get());
    if (!c) continue;
    c->OwnerPage = Page;
    if (!dynamic_cast<TrbNonVisualControl*>(c) && c->Control()) visual.push_back(c);
  }
  if (visual.empty() || !Page->Visible) {
    RunPageScript();
    return;
  }
  DialogForm = std::make_unique<TForm>(nullptr);
  TForm* form = DialogForm.get();
  for (TrbControl* c : visual) {
    c->Control()->SetParent(form);
    c->Control()->SetBounds(c->x, c->y, c->dx, c->dy);
    c->Control()->SetVisible(c->Visible);
  }
  TrbProgressWindow* progress = Report->ProgressWindow();
  const bool progressShown = progress && progress->Visible();
  if (progressShown) progress->SetVisible(false);
  TScopeExit showProgress([&] {
    if (progressShown) progress->SetVisible(true);
  });
  form->SetBorderStyle(Page->BorderStyle == 2 ? bsSizeable : bsDialog);
  form->SetCaption(Page->Caption);
  form->SetColor(Page->Color);
  form->SetBounds(Page->Left, Page->Top, Page->Width, Page->Height);
  form->SetPosition(Page->Position == 4 ? poScreenCenter : poDesigned);
  form->SetModalResult(mrNone);
  RunPageScript();
  TModalResult result = form->ModalResult();
  if (result == mrNone) result = form->ShowModal();
  if (result == mrCancel) st.DialogCancelled = true;
}

void TrbPageFormer::RunPageScript() {
  if (Page->Script.Count() == 0) return;
  TStringList compiled, errors;
  rbGlobalInterpreter().PrepareScript(&Page->Script, &compiled, &errors);
  rbGlobalInterpreter().DoScript(&compiled);
}

void TrbPageFormer::PrepareBands() {
  auto& st = rbFormation();
  std::vector<TrbView*> unattached, crossed, subReports;
  std::vector<std::pair<TrbView*, TrbBand*>> crossOwner;
  // 1. Scripts, hooks, sub-report targets.
  for (const auto& o : Page->Objects) {
    TrbView* v = o.get();
    if (v->Flags & 0x8000) st.HookList.push_back(v);
    if (v->Script.Count()) {
      TStringList errors;
      rbGlobalInterpreter().PrepareScript(&v->Script, &v->Script, &errors);
    }
    if (v->Typ == gtSubReport) {
      if (TrbPageFormer* target = Report->FormerOfIndex(static_cast<TrbSubReportView*>(v)->SubPage))
        target->Skip = true;
    }
  }
  auto fill = [&](TrbBand* b, TrbBandView* v) {
    b->View = v;
    b->Memo.Assign(&v->Memo);
    b->Script.Assign(&v->Script);
    b->x = v->x;
    b->y = v->y;
    b->dx = v->dx;
    b->dy = v->dy;
    b->Flags = v->Flags;
    b->Visible = v->Visible;
    b->Name = v->Name;
    b->Stretched = v->Flags & bfStretched;
    b->PrintIfSubsetEmpty = v->Flags & bfPrintIfSubsetEmpty;
    // Page and column headers and footers, the overlay and the objects on no
    // band are shown by the page change itself: a new page after one of them
    // would show it again, and so on for ever (a damaged or hand-made
    // template can carry the flag on them).
    const bool placedByPage = b->BandType == btPageHeader || b->BandType == btPageFooter ||
                              b->BandType == btColumnHeader || b->BandType == btColumnFooter ||
                              b->BandType == btOverlay || b->BandType == btNone;
    b->NewPageAfter = (v->Flags & bfNewPageAfter) && !Skip && !placedByPage;
    b->PageBreak = (v->Flags & bfPageBreak) && !Skip;
    b->PrintChildIfInvisible = v->Flags & bfPrintChildIfInvisible;
    v->RunDataset = nullptr;
  };
  std::vector<TrbBandView*> bandViews;
  for (const auto& o : Page->Objects) {
    if (o->Typ == gtBand) bandViews.push_back(static_cast<TrbBandView*>(o.get()));
    else if (o->Typ == gtSubReport) subReports.push_back(o.get());
    else unattached.push_back(o.get());
  }
  // 2. Cross bands own the objects inside their horizontal span.
  for (TrbBandView* v : bandViews) {
    int t = v->BandType();
    if (t < btCrossHeader || t > btCrossFooter) continue;
    TrbBand* b = Bands[static_cast<size_t>(t)];
    fill(b, v);
    b->SetDataSetName(v->DataSource());
  }
  for (auto it = unattached.begin(); it != unattached.end();) {
    TrbBand* owner = nullptr;
    for (int t = btCrossHeader; t <= btCrossFooter && !owner; ++t) {
      TrbBand* b = Bands[static_cast<size_t>(t)];
      if (b->View && (*it)->x >= b->x && (*it)->x + (*it)->dx <= b->x + b->dx) owner = b;
    }
    if (owner) {
      (*it)->x -= owner->x;
      owner->Objects.push_back(*it);
      crossed.push_back(*it);
      it = unattached.erase(it);
    } else {
      ++it;
    }
  }
  // 3. The other band types in type order; objects attached in three sweeps.
  for (int t = 0; t < btNone; ++t) {
    if (t >= btCrossHeader && t <= btCrossFooter) continue;
    TrbBand* last = nullptr;
    for (TrbBandView* v : bandViews) {
      if (v->BandType() != t) continue;
      TrbBand* b;
      if (!last) {
        b = Bands[static_cast<size_t>(t)];
      } else {
        owned_.push_back(std::make_unique<TrbBand>(t, this));
        b = owned_.back().get();
        last->Next = b;
        b->Prev = last;
      }
      fill(b, v);
      b->SetDataSetName(v->DataSource());
      auto sweep = [&](std::vector<TrbView*>& list) {
        for (auto it = list.begin(); it != list.end();) {
          if (b->y <= (*it)->y && (*it)->y <= b->y + b->dy) {
            (*it)->y -= b->y;
            b->Objects.push_back(*it);
            it = list.erase(it);
          } else {
            ++it;
          }
        }
      };
      sweep(unattached);
      sweep(crossed);
      sweep(subReports);
      last = b;
    }
    // Sort the chain by Top (stable selection sort) and relink.
    std::vector<TrbBand*> chain;
    for (TrbBand* b = Bands[static_cast<size_t>(t)]; b && b->View; b = b->Next) chain.push_back(b);
    if (chain.size() > 1) {
      std::stable_sort(chain.begin(), chain.end(), [](TrbBand* a, TrbBand* b) { return a->y < b->y; });
      Bands[static_cast<size_t>(t)] = chain.front();
      for (size_t i = 0; i < chain.size(); ++i) {
        chain[i]->Prev = i ? chain[i - 1] : nullptr;
        chain[i]->Next = i + 1 < chain.size() ? chain[i + 1] : nullptr;
      }
    }
    if (!chain.empty()) chain.front()->LastBand = chain.back();
  }
  // 4. What lies on no band goes to the type-22 band, at absolute positions.
  TrbBand* none = Bands[btNone];
  none->y = 0;
  for (TrbView* v : unattached) none->Objects.push_back(v);
  for (TrbView* v : subReports) none->Objects.push_back(v);
  // 5. Headers and footers of the data levels.
  for (int level = 0; level < 3; ++level) {
    int h = btMasterHeader + 3 * level, d = h + 1, f = h + 2;
    for (TrbBand* header = Bands[static_cast<size_t>(h)]; header && header->View; header = header->Next) {
      for (TrbBand* data = Bands[static_cast<size_t>(d)]; data && data->View; data = data->Next)
        if (header->y + header->dy < data->y) {
          if (!data->Header) data->Header = header;
          break;
        }
    }
    for (TrbBand* footer = Bands[static_cast<size_t>(f)]; footer && footer->View; footer = footer->Next) {
      TrbBand* above = nullptr;
      for (TrbBand* data = Bands[static_cast<size_t>(d)]; data && data->View; data = data->Next)
        if (data->y + data->dy <= footer->y) above = data;
      if (above && !above->Footer) above->Footer = footer;
    }
  }
  // 6. Group headers pair with group footers in reverse.
  std::vector<TrbBand*> gh, gf;
  for (TrbBand* b = Bands[btGroupHeader]; b && b->View; b = b->Next) gh.push_back(b);
  for (TrbBand* b = Bands[btGroupFooter]; b && b->View; b = b->Next) gf.push_back(b);
  for (size_t i = 0; i < gh.size() && i < gf.size(); ++i) gh[gh.size() - 1 - i]->Footer = gf[i];
  // 7. Cross-tab sources named per band.
  TrbBand* crossData = Bands[btCrossData];
  if (crossData->View && crossData->View->DataSource().find(';') != std::string::npos) {
    AnsiString list = crossData->View->DataSource();
    size_t pos = 0;
    while (pos < list.size()) {
      size_t end = list.find(';', pos);
      if (end == std::string::npos) end = list.size();
      AnsiString pair(list.substr(pos, end - pos));
      pos = end + 1;
      size_t eq = pair.find('=');
      if (eq == std::string::npos) continue;
      AnsiString bandName = AnsiString(pair.substr(0, eq)).Trim();
      AnsiString source = AnsiString(pair.substr(eq + 1)).Trim();
      for (const auto& b : owned_)
        if (b->View && b->BandType >= btMasterHeader && b->BandType <= btChild &&
            AnsiSameText(b->Name, bandName)) {
          bool owned = false;
          b->CrossDataSource = rbFindDataSet(Report->Owner(), source, owned);
          b->OwnsCrossDataSource = owned;
        }
    }
    crossData->DataSource = nullptr;
  }
  for (const auto& b : owned_)
    for (TrbView* v : b->Objects)
      if (b->BandType < btCrossHeader || b->BandType > btCrossFooter)
        for (int t = btCrossHeader; t <= btCrossFooter; ++t)
          if (std::find(Bands[static_cast<size_t>(t)]->Objects.begin(),
                        Bands[static_cast<size_t>(t)]->Objects.end(), v) != Bands[static_cast<size_t>(t)]->Objects.end())
            b->HasCrossObjects = true;
  // 8. Child bands.
  for (const auto& b : owned_)
    if (b->View && !b->View->ChildBand.empty())
      for (const auto& c : owned_)
        if (c->View && AnsiSameText(c->Name, b->View->ChildBand)) b->Child = c.get();
  // 9. Groups join their data band.
  if (Bands[btMasterData]->View) {
    for (TrbBand* g : gh) {
      TrbBand* data = Bands[btMasterData];
      if (!g->View->Master.empty())
        for (const auto& b : owned_)
          if (b->View && AnsiSameText(b->Name, g->View->Master)) data = b.get();
      if (!data->FirstGroup) {
        data->FirstGroup = g;
      } else {
        data->LastGroup->GroupNext = g;
        g->GroupPrev = data->LastGroup;
      }
      data->LastGroup = g;
    }
  }
  // 10. Columns.
  Columns = std::max(1, Page->Columns);
  ColumnWidth = (RightEdge() - LeftEdge() - (Columns - 1) * Page->ColumnGap) / Columns;
}

// Binds objects to dataset fields and registers the aggregates of the bands
// that total each data band.
void TrbPageFormer::PrepareObjects() {
  auto& st = rbFormation();
  if (Page->Type != 0) return;
  // 1. Field binding (blob content loads at print time).
  for (const auto& b : owned_) {
    TDataSet* defaultSet = nullptr;
    if (auto* db = dynamic_cast<TrbDBDataSet*>(b->DataSource)) {
      try {
        defaultSet = db->GetDataSet();
      } catch (const Exception&) {
      }
    }
    for (TrbView* v : b->Objects) {
      if (v->Memo.Count() == 0) continue;
      if (IsMemo(v) && (v->Flags & mfTextOnly)) continue;
      AnsiString text = v->Memo[0];
      if (text.size() <= 2 || text[0] != '[') continue;
      size_t close = text.rfind(']');
      if (close == std::string::npos || close < 1) continue;
      AnsiString expr = text.substr(1, close - 1);
      TrbDataDictionary& dict = Report->Dictionary();
      if (dict.Variables.IndexOf(expr) >= 0) expr = VarToStr(dict.Variables.Variable(expr));
      TDataSet* ds = nullptr;
      AnsiString field;
      try {
        rbParseFieldReference(Report->Owner(), expr, ds, field, defaultSet);
      } catch (const Exception&) {
        continue;
      }
      if (ds && !field.empty()) Report->BindField(v, ds, field);
    }
  }
  // 2. Aggregates: each data band learns the totals its footers show.
  bool errorsOff = st.ErrorsOff;
  st.ErrorsOff = true;
  struct TRestore {
    TrbFormationState& st;
    bool errorsOff;
    ~TRestore() {
      st.ErrorsOff = errorsOff;
      st.RegisteringFor = nullptr;
      st.CurBand = nullptr;
    }
  } restore{st, errorsOff};
  auto registerBand = [&](TrbBand* footer, TrbBand* data) {
    st.CurBand = footer;
    st.RegisteringFor = data;
    TStringList calls;
    TrbFunctionSplitter splitter(&AggregateNames(), &calls, &Report->Dictionary().Variables);
    rbGlobalInterpreter().SplitExpressions(&footer->Script, &AggregateNames(), &calls,
                                           &Report->Dictionary().Variables);
    for (TrbView* v : footer->Objects) {
      for (int i = 0; i < v->Memo.Count(); ++i) {
        std::vector<AnsiString> exprs;
        BracketedExpressions(v->Memo[i], exprs);
        for (const AnsiString& e : exprs) splitter.Split(e);
      }
      rbGlobalInterpreter().SplitExpressions(&v->Script, &AggregateNames(), &calls,
                                             &Report->Dictionary().Variables);
    }
    for (int i = 0; i < calls.Count(); ++i) {
      rbSetCurrentView(nullptr);
      try {
        rbGlobalParser().Calc(calls[i]);
      } catch (const Exception&) {
      }
    }
  };
  static const std::vector<int> kMaster = {btPageFooter, btColumnFooter, btMasterFooter, btGroupFooter, btReportSummary};
  static const std::vector<int> kDetail = {btPageFooter, btColumnFooter, btMasterFooter, btDetailFooter, btGroupFooter, btReportSummary};
  static const std::vector<int> kSub = {btPageFooter, btColumnFooter, btMasterFooter, btDetailFooter, btSubDetailFooter, btGroupFooter, btReportSummary};
  const std::vector<int>* footers[] = {&kMaster, &kDetail, &kSub};
  for (int level = 0; level < 3; ++level) {
    TrbBand* first = Bands[static_cast<size_t>(btMasterData + 3 * level)];
    for (TrbBand* d = first; d && d->View && (d == first || d->DataSource); d = d->Next)
      for (int t : *footers[level])
        for (TrbBand* f = Bands[static_cast<size_t>(t)]; f && f->View; f = f->Next) registerBand(f, d);
  }
  if (Bands[btCrossData]->View && Bands[btCrossFooter]->View) registerBand(Bands[btCrossFooter], Bands[btCrossData]);
  // Footers that total a data band read it through their aggregate source;
  // cross-tab rows total through the row data band they belong to.
}

// ---- forming ----

void TrbPageFormer::AddPreparedPage() {
  TrbEMFPages& pages = Report->TargetPages();
  pages.Insert(pages.Count(), Page);
  Report->DoBeginPage(pages.Count() - 1);
}

void TrbPageFormer::FormPage() {
  auto& st = rbFormation();
  TrbEMFPages& pages = Report->TargetPages();
  if (!Report->PrintIfEmpty()) {
    // A source that fails to move is no empty source: its error goes to
    // the caller of PrepareReport instead of "no page" reported as done.
    bool empty = true;
    if (TrbDataset* ds = Bands[btMasterData]->DataSource) {
      ds->First();
      empty = ds->Eof();
    }
    if (empty) return;
  }
  LastFooters = false;
  bool manual = static_cast<bool>(Report->OnManualBuild);
  if (Mode == pmNormal) {
    RunPageScript();
    if (st.Append && st.SavedCurY == st.SavedCurBottomY) {
      st.Append = false;
      st.PageNo = pages.Count();
    }
    bool afterFooter = st.Append && st.LastFooterPrinted;
    CurBottomY = afterFooter ? st.SavedCurBottomY : BottomEdge();
    CurColumn = 0;
    ColumnLeft = LeftEdge();
    if (st.Append) {
      CurY = st.SavedCurY;
    } else {
      AddPreparedPage();
      CurY = TopEdge();
      ShowBand(Bands[btOverlay]);
      ShowBand(Bands[btNone]);
    }
    ColumnTop = CurY;
    BodyTop = st.Append ? -1 : CurY;  // on a continued page the bands already there count
    if (!manual) {
      int before = pages.Count();
      ShowBand(Bands[btReportTitle]);
      if (pages.Count() == before) {
        BodyTop = kHeadersNeverBreak;
        if (Bands[btPageHeader]->Flags & bfOnFirstPage) ShowBand(Bands[btPageHeader]);
        ColumnTop = CurY;
        ShowBand(Bands[btColumnHeader]);
      }
    }
    BodyTop = st.Append ? -1 : CurY;
  }
  if (!manual) {
    deepestLevel_ = 0;
    for (int level = 1; level <= 3; ++level)
      if (Bands[static_cast<size_t>(btMasterData + 3 * (level - 1))]->View) deepestLevel_ = level;
    pending_.clear();
    if (deepestLevel_ > 0) DoLoop(1);
  }
  if (Mode == pmNormal) {
    if (manual) {
      Report->OnManualBuild(Page);
    } else {
      LastFooters = true;
      ShowBand(Bands[btColumnFooter]);
      ShowBand(Bands[btReportSummary]);
      LastFooters = false;
    }
    st.SavedCurY = CurColumn != 0 ? BottomEdge() : CurY;
    st.SavedCurBottomY = CurBottomY;
    CurColumn = 0;
    ColumnLeft = LeftEdge();
    st.LastFooterPrinted = false;
    TrbBand* footer = Bands[btPageFooter];
    if (!manual && ((st.PageNo == 0 && (footer->Flags & bfOnFirstPage)) || (footer->Flags & bfOnLastPage))) {
      std::uint16_t flags = footer->Flags;
      footer->Flags |= bfOnFirstPage;
      struct TKeep {
        TrbBand* f;
        std::uint16_t flags;
        ~TKeep() { f->Flags = flags; }
      } keep{footer, flags};
      EndPage();
      st.LastFooterPrinted = true;
    } else {
      for (; st.PageNo < pages.Count(); ++st.PageNo) Report->DoEndPage(st.PageNo);
    }
    st.PageNo = pages.Count();
  }
  PlayIndex = 0;
}

void TrbPageFormer::DoLoop(int level) {
  auto& st = rbFormation();
  int dataType = btMasterData + 3 * (level - 1);
  for (TrbBand* b = Bands[static_cast<size_t>(dataType)]; b && b->View; b = b->Next) {
    if (!b->DataSource) continue;
    TrbDataset* ds = b->DataSource;
    ds->First();
    if (Mode == pmBuildList) {
      Queue.push_back({b, 1});
    } else {
      b->LineNo = 1;
      b->LineThrough = 1;
      b->ForgetLastTexts();
    }
    for (TrbBand* g = b->FirstGroup; g; g = g->GroupNext) {
      g->LineNo = 0;
      g->LineThrough = 0;
      g->GroupValue = Variant();
    }
    if (ds->Eof()) continue;
    for (TrbBand* g = b->FirstGroup; g; g = g->GroupNext) {
      ++g->LineNo;
      ++g->LineThrough;
      pending_.push_back(g);
    }
    if (b->Header) pending_.push_back(b->Header);
    if (b->Footer) b->Footer->ResetAggregates();
    while (!ds->Eof() && !Report->IsTerminated()) {
      pending_.push_back(b);
      bool counted = true;
      if (level < deepestLevel_) {
        DoLoop(level + 1);
        if (!pending_.empty()) {
          if (!b->PrintIfSubsetEmpty) {
            auto it = std::find(pending_.rbegin(), pending_.rend(), b);
            if (it != pending_.rend()) pending_.erase(std::next(it).base());
            counted = false;
          } else {
            PrintPending();
          }
        }
      } else {
        PrintPending();
      }
      ds->Next();
      if (b->FirstGroup) {
        bool atEnd = ds->Eof();
        TrbBand* changed = nullptr;
        for (TrbBand* g = b->FirstGroup; g && !changed; g = g->GroupNext)
          if (atEnd || g->GroupValue.IsEmpty() || !(g->GroupConditionValue() == g->GroupValue)) changed = g;
        if (changed) {
          if (!atEnd) ds->Prior();
          for (TrbBand* g = b->LastGroup; g && g != changed; g = g->GroupPrev) {
            if (g->Footer) {
              pending_.push_back(g->Footer);
              g->Footer->LineNo = 0;
            }
            g->LineNo = 0;
          }
          if (changed->Footer) pending_.push_back(changed->Footer);
          PrintPending();
          if (!atEnd) {
            ds->Next();
            if (changed->NewPageAfter && changed->Visible) NewPage();
            for (TrbBand* g = changed; g; g = g->GroupNext) {
              ++g->LineNo;
              ++g->LineThrough;
              pending_.push_back(g);
            }
            b->LineNo = 0;
            b->ForgetLastTexts();
          }
        }
      }
      if (Mode == pmBuildList) {
        Queue.push_back({b, 2});
      } else if (counted) {
        ++RecordCounter;
        ++b->LineThrough;
        ++b->LineNo;
        if (b->NewPageAfter && b->Visible && !ds->Eof()) NewPage();
      }
    }
    if (!pending_.empty()) pending_.pop_back();
    else if (b->Footer) ShowBand(b->Footer);
    (void)st;
  }
}

void TrbPageFormer::PrintPending() {
  std::vector<TrbBand*> list;
  list.swap(pending_);
  for (TrbBand* b : list)
    if (b->Exists()) ShowBand(b);
}

void TrbPageFormer::ShowBand(TrbBand* band) {
  if (!band || !band->Exists()) return;
  if (Mode == pmBuildList) {
    Queue.push_back({band, 0});
    return;
  }
  band->Print();
}

void TrbPageFormer::ShowBandByName(const AnsiString& name) {
  for (const auto& b : owned_)
    if (b->View && AnsiSameText(b->Name, name)) return ShowBand(b.get());
}

void TrbPageFormer::NewPage() {
  auto& st = rbFormation();
  Report->DoProgress(st.PageNo + 1);
  if (!LastFooters) ShowBand(Bands[btColumnFooter]);
  EndPage();
  CurBottomY = BottomEdge();
  AddPreparedPage();
  st.Append = false;
  ShowBand(Bands[btOverlay]);
  ShowBand(Bands[btNone]);
  CurY = TopEdge();
  BodyTop = kHeadersNeverBreak;
  ShowBand(Bands[btPageHeader]);
  ColumnTop = CurY;
  ShowBand(Bands[btColumnHeader]);
  BodyTop = CurY;
}

void TrbPageFormer::EndPage() {
  auto& st = rbFormation();
  TrbEMFPages& pages = Report->TargetPages();
  CurColumn = 0;
  ColumnLeft = LeftEdge();
  TrbBand* footer = Bands[btPageFooter];
  bool afterFooter = st.Append && st.LastFooterPrinted;
  for (; st.PageNo < pages.Count(); ++st.PageNo) {
    if (afterFooter) continue;
    Report->DoEndPage(st.PageNo);
    if (st.PageNo != 0 || (footer->Flags & bfOnFirstPage)) ShowBand(footer);
  }
  st.PageNo = pages.Count();
}

void TrbPageFormer::NewColumn(TrbBand* band) {
  if (CurColumn < Columns - 1) {
    ShowBand(Bands[btColumnFooter]);
    ++CurColumn;
    ColumnLeft += ColumnWidth + Page->ColumnGap;
    CurY = ColumnTop;
    BodyTop = kHeadersNeverBreak;
    ShowBand(Bands[btColumnHeader]);
    BodyTop = CurY;
  } else {
    NewPage();
  }
  if (LastFooters || !band) return;
  auto repeat = [](TrbBand* b) {
    b->Repeating = true;
    struct TClear {
      TrbBand* b;
      ~TClear() { b->Repeating = false; }
    } clear{b};
    b->Print();
  };
  TrbBand* data = band->IsDataBand() ? band : nullptr;
  if (data) {
    for (TrbBand* g = data->FirstGroup; g; g = g->GroupNext)
      if ((g->Flags & bfRepeatHeader) && g->View && g->Visible) repeat(g);
  } else if (band->BandType == btGroupHeader) {
    for (TrbBand* g = band->GroupPrev; g; g = g->GroupPrev)
      if ((g->Flags & bfRepeatHeader) && g->View && g->Visible) repeat(g);
  }
  if (data && data->Header && (data->Header->Flags & bfRepeatHeader) && data->Header->Exists())
    repeat(data->Header);
}

bool TrbPageFormer::PlayFrom() {
  while (PlayIndex < Queue.size()) {
    if (Report->IsTerminated()) return false;
    const TQueueEntry e = Queue[PlayIndex];
    if (e.action == 0) {
      if (PendingSubBand) {
        if (PendingSubBand->ReplaySubReports(true)) return true;  // still more than a page
        PendingSubBand = nullptr;
      } else if (e.band->Print()) {
        return true;  // did not fit: continue it on the next page
      }
    } else if (e.action == 1) {
      if (e.band->DataSource) e.band->DataSource->First();
      e.band->LineNo = 1;
      e.band->ForgetLastTexts();
    } else {
      if (e.band->DataSource) e.band->DataSource->Next();
      ++RecordCounter;
      ++e.band->LineThrough;
      ++e.band->LineNo;
    }
    ++PlayIndex;
  }
  return false;
}

void TrbPageFormer::DoneReport() {
  // The controls belong to their objects, not to the form that showed them.
  if (DialogForm) {
    for (const auto& o : Page->Objects)
      if (auto* c = dynamic_cast<TrbControl*>(o.get()); c && c->Control()) c->Control()->SetParent(nullptr);
    DialogForm.reset();
  }
  for (const auto& b : owned_) {
    b->FreeDataSets();
    if (b->View) b->View->RunDataset = nullptr;
  }
  owned_.clear();
  Bands.fill(nullptr);
  Queue.clear();
  pending_.clear();
  Initialised = false;
}
