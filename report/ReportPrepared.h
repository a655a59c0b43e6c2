// TrbEMFPages: the prepared pages of a report.  Each page keeps its paper
// and a stream of the objects as they were formed (text already expanded
// and wrapped); a page is rebuilt from its stream on demand, drawn on any
// canvas at any scale, and the list is saved and loaded as a prepared-report
// file (".rbp").  Calls the report objects, platform/ui (canvas) and
// platform/core (files).
//
// Page stream: byte 24, then per object its type byte, [class name string
//   for type 10] and its record written with PreparedFlag set.
// File:  version byte 24, compressed byte (0; 1 needs a compressor),
//   printer name string, int32 page count, then per page:
//     int32 end position (absolute, after this page), pgSize word,
//     pgWidth, pgHeight int32, pgOr byte, [pgBin int32 when version > 23],
//     use-margins byte, [4 x int32 margins when version > 23], page stream.
// A first byte outside 24..31, or a compressed byte of 2 and more (not
// 255), marks a file of the older metafile format.
//
// Loading parses the whole file into a new list and swaps it in only when
// it is good; saving to a file writes a temporary file beside it and renames
// it over the old one.  Damage raises EReadError naming the offset.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/Geometry.h"
#include "report/ReportPage.h"

class TCanvas;
class TMemoryStream;
class TStream;

struct TrbPageInfo {
  TrbPageInfo();
  ~TrbPageInfo();
  TRect R;  // place on the preview surface
  int pgSize = 0, pgWidth = 0, pgHeight = 0, pgOr = 0, pgBin = -1;
  bool UseMargins = false;
  std::array<int, 4> pgMargins{};
  // Printer page data for this paper, the twelve values of the page
  // geometry (ReportPrinter.h); [2] and [3] are the page width and height
  // in design units.
  std::array<int, 12> PrnInfo{};
  bool Visible = false;
  std::unique_ptr<TMemoryStream> Stream;
  std::unique_ptr<TrbPage> Page;  // rebuilt from Stream, cached
};

class TrbEMFPages {
 public:
  TrbEMFPages();
  ~TrbEMFPages();
  TrbEMFPages(const TrbEMFPages&) = delete;
  TrbEMFPages& operator=(const TrbEMFPages&) = delete;

  int Count() const { return static_cast<int>(pages_.size()); }
  TrbPageInfo& Pages(int index);
  void Clear() { pages_.clear(); }
  // A new page with the template page's paper (appended when index >= Count).
  void Insert(int index, TrbPage* templatePage);
  void Add(TrbPage* templatePage);
  void Delete(int index);
  std::function<void(int pageNo)> OnBeginPage;

  // Rebuilds the cached page from the stream; and back.
  TrbPage* ObjectsToPage(int index);
  void PageToObjects(int index);
  // Draws the page scaled into rect (page size from PrnInfo).  Objects
  // whose scaled rectangle (widened by 10) lies outside the canvas's clip
  // are skipped; an invisible page frees its cached objects instead.
  void Draw(int index, TCanvas* canvas, const TRect& rect);

  // The object under a point of the page (page units) raises OnObjectClick
  // (click) or OnMouseOverObject; true when a handler ran.
  bool DoClick(int index, const TPoint& point, bool click, int& cursor);
  std::function<void(TrbView* view)> OnObjectClick;
  std::function<void(TrbView* view, int& cursor)> OnMouseOverObject;

  AnsiString PrinterName;
  void SaveToStream(TStream* stream);
  void LoadFromStream(TStream* stream);
  void SaveToFile(const AnsiString& fileName);
  void LoadFromFile(const AnsiString& fileName);

 private:
  std::vector<std::unique_ptr<TrbPageInfo>> pages_;
};

// Printer page data of a paper (stand-in until the printer model answers
// for the real device): the page size in design units, no offsets.
std::array<int, 12> rbPaperInfo(int pgWidth, int pgHeight, int pgOr);
