// TrbView: the base of every object on a report page (position, size,
// frame, fill, display format, text lines, script), its stream record, its
// scaling and its background and frame drawing; the object type codes and
// object creation.  Calls platform/ui (canvas) and the report stream helpers.
//
// View record (always written in the version-24 layout; V = rbCurrentVersion
// while reading; "design" fields are skipped while PreparedFlag is set):
//
//   #  field                  encoding          present
//   1  Name                   string            V > 23, or V = 23 and design;
//                                               else a generated name
//   2  StreamMode             byte (written 2)  V > 23
//   3  StreamSubMode          byte (1 bands)    V > 23
//   4  x, y, dx, dy           4 x int32         always   |
//   5  Flags                  word              always    |
//   6  FrameTyp               word              always    | 30 bytes
//   7  FrameWidth             int32 code        always    |
//   8  FrameColor             int32             always    |
//   9  FrameStyle             word              always   |
//  10  FillColor              int32             always
//  11  Format                 int32             design
//  12  FormatStr              string (tmpl)     design
//  13  Memo (Memo1 written    line list (tmpl)  always
//      when prepared)
//  14  Script                 line list (tmpl)  V >= 23 and design
//  15  Visible                word (0 / FFFF)   V >= 23 and design
//  16  Restrictions           word              V >= 24
//  17  Tag                    string            V >= 24
//  18  GapX, GapY             2 x int32         V >= 24
//  19  BandAlign              byte              StreamMode > 1
//
// The class's own record follows (ReportViews.h).
#pragma once

#include <cstdint>
#include <memory>

#include "platform/core/Strings.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/SysColors.h"
#include "report/ReportObject.h"

class Exception;
class TCanvas;
class TStream;
class TrbPage;

// Object type codes in templates and prepared pages.
enum : std::uint8_t { gtMemo = 0, gtPicture = 1, gtBand = 2, gtSubReport = 3, gtLine = 4, gtAddIn = 10 };

constexpr TColor kNoFill = 0x1FFFFFFF;
// Frame sides (FrameTyp bits).
enum : std::uint16_t { frRight = 1, frBottom = 2, frLeft = 4, frTop = 8 };

class TrbView : public TrbObject {
 public:
  TrbView();
  ~TrbView() override = default;

  // Geometry and appearance, as stored.
  int x = 0, y = 0, dx = 0, dy = 0;
  std::uint16_t Flags = 1;  // bit 1: stretched; other bits belong to the class
  std::uint16_t FrameTyp = 0;
  float FrameWidth = 1.0f;
  TColor FrameColor = 0;
  std::uint16_t FrameStyle = 0;  // 0 solid .. 4 dash-dot-dot, 5 double
  TColor FillColor = kNoFill;
  std::int32_t Format = 0;       // display format code
  AnsiString FormatStr;
  bool Visible = true;
  int GapX = 2, GapY = 1;
  std::uint16_t Restrictions = 0;
  AnsiString Tag;
  TStringList Memo;
  TStringList Script;
  std::uint8_t BandAlign = 0;  // 0 none, 1 left, 2 right, 3 center, 4 width, 5 bottom, 6 top

  // Working state.
  AnsiString Name;
  std::uint8_t Typ = gtAddIn;
  std::uint8_t StreamMode = 0, StreamSubMode = 0;
  int ID = 0;
  bool Selected = false;
  std::uint8_t PreparedFlag = 0;
  TStringList Memo1;
  double ScaleX = 1.0, ScaleY = 1.0;
  int OffsetX = 0, OffsetY = 0;
  bool IsPrinting = false;
  TRect DRect;
  TCanvas* Canvas = nullptr;
  AnsiString BaseName = "View";

  void SetBounds(int left, int top, int width, int height);
  virtual AnsiString ClassName() const { return "TrbView"; }

  virtual void LoadFromStream(TStream* stream);
  virtual void SaveToStream(TStream* stream);
  // The entry of a prepared page: type byte, class name for add-ins, the
  // record with PreparedFlag set and Memo1 as its text.
  void WritePrepared(TStream* stream);

  virtual void Draw(TCanvas* canvas);
  // Writes the view onto a prepared page while a page is formed: the
  // report's before-print handling, the script (already compiled to op
  // lines), Tag expansion, then the prepared entry.  Invisible views write
  // nothing.
  virtual void PrintToStream(TStream* stream);
  // Replaces every bracketed expression by the text of its value; an
  // inserted value is never expanded again.
  AnsiString ExpandVariables(const AnsiString& text);
  virtual void AfterLoad() {}
  void ScaleCoordinates();
  void RestoreCoordinates();
  void FillBackground();
  void DrawFrame();
  // Start of every drawing: the canvas, and BandAlign against the page edges.
  void BeginDraw(TCanvas* canvas);

  // The area the view paints, frame included (widened by 10 on every side
  // when asked), for repainting.
  TRect ClipRect(bool widen) const;

  // Gives the view the first free name BaseName + n (n = 1..10000).
  void CreateUniqueName();

  void SetPropValue(const AnsiString& name, const Variant& value) override;
  Variant GetPropValue(const AnsiString& name) override;
  Variant DoMethod(const AnsiString& name, const Variant& p1, const Variant& p2,
                   const Variant& p3) override;
  void DefineProperties() override;

 protected:
  // The list methods ("MEMO.ADD", ...) and index properties of a line list.
  bool DoListMethod(TStrings* list, const AnsiString& name, Variant& result, const Variant& p1,
                    const Variant& p2, const Variant& p3, const AnsiString& prefix);
  void DefineViewProperties(bool withFrame);
  void DrawFrameSide(int x1, int y1, int x2, int y2, bool vertical);

 private:
  struct TSaved {
    int x, y, dx, dy, gapX, gapY;
    float frameWidth;
  } saved_{};
};

class TrbStretcheable : public TrbView {
 public:
  virtual int CalcHeight() { return dy; }
  virtual int MinHeight() { return 0; }
  virtual int RemainHeight() { return dy; }
};

// Creates an object of a type code (0..4 the built-in classes, 10 an
// add-in class of that exact name); nullptr for 5..9 and other codes.  An
// unknown add-in sets rbErrorFlag, appends the name to rbErrorText and
// raises EClassNotFound.  Each object takes the next object ID.
TrbView* rbCreateObject(std::uint8_t type, const AnsiString& className);
int rbObjectIdCounter();

// Add-in classes for type code 10 (none are registered by this program).
using TrbAddInFactory = std::function<TrbView*()>;
void rbRegisterAddIn(const AnsiString& className, TrbAddInFactory factory);

// The pages that name searches (unique names, PAGEn.x) consult: the report
// being loaded, built or formed.
class TrbPages;
void rbSetCurrentPages(TrbPages* pages);
TrbPages* rbCurrentPages();
// The page that views are placed on while drawn (band alignment edges).
void rbSetCurrentPage(TrbPage* page);
TrbPage* rbCurrentPage();

// The view being formed or drawn (set by BeginDraw).
TrbView* rbCurrentView();
void rbSetCurrentView(TrbView* view);
// An error while a report forms: sets rbErrorFlag, builds rbErrorText
// ("计算时发生错误", the view's text and name, the report's name and the
// message) and stops the formation.
void rbReportFormationError(const Exception& e);

// "object.property" to the object and its property name; the current view
// and the whole name when there is no point; PAGEn names template page n.
TrbObject* rbGetObjectProperty(const AnsiString& fullName, AnsiString& property,
                               TrbObject* currentView = nullptr);
