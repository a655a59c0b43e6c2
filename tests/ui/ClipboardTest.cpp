// The clipboard object: registered formats, sessions, text crossing to
// other programs as UTF-8, custom binary formats byte for byte.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "GraphicsTestSupport.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/StdCtrls.h"

namespace {

class ClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RequireGuiApp();
    Clipboard()->Clear();
  }
};

TEST_F(ClipboardTest, RegisteredFormatsAreStableAndCaseInsensitive) {
  TClipFormat grd = RegisterClipboardFormat("GRDDBIF");
  EXPECT_GE(grd, 0xC000u);
  EXPECT_EQ(RegisterClipboardFormat("grddbif"), grd);
  TClipFormat csv = RegisterClipboardFormat("Csv");
  EXPECT_NE(csv, grd);
  EXPECT_EQ(ClipboardFormatName(grd), AnsiString("GRDDBIF"));
  EXPECT_EQ(ClipboardFormatName(0x1234), AnsiString());
  EXPECT_THROW(RegisterClipboardFormat(""), EConvertError);
}

TEST_F(ClipboardTest, TextCrossesAsUtf8AndComesBackAsCodePage936) {
  Clipboard()->SetAsText("职工工资");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf16(u"职工工资"));
  EXPECT_EQ(Clipboard()->AsText(), AnsiString("职工工资"));
  // Text another program put there.
  QGuiApplication::clipboard()->setText(QString::fromUtf16(u"部门合计 12.50"));
  EXPECT_TRUE(Clipboard()->HasFormat(CF_TEXT));
  EXPECT_EQ(Clipboard()->AsText(), AnsiString("部门合计 12.50"));
  TBytes block = Clipboard()->GetAsHandle(CF_TEXT);
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(block.back(), 0);  // the block carries its terminating zero
  EXPECT_EQ(block.size(), AnsiString("部门合计 12.50").size() + 1);
}

TEST_F(ClipboardTest, AMemoCutsAndPastesAtItsCaret) {
  TMemo memo(nullptr);
  memo.SetText("F01+F02");
  memo.SetSelStart(3);
  memo.SetSelLength(1);  // "+"
  memo.CutToClipboard();
  EXPECT_EQ(memo.Text(), "F01F02");
  EXPECT_EQ(Clipboard()->AsText(), "+");
  Clipboard()->SetAsText("*基本工资*");
  memo.SetSelStart(3);
  memo.PasteFromClipboard();
  EXPECT_EQ(memo.Text(), "F01*基本工资*F02");
  memo.SetSelStart(0);
  memo.SetSelLength(3);
  memo.SetSelText("F09");
  EXPECT_EQ(memo.Text(), "F09*基本工资*F02");
}

TEST_F(ClipboardTest, TextFromOtherProgramsEndsLinesWithCrLf) {
  QGuiApplication::clipboard()->setText(QString::fromUtf16(u"甲\t1\n乙\t2\r\n丙\n"));
  EXPECT_EQ(Clipboard()->AsText(), AnsiString("甲\t1\r\n乙\t2\r\n丙\r\n"));
  // What this program put there comes back byte for byte.
  Clipboard()->SetAsText("a\nb");
  EXPECT_EQ(Clipboard()->AsText(), AnsiString("a\nb"));
}

TEST_F(ClipboardTest, CustomBinaryFormatRoundTripsByteForByte) {
  TClipFormat grd = RegisterClipboardFormat("GRDDBIF");
  TBytes data;
  for (int i = 0; i < 600; ++i) data.push_back(static_cast<std::uint8_t>(i * 37));
  data[10] = 0;  // zero bytes inside are kept
  Clipboard()->SetAsHandle(grd, data);
  EXPECT_TRUE(Clipboard()->HasFormat(grd));
  EXPECT_FALSE(Clipboard()->HasFormat(CF_TEXT));
  EXPECT_EQ(Clipboard()->GetAsHandle(grd), data);
  EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat("application/x-payroll-GRDDBIF"));
}

TEST_F(ClipboardTest, OneSessionHoldsSeveralFormatsAndTheNextEmptiesIt) {
  TClipFormat csv = RegisterClipboardFormat("Csv");
  TClipFormat rtf = RegisterClipboardFormat("Rich Text Format");
  TClipFormat grd = RegisterClipboardFormat("GRDDBIF");
  TBytes text = {'a', '\t', 'b', 0, 'x'};  // bytes beyond the zero come back too
  Clipboard()->Open();
  Clipboard()->SetAsHandle(CF_TEXT, text);
  Clipboard()->SetAsHandle(csv, {'"', 'a', '"', ',', 'b', 0});
  Clipboard()->SetAsHandle(rtf, {'{', '\\', 'r', 't', 'f', '1', '}', 0});
  Clipboard()->SetAsHandle(grd, {1, 2, 3});
  Clipboard()->Close();
  EXPECT_EQ(Clipboard()->GetAsHandle(CF_TEXT), text);
  EXPECT_EQ(Clipboard()->AsText(), AnsiString("a\tb"));
  EXPECT_TRUE(Clipboard()->HasFormat(csv));
  EXPECT_TRUE(Clipboard()->HasFormat(grd));
  const QMimeData* m = QGuiApplication::clipboard()->mimeData();
  EXPECT_EQ(m->data("text/csv"), QByteArray("\"a\",b"));
  EXPECT_EQ(m->data("text/rtf"), QByteArray("{\\rtf1}"));
  EXPECT_EQ(Clipboard()->Formats().size(), 4u);
  Clipboard()->SetAsHandle(grd, {9});  // a new session replaces everything
  EXPECT_FALSE(Clipboard()->HasFormat(CF_TEXT));
  EXPECT_EQ(Clipboard()->GetAsHandle(grd), TBytes{9});
}

TEST_F(ClipboardTest, CsvFromAnotherProgramIsConverted) {
  TClipFormat csv = RegisterClipboardFormat("Csv");
  auto* m = new QMimeData;
  m->setData("text/csv", QByteArray::fromStdString(std::string("\xE5\xA7\x93\xE5\x90\x8D,1\r\n")));  // "姓名,1"
  QGuiApplication::clipboard()->setMimeData(m);
  ASSERT_TRUE(Clipboard()->HasFormat(csv));
  TBytes b = Clipboard()->GetAsHandle(csv);
  EXPECT_EQ(AnsiString(b.begin(), b.end() - 1), AnsiString("姓名,1\r\n"));
}

TEST_F(ClipboardTest, EmptyClipboardHasNothing) {
  EXPECT_FALSE(Clipboard()->HasFormat(CF_TEXT));
  EXPECT_TRUE(Clipboard()->GetAsHandle(RegisterClipboardFormat("GRDDBIF")).empty());
  EXPECT_EQ(Clipboard()->AsText(), AnsiString());
}

TEST_F(ClipboardTest, BitmapGoesOutAsAnImage) {
  TBitmap b(3, 2);
  b.Canvas()->SetPixels(0, 0, clRed);
  Clipboard()->Assign(&b);
  ASSERT_TRUE(QGuiApplication::clipboard()->mimeData()->hasImage());
  QImage img = QGuiApplication::clipboard()->image();
  EXPECT_EQ(img.size(), QSize(3, 2));
  EXPECT_EQ(QColor(img.pixel(0, 0)), QColor(Qt::red));
  TBitmap back;
  back.LoadFromBytes(Clipboard()->GetAsHandle(CF_BITMAP));
  EXPECT_EQ(back.Canvas()->Pixels(0, 0), clRed);
}

}  // namespace
