#include "platform/core/TypInfo.h"

#include <map>

#include "platform/core/AnsiText.h"

// --- enumerations -----------------------------------------------------------

namespace {

// "soANSI, soASCII" or "TFoo::kA, TFoo::kB" -> {"soANSI", "soASCII"}.
std::vector<AnsiString> SplitNames(const char* names) {
  std::vector<AnsiString> result;
  std::string_view s(names);
  while (!s.empty()) {
    size_t comma = s.find(',');
    std::string_view part = s.substr(0, comma);
    size_t b = part.find_first_not_of(" \t\r\n");
    size_t e = part.find_last_not_of(" \t\r\n");
    part = b == std::string_view::npos ? std::string_view() : part.substr(b, e - b + 1);
    size_t scope = part.rfind("::");
    if (scope != std::string_view::npos) part = part.substr(scope + 2);
    result.emplace_back(part);
    if (comma == std::string_view::npos) break;
    s = s.substr(comma + 1);
  }
  return result;
}

[[noreturn]] void PropertyError(const AnsiString& message) { throw EPropertyError(message); }

}  // namespace

TEnumTypeInfo::TEnumTypeInfo(const char* typeName, const char* names, std::vector<int> values)
    : name_(typeName) {
  std::vector<AnsiString> n = SplitNames(names);
  PAYROLL_ASSERT(n.size() == values.size(), "Enumeration names and values differ in number");
  for (size_t i = 0; i < n.size(); ++i) entries_.push_back({n[i], values[i]});
}

AnsiString TEnumTypeInfo::NameOf(int value) const {
  for (const Entry& e : entries_)
    if (e.value == value) return e.name;
  return AnsiString();
}

int TEnumTypeInfo::ValueOf(std::string_view name) const {
  for (const Entry& e : entries_)
    if (SameText(e.name, name)) return e.value;
  return -1;
}

const TEnumTypeInfo& BooleanTypeInfo() {
  static const TEnumTypeInfo info("Boolean", "False, True", {0, 1});
  return info;
}

// --- names of integer values ----------------------------------------------------

TIntegerIdents::TIntegerIdents(std::initializer_list<std::pair<const char*, std::int64_t>> entries) {
  for (const auto& e : entries) entries_.emplace_back(e.first, e.second);
}

AnsiString TIntegerIdents::NameOf(std::int64_t value) const {
  for (const auto& e : entries_)
    if (e.second == value) return e.first;
  return AnsiString();
}

bool TIntegerIdents::ValueOf(std::string_view name, std::int64_t& value) const {
  for (const auto& e : entries_)
    if (SameText(e.first, name)) {
      value = e.second;
      return true;
    }
  return false;
}

// --- classes ----------------------------------------------------------------

TClassInfo::TClassInfo(AnsiString name, const TClassInfo* parent, const std::type_info& type)
    : name_(std::move(name)), parent_(parent), type_(&type) {}

bool TClassInfo::InheritsFrom(const TClassInfo* ancestor) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->parent_)
    if (c == ancestor) return true;
  return false;
}

TComponent* TClassInfo::CreateComponent(TComponent* owner) const {
  if (!factory_) throw EClassNotFound("Cannot create an instance of " + name_);
  return factory_(owner);
}

const TPropInfo* TClassInfo::FindProperty(std::string_view name) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->parent_)
    for (const auto& p : c->props_)
      if (SameText(p->Name, name)) return p.get();
  return nullptr;
}

const TMethodInfo* TClassInfo::FindMethod(std::string_view name) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->parent_)
    for (const auto& m : c->methods_)
      if (SameText(m->Name(), name)) return m.get();
  return nullptr;
}

std::vector<const TPropInfo*> TClassInfo::Properties() const {
  std::vector<const TClassInfo*> chain;
  for (const TClassInfo* c = this; c != nullptr; c = c->parent_) chain.push_back(c);
  std::vector<const TPropInfo*> published, defined;
  auto listed = [&](const AnsiString& name) {
    for (auto* list : {&published, &defined})
      for (const TPropInfo* q : *list)
        if (SameText(q->Name, name)) return true;
    return false;
  };
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    for (const auto& p : (*it)->props_) {
      if (listed(p->Name)) continue;
      // A class may publish an ancestor's property again (with another
      // default): the most derived declaration stands in the first place.
      const TPropInfo* winner = FindProperty(p->Name);
      bool isDefined = winner->Kind == tkBinary || winner->Kind == tkStringList;
      (isDefined ? defined : published).push_back(winner);
    }
  published.insert(published.end(), defined.begin(), defined.end());
  return published;
}

TPropInfo& TClassInfo::AddProperty(std::unique_ptr<TPropInfo> prop) {
  for (const auto& p : props_)
    PAYROLL_ASSERT(!SameText(p->Name, prop->Name), "Property " + prop->Name + " published twice");
  props_.push_back(std::move(prop));
  return *props_.back();
}

void TClassInfo::AddMethod(std::unique_ptr<TMethodInfo> method) {
  methods_.push_back(std::move(method));
}

// --- the root classes' information -------------------------------------------

const TClassInfo* TObject::StaticClassInfo() {
  static const TClassInfo info("TObject", nullptr, typeid(TObject));
  return &info;
}
const TClassInfo* TObject::ClassInfo() const { return StaticClassInfo(); }

const TClassInfo* TPersistent::StaticClassInfo() {
  static const TClassInfo info("TPersistent", TObject::StaticClassInfo(), typeid(TPersistent));
  return &info;
}
const TClassInfo* TPersistent::ClassInfo() const { return StaticClassInfo(); }

// TComponent publishes Name, which the text form writes in the object's
// header instead, and Tag.
const TClassInfo* TComponent::StaticClassInfo() {
  static const TClassInfo info = [] {
    TClassInfo i("TComponent", TPersistent::StaticClassInfo(), typeid(TComponent));
    TPublisher<TComponent> p(i);
    p.Property("Name", &TComponent::Name, &TComponent::SetName).Stored(false);
    p.Property("Tag", &TComponent::Tag, &TComponent::SetTag).Default(0);
    return i;
  }();
  return &info;
}
const TClassInfo* TComponent::ClassInfo() const { return StaticClassInfo(); }

// --- class registry -----------------------------------------------------------

namespace {

struct TRegisteredClass {
  AnsiString name;
  const TClassInfo* info = nullptr;              // known
  const TClassInfo* (*make)() = nullptr;         // or built on first lookup
  bool explicitly = false;                       // by RegisterClass
  const TClassInfo* Get() {
    if (info == nullptr && make != nullptr) info = make();
    return info;
  }
};

std::map<AnsiString, TRegisteredClass>& Registry() {
  static std::map<AnsiString, TRegisteredClass> registry;  // keyed by upper-case name
  return registry;
}

}  // namespace

// An explicit registration takes a name over from a static one (two
// libraries, or a library and a test, may each have a class of one name);
// two explicit ones of one name are an error.
void RegisterClass(const TClassInfo* info) {
  AnsiString key = info->ClassName().UpperCase();
  auto& reg = Registry();
  auto it = reg.find(key);
  if (it != reg.end() && it->second.Get() != info && it->second.explicitly)
    throw EComponentError("A class named " + info->ClassName() + " already exists");
  reg[key] = TRegisteredClass{info->ClassName(), info, nullptr, true};
}

// Runs before main: must neither build class information nor throw.  The
// first static registration of a name stands.
void RegisterClassLazily(const char* name, const TClassInfo* (*info)()) {
  std::string_view bare(name);  // PAYROLL_PUBLISH(ns::TFoo) registers "TFoo"
  if (size_t scope = bare.rfind("::"); scope != std::string_view::npos) bare = bare.substr(scope + 2);
  AnsiString key = AnsiString(bare).UpperCase();
  auto& reg = Registry();
  if (reg.count(key) == 0) reg[key] = TRegisteredClass{AnsiString(bare), nullptr, info, false};
}

void UnRegisterClass(const TClassInfo* info) {
  auto& reg = Registry();
  auto it = reg.find(info->ClassName().UpperCase());
  if (it != reg.end() && it->second.Get() == info) reg.erase(it);
}

const TClassInfo* GetClass(std::string_view name) {
  auto& reg = Registry();
  auto it = reg.find(AnsiString(name).UpperCase());
  return it == reg.end() ? nullptr : it->second.Get();
}

const TClassInfo* FindClass(std::string_view name) {
  const TClassInfo* info = GetClass(name);
  if (info == nullptr) throw EClassNotFound("Class " + AnsiString(name) + " not found");
  return info;
}

// --- run-time access ----------------------------------------------------------

const TPropInfo* GetPropInfo(const TObject* instance, std::string_view name) {
  return instance == nullptr ? nullptr : instance->ClassInfo()->FindProperty(name);
}

bool IsPublishedProp(const TObject* instance, std::string_view name) {
  return GetPropInfo(instance, name) != nullptr;
}

bool PropIsType(const TObject* instance, std::string_view name, TTypeKind kind) {
  const TPropInfo* p = GetPropInfo(instance, name);
  if (p == nullptr) PropertyError("Property " + AnsiString(name) + " does not exist");
  return p->Kind == kind;
}

std::vector<const TPropInfo*> GetPropList(const TObject* instance) {
  return instance->ClassInfo()->Properties();
}

namespace {

const TPropInfo& Find(const TObject* instance, std::string_view name,
                      std::initializer_list<TTypeKind> kinds) {
  const TPropInfo* p = GetPropInfo(instance, name);
  if (p == nullptr) PropertyError("Property " + AnsiString(name) + " does not exist");
  for (TTypeKind k : kinds)
    if (p->Kind == k) return *p;
  PropertyError("Invalid property type");
}

void CheckWritable(const TPropInfo& p, bool has) {
  if (!has) PropertyError("Property " + p.Name + " is read-only");
}

constexpr std::initializer_list<TTypeKind> kOrdKinds = {tkInteger, tkChar, tkEnumeration, tkSet,
                                                       tkInt64};

}  // namespace

void CheckOrdValue(const TPropInfo& prop, std::int64_t value) {
  bool ok = true;
  switch (prop.Kind) {
    case tkInteger:
    case tkChar:
    case tkInt64:
      ok = value >= prop.MinValue && value <= prop.MaxValue;
      break;
    case tkEnumeration:
      ok = value >= INT32_MIN && value <= INT32_MAX && prop.EnumType->IsValid(static_cast<int>(value));
      break;
    case tkSet:
      for (int bit = 0; bit < 64; ++bit)
        if ((static_cast<std::uint64_t>(value) >> bit & 1) != 0 && !prop.EnumType->IsValid(bit)) ok = false;
      break;
    default:
      ok = false;
  }
  if (!ok) PropertyError("Invalid property value");
}

std::int64_t GetOrdProp(TObject* instance, std::string_view name) {
  return Find(instance, name, kOrdKinds).GetOrd(instance);
}

void SetOrdProp(TObject* instance, std::string_view name, std::int64_t value) {
  const TPropInfo& p = Find(instance, name, kOrdKinds);
  CheckWritable(p, static_cast<bool>(p.SetOrd));
  CheckOrdValue(p, value);
  p.SetOrd(instance, value);
}

AnsiString GetEnumProp(TObject* instance, std::string_view name) {
  const TPropInfo& p = Find(instance, name, {tkEnumeration});
  return p.EnumType->NameOf(static_cast<int>(p.GetOrd(instance)));
}

void SetEnumProp(TObject* instance, std::string_view name, std::string_view value) {
  const TPropInfo& p = Find(instance, name, {tkEnumeration});
  CheckWritable(p, static_cast<bool>(p.SetOrd));
  int v = p.EnumType->ValueOf(value);
  if (v < 0) PropertyError("Invalid property element: " + AnsiString(value));
  p.SetOrd(instance, v);
}

AnsiString SetToString(const TPropInfo& prop, std::int64_t bits, bool brackets) {
  AnsiString s;
  // Elements in ordinal order, as the class library lists them.
  for (int bit = 0; bit < 64; ++bit) {
    if ((static_cast<std::uint64_t>(bits) >> bit & 1) == 0) continue;
    if (!s.empty()) s += ',';
    AnsiString n = prop.EnumType->NameOf(bit);
    s += n.empty() ? AnsiString(std::to_string(bit)) : n;
  }
  return brackets ? "[" + s + "]" : s;
}

std::int64_t StringToSet(const TPropInfo& prop, std::string_view text) {
  AnsiString t = AnsiString(text).Trim();
  if (!t.empty() && t.front() == '[') {
    if (t.back() != ']') PropertyError("Invalid property value");
    t = t.substr(1, t.size() - 2);
  }
  std::uint64_t bits = 0;
  for (const AnsiString& raw : SplitNames(t.c_str())) {
    if (raw.empty()) {
      if (t.Trim().empty()) break;
      PropertyError("Invalid property element: ");
    }
    int v = prop.EnumType->ValueOf(raw);
    if (v < 0 || v >= 64) PropertyError("Invalid property element: " + raw);
    bits |= std::uint64_t{1} << v;
  }
  return static_cast<std::int64_t>(bits);
}

AnsiString GetSetProp(TObject* instance, std::string_view name, bool brackets) {
  const TPropInfo& p = Find(instance, name, {tkSet});
  return SetToString(p, p.GetOrd(instance), brackets);
}

void SetSetProp(TObject* instance, std::string_view name, std::string_view value) {
  const TPropInfo& p = Find(instance, name, {tkSet});
  CheckWritable(p, static_cast<bool>(p.SetOrd));
  p.SetOrd(instance, StringToSet(p, value));
}

AnsiString GetStrProp(TObject* instance, std::string_view name) {
  return Find(instance, name, {tkLString}).GetStr(instance);
}

void SetStrProp(TObject* instance, std::string_view name, const AnsiString& value) {
  const TPropInfo& p = Find(instance, name, {tkLString});
  CheckWritable(p, static_cast<bool>(p.SetStr));
  p.SetStr(instance, value);
}

double GetFloatProp(TObject* instance, std::string_view name) {
  return Find(instance, name, {tkFloat}).GetFloat(instance);
}

void SetFloatProp(TObject* instance, std::string_view name, double value) {
  const TPropInfo& p = Find(instance, name, {tkFloat});
  CheckWritable(p, static_cast<bool>(p.SetFloat));
  p.SetFloat(instance, value);
}

std::int64_t GetInt64Prop(TObject* instance, std::string_view name) {
  return Find(instance, name, {tkInt64, tkInteger}).GetOrd(instance);
}

void SetInt64Prop(TObject* instance, std::string_view name, std::int64_t value) {
  const TPropInfo& p = Find(instance, name, {tkInt64, tkInteger});
  CheckWritable(p, static_cast<bool>(p.SetOrd));
  CheckOrdValue(p, value);
  p.SetOrd(instance, value);
}

Variant GetVariantProp(TObject* instance, std::string_view name) {
  return Find(instance, name, {tkVariant}).GetVariant(instance);
}

void SetVariantProp(TObject* instance, std::string_view name, const Variant& value) {
  const TPropInfo& p = Find(instance, name, {tkVariant});
  CheckWritable(p, static_cast<bool>(p.SetVariant));
  p.SetVariant(instance, value);
}

TObject* GetObjectProp(TObject* instance, std::string_view name) {
  return Find(instance, name, {tkClass}).GetObject(instance);
}

void SetObjectProp(TObject* instance, std::string_view name, TObject* value) {
  const TPropInfo& p = Find(instance, name, {tkClass});
  CheckWritable(p, static_cast<bool>(p.SetObject));
  if (!p.AcceptsObject(value)) PropertyError("Invalid property value");
  p.SetObject(instance, value);
}

// --- events -------------------------------------------------------------------

const TMethodInfo* FindMethodFor(TObject* root, std::string_view name,
                                 const std::type_info& signature) {
  const TMethodInfo* m = root == nullptr ? nullptr : root->ClassInfo()->FindMethod(name);
  if (m == nullptr) PropertyError("Method " + AnsiString(name) + " not found");
  if (m->Signature() != signature)
    PropertyError("Method " + AnsiString(name) + " does not match the event");
  return m;
}
