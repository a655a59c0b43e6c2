#include "platform/core/TextForm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Collections.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"
#include "platform/core/TypInfo.h"

// A small component family standing in for forms, controls, tables and
// table definitions.
namespace {

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
PAYROLL_ENUM_NAMES(TAlignment, taLeftJustify, taRightJustify, taCenter)

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
PAYROLL_ENUM_NAMES(TFontStyle, fsBold, fsItalic, fsUnderline, fsStrikeOut)
using TFontStyles = TSet<TFontStyle, 4>;

enum TFieldType { ftUnknown, ftString, ftSmallint, ftInteger };
PAYROLL_ENUM_NAMES(TFieldType, ftUnknown, ftString, ftSmallint, ftInteger)

using TKeyEvent = std::function<void(TObject* sender, int& key)>;

constexpr int kBtnFace = -16777201;
const TIntegerIdents kColorIdents = {{"clBtnFace", kBtnFace}, {"clWindow", -16777211}, {"clRed", 255}};

class TFont : public TPersistent {
  PAYROLL_CLASS(TFont, TPersistent)
 public:
  AnsiString Name() const { return name_; }
  void SetName(const AnsiString& v) { name_ = v; }
  int Size() const { return size_; }
  void SetSize(int v) { size_ = v; }
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles v) { style_ = v; }

 private:
  AnsiString name_ = "MS Sans Serif";
  int size_ = 8;
  TFontStyles style_;
};

class TFieldItem : public TCollectionItem {
  PAYROLL_CLASS(TFieldItem, TCollectionItem)
 public:
  explicit TFieldItem(TCollection* c) : TCollectionItem(c) {}
  AnsiString FieldName() const { return fieldName_; }
  void SetFieldName(const AnsiString& v) { fieldName_ = v; }
  TFieldType DataType() const { return dataType_; }
  void SetDataType(TFieldType v) { dataType_ = v; }
  int FieldSize() const { return size_; }
  void SetFieldSize(int v) { size_ = v; }
  bool Required() const { return required_; }
  void SetRequired(bool v) { required_ = v; }

 private:
  AnsiString fieldName_;
  TFieldType dataType_ = ftUnknown;
  int size_ = 0;
  bool required_ = false;
};

// A table definition: scalar kinds, a collection, binary data, a float.
class TTableDef : public TComponent {
  PAYROLL_CLASS(TTableDef, TComponent)
 public:
  explicit TTableDef(TComponent* owner)
      : TComponent(owner), fields_(this, ItemClassOf<TFieldItem>()) {}
  int TableID() const { return tableId_; }
  void SetTableID(int v) { tableId_ = v; }
  unsigned OwnerFlag() const { return ownerFlag_; }
  void SetOwnerFlag(unsigned v) { ownerFlag_ = v; }
  AnsiString TableName() const { return tableName_; }
  void SetTableName(const AnsiString& v) { tableName_ = v; }
  TDateTime CreationDate() const { return creationDate_; }
  void SetCreationDate(TDateTime v) { creationDate_ = v; }
  bool Encrypted() const { return encrypted_; }
  void SetEncrypted(bool v) { encrypted_ = v; }
  std::int64_t Big() const { return big_; }
  void SetBig(std::int64_t v) { big_ = v; }
  char Separator() const { return separator_; }
  void SetSeparator(char v) { separator_ = v; }
  TOwnedCollection* InternalFields() { return &fields_; }
  AnsiString Header() const { return header_; }
  void SetHeader(const AnsiString& v) { header_ = v; }
  AnsiString Version() const { return "1.30.02"; }  // shown, never streamed

 private:
  int tableId_ = 0;
  unsigned ownerFlag_ = 0;
  AnsiString tableName_;
  TDateTime creationDate_;
  bool encrypted_ = false;
  std::int64_t big_ = 0;
  char separator_ = ',';
  TOwnedCollection fields_;
  AnsiString header_;
};

// A control: sub-object, enumeration with default, set, reference, events,
// string list, and a parent (controls nest inside panels).
class TControl : public TComponent {
  PAYROLL_CLASS(TControl, TComponent)
 public:
  explicit TControl(TComponent* owner) : TComponent(owner) {}
  ~TControl() override {
    for (TControl* c : children_) c->parent_ = nullptr;
    SetParent(nullptr);
  }
  AnsiString Caption() const { return caption_; }
  void SetCaption(const AnsiString& v) { caption_ = v; }
  int Left() const { return left_; }
  void SetLeft(int v) {
    left_ = v;
    leftSetWhileLoading = ComponentState().Contains(csLoading);
  }
  int Color() const { return color_; }
  void SetColor(int v) { color_ = v; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v) { alignment_ = v; }
  TFont* Font() { return &font_; }
  TTableDef* Table() const { return table_; }
  void SetTable(TTableDef* t) {
    table_ = t;
    if (t) t->FreeNotification(this);
  }
  TStringList* Items() { return &items_; }
  std::vector<AnsiString> Hints() const { return hints_; }
  void SetHints(const std::vector<AnsiString>& v) { hints_ = v; }
  bool IsFontStored() const { return caption_ != "nofont"; }

  TControl* Parent() const { return parent_; }
  void SetParent(TControl* p) {
    if (parent_) std::erase(parent_->children_, this);
    parent_ = p;
    if (p) p->children_.push_back(this);
  }
  const std::vector<TControl*>& Children() const { return children_; }

  bool HasParent() const override { return parent_ != nullptr; }
  TComponent* GetParentComponent() const override { return parent_; }
  void SetParentComponent(TComponent* p) override { SetParent(dynamic_cast<TControl*>(p)); }
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override {
    for (TControl* c : children_)
      if (c->Owner() == root) proc(c);
    TComponent::GetChildren(proc, root);
  }
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == opRemove && c == table_) table_ = nullptr;
  }
  void Loaded() override {
    TComponent::Loaded();
    if (gLoadLog) gLoadLog->push_back("Loaded " + Name() + (Table() ? " table " + Table()->Name() : AnsiString()));
  }

  TNotifyEvent OnClick;
  TKeyEvent OnKeyPress;
  bool leftSetWhileLoading = false;
  static inline std::vector<AnsiString>* gLoadLog = nullptr;

 private:
  AnsiString caption_;
  int left_ = 0;
  int color_ = kBtnFace;
  TAlignment alignment_ = taLeftJustify;
  TFont font_;
  TTableDef* table_ = nullptr;
  TStringList items_;
  std::vector<AnsiString> hints_;
  TControl* parent_ = nullptr;
  std::vector<TControl*> children_;
};

class TPanel : public TControl {
  PAYROLL_CLASS(TPanel, TControl)
 public:
  using TControl::TControl;
};

// A persistent with a variant value, written unless Unassigned.
class TSpecRow : public TComponent {
  PAYROLL_CLASS(TSpecRow, TComponent)
 public:
  using TComponent::TComponent;
  Variant Value() const { return value_; }
  void SetValue(const Variant& v) { value_ = v; }

 private:
  Variant value_;
};

// A root whose collection items refer to components.
class TLinkItem : public TCollectionItem {
  PAYROLL_CLASS(TLinkItem, TCollectionItem)
 public:
  explicit TLinkItem(TCollection* c) : TCollectionItem(c) {}
  TTableDef* Target() const { return target_; }
  void SetTarget(TTableDef* t) { target_ = t; }

 private:
  TTableDef* target_ = nullptr;
};

class TLinkForm : public TComponent {
  PAYROLL_CLASS(TLinkForm, TComponent)
 public:
  explicit TLinkForm(TComponent* owner = nullptr) : TComponent(owner), links_(this, ItemClassOf<TLinkItem>()) {}
  TOwnedCollection* Links() { return &links_; }

 private:
  TOwnedCollection links_;
};

// The root: publishes its handlers.
class TTestForm : public TControl {
  PAYROLL_CLASS(TTestForm, TControl)
 public:
  explicit TTestForm(TComponent* owner = nullptr) : TControl(owner) {}
  void Button1Click(TObject* sender) { clicks.push_back(static_cast<TComponent*>(sender)->Name()); }
  void Edit1KeyPress(TObject*, int& key) { key = 0; }
  std::vector<AnsiString> clicks;
};

// A data module: a second root that forms refer to.
class TDataModule : public TComponent {
  PAYROLL_CLASS(TDataModule, TComponent)
 public:
  explicit TDataModule(TComponent* owner = nullptr) : TComponent(owner) {}
};

PAYROLL_PUBLISH(TFont) {
  p.Property("Name", &TFont::Name, &TFont::SetName).Default("MS Sans Serif");
  p.Property("Size", &TFont::Size, &TFont::SetSize).Default(8);
  p.Property("Style", &TFont::Style, &TFont::SetStyle).Default(TFontStyles{});
}

PAYROLL_PUBLISH(TFieldItem) {
  p.Property("FieldName", &TFieldItem::FieldName, &TFieldItem::SetFieldName);
  p.Property("DataType", &TFieldItem::DataType, &TFieldItem::SetDataType);
  p.Property("FieldSize", &TFieldItem::FieldSize, &TFieldItem::SetFieldSize);
  p.Property("Required", &TFieldItem::Required, &TFieldItem::SetRequired).Default(false);
}

PAYROLL_PUBLISH(TTableDef) {
  p.Property("TableID", &TTableDef::TableID, &TTableDef::SetTableID);
  p.Property("OwnerFlag", &TTableDef::OwnerFlag, &TTableDef::SetOwnerFlag);
  p.Property("TableName", &TTableDef::TableName, &TTableDef::SetTableName);
  p.Property("CreationDate", &TTableDef::CreationDate, &TTableDef::SetCreationDate);
  p.Property("Encrypted", &TTableDef::Encrypted, &TTableDef::SetEncrypted).Default(false);
  p.Property("Big", &TTableDef::Big, &TTableDef::SetBig);
  p.Property("Separator", &TTableDef::Separator, &TTableDef::SetSeparator).Default(',');
  p.Property("Version", &TTableDef::Version);
  p.Property("InternalFields", &TTableDef::InternalFields);
  p.Binary("Header", &TTableDef::Header, &TTableDef::SetHeader);
}

PAYROLL_PUBLISH(TControl) {
  p.Property("Caption", &TControl::Caption, &TControl::SetCaption);
  p.Property("Left", &TControl::Left, &TControl::SetLeft).Default(0);
  p.Property("Color", &TControl::Color, &TControl::SetColor).Default(kBtnFace).Idents(kColorIdents);
  p.Property("Alignment", &TControl::Alignment, &TControl::SetAlignment).Default(taLeftJustify);
  p.Property("Font", &TControl::Font).Stored(&TControl::IsFontStored);
  p.Property("Table", &TControl::Table, &TControl::SetTable);
  p.Property("Items", &TControl::Items);
  p.StringList("Hints", &TControl::Hints, &TControl::SetHints);
  p.Event("OnClick", &TControl::OnClick);
  p.Event("OnKeyPress", &TControl::OnKeyPress);
}

PAYROLL_PUBLISH(TPanel) {}

PAYROLL_PUBLISH(TLinkItem) { p.Property("Target", &TLinkItem::Target, &TLinkItem::SetTarget); }
PAYROLL_PUBLISH(TLinkForm) { p.Property("Links", &TLinkForm::Links); }

PAYROLL_PUBLISH(TSpecRow) { p.Property("Value", &TSpecRow::Value, &TSpecRow::SetValue); }

PAYROLL_PUBLISH(TTestForm) {
  p.Method("Button1Click", &TTestForm::Button1Click);
  p.Method("Edit1KeyPress", &TTestForm::Edit1KeyPress);
}

PAYROLL_PUBLISH(TDataModule) {}

// The file's text with LF line ends written as CR LF.
std::string Crlf(const std::string& s) {
  std::string r;
  for (char c : s) {
    if (c == '\n') r += '\r';
    r += c;
  }
  return r;
}

TFieldItem* AddField(TTableDef* def, const char* name, TFieldType type, int size) {
  auto* f = static_cast<TFieldItem*>(def->InternalFields()->Add());
  f->SetFieldName(name);
  f->SetDataType(type);
  f->SetFieldSize(size);
  return f;
}

template <class E>
void ExpectError(const std::string& text, const std::string& message) {
  TTestForm form;
  try {
    ObjectTextToComponent(text, &form);
    ADD_FAILURE() << "no error for:\n" << text;
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message) << text;
  } catch (const Exception& e) {
    ADD_FAILURE() << "wrong exception " << e.ClassName() << ": " << e.Message() << "\n" << text;
  }
}

}  // namespace

// The layout of the text, to the byte: indentation, CR LF, strings cut
// into 64-byte pieces, #nnn for the quote and bytes outside printable
// ASCII, fixed floats, sets, collections, binary lines of 32 bytes.
TEST(TextForm, WritesTheClassLibraryLayout) {
  TTableDef def(nullptr);
  def.SetName("TableDef");
  def.SetTableID(3);
  def.SetOwnerFlag(48);
  def.SetTableName("gzk'工资");
  def.SetCreationDate(0.5);
  def.SetSeparator('\t');
  AddField(&def, "F01", ftInteger, 4)->SetRequired(true);
  AddField(&def, std::string(70, 'x').c_str(), ftString, 71);
  std::string header;
  for (int i = 0; i < 33; ++i) header += static_cast<char>(i * 7);
  def.SetHeader(header);
  std::string expected = Crlf(
      "object TableDef: TTableDef\n"
      "  TableID = 3\n"
      "  OwnerFlag = 48\n"
      "  TableName = 'gzk'#39#185#164#215#202\n"
      "  CreationDate = 0.500000000000000000\n"
      "  Separator = #9\n"
      "  InternalFields = <\n"
      "    item\n"
      "      FieldName = 'F01'\n"
      "      DataType = ftInteger\n"
      "      FieldSize = 4\n"
      "      Required = True\n"
      "    end\n"
      "    item\n"
      "      FieldName = \n"
      "        'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx' +\n"
      "        'xxxxxx'\n"
      "      DataType = ftString\n"
      "      FieldSize = 71\n"
      "    end>\n"
      "  Header = {\n"
      "    00070E151C232A31383F464D545B626970777E858C939AA1A8AFB6BDC4CBD2D9\n"
      "    E0}\n"
      "end\n");
  EXPECT_EQ(ComponentToObjectText(&def), expected);
}

// Stored definitions hold 32-bit ordinals signed: an unsigned value with
// the high bit set is written negative, and both spellings read back as it.
TEST(TextForm, ThirtyTwoBitOrdinalsAreWrittenSigned) {
  RegisterClasses<TTableDef>();
  const struct { unsigned flag; const char* text; } cases[] = {
      {4294967295u, "-1"}, {2147483648u, "-2147483648"}, {2147483647u, "2147483647"}, {48u, "48"}};
  for (const auto& c : cases) {
    TTableDef def(nullptr);
    def.SetName("T");
    def.SetOwnerFlag(c.flag);
    AnsiString text = ComponentToObjectText(&def);
    EXPECT_NE(text.find("  OwnerFlag = " + std::string(c.text) + "\r\n"), std::string::npos) << text;
    std::unique_ptr<TComponent> back(ObjectTextToNewComponent(text));
    EXPECT_EQ(dynamic_cast<TTableDef&>(*back).OwnerFlag(), c.flag) << c.text;
  }
  std::unique_ptr<TComponent> unsignedText(
      ObjectTextToNewComponent(Crlf("object T: TTableDef\n  OwnerFlag = 4294967295\nend\n")));
  EXPECT_EQ(dynamic_cast<TTableDef&>(*unsignedText).OwnerFlag(), 4294967295u);
}

TEST(TextForm, ValuesAtTheirDefaultAreNotWritten) {
  TTableDef def(nullptr);
  def.SetName("T");
  EXPECT_EQ(ComponentToObjectText(&def), Crlf("object T: TTableDef\n"
                                              "  TableID = 0\n"
                                              "  OwnerFlag = 0\n"
                                              "  InternalFields = <>\n"
                                              "end\n"));
  TTestForm form;
  form.SetName("F");
  form.SetCaption("nofont");  // Font's Stored predicate says no
  form.Font()->SetSize(12);
  EXPECT_EQ(ComponentToObjectText(&form), Crlf("object F: TTestForm\n"
                                               "  Caption = 'nofont'\n"
                                               "end\n"));
}

TEST(TextForm, FloatsAreWrittenExactly) {
  struct Case {
    double value;
    const char* text;  // nullptr: only the round trip is checked
  } cases[] = {
      {0.5, "0.500000000000000000"},
      {1.0 / 3, "0.333333333333333300"},
      {-2.25, "-2.250000000000000000"},
      {45234.567891203704, nullptr},  // needs 17 digits
      {0.1 + 0.2, nullptr},
      {1e-20, "1E-20"},
      {1e20, "1E+20"},
      {123456789012345.0, "123456789012345.000000000000000000"},
  };
  for (const Case& c : cases) {
    TTableDef def(nullptr);
    def.SetCreationDate(c.value);
    AnsiString text = ComponentToObjectText(&def);
    if (c.text) {
      EXPECT_NE(text.find(std::string("CreationDate = ") + c.text + "\r\n"), std::string::npos) << text;
    }
    TTableDef back(nullptr);
    ObjectTextToComponent(text, &back);
    EXPECT_EQ(back.CreationDate().Val, c.value) << text;
  }
  TTableDef bad(nullptr);
  bad.SetCreationDate(std::nan(""));
  EXPECT_THROW(ComponentToObjectText(&bad), EWriteError);
}

namespace {

// form
//   Panel1 (Left 8, Font, Items, Hints, Table -> DataModule's table)
//     Button1 (Caption 中文, OnClick, Table -> TableDef1 of the form)
//   Edit1 (OnKeyPress; Alignment taCenter)
//   TableDef1 (collection, binary, Chinese name)
struct TFormTree {
  std::unique_ptr<TDataModule> data = std::make_unique<TDataModule>();
  std::unique_ptr<TTestForm> form = std::make_unique<TTestForm>();

  TFormTree() {
    data->SetName("FrmData");
    auto* gz = new TTableDef(data.get());
    gz->SetName("Gzk");
    RegisterGlobalRoot(data.get());

    form->SetName("FrmMain");
    form->SetCaption("工资管理系统");
    auto* panel = new TPanel(form.get());
    panel->SetName("Panel1");
    panel->SetParent(form.get());
    panel->SetLeft(8);
    panel->Font()->SetName("宋体");
    panel->Font()->SetStyle(TFontStyles{fsBold, fsUnderline});
    panel->Items()->Add("第一");
    panel->Items()->Add("it's");
    panel->SetHints({"a", ""});
    panel->SetTable(gz);
    auto* button = new TControl(form.get());
    button->SetName("Button1");
    button->SetParent(panel);
    button->SetCaption("确定");
    button->OnClick = BindMethod<void(TObject*)>(form.get(), "Button1Click");
    auto* edit = new TControl(form.get());
    edit->SetName("Edit1");
    edit->SetParent(form.get());
    edit->SetAlignment(taCenter);
    edit->SetColor(-16777211);
    button->SetColor(0x00FF00);
    edit->OnKeyPress = BindMethod<void(TObject*, int&)>(form.get(), "Edit1KeyPress");
    auto* def = new TTableDef(form.get());
    def->SetName("TableDef1");
    def->SetTableName("部门");
    def->SetBig(-5000000000LL);
    def->SetOwnerFlag(4294967295u);
    AddField(def, "BMMC", ftString, 41);
    def->SetHeader(std::string("\0\x01\xff", 3));
    button->SetTable(def);
  }
};

}  // namespace

TEST(TextForm, ComponentTreeRoundTrips) {
  RegisterClasses<TTestForm, TPanel, TControl, TTableDef>();
  TFormTree tree;
  AnsiString text = ComponentToObjectText(tree.form.get());
  for (unsigned char c : text) ASSERT_LT(c, 0x80) << "the text form is pure ASCII";
  EXPECT_NE(text.find("    object Button1: TControl\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    Table = FrmData.Gzk\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    Color = clWindow\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("      Color = 65280\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    Font.Style = [fsBold, fsUnderline]\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    Items.Strings = (\r\n      #181#218#210#187\r\n      'it'#39's')\r\n"),
            std::string::npos) << text;

  std::unique_ptr<TComponent> copy(ObjectTextToNewComponent(text));
  auto* form = dynamic_cast<TTestForm*>(copy.get());
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(ComponentToObjectText(form), text);

  EXPECT_EQ(form->Name(), "FrmMain");
  EXPECT_EQ(form->Caption(), "工资管理系统");
  auto* panel = dynamic_cast<TPanel*>(form->FindComponent("Panel1"));
  auto* button = dynamic_cast<TControl*>(form->FindComponent("Button1"));
  auto* edit = dynamic_cast<TControl*>(form->FindComponent("Edit1"));
  auto* def = dynamic_cast<TTableDef*>(form->FindComponent("TableDef1"));
  ASSERT_TRUE(panel && button && edit && def);
  EXPECT_EQ(button->Parent(), panel);
  EXPECT_EQ(panel->Parent(), form);
  EXPECT_EQ(button->Owner(), form);
  EXPECT_EQ(panel->Font()->Name(), "宋体");
  EXPECT_EQ(panel->Font()->Style(), (TFontStyles{fsBold, fsUnderline}));
  EXPECT_EQ(panel->Items()->Text(), "第一\r\nit's\r\n");
  EXPECT_EQ(panel->Hints(), (std::vector<AnsiString>{"a", ""}));
  EXPECT_EQ(panel->Table(), tree.data->FindComponent("Gzk"));
  EXPECT_EQ(button->Caption(), "确定");
  EXPECT_EQ(button->Table(), def);
  EXPECT_EQ(edit->Alignment(), taCenter);
  EXPECT_EQ(edit->Color(), -16777211);
  EXPECT_EQ(button->Color(), 0x00FF00);
  EXPECT_EQ(def->TableName(), "部门");
  EXPECT_EQ(def->Big(), -5000000000LL);
  EXPECT_EQ(def->OwnerFlag(), 4294967295u);
  EXPECT_EQ(def->Header(), std::string("\0\x01\xff", 3));
  ASSERT_EQ(def->InternalFields()->Count(), 1);
  EXPECT_EQ(static_cast<TFieldItem*>(def->InternalFields()->Items(0))->FieldName(), "BMMC");

  // Events are bound to the new root's methods.
  button->OnClick(button);
  EXPECT_EQ(form->clicks, (std::vector<AnsiString>{"Button1"}));
  EXPECT_TRUE(tree.form->clicks.empty());
  int key = 13;
  edit->OnKeyPress(edit, key);
  EXPECT_EQ(key, 0);
}

TEST(TextForm, ReaderAcceptsHandWrittenVariants) {
  RegisterClasses<TControl, TTableDef>();
  std::string text =
      "object Form1: TTestForm\n"
      "  Caption = 'It''s '#13#10'two'+\n"
      "     ' lines' + #$41\n"
      "  Left = $10\n"
      "  Color = CLRED\n"
      "  Alignment = TACENTER\n"
      "  Font.Name = #23435#20307\n"      // UTF-16 code units
      "  Font.Style = []\n"
      "  Hints = ('x' 'y')\n"
      "  object Table: TTableDef [0]\n"
      "    CreationDate = 2d\n"
      "    OwnerFlag = -1\n"             // unsigned written as signed
      "    Header = { 0a 0B\n  0c }\n"
      "    InternalFields = <\n"
      "      item [0]\n"
      "        DataType = ftString\n"
      "      end>\n"
      "  end\n"
      "  object Edit1: TControl\n"
      "    Table = Table\n"
      "    OnClick = nil\n"
      "  end\n"
      "end\n";
  TTestForm form;
  ObjectTextToComponent(text, &form);
  EXPECT_EQ(form.Name(), "Form1");
  EXPECT_EQ(form.Caption(), "It's \r\ntwo linesA");
  EXPECT_EQ(form.Left(), 16);
  EXPECT_EQ(form.Color(), 255);
  EXPECT_EQ(form.Alignment(), taCenter);
  EXPECT_EQ(form.Font()->Name(), "宋体");
  EXPECT_EQ(form.Hints(), (std::vector<AnsiString>{"x", "y"}));
  auto* table = dynamic_cast<TTableDef*>(form.FindComponent("Table"));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->CreationDate().Val, 2.0);
  EXPECT_EQ(table->OwnerFlag(), 4294967295u);
  EXPECT_EQ(table->Header(), "\x0a\x0b\x0c");
  EXPECT_EQ(static_cast<TFieldItem*>(table->InternalFields()->Items(0))->DataType(), ftString);
  EXPECT_EQ(static_cast<TControl*>(form.FindComponent("Edit1"))->Table(), table);
}

TEST(TextForm, ReadingReplacesCollectionItems) {
  TTableDef def(nullptr);
  AddField(&def, "OLD1", ftString, 2);
  AddField(&def, "OLD2", ftString, 2);
  ObjectTextToComponent("object T: TTableDef\n  InternalFields = <>\nend\n", &def);
  EXPECT_EQ(def.InternalFields()->Count(), 0);
}

TEST(TextForm, LoadingStateAndLoadedOrder) {
  RegisterClasses<TControl>();
  std::vector<AnsiString> log;
  TControl::gLoadLog = &log;
  TTestForm form;
  ObjectTextToComponent(
      "object F: TTestForm\n"
      "  object A: TControl\n"
      "    Left = 1\n"
      "    Table = T\n"  // refers forward to a later sibling
      "  end\n"
      "  object T: TTableDef\n"
      "  end\n"
      "  object B: TControl\n"
      "  end\n"
      "end\n",
      &form);
  TControl::gLoadLog = nullptr;
  auto* a = static_cast<TControl*>(form.FindComponent("A"));
  EXPECT_TRUE(a->leftSetWhileLoading);
  // The root first, then the components in creation order; references are
  // set before any Loaded runs.
  EXPECT_EQ(log, (std::vector<AnsiString>{"Loaded F", "Loaded A table T", "Loaded B"}));
  EXPECT_FALSE(form.ComponentState().Contains(csLoading));
  EXPECT_FALSE(a->ComponentState().Contains(csLoading));
  EXPECT_FALSE(a->ComponentState().Contains(csReading));
  a->SetLeft(2);
  EXPECT_FALSE(a->leftSetWhileLoading);
}

TEST(TextForm, ReferencesToAnotherRootWaitUntilItIsRegistered) {
  RegisterClasses<TControl>();
  TTestForm form;
  ObjectTextToComponent(
      "object FrmLater: TTestForm\n"
      "  object A: TControl\n"
      "    Table = DmLater.Gz\n"
      "  end\n"
      "end\n",
      &form);
  auto* a = static_cast<TControl*>(form.FindComponent("A"));
  EXPECT_EQ(a->Table(), nullptr);
  int waiting = PendingGlobalFixupCount();
  EXPECT_GE(waiting, 1);
  {
    TDataModule dm;
    dm.SetName("DmLater");
    auto* gz = new TTableDef(&dm);
    gz->SetName("Gz");
    RegisterGlobalRoot(&dm);
    EXPECT_EQ(a->Table(), gz);
    EXPECT_EQ(PendingGlobalFixupCount(), waiting - 1);
    EXPECT_EQ(FindGlobalComponent("dmlater"), &dm);
  }
  // The data module is gone: it left the global roots, and the free
  // notification cleared the reference.
  EXPECT_EQ(FindGlobalComponent("DmLater"), nullptr);
  EXPECT_EQ(a->Table(), nullptr);
}

TEST(TextForm, WaitingReferencesAreDroppedWithTheirRoot) {
  RegisterClasses<TControl>();
  int before = PendingGlobalFixupCount();
  {
    TTestForm form;
    ObjectTextToComponent(
        "object F: TTestForm\n  object A: TControl\n    Table = Nowhere.X\n  end\nend\n", &form);
    EXPECT_EQ(PendingGlobalFixupCount(), before + 1);
  }
  EXPECT_EQ(PendingGlobalFixupCount(), before);
  TDataModule late;
  late.SetName("Nowhere");
  RegisterGlobalRoot(&late);  // nothing left to resolve into a deleted form
}

TEST(TextForm, MalformedTextNamesTheLine) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"", "'object' expected on line 1"},
      {"object F: TTestForm\n  Caption = 'abc\nend\n", "Unterminated string on line 2"},
      {"object F: TTestForm\n  Caption 'x'\nend\n", "'=' expected on line 2"},
      {"object F: TTestForm\n  Left = 12x\nend\n", "Invalid numeric value on line 2"},
      {"object F: TTestForm\n  Left = 99999999999999999999\nend\n", "Invalid numeric value on line 2"},
      {"object F: TTestForm\n  Caption = 'a' +\n\n  end\n", "String expected on line 4"},
      {"object F: TTestForm\n  Font.Style = [fsBold, 'x']\nend\n", "Identifier expected on line 2"},
      {"object F: TTestForm\n\n  Hints = ('a'\n", "')' expected on line 4"},
      {"object F: TTestForm\n  Header = {0A0\n}\nend\n", "Invalid binary value on line 3"},
      {"object F: TTestForm\n  Header = {0G}\nend\n", "Invalid binary value on line 2"},
      {"object F: TTestForm\n  X = <\n    end>\nend\n", "'item' expected on line 3"},
      {"object F: TTestForm\n  Left = 1\n", "'end' expected on line 3"},
      {"object F: TTestForm\nend\nobject G: TTestForm\nend\n", "End of text expected on line 3"},
      {"object F: TTestForm\n  Left = #1234567\nend\n", "Invalid string constant on line 2"},
      {"object F: TTestForm\n  Left = \xb9\nend\n", "Invalid character #185 on line 2"},
  };
  for (const Case& c : cases) ExpectError<EParserError>(c.text, c.message);
  std::string deep = "object F: TTestForm\n  Hints = " + std::string(300, '(') + "\nend\n";
  ExpectError<EParserError>(deep, "Nesting too deep on line 2");
}

TEST(TextForm, UnknownClassesPropertiesAndValuesAreRefused) {
  RegisterClasses<TControl>();
  ExpectError<EClassNotFound>("object F: TTestForm\n  object B: TNoSuchButton\n  end\nend\n",
                              "Class TNoSuchButton not found on line 2");
  ExpectError<EPropertyError>("object F: TTestForm\n  Colour = 5\nend\n",
                              "Property F.Colour does not exist on line 2");
  ExpectError<EPropertyError>("object F: TTestForm\n  Font.Colour = 5\nend\n",
                              "Property F.Font.Colour does not exist on line 2");
  ExpectError<EPropertyError>("object F: TTestForm\n  Alignment = taNowhere\nend\n",
                              "Invalid property element: taNowhere on line 2");
  ExpectError<EPropertyError>("object F: TTestForm\n  Font.Style = [fsBold, fsShadow]\nend\n",
                              "Invalid property element: fsShadow on line 2");
  ExpectError<EPropertyError>("object F: TTestForm\n  Left = 'ten'\nend\n",
                              "Invalid property value on line 2");
  ExpectError<EPropertyError>("object F: TTestForm\n  Left = 3000000000\nend\n",
                              "Invalid property value on line 2");
  ExpectError<EPropertyError>("object F: TTestForm\n  Color = clPlaid\nend\n",
                              "Invalid property value on line 2");
  ExpectError<EPropertyError>("object F: TTestForm\n  Caption.Size = 3\nend\n",
                              "Invalid property path Caption.Size on line 2");
  ExpectError<EPropertyError>("object F: TTestForm\n  OnClick = NoHandler\nend\n",
                              "Method NoHandler not found on line 2");
  ExpectError<EPropertyError>("object F: TTestForm\n  OnClick = Edit1KeyPress\nend\n",
                              "Method Edit1KeyPress does not match the event OnClick on line 2");
  ExpectError<EPropertyError>(
      "object F: TTestForm\n  object T: TTableDef\n    Version = '2'\n  end\nend\n",
      "Property Version is read-only on line 3");
  ExpectError<EPropertyError>("object F: TTestForm\n  Table = Owner\nend\n",
                              "Invalid property value on line 2");
}

TEST(TextForm, AFailedReadDeletesWhatItCreated) {
  RegisterClasses<TControl>();
  TTestForm form;
  auto* kept = new TControl(&form);
  kept->SetName("Kept");
  EXPECT_THROW(ObjectTextToComponent("object F: TTestForm\n"
                                     "  object A: TControl\n"
                                     "  end\n"
                                     "  object B: TControl\n"
                                     "    Left = 'x'\n"
                                     "  end\n"
                                     "end\n",
                                     &form),
               EPropertyError);
  EXPECT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(form.Components(0), kept);
  EXPECT_FALSE(form.ComponentState().Contains(csLoading));
  // A duplicate component name is refused by the component itself.
  EXPECT_THROW(ObjectTextToComponent("object F: TTestForm\n  object Kept: TControl\n  end\nend\n", &form),
               EComponentError);
  EXPECT_EQ(form.ComponentCount(), 1);
}

TEST(TextForm, InheritedReadsIntoTheExistingComponent) {
  TTestForm form;
  auto* edit = new TControl(&form);
  edit->SetName("Edit1");
  ObjectTextToComponent("object F: TTestForm\n  inherited Edit1: TControl\n    Left = 7\n  end\nend\n", &form);
  EXPECT_EQ(edit->Left(), 7);
  EXPECT_EQ(form.ComponentCount(), 1);
  ExpectError<EReadError>("object F: TTestForm\n  inherited Edit9: TControl\n  end\nend\n",
                          "Ancestor for 'Edit9' not found on line 2");
  // A failed read leaves an inherited component out of the loading state.
  EXPECT_THROW(ObjectTextToComponent("object F: TTestForm\n  inherited Edit1: TControl\n    Left = 'x'\n  end\nend\n",
                                     &form),
               EPropertyError);
  EXPECT_FALSE(edit->ComponentState().Contains(csLoading));
  EXPECT_FALSE(edit->ComponentState().Contains(csReading));
}

TEST(TextForm, ClassNameOfTheTextAndNewRootsOfUnknownClasses) {
  EXPECT_EQ(ObjectTextClassName("object X: TTableDef\nend\n"), "TTableDef");
  EXPECT_EQ(ObjectTextClassName("inherited TTableDef\nend\n"), "TTableDef");
  try {
    ObjectTextToNewComponent("\n\nobject X: TNothing\nend\n");
    FAIL();
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message(), "Class TNothing not found on line 3");
  }
}

TEST(TextForm, VariantsKeepTheirTypeAndValue) {
  struct Case {
    Variant value;
    const char* text;  // the value as written; nullptr: not written
  } cases[] = {
      {Variant(), nullptr},
      {Null(), "Null"},
      {Variant(12), "12"},
      {Variant(static_cast<long long>(1) << 40), "1099511627776"},
      {Variant(1.5), "1.500000000000000000"},
      {Variant(TDateTime(45000.25)), "45000.250000000000000000d"},
      {Variant(Currency{15000}), "15000c"},
      {Variant(true), "True"},
      {Variant(AnsiString("工资")), "#185#164#215#202"},
  };
  for (const Case& c : cases) {
    TSpecRow row(nullptr);
    row.SetName("Row");
    row.SetValue(c.value);
    AnsiString text = ComponentToObjectText(&row);
    if (c.text == nullptr) {
      EXPECT_EQ(text.find("Value"), std::string::npos) << text;
      continue;
    }
    EXPECT_NE(text.find(std::string("  Value = ") + c.text + "\r\n"), std::string::npos) << text;
    TSpecRow back(nullptr);
    back.SetValue(Variant(99));
    ObjectTextToComponent(text, &back);
    EXPECT_EQ(back.Value().VarType(), c.value.VarType()) << c.text;
    if (!c.value.IsNull()) {
      EXPECT_TRUE(back.Value() == c.value) << c.text;
    }
  }
}

TEST(TextForm, StreamsCarryTheTextFromTheirPosition) {
  TTableDef def(nullptr);
  def.SetName("Def");
  def.SetTableName("bm");
  TMemoryStream stream;
  stream.WriteBuffer("HDR", 3);
  WriteComponentToStream(&stream, &def);
  EXPECT_EQ(stream.Size(), static_cast<std::int64_t>(3 + ComponentToObjectText(&def).size()));
  stream.SetPosition(3);
  TTableDef back(nullptr);
  ReadComponentFromStream(&stream, &back);
  EXPECT_EQ(back.TableName(), "bm");
  EXPECT_EQ(back.Name(), "Def");
}

TEST(TextForm, ReferencesInCollectionItemsResolveAfterTheirTargetsExist) {
  RegisterClasses<TTableDef>();
  TLinkForm form;
  ObjectTextToComponent(
      "object L: TLinkForm\n"
      "  Links = <\n"
      "    item\n"
      "      Target = T1\n"
      "    end>\n"
      "  Links = <\n"  // given twice: the first items and their references go
      "    item\n"
      "      Target = T2\n"
      "    end\n"
      "    item\n"
      "    end>\n"
      "  object T1: TTableDef\n"
      "  end\n"
      "  object T2: TTableDef\n"
      "  end\n"
      "end\n",
      &form);
  ASSERT_EQ(form.Links()->Count(), 2);
  EXPECT_EQ(static_cast<TLinkItem*>(form.Links()->Items(0))->Target(), form.FindComponent("T2"));
  EXPECT_EQ(static_cast<TLinkItem*>(form.Links()->Items(1))->Target(), nullptr);
  EXPECT_NE(ComponentToObjectText(&form).find("      Target = T2\r\n"), std::string::npos);
}

TEST(TextForm, RootsFoundByTheFinderOnceTheyHaveReadTheirName) {
  RegisterClasses<TControl, TTableDef>();
  std::vector<TComponent*> screen;  // the screen's list of data modules
  SetGlobalComponentFinder([&screen](std::string_view name) -> TComponent* {
    for (TComponent* c : screen)
      if (c->Name() == AnsiString(name)) return c;
    return nullptr;
  });
  TTestForm form;
  ObjectTextToComponent("object F: TTestForm\n  object A: TControl\n    Table = DmScreen.Gz\n  end\nend\n",
                        &form);
  auto* a = static_cast<TControl*>(form.FindComponent("A"));
  EXPECT_EQ(a->Table(), nullptr);
  {
    TDataModule dm;
    screen.push_back(&dm);  // listed before it has a name, as a constructor does
    ObjectTextToComponent("object DmScreen: TDataModule\n  object Gz: TTableDef\n  end\nend\n", &dm);
    EXPECT_EQ(a->Table(), dm.FindComponent("Gz"));
    EXPECT_EQ(FindGlobalComponent("DmScreen"), &dm);
    screen.clear();
  }
  SetGlobalComponentFinder(nullptr);
  EXPECT_EQ(a->Table(), nullptr);
}
