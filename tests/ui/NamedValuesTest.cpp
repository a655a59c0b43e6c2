// Colour and cursor properties are written and read by their constants'
// names in form definitions ("Color = clBtnFace"), numbers still accepted.
#include <gtest/gtest.h>

#include <memory>

#include "UiTestSupport.h"
#include "platform/core/TextForm.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"

TEST(NamedValues, ColoursAndCursorsReadByNameAndWriteBackTheName) {
  EnsureUiApp();
  RegisterVisualClasses();
  const char text[] = R"(object Panel1: TPanel
  Left = 0
  Top = 0
  Width = 100
  Height = 50
  Color = clInfoBk
  Cursor = crHandPoint
  Font.Color = 255
end
)";
  std::unique_ptr<TComponent> c(ObjectTextToNewComponent(text));
  auto* panel = dynamic_cast<TPanel*>(c.get());
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->Color(), clInfoBk);
  EXPECT_EQ(panel->Cursor(), crHandPoint);
  EXPECT_EQ(panel->Font()->Color(), clRed);
  AnsiString back = ComponentToObjectText(panel);
  EXPECT_NE(back.Pos("Color = clInfoBk"), 0) << back;
  EXPECT_NE(back.Pos("Cursor = crHandPoint"), 0) << back;
  EXPECT_NE(back.Pos("Font.Color = clRed"), 0) << back;
}

TEST(NamedValues, AnUnknownColourNameIsAnError) {
  EnsureUiApp();
  RegisterVisualClasses();
  const char text[] = "object Panel1: TPanel\n  Color = clNoSuchColour\nend\n";
  EXPECT_THROW(ObjectTextToNewComponent(text), Exception);
}
