// The report objects: text (TrbMemoView), band, sub-report, picture and
// line, with their stream records, properties and drawing.
//
// Text record (after the view record):
//   font name (tmpl string), font size int32, font style word (stream code),
//   font colour int32, Alignment int32, charset word (before 23: the
//   engine default), [design: highlight style word, colour int32, fill
//   int32, condition (tmpl string)], LineSpacing, CharSpacing 2 x int32
//   (read when V >= 24).  A version-21 text gets the word-wrap bit.
// Band record: ChildBand string, Columns, ColumnWidth, ColumnGap,
//   NewColumnAfter 4 x int32 (both read when V > 23), Master string (read
//   when V > 23 and StreamMode*10 + StreamSubMode > 20).
// Sub-report record: SubPage int32.
// Picture record: kind byte (0 none, 1 bitmap, 2 metafile, 3 icon, 4 JPEG),
//   BlobType byte (read when StreamMode*10 + StreamSubMode > 10), end
//   position int32 (absolute, after the data), the graphic's own bytes.
// Line: nothing of its own.
#pragma once

#include <memory>

#include "report/ReportView.h"

class TFont;
class TPicture;
class TField;

// Text object Flags bits.
enum : std::uint16_t {
  mfStretched = 1, mfWordWrap = 2, mfWordBreak = 4, mfAutoWidth = 8, mfTextOnly = 16,
  mfSuppress = 32, mfHideZeros = 64, mfUnderlines = 128, mfRTLReading = 256
};
// Text object Alignment: bits 0-1 horizontal, 4 turned, 8/16 vertical.
enum : std::int32_t {
  rbtaLeft = 0, rbtaRight = 1, rbtaCenter = 2, rbtaJustify = 3, rbtaRotated = 4,
  rbtaMiddle = 8, rbtaBottom = 16
};
// Ends a working line that ends a paragraph (a source line).
constexpr char kParagraphEndMark = 1;

class TrbMemoView : public TrbStretcheable {
 public:
  TrbMemoView();
  AnsiString ClassName() const override { return "TrbMemoView"; }

  AnsiString FontName = "Arial";
  int FontSize = 10;
  std::uint16_t FontStyle = 0;  // stream code
  TColor FontColor = 0;
  std::uint8_t FontCharset = 1;
  std::int32_t Alignment = 0;
  std::uint16_t HighlightStyle = 2;
  TColor HighlightColor = 0;
  TColor HighlightFill = 0xFFFFFF;
  AnsiString HighlightStr;
  int LineSpacing = 2;
  int CharSpacing = 0;

  void LoadFromStream(TStream* stream) override;
  void SaveToStream(TStream* stream) override;
  void Draw(TCanvas* canvas) override;
  void AfterLoad() override;
  // Forms the text: script, before-print handling or expansion of its
  // bracketed expressions (not with TextOnly), the highlight when its
  // condition holds, Suppress of a repeated text; the template keeps its
  // own font and fill afterwards.
  void PrintToStream(TStream* stream) override;
  // The height the formed text needs at scale 1 (0 when invisible or
  // empty); leaves the wrapped lines in Memo1 and DrawMode 1, so the next
  // PrintToStream writes them without forming the text again.
  int CalcHeight() override;
  // The blob field's text becomes the working lines.
  void LoadFromBlobField(TField* field);
  // The width the text needs at scale 1: its widest line (the formed lines
  // when there are any, else the template's), gaps and frame.
  int CalcWidth();
  int MinHeight() override { return lineHeight_; }
  int RemainHeight() override { return Memo1.Count() * lineHeight_; }
  // 0 normal, 1 measured by CalcHeight, 2 write the lines that fit into dy
  // and keep the rest in Memo1 (a text split across pages).
  std::uint8_t DrawMode = 0;
  // In DrawMode 2: how many lines to write (at least one even when the
  // height holds less, so a text taller than a whole page still moves on);
  // -1: as many as fit into dy.
  int PartLines = -1;
  // A value suppressed as repeated prints again (start of a loop or group).
  void ForgetLastPrinted() { lastPrinted_.clear(); }

  // The lines of Memo1 wrapped at scale 1 into the object's width, each
  // paragraph's last line ending with kParagraphEndMark; the text height.
  std::vector<AnsiString> WrapMemo(const std::vector<AnsiString>& lines, int& textHeight);
  int LineHeight() const { return lineHeight_; }

  void SetPropValue(const AnsiString& name, const Variant& value) override;
  Variant GetPropValue(const AnsiString& name) override;
  Variant DoMethod(const AnsiString& name, const Variant& p1, const Variant& p2,
                   const Variant& p3) override;
  void DefineProperties() override;

 private:
  void SetFont(TFont& font, bool measuring) const;
  void BreakLine(const AnsiString& line, int limit, TCanvas& measure, std::vector<AnsiString>& out);
  void ShowMemo(const std::vector<AnsiString>& lines, int textHeight);
  void FormText();
  int lineHeight_ = 0;
  AnsiString lastPrinted_;
};

class TrbBandView : public TrbView {
 public:
  TrbBandView();
  AnsiString ClassName() const override { return "TrbBandView"; }

  AnsiString ChildBand;
  AnsiString Master;
  int Columns = 1, ColumnWidth = 200, ColumnGap = 20, NewColumnAfter = 1;

  int BandType() const { return FrameTyp & 127; }
  void SetBandType(int type) { FrameTyp = static_cast<std::uint16_t>(type & 127); }
  // A data band's data-source text, a group header's condition.
  const AnsiString& DataSource() const { return FormatStr; }
  void SetDataSource(const AnsiString& s) { FormatStr = s; }

  void LoadFromStream(TStream* stream) override;
  void SaveToStream(TStream* stream) override;
  void Draw(TCanvas* canvas) override {}  // bands show only on a design surface

  // The report dataset of the run-time band while pages are formed; the
  // methods NEXT, PRIOR and FIRST move it.
  class TrbDataset* RunDataset = nullptr;

  void SetPropValue(const AnsiString& name, const Variant& value) override;
  Variant GetPropValue(const AnsiString& name) override;
  Variant DoMethod(const AnsiString& name, const Variant& p1, const Variant& p2,
                   const Variant& p3) override;
  void DefineProperties() override;
};

class TrbSubReportView : public TrbView {
 public:
  TrbSubReportView();
  AnsiString ClassName() const override { return "TrbSubReportView"; }
  int SubPage = 0;
  void LoadFromStream(TStream* stream) override;
  void SaveToStream(TStream* stream) override;
  void Draw(TCanvas* canvas) override {}
};

class TrbPictureView : public TrbView {
 public:
  TrbPictureView();
  ~TrbPictureView() override;
  AnsiString ClassName() const override { return "TrbPictureView"; }

  TPicture& Picture() { return *picture_; }
  std::uint8_t BlobType = 0;  // 0 BMP, 1 JPEG, 2 icon, 3 metafile

  void LoadFromStream(TStream* stream) override;
  void SaveToStream(TStream* stream) override;
  void Draw(TCanvas* canvas) override;
  void LoadFromBlobField(TField* field);

  void SetPropValue(const AnsiString& name, const Variant& value) override;
  Variant GetPropValue(const AnsiString& name) override;
  Variant DoMethod(const AnsiString& name, const Variant& p1, const Variant& p2,
                   const Variant& p3) override;
  void DefineProperties() override;

 private:
  std::unique_ptr<TPicture> picture_;
};

class TrbLineView : public TrbStretcheable {
 public:
  TrbLineView();
  AnsiString ClassName() const override { return "TrbLineView"; }
  void Draw(TCanvas* canvas) override;
  int CalcHeight() override { return stretchHeight_ = dy; }
  int MinHeight() override { return 1; }
  int RemainHeight() override { return stretchHeight_; }

 private:
  int stretchHeight_ = 0;
};
