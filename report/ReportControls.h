// TrbControl and TrbNonVisualControl: the objects of a dialog page.
//
// A dialog page (TrbPage::Type 1) is a form that the report shows before
// it forms any report page (TrbPageFormer::InitDialog): each TrbControl's
// control is placed on that form at the object's bounds, the page script
// runs once (it may set MODALRESULT), then the form is shown modally; a
// result of 2 (cancel) cancels the whole preparation.  A non-visual control
// stands for a component that has no place on the form.
//
// The report engine knows no concrete control: an add-in class derives
// from one of these two, gives it its class-library control or component
// (SetControl, SetComponent) and registers itself with rbRegisterAddIn, so
// that templates naming it load.  The template stores the view record of
// TrbView; a class that keeps more writes it after.
//
//   class TrbEditControl : public TrbControl {
//    public:
//     TrbEditControl() { SetControl(new TEdit(nullptr)); BaseName = "Edit"; }
//     AnsiString ClassName() const override { return "TrbEditControl"; }
//   };
//   rbRegisterAddIn("TrbEditControl", [] { return new TrbEditControl; });
//
// Layer: report (platform/ui beneath).
#pragma once

#include <memory>

#include "report/ReportParser.h"
#include "report/ReportView.h"

class TComponent;
class TControl;
class TrbPage;

class TrbControl : public TrbView {
 public:
  TrbControl();
  ~TrbControl() override;
  AnsiString ClassName() const override { return "TrbControl"; }

  // The wrapped control (owned); nullptr for none.
  TControl* Control() const { return control_.get(); }
  void SetControl(TControl* control);
  // The dialog page the control belongs to while the page is shown.
  TrbPage* OwnerPage = nullptr;

  // Sizes the wrapped control to the object's bounds, then paints it.
  void Draw(TCanvas* canvas) override;
  // Paints the control onto canvas at (x, y): a (dx + 1) x (dy + 1)
  // picture on the button face.
  virtual void PaintDesignControl(TCanvas* canvas);

  void DefineProperties() override;
  // VISIBLE also shows or hides the wrapped control.
  void SetPropValue(const AnsiString& name, const Variant& value) override;

 private:
  std::unique_ptr<TControl> control_;
};

class TrbNonVisualControl : public TrbControl {
 public:
  TrbNonVisualControl();
  ~TrbNonVisualControl() override;
  AnsiString ClassName() const override { return "TrbNonVisualControl"; }

  // The wrapped component (owned); nullptr for none.
  TComponent* Component() const { return component_.get(); }
  void SetComponent(TComponent* component);
  TrbVariables Variables;

  // Always 28 x 28: a raised edge round its picture.
  void Draw(TCanvas* canvas) override;
  void DefineProperties() override;
  // NAME also renames the wrapped component.
  void SetPropValue(const AnsiString& name, const Variant& value) override;

 private:
  std::unique_ptr<TComponent> component_;
};
