// TrbPage and TrbPages: the template stream (layout in ReportPage.h).
#include "report/ReportPage.h"

#include "platform/core/AnsiText.h"
#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Canvas.h"
#include "report/ReportFunctions.h"
#include "report/ReportStream.h"
#include "report/ReportViews.h"

namespace {

enum : std::uint8_t { kTagPage = 255, kTagDictionary = 254, kTagHook = 253 };
constexpr int kVersion = 24;

void WriteBool16(TStream* s, bool v) { rbStreamWriteWord(s, v ? 0xFFFF : 0); }

// Restores the engine-wide reading state when a read ends, however it ends.
struct TReadingPages {
  explicit TReadingPages(TrbPages* pages) : saved(rbCurrentPages()) { rbSetCurrentPages(pages); }
  ~TReadingPages() { rbSetCurrentPages(saved); }
  TrbPages* saved;
};

}  // namespace

AnsiString rbVirtualPrinterName() {
  AnsiString s = rbLoadStr(55007);
  return s.empty() ? AnsiString("虚拟打印机") : s;
}

// ---- TrbPage ----

TrbPage::TrbPage(int size, int width, int height, int bin, int orientation)
    : pgSize(size), pgWidth(width), pgHeight(height), pgOr(orientation), pgBin(bin) {}

TrbPage::~TrbPage() = default;

TrbView* TrbPage::Add(TrbView* view) {
  Objects.emplace_back(view);
  return view;
}

TrbView* TrbPage::FindObject(const AnsiString& name) const {
  for (const auto& o : Objects)
    if (AnsiSameText(o->Name, name)) return o.get();
  return nullptr;
}

int TrbPage::PageWidth() const { return rbRound((pgOr ? pgHeight : pgWidth) * 18.0 / 50); }
int TrbPage::PageHeight() const { return rbRound((pgOr ? pgWidth : pgHeight) * 18.0 / 50); }

void TrbPage::SaveToStream(TStream* s) {
  rbStreamWriteInt(s, -1);
  for (int v : {pgSize, pgWidth, pgHeight, LeftMargin, TopMargin, RightMargin, BottomMargin})
    rbStreamWriteInt(s, v);
  rbStreamWriteByte(s, static_cast<std::uint8_t>(pgOr));
  rbStreamWriteInt(s, pgBin);
  WriteBool16(s, PrintToPrevPage);
  WriteBool16(s, UseMargins);
  rbStreamWriteInt(s, Columns);
  rbStreamWriteInt(s, ColumnGap);
  rbStreamWriteByte(s, static_cast<std::uint8_t>(Type));
  rbStreamWriteString(s, Name);
  rbStreamWriteByte(s, static_cast<std::uint8_t>(BorderStyle));
  rbStreamWriteString(s, Caption);
  rbStreamWriteInt(s, Color);
  for (int v : {Left, Top, Width, Height}) rbStreamWriteInt(s, v);
  rbStreamWriteByte(s, static_cast<std::uint8_t>(Position));
  rbStreamWriteMemo(s, &Script);
}

void TrbPage::LoadFromStream(TStream* s) {
  int v = rbCurrentVersion;
  Script.Clear();
  std::int32_t first = rbStreamReadInt(s);
  bool marked = first == -1;
  pgSize = marked ? rbStreamReadInt(s) : first;
  pgWidth = rbStreamReadGeometry(s, "paper width");
  pgHeight = rbStreamReadGeometry(s, "paper height");
  LeftMargin = rbStreamReadGeometry(s, "margin");
  TopMargin = rbStreamReadGeometry(s, "margin");
  RightMargin = rbStreamReadGeometry(s, "margin");
  BottomMargin = rbStreamReadGeometry(s, "margin");
  pgOr = rbStreamReadByte(s);
  if (v < 23) {
    std::uint8_t skip[6];
    rbStreamReadBytes(s, skip, 6);
  }
  pgBin = v > 23 ? rbStreamReadInt(s) : -1;
  PrintToPrevPage = rbStreamReadWord(s) != 0;
  UseMargins = rbStreamReadWord(s) != 0;
  Columns = rbStreamReadGeometry(s, "columns");
  ColumnGap = rbStreamReadGeometry(s, "column gap");
  if (v >= 24) {
    Type = rbStreamReadByte(s);
    Name = rbStreamReadString(s);
    BorderStyle = rbStreamReadByte(s);
    if (BorderStyle == 0) BorderStyle = 3;
    else if (BorderStyle == 1) BorderStyle = 2;
    Caption = rbStreamReadString(s);
    Color = rbStreamReadInt(s);
    Left = rbStreamReadGeometry(s, "left");
    Top = rbStreamReadGeometry(s, "top");
    Width = rbStreamReadGeometry(s, "width");
    Height = rbStreamReadGeometry(s, "height");
    Position = rbStreamReadByte(s) ? 4 : 0;
    if (marked) rbStreamReadMemo(s, &Script);
  } else {
    CreateUniqueName();
  }
  if (Type > 1) rbFormatError(s, "page type " + IntToStr(Type));
}

void TrbPage::CreateUniqueName() {
  TrbPages* pages = rbCurrentPages();
  for (int n = 1; n <= 10000; ++n) {
    AnsiString candidate = "Page" + IntToStr(n);
    bool used = false;
    for (int i = 0; pages && i < pages->Count(); ++i)
      used = used || (pages->Pages(i) != this && AnsiSameText(pages->Pages(i)->Name, candidate));
    if (!used) {
      Name = candidate;
      return;
    }
  }
}

void TrbPage::SetPropValue(const AnsiString& name, const Variant& value) {
  AnsiString n = name.UpperCase();
  if (n == "NAME") Name = VarToStr(value);
  else if (n == "VISIBLE") Visible = value.AsBoolean();
  else if (n == "CAPTION") Caption = VarToStr(value);
  else if (n == "COLUMNS") Columns = value.AsInteger();
  else if (n == "COLUMNGAP") ColumnGap = value.AsInteger();
  else if (n == "LEFTMARGIN") LeftMargin = value.AsInteger();
  else if (n == "TOPMARGIN") TopMargin = value.AsInteger();
  else if (n == "RIGHTMARGIN") RightMargin = value.AsInteger();
  else if (n == "BOTTOMMARGIN") BottomMargin = value.AsInteger();
  else if (n == "PRINTTOPREVPAGE") PrintToPrevPage = value.AsBoolean();
  else if (n == "STRETCHTOPRINTABLE") UseMargins = !value.AsBoolean();
  else if (n == "ORIENTATION") pgOr = value.AsInteger();
  else if (n == "TYPE") Type = value.AsInteger();
  else if (n == "BORDERSTYLE") BorderStyle = value.AsInteger();
  else if (n == "COLOR") Color = value.AsInteger();
  else if (n == "POSITION") Position = value.AsInteger();
  else if (n == "LEFT") Left = value.AsInteger();
  else if (n == "TOP") Top = value.AsInteger();
  else if (n == "WIDTH" && Type == 1) Width = value.AsInteger();
  else if (n == "HEIGHT" && Type == 1) Height = value.AsInteger();
}

void TrbPage::DefineProperties() {
  ClearProperties();
  AddProperty("Name", rbpText | rbpSpecial);
  for (const char* n : {"Left", "Top", "Width", "Height"}) AddProperty(n, rbpUnits);
  AddEnumProperty("Type", "ptReport;ptDialog", {0, 1});
  AddEnumProperty("BorderStyle", "bsDialog;bsSizeable", {3, 2});
  AddProperty("Caption", rbpText);
  AddProperty("Color", rbpColor);
  AddEnumProperty("Position", "poDesigned;poScreenCenter", {0, 4});
  AddProperty("Size", rbpEnum);  // the printer's paper names, when a printer model is present
  for (const char* n : {"LeftMargin", "TopMargin", "RightMargin", "BottomMargin"}) AddProperty(n, rbpUnits);
  AddEnumProperty("Orientation", "poPortrait;poLandscape", {0, 1});
  for (const char* n : {"PrintToPrevPage", "StretchToPrintable", "Visible"}) AddProperty(n, rbpBoolean);
  AddProperty("Columns", rbpInteger);
  AddProperty("ColumnGap", rbpUnits);
  AddProperty("OnBeforePrint", rbpEditor | rbpSpecial);
  AddProperty("OnActivate", rbpEditor | rbpSpecial);
}

Variant TrbPage::GetPropValue(const AnsiString& name) {
  AnsiString n = name.UpperCase();
  if (n == "NAME") return Variant(Name);
  if (n == "VISIBLE") return Variant(Visible);
  if (n == "CAPTION") return Variant(Caption);
  if (n == "WIDTH") return Variant(Type == 1 ? Width : PageWidth());
  if (n == "HEIGHT") return Variant(Type == 1 ? Height : PageHeight());
  if (n == "COLUMNS") return Variant(Columns);
  if (n == "COLUMNGAP") return Variant(ColumnGap);
  if (n == "LEFTMARGIN") return Variant(LeftMargin);
  if (n == "TOPMARGIN") return Variant(TopMargin);
  if (n == "RIGHTMARGIN") return Variant(RightMargin);
  if (n == "BOTTOMMARGIN") return Variant(BottomMargin);
  if (n == "ORIENTATION") return Variant(pgOr);
  if (n == "TYPE") return Variant(Type);
  if (n == "BORDERSTYLE") return Variant(BorderStyle);
  if (n == "COLOR") return Variant(Color);
  if (n == "POSITION") return Variant(Position);
  if (n == "LEFT") return Variant(Left);
  if (n == "TOP") return Variant(Top);
  if (n == "SIZE") return Variant(pgSize);
  if (n == "PRINTTOPREVPAGE") return Variant(PrintToPrevPage);
  if (n == "STRETCHTOPRINTABLE") return Variant(!UseMargins);
  return Variant::Null();
}

// ---- TrbPages ----

TrbPages::TrbPages() = default;
TrbPages::~TrbPages() = default;

TrbPage* TrbPages::Pages(int index) const {
  if (index < 0 || index >= Count()) throw EListError("List index out of bounds (" + IntToStr(index) + ")");
  return pages_[static_cast<size_t>(index)].get();
}

TrbPage* TrbPages::Add() {
  pages_.push_back(std::make_unique<TrbPage>());
  return pages_.back().get();
}

void TrbPages::Clear() { pages_.clear(); }

TrbView* TrbPages::FindObject(const AnsiString& name) const {
  for (const auto& p : pages_)
    if (TrbView* v = p->FindObject(name)) return v;
  return nullptr;
}

void TrbPages::Swap(TrbPages& other) {
  std::swap(pages_, other.pages_);
  std::swap(KeepPrinter, other.KeepPrinter);
  std::swap(TwoPass, other.TwoPass);
  std::swap(PrinterName, other.PrinterName);
  Dictionary.Variables.Swap(other.Dictionary.Variables);
  Dictionary.FieldAliases.Swap(other.Dictionary.FieldAliases);
  Dictionary.Extra.Swap(other.Dictionary.Extra);
}

void TrbPages::ResetBandAligned() {
  TBitmap offScreen(8, 8);
  for (const auto& p : pages_) {
    rbSetCurrentPage(p.get());
    for (const auto& o : p->Objects)
      if (o->BandAlign != 0) o->Draw(offScreen.Canvas());
  }
  offScreen.Canvas()->ReleasePainter();
}

void TrbPages::SaveTemplate(TStream* s) {
  rbStreamWriteByte(s, kVersion);
  SaveToStream(s);
}

void TrbPages::LoadTemplate(TStream* s) {
  if (s->Size() - s->Position() <= 0) return;  // an empty stream loads nothing
  std::int64_t start = s->Position();
  int version = rbStreamReadByte(s);
  if (version < 21) {
    version = 21;
    s->SetPosition(start);
  } else if (version > kVersion) {
    throw EReadError("不支持的RBF格式");
  }
  rbCurrentVersion = version;
  rbErrorFlag = false;
  rbErrorText.clear();
  TrbPages fresh;
  fresh.Dictionary.FindDataSet = Dictionary.FindDataSet;
  fresh.Dictionary.DefaultDataSet = Dictionary.DefaultDataSet;
  fresh.LoadFromStream(s);
  Swap(fresh);
}

void TrbPages::SaveToStream(TStream* s) {
  TReadingPages current(this);
  rbCurrentVersion = kVersion;
  WriteBool16(s, KeepPrinter);
  WriteBool16(s, TwoPass);
  rbStreamWriteString(s, PrinterName == rbVirtualPrinterName() ? AnsiString("\x01") : PrinterName);
  for (const auto& p : pages_) {
    rbStreamWriteByte(s, kTagPage);
    p->SaveToStream(s);
  }
  for (size_t i = 0; i < pages_.size(); ++i) {
    for (const auto& o : pages_[i]->Objects) {
      rbStreamWriteByte(s, o->Typ);
      if (o->Typ == gtAddIn) rbStreamWriteString(s, o->ClassName());
      rbStreamWriteByte(s, static_cast<std::uint8_t>(i));
      std::int64_t slot = s->Position();
      rbStreamWriteInt(s, 0);
      o->SaveToStream(s);
      std::int64_t end = s->Position();
      s->SetPosition(slot);
      rbStreamWriteInt(s, static_cast<std::int32_t>(end));
      s->SetPosition(end);
    }
  }
  rbStreamWriteByte(s, kTagDictionary);
  Dictionary.SaveToStream(s);
}

void TrbPages::LoadFromStream(TStream* s) {
  TReadingPages current(this);
  Dictionary.Clear();
  KeepPrinter = rbStreamReadWord(s) != 0;
  TwoPass = rbStreamReadWord(s) != 0;
  PrinterName = rbReadTemplateString(s);
  if (PrinterName == "\x01") PrinterName = rbVirtualPrinterName();
  std::vector<AnsiString> failures;
  while (s->Position() < s->Size()) {
    std::uint8_t tag = rbStreamReadByte(s);
    if (tag == kTagPage) {
      TrbPage* page = Add();
      rbSetCurrentPage(page);
      page->LoadFromStream(s);
    } else if (tag == kTagDictionary) {
      Dictionary.LoadFromStream(s);
    } else if (tag == kTagHook) {
      break;  // no stream hook is installed: reading ends here
    } else if (tag > gtAddIn) {
      rbFormatError(s, "unknown tag " + IntToStr(tag));
    } else {
      ReadObject(s, tag, failures);
    }
  }
  if (rbErrorFlag) throw EClassNotFound(rbErrorText);
  if (!failures.empty()) {
    AnsiString text = "Report template objects could not be read:";
    for (const AnsiString& f : failures) text += "\r\n" + f;
    throw EReadError(text);
  }
  for (const auto& p : pages_)
    for (const auto& o : p->Objects) o->AfterLoad();
}

void TrbPages::ReadObject(TStream* s, std::uint8_t type, std::vector<AnsiString>& failures) {
  std::int64_t entryStart = s->Position() - 1;
  AnsiString className;
  bool framedMemo = false;
  if (type == gtAddIn) {
    className = rbReadTemplateString(s);
    AnsiString upper = className.UpperCase();
    if (upper == "TRBBDELOOKUPCONTROL" || upper == "TRBIBXLOOKUPCONTROL") className = "TrbDBLookupControl";
    if (upper == "TRBFRAMEDMEMOVIEW") {
      framedMemo = true;
      type = gtMemo;
      className.clear();
    }
  }
  std::uint8_t pageIndex = rbStreamReadByte(s);
  if (pageIndex >= pages_.size()) rbFormatError(s, "object on page " + IntToStr(pageIndex) + " of " + IntToStr(Count()));
  TrbPage* page = pages_[pageIndex].get();
  rbSetCurrentPage(page);
  std::int64_t end = -1;
  if (rbCurrentVersion > 23) {
    end = rbStreamReadInt(s);
    if (end < s->Position() || end > s->Size()) rbFormatError(s, "object end position " + IntToStr(end));
  }
  TrbView* view = nullptr;
  try {
    view = rbCreateObject(type, className);
    if (view) {
      page->Add(view);
      view->LoadFromStream(s);
      view->SetPropValue("Name", view->Name);
    }
    if (framedMemo) {
      std::uint8_t skip[8];
      rbStreamReadBytes(s, skip, 8);
    }
    if (end >= 0) {
      if (s->Position() > end) rbFormatError(s, "object record longer than its entry");
      s->SetPosition(end);
    }
  } catch (const EClassNotFound&) {
    if (end >= 0) s->SetPosition(end);  // collected in rbErrorText
  } catch (const Exception& e) {
    if (view) page->Objects.pop_back();
    if (end < 0) throw;  // without an end position the rest cannot be found
    failures.push_back("offset " + IntToStr(entryStart) + ": " + e.Message());
    s->SetPosition(end);
  }
}
