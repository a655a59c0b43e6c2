// Placing controls on the main window's pages in code: the form resource
// holds the pages but not every control on them.  A control already made
// (found by name among the owner's components) is returned as it is, so
// installing twice adds nothing.
// App layer.
#pragma once

#include <utility>

#include "platform/ui/Buttons.h"
#include "platform/ui/ExtCtrls.h"

namespace payroll {

template <class T>
T* Place(TComponent* owner, TWinControl* parent, const char* name, int left, int top, int width, int height) {
  if (auto* found = dynamic_cast<T*>(owner->FindComponent(name))) return found;
  auto* c = new T(owner);
  c->SetName(name);
  c->SetParent(parent);
  c->SetBounds(left, top, width, height);
  return c;
}

inline TSpeedButton* PlaceButton(TComponent* owner, TWinControl* parent, const char* name, const char* caption,
                                 int left, int top, TNotifyEvent onClick) {
  auto* b = Place<TSpeedButton>(owner, parent, name, left, top, 80, 24);
  b->SetCaption(caption);
  b->OnClick = std::move(onClick);
  return b;
}

// A notebook page by its own name (the notebook's name list may lag
// behind a page read last from the form).
inline TWinControl* PageOf(TNotebook* book, const char* name) {
  for (int i = 0; i < book->PageCount(); ++i)
    if (book->PageAt(i)->Caption() == name) return book->PageAt(i);
  return nullptr;
}

}  // namespace payroll
