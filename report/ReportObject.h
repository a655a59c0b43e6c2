// TrbObject: the root of the report's object model (pages, bands, texts,
// pictures, lines).  Scripts, the report's value lookup ("object.property")
// and the function library ("object.method") reach objects only through
// these operations.  Every override first calls the inherited operation;
// a get or method override acts only when the inherited call left Null.
#pragma once

#include "platform/core/AnsiString.h"
#include "platform/core/Variant.h"

class TrbObject {
 public:
  TrbObject() = default;
  virtual ~TrbObject() = default;
  TrbObject(const TrbObject&) = delete;
  TrbObject& operator=(const TrbObject&) = delete;

  virtual void SetPropValue(const AnsiString& name, const Variant& value) {}
  virtual Variant GetPropValue(const AnsiString& name) { return Variant::Null(); }
  // Arguments are argument texts as written; a method evaluates those it needs.
  virtual Variant DoMethod(const AnsiString& name, const Variant& p1, const Variant& p2,
                           const Variant& p3) {
    return Variant::Null();
  }
  virtual void DefineProperties() {}
};
