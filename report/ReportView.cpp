// TrbObject property lists, TrbView (record layout in ReportView.h), object
// creation and name lookups.
#include "report/ReportView.h"

#include <map>

#include "platform/core/AnsiText.h"
#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/Graphics.h"
#include "report/ReportFunctions.h"
#include "report/ReportPage.h"
#include "report/ReportStream.h"
#include "report/ReportViews.h"

// ---- TrbObject ----

void TrbObject::AddProperty(const AnsiString& name, std::uint16_t type, std::function<void()> editor) {
  TrbProperty p;
  p.Name = name;
  p.Type = type;
  p.Editor = std::move(editor);
  properties_.push_back(std::move(p));
}

void TrbObject::AddEnumProperty(const AnsiString& name, const AnsiString& names,
                                std::vector<Variant> values) {
  TrbProperty p;
  p.Name = name;
  p.Type = rbpEnum;
  TStringList list;
  rbSplitList(names, &list);
  for (int i = 0; i < list.Count(); ++i) p.EnumNames.push_back(list[i]);
  p.EnumValues = std::move(values);
  properties_.push_back(std::move(p));
}

TrbProperty* TrbObject::FindProperty(const AnsiString& name) {
  for (TrbProperty& p : properties_)
    if (AnsiSameText(p.Name, name)) return &p;
  return nullptr;
}

void rbEnsureProperties(TrbObject* object) {
  if (object && object->Properties().empty()) object->DefineProperties();
}

// ---- engine-wide lookups ----

namespace {
int gObjectIdCounter = 0;
TrbPages* gCurrentPages = nullptr;
TrbPage* gCurrentPage = nullptr;
TrbView* gCurrentView = nullptr;

AnsiString TextOr(int id, const char* fallback) {
  AnsiString s = rbLoadStr(id);
  return s.empty() ? AnsiString(fallback) : s;
}

std::map<AnsiString, TrbAddInFactory>& AddIns() {
  static std::map<AnsiString, TrbAddInFactory> addIns;
  return addIns;
}
}  // namespace

int rbObjectIdCounter() { return gObjectIdCounter; }
TrbView* rbCurrentView() { return gCurrentView; }
void rbSetCurrentView(TrbView* view) { gCurrentView = view; }

void rbReportFormationError(const Exception& e) {
  rbErrorFlag = true;
  AnsiString text = TextOr(55200, "计算时发生错误") + "\r\n";
  TrbReportContext* ctx = rbCurrentContext();
  if (gCurrentView) {
    for (int i = 0; i < gCurrentView->Memo.Count(); ++i) text += gCurrentView->Memo[i] + "\r\n";
    text += TextOr(55202, "对象:") + " " + gCurrentView->Name + "\r\n";
  }
  text += TextOr(55201, "报表:") + " " + (ctx ? ctx->ReportName() : AnsiString()) + "\r\n\r\n" + e.Message();
  rbErrorText = text;
  if (ctx) ctx->StopReport();
}
void rbSetCurrentPages(TrbPages* pages) { gCurrentPages = pages; }
TrbPages* rbCurrentPages() { return gCurrentPages; }
void rbSetCurrentPage(TrbPage* page) { gCurrentPage = page; }
TrbPage* rbCurrentPage() { return gCurrentPage; }

void rbRegisterAddIn(const AnsiString& className, TrbAddInFactory factory) {
  if (AddIns().size() < 32) AddIns()[className] = std::move(factory);
}

TrbView* rbCreateObject(std::uint8_t type, const AnsiString& className) {
  TrbView* view = nullptr;
  switch (type) {
    case gtMemo: view = new TrbMemoView; break;
    case gtPicture: view = new TrbPictureView; break;
    case gtBand: view = new TrbBandView; break;
    case gtSubReport: view = new TrbSubReportView; break;
    case gtLine: view = new TrbLineView; break;
    case gtAddIn: {
      auto it = AddIns().find(className);  // exact, case counts
      if (it == AddIns().end()) {
        rbErrorFlag = true;
        rbErrorText += "\r" + className;
        throw EClassNotFound(rbErrorText);
      }
      view = it->second();
      view->Typ = gtAddIn;
      break;
    }
    default:
      return nullptr;
  }
  view->ID = gObjectIdCounter++;
  return view;
}

TrbObject* rbGetObjectProperty(const AnsiString& fullName, AnsiString& property,
                               TrbObject* currentView) {
  property = fullName;
  size_t dot = fullName.find('.');
  if (dot == std::string::npos) return currentView;
  AnsiString objectName = fullName.substr(0, dot);
  property = fullName.substr(dot + 1);
  AnsiString upper = objectName.UpperCase();
  TrbObject* found = nullptr;
  if (upper.size() > 4 && upper.compare(0, 4, "PAGE") == 0 && upper[4] >= '0' && upper[4] <= '9') {
    int n = StrToIntDef(upper.substr(4), 0);
    if (gCurrentPages && n >= 1 && n <= gCurrentPages->Count()) found = gCurrentPages->Pages(n - 1);
  } else if (gCurrentPages) {
    found = gCurrentPages->FindObject(objectName);
  }
  if (!found) {
    rbEnsureProperties(currentView);
    if (currentView && currentView->FindProperty(objectName)) {
      property = fullName;
      found = currentView;
    }
  }
  rbEnsureProperties(found);
  return found;
}

// ---- TrbView: record ----

TrbView::TrbView() {
  Format = 2 * 256 + static_cast<unsigned char>(DefaultFormatSettings().DecimalSeparator);
}

void TrbView::SetBounds(int left, int top, int width, int height) {
  x = left;
  y = top;
  dx = width;
  dy = height;
}

void TrbView::SaveToStream(TStream* s) {
  StreamMode = 2;
  rbStreamWriteString(s, Name);
  rbStreamWriteByte(s, StreamMode);
  rbStreamWriteByte(s, StreamSubMode);
  for (int v : {x, y, dx, dy}) rbStreamWriteInt(s, v);
  rbStreamWriteWord(s, Flags);
  rbStreamWriteWord(s, FrameTyp);
  rbStreamWriteInt(s, rbFrameWidthCode(FrameWidth));
  rbStreamWriteInt(s, FrameColor);
  rbStreamWriteWord(s, FrameStyle);
  rbStreamWriteInt(s, FillColor);
  bool design = PreparedFlag == 0;
  if (design) {
    rbStreamWriteInt(s, Format);
    rbStreamWriteString(s, FormatStr);
  }
  rbStreamWriteMemo(s, design ? &Memo : &Memo1);
  if (design) {
    rbStreamWriteMemo(s, &Script);
    rbStreamWriteWord(s, Visible ? 0xFFFF : 0);
  }
  rbStreamWriteWord(s, Restrictions);
  rbStreamWriteString(s, Tag);
  rbStreamWriteInt(s, GapX);
  rbStreamWriteInt(s, GapY);
  rbStreamWriteByte(s, BandAlign);
}

void TrbView::LoadFromStream(TStream* s) {
  int v = rbCurrentVersion;
  bool design = PreparedFlag == 0;
  if (v > 23 || (v == 23 && design)) Name = rbStreamReadString(s);
  else CreateUniqueName();
  if (v > 23) {
    StreamMode = rbStreamReadByte(s);
    StreamSubMode = rbStreamReadByte(s);
  }
  x = rbStreamReadGeometry(s, "left");
  y = rbStreamReadGeometry(s, "top");
  dx = rbStreamReadGeometry(s, "width");
  dy = rbStreamReadGeometry(s, "height");
  Flags = rbStreamReadWord(s);
  FrameTyp = rbStreamReadWord(s);
  FrameWidth = static_cast<float>(rbFrameWidthFromCode(rbStreamReadGeometry(s, "frame width")));
  FrameColor = rbStreamReadInt(s);
  FrameStyle = rbStreamReadWord(s);
  FillColor = rbStreamReadInt(s);
  if (design) {
    Format = rbStreamReadInt(s);
    FormatStr = rbReadTemplateString(s);
  }
  rbReadTemplateMemo(s, &Memo);
  if (v >= 23 && design) {
    rbReadTemplateMemo(s, &Script);
    Visible = rbStreamReadWord(s) != 0;
  }
  if (v >= 24) {
    Restrictions = rbStreamReadWord(s);
    Tag = rbStreamReadString(s);
    GapX = rbStreamReadGeometry(s, "gap");
    GapY = rbStreamReadGeometry(s, "gap");
  }
  if (StreamMode > 1) BandAlign = rbStreamReadByte(s);
}

void TrbView::WritePrepared(TStream* s) {
  rbStreamWriteByte(s, Typ);
  if (Typ == gtAddIn) rbStreamWriteString(s, ClassName());
  PreparedFlag = 1;
  try {
    SaveToStream(s);
  } catch (...) {
    PreparedFlag = 0;
    throw;
  }
  PreparedFlag = 0;
}

void TrbView::CreateUniqueName() {
  Name.clear();
  for (int n = 1; n <= 10000; ++n) {
    AnsiString candidate = BaseName + IntToStr(n);
    if (gCurrentPages && gCurrentPages->FindObject(candidate)) continue;
    SetPropValue("Name", candidate);
    return;
  }
}

// ---- TrbView: drawing ----

void TrbView::ScaleCoordinates() {
  saved_ = {x, y, dx, dy, GapX, GapY, FrameWidth};
  if (rbDocMode == 0) {
    ScaleX = ScaleY = 1.0;
    OffsetX = OffsetY = 0;
  }
  x = rbRound(x * ScaleX) + OffsetX;
  y = rbRound(y * ScaleY) + OffsetY;
  dx = rbRound(dx * ScaleX);
  dy = rbRound(dy * ScaleY);
  int fx1 = rbRound((FrameWidth * ScaleX - 1) / 2), fx2 = rbRound(FrameWidth * ScaleX / 2);
  int fy1 = rbRound((FrameWidth * ScaleY - 1) / 2), fy2 = rbRound(FrameWidth * ScaleY / 2);
  FrameWidth = static_cast<float>(FrameWidth * ScaleX);
  GapX = rbRound(GapX * ScaleX) + fx2;
  GapY = rbRound(GapY * ScaleY) + fy2 / 2;
  int right = rbRound((saved_.x + saved_.dx) * ScaleX + OffsetX);
  int bottom = rbRound((saved_.y + saved_.dy) * ScaleY + OffsetY);
  DRect = TRect((FrameTyp & frLeft) ? x + fx1 : x, (FrameTyp & frTop) ? y + fy1 : y,
                ((FrameTyp & frRight) ? right - fx2 : right) + 1,
                ((FrameTyp & frBottom) ? bottom - fy2 : bottom) + 1);
}

void TrbView::RestoreCoordinates() {
  x = saved_.x;
  y = saved_.y;
  dx = saved_.dx;
  dy = saved_.dy;
  GapX = saved_.gapX;
  GapY = saved_.gapY;
  FrameWidth = saved_.frameWidth;
}

void TrbView::FillBackground() {
  if (!Canvas) return;
  TColor fill = FillColor;
  TRect r = DRect;
  if (fill == kNoFill) {
    if (rbDocMode != 0) return;
    fill = 0xFFFFFF;
  } else if (rbDocMode != 0) {
    r = TRect(x, y, rbRound((saved_.x + saved_.dx) * ScaleX + OffsetX),
              rbRound((saved_.y + saved_.dy) * ScaleY + OffsetY));
  }
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->Brush()->SetColor(fill);
  Canvas->FillRect(r);
}

void TrbView::DrawFrameSide(int x1, int y1, int x2, int y2, bool vertical) {
  int w = rbRound(FrameWidth);
  if (FrameStyle == 5) {
    int dxs = vertical ? w : 0, dys = vertical ? 0 : w;
    Canvas->Pen()->SetColor(FrameColor);
    Canvas->MoveTo(x1 - dxs, y1 - dys);
    Canvas->LineTo(x2 - dxs, y2 - dys);
    Canvas->Pen()->SetColor(FillColor == kNoFill ? 0xFFFFFF : FillColor);
    Canvas->MoveTo(x1, y1);
    Canvas->LineTo(x2, y2);
    Canvas->Pen()->SetColor(FrameColor);
    Canvas->MoveTo(x1 + dxs, y1 + dys);
    Canvas->LineTo(x2 + dxs, y2 + dys);
  } else if (FrameStyle != 0 && w > 1) {
    Canvas->Pen()->SetWidth(1);
    for (int k = 0; k < w; ++k) {
      int off = k - w / 2;
      Canvas->MoveTo(vertical ? x1 + off : x1, vertical ? y1 : y1 + off);
      Canvas->LineTo(vertical ? x2 + off : x2, vertical ? y2 : y2 + off);
    }
  } else {
    Canvas->MoveTo(x1, y1);
    Canvas->LineTo(x2, y2);
  }
}

void TrbView::DrawFrame() {
  if (!Canvas) return;
  if (rbDocMode != 0 && (FrameTyp & 15) == 0) return;
  if (rbDocMode == 0 && dx >= 1 && dy >= 1) {  // corner marks of the design surface
    Canvas->Pen()->SetColor(0);
    Canvas->Pen()->SetWidth(1);
    Canvas->Pen()->SetStyle(psSolid);
    for (int cx : {x, x + dx})
      for (int cy : {y, y + dy}) {
        int sx = cx == x ? 1 : -1, sy = cy == y ? 1 : -1;
        Canvas->MoveTo(cx - 4 * sx, cy);
        Canvas->LineTo(cx + 3 * sx, cy);
        Canvas->MoveTo(cx, cy - 4 * sy);
        Canvas->LineTo(cx, cy + 3 * sy);
      }
  }
  Canvas->Pen()->SetColor(FrameColor);
  Canvas->Pen()->SetWidth(std::max(1, rbRound(FrameWidth)));
  if (FrameStyle <= 4) Canvas->Pen()->SetStyle(static_cast<TPenStyle>(FrameStyle));
  int right = x + dx, bottom = y + dy;
  if (FrameTyp & frRight) DrawFrameSide(right, y, right, bottom, true);
  if (FrameTyp & frLeft) DrawFrameSide(x, y, x, bottom, true);
  if (FrameTyp & frBottom) DrawFrameSide(x, bottom, right, bottom, false);
  if (FrameTyp & frTop) DrawFrameSide(x, y, right, y, false);
  Canvas->Pen()->SetStyle(psSolid);
}

void TrbView::BeginDraw(TCanvas* canvas) {
  Canvas = canvas;
  gCurrentView = this;
  TrbPage* page = gCurrentPage;
  if (!page || BandAlign == 0) return;
  int left = page->LeftEdge(), right = page->RightEdge();
  switch (BandAlign) {
    case 1: x = left; break;
    case 2: x = right - dx; break;
    case 3: x = left + (right - left - dx) / 2; break;
    case 4:
      x = left;
      dx = rbDocMode != 0 ? right - left - 1 : right - left;
      break;
    default: break;  // bottom and top follow the band (design surface)
  }
}

TRect TrbView::ClipRect(bool widen) const {
  int half = rbRound(FrameWidth / 2.0), inner = rbRound((FrameWidth - 1) / 2.0);
  if (FrameStyle == 5) {
    half = rbRound(FrameWidth * 1.5);
    inner = rbRound((FrameWidth - 1) / 2.0 + FrameWidth);
  }
  TRect r((FrameTyp & frLeft) ? x - half : x, (FrameTyp & frTop) ? y - half : y,
          (FrameTyp & frRight) ? x + dx + 1 + inner : x + dx, (FrameTyp & frBottom) ? y + dy + 1 + inner : y + dy);
  if (widen) r = TRect(r.Left - 10, r.Top - 10, r.Right + 10, r.Bottom + 10);
  return r;
}

void TrbView::Draw(TCanvas* canvas) {
  BeginDraw(canvas);
  ScaleCoordinates();
  FillBackground();
  DrawFrame();
  RestoreCoordinates();
}

// ---- TrbView: forming ----

AnsiString TrbView::ExpandVariables(const AnsiString& text) {
  AnsiString s = text;
  int pos = 1;
  while (true) {
    int open = pos;
    while (open <= s.Length() && s[static_cast<size_t>(open - 1)] != '[') {
      open += IsDBCSLeadByte(static_cast<unsigned char>(s[static_cast<size_t>(open - 1)])) ? 2 : 1;
    }
    if (open > s.Length()) return s;
    int start = open, stop = open;
    AnsiString inner = GetBracketedVariable(s, start, stop);
    TrbReportContext* ctx = rbCurrentContext();
    AnsiString value = ctx ? ctx->ExpandValue(this, inner) : VarToStr(rbGetValue(inner));
    s = s.substr(0, static_cast<size_t>(open - 1)) + value + s.substr(static_cast<size_t>(stop));
    pos = open + value.Length();
  }
}

void TrbView::PrintToStream(TStream* stream) {
  BeginDraw(nullptr);
  Memo1.Assign(&Memo);
  if (TrbReportContext* ctx = rbCurrentContext()) ctx->BeforePrint(&Memo1, this);
  if (Script.Count()) rbGlobalInterpreter().DoScript(&Script);
  if (!Visible) return;
  AnsiString keptTag = Tag;
  if (Tag.find('[') != std::string::npos) Tag = ExpandVariables(Tag);
  try {
    WritePrepared(stream);
  } catch (...) {
    Tag = keptTag;
    throw;
  }
  Tag = keptTag;
}

// ---- TrbView: properties ----

void TrbView::DefineViewProperties(bool withFrame) {
  AddProperty("Name", rbpText | rbpSpecial);
  for (const char* n : {"Left", "Top", "Width", "Height"}) AddProperty(n, rbpUnits);
  AddProperty("Flags", 0);
  if (withFrame) {
    AddProperty("FrameTyp", rbpInteger);
    AddProperty("FrameWidth", rbpFloat | rbpUnits);
    AddProperty("FrameColor", rbpColor);
    AddEnumProperty("FrameStyle", "psSolid;psDash;psDot;psDashDot;psDashDotDot;psDouble",
                    {0, 1, 2, 3, 4, 5});
    AddProperty("FillColor", rbpColor);
    AddProperty("Tag", rbpEditor | rbpSpecial);
    AddEnumProperty("BandAlign", "baNone;baLeft;baRight;baCenter;baWidth;baBottom;baTop",
                    {0, 1, 2, 3, 4, 5, 6});
  }
  AddProperty("Visible", rbpBoolean);
  AddProperty("Memo", rbpEditor | rbpSpecial);
  AddProperty("Memo.Count", 0);
  AddProperty("Restrictions", rbpEditor);
}

void TrbView::DefineProperties() {
  ClearProperties();
  DefineViewProperties(true);
}

void TrbView::SetPropValue(const AnsiString& name, const Variant& value) {
  TrbObject::SetPropValue(name, value);
  AnsiString n = name.UpperCase();
  if (n == "NAME") Name = VarToStr(value);
  else if (n == "LEFT") x = value.AsInteger();
  else if (n == "TOP") y = value.AsInteger();
  else if (n == "WIDTH") dx = value.AsInteger();
  else if (n == "HEIGHT") dy = value.AsInteger();
  else if (n == "FLAGS") Flags = static_cast<std::uint16_t>(value.AsInteger());
  else if (n == "FRAMETYP") FrameTyp = static_cast<std::uint16_t>(value.AsInteger());
  else if (n == "FRAMEWIDTH") FrameWidth = static_cast<float>(value.AsDouble());
  else if (n == "FRAMECOLOR") FrameColor = value.AsInteger();
  else if (n == "FRAMESTYLE") FrameStyle = static_cast<std::uint16_t>(value.AsInteger());
  else if (n == "FILLCOLOR") FillColor = value.AsInteger();
  else if (n == "VISIBLE") Visible = value.AsBoolean();
  else if (n == "MEMO" || n == "DATAFIELD") Memo.SetText(VarToStr(value));
  else if (n == "GAPX") GapX = value.AsInteger();
  else if (n == "GAPY") GapY = value.AsInteger();
  else if (n == "STRETCHED") Flags = static_cast<std::uint16_t>(value.AsBoolean() ? Flags | 1 : Flags & ~1);
  else if (n == "BANDALIGN") BandAlign = static_cast<std::uint8_t>(value.AsInteger());
  else if (n == "TAG") Tag = VarToStr(value);
}

Variant TrbView::GetPropValue(const AnsiString& name) {
  Variant r = TrbObject::GetPropValue(name);
  if (!r.IsNull()) return r;
  AnsiString n = name.UpperCase();
  if (n == "NAME") return Variant(Name);
  if (n == "LEFT") return Variant(x);
  if (n == "TOP") return Variant(y);
  if (n == "WIDTH") return Variant(dx);
  if (n == "HEIGHT") return Variant(dy);
  if (n == "FLAGS") return Variant(static_cast<int>(Flags));
  if (n == "FRAMETYP") return Variant(static_cast<int>(FrameTyp));
  if (n == "FRAMEWIDTH") return Variant(static_cast<double>(FrameWidth));
  if (n == "FRAMECOLOR") return Variant(FrameColor);
  if (n == "FRAMESTYLE") return Variant(static_cast<int>(FrameStyle));
  if (n == "FILLCOLOR") return Variant(FillColor);
  if (n == "VISIBLE") return Variant(Visible);
  if (n == "MEMO") return Variant(Memo.Text());
  if (n == "MEMO.COUNT") return Variant(Memo.Count());
  if (n == "GAPX") return Variant(GapX);
  if (n == "GAPY") return Variant(GapY);
  if (n == "STRETCHED") return Variant((Flags & 1) != 0);
  if (n == "BANDALIGN") return Variant(static_cast<int>(BandAlign));
  if (n == "DATAFIELD") return Variant(Memo.Count() ? Memo[0] : AnsiString());
  if (n == "TAG") return Variant(Tag);
  return Variant::Null();
}

bool TrbView::DoListMethod(TStrings* list, const AnsiString& name, Variant& result,
                           const Variant& p1, const Variant& p2, const Variant& p3,
                           const AnsiString& prefix) {
  auto arg = [](const Variant& p) { return rbGlobalParser().Calc(VarToStr(p)); };
  if (name == prefix + ".ADD") list->Add(VarToStr(arg(p1)));
  else if (name == prefix + ".CLEAR") list->Clear();
  else if (name == prefix + ".DELETE") {
    int i = arg(p1).AsInteger();
    if (i >= 0 && i < list->Count()) list->Delete(i);
  } else if (name == prefix + ".INDEXOF") {
    result = Variant(list->IndexOf(VarToStr(arg(p1))));
  } else if (name == "SETINDEXPROPERTY" && VarToStr(p1).UpperCase() == prefix) {
    int i = p2.AsInteger();
    if (i >= 0 && i < list->Count()) list->Put(i, VarToStr(p3));
  } else if (name == "GETINDEXPROPERTY" && VarToStr(p1).UpperCase() == prefix) {
    int i = p2.AsInteger();
    result = i >= 0 && i < list->Count() ? Variant(list->Get(i)) : Variant();
  } else {
    return false;
  }
  return true;
}

Variant TrbView::DoMethod(const AnsiString& name, const Variant& p1, const Variant& p2,
                          const Variant& p3) {
  Variant r = TrbObject::DoMethod(name, p1, p2, p3);
  if (!r.IsNull()) return r;
  AnsiString n = name.UpperCase();
  if (DoListMethod(&Memo, n, r, p1, p2, p3, "MEMO")) return r;
  if (n == "HIDE") SetPropValue("Visible", false);
  else if (n == "SHOW") SetPropValue("Visible", true);
  return r;
}
