// The text object: wrapping (never inside a double-byte character) and
// drawing.  Widths come from fixed metrics: 6 pixels a single-byte
// character, 12 a double-byte one.
#include <gtest/gtest.h>

#include "ReportTestSupport.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Canvas.h"
#include "report/ReportStream.h"
#include "report/ReportViews.h"

namespace {

const AnsiString kMark(1, kParagraphEndMark);

struct TextTest : ::testing::Test {
  TextTest() {
    RequireGuiApp();
    memo.GapX = 2;
    memo.SetBounds(0, 0, 34, 100);  // a limit of 30 pixels: five letters
  }
  std::vector<AnsiString> Wrap(std::vector<AnsiString> lines) {
    int h = 0;
    return memo.WrapMemo(lines, h);
  }
  TFixedMetricsGuard metrics;
  TrbMemoView memo;
};

TEST_F(TextTest, LinesBreakAtBlanksAndNeverInsideACharacter) {
  using V = std::vector<AnsiString>;
  struct Case {
    AnsiString text;
    V lines;
  } cases[] = {
      {"abc", {"abc" + kMark}},
      {"工资表", {"工资", "表" + kMark}},
      {"ab工资表", {"ab工", "资表" + kMark}},
      // no blank: a letter ends the line two characters before the overflow
      {"abcdefgh", {"abc", "def", "gh" + kMark}},
      {"ab cd ef gh", {"ab", "cd", "ef", "gh" + kMark}},
      {"a\r\nb", {"a" + kMark, "b" + kMark}},
      // trail bytes that look like '[', ' '-free letters and '|'
      {"\x81\x5B\x81\x61\x81\x7C", {"\x81\x5B\x81\x61", "\x81\x7C" + kMark}},
      {"工资表工资表工", {"工资", "表工", "资表", "工" + kMark}},
  };
  for (const auto& c : cases) EXPECT_EQ(Wrap({c.text}), c.lines) << c.text;
}

TEST_F(TextTest, WithoutWordWrapEachSourceLineStaysWhole) {
  memo.Flags &= ~mfWordWrap;
  EXPECT_EQ(Wrap({"abcdefghij", "x"}), (std::vector<AnsiString>{"abcdefghij" + kMark, "x" + kMark}));
}

TEST_F(TextTest, PreWrappedLinesAreNotWrappedAgain) {
  std::vector<AnsiString> formed = {"abcdefgh", "ij" + kMark};
  memo.SetBounds(0, 0, 200, 100);
  EXPECT_EQ(Wrap(formed), formed);
}

TEST_F(TextTest, TextHeightCountsLinesAndGaps) {
  int h = 0;
  memo.WrapMemo({"工资表"}, h);
  EXPECT_EQ(memo.LineHeight(), 12 + 2);
  EXPECT_EQ(h, 2 * 14 + 2 * memo.GapY);
}

// Darkest column range of the text drawn in row band [top, bottom).
std::pair<int, int> InkColumns(TBitmap& bmp, int top, int bottom) {
  int first = -1, last = -1;
  for (int x = 0; x < bmp.Width(); ++x)
    for (int y = top; y < bottom; ++y)
      if (PixelAt(bmp, x, y) != 0xFFFFFF) {
        if (first < 0) first = x;
        last = x;
        break;
      }
  return {first, last};
}

TEST_F(TextTest, AlignmentPlacesTheLines) {
  rbDocMode = 1;
  for (int align : {rbtaLeft, rbtaRight, rbtaCenter}) {
    TBitmap bmp(300, 40);
    bmp.Canvas()->Brush()->SetColor(0xFFFFFF);
    bmp.Canvas()->FillRect(TRect(0, 0, 300, 40));
    TrbMemoView m;
    m.SetBounds(0, 0, 300, 40);
    m.Memo.Add("ab");
    m.Alignment = align;
    m.Draw(bmp.Canvas());
    bmp.Canvas()->ReleasePainter();
    auto [first, last] = InkColumns(bmp, 0, 40);
    ASSERT_GE(first, 0) << align;
    switch (align) {
      case rbtaLeft: EXPECT_LT(last, 60); break;
      case rbtaRight: EXPECT_GT(first, 240); break;
      default: EXPECT_TRUE(first > 100 && last < 200) << first << " " << last;
    }
  }
  rbDocMode = 0;
}

}  // namespace

namespace {

TEST_F(TextTest, WordBreakHyphenatesBetweenCharacters) {
  memo.Flags |= mfWordBreak;
  memo.SetBounds(0, 0, 40, 100);  // a limit of 36 pixels
  // "-" takes 6 pixels: two characters and the hyphen fit (30 < 36).
  EXPECT_EQ(Wrap({"工资表工资"}), (std::vector<AnsiString>{"工资-", "表工-", "资" + kMark}));
}

}  // namespace

namespace {

TEST_F(TextTest, TurnedTextReadsUpwards) {
  rbDocMode = 1;
  TBitmap bmp(60, 300);
  bmp.Canvas()->Brush()->SetColor(0xFFFFFF);
  bmp.Canvas()->FillRect(TRect(0, 0, 60, 300));
  TrbMemoView m;
  m.SetBounds(0, 0, 60, 300);
  m.Memo.Add("abcdefghijkl");
  m.Alignment = rbtaRotated;
  m.Draw(bmp.Canvas());
  bmp.Canvas()->ReleasePainter();
  int top = -1, bottom = -1, left = 60, right = -1;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 60; ++x)
      if (PixelAt(bmp, x, y) != 0xFFFFFF) {
        if (top < 0) top = y;
        bottom = y;
        left = std::min(left, x);
        right = std::max(right, x);
      }
  ASSERT_GE(top, 0);
  EXPECT_GT(bottom - top, 2 * (right - left));  // taller than wide
  EXPECT_GT(bottom, 250);                       // starts at the bottom
  rbDocMode = 0;
}

}  // namespace
