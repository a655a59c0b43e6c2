// The data grid's side of editing: its in-place editor and the write-back
// of the edited cell by the column's kind.
//
//   no field       UpdateDataValues(EditText, EditText, text)
//   ckPickList     OnNotInList is told of a text that is no list item;
//                  the text is written
//   ckKeyPickList  the key paired with the text (KeyList[PickList.IndexOf])
//                  is written; a text in no line asks OnNotInList, which
//                  may add it (RecheckInList), else the field becomes null
//   lookup field   the key values EditValue go to the key fields; a text
//                  the lookup dataset lacks asks OnNotInList first
//   any other      the text is written through the field's Text
//
// A write the field refuses (a number field given "abc") raises an
// EDataCellError naming the column and the text; the link keeps the change
// pending and the editor keeps its text, so nothing typed is lost and the
// user can correct it.
//
// Layer: grid.
#include "grid/DBGridEx.h"
#include "grid/GridDataLinkEx.h"
#include "grid/InplaceEditEx.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Forms.h"

TInplaceEdit* TCustomDBGridEx::CreateEditor() { return new TDBGridInplaceEdit(this); }

bool TCustomDBGridEx::FocusStaysInside(bool orGrid) const {
  TCustomForm* form = GetParentForm();
  TWinControl* active = form ? form->ActiveControl() : nullptr;
  if (active == this) return orGrid;
  for (TWinControl* c = active; c; c = c->Parent())
    if (c == this) return true;
  return false;
}

bool TCustomDBGridEx::CanEditModify() {
  int i = SelectedIndex();
  if (readOnly_ || i < 0 || !dataLink_->Active() || dataLink_->ReadOnly()) return false;
  if (!AllowedUpdate()) return false;
  return columns_->Items(i)->CanModify(true);
}

namespace {

void WriteByKind(TColumnEx* c, AnsiString text, Variant value) {
  TField* f = c->Field();
  if (f == nullptr) {
    c->UpdateDataValues(text, Variant(text), true);
    return;
  }
  switch (c->ColumnKind()) {
    case ckPickList: {
      if (c->OnNotInList && IndexOfText(c->PickList(), text, false) == -1) {
        bool recheck = false;
        c->OnNotInList(c, text, recheck);
      }
      c->UpdateDataValues(text, Variant(text), true);
      return;
    }
    case ckKeyPickList: {
      TStrings* picks = c->PickList();
      TStrings* keys = c->KeyList();
      int i = picks->IndexOf(text);
      if (i >= 0 && i < keys->Count()) {
        value = Variant(keys->Strings(i));
      } else if (i == -1) {
        value = Variant::Null();
        if (c->OnNotInList && !text.empty()) {
          bool recheck = false;
          c->OnNotInList(c, text, recheck);
          if (recheck) {
            i = picks->IndexOf(text);
            if (i >= 0 && i < keys->Count()) value = Variant(keys->Strings(i));
          }
        }
      }
      c->UpdateDataValues(text, value, false);
      return;
    }
    default:
      break;
  }
  if (f->Lookup() && !f->KeyFields().empty()) {
    TDataSet* lookup = f->LookupDataSet();
    auto locate = [&]() {
      return lookup && lookup->Locate(f->LookupResultField(), Variant(text),
                                      TLocateOptions{loCaseInsensitive});
    };
    if (value.IsNull() && !text.empty() && c->OnNotInList && !locate()) {
      bool recheck = false;
      c->OnNotInList(c, text, recheck);
      if (recheck && locate()) value = lookup->FieldValues(f->LookupKeyFields());
    } else if (value.IsNull() && !text.empty() && locate()) {
      value = lookup->FieldValues(f->LookupKeyFields());
    }
    c->UpdateDataValues(text, value, false);
    return;
  }
  c->UpdateDataValues(text, Variant(text), true);
}

}  // namespace

void TCustomDBGridEx::UpdateData() {
  int i = SelectedIndex();
  if (i < 0) return;
  TColumnEx* c = columns_->Items(i);
  try {
    WriteByKind(c, editedText_, EditValue());
  } catch (const EDataCellError&) {
    throw;
  } catch (const Exception& e) {
    // Say which cell and which text; the change stays pending (the link
    // keeps it), the editor keeps the text.
    throw EDataCellError("\"" + editedText_ + "\" 不能写入“" + c->Title()->Caption() +
                         "”列: " + e.Message());
  }
}
