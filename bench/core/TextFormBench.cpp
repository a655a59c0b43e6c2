// The text form on the path every table open takes: a table definition of
// 100 fields and 5 indexes written to text and read back.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/core/Collections.h"
#include "platform/core/TextForm.h"
#include "platform/core/TypInfo.h"

namespace {

enum TFieldType { ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat };
PAYROLL_ENUM_NAMES(TFieldType, ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat)

class TFieldItem : public TCollectionItem {
  PAYROLL_CLASS(TFieldItem, TCollectionItem)
 public:
  explicit TFieldItem(TCollection* c) : TCollectionItem(c) {}
  AnsiString FieldName() const { return name_; }
  void SetFieldName(const AnsiString& v) { name_ = v; }
  TFieldType DataType() const { return type_; }
  void SetDataType(TFieldType v) { type_ = v; }
  int FieldSize() const { return size_; }
  void SetFieldSize(int v) { size_ = v; }
  int DataOffset() const { return offset_; }
  void SetDataOffset(int v) { offset_ = v; }
  bool Required() const { return required_; }
  void SetRequired(bool v) { required_ = v; }

 private:
  AnsiString name_;
  TFieldType type_ = ftUnknown;
  int size_ = 0, offset_ = 0;
  bool required_ = false;
};

class TBenchTableDef : public TComponent {
  PAYROLL_CLASS(TBenchTableDef, TComponent)
 public:
  explicit TBenchTableDef(TComponent* owner)
      : TComponent(owner), fields_(this, ItemClassOf<TFieldItem>()) {}
  AnsiString TableName() const { return name_; }
  void SetTableName(const AnsiString& v) { name_ = v; }
  double CreationDate() const { return created_; }
  void SetCreationDate(double v) { created_ = v; }
  TOwnedCollection* InternalFields() { return &fields_; }

 private:
  AnsiString name_;
  double created_ = 0;
  TOwnedCollection fields_;
};

PAYROLL_PUBLISH(TFieldItem) {
  p.Property("FieldName", &TFieldItem::FieldName, &TFieldItem::SetFieldName);
  p.Property("DataType", &TFieldItem::DataType, &TFieldItem::SetDataType);
  p.Property("FieldSize", &TFieldItem::FieldSize, &TFieldItem::SetFieldSize);
  p.Property("DataOffset", &TFieldItem::DataOffset, &TFieldItem::SetDataOffset);
  p.Property("Required", &TFieldItem::Required, &TFieldItem::SetRequired).Default(false);
}

PAYROLL_PUBLISH(TBenchTableDef) {
  p.Property("TableName", &TBenchTableDef::TableName, &TBenchTableDef::SetTableName);
  p.Property("CreationDate", &TBenchTableDef::CreationDate, &TBenchTableDef::SetCreationDate);
  p.Property("InternalFields", &TBenchTableDef::InternalFields);
}

void Fill(TBenchTableDef& def) {
  def.SetName("TableDef");
  def.SetTableName("gzk");
  def.SetCreationDate(45234.567891203704);
  for (int i = 1; i <= 100; ++i) {
    auto* f = static_cast<TFieldItem*>(def.InternalFields()->Add());
    f->SetFieldName("F" + std::to_string(i));
    f->SetDataType(i % 2 ? ftFloat : ftString);
    f->SetFieldSize(8);
    f->SetDataOffset(14 + 8 * i);
  }
}

void BM_WriteTableDefinition(benchmark::State& state) {
  TBenchTableDef def(nullptr);
  Fill(def);
  for (auto _ : state) benchmark::DoNotOptimize(ComponentToObjectText(&def));
}
BENCHMARK(BM_WriteTableDefinition);

void BM_ReadTableDefinition(benchmark::State& state) {
  TBenchTableDef def(nullptr);
  Fill(def);
  AnsiString text = ComponentToObjectText(&def);
  state.SetBytesProcessed(0);
  for (auto _ : state) {
    TBenchTableDef back(nullptr);
    ObjectTextToComponent(text, &back);
    benchmark::DoNotOptimize(back.InternalFields()->Count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReadTableDefinition);

}  // namespace
