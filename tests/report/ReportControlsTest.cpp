// Dialog pages: an add-in control class loads from a template, its control
// is shown on the page's form with the page's look, the page script runs
// and its MODALRESULT (or the user's answer) decides whether the report is
// formed; the objects' properties by name.
#include "report/ReportControls.h"

#include <gtest/gtest.h>

#include <QTimer>

#include "MemDataSet.h"
#include "ReportTestSupport.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"
#include "report/ReportBand.h"
#include "report/ReportComponent.h"
#include "report/ReportPage.h"

namespace {

// A dialog control as a program would add one: an edit box.
class TrbTestEdit : public TrbControl {
 public:
  TrbTestEdit() {
    SetControl(new TEdit(nullptr));
    BaseName = "Edit";
  }
  AnsiString ClassName() const override { return "TrbTestEdit"; }
};

class TrbTestTimer : public TrbNonVisualControl {
 public:
  TrbTestTimer() { SetComponent(new TComponent(nullptr)); }
  AnsiString ClassName() const override { return "TrbTestTimer"; }
};

struct DialogPages : ::testing::Test, TReportBench {
  DialogPages() {
    rbRegisterAddIn("TrbTestEdit", [] { return new TrbTestEdit; });
    rbRegisterAddIn("TrbTestTimer", [] { return new TrbTestTimer; });
    AddRows(2);
    Band(btMasterData, 0, 20, "DS");
    Text(0, 0, 100, 20, "[DS.\"Name\"]");
    dialog = Report->Pages().Add();
    dialog->Type = 1;
    dialog->Caption = "选择月份";
    dialog->Width = 300;
    dialog->Height = 200;
    auto* edit = new TrbTestEdit;
    edit->Name = "Edit1";
    edit->SetBounds(10, 20, 120, 24);
    dialog->Add(edit);
    auto* timer = new TrbTestTimer;
    timer->Name = "Timer1";
    timer->SetBounds(200, 20, 28, 28);
    dialog->Add(timer);
  }
  // The template saved and read back into a new report (as from a file).
  std::unique_ptr<TrbReport> Reloaded() {
    TMemoryStream m;
    Report->SaveToStream(&m);
    m.SetPosition(0);
    auto r = std::make_unique<TrbReport>(&Form);
    EXPECT_TRUE(r->LoadFromStream(&m));
    return r;
  }
  TrbPage* dialog = nullptr;
};

TEST_F(DialogPages, ATemplateWithDialogControlsLoadsThemBack) {
  std::unique_ptr<TrbReport> back = Reloaded();
  ASSERT_EQ(back->Pages().Count(), 2);
  TrbPage* page = back->Pages().Pages(1);
  EXPECT_EQ(page->Type, 1);
  ASSERT_EQ(page->Objects.size(), 2u);
  auto* edit = dynamic_cast<TrbTestEdit*>(page->Objects[0].get());
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->Name, "Edit1");
  EXPECT_EQ(edit->dx, 120);
  ASSERT_NE(dynamic_cast<TEdit*>(edit->Control()), nullptr);
  EXPECT_NE(dynamic_cast<TrbTestTimer*>(page->Objects[1].get()), nullptr);
}

TEST_F(DialogPages, TheScriptsModalResultDecidesWithoutShowingTheForm) {
  for (int result : {1, 2}) {
    SCOPED_TRACE(result);
    dialog->Script.Clear();
    dialog->Script.Add("begin");
    dialog->Script.Add("  Edit1.Visible := False;");
    dialog->Script.Add("  ModalResult := " + IntToStr(result));
    dialog->Script.Add("end");
    std::unique_ptr<TrbReport> back = Reloaded();
    EXPECT_EQ(back->PrepareReport(), result == 1);
    EXPECT_EQ(back->EMFPages().Count(), result == 1 ? 1 : 0);
  }
}

TEST_F(DialogPages, TheFormShowsTheControlsAndItsAnswerDecides) {
  for (TModalResult answer : {mrOk, mrCancel}) {
    SCOPED_TRACE(answer);
    TControl* control = nullptr;
    AnsiString caption;
    bool controlShown = false;
    QTimer::singleShot(0, [&] {
      auto* edit = dynamic_cast<TrbTestEdit*>(Report->Pages().Pages(1)->Objects[0].get());
      control = edit->Control();
      auto* form = dynamic_cast<TForm*>(control->Parent());
      if (!form) form = dynamic_cast<TForm*>(Screen->ActiveForm());
      ASSERT_NE(form, nullptr);
      caption = form->Caption();
      controlShown = control->Visible() && control->Parent() == form;
      form->SetModalResult(answer);
    });
    EXPECT_EQ(Report->PrepareReport(), answer == mrOk);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(caption, "选择月份");
    EXPECT_TRUE(controlShown);
    EXPECT_EQ(control->Parent(), nullptr) << "back off the form once the page is done";
    EXPECT_EQ(Report->EMFPages().Count(), answer == mrOk ? 1 : 0);
  }
}

TEST_F(DialogPages, PropertiesByNameReachTheWrappedControls) {
  TrbTestEdit edit;
  edit.SetPropValue("Visible", false);
  EXPECT_FALSE(edit.Control()->Visible());
  edit.SetPropValue("Width", 80);
  EXPECT_EQ(edit.GetPropValue("WIDTH").AsInteger(), 80);
  EXPECT_EQ(edit.FillColor, clBtnFace);
  EXPECT_EQ(edit.FrameTyp, 0);
  edit.DefineProperties();
  EXPECT_NE(edit.FindProperty("Restrictions"), nullptr);
  EXPECT_EQ(edit.FindProperty("Memo"), nullptr);

  TrbTestTimer timer;
  EXPECT_EQ(timer.dx, 28);
  timer.SetPropValue("Name", "Timer2");
  EXPECT_EQ(timer.Component()->Name(), "Timer2");
  timer.DefineProperties();
  EXPECT_EQ(timer.FindProperty("Left"), nullptr);
}

}  // namespace
