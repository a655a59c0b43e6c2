// Pictures and button glyphs in the component text form: "Picture.Data"
// (class name, then the graphic's data) and "Glyph.Data" (byte count, then
// the bitmap file) are written and read back, and malformed data is
// refused.
#include <gtest/gtest.h>

#include <memory>

#include "UiTestSupport.h"
#include "platform/core/Exceptions.h"
#include "platform/core/TextForm.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"

namespace {

void Paint(TBitmap* b) {
  b->SetSize(3, 2);
  b->Canvas()->SetPixels(0, 0, clRed);
  b->Canvas()->SetPixels(2, 1, clBlue);
}

class GraphicData : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    RegisterVisualClasses();
  }
};

TEST_F(GraphicData, PictureAndGlyphSurviveTheTextForm) {
  std::unique_ptr<TForm> form(new TForm(nullptr));
  form->SetName("Form1");
  auto* image = new TImage(form.get());
  image->SetName("Image1");
  image->SetParent(form.get());
  TBitmap bmp;
  Paint(&bmp);
  image->Picture()->SetGraphic(&bmp);
  auto* button = new TBitBtn(form.get());
  button->SetName("BitBtn1");
  button->SetParent(form.get());
  Paint(button->Glyph());

  const AnsiString text = ComponentToObjectText(form.get());
  // 07 "TBitmap" opens the picture's data.
  EXPECT_NE(text.find("Picture.Data = {\r\n      07544269746D6170"), std::string::npos) << text;
  EXPECT_NE(text.find("Glyph.Data = {"), std::string::npos);

  std::unique_ptr<TForm> copy(new TForm(nullptr));
  ObjectTextToComponent(text, copy.get());
  auto* image2 = dynamic_cast<TImage*>(copy->FindComponent("Image1"));
  auto* button2 = dynamic_cast<TBitBtn*>(copy->FindComponent("BitBtn1"));
  ASSERT_TRUE(image2 && button2);
  auto* pic = dynamic_cast<TBitmap*>(image2->Picture()->Graphic());
  ASSERT_NE(pic, nullptr);
  EXPECT_EQ(pic->Width(), 3);
  EXPECT_EQ(pic->Height(), 2);
  EXPECT_EQ(pic->Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(pic->Canvas()->Pixels(2, 1), clBlue);
  EXPECT_EQ(button2->Glyph()->Width(), 3);
  EXPECT_EQ(button2->Glyph()->Canvas()->Pixels(2, 1), clBlue);
  // Written again, the text is the same.
  EXPECT_EQ(ComponentToObjectText(copy.get()), text);
}

TEST_F(GraphicData, EmptyPicturesWriteNoData) {
  std::unique_ptr<TForm> form(new TForm(nullptr));
  form->SetName("Form1");
  auto* image = new TImage(form.get());
  image->SetName("Image1");
  image->SetParent(form.get());
  EXPECT_EQ(ComponentToObjectText(form.get()).find("Data"), std::string::npos);
}

TEST_F(GraphicData, MalformedDataIsRefused) {
  TPicture pic;
  EXPECT_THROW(pic.SetDataText(AnsiString("\x07TBitma", 7)), EInvalidGraphic);
  EXPECT_THROW(pic.SetDataText(AnsiString("\x04TFoo\x00\x00\x00\x00", 9)), EInvalidGraphic);
  // A byte count beyond the data.
  EXPECT_THROW(pic.SetDataText(AnsiString("\x07TBitmap\xFF\x00\x00\x00BM", 14)), EInvalidGraphic);
  TBitmap b;
  EXPECT_THROW(b.SetDataText(AnsiString("\x02\x00", 2)), EInvalidGraphic);
  EXPECT_EQ(pic.Graphic(), nullptr);
}

}  // namespace
