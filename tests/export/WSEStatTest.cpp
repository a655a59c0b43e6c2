// The progress window: bar, texts, Cancel, and the windows it disables.
#include "export/WSEStat.h"

#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/StdCtrls.h"

namespace {

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureUiApp(); }
  void TearDown() override { HideProcess(); }
};

TEST_F(ProcessTest, ShowsTextsAndABarOnlyWithARange) {
  ShowProcess("WSExport 3.80", "Exporting...", "&Cancel", 3, 10, 0);
  TfrmWSEProcess* f = ProcessForm();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->Caption(), "WSExport 3.80");
  EXPECT_EQ(f->lblStatus->Caption(), "Exporting...");
  EXPECT_EQ(f->btnCancel->Caption(), "&Cancel");
  EXPECT_TRUE(f->ProgressBar->Visible());
  EXPECT_EQ(f->ProgressBar->Position(), 3);
  EXPECT_EQ(f->ProgressBar->Max(), 10);
  EXPECT_EQ(f->ClientWidth(), 442);
  EXPECT_EQ(f->ClientHeight(), 87);
  UpdateProcess("Row 7", 7);
  EXPECT_EQ(f->lblStatus->Caption(), "Row 7");
  EXPECT_EQ(f->ProgressBar->Position(), 7);

  ShowProcess("x", "y", "z", 0, 0, 0);  // replaces the first
  EXPECT_NE(ProcessForm(), nullptr);
  EXPECT_FALSE(ProcessForm()->ProgressBar->Visible());
}

TEST_F(ProcessTest, CancelIsAFlagOfTheWindowShownNow) {
  EXPECT_FALSE(ProcessCanceled());  // no window
  UpdateProcess("nothing", 1);      // no window: nothing happens
  ShowProcess("c", "s", "&Cancel", 0, 5, 0);
  EXPECT_FALSE(ProcessCanceled());
  ProcessForm()->btnCancel->Click();
  EXPECT_TRUE(ProcessCanceled());
  ShowProcess("c", "s", "&Cancel", 0, 5, 0);
  EXPECT_FALSE(ProcessCanceled());  // a new window starts uncancelled
  HideProcess();
  EXPECT_EQ(ProcessForm(), nullptr);
  EXPECT_FALSE(ProcessCanceled());
}

TEST_F(ProcessTest, OtherWindowsAreDisabledWhileItShows) {
  TForm main(nullptr);
  main.Show();
  TForm disabledBefore(nullptr);
  disabledBefore.SetEnabled(false);
  ShowProcess("c", "s", "&Cancel", 0, 5, 0);
  EXPECT_FALSE(main.Enabled());
  EXPECT_TRUE(ProcessForm()->Enabled());
  HideProcess();
  EXPECT_TRUE(main.Enabled());
  EXPECT_FALSE(disabledBefore.Enabled());  // was not ours to enable
}

TEST_F(ProcessTest, AWindowFreedMeanwhileIsNotTouched) {
  auto* other = new TForm(nullptr);
  ShowProcess("c", "s", "&Cancel", 0, 5, 0);
  delete other;
  HideProcess();  // must not reach the freed window
  EXPECT_EQ(ProcessForm(), nullptr);
}

}  // namespace
