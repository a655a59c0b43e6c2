// TrbObject: the root of the report's object model (pages, bands, texts,
// pictures, lines).  Scripts, the report's value lookup ("object.property")
// and the function library ("object.method") reach objects only through the
// property and method operations; the design surface and help read the
// property list.  Every override of SetPropValue/GetPropValue/DoMethod
// first calls the inherited operation; a get or method override acts only
// when the inherited call left Null.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/Variant.h"

// Kind bits of a property.
enum : std::uint16_t {
  rbpText = 1, rbpInteger = 2, rbpFloat = 4, rbpBoolean = 8, rbpColor = 16, rbpEnum = 32,
  rbpEditor = 64, rbpUnits = 128, rbpSpecial = 256
};

struct TrbProperty {
  AnsiString Name;  // as registered ("FrameWidth"); compared ignoring case
  std::uint16_t Type = 0;
  std::vector<AnsiString> EnumNames;
  std::vector<Variant> EnumValues;
  std::function<void()> Editor;  // design-surface editor; none in this program
};

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
  // Fills the property list (emptied first).
  virtual void DefineProperties() { ClearProperties(); }

  void ClearProperties() { properties_.clear(); }
  void AddProperty(const AnsiString& name, std::uint16_t type, std::function<void()> editor = {});
  // names: "a;b;c"; values: one per name.
  void AddEnumProperty(const AnsiString& name, const AnsiString& names, std::vector<Variant> values);
  TrbProperty* FindProperty(const AnsiString& name);
  const std::vector<TrbProperty>& Properties() const { return properties_; }

 private:
  std::vector<TrbProperty> properties_;
};

// DefineProperties when the list is empty; nothing for nullptr.
void rbEnsureProperties(TrbObject* object);
