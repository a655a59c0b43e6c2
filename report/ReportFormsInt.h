// Building blocks of the report engine's forms (report/ only): controls
// placed on a parent at a position, captions from the resource strings.
#pragma once

#include "platform/ui/Controls.h"
#include "platform/ui/StdCtrls.h"

namespace rbforms {

template <class T>
T* Place(TWinControl* parent, int left, int top, int width, int height) {
  T* c = new T(parent);
  c->SetParent(parent);
  c->SetBounds(left, top, width, height);
  return c;
}

inline TLabel* Label(TWinControl* parent, int left, int top, const AnsiString& caption) {
  TLabel* l = new TLabel(parent);
  l->SetParent(parent);
  l->SetLeft(left);
  l->SetTop(top);
  l->SetCaption(caption);
  return l;
}

inline TButton* Button(TWinControl* parent, int left, int top, const AnsiString& caption, TModalResult result) {
  TButton* b = Place<TButton>(parent, left, top, 75, 25);
  b->SetCaption(caption);
  b->SetModalResult(result);
  return b;
}

}  // namespace rbforms
