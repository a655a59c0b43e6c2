#include "platform/core/TypInfo.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/core/Collections.h"

namespace {

enum TSortOrder { soANSI, soASCII };
PAYROLL_ENUM_NAMES(TSortOrder, soANSI, soASCII)

// Values that are not 0..n-1 keep their own ordinals.
enum TFieldType { ftString = 1, ftInteger = 3, ftBlob = 15 };
PAYROLL_ENUM_NAMES(TFieldType, ftString, ftInteger, ftBlob)

struct TScope {
  enum TKind { kOne, kTwo };
};
PAYROLL_ENUM_NAMES(TScope::TKind, TScope::kOne, TScope::kTwo)

using TSortOrders = TSet<TSortOrder, 8>;

class TDataSource : public TComponent {
  PAYROLL_CLASS(TDataSource, TComponent)
 public:
  using TComponent::TComponent;
};

class TBase : public TComponent {
  PAYROLL_CLASS(TBase, TComponent)
 public:
  explicit TBase(TComponent* owner) : TComponent(owner) {}
  int Width() const { return width_; }
  void SetWidth(int v) { width_ = v; }
  TSortOrder SortOrder() const { return sortOrder_; }
  void SetSortOrder(TSortOrder v) { sortOrder_ = v; }

 private:
  int width_ = 0;
  TSortOrder sortOrder_ = soANSI;
};

class TDerived : public TBase {
  PAYROLL_CLASS(TDerived, TBase)
 public:
  explicit TDerived(TComponent* owner) : TBase(owner) {}
  unsigned Flags() const { return flags_; }
  void SetFlags(unsigned v) { flags_ = v; }
  TFieldType DataType() const { return dataType_; }
  void SetDataType(TFieldType v) { dataType_ = v; }
  TSortOrders Orders() const { return orders_; }
  void SetOrders(TSortOrders v) { orders_ = v; }
  AnsiString Text() const { return text_; }
  void SetText(const AnsiString& v) { text_ = v; }
  double Ratio() const { return ratio_; }
  void SetRatio(double v) { ratio_ = v; }
  std::int64_t Big() const { return big_; }
  void SetBig(std::int64_t v) { big_ = v; }
  TDataSource* DataSource() const { return source_; }
  void SetDataSource(TDataSource* v) { source_ = v; }
  AnsiString Version() const { return "1.30.02"; }
  void Handler(TObject* sender) { handled.push_back(sender); }
  void Other(TObject*, int&) {}

  TNotifyEvent OnChange;
  std::vector<TObject*> handled;

 private:
  unsigned flags_ = 0;
  TFieldType dataType_ = ftString;
  TSortOrders orders_;
  AnsiString text_;
  double ratio_ = 0;
  std::int64_t big_ = 0;
  TDataSource* source_ = nullptr;
};

// No PAYROLL_CLASS: shares TDerived's information.
class TUndeclared : public TDerived {
 public:
  using TDerived::TDerived;
};

PAYROLL_PUBLISH(TDataSource) {}

PAYROLL_PUBLISH(TBase) {
  p.Property("Width", &TBase::Width, &TBase::SetWidth);
  p.Property("SortOrder", &TBase::SortOrder, &TBase::SetSortOrder).Default(soANSI);
}

PAYROLL_PUBLISH(TDerived) {
  p.Property("Flags", &TDerived::Flags, &TDerived::SetFlags);
  p.Property("DataType", &TDerived::DataType, &TDerived::SetDataType);
  p.Property("Orders", &TDerived::Orders, &TDerived::SetOrders);
  p.Property("Text", &TDerived::Text, &TDerived::SetText);
  p.Property("Ratio", &TDerived::Ratio, &TDerived::SetRatio);
  p.Property("Big", &TDerived::Big, &TDerived::SetBig);
  p.Property("DataSource", &TDerived::DataSource, &TDerived::SetDataSource);
  p.Property("Version", &TDerived::Version);
  p.Event("OnChange", &TDerived::OnChange);
  // Published again with another default: streams in the base's place.
  p.Property("Width", &TDerived::Width, &TDerived::SetWidth).Default(64);
  p.Method("Handler", &TDerived::Handler);
  p.Method("Other", &TDerived::Other);
}

template <class F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.ClassName() + ": " + e.Message();
  }
  return "no error";
}

}  // namespace

TEST(TypInfo, KindsFollowTheGettersTypes) {
  TDerived d(nullptr);
  struct Case {
    const char* name;
    TTypeKind kind;
  } cases[] = {{"Tag", tkInteger},          {"Name", tkLString},      {"Width", tkInteger},
               {"SortOrder", tkEnumeration}, {"Flags", tkInteger},     {"DataType", tkEnumeration},
               {"Orders", tkSet},            {"Text", tkLString},      {"Ratio", tkFloat},
               {"Big", tkInt64},             {"DataSource", tkClass},  {"OnChange", tkMethod}};
  for (const Case& c : cases) {
    const TPropInfo* p = GetPropInfo(&d, c.name);
    ASSERT_NE(p, nullptr) << c.name;
    EXPECT_EQ(p->Kind, c.kind) << c.name;
  }
  EXPECT_TRUE(GetPropInfo(&d, "DataSource")->IsComponentRef);
  EXPECT_TRUE(IsPublishedProp(&d, "datasource"));  // names ignore case
  EXPECT_FALSE(IsPublishedProp(&d, "Handler"));
  EXPECT_TRUE(PropIsType(&d, "Orders", tkSet));
  EXPECT_EQ(ErrorOf([&] { PropIsType(&d, "Nope", tkSet); }), "EPropertyError: Property Nope does not exist");
  EXPECT_EQ(d.ClassInfo()->ClassName(), "TDerived");
  EXPECT_TRUE(d.ClassInfo()->InheritsFrom(TComponent::StaticClassInfo()));
  TUndeclared u(nullptr);
  EXPECT_EQ(u.ClassInfo(), TDerived::StaticClassInfo());
}

TEST(TypInfo, PropertiesStreamAncestorsFirstAndRedeclaredInPlace) {
  TDerived d(nullptr);
  std::vector<std::string> names;
  for (const TPropInfo* p : GetPropList(&d)) names.push_back(p->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Tag", "Width", "SortOrder", "Flags", "DataType",
                                             "Orders", "Text", "Ratio", "Big", "DataSource", "Version",
                                             "OnChange"}));
  EXPECT_EQ(GetPropInfo(&d, "Width")->OrdDefault, 64);
  TBase b(nullptr);
  EXPECT_FALSE(GetPropInfo(&b, "Width")->HasDefault);
}

TEST(TypInfo, OrdinalAccessChecksRangesAndNames) {
  TDerived d(nullptr);
  SetOrdProp(&d, "Flags", 4294967295LL);
  EXPECT_EQ(d.Flags(), 4294967295u);
  SetEnumProp(&d, "DataType", "FTBLOB");
  EXPECT_EQ(d.DataType(), ftBlob);
  EXPECT_EQ(GetEnumProp(&d, "DataType"), "ftBlob");
  EXPECT_EQ(GetOrdProp(&d, "DataType"), 15);
  SetSetProp(&d, "Orders", "[soASCII, soANSI]");
  EXPECT_EQ(d.Orders(), (TSortOrders{soANSI, soASCII}));
  EXPECT_EQ(GetSetProp(&d, "Orders"), "[soANSI,soASCII]");
  SetSetProp(&d, "Orders", "");
  EXPECT_TRUE(d.Orders().Empty());
  SetInt64Prop(&d, "Big", -(1LL << 40));
  EXPECT_EQ(GetInt64Prop(&d, "Big"), -(1LL << 40));

  struct Case {
    std::function<void()> call;
    const char* error;
  } cases[] = {
      {[&] { SetOrdProp(&d, "Flags", -1); }, "EPropertyError: Invalid property value"},
      {[&] { SetOrdProp(&d, "Width", 1LL << 31); }, "EPropertyError: Invalid property value"},
      {[&] { SetOrdProp(&d, "DataType", 2); }, "EPropertyError: Invalid property value"},
      {[&] { SetOrdProp(&d, "Orders", 4); }, "EPropertyError: Invalid property value"},
      {[&] { SetEnumProp(&d, "DataType", "ftMemo"); }, "EPropertyError: Invalid property element: ftMemo"},
      {[&] { SetSetProp(&d, "Orders", "[soANSI, soEBCDIC]"); },
       "EPropertyError: Invalid property element: soEBCDIC"},
      {[&] { SetOrdProp(&d, "Text", 1); }, "EPropertyError: Invalid property type"},
      {[&] { SetStrProp(&d, "Version", "2"); }, "EPropertyError: Property Version is read-only"},
      {[&] { GetFloatProp(&d, "Missing"); }, "EPropertyError: Property Missing does not exist"},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.call), c.error);
  EXPECT_EQ(d.DataType(), ftBlob);  // refused values change nothing
}

TEST(TypInfo, StringFloatAndObjectAccess) {
  TDerived d(nullptr);
  SetStrProp(&d, "Text", "工资");
  EXPECT_EQ(GetStrProp(&d, "Text"), "工资");
  SetFloatProp(&d, "Ratio", 0.25);
  EXPECT_EQ(GetFloatProp(&d, "Ratio"), 0.25);
  TDataSource source(nullptr);
  SetObjectProp(&d, "DataSource", &source);
  EXPECT_EQ(GetObjectProp(&d, "DataSource"), &source);
  TBase wrongClass(nullptr);
  EXPECT_EQ(ErrorOf([&] { SetObjectProp(&d, "DataSource", &wrongClass); }),
            "EPropertyError: Invalid property value");
  SetObjectProp(&d, "DataSource", nullptr);
  EXPECT_EQ(d.DataSource(), nullptr);
}

TEST(TypInfo, EnumerationNames) {
  EXPECT_EQ(EnumName(soASCII), "soASCII");
  EXPECT_EQ(EnumName(ftInteger), "ftInteger");
  EXPECT_EQ(EnumName(static_cast<TFieldType>(2)), "");
  EXPECT_EQ(EnumName(TScope::kTwo), "kTwo");
  const TEnumTypeInfo& info = EnumTypeInfoOf(static_cast<TFieldType*>(nullptr));
  EXPECT_EQ(info.Name(), "TFieldType");
  EXPECT_EQ(info.ValueOf("FTINTEGER"), 3);
  EXPECT_EQ(info.ValueOf("ftMemo"), -1);
  EXPECT_EQ(BooleanTypeInfo().ValueOf("true"), 1);
}

TEST(TypInfo, ClassRegistry) {
  EXPECT_EQ(FindClass("TDerived"), TDerived::StaticClassInfo());
  EXPECT_EQ(GetClass("tderived"), TDerived::StaticClassInfo());
  EXPECT_EQ(GetClass("TNoSuchClass"), nullptr);
  EXPECT_EQ(ErrorOf([] { FindClass("TNoSuchClass"); }), "EClassNotFound: Class TNoSuchClass not found");

  TComponent owner(nullptr);
  TComponent* c = FindClass("TDerived")->CreateComponent(&owner);
  EXPECT_NE(dynamic_cast<TDerived*>(c), nullptr);
  EXPECT_EQ(c->Owner(), &owner);
  EXPECT_FALSE(TCollectionItem::StaticClassInfo()->CanCreate());

  // Another class under a registered name is refused; the same again is not.
  RegisterClass(TDerived::StaticClassInfo());
  TClassInfo impostor("TDerived", TComponent::StaticClassInfo(), typeid(TBase));
  EXPECT_EQ(ErrorOf([&] { RegisterClass(&impostor); }), "EComponentError: A class named TDerived already exists");
  // A class only registered statically gives its name up to an explicit
  // registration (a test's own class of a library's name).
  TClassInfo replacement("TDataSource", TComponent::StaticClassInfo(), typeid(TBase));
  RegisterClass(&replacement);
  EXPECT_EQ(GetClass("TDataSource"), &replacement);
  UnRegisterClass(&replacement);
  RegisterClass(TDataSource::StaticClassInfo());
  EXPECT_EQ(GetClass("TDataSource"), TDataSource::StaticClassInfo());
  TClassInfo temporary("TTemporary", TComponent::StaticClassInfo(), typeid(TBase));
  RegisterClass(&temporary);
  EXPECT_EQ(GetClass("TTemporary"), &temporary);
  UnRegisterClass(&temporary);
  EXPECT_EQ(GetClass("TTemporary"), nullptr);
}

TEST(TypInfo, EventsBindToPublishedMethodsByName) {
  TDerived root(nullptr);
  TDerived other(nullptr);
  other.OnChange = BindMethod<void(TObject*)>(&root, "handler");
  other.OnChange(&other);
  EXPECT_EQ(root.handled, (std::vector<TObject*>{&other}));
  TMethodRef ref = MethodOf(other.OnChange);
  EXPECT_EQ(ref.Data, &root);
  EXPECT_EQ(ref.Method->Name(), "Handler");

  // The registry's accessors see the same binding.
  TMethodRef viaProp;
  ASSERT_TRUE(GetPropInfo(&other, "OnChange")->GetMethod(&other, viaProp));
  EXPECT_EQ(viaProp.Method, ref.Method);

  other.OnChange = [](TObject*) {};  // a plain function has no method name
  EXPECT_EQ(MethodOf(other.OnChange).Method, nullptr);
  EXPECT_EQ(ErrorOf([&] { BindMethod<void(TObject*)>(&root, "Missing"); }),
            "EPropertyError: Method Missing not found");
  EXPECT_EQ(ErrorOf([&] { BindMethod<void(TObject*)>(&root, "Other"); }),
            "EPropertyError: Method Other does not match the event");
}
