// Text, band, sub-report, picture and line objects (records in
// ReportViews.h).
#include "report/ReportViews.h"

#include <algorithm>

#include "platform/core/AnsiText.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Files.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/data/Fields.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/Graphics.h"
#include "platform/ui/Jpeg.h"
#include "report/ReportDatasets.h"
#include "report/ReportFunctions.h"
#include "report/ReportStream.h"

namespace {

using uchar = unsigned char;

TFontStyles StylesOf(std::uint16_t code) {
  TFontStyles s;
  if (code & rbfsItalic) s << fsItalic;
  if (code & rbfsBold) s << fsBold;
  if (code & rbfsUnderline) s << fsUnderline;
  if (code & rbfsStrikeOut) s << fsStrikeOut;
  return s;
}

std::uint8_t DefaultCharset() { return static_cast<std::uint8_t>(StrToIntDef(rbLoadStr(55337), 1)); }

// The canvas that text is measured on, at scale 1.
TCanvas& MeasuringCanvas() {
  static TBitmap bitmap(8, 8);
  return *bitmap.Canvas();
}

size_t CharLen(const AnsiString& s, size_t i) {
  return IsDBCSLeadByte(static_cast<uchar>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

// Start of the character before position i (scanning from `from`).
size_t PrevChar(const AnsiString& s, size_t from, size_t i) {
  size_t prev = from;
  for (size_t k = from; k < i; k += CharLen(s, k)) prev = k;
  return prev;
}

// Hyphenation points of a word (byte counts after which it may break), for
// word break: after every double-byte character up to two bytes before the
// end; single-byte letters break between the vowel groups of the engine's
// vowel table.
std::vector<size_t> Syllables(const AnsiString& word) {
  static const unsigned char kVowels[] = {0xA8, 0xC0, 0xC5, 0xC8, 0xCE, 0xD3, 0xDB, 0xDD, 0xDE, 0xDF};
  static const unsigned char kSigns[] = {0xDA, 0xDC};
  auto in = [](const auto& set, unsigned char c) { return std::find(std::begin(set), std::end(set), c) != std::end(set); };
  std::vector<size_t> positions;
  AnsiString w = AnsiUpperCase(word);
  size_t n = w.size();
  if (n < 4) return positions;
  auto at = [&](size_t i) { return i >= 1 && i <= n ? static_cast<unsigned char>(w[i - 1]) : 0; };
  // Walked by characters from the first, so that a position never falls
  // between a lead byte and its trail byte.
  for (size_t i = 1; i + 2 <= n; ++i) {
    unsigned char c = at(i);
    if (IsDBCSLeadByte(c)) {
      ++i;
      if (i >= 2) positions.push_back(i);
    } else if (i < 2) {
      continue;
    } else if (in(kVowels, c)) {
      if (in(kVowels, at(i + 1)) || in(kVowels, at(i + 2))) positions.push_back(i);
    } else if (!in(kVowels, at(i + 1)) && !in(kSigns, at(i + 1)) && in(kVowels, at(i + 2))) {
      positions.push_back(i);
    }
  }
  return positions;
}

AnsiString WithoutMark(const AnsiString& line) {
  return !line.empty() && line.back() == kParagraphEndMark ? AnsiString(line.substr(0, line.size() - 1)) : line;
}

}  // namespace

// ---- TrbMemoView ----

TrbMemoView::TrbMemoView() {
  Typ = gtMemo;
  BaseName = "Memo";
  Flags = mfStretched | mfWordWrap | mfHideZeros;
  FontCharset = DefaultCharset();
}

void TrbMemoView::SaveToStream(TStream* s) {
  TrbView::SaveToStream(s);
  rbStreamWriteString(s, FontName);
  rbStreamWriteInt(s, FontSize);
  rbStreamWriteWord(s, FontStyle);
  rbStreamWriteInt(s, FontColor);
  rbStreamWriteInt(s, Alignment);
  rbStreamWriteWord(s, FontCharset);
  if (PreparedFlag == 0) {
    rbStreamWriteWord(s, HighlightStyle);
    rbStreamWriteInt(s, HighlightColor);
    rbStreamWriteInt(s, HighlightFill);
    rbStreamWriteString(s, HighlightStr);
  }
  rbStreamWriteInt(s, LineSpacing);
  rbStreamWriteInt(s, CharSpacing);
}

void TrbMemoView::LoadFromStream(TStream* s) {
  TrbView::LoadFromStream(s);
  FontName = rbReadTemplateString(s);
  FontSize = rbStreamReadFontSize(s);
  FontStyle = rbStreamReadWord(s);
  FontColor = rbStreamReadInt(s);
  Alignment = rbStreamReadInt(s);
  FontCharset = static_cast<std::uint8_t>(rbStreamReadWord(s));
  if (rbCurrentVersion < 23) FontCharset = DefaultCharset();
  if (PreparedFlag == 0) {
    HighlightStyle = rbStreamReadWord(s);
    HighlightColor = rbStreamReadInt(s);
    HighlightFill = rbStreamReadInt(s);
    HighlightStr = rbReadTemplateString(s);
  }
  if (rbCurrentVersion >= 24) {
    LineSpacing = rbStreamReadGeometry(s, "line spacing");
    CharSpacing = rbStreamReadGeometry(s, "character spacing");
  }
  if (rbCurrentVersion == 21) Flags |= mfWordWrap;
}

void TrbMemoView::AfterLoad() {}

void TrbMemoView::LoadFromBlobField(TField* field) {
  Memo1.Clear();
  if (field && !field->IsNull()) Memo1.SetText(field->AsString());
}

// Script, before-print handling, then expansion unless the handler changed
// the text or the text is literal.
void TrbMemoView::FormText() {
  if (Script.Count()) rbGlobalInterpreter().DoScript(&Script);
  Memo1.Assign(&Memo);
  AnsiString before = Memo1.Text();
  if (TrbReportContext* ctx = rbCurrentContext()) ctx->BeforePrint(&Memo1, this);
  if (Memo1.Text() != before) return;
  Memo1.Clear();
  for (int i = 0; i < Memo.Count(); ++i) {
    AnsiString line = Memo[i];
    if (line.empty()) {
      Memo1.Add("");
      continue;
    }
    AnsiString expanded = (Flags & mfTextOnly) ? line : ExpandVariables(line);
    if (!expanded.empty()) {
      TStringList parts;
      parts.SetText(expanded);
      Memo1.AddStrings(&parts);
    }
  }
}

namespace {
// The template's font, fill and tag come back however forming ends.
struct TKeepLook {
  explicit TKeepLook(TrbMemoView& m)
      : m(m), style(m.FontStyle), color(m.FontColor), fill(m.FillColor), tag(m.Tag) {}
  ~TKeepLook() {
    m.FontStyle = style;
    m.FontColor = color;
    m.FillColor = fill;
    m.Tag = tag;
  }
  TrbMemoView& m;
  std::uint16_t style;
  TColor color, fill;
  AnsiString tag;
};

// Any value but 0, False, Null holds: a comparison gives the integer 1.
bool Holds(const Variant& v) { return !v.IsNull() && !v.IsEmpty() && v.AsDouble() != 0; }
}  // namespace

int TrbMemoView::CalcHeight() {
  DrawMode = 1;
  BeginDraw(nullptr);
  FormText();
  if (!Visible) return 0;
  TKeepLook keep(*this);
  if (!HighlightStr.empty() && Holds(rbGlobalParser().Calc(HighlightStr))) FontStyle = HighlightStyle;
  std::vector<AnsiString> lines;
  for (int i = 0; i < Memo1.Count(); ++i) lines.push_back(Memo1[i]);
  if (lines.empty()) return 0;
  int height = 0;
  lines = WrapMemo(lines, height);
  Memo1.Clear();
  for (const AnsiString& l : lines) Memo1.Add(l);
  return height;
}

void TrbMemoView::PrintToStream(TStream* stream) {
  BeginDraw(nullptr);
  if (DrawMode == 0) FormText();
  if (!Visible) {
    DrawMode = 0;
    PartLines = -1;
    return;
  }
  TKeepLook keep(*this);
  if (!HighlightStr.empty() && Holds(rbGlobalParser().Calc(HighlightStr))) {
    FontStyle = HighlightStyle;
    FontColor = HighlightColor;
    FillColor = HighlightFill;
  }
  std::vector<AnsiString> rest;
  if (DrawMode == 2) {  // the lines that fit now; the rest waits for the next page
    int fit = lineHeight_ > 0 ? std::max(0, (dy - 2 * GapY) / lineHeight_) : Memo1.Count();
    if (PartLines >= 0) fit = PartLines;
    while (Memo1.Count() > fit) {
      rest.insert(rest.begin(), Memo1[Memo1.Count() - 1]);
      Memo1.Delete(Memo1.Count() - 1);
    }
    if (Memo1.Text().find(kParagraphEndMark) == std::string::npos) Memo1.Add(AnsiString(1, kParagraphEndMark));
  }
  if (Tag.find('[') != std::string::npos) Tag = ExpandVariables(Tag);
  bool suppressed = (Flags & mfSuppress) && Memo1.Text() == lastPrinted_;
  if (!suppressed) {
    WritePrepared(stream);
    if (Flags & mfSuppress) lastPrinted_ = Memo1.Text();
  }
  if (DrawMode == 2) {
    Memo1.Clear();
    for (const AnsiString& l : rest) Memo1.Add(l);
  }
  DrawMode = 0;
  PartLines = -1;
}

void TrbMemoView::SetFont(TFont& font, bool measuring) const {
  font.SetName(FontName);
  font.SetStyle(StylesOf(FontStyle));
  font.SetColor(FontColor);
  font.SetCharset(FontCharset);
  if (measuring) {
    font.SetHeight(-rbRound(FontSize * 96.0 / 72));
  } else if (!IsPrinting) {
    double h = FontSize * 96.0 / 72 * ScaleY;
    font.SetHeight(-(ScaleY == 1.0 ? rbRound(h) : static_cast<int>(h)));
  } else {
    font.SetSize(FontSize);
  }
}

void TrbMemoView::BreakLine(const AnsiString& s, int limit, TCanvas& c, std::vector<AnsiString>& out) {
  bool hasBreaks = s.find_first_of("\r\n") != std::string::npos;
  if (!hasBreaks && (s.size() < 2 || c.TextWidth(s) < limit)) {
    out.push_back(s + kParagraphEndMark);
    return;
  }
  size_t start = 0, lastSpace = 0, lastHyphen = std::string::npos;
  size_t i = 0;
  while (i < s.size()) {
    char ch = s[i];
    if (ch == '\r' || ch == '\n') {
      out.push_back(s.substr(start, i - start) + kParagraphEndMark);
      while (i < s.size() && (s[i] == '\r' || s[i] == '\n')) ++i;
      if (i >= s.size()) return;
      start = lastSpace = i;
      continue;
    }
    size_t len = CharLen(s, i);
    if (ch == ' ') {
      lastSpace = i;
      i += len;
      continue;
    }
    if (c.TextWidth(s.substr(start, i + len - start)) < limit) {
      i += len;
      continue;
    }
    // The line overflows at the character at i.
    if (Flags & mfWordBreak) {
      size_t wordStart = lastSpace > start ? lastSpace + 1 : start;
      size_t wordEnd = s.find_first_of(" ,-.", wordStart);
      if (wordEnd == std::string::npos) wordEnd = s.size();
      size_t best = std::string::npos;
      for (size_t p : Syllables(s.substr(wordStart, wordEnd - wordStart))) {
        size_t cut = wordStart + p;
        if (cut > start && cut <= s.size() && c.TextWidth(s.substr(start, cut - start) + "-") < limit) best = cut;
      }
      if (best != std::string::npos && best == lastHyphen) {  // no progress: the rest stays one line
        out.push_back(s.substr(start) + kParagraphEndMark);
        return;
      }
      if (best != std::string::npos) {
        out.push_back(s.substr(start, best - start) + "-");
        start = lastSpace = i = lastHyphen = best;
        continue;
      }
    }
    size_t end, next;
    if (lastSpace > start) {
      end = lastSpace;
      next = lastSpace + 1;
    } else if (len == 2) {  // a double-byte character moves whole to the next line
      end = next = i;
    } else {
      end = next = PrevChar(s, start, i);
    }
    if (end <= start) {  // not even one character fits: it stands alone
      end = next = i + len;
    }
    out.push_back(s.substr(start, end - start));
    start = lastSpace = i = next;
  }
  out.push_back(s.substr(start) + kParagraphEndMark);
}

std::vector<AnsiString> TrbMemoView::WrapMemo(const std::vector<AnsiString>& lines, int& textHeight) {
  TCanvas& c = MeasuringCanvas();
  TFont font;
  SetFont(font, true);
  c.SetFont(&font);
  c.SetTextCharacterExtra(CharSpacing);
  bool rotated = (Alignment & rbtaRotated) != 0;
  int lh = LineSpacing + c.TextHeight("Wg");
  int limit = rotated ? dy - 2 * GapY : dx - 2 * GapX;
  bool preWrapped = false;
  for (const AnsiString& l : lines) preWrapped = preWrapped || l.find(kParagraphEndMark) != std::string::npos;
  std::vector<AnsiString> out;
  for (const AnsiString& line : lines) {
    if (preWrapped) out.push_back(line);
    else if (rbDocMode == 0 && lines.size() == 1 && !line.empty() && line[0] == '[' && c.TextWidth(line) > limit)
      out.push_back(line + kParagraphEndMark);
    else if (Flags & mfWordWrap) BreakLine(line, limit, c, out);
    else out.push_back(line + kParagraphEndMark);
  }
  c.SetTextCharacterExtra(0);
  textHeight = static_cast<int>(out.size()) * lh + 2 * GapY;
  lineHeight_ = lh;
  return out;
}

void TrbMemoView::ShowMemo(const std::vector<AnsiString>& lines, int textHeight) {
  TFont font;
  SetFont(font, false);
  Canvas->SetFont(&font);
  Canvas->Brush()->SetStyle(bsClear);
  Canvas->SetTextCharacterExtra(rbRound(CharSpacing * ScaleX));
  TRect clip(DRect.Left + 1, DRect.Top, DRect.Right - 2, DRect.Bottom - 1);
  int th = Canvas->TextHeight("Wg");
  int block = rbRound(textHeight * ScaleY);
  int step = rbRound(LineSpacing * ScaleY) + th;
  if (Alignment & rbtaRotated) {
    // Turned text reads upwards; its lines advance to the right.
    font.SetOrientation(900);
    Canvas->SetFont(&font);
    int left = x;
    if (Alignment & rbtaMiddle) left += (DRect.Width() - block) / 2;
    else if (Alignment & rbtaBottom) left = DRect.Right - block;
    int curX = left + GapY;
    int dh = DRect.Height();
    for (const AnsiString& raw : lines) {
      AnsiString text = WithoutMark(raw);
      int w = Canvas->TextWidth(text);
      int py = DRect.Bottom - GapY;
      if ((Alignment & 3) == rbtaRight) py = y + GapY + w;
      else if ((Alignment & 3) == rbtaCenter) py = DRect.Bottom - GapY - (dh - 2 * GapY - w) / 2;
      Canvas->TextRect(clip, curX, py, text);
      curX += step;
    }
    Canvas->SetTextCharacterExtra(0);
    return;
  }
  int top = y;
  if (Alignment & rbtaMiddle) top += (DRect.Height() - block) / 2;
  else if (Alignment & rbtaBottom) top = DRect.Bottom - block - 1;
  int curY = top + GapY;
  int dw = DRect.Width();
  for (const AnsiString& raw : lines) {
    AnsiString text = WithoutMark(raw);
    int w = Canvas->TextWidth(text);
    int px = x + GapX;
    switch (Alignment & 3) {
      case rbtaRight: px = x + dw - 1 - GapX - w; break;
      case rbtaCenter: px = x + GapX + (dw - 2 * GapX - w) / 2; break;
      default: break;
    }
    bool paragraphEnd = !raw.empty() && raw.back() == kParagraphEndMark;
    if ((Alignment & 3) == rbtaJustify && !paragraphEnd && text.find(' ') != std::string::npos) {
      // The free width spread over the blanks, word by word.
      int free = dw - 2 * GapX - w;
      int blanks = static_cast<int>(std::count(text.begin(), text.end(), ' '));
      int cx = x + GapX, done = 0;
      size_t from = 0;
      while (from <= text.size()) {
        size_t blank = text.find(' ', from);
        AnsiString word = text.substr(from, blank == std::string::npos ? std::string::npos : blank - from);
        Canvas->TextRect(clip, cx, curY, word);
        if (blank == std::string::npos) break;
        ++done;
        cx += Canvas->TextWidth(word + " ") + free * done / blanks - free * (done - 1) / blanks;
        from = blank + 1;
      }
    } else {
      Canvas->TextRect(clip, px, curY, text);
    }
    curY += step;
  }
  Canvas->SetTextCharacterExtra(0);
}

int TrbMemoView::CalcWidth() {
  TCanvas& c = MeasuringCanvas();
  TFont font;
  SetFont(font, true);
  c.SetFont(&font);
  c.SetTextCharacterExtra(CharSpacing);
  const TStringList& lines = Memo1.Count() ? Memo1 : Memo;
  int widest = 0;
  for (int i = 0; i < lines.Count(); ++i) widest = std::max(widest, c.TextWidth(WithoutMark(lines[i])));
  c.SetTextCharacterExtra(0);
  return widest + 2 * GapX + rbRound(FrameWidth);
}

void TrbMemoView::Draw(TCanvas* canvas) {
  if ((Flags & mfAutoWidth) && rbDocMode != 0 && Memo.Count() > 0) {
    // As wide as the widest line at the output scale, back in page units.
    TFont font;
    SetFont(font, false);
    canvas->SetFont(&font);
    int widest = 0;
    for (int i = 0; i < Memo.Count(); ++i) widest = std::max(widest, canvas->TextWidth(WithoutMark(Memo[i])));
    int w = rbRound(widest / ScaleX + FrameWidth + 2 * GapX + 1);
    if (Alignment & rbtaRotated) {
      dy = w;
    } else {
      if ((Alignment & 3) == rbtaRight) x += dx - w;
      dx = w;
    }
  }
  BeginDraw(canvas);
  std::vector<AnsiString> lines;
  for (int i = 0; i < Memo.Count(); ++i) lines.push_back(Memo[i]);
  if (!lines.empty() && lines.back() == AnsiString(1, kParagraphEndMark)) lines.pop_back();
  int textHeight = 0;
  if (!lines.empty()) lines = WrapMemo(lines, textHeight);
  ScaleCoordinates();
  FillBackground();
  DrawFrame();
  if (Flags & mfUnderlines) {
    Canvas->Pen()->SetColor(FrameColor);
    Canvas->Pen()->SetWidth(std::max(1, rbRound(FrameWidth)));
    Canvas->Pen()->SetStyle(psSolid);
    TFont font;
    SetFont(font, false);
    Canvas->SetFont(&font);
    int th = Canvas->TextHeight("Wg");
    int step = rbRound(LineSpacing * ScaleY) + th, offset = rbRound(2 * ScaleY) + th;
    for (int k = 1; step > 0 && k <= dy / step; ++k) {
      int ly = y + GapY + step * (k - 1) + offset;
      Canvas->MoveTo(x, ly);
      Canvas->LineTo(x + dx - 1, ly);
    }
  }
  if (!lines.empty()) ShowMemo(lines, textHeight);
  RestoreCoordinates();
}

void TrbMemoView::DefineProperties() {
  TrbView::DefineProperties();
  for (const char* n : {"Font.Name", "Font.Size", "Font.Style", "Font.Color"}) AddProperty(n, 0);
  AddProperty("Font", rbpEditor);
  AddProperty("Alignment", 0);
  for (const char* n : {"DisplayFormat", "Highlight"}) AddProperty(n, rbpEditor);
  for (const char* n : {"LineSpacing", "CharSpacing", "GapX", "GapY"}) AddProperty(n, rbpInteger);
  for (const char* n : {"Stretched", "WordWrap", "WordBreak", "AutoWidth", "TextOnly", "Suppress", "HideZeros"})
    AddProperty(n, rbpBoolean);
  AddProperty("Lines.Count", 0);
  for (const char* n : {"Underlines", "RTLReading"}) AddProperty(n, rbpBoolean);
}

namespace {
struct TFlagName {
  const char* name;
  std::uint16_t bit;
};
const TFlagName kMemoFlags[] = {{"WORDWRAP", mfWordWrap},   {"WORDBREAK", mfWordBreak},
                                {"AUTOWIDTH", mfAutoWidth}, {"TEXTONLY", mfTextOnly},
                                {"SUPPRESS", mfSuppress},   {"HIDEZEROS", mfHideZeros},
                                {"UNDERLINES", mfUnderlines}, {"RTLREADING", mfRTLReading}};
}  // namespace

void TrbMemoView::SetPropValue(const AnsiString& name, const Variant& value) {
  TrbView::SetPropValue(name, value);
  AnsiString n = name.UpperCase();
  if (n == "FONT.NAME") FontName = VarToStr(value);
  else if (n == "FONT.SIZE") FontSize = value.AsInteger();
  else if (n == "FONT.STYLE") FontStyle = static_cast<std::uint16_t>(value.AsInteger());
  else if (n == "FONT.COLOR") FontColor = value.AsInteger();
  else if (n == "ALIGNMENT") Alignment = value.AsInteger();
  else if (n == "LINESPACING") LineSpacing = value.AsInteger();
  else if (n == "CHARSPACING") CharSpacing = value.AsInteger();
  for (const auto& f : kMemoFlags)
    if (n == f.name) Flags = static_cast<std::uint16_t>(value.AsBoolean() ? Flags | f.bit : Flags & ~f.bit);
}

Variant TrbMemoView::GetPropValue(const AnsiString& name) {
  Variant r = TrbView::GetPropValue(name);
  if (!r.IsNull()) return r;
  AnsiString n = name.UpperCase();
  if (n == "FONT.NAME") return Variant(FontName);
  if (n == "FONT.SIZE") return Variant(FontSize);
  if (n == "FONT.STYLE") return Variant(static_cast<int>(FontStyle));
  if (n == "FONT.COLOR") return Variant(FontColor);
  if (n == "ALIGNMENT") return Variant(Alignment);
  if (n == "LINESPACING") return Variant(LineSpacing);
  if (n == "CHARSPACING") return Variant(CharSpacing);
  if (n == "LINES.COUNT") return Variant(Memo.Count());
  for (const auto& f : kMemoFlags)
    if (n == f.name) return Variant((Flags & f.bit) != 0);
  return Variant::Null();
}

Variant TrbMemoView::DoMethod(const AnsiString& name, const Variant& p1, const Variant& p2,
                              const Variant& p3) {
  Variant r = TrbView::DoMethod(name, p1, p2, p3);
  if (!r.IsNull()) return r;
  DoListMethod(&Memo, name.UpperCase(), r, p1, p2, p3, "LINES");
  return r;
}

// ---- TrbBandView ----

TrbBandView::TrbBandView() {
  Typ = gtBand;
  BaseName = "Band";
  Flags = 48;
  Format = 0;
}

void TrbBandView::SaveToStream(TStream* s) {
  StreamSubMode = 1;
  TrbView::SaveToStream(s);
  rbStreamWriteString(s, ChildBand);
  for (int v : {Columns, ColumnWidth, ColumnGap, NewColumnAfter}) rbStreamWriteInt(s, v);
  rbStreamWriteString(s, Master);
}

void TrbBandView::LoadFromStream(TStream* s) {
  TrbView::LoadFromStream(s);
  if (rbCurrentVersion <= 23) return;
  ChildBand = rbStreamReadString(s);
  Columns = rbStreamReadGeometry(s, "columns");
  ColumnWidth = rbStreamReadGeometry(s, "column width");
  ColumnGap = rbStreamReadGeometry(s, "column gap");
  NewColumnAfter = rbStreamReadGeometry(s, "new column after");
  if (StreamMode * 10 + StreamSubMode > 20) Master = rbStreamReadString(s);
}

namespace {
const TFlagName kBandFlags[] = {{"STRETCHED", 1},   {"FORMNEWPAGE", 2},  {"PRINTIFSUBSETEMPTY", 4},
                                {"BREAKED", 8},     {"ONFIRSTPAGE", 16}, {"ONLASTPAGE", 32},
                                {"REPEATHEADER", 64}, {"PRINTCHILDIFINVISIBLE", 128}};

bool In(int type, std::initializer_list<int> types) {
  return std::find(types.begin(), types.end(), type) != types.end();
}
}  // namespace

void TrbBandView::DefineProperties() {
  ClearProperties();
  AddProperty("Name", rbpText | rbpSpecial);
  for (const char* n : {"Left", "Top", "Width", "Height"}) AddProperty(n, rbpUnits);
  AddProperty("Flags", 0);
  AddProperty("Visible", rbpBoolean);
  AddProperty("OnBeforePrint", rbpEditor | rbpSpecial);
  AddProperty("Memo.Count", 0);
  AddProperty("Restrictions", rbpEditor);
  int t = BandType();
  if (t != 3) {
    AddEnumProperty("ChildBand", "", {});
    AddProperty("PrintChildIfInvisible", rbpBoolean);
  }
  if (In(t, {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 16, 17, 18, 21})) AddProperty("Stretched", rbpBoolean);
  if (In(t, {0, 1, 5, 6, 8, 9, 11, 12, 16})) AddProperty("FormNewPage", rbpBoolean);
  if (In(t, {5, 8})) AddProperty("PrintIfSubsetEmpty", rbpBoolean);
  if (In(t, {0, 1, 4, 5, 6, 7, 8, 9, 10, 11, 12, 16, 17, 21})) AddProperty("Breaked", rbpBoolean);
  if (In(t, {2, 3})) AddProperty("OnFirstPage", rbpBoolean);
  if (t == 3) AddProperty("OnLastPage", rbpBoolean);
  if (In(t, {4, 7, 10, 16, 18})) AddProperty("RepeatHeader", rbpBoolean);
  if (t == 19) AddProperty("DataSource", rbpEditor);
  if (In(t, {5, 8, 11})) {
    AddProperty("Columns", rbpInteger);
    AddProperty("ColumnWidth", rbpUnits);
    AddProperty("ColumnGap", rbpUnits);
    AddProperty("DataSource", rbpEditor);
  }
  if (t == 16) {
    AddProperty("Condition", rbpText);
    AddEnumProperty("Master", "", {});
  }
  AddProperty("EOF", 0);
}

void TrbBandView::SetPropValue(const AnsiString& name, const Variant& value) {
  AnsiString n = name.UpperCase();
  if (n == "NAME") Name = VarToStr(value);
  else if (n == "CHILDBAND") ChildBand = VarToStr(value);
  else if (n == "MASTER") Master = VarToStr(value);
  else if (n == "CONDITION") FormatStr = VarToStr(value);
  else if (n == "COLUMNS") Columns = value.AsInteger();
  else if (n == "COLUMNGAP") ColumnGap = value.AsInteger();
  else if (n == "COLUMNWIDTH") ColumnWidth = value.AsInteger();
  else if (n == "NEWCOLUMNAFTER") NewColumnAfter = value.AsInteger();
  for (const auto& f : kBandFlags)
    if (n == f.name) Flags = static_cast<std::uint16_t>(value.AsBoolean() ? Flags | f.bit : Flags & ~f.bit);
}

Variant TrbBandView::GetPropValue(const AnsiString& name) {
  AnsiString n = name.UpperCase();
  if (n == "NAME") return Variant(Name);
  if (n == "LEFT") return Variant(x);
  if (n == "TOP") return Variant(y);
  if (n == "WIDTH") return Variant(dx);
  if (n == "HEIGHT") return Variant(dy);
  if (n == "VISIBLE") return Variant(Visible);
  if (n == "CHILDBAND") return Variant(ChildBand);
  if (n == "MASTER") return Variant(Master);
  if (n == "CONDITION") return Variant(FormatStr);
  if (n == "COLUMNS") return Variant(Columns);
  if (n == "COLUMNGAP") return Variant(ColumnGap);
  if (n == "COLUMNWIDTH") return Variant(ColumnWidth);
  if (n == "NEWCOLUMNAFTER") return Variant(NewColumnAfter);
  for (const auto& f : kBandFlags)
    if (n == f.name) return Variant((Flags & f.bit) != 0);
  return Variant::Null();
}

Variant TrbBandView::DoMethod(const AnsiString& name, const Variant& p1, const Variant& p2,
                              const Variant& p3) {
  Variant r = TrbView::DoMethod(name, p1, p2, p3);
  if (!r.IsNull() || !RunDataset) return r;
  AnsiString n = name.UpperCase();
  if (n == "NEXT") RunDataset->Next();
  else if (n == "PRIOR") RunDataset->Prior();
  else if (n == "FIRST") RunDataset->First();
  return r;
}

// ---- TrbSubReportView ----

TrbSubReportView::TrbSubReportView() {
  Typ = gtSubReport;
  BaseName = "SubReport";
}

void TrbSubReportView::SaveToStream(TStream* s) {
  TrbView::SaveToStream(s);
  rbStreamWriteInt(s, SubPage);
}

void TrbSubReportView::LoadFromStream(TStream* s) {
  TrbView::LoadFromStream(s);
  SubPage = rbStreamReadInt(s);
}

// ---- TrbPictureView ----

TrbPictureView::TrbPictureView() : picture_(std::make_unique<TPicture>()) {
  Typ = gtPicture;
  BaseName = "Picture";
  Flags = 5;
}

TrbPictureView::~TrbPictureView() = default;

namespace {
enum : std::uint8_t { pkNone = 0, pkBitmap = 1, pkMetafile = 2, pkIcon = 3, pkJpeg = 4 };

std::uint8_t KindOf(TGraphic* g) {
  if (!g || g->Empty()) return pkNone;
  if (dynamic_cast<TBitmap*>(g)) return pkBitmap;
  if (dynamic_cast<TIcon*>(g)) return pkIcon;
  if (dynamic_cast<TJPEGImage*>(g)) return pkJpeg;
  return pkNone;
}

std::unique_ptr<TGraphic> NewGraphic(std::uint8_t kind) {
  switch (kind) {
    case pkBitmap: return std::make_unique<TBitmap>();
    case pkIcon: return std::make_unique<TIcon>();
    case pkJpeg: return std::make_unique<TJPEGImage>();
    default: return nullptr;  // metafiles have no graphic class here
  }
}
}  // namespace

void TrbPictureView::SaveToStream(TStream* s) {
  TrbView::SaveToStream(s);
  TGraphic* g = picture_->Graphic();
  std::uint8_t kind = KindOf(g);
  rbStreamWriteByte(s, kind);
  rbStreamWriteByte(s, BlobType);
  std::int64_t slot = s->Position();
  rbStreamWriteInt(s, 0);
  if (kind != pkNone) g->SaveToStream(s);
  std::int64_t end = s->Position();
  s->SetPosition(slot);
  rbStreamWriteInt(s, static_cast<std::int32_t>(end));
  s->SetPosition(end);
}

void TrbPictureView::LoadFromStream(TStream* s) {
  TrbView::LoadFromStream(s);
  std::uint8_t kind = rbStreamReadByte(s);
  if (StreamMode * 10 + StreamSubMode > 10) BlobType = rbStreamReadByte(s);
  std::int32_t end = rbStreamReadInt(s);
  std::int64_t here = s->Position();
  if (end < here || end > s->Size()) rbFormatError(s, "picture end position " + IntToStr(end));
  picture_->SetGraphic(nullptr);
  if (std::unique_ptr<TGraphic> g = NewGraphic(kind); g && end > here) {
    TMemoryStream data;
    data.SetSize(end - here);
    rbStreamReadBytes(s, data.Memory(), static_cast<int>(end - here));
    data.SetPosition(0);
    g->LoadFromStream(&data);
    picture_->SetGraphic(g.get());
  }
  s->SetPosition(end);
}

void TrbPictureView::LoadFromBlobField(TField* field) {
  picture_->SetGraphic(nullptr);
  if (!field || field->IsNull()) return;
  std::unique_ptr<TGraphic> g = NewGraphic(BlobType == 0 ? pkBitmap : BlobType == 1 ? pkJpeg : BlobType == 2 ? pkIcon : pkMetafile);
  if (!g) return;
  TMemoryStream data;
  AssignBlobField(field, &data);
  g->LoadFromStream(&data);
  picture_->SetGraphic(g.get());
}

void TrbPictureView::Draw(TCanvas* canvas) {
  BeginDraw(canvas);
  ScaleCoordinates();
  FillBackground();
  TGraphic* g = picture_->Graphic();
  if (g && !g->Empty()) {
    int pw = g->Width(), ph = g->Height();
    TRect r = DRect;
    if (!(Flags & 1)) {
      r = TRect(DRect.Left, DRect.Top, DRect.Left + rbRound(pw * ScaleX), DRect.Top + rbRound(ph * ScaleY));
      if (Flags & 2) {
        int ox = (DRect.Width() - r.Width()) / 2, oy = (DRect.Height() - r.Height()) / 2;
        r = TRect(r.Left + ox, r.Top + oy, r.Right + ox, r.Bottom + oy);
      }
    } else if (Flags & 4) {
      double kx = static_cast<double>(dx) / pw, ky = static_cast<double>(dy) / ph;
      int w = DRect.Width(), h = DRect.Height();
      if (kx >= ky) w = rbRound(pw * ky);
      else h = rbRound(ph * kx);
      int ox = (Flags & 2) ? (DRect.Width() - w) / 2 : 0, oy = (Flags & 2) ? (DRect.Height() - h) / 2 : 0;
      r = TRect(DRect.Left + ox, DRect.Top + oy, DRect.Left + ox + w, DRect.Top + oy + h);
    }
    Canvas->StretchDraw(r, g);
  }
  DrawFrame();
  RestoreCoordinates();
}

void TrbPictureView::DefineProperties() {
  TrbView::DefineProperties();
  AddProperty("Picture", rbpEditor);
  for (const char* n : {"Stretched", "Center", "KeepAspect"}) AddProperty(n, rbpBoolean);
  AddProperty("DataField", rbpText | rbpSpecial);
  AddEnumProperty("BlobType", "btBMP;btJPG;btICO;btWMF", {0, 1, 2, 3});
}

void TrbPictureView::SetPropValue(const AnsiString& name, const Variant& value) {
  TrbView::SetPropValue(name, value);
  AnsiString n = name.UpperCase();
  auto bit = [&](std::uint16_t b) { Flags = static_cast<std::uint16_t>(value.AsBoolean() ? Flags | b : Flags & ~b); };
  if (n == "CENTER") bit(2);
  else if (n == "KEEPASPECT") bit(4);
  else if (n == "BLOBTYPE") BlobType = static_cast<std::uint8_t>(value.AsInteger());
}

Variant TrbPictureView::GetPropValue(const AnsiString& name) {
  Variant r = TrbView::GetPropValue(name);
  if (!r.IsNull()) return r;
  AnsiString n = name.UpperCase();
  if (n == "CENTER") return Variant((Flags & 2) != 0);
  if (n == "KEEPASPECT") return Variant((Flags & 4) != 0);
  if (n == "BLOBTYPE") return Variant(static_cast<int>(BlobType));
  return Variant::Null();
}

Variant TrbPictureView::DoMethod(const AnsiString& name, const Variant& p1, const Variant& p2,
                                 const Variant& p3) {
  Variant r = TrbView::DoMethod(name, p1, p2, p3);
  if (!r.IsNull() || name.UpperCase() != "LOADFROMFILE") return r;
  AnsiString file = VarToStr(rbGlobalParser().Calc(VarToStr(p1)));
  if (FileExists(file)) picture_->LoadFromFile(file);
  else picture_->SetGraphic(nullptr);
  return r;
}

// ---- TrbLineView ----

TrbLineView::TrbLineView() {
  Typ = gtLine;
  BaseName = "Line";
  FrameTyp = frLeft;
  FillColor = 0xFFFFFF;
}

void TrbLineView::Draw(TCanvas* canvas) {
  BeginDraw(canvas);
  int keepDx = dx, keepDy = dy;
  if (dx <= dy) {
    dx = 0;
    FrameTyp = frLeft;
  } else {
    dy = 0;
    FrameTyp = frTop;
  }
  ScaleCoordinates();
  DrawFrame();
  RestoreCoordinates();
  dx = keepDx;
  dy = keepDy;
}
