// TrbEMFPages (formats in ReportPrepared.h).
#include "report/ReportPrepared.h"

#include <cstdio>

#include "platform/core/Exceptions.h"
#include "platform/core/Files.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/Printers.h"
#include "report/ReportStream.h"
#include "report/ReportViews.h"

namespace {
constexpr std::uint8_t kVersion = 24;
constexpr int kMinPageRecord = 4 + 2 + 4 + 4 + 1 + 1;  // end position .. use margins
}  // namespace

TrbPageInfo::TrbPageInfo() = default;
TrbPageInfo::~TrbPageInfo() = default;

std::array<int, 12> rbPaperInfo(int pgWidth, int pgHeight, int pgOr) {
  std::array<int, 12> info{};
  TrbPage paper(0, pgWidth, pgHeight, 0, pgOr);
  info[2] = paper.PageWidth();
  info[3] = paper.PageHeight();
  info[10] = info[2];  // printable width and height (screen units): the whole page
  info[11] = info[3];
  return info;
}

TrbEMFPages::TrbEMFPages() = default;
TrbEMFPages::~TrbEMFPages() = default;

TrbPageInfo& TrbEMFPages::Pages(int index) {
  if (index < 0 || index >= Count()) throw EListError("List index out of bounds (" + IntToStr(index) + ")");
  return *pages_[static_cast<size_t>(index)];
}

void TrbEMFPages::Insert(int index, TrbPage* t) {
  auto info = std::make_unique<TrbPageInfo>();
  info->Stream = std::make_unique<TMemoryStream>();
  rbStreamWriteByte(info->Stream.get(), kVersion);
  rbCurrentVersion = kVersion;
  info->pgSize = t->pgSize;
  info->pgWidth = t->pgWidth;
  info->pgHeight = t->pgHeight;
  info->pgOr = t->pgOr;
  info->pgBin = t->pgBin;
  info->UseMargins = t->UseMargins;
  info->pgMargins = {t->LeftMargin, t->TopMargin, t->RightMargin, t->BottomMargin};
  info->PrnInfo = rbPaperInfo(t->pgWidth, t->pgHeight, t->pgOr);
  if (index >= Count()) pages_.push_back(std::move(info));
  else pages_.insert(pages_.begin() + std::max(index, 0), std::move(info));
}

void TrbEMFPages::Add(TrbPage* templatePage) {
  Insert(Count(), templatePage);
  if (OnBeginPage) OnBeginPage(Count() - 1);
}

void TrbEMFPages::Delete(int index) {
  Pages(index);
  pages_.erase(pages_.begin() + index);
}

TrbPage* TrbEMFPages::ObjectsToPage(int index) {
  TrbPageInfo& p = Pages(index);
  auto page = std::make_unique<TrbPage>(p.pgSize, p.pgWidth, p.pgHeight, p.pgBin, p.pgOr);
  page->LeftMargin = p.pgMargins[0];
  page->TopMargin = p.pgMargins[1];
  page->RightMargin = p.pgMargins[2];
  page->BottomMargin = p.pgMargins[3];
  page->UseMargins = p.UseMargins;
  rbSetCurrentPage(page.get());
  TStream* s = p.Stream.get();
  s->SetPosition(0);
  int version = rbStreamReadByte(s);
  if (version < 21 || version > kVersion) rbFormatError(s, "prepared page version " + IntToStr(version));
  rbCurrentVersion = version;
  while (s->Position() < s->Size()) {
    std::uint8_t type = rbStreamReadByte(s);
    if (type > gtAddIn) rbFormatError(s, "object type " + IntToStr(type));
    AnsiString className = type == gtAddIn ? rbReadTemplateString(s) : AnsiString();
    std::unique_ptr<TrbView> view(rbCreateObject(type, className));
    if (!view) rbFormatError(s, "object type " + IntToStr(type));
    view->PreparedFlag = 1;
    view->LoadFromStream(s);
    view->PreparedFlag = 0;
    page->Add(view.release());
  }
  p.Page = std::move(page);
  return p.Page.get();
}

void TrbEMFPages::PageToObjects(int index) {
  TrbPageInfo& p = Pages(index);
  if (!p.Page) return;
  p.Stream = std::make_unique<TMemoryStream>();
  rbStreamWriteByte(p.Stream.get(), kVersion);
  rbCurrentVersion = kVersion;
  for (const auto& o : p.Page->Objects) {
    o->Memo1.Assign(&o->Memo);
    o->WritePrepared(p.Stream.get());
  }
}

void TrbEMFPages::Draw(int index, TCanvas* canvas, const TRect& rect) {
  TrbPageInfo& p = Pages(index);
  rbDocMode = 1;
  if (!p.Visible) {
    p.Page.reset();
    return;
  }
  TrbPage* page = p.Page ? p.Page.get() : ObjectsToPage(index);
  if (p.PrnInfo[2] <= 0 || p.PrnInfo[3] <= 0) return;
  double kx = static_cast<double>(rect.Width()) / p.PrnInfo[2];
  double ky = static_cast<double>(rect.Height()) / p.PrnInfo[3];
  // Drawing for the printer: its canvas while a document is open.  Fonts
  // then keep their point sizes at the printer's resolution.
  const bool printing = Printer()->Printing() && canvas == Printer()->Canvas();
  TRect clip = canvas->ClipRect();
  rbSetCurrentPage(page);
  for (const auto& o : page->Objects) {
    int l = rect.Left + rbRound(o->x * kx) - 10, t = rect.Top + rbRound(o->y * ky) - 10;
    int r = rect.Left + rbRound((o->x + o->dx) * kx) + 10, b = rect.Top + rbRound((o->y + o->dy) * ky) + 10;
    if (!printing && (r < clip.Left || l > clip.Right || b < clip.Top || t > clip.Bottom)) continue;
    o->ScaleX = kx;
    o->ScaleY = ky;
    o->OffsetX = rect.Left;
    o->OffsetY = rect.Top;
    o->IsPrinting = printing;
    o->Draw(canvas);
  }
}

bool TrbEMFPages::DoClick(int index, const TPoint& point, bool click, int& cursor) {
  TrbPageInfo& p = Pages(index);
  TrbPage* page = p.Page ? p.Page.get() : ObjectsToPage(index);
  double kx = 1, ky = 1;
  int ox = 0, oy = 0;
  // Stretched into the printable area: its screen-unit offset and size
  // (the page geometry's values 7-8 and 11-12, ReportPrinter.h).
  if (!p.UseMargins && p.PrnInfo[2] > 0 && p.PrnInfo[3] > 0) {
    kx = static_cast<double>(p.PrnInfo[10]) / p.PrnInfo[2];
    ky = static_cast<double>(p.PrnInfo[11]) / p.PrnInfo[3];
    ox = p.PrnInfo[6];
    oy = p.PrnInfo[7];
  }
  for (auto it = page->Objects.rbegin(); it != page->Objects.rend(); ++it) {
    TrbView* v = it->get();
    TRect r(ox + rbRound(v->x * kx), oy + rbRound(v->y * ky), ox + rbRound((v->x + v->dx) * kx),
            oy + rbRound((v->y + v->dy) * ky));
    if (point.x < r.Left || point.x > r.Right || point.y < r.Top || point.y > r.Bottom) continue;
    if (click && OnObjectClick) {
      OnObjectClick(v);
      return true;
    }
    if (!click && OnMouseOverObject) {
      OnMouseOverObject(v, cursor);
      return true;
    }
    return false;
  }
  return false;
}

// ---- file ----

void TrbEMFPages::SaveToStream(TStream* s) {
  rbStreamWriteByte(s, kVersion);
  rbStreamWriteByte(s, 0);  // no compressor is enabled
  rbStreamWriteString(s, PrinterName);
  rbStreamWriteInt(s, Count());
  for (const auto& p : pages_) {
    std::int64_t slot = s->Position();
    rbStreamWriteInt(s, 0);
    rbStreamWriteWord(s, static_cast<std::uint16_t>(p->pgSize));
    rbStreamWriteInt(s, p->pgWidth);
    rbStreamWriteInt(s, p->pgHeight);
    rbStreamWriteByte(s, static_cast<std::uint8_t>(p->pgOr));
    rbStreamWriteInt(s, p->pgBin);
    rbStreamWriteByte(s, p->UseMargins ? 1 : 0);
    for (int m : p->pgMargins) rbStreamWriteInt(s, m);
    p->Stream->SaveToStream(s);
    std::int64_t end = s->Position();
    s->SetPosition(slot);
    rbStreamWriteInt(s, static_cast<std::int32_t>(end));
    s->SetPosition(end);
  }
}

void TrbEMFPages::LoadFromStream(TStream* s) {
  std::int64_t start = s->Position();
  int version = rbStreamReadByte(s);
  if (version < kVersion || version >= 32) {
    s->SetPosition(start);
    rbFormatError(s, "a prepared report of the older metafile format cannot be read");
  }
  std::uint8_t compressed = rbStreamReadByte(s);
  if (compressed >= 2 && compressed != 255) {
    s->SetPosition(start);
    rbFormatError(s, "a prepared report of the older metafile format cannot be read");
  }
  if (compressed == 1) rbFormatError(s, "a compressed prepared report needs a compressor");
  AnsiString printer = rbStreamReadString(s);
  std::int32_t count = rbStreamReadInt(s);
  if (count < 0 || count > (s->Size() - s->Position()) / kMinPageRecord)
    rbFormatError(s, "page count " + IntToStr(count));
  std::vector<std::unique_ptr<TrbPageInfo>> fresh;
  for (std::int32_t i = 0; i < count; ++i) {
    std::int32_t end = rbStreamReadInt(s);
    if (end <= s->Position() || end > s->Size()) rbFormatError(s, "page end position " + IntToStr(end));
    auto p = std::make_unique<TrbPageInfo>();
    p->pgSize = rbStreamReadWord(s);
    p->pgWidth = rbStreamReadGeometry(s, "paper width");
    p->pgHeight = rbStreamReadGeometry(s, "paper height");
    p->pgOr = rbStreamReadByte(s);
    p->pgBin = version > 23 ? rbStreamReadInt(s) : -1;
    p->UseMargins = rbStreamReadByte(s) != 0;
    if (version > 23)
      for (int& m : p->pgMargins) m = rbStreamReadGeometry(s, "margin");
    std::int64_t here = s->Position();
    if (end < here) rbFormatError(s, "page end position " + IntToStr(end));
    p->Stream = std::make_unique<TMemoryStream>();
    p->Stream->SetSize(end - here);
    rbStreamReadBytes(s, p->Stream->Memory(), static_cast<int>(end - here));
    p->PrnInfo = rbPaperInfo(p->pgWidth, p->pgHeight, p->pgOr);
    s->SetPosition(end);
    fresh.push_back(std::move(p));
  }
  pages_.swap(fresh);
  PrinterName = printer;
}

void TrbEMFPages::SaveToFile(const AnsiString& fileName) {
  AnsiString temp = fileName + ".tmp";
  {
    TFileStream f(temp, fmCreate);
    SaveToStream(&f);
  }
  // rename() replaces the old file in one step: a reader sees the old file
  // or the new one, never a half-written one.
  if (std::rename(MapPath(temp).c_str(), MapPath(fileName).c_str()) != 0) {
    DeleteFile(temp);
    throw EWriteError("Cannot replace " + fileName);
  }
}

void TrbEMFPages::LoadFromFile(const AnsiString& fileName) {
  TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&f);
}
