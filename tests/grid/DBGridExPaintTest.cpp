// Painting, checked on the pixels of the grid's window: indicator states,
// titles with sort markers and their numbers, pressed titles, grid-line
// colours, check boxes, footers, multi-level titles and the
// incremental-search overlay.  Pictures go to PAYROLL_SHOT_DIR when set.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/DBGridEx.h"
#include "grid/DBSumList.h"
#include "grid/GridDataLinkEx.h"
#include "grid/GridExUtils.h"
#include "grid/GridSelection.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/SysColors.h"

namespace {

constexpr TColor kDark = 0x404040;
constexpr TColor kGray = 0x808080;
constexpr TColor kSilver = 0xC0C0C0;

TColor Rgb(TColor c) { return static_cast<TColor>(ColorToRGB(c)); }

class PaintTest : public GridOnFormFixture {
 protected:
  // The indicator cell of grid row `row`.
  TRect Indicator(int row) { return grid->CellRect(0, row); }
  TRect Cell(int col, int row) { return grid->CellRect(col, row); }
};

TEST_F(PaintTest, IndicatorShowsTheCurrentRowAndTheEditingState) {
  AddRows(6);
  AddColumn("NAME");
  Link();
  GoTo(2);
  QImage browse = Shot();
  SaveGridShot(browse, "grid-indicator-browse");
  EXPECT_GT(CountColor(browse, Indicator(3), clBlack), 4) << "the arrow on the current row";
  EXPECT_EQ(CountColor(browse, Indicator(2), clBlack), 0);
  EXPECT_EQ(grid->LastCurrentRow(), 3);
  ds->Edit();
  QImage edit = Shot();
  ds->Cancel();
  ds->Append();
  QImage insert = Shot();
  ds->Cancel();
  auto glyph = [&](const QImage& img) { return img.copy(2, Indicator(3).Top, 9, 12); };
  EXPECT_NE(glyph(browse), glyph(edit));
  EXPECT_NE(glyph(edit), glyph(insert));
  EXPECT_GT(CountColor(edit, Indicator(3), clBlack), 4);
}

TEST_F(PaintTest, MultiSelectedRowsAreDarkAndOnlyTheCurrentOneHasAnArrow) {
  AddRows(6);
  AddColumn("NAME");
  grid->SetOptions(grid->Options() + TDBGridOptions{dgMultiSelect});
  Link();
  GoTo(1);
  grid->SelectedRows()->SetCurrentRowSelected(true);
  GoTo(3);
  grid->SelectedRows()->SetCurrentRowSelected(true);
  GoTo(1);
  QImage img = Shot();
  SaveGridShot(img, "grid-indicator-multiselect");
  auto inner = [](TRect r) { return TRect(r.Left + 2, r.Top + 2, r.Right - 2, r.Bottom - 2); };
  TRect current = inner(Indicator(2)), other = inner(Indicator(4)), plain = inner(Indicator(3));
  EXPECT_GT(CountColor(img, current, kDark), 20);
  EXPECT_GT(CountColor(img, current, clWhite), 4) << "image 5: a white arrow";
  EXPECT_GT(CountColor(img, other, kDark), 20);
  EXPECT_EQ(CountColor(img, other, clWhite), 0) << "no glyph on another selected row";
  EXPECT_EQ(CountColor(img, plain, kDark), 0);
}

class SearchingGrid : public TDBGridEx {
 public:
  using TDBGridEx::TDBGridEx;
  void Search(const AnsiString& text) {
    incSearching_ = true;
    incSearchText_ = text;
    Invalidate();
  }
};

TEST_F(PaintTest, IncrementalSearchShowsAYellowArrowAndTheMatchedPrefix) {
  delete grid;
  grid = new SearchingGrid(nullptr);
  grid->SetParent(form);
  grid->SetBounds(0, 0, 400, 300);
  ds->AddRow({"工资表", 1.0, 1, "Y", true});
  ds->AddRow({"奖金", 2.0, 2, "N", false});
  AddColumn("NAME")->SetWidth(120);
  Link();
  grid->SetOptions(grid->Options() + TDBGridOptions{dgAlwaysShowSelection});
  form->SetActiveControl(grid);
  // Three bytes typed: one Chinese character and the lead byte of the next.
  static_cast<SearchingGrid*>(grid)->Search(AnsiString("工") + "\xD7");
  QImage img = Shot();
  SaveGridShot(img, "grid-incsearch");
  EXPECT_GT(CountColor(img, Indicator(1), clYellow), 4) << "image 6";
  TRect cell = Cell(1, 1);
  int yellow = CountColor(img, cell, clYellow);
  EXPECT_GT(yellow, 20);
  // Only the whole first character is covered: about one 12-16 pixel cell.
  int right = -1;
  for (int x = cell.Right - 1; x >= cell.Left && right < 0; --x)
    if (CountColor(img, TRect(x, cell.Top, x + 1, cell.Bottom), clYellow) > 0) right = x;
  EXPECT_LT(right - cell.Left, 24);
}

TEST(LeadingBytes, NeverEndsInHalfACharacter) {
  const struct {
    AnsiString text;
    size_t count;
    AnsiString expected;
  } cases[] = {
      {"工资表", 3, "工"},  {"工资表", 4, "工资"}, {"ab工", 3, "ab"},
      {"ab工", 4, "ab工"},  {"abc", 2, "ab"},     {"工", 9, "工"},
      {"工资", 0, ""},
  };
  for (const auto& k : cases) EXPECT_EQ(LeadingBytes(k.text, k.count), k.expected) << k.count;
}

TEST(IncSearchMatchLength, MatchesWholeCharactersIgnoringLetterCase) {
  const AnsiString odd = "乤";  // its trail byte is the letter 'a'
  ASSERT_EQ(odd.size(), 2u);
  ASSERT_EQ(odd[1], 'a');
  const struct {
    AnsiString text, search;
    size_t expected;
  } cases[] = {
      {"abc工资", "ABC工", 5},   {"工资表", "工\xD7", 2},    {"Name", "nAm", 3},
      {odd + "x", odd + "X", 3}, {odd, AnsiString("\x81") + "A", 0},
      {"abc", "abd", 2},         {"", "a", 0},                 {"工", "", 0},
  };
  for (const auto& k : cases)
    EXPECT_EQ(IncSearchMatchLength(k.text, k.search), k.expected) << k.search;
}

class TitlePaintTest : public PaintTest {
 protected:
  void SetUp() override {
    PaintTest::SetUp();
    AddRows(3);
    a = AddColumn("NAME");
    b = AddColumn("PAY");
    a->SetWidth(90);
    b->SetWidth(90);
    Link();
  }
  // Leftmost pixel of the marker's lit edge in the title of grid column c.
  int MarkerLeft(const QImage& img, int c) {
    TRect t = Cell(c, 0);
    return LeftmostOf(img, TRect(t.Left + 2, t.Top + 2, t.Right - 2, t.Bottom - 2), kGray);
  }
  void SetUpMarkers() {
    grid->SetOptionsEx(grid->OptionsEx() + TDBGridExOptions{dghMultiSortMarking});
  }
  TColumnEx* a = nullptr;
  TColumnEx* b = nullptr;
};

TEST_F(TitlePaintTest, OneMarkedColumnShowsNoNumberTwoShowTheirIndex) {
  SetUpMarkers();
  a->Title()->SetSortMarker(smUpEx);
  ASSERT_EQ(grid->MarkedColumns().size(), 1u);
  QImage one = Shot();
  int alone = MarkerLeft(one, 1);
  ASSERT_GT(alone, 0) << "the marker is drawn";
  const int right = Cell(1, 0).Right;
  EXPECT_GE(alone, right - 16);
  b->Title()->SetSortMarker(smDownEx);
  ASSERT_EQ(b->Title()->SortIndex(), 2);
  grid->Invalidate();
  QImage two = Shot();
  SaveGridShot(two, "grid-titles-sort");
  EXPECT_LT(MarkerLeft(two, 1), alone) << "the number stands right of the marker";
  // The number is the only dark ink near the marker (which is gray and white).
  auto darkInk = [&](const QImage& img) {
    int n = 0;
    for (int y = 2; y < Cell(1, 0).Bottom - 2; ++y)
      for (int x = right - 20; x < right - 1; ++x) {
        QRgb p = img.pixel(x, y);
        if (qRed(p) + qGreen(p) + qBlue(p) < 300) ++n;
      }
    return n;
  };
  EXPECT_EQ(darkInk(one), 0);
  EXPECT_GT(darkInk(two), 0);
}

TEST_F(TitlePaintTest, ANarrowTitleDropsTheMarkerFirst) {
  SetUpMarkers();
  a->Title()->SetSortMarker(smUpEx);
  a->SetWidth(14);
  QImage img = Shot();
  EXPECT_LT(MarkerLeft(img, 1), 0) << "no room: no marker";
  EXPECT_GT(CountNotColor(img, Cell(1, 0), Rgb(clBtnFace)), 0) << "the caption stays";
}

TEST_F(TitlePaintTest, APressedTitleMovesItsCaption) {
  const struct {
    int titleLines;
    int shift;
  } cases[] = {{0, 1}, {2, 2}};
  for (const auto& k : cases) {
    grid->SetTitleLines(k.titleLines);
    TRect title = Cell(1, 0);
    title.Left += 3;
    title.Right -= 3;
    title.Top += 3;
    title.Bottom -= 3;
    int before = LeftmostOf(Shot(), title, clBlack);
    grid->SetPressedTitle(1, true);
    QImage pressed = Shot();
    if (k.titleLines == 2) SaveGridShot(pressed, "grid-title-pressed");
    int after = LeftmostOf(pressed, title, clBlack);
    grid->SetPressedTitle(-1, false);
    EXPECT_EQ(after - before, k.shift) << k.titleLines;
  }
}

TEST_F(PaintTest, LineColoursFollowFlatAndTheGridColour) {
  AddRows(3);
  AddColumn("NAME")->SetWidth(80);
  AddColumn("PAY")->SetWidth(80);
  Link();
  grid->SetOptionsEx(TDBGridExOptions{});
  const struct {
    bool flat;
    TColor color;
    TColor fixedLine, dataLine;
  } cases[] = {{false, clWindow, clBlack, kSilver},
               {true, clWindow, kGray, kSilver},
               {false, kSilver, clBlack, kGray}};
  for (const auto& k : cases) {
    grid->SetFlat(k.flat);
    grid->SetColor(k.color);
    QImage img = Shot();
    int titleLineX = Cell(1, 0).Right;
    int dataLineY = Cell(1, 2).Bottom;
    EXPECT_EQ(img.pixel(titleLineX, 2) & 0xFFFFFF, ColorToRGB(k.fixedLine) == 0 ? 0u : 0x808080u)
        << k.flat;
    EXPECT_EQ(CountColor(img, TRect(Cell(1, 2).Left + 2, dataLineY, Cell(1, 2).Right, dataLineY + 1),
                         k.dataLine),
              Cell(1, 2).Width() - 2)
        << k.flat << " " << k.color;
  }
}

TEST_F(PaintTest, ThreeDTitlesGetARaisedEdgeFlatOnesALine) {
  AddRows(2);
  AddColumn("NAME")->SetWidth(80);
  Link();
  QImage raised = Shot();
  TRect t = Cell(1, 0);
  EXPECT_EQ(CountColor(raised, TRect(t.Left, t.Top, t.Right - 1, t.Top + 1), clWhite),
            t.Width() - 1)
      << "highlight along the top";
  grid->SetFlat(true);
  QImage flat = Shot();
  SaveGridShot(flat, "grid-flat");
  t = Cell(1, 0);
  EXPECT_EQ(CountColor(flat, TRect(t.Left, t.Top, t.Right - 1, t.Top + 1), clWhite), 0);
  EXPECT_GT(CountColor(flat, TRect(t.Left, t.Bottom - 1, t.Right, t.Bottom), kGray), t.Width() - 3);
}

TEST_F(PaintTest, TheFrameIsASunkenEdgeOnePixelWideWhenFlat) {
  Link();
  const struct {
    bool flat;
    TBorderStyle border;
    int width;
  } cases[] = {{false, bsSingle, 2}, {true, bsSingle, 1}, {true, bsNone, 0}};
  for (const auto& k : cases) {
    grid->SetFlat(k.flat);
    grid->SetBorderStyle(k.border);
    TRect client = grid->ClientRect();
    EXPECT_EQ(client.Left, k.width) << k.flat;
    EXPECT_EQ(grid->CellRect(0, 0).Left, k.width);
    QImage img = Shot();
    if (k.width == 1) {
      SaveGridShot(img, "grid-flat-frame");
      EXPECT_EQ(img.pixel(0, 40) & 0xFFFFFF, ColorToRGB(clBtnShadow) & 0xFFFFFF) << "left: shadow";
      EXPECT_EQ(img.pixel(grid->Width() - 1, 40) & 0xFFFFFF, 0xFFFFFFu) << "right: highlight";
    }
  }
}

TEST_F(PaintTest, CellParametersPassThroughTheGridAndTheColumn) {
  AddRows(4);
  TColumnEx* name = AddColumn("NAME");
  name->SetWidth(80);
  Link();
  const TColor special = 0x3060A0;
  std::vector<AnsiString> texts;
  int drawn = 0;
  grid->OnGetCellParams = [&](TObject*, TColumnEx* c, TFont*, TColor& background,
                              const TGridDrawState&) {
    if (c->Field()->AsString() == "name2") background = special;
  };
  name->SetOnGetCellParams([&](TObject*, bool editMode, TColCellParamsEx* params) {
    EXPECT_FALSE(editMode);
    texts.push_back(params->Text);
  });
  grid->OnDrawColumnCell = [&](TObject*, const TRect&, int dataCol, TColumnEx* c,
                               const TGridDrawState&) {
    EXPECT_EQ(dataCol, 0);
    EXPECT_EQ(c, name);
    ++drawn;
  };
  QImage img = Shot();
  TRect third = Cell(1, 3);
  EXPECT_GT(CountColor(img, third, special), third.Width() * third.Height() / 2);
  EXPECT_EQ(CountColor(img, Cell(1, 2), special), 0);
  EXPECT_EQ(drawn, 4);
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[3], AnsiString("name3"));
  EXPECT_EQ(grid->DataLink()->ActiveRecord(), 0) << "the active record is put back";
}

TEST_F(PaintTest, AKeyImageColumnShowsTheImageOfTheValuesPlace) {
  ds->AddRow({"a", 1.0, 1, "Y", true});
  ds->AddRow({"b", 2.0, 2, "N", false});
  ds->AddRow({"c", 3.0, 3, "Z", false});
  TImageList images(8, 8);
  const TColor colours[] = {0x0000C0, 0x00C000};
  for (TColor colour : colours) {
    TBitmap bmp(8, 8);
    bmp.Canvas()->Brush()->SetColor(colour);
    bmp.Canvas()->FillRect(TRect(0, 0, 8, 8));
    images.AddMasked(&bmp, clWhite);
  }
  TColumnEx* flag = AddColumn("FLAG");
  flag->SetWidth(40);
  flag->KeyList()->Add("Y");
  flag->KeyList()->Add("N");
  flag->SetImageList(&images);
  Link();
  ASSERT_EQ(flag->ColumnKind(), ckKeyImageList);
  QImage img = Shot();
  EXPECT_EQ(CountColor(img, Cell(1, 1), colours[0]), 64);
  EXPECT_EQ(CountColor(img, Cell(1, 2), colours[1]), 64);
  EXPECT_EQ(CountNotColor(img, Cell(1, 3), Rgb(clWindow)), 0) << "not in the list: no image";
  flag->SetNotInKeyListIndex(1);
  QImage again = Shot();
  EXPECT_EQ(CountColor(again, Cell(1, 3), colours[1]), 64);
}

TEST_F(PaintTest, TheSpacersIndicatorStaysFlatUnlessDataOrFrozenCellsAre3D) {
  AddRows(2);
  AddColumn("NAME")->SetWidth(60);
  AddColumn("PAY")->Footer()->SetValueType(fvtSum);
  Link();
  grid->SetFooterRowCount(1);
  const int spacer = grid->RowCount() - 2;
  // A 3D cell's raised edge ends in a shadow along its bottom.
  auto shadow = [&](const QImage& img) {
    TRect r = Indicator(spacer);
    return CountColor(img, TRect(r.Left, r.Bottom - 1, r.Right, r.Bottom), kGray);
  };
  ASSERT_GT(grid->RowHeights(spacer), 2);
  EXPECT_EQ(shadow(Shot()), 0);
  grid->SetOptionsEx(grid->OptionsEx() + TDBGridExOptions{dghData3D});
  EXPECT_GT(shadow(Shot()), 5);
}

TEST_F(PaintTest, HighlightFollowsSelectionRowHighlightAndTheUpdateLock) {
  AddRows(4);
  AddColumn("NAME");
  AddColumn("PAY");
  Link();
  GoTo(1);  // grid row 2, data row 1
  grid->SetOptions(grid->Options() + TDBGridOptions{dgAlwaysShowSelection});
  const TGridDrawState selected{gdSelected}, plain{};
  EXPECT_TRUE(grid->HighlightCell(0, 1, "", selected));
  EXPECT_FALSE(grid->HighlightCell(1, 1, "", plain));
  EXPECT_FALSE(grid->HighlightCell(0, 2, "", plain));
  grid->BeginUpdate();
  EXPECT_FALSE(grid->HighlightCell(0, 1, "", selected)) << "not while the update lock is held";
  grid->EndUpdate();
  grid->SetOptionsEx(grid->OptionsEx() + TDBGridExOptions{dghRowHighlight});
  EXPECT_TRUE(grid->HighlightCell(1, 1, "", plain)) << "the rest of the current row";
  EXPECT_FALSE(grid->HighlightCell(1, 2, "", plain));
  grid->SetOptions(grid->Options() + TDBGridOptions{dgRowSelect});
  grid->BeginUpdate();
  EXPECT_TRUE(grid->HighlightCell(1, 1, "", plain)) << "row selection ignores the lock";
  grid->EndUpdate();
}

TEST_F(PaintTest, VerticalTitlesStandOnTheirSide) {
  AddRows(2);
  TColumnEx* a = AddColumn("NAME");
  a->SetWidth(40);
  a->Title()->SetCaption("WWWWWWWW");
  a->Title()->SetOrientation(tohVertical);
  grid->SetUseMultiTitle(true);
  Link();
  QImage img = Shot();
  SaveGridShot(img, "grid-vertical-title");
  TRect t = Cell(1, 0);
  ASSERT_GT(t.Height(), 40) << "the title grew to hold the turned text";
  // The ink is taller than wide.
  int top = t.Bottom, bottom = t.Top, left = t.Right, right = t.Left;
  for (int y = t.Top + 2; y < t.Bottom - 2; ++y)
    for (int x = t.Left + 2; x < t.Right - 2; ++x) {
      QRgb p = img.pixel(x, y);
      if (qRed(p) + qGreen(p) + qBlue(p) < 200) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
        left = std::min(left, x);
        right = std::max(right, x);
      }
    }
  EXPECT_GT(bottom - top, 2 * (right - left));
}

TEST_F(PaintTest, CheckBoxesShowTheFieldsValue) {
  AddRows(4);
  TColumnEx* ok = AddColumn("OK");
  ok->SetCheckboxes(true);
  ok->SetWidth(40);
  Link();
  QImage img = Shot();
  SaveGridShot(img, "grid-checkboxes");
  auto marks = [&](int row) {
    TRect c = Cell(1, row);
    int size = CheckBoxSize();
    int x = (c.Left + c.Right - size) / 2 + 3, y = (c.Top + c.Bottom - size) / 2 + 3;
    return CountNotColor(img, TRect(x, y, x + size - 6, y + size - 6), clWindow == clWindow ? Rgb(clWindow) : 0);
  };
  // Rows 0 and 2 hold False, rows 1 and 3 True.
  EXPECT_EQ(marks(1), 0);
  EXPECT_GT(marks(2), 3);
  EXPECT_EQ(marks(3), 0);
  EXPECT_GT(marks(4), 3);
}

TEST_F(PaintTest, FootersShowTheirValuesOnTheFooterColour) {
  AddRows(4);  // PAY 0 + 10.5 + 21 + 31.5 = 63
  AddColumn("NAME")->SetWidth(80);
  TColumnEx* pay = AddColumn("PAY");
  pay->SetWidth(80);
  pay->Footer()->SetValueType(fvtSum);
  pay->Footer()->SetAlignment(taRightJustify);
  Link();
  grid->SumList()->SetActive(true);
  grid->SetFooterRowCount(1);
  const TColor footer = 0x00E0FF;
  grid->SetFooterColor(footer);
  pay->Footer()->SetColor(footer);
  grid->Columns()->Items(0)->Footer()->SetColor(footer);
  EXPECT_EQ(grid->GetFooterValue(0, pay), AnsiString("63"));
  QImage img = Shot();
  SaveGridShot(img, "grid-footers");
  TRect f = Cell(2, grid->RowCount() - 1);
  EXPECT_GT(CountColor(img, f, footer), f.Width() * f.Height() / 2);
  EXPECT_GT(CountNotColor(img, TRect(f.Left + 2, f.Top + 2, f.Right - 2, f.Bottom - 2), footer), 5)
      << "the sum is written";
  EXPECT_EQ(f.Bottom + 1, grid->ClientRect().Bottom);
}

TEST_F(PaintTest, AGroupTitleSpansItsColumnsOnce) {
  AddRows(3);
  TColumnEx* a = AddColumn("NAME");
  TColumnEx* b = AddColumn("PAY");
  AddColumn("N")->SetWidth(60);
  a->SetWidth(80);
  b->SetWidth(80);
  a->Title()->SetCaption("工资|基本");
  b->Title()->SetCaption("工资|奖金");
  grid->SetUseMultiTitle(true);
  Link();
  ASSERT_GT(grid->TitleRowHeight(), grid->DefaultRowHeight());
  QImage img = Shot();
  SaveGridShot(img, "grid-multititle");
  // In the group's band the line between its two columns is not drawn.
  int boundary = Cell(1, 0).Right;
  int groupY = Cell(1, 0).Top + 4;
  EXPECT_NE(img.pixel(boundary, groupY) & 0xFFFFFF, 0u);
  // Between the leaves, lower down, it is.
  EXPECT_EQ(img.pixel(boundary, Cell(1, 0).Bottom - 3) & 0xFFFFFF, 0u);
}

}  // namespace
