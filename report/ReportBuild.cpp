// TRbCollection (letter codes in ReportBuild.h).
#include "report/ReportBuild.h"

#include "report/ReportPage.h"
#include "report/ReportViews.h"

TRbCollection* RbCollection = new TRbCollection;

std::uint16_t rbFrameSides(const AnsiString& letters) {
  std::uint16_t sides = 0;
  AnsiString up = letters.UpperCase();
  if (up.find('L') != std::string::npos) sides |= frLeft;
  if (up.find('R') != std::string::npos) sides |= frRight;
  if (up.find('T') != std::string::npos) sides |= frTop;
  if (up.find('B') != std::string::npos) sides |= frBottom;
  return sides;
}

std::int32_t rbApplyAlignment(std::int32_t alignment, const AnsiString& letters) {
  AnsiString up = letters.UpperCase();
  auto has = [&](char c) { return up.find(c) != std::string::npos; };
  std::int32_t h = 0, v = 0;
  if (has('L')) h = rbtaLeft;
  if (has('C')) h = rbtaCenter;
  if (has('R')) h = rbtaRight;
  if (has('T')) v = 0;
  if (has('M')) v = rbtaMiddle;
  if (has('B')) v = rbtaBottom;
  return (alignment & ~(3 | rbtaMiddle | rbtaBottom)) | h | v;
}

TrbBandView* TRbCollection::AddBand(TrbPage* page, int top, int height, std::uint8_t bandType) {
  auto* band = static_cast<TrbBandView*>(rbCreateObject(gtBand, ""));
  band->SetBounds(0, top, 0, height);
  band->SetBandType(bandType);
  page->Add(band);
  return band;
}

TrbBandView* TRbCollection::AddDataBand(TrbPage* page, int top, int height, const AnsiString& dataSetName) {
  TrbBandView* band = AddBand(page, top, height, 5);
  band->SetDataSource(dataSetName);
  return band;
}

namespace {
TrbMemoView* NewMemo(const AnsiString& frameSides, int left, int top, int width, int height,
                     const AnsiString& text, const AnsiString& fontName) {
  auto* memo = new TrbMemoView;
  memo->FrameTyp = rbFrameSides(frameSides);
  memo->SetBounds(left, top, width, height);
  memo->Memo.Add(text);
  memo->FontName = fontName;
  return memo;
}
}  // namespace

TrbMemoView* TRbCollection::AddMemo(TrbPage* page, const AnsiString& frameSides, int left, int top,
                                    int width, int height, const AnsiString& text,
                                    const AnsiString& align, int fontSize, std::uint8_t bandAlign) {
  TrbMemoView* memo = NewMemo(frameSides, left, top, width, height, text, "宋体");
  memo->BandAlign = bandAlign;
  memo->Alignment = rbApplyAlignment(memo->Alignment, align);
  memo->FontSize = fontSize;
  page->Add(memo);
  return memo;
}

TrbMemoView* TRbCollection::AddMemoFormatted(TrbPage* page, const AnsiString& frameSides, int left,
                                             int top, int width, int height, const AnsiString& text,
                                             const AnsiString& align, int fontSize, int format,
                                             const AnsiString& formatStr) {
  TrbMemoView* memo = NewMemo(frameSides, left, top, width, height, text, "Times New Roman");
  memo->Alignment = rbApplyAlignment(memo->Alignment, align);
  memo->FontSize = fontSize;
  memo->Format = format;
  memo->FormatStr = formatStr;
  page->Add(memo);
  return memo;
}
