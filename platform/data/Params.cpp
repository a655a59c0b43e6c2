#include "platform/data/Params.h"

#include <cstdint>
#include <cstring>

#include "platform/core/AnsiText.h"
#include "platform/core/Streams.h"
#include "platform/data/DBConsts.h"
#include "platform/data/DBErrors.h"
#include "platform/data/Fields.h"

using namespace dbconsts;

// ---------------------------------------------------------------------------
// TParam

void TParam::Clear() {
  value_ = Variant::Null();
  bound_ = true;
}

void TParam::SetValue(const Variant& v) {
  if (dataType_ == ftUnknown && !v.IsNull() && !v.IsEmpty()) {
    switch (v.VarType()) {
      case varSmallint: dataType_ = ftSmallint; break;
      case varInteger: dataType_ = ftInteger; break;
      case varInt64: dataType_ = ftInteger; break;
      case varDouble: dataType_ = ftFloat; break;
      case varCurrency: dataType_ = ftCurrency; break;
      case varDate: dataType_ = ftDateTime; break;
      case varBoolean: dataType_ = ftBoolean; break;
      case varString: dataType_ = ftString; break;
      default: break;
    }
  }
  value_ = v;
  bound_ = true;
}

void TParam::SetTyped(TFieldType type, const Variant& v) {
  dataType_ = type;
  value_ = v;
  bound_ = true;
}

void TParam::AssignField(TField* field) {
  if (field == nullptr) return;
  dataType_ = field->DataType() == ftAutoInc ? ftInteger : field->DataType();
  if (name_.empty()) name_ = field->FieldName();
  value_ = field->IsNull() ? Variant::Null() : field->Value();
  bound_ = true;
}

void TParam::AssignFieldValue(TField* field, const Variant& value) {
  if (field == nullptr) return;
  dataType_ = field->DataType() == ftAutoInc ? ftInteger : field->DataType();
  value_ = value;
  bound_ = true;
}

void TParam::Assign(TPersistent* source) {
  if (auto* p = dynamic_cast<TParam*>(source)) {
    name_ = p->name_;
    dataType_ = p->dataType_;
    paramType_ = p->paramType_;
    value_ = p->value_;
    bound_ = p->bound_;
    return;
  }
  if (auto* f = dynamic_cast<TField*>(source)) {
    AssignField(f);
    return;
  }
  TPersistent::Assign(source);
}

// ---------------------------------------------------------------------------
// TParams

TParams::TParams(TPersistent* owner) : TOwnedCollection(owner, ItemClassOf<TParam>()) {}

TParam* TParams::CreateParam(TFieldType type, const AnsiString& name, TParamType paramType) {
  TParam* p = Add();
  p->SetName(name);
  p->SetDataType(type);
  p->SetParamType(paramType);
  return p;
}

TParam* TParams::FindParam(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiCompareText(Items(i)->Name(), name) == 0) return Items(i);
  return nullptr;
}

TParam* TParams::ParamByName(const AnsiString& name) const {
  TParam* p = FindParam(name);
  if (p == nullptr) DatabaseErrorFmt(SParameterNotFound, {name});
  return p;
}

void TParams::AssignValues(const TParams& other) {
  for (int i = 0; i < other.Count(); ++i) {
    TParam* p = FindParam(other[i]->Name());
    if (p != nullptr) p->Assign(other[i]);
  }
}

bool TParams::IsEqual(const TParams& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i) {
    const TParam* a = Items(i);
    const TParam* b = other.Items(i);
    if (a->Name() != b->Name() || a->DataType() != b->DataType() ||
        a->ParamType() != b->ParamType() || a->Bound() != b->Bound() ||
        VarCompareValue(a->Value(), b->Value()) != vrEqual)
      return false;
  }
  return true;
}

// --- parsing -----------------------------------------------------------------

static bool IsNameChar(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

AnsiString TParams::ParseSQL(const AnsiString& sql, bool doCreate) {
  if (doCreate) Clear();
  AnsiString out;
  out.reserve(sql.size());
  const size_t n = sql.size();
  size_t i = 0;
  auto addName = [&](const AnsiString& name) {
    if (doCreate && !name.empty() && FindParam(name) == nullptr) {
      TParam* p = Add();
      p->SetName(name);
      p->SetParamType(ptInput);
    }
  };
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(sql[i]);
    if (IsDBCSLeadByte(c) && i + 1 < n) {  // a double-byte character as a whole
      out.append(sql, i, 2);
      i += 2;
      continue;
    }
    if (c == '\'' || c == '"' || c == '`') {  // literal: copied to its end
      size_t end = i + 1;
      while (end < n && static_cast<unsigned char>(sql[end]) != c) {
        end += IsDBCSLeadByte(static_cast<unsigned char>(sql[end])) && end + 1 < n ? 2 : 1;
      }
      end = end < n ? end + 1 : n;
      out.append(sql, i, end - i);
      i = end;
      continue;
    }
    if (c == '-' && i + 1 < n && sql[i + 1] == '-') {  // line comment
      size_t end = sql.find('\n', i);
      end = end == std::string::npos ? n : end;
      out.append(sql, i, end - i);
      i = end;
      continue;
    }
    if (c == '/' && i + 1 < n && sql[i + 1] == '*') {  // block comment
      size_t end = sql.find("*/", i + 2);
      end = end == std::string::npos ? n : end + 2;
      out.append(sql, i, end - i);
      i = end;
      continue;
    }
    if (c == ':' && i + 1 < n && sql[i + 1] == ':') {  // "::" stays as it is
      out.append("::");
      i += 2;
      continue;
    }
    if (c == ':' && i + 1 < n) {
      unsigned char d = static_cast<unsigned char>(sql[i + 1]);
      if (d == '"' || d == '\'') {  // quoted name
        size_t end = sql.find(static_cast<char>(d), i + 2);
        if (end != std::string::npos) {
          addName(sql.substr(i + 2, end - i - 2));
          out += '?';
          i = end + 1;
          continue;
        }
      } else if (IsNameChar(d) || IsDBCSLeadByte(d)) {
        size_t end = i + 1;
        while (end < n) {
          unsigned char e = static_cast<unsigned char>(sql[end]);
          if (IsDBCSLeadByte(e) && end + 1 < n)
            end += 2;
          else if (IsNameChar(e))
            ++end;
          else
            break;
        }
        addName(sql.substr(i + 1, end - i - 1));
        out += '?';
        i = end;
        continue;
      }
    }
    out += static_cast<char>(c);
    ++i;
  }
  return out;
}

// --- stored form ---------------------------------------------------------------

namespace {

enum : unsigned char {
  vaNull = 0x00, vaList = 0x01, vaInt8 = 0x02, vaInt16 = 0x03, vaInt32 = 0x04,
  vaExtended = 0x05, vaString = 0x06, vaIdent = 0x07, vaFalse = 0x08, vaTrue = 0x09,
  vaLString = 0x0C, vaCollection = 0x0E
};

const char* const kParamTypeNames[] = {"ptUnknown", "ptInput", "ptOutput", "ptInputOutput",
                                       "ptResult"};

void WriteByte(TStream* s, unsigned char b) { s->WriteBuffer(&b, 1); }

void WriteShortString(TStream* s, const AnsiString& v) {
  WriteByte(s, static_cast<unsigned char>(v.size()));
  if (!v.empty()) s->WriteBuffer(v.data(), static_cast<int>(v.size()));
}

void WriteStringValue(TStream* s, const AnsiString& v) {
  if (v.size() <= 255) {
    WriteByte(s, vaString);
    WriteShortString(s, v);
  } else {
    WriteByte(s, vaLString);
    std::int32_t len = static_cast<std::int32_t>(v.size());
    s->WriteBuffer(&len, 4);
    s->WriteBuffer(v.data(), len);
  }
}

void WriteIdent(TStream* s, const AnsiString& v) {
  WriteByte(s, vaIdent);
  WriteShortString(s, v);
}

void WriteExtended(TStream* s, double d) {
  static_assert(sizeof(long double) >= 10, "x87 extended precision expected");
  long double x = d;
  unsigned char raw[sizeof(long double)] = {};
  std::memcpy(raw, &x, sizeof x);
  WriteByte(s, vaExtended);
  s->WriteBuffer(raw, 10);
}

void WriteVariant(TStream* s, const Variant& v) {
  if (v.IsNull() || v.IsEmpty()) {
    WriteByte(s, vaNull);
    return;
  }
  switch (v.VarType()) {
    case varBoolean:
      WriteByte(s, v.AsBoolean() ? vaTrue : vaFalse);
      break;
    case varSmallint:
    case varInteger: {
      int i = v.AsInteger();
      if (i >= -128 && i <= 127) {
        WriteByte(s, vaInt8);
        auto b = static_cast<std::int8_t>(i);
        s->WriteBuffer(&b, 1);
      } else if (i >= -32768 && i <= 32767) {
        WriteByte(s, vaInt16);
        auto w = static_cast<std::int16_t>(i);
        s->WriteBuffer(&w, 2);
      } else {
        WriteByte(s, vaInt32);
        std::int32_t l = i;
        s->WriteBuffer(&l, 4);
      }
      break;
    }
    case varString:
      WriteStringValue(s, v.AsString());
      break;
    default:
      WriteExtended(s, v.AsDouble());
      break;
  }
}

[[noreturn]] void BadData() { throw EReadError(dbconsts::SInvalidParamData); }

unsigned char ReadByte(TStream* s) {
  unsigned char b;
  if (s->Read(&b, 1) != 1) BadData();
  return b;
}

AnsiString ReadShortString(TStream* s) {
  unsigned char len = ReadByte(s);
  AnsiString v(len, '\0');
  if (len > 0 && s->Read(v.data(), len) != len) BadData();
  return v;
}

AnsiString ReadStringValue(TStream* s, unsigned char tag) {
  if (tag == vaString || tag == vaIdent) return ReadShortString(s);
  if (tag == vaLString) {
    std::int32_t len;
    if (s->Read(&len, 4) != 4) BadData();
    // A length from the stream: never beyond what the stream holds.
    if (len < 0 || len > s->Size() - s->Position()) BadData();
    AnsiString v(static_cast<size_t>(len), '\0');
    if (len > 0 && s->Read(v.data(), len) != len) BadData();
    return v;
  }
  BadData();
}

Variant ReadVariant(TStream* s) {
  unsigned char tag = ReadByte(s);
  switch (tag) {
    case vaNull: return Variant::Null();
    case vaFalse: return Variant(false);
    case vaTrue: return Variant(true);
    case vaInt8: {
      std::int8_t b;
      if (s->Read(&b, 1) != 1) BadData();
      return Variant(static_cast<int>(b));
    }
    case vaInt16: {
      std::int16_t w;
      if (s->Read(&w, 2) != 2) BadData();
      return Variant(static_cast<int>(w));
    }
    case vaInt32: {
      std::int32_t l;
      if (s->Read(&l, 4) != 4) BadData();
      return Variant(static_cast<int>(l));
    }
    case vaExtended: {
      unsigned char raw[sizeof(long double)] = {};
      if (s->Read(raw, 10) != 10) BadData();
      long double x;
      std::memcpy(&x, raw, sizeof x);
      return Variant(static_cast<double>(x));
    }
    case vaString:
    case vaLString: return Variant(ReadStringValue(s, tag));
    default: BadData();
  }
}

TFieldType FieldTypeFromIdent(const AnsiString& ident) {
  for (int t = 0; t < kFieldTypeCount; ++t)
    if (SameText("ft" + FieldTypeName(static_cast<TFieldType>(t)), ident))
      return static_cast<TFieldType>(t);
  BadData();
}

TParamType ParamTypeFromIdent(const AnsiString& ident) {
  for (int t = 0; t <= ptResult; ++t)
    if (SameText(kParamTypeNames[t], ident)) return static_cast<TParamType>(t);
  BadData();
}

// The enumerator's own spelling (the type names differ in case in places).
AnsiString FieldTypeIdent(TFieldType t) {
  static const char* const kIdents[kFieldTypeCount] = {
      "ftUnknown", "ftString", "ftSmallint", "ftInteger", "ftWord", "ftBoolean", "ftFloat",
      "ftCurrency", "ftBCD", "ftDate", "ftTime", "ftDateTime", "ftBytes", "ftVarBytes",
      "ftAutoInc", "ftBlob", "ftMemo", "ftGraphic", "ftFmtMemo", "ftParadoxOle",
      "ftDBaseOle", "ftTypedBinary", "ftCursor", "ftFixedChar", "ftWideString", "ftLargeint",
      "ftADT", "ftArray", "ftReference", "ftDataSet", "ftOraBlob", "ftOraClob", "ftVariant",
      "ftInterface", "ftIDispatch", "ftGuid"};
  return kIdents[t];
}

}  // namespace

void TParams::WriteData(TStream* stream) const {
  WriteByte(stream, vaCollection);
  for (int i = 0; i < Count(); ++i) {
    const TParam* p = Items(i);
    WriteByte(stream, vaList);
    WriteShortString(stream, "DataType");
    WriteIdent(stream, FieldTypeIdent(p->DataType()));
    WriteShortString(stream, "Name");
    WriteStringValue(stream, p->Name());
    WriteShortString(stream, "ParamType");
    WriteIdent(stream, kParamTypeNames[p->ParamType()]);
    if (p->Bound()) {
      WriteShortString(stream, "Value");
      WriteVariant(stream, p->Value());
    }
    WriteByte(stream, vaNull);
  }
  WriteByte(stream, vaNull);
}

void TParams::ReadData(TStream* stream) {
  TParams loaded;
  if (ReadByte(stream) != vaCollection) BadData();
  for (;;) {
    unsigned char tag = ReadByte(stream);
    if (tag == vaNull) break;
    if (tag != vaList) BadData();
    TParam* p = loaded.Add();
    for (;;) {
      AnsiString prop = ReadShortString(stream);
      if (prop.empty()) break;  // the 0x00 ending the item reads as an empty name
      if (SameText(prop, "Name")) {
        p->SetName(ReadStringValue(stream, ReadByte(stream)));
      } else if (SameText(prop, "DataType")) {
        if (ReadByte(stream) != vaIdent) BadData();
        p->SetDataType(FieldTypeFromIdent(ReadShortString(stream)));
      } else if (SameText(prop, "ParamType")) {
        if (ReadByte(stream) != vaIdent) BadData();
        p->SetParamType(ParamTypeFromIdent(ReadShortString(stream)));
      } else if (SameText(prop, "Value")) {
        TFieldType keep = p->DataType();
        p->SetValue(ReadVariant(stream));
        p->SetDataType(keep);
      } else {
        BadData();
      }
    }
  }
  Assign(&loaded);
}
