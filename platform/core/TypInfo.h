// TypInfo: the registry of published properties, published methods and
// component classes: what the text form (TextForm.h) reads and writes, and
// what code asks at run time ("has this control a DataSource property?").
//
// Declaring a class.  In the class body:
//
//     class TButton : public TControl {
//       PAYROLL_CLASS(TButton, TControl)
//      public:
//       ...
//     };
//
// and in one .cpp file, the published properties in the order they stream:
//
//     PAYROLL_PUBLISH(TButton) {
//       p.Property("Caption", &TButton::Caption, &TButton::SetCaption);
//       p.Property("Left", &TButton::Left, &TButton::SetLeft).Default(0);
//       p.Property("Align", &TButton::Align, &TButton::SetAlign).Default(alNone);
//       p.Property("Color", &TButton::Color, &TButton::SetColor)
//           .Default(clBtnFace).Idents(kColorIdents);  // "Color = clRed"
//       p.Property("Font", &TButton::Font, &TButton::SetFont);  // sub-object
//       p.Property("DataSource", &TButton::DataSource, &TButton::SetDataSource);
//       p.Event("OnClick", &TButton::OnClick);
//       p.Method("Button1Click", &TButton::Button1Click);  // a root's handler
//     }
//
// The kind of a property follows from its getter's type:
//   bool                      tkEnumeration (False, True)
//   enumeration E             tkEnumeration; E's names come from
//                             PAYROLL_ENUM_NAMES(E, e1, e2, ...) next to E
//   other integers, 32 bits   tkInteger (unsigned: 0..4294967295)
//   64-bit integers           tkInt64
//   char                      tkChar
//   double, TDateTime         tkFloat
//   AnsiString                tkLString
//   Variant                   tkVariant (written unless Unassigned)
//   TSet<E, N>                tkSet (N <= 64), element names as for E
//   T* (T a TComponent)       tkClass, a reference to a component that the
//                             property does not own; resolved by name
//   T* (T another TPersistent) tkClass, a sub-object owned by the instance
//                             (Font, a collection, a string list): it streams
//                             its own properties ("Font.Name = ..."; a
//                             TStrings its lines as "Lines.Strings = (...)"),
//                             and needs no setter
// Binary(...) declares bytes written as { hex } and StringList(...) a list of
// strings written as ( 'a' 'b' ); both are the class library's "defined
// properties" and stream after every published one.  Event(...) declares a
// std::function member OnX; the text form binds it to a method that the
// root (form, data module) publishes with Method(...).
//
// Defaults and storage: a value equal to the declared Default(...) is not
// written.  Without Default, ordinal properties (integers, enumerations,
// booleans, chars, sets) are always written, strings are skipped when empty,
// floats and 64-bit integers when zero, references when nil, events when
// unassigned.  Stored(false) or Stored(&C::IsXStored) keeps a property out.
// Properties without a setter are not streamed, except sub-objects.
//
// A class may publish an ancestor's property again (to change its default);
// it keeps the ancestor's place in the streaming order.
// Overloaded getters (a const and a non-const Font()) need a cast to pick one.
// Declarations run once, lazily, on first use of a class's StaticClassInfo():
// they must not ask for the class info of other classes than the base.
//
// Class registry: PAYROLL_PUBLISH also registers the class for FindClass
// when its object file is linked in.  A class that only text creates by
// name, in a library whose object file nothing else references, must also be
// listed in a registration function that the program calls at start-up
// (RegisterClasses<TLabel, TEdit, ...>()).  Class names compare ignoring
// ASCII case.  Standard library only.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "platform/core/Component.h"
#include "platform/core/DateTime.h"
#include "platform/core/Variant.h"

enum TTypeKind {
  tkUnknown, tkInteger, tkChar, tkEnumeration, tkFloat, tkString, tkSet, tkClass,
  tkMethod, tkWChar, tkLString, tkWString, tkVariant, tkArray, tkRecord,
  tkInterface, tkInt64, tkDynArray,
  // Defined properties: written after the published ones.
  tkBinary, tkStringList
};

// --- enumerations -----------------------------------------------------------

// Names of an enumeration's values, in declaration order.  Names compare
// ignoring ASCII case, as the class library's GetEnumValue does.
class TEnumTypeInfo {
 public:
  // names: the enumerators as written in the source, separated by commas
  // (scope qualifiers are dropped); values: the same enumerators.
  template <class E>
  TEnumTypeInfo(const char* typeName, const char* names, std::initializer_list<E> values)
      : TEnumTypeInfo(typeName, names, ToInts(values)) {}
  TEnumTypeInfo(const char* typeName, const char* names, std::vector<int> values);

  const AnsiString& Name() const { return name_; }
  int Count() const { return static_cast<int>(entries_.size()); }
  // "" when no enumerator has the value.
  AnsiString NameOf(int value) const;
  // -1 when no enumerator has the name.
  int ValueOf(std::string_view name) const;
  bool IsValid(int value) const { return !NameOf(value).empty(); }
  // Enumerators in declaration order.
  int ValueAt(int i) const { return entries_[static_cast<size_t>(i)].value; }
  const AnsiString& NameAt(int i) const { return entries_[static_cast<size_t>(i)].name; }

 private:
  template <class E>
  static std::vector<int> ToInts(std::initializer_list<E> values) {
    std::vector<int> r;
    for (E e : values) r.push_back(static_cast<int>(e));
    return r;
  }
  struct Entry {
    AnsiString name;
    int value;
  };
  AnsiString name_;
  std::vector<Entry> entries_;
};

const TEnumTypeInfo& BooleanTypeInfo();
inline const TEnumTypeInfo& EnumTypeInfoOf(bool*) { return BooleanTypeInfo(); }

// Publishes the names of enumeration E; write it in E's namespace, after E
// (for an enumeration inside a class, after the class, qualified:
// PAYROLL_ENUM_NAMES(TFoo::TKind, TFoo::kA, TFoo::kB)).  The enumerators may
// have any values; each keeps its own.
//   enum TSortOrder { soANSI, soASCII };
//   PAYROLL_ENUM_NAMES(TSortOrder, soANSI, soASCII)
#define PAYROLL_ENUM_NAMES(E, ...)                                      \
  inline const ::TEnumTypeInfo& EnumTypeInfoOf(E*) {                    \
    static const ::TEnumTypeInfo info(#E, #__VA_ARGS__, {__VA_ARGS__}); \
    return info;                                                        \
  }

// Name of an enumerator ("soANSI"), "" for a value without a name.
template <class E>
AnsiString EnumName(E value) {
  return EnumTypeInfoOf(static_cast<E*>(nullptr)).NameOf(static_cast<int>(value));
}

// --- names of integer values ----------------------------------------------------

// Names for some values of an integer property: colours ("clBtnFace"),
// cursors ("crHandPoint"), character sets ("GB2312_CHARSET").  The text
// form writes the name where a value has one and reads names and numbers.
// Declare it static and attach it with .Idents(...).
class TIntegerIdents {
 public:
  TIntegerIdents(std::initializer_list<std::pair<const char*, std::int64_t>> entries);
  // "" when the value has no name.
  AnsiString NameOf(std::int64_t value) const;
  // False when no value has the name (names ignore ASCII case).
  bool ValueOf(std::string_view name, std::int64_t& value) const;

 private:
  std::vector<std::pair<AnsiString, std::int64_t>> entries_;
};

// --- published methods -----------------------------------------------------

class TMethodInfo;

// What an event holds when the text form (or BindMethod) bound it: the
// object whose published method runs, and that method.
struct TMethodRef {
  TObject* Data = nullptr;
  const TMethodInfo* Method = nullptr;
};

class TMethodCallerBase {
 public:
  virtual ~TMethodCallerBase() = default;
};

template <class Sig>
class TMethodCaller;
template <class R, class... A>
class TMethodCaller<R(A...)> : public TMethodCallerBase {
 public:
  virtual R Invoke(TObject* self, A... args) const = 0;
};

template <class B, class Sig>
class TMemberCaller;
template <class B, class R, class... A>
class TMemberCaller<B, R(A...)> final : public TMethodCaller<R(A...)> {
 public:
  explicit TMemberCaller(R (B::*method)(A...)) : method_(method) {}
  R Invoke(TObject* self, A... args) const override {
    return (static_cast<B*>(self)->*method_)(std::forward<A>(args)...);
  }

 private:
  R (B::*method_)(A...);
};

// A published method: its name, its signature and a typed caller.
class TMethodInfo {
 public:
  TMethodInfo(AnsiString name, const std::type_info& signature,
              std::unique_ptr<TMethodCallerBase> caller)
      : name_(std::move(name)), signature_(&signature), caller_(std::move(caller)) {}
  const AnsiString& Name() const { return name_; }
  const std::type_info& Signature() const { return *signature_; }
  const TMethodCallerBase* Caller() const { return caller_.get(); }

 private:
  AnsiString name_;
  const std::type_info* signature_;
  std::unique_ptr<TMethodCallerBase> caller_;
};

// The callable that a bound event's std::function holds; it is how the
// writer finds the method's name again (std::function::target).
template <class Sig>
struct TMethodThunk;
template <class R, class... A>
struct TMethodThunk<R(A...)> {
  TMethodRef ref;
  R operator()(A... args) const {
    auto* caller = static_cast<const TMethodCaller<R(A...)>*>(ref.Method->Caller());
    return caller->Invoke(ref.Data, std::forward<A>(args)...);
  }
};

// --- properties -------------------------------------------------------------

struct TPropInfo {
  AnsiString Name;
  TTypeKind Kind = tkUnknown;
  const TEnumTypeInfo* EnumType = nullptr;    // tkEnumeration; element type of tkSet
  const std::type_info* ClassType = nullptr;  // tkClass: the declared class
  bool IsComponentRef = false;                // tkClass: a reference, not owned
  std::int64_t MinValue = 0, MaxValue = 0;    // tkInteger, tkChar, tkInt64
  const TIntegerIdents* Idents = nullptr;     // tkInteger, tkInt64: value names
  const std::type_info* EventSignature = nullptr;  // tkMethod

  bool HasDefault = false;
  std::int64_t OrdDefault = 0;
  double FloatDefault = 0;
  AnsiString StrDefault;
  bool StoredFlag = true;
  std::function<bool(TObject*)> StoredFn;  // overrides StoredFlag when set

  // Accessors; only those of the property's kind are set.  The instance is
  // of the declaring class (or derived from it).
  std::function<std::int64_t(TObject*)> GetOrd;  // integers, chars, enums, sets as bits
  std::function<void(TObject*, std::int64_t)> SetOrd;
  std::function<double(TObject*)> GetFloat;
  std::function<void(TObject*, double)> SetFloat;
  std::function<Variant(TObject*)> GetVariant;
  std::function<void(TObject*, const Variant&)> SetVariant;
  std::function<AnsiString(TObject*)> GetStr;  // tkLString; tkBinary bytes
  std::function<void(TObject*, const AnsiString&)> SetStr;
  std::function<TObject*(TObject*)> GetObject;
  std::function<void(TObject*, TObject*)> SetObject;
  std::function<bool(const TObject*)> AcceptsObject;  // value is of ClassType
  std::function<bool(TObject*, TMethodRef&)> GetMethod;  // false: unassigned
  std::function<void(TObject*, const TMethodRef&)> SetMethod;  // Method nullptr clears
  std::function<std::vector<AnsiString>(TObject*)> GetList;
  std::function<void(TObject*, const std::vector<AnsiString>&)> SetList;

  bool IsWritable() const {
    return SetOrd || SetFloat || SetVariant || SetStr || SetObject || SetMethod || SetList;
  }
  // Stored(false)/Stored(predicate) as declared, for this instance.
  bool IsStored(TObject* instance) const {
    return StoredFn ? StoredFn(instance) : StoredFlag;
  }
};

// --- classes ----------------------------------------------------------------

class TClassInfo {
 public:
  TClassInfo(AnsiString name, const TClassInfo* parent, const std::type_info& type);
  TClassInfo(TClassInfo&&) = default;

  const AnsiString& ClassName() const { return name_; }
  const TClassInfo* Parent() const { return parent_; }
  const std::type_info& Type() const { return *type_; }
  bool InheritsFrom(const TClassInfo* ancestor) const;

  // Component classes with a public constructor taking the owner.
  bool CanCreate() const { return static_cast<bool>(factory_); }
  // Raises EClassNotFound "Cannot create an instance of %s" when !CanCreate().
  TComponent* CreateComponent(TComponent* owner) const;

  // This class's own declarations, in declaration order.
  const std::vector<std::unique_ptr<TPropInfo>>& OwnProperties() const { return props_; }
  const std::vector<std::unique_ptr<TMethodInfo>>& OwnMethods() const { return methods_; }
  // Searches this class and its ancestors; nullptr when absent.
  const TPropInfo* FindProperty(std::string_view name) const;
  const TMethodInfo* FindMethod(std::string_view name) const;
  // Every property, ancestors' first, published ones before defined ones
  // (the streaming order).
  std::vector<const TPropInfo*> Properties() const;

  // Used while declaring (TPublisher).
  TPropInfo& AddProperty(std::unique_ptr<TPropInfo> prop);
  void AddMethod(std::unique_ptr<TMethodInfo> method);
  void SetFactory(std::function<TComponent*(TComponent*)> f) { factory_ = std::move(f); }

 private:
  AnsiString name_;
  const TClassInfo* parent_;
  const std::type_info* type_;
  std::function<TComponent*(TComponent*)> factory_;
  std::vector<std::unique_ptr<TPropInfo>> props_;
  std::vector<std::unique_ptr<TMethodInfo>> methods_;
};

// The class information of an object: its most derived declared class.
inline const TClassInfo* ClassInfoOf(const TObject* obj) { return obj->ClassInfo(); }

// --- value traits (how a C++ type maps to a property kind) -------------------

namespace typinfo_detail {

template <class T>
struct IsTSet : std::false_type {};
template <class E, std::size_t N>
struct IsTSet<TSet<E, N>> : std::true_type {
  using Element = E;
  static constexpr std::size_t kSize = N;
};

template <class T, class = void>
struct Traits {
  static_assert(sizeof(T) == 0,
                "this type cannot be a published property (a class property needs the "
                "complete class: include its header where the properties are declared)");
};

template <>
struct Traits<bool> {
  static constexpr TTypeKind kKind = tkEnumeration;
  static void Describe(TPropInfo& p) { p.EnumType = &BooleanTypeInfo(); }
  static std::int64_t ToOrd(bool v) { return v ? 1 : 0; }
  static bool FromOrd(std::int64_t v) { return v != 0; }
};

template <>
struct Traits<char> {
  static constexpr TTypeKind kKind = tkChar;
  static void Describe(TPropInfo& p) { p.MinValue = 0; p.MaxValue = 255; }
  static std::int64_t ToOrd(char v) { return static_cast<unsigned char>(v); }
  static char FromOrd(std::int64_t v) { return static_cast<char>(v); }
};

template <class T>
struct Traits<T, std::enable_if_t<std::is_enum_v<T>>> {
  static constexpr TTypeKind kKind = tkEnumeration;
  static void Describe(TPropInfo& p) { p.EnumType = &EnumTypeInfoOf(static_cast<T*>(nullptr)); }
  static std::int64_t ToOrd(T v) { return static_cast<std::int64_t>(v); }
  static T FromOrd(std::int64_t v) { return static_cast<T>(v); }
};

template <class T>
struct Traits<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                  !std::is_same_v<T, char>>> {
  static_assert(sizeof(T) <= 8);
  static constexpr TTypeKind kKind = sizeof(T) <= 4 ? tkInteger : tkInt64;
  static void Describe(TPropInfo& p) {
    if constexpr (std::is_same_v<T, std::uint64_t>) {
      p.MinValue = std::numeric_limits<std::int64_t>::min();
      p.MaxValue = std::numeric_limits<std::int64_t>::max();
    } else {
      p.MinValue = static_cast<std::int64_t>(std::numeric_limits<T>::min());
      p.MaxValue = static_cast<std::int64_t>(std::numeric_limits<T>::max());
    }
  }
  static std::int64_t ToOrd(T v) { return static_cast<std::int64_t>(v); }
  static T FromOrd(std::int64_t v) { return static_cast<T>(v); }
};

template <class T>
struct Traits<T, std::enable_if_t<std::is_floating_point_v<T>>> {
  static constexpr TTypeKind kKind = tkFloat;
  static void Describe(TPropInfo&) {}
  static double ToDouble(T v) { return static_cast<double>(v); }
  static T FromDouble(double v) { return static_cast<T>(v); }
};

template <>
struct Traits<TDateTime> {
  static constexpr TTypeKind kKind = tkFloat;
  static void Describe(TPropInfo&) {}
  static double ToDouble(TDateTime v) { return v.Val; }
  static TDateTime FromDouble(double v) { return TDateTime(v); }
};

template <>
struct Traits<Variant> {
  static constexpr TTypeKind kKind = tkVariant;
  static void Describe(TPropInfo&) {}
};

template <>
struct Traits<AnsiString> {
  static constexpr TTypeKind kKind = tkLString;
  static void Describe(TPropInfo&) {}
};

template <class T>
struct Traits<T, std::enable_if_t<IsTSet<T>::value>> {
  using E = typename IsTSet<T>::Element;
  static_assert(IsTSet<T>::kSize <= 64, "published sets hold at most 64 elements");
  static constexpr TTypeKind kKind = tkSet;
  static void Describe(TPropInfo& p) { p.EnumType = &EnumTypeInfoOf(static_cast<E*>(nullptr)); }
  static std::int64_t ToOrd(const T& v) { return static_cast<std::int64_t>(v.ToBits()); }
  static T FromOrd(std::int64_t v) { return T::FromBits(static_cast<unsigned long long>(v)); }
};

template <class T>
struct Traits<T*, std::enable_if_t<std::is_base_of_v<TPersistent, T>>> {
  static constexpr TTypeKind kKind = tkClass;
  static void Describe(TPropInfo& p) {
    p.ClassType = &typeid(T);
    p.IsComponentRef = std::is_base_of_v<TComponent, T>;
    p.AcceptsObject = [](const TObject* o) { return o == nullptr || dynamic_cast<const T*>(o) != nullptr; };
  }
};

template <class C, class G>
using GetterResult = std::decay_t<std::invoke_result_t<G, C&>>;

}  // namespace typinfo_detail

// --- declaring --------------------------------------------------------------

// Returned by the TPublisher declarations to add a default or a storage rule.
template <class C, class T>
class TPropBuilder {
 public:
  explicit TPropBuilder(TPropInfo& p) : p_(p) {}
  TPropBuilder& Default(const T& value) {
    p_.HasDefault = true;
    using Tr = typinfo_detail::Traits<T>;
    if constexpr (Tr::kKind == tkFloat)
      p_.FloatDefault = Tr::ToDouble(value);
    else if constexpr (Tr::kKind == tkVariant)
      static_assert(sizeof(T) == 0, "variant properties have no default: Unassigned is not written");
    else if constexpr (Tr::kKind == tkLString)
      p_.StrDefault = value;
    else if constexpr (Tr::kKind == tkClass)
      static_assert(sizeof(T) == 0, "class properties have no default");
    else
      p_.OrdDefault = Tr::ToOrd(value);
    return *this;
  }
  // Writes the property even when it holds the type's usual default.
  TPropBuilder& NoDefault() {
    p_.HasDefault = false;
    return *this;
  }
  // Names of values (an integer property); idents must outlive the class.
  TPropBuilder& Idents(const TIntegerIdents& idents) {
    p_.Idents = &idents;
    return *this;
  }
  TPropBuilder& Stored(bool stored) {
    p_.StoredFlag = stored;
    return *this;
  }
  template <class B>
  TPropBuilder& Stored(bool (B::*predicate)() const) {
    static_assert(std::is_base_of_v<B, C>);
    p_.StoredFn = [predicate](TObject* o) { return (static_cast<C*>(o)->*predicate)(); };
    return *this;
  }
  TPropInfo& Info() { return p_; }

 private:
  TPropInfo& p_;
};

template <class C>
class TPublisher {
 public:
  explicit TPublisher(TClassInfo& info) : info_(info) {}

  // A published property with getter and setter (member functions, or any
  // callables taking C& and C&, value).
  template <class G, class S>
  auto Property(const char* name, G getter, S setter) {
    using T = typinfo_detail::GetterResult<C, G>;
    TPropInfo& p = Declare<T>(name, getter);
    SetSetter<T>(p, setter);
    return TPropBuilder<C, T>(p);
  }
  // Without a setter: a sub-object (its properties stream) or a value that
  // is only shown, never streamed.
  template <class G>
  auto Property(const char* name, G getter) {
    using T = typinfo_detail::GetterResult<C, G>;
    return TPropBuilder<C, T>(Declare<T>(name, getter));
  }

  // An event: a std::function member, bound to a root's published method.
  template <class B, class Sig>
  TPropBuilder<C, bool> Event(const char* name, std::function<Sig> B::*member) {
    static_assert(std::is_base_of_v<B, C>);
    auto p = NewProp(name, tkMethod);
    p->EventSignature = &typeid(Sig);
    p->GetMethod = [member](TObject* o, TMethodRef& ref) {
      const std::function<Sig>& f = static_cast<C*>(o)->*member;
      if (!f) return false;
      const auto* thunk = f.template target<TMethodThunk<Sig>>();
      ref = thunk ? thunk->ref : TMethodRef{};
      return true;
    };
    p->SetMethod = [member](TObject* o, const TMethodRef& ref) {
      std::function<Sig>& f = static_cast<C*>(o)->*member;
      if (ref.Method == nullptr)
        f = nullptr;
      else
        f = TMethodThunk<Sig>{ref};
    };
    return TPropBuilder<C, bool>(info_.AddProperty(std::move(p)));
  }

  // A method that events can be bound to by name (a form's handlers).
  template <class B, class R, class... A>
  void Method(const char* name, R (B::*method)(A...)) {
    static_assert(std::is_base_of_v<B, C>);
    info_.AddMethod(std::make_unique<TMethodInfo>(
        name, typeid(R(A...)), std::make_unique<TMemberCaller<B, R(A...)>>(method)));
  }

  // Bytes, written as { hex }; the getter returns them as an AnsiString.
  template <class G, class S>
  TPropBuilder<C, AnsiString> Binary(const char* name, G getter, S setter) {
    auto p = NewProp(name, tkBinary);
    p->GetStr = [getter](TObject* o) { return AnsiString(std::invoke(getter, *static_cast<C*>(o))); };
    p->SetStr = [setter](TObject* o, const AnsiString& v) { std::invoke(setter, *static_cast<C*>(o), v); };
    return TPropBuilder<C, AnsiString>(info_.AddProperty(std::move(p)));
  }

  // A list of strings, written as ( 'a' 'b' ); skipped when empty.
  template <class G, class S>
  TPropBuilder<C, AnsiString> StringList(const char* name, G getter, S setter) {
    auto p = NewProp(name, tkStringList);
    p->GetList = [getter](TObject* o) {
      return std::vector<AnsiString>(std::invoke(getter, *static_cast<C*>(o)));
    };
    p->SetList = [setter](TObject* o, const std::vector<AnsiString>& v) {
      std::invoke(setter, *static_cast<C*>(o), v);
    };
    return TPropBuilder<C, AnsiString>(info_.AddProperty(std::move(p)));
  }

 private:
  std::unique_ptr<TPropInfo> NewProp(const char* name, TTypeKind kind) {
    auto p = std::make_unique<TPropInfo>();
    p->Name = name;
    p->Kind = kind;
    return p;
  }

  template <class T, class G>
  TPropInfo& Declare(const char* name, G getter) {
    using Tr = typinfo_detail::Traits<T>;
    auto p = NewProp(name, Tr::kKind);
    Tr::Describe(*p);
    if constexpr (Tr::kKind == tkFloat) {
      p->GetFloat = [getter](TObject* o) { return Tr::ToDouble(std::invoke(getter, *static_cast<C*>(o))); };
    } else if constexpr (Tr::kKind == tkVariant) {
      p->GetVariant = [getter](TObject* o) { return Variant(std::invoke(getter, *static_cast<C*>(o))); };
    } else if constexpr (Tr::kKind == tkLString) {
      p->GetStr = [getter](TObject* o) { return AnsiString(std::invoke(getter, *static_cast<C*>(o))); };
    } else if constexpr (Tr::kKind == tkClass) {
      p->GetObject = [getter](TObject* o) -> TObject* { return std::invoke(getter, *static_cast<C*>(o)); };
    } else {
      p->GetOrd = [getter](TObject* o) { return Tr::ToOrd(std::invoke(getter, *static_cast<C*>(o))); };
    }
    return info_.AddProperty(std::move(p));
  }

  template <class T, class S>
  void SetSetter(TPropInfo& p, S setter) {
    using Tr = typinfo_detail::Traits<T>;
    if constexpr (Tr::kKind == tkFloat) {
      p.SetFloat = [setter](TObject* o, double v) { std::invoke(setter, *static_cast<C*>(o), Tr::FromDouble(v)); };
    } else if constexpr (Tr::kKind == tkVariant) {
      p.SetVariant = [setter](TObject* o, const Variant& v) { std::invoke(setter, *static_cast<C*>(o), v); };
    } else if constexpr (Tr::kKind == tkLString) {
      p.SetStr = [setter](TObject* o, const AnsiString& v) { std::invoke(setter, *static_cast<C*>(o), v); };
    } else if constexpr (Tr::kKind == tkClass) {
      using Obj = std::remove_pointer_t<T>;
      p.SetObject = [setter](TObject* o, TObject* v) {
        std::invoke(setter, *static_cast<C*>(o), dynamic_cast<Obj*>(v));
      };
    } else {
      p.SetOrd = [setter](TObject* o, std::int64_t v) { std::invoke(setter, *static_cast<C*>(o), Tr::FromOrd(v)); };
    }
  }

  TClassInfo& info_;
};

// Builds a class's information: parent, factory, declarations.
template <class C, class Base>
TClassInfo MakeClassInfo(const char* name) {
  static_assert(std::is_base_of_v<Base, C>, "the base named in PAYROLL_CLASS is not a base");
  TClassInfo info(name, Base::StaticClassInfo(), typeid(C));
  if constexpr (std::is_base_of_v<TComponent, C> && !std::is_abstract_v<C> &&
                std::is_constructible_v<C, TComponent*>)
    info.SetFactory([](TComponent* owner) -> TComponent* { return new C(owner); });
  TPublisher<C> publisher(info);
  C::DeclarePublished(publisher);
  return info;
}

// In the class body: the class's information, its parent's name as
// `inherited`, and the declaration of the function that PAYROLL_PUBLISH
// defines.  Leaves the access at public.
#define PAYROLL_CLASS(Class, Base)                                      \
 public:                                                                \
  using inherited = Base;                                               \
  static const ::TClassInfo* StaticClassInfo() {                        \
    static const ::TClassInfo info = ::MakeClassInfo<Class, Base>(#Class); \
    return &info;                                                       \
  }                                                                     \
  const ::TClassInfo* ClassInfo() const override { return StaticClassInfo(); } \
  static void DeclarePublished(::TPublisher<Class>& p);

#define PAYROLL_TYPINFO_CAT2(a, b) a##b
#define PAYROLL_TYPINFO_CAT(a, b) PAYROLL_TYPINFO_CAT2(a, b)

// In one .cpp file: registers the class and opens the body of its
// declarations, which use the publisher `p`.
#define PAYROLL_PUBLISH(Class)                                               \
  [[maybe_unused]] static const bool PAYROLL_TYPINFO_CAT(kPublished_, __LINE__) = \
      (::RegisterClassLazily(#Class, &Class::StaticClassInfo), true);         \
  void Class::DeclarePublished([[maybe_unused]] ::TPublisher<Class>& p)

// --- class registry -----------------------------------------------------------

// Registers a class for FindClass.  Registering the same class again does
// nothing.  It replaces a class of the same name that only PAYROLL_PUBLISH
// registered; under a name that RegisterClass gave another class it raises
// EComponentError "A class named %s already exists".
void RegisterClass(const TClassInfo* info);
template <class... C>
void RegisterClasses() {
  (RegisterClass(C::StaticClassInfo()), ...);
}
// What PAYROLL_PUBLISH uses at static initialisation: the class information
// is built on the first lookup, not before main; the first class of a name
// stands.
void RegisterClassLazily(const char* name, const TClassInfo* (*info)());
void UnRegisterClass(const TClassInfo* info);
// nullptr when no class of that name is registered.
const TClassInfo* GetClass(std::string_view name);
// Raises EClassNotFound "Class %s not found".
const TClassInfo* FindClass(std::string_view name);

// --- run-time access ----------------------------------------------------------

// nullptr when the object's class publishes no such property.
const TPropInfo* GetPropInfo(const TObject* instance, std::string_view name);
bool IsPublishedProp(const TObject* instance, std::string_view name);
bool PropIsType(const TObject* instance, std::string_view name, TTypeKind kind);
// Every published and defined property, in streaming order.
std::vector<const TPropInfo*> GetPropList(const TObject* instance);

// The accessors below raise EPropertyError "Property %s does not exist" for
// an unknown name, "Invalid property type" for a property of another kind,
// "Property %s is read-only" without a setter and "Invalid property value"
// for a value outside the property's range, names or class.
std::int64_t GetOrdProp(TObject* instance, std::string_view name);
void SetOrdProp(TObject* instance, std::string_view name, std::int64_t value);
AnsiString GetEnumProp(TObject* instance, std::string_view name);
void SetEnumProp(TObject* instance, std::string_view name, std::string_view value);
// Set as "[a,b]" (brackets optional when setting).
AnsiString GetSetProp(TObject* instance, std::string_view name, bool brackets = true);
void SetSetProp(TObject* instance, std::string_view name, std::string_view value);
AnsiString GetStrProp(TObject* instance, std::string_view name);
void SetStrProp(TObject* instance, std::string_view name, const AnsiString& value);
double GetFloatProp(TObject* instance, std::string_view name);
void SetFloatProp(TObject* instance, std::string_view name, double value);
std::int64_t GetInt64Prop(TObject* instance, std::string_view name);
void SetInt64Prop(TObject* instance, std::string_view name, std::int64_t value);
Variant GetVariantProp(TObject* instance, std::string_view name);
void SetVariantProp(TObject* instance, std::string_view name, const Variant& value);
TObject* GetObjectProp(TObject* instance, std::string_view name);
void SetObjectProp(TObject* instance, std::string_view name, TObject* value);

// Ordinal checks shared with the text form: raise EPropertyError
// "Invalid property value" when value is not valid for prop.
void CheckOrdValue(const TPropInfo& prop, std::int64_t value);
// "[a, b]" from set bits and back; an unknown element name raises
// EPropertyError "Invalid property element: %s".
AnsiString SetToString(const TPropInfo& prop, std::int64_t bits, bool brackets);
std::int64_t StringToSet(const TPropInfo& prop, std::string_view text);

// --- events -------------------------------------------------------------------

// A std::function bound to the method `name` that root's class publishes;
// raises EPropertyError "Method %s not found" or, when the signatures differ,
// "Method %s does not match the event".  Events bound this way are written
// by the text form under the method's name.
template <class Sig>
std::function<Sig> BindMethod(TObject* root, std::string_view name);
// The published method an event is bound to; {nullptr, nullptr} when it is
// unassigned or holds a plain function.
template <class Sig>
TMethodRef MethodOf(const std::function<Sig>& event) {
  const auto* thunk = event.template target<TMethodThunk<Sig>>();
  return thunk ? thunk->ref : TMethodRef{};
}

// Finds the method in root's class, checking it matches signature.
const TMethodInfo* FindMethodFor(TObject* root, std::string_view name,
                                 const std::type_info& signature);

template <class Sig>
std::function<Sig> BindMethod(TObject* root, std::string_view name) {
  const TMethodInfo* m = FindMethodFor(root, name, typeid(Sig));
  return TMethodThunk<Sig>{TMethodRef{root, m}};
}
