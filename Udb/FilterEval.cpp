// FilterEval: see FilterEval.h.
#include "Udb/FilterEval.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "Udb/DBLogger.h"
#include "Udb/UdbErrors.h"
#include "Udb/UdbUtils.h"
#include "platform/core/DateTime.h"
#include "platform/data/DBConsts.h"
#include "platform/data/DBErrors.h"

namespace {

using udberr::kFilterNotCreated;
using udberr::kInvalidFilter;
using udberr::kInvalidProcedure;

[[noreturn]] void InvalidBuffer() {
  UdbDatabaseError(kInvalidFilter, "TUdbExprParser.BuildStack", "Assertion failure");
}

// Relation of left to right by the variant order (Null below every value).
bool Relate(TCANOperator op, const Variant& left, const Variant& right) {
  switch (op) {
    case coEQ: return left == right;
    case coNE: return left != right;
    case coGT: return left > right;
    case coLT: return left < right;
    case coGE: return left >= right;
    case coLE: return left <= right;
    default: return false;
  }
}

// Bytes of a LIKE pattern before its first wildcard, with trailing blanks
// removed; a trail byte that looks like '_' is part of its character.
AnsiString LikePrefix(const AnsiString& pattern) {
  size_t i = 0;
  while (i < pattern.size()) {
    auto c = static_cast<unsigned char>(pattern[i]);
    if (IsDBCSLeadByte(c) && i + 1 < pattern.size()) {
      i += 2;
      continue;
    }
    if (c == '%' || c == '_') break;
    ++i;
  }
  AnsiString prefix = pattern.substr(0, i);
  while (!prefix.empty() && prefix.back() == ' ') prefix.pop_back();
  return prefix;
}

}  // namespace

Variant FilterConstValue(int typeCode, const std::uint8_t* data, int size) {
  auto need = [&](int n) {
    if (size < n) InvalidBuffer();
  };
  switch (typeCode) {
    case fltconst::kString:
    case fltconst::kFixedChar: {
      const auto* chars = reinterpret_cast<const char*>(data);
      size_t len = 0;
      while (len < static_cast<size_t>(size) && chars[len] != 0) ++len;
      return Variant(AnsiString(chars, len));
    }
    case fltconst::kSmallint:
      need(2);
      // A smallint keeps its sign: "Qty > -5" means -5.
      return Variant(static_cast<int>(static_cast<std::int16_t>(fltfmt::GetU16(data))));
    case fltconst::kWord:
      need(2);
      return Variant(static_cast<int>(fltfmt::GetU16(data)));
    case fltconst::kInteger:
    case fltconst::kAutoInc:
      need(4);
      return Variant(static_cast<int>(fltfmt::GetU32(data)));
    case fltconst::kBoolean:
      need(2);
      return Variant(fltfmt::GetU16(data) != 0);
    case fltconst::kFloat: {
      need(8);
      double v;
      std::memcpy(&v, data, 8);
      return Variant(v);
    }
    case fltconst::kCurrency: {
      need(8);
      double v;
      std::memcpy(&v, data, 8);
      return Variant(Currency::FromDouble(v));
    }
    case fltconst::kDate: {
      need(4);
      TTimeStamp stamp;
      stamp.Date = static_cast<int>(fltfmt::GetU32(data));
      return Variant(TimeStampToDateTime(stamp));
    }
    case fltconst::kTime: {
      need(4);
      // A time of day below 1, as a time field stores it.
      return Variant(TDateTime(static_cast<double>(fltfmt::GetU32(data)) / kMSecsPerDay));
    }
    case fltconst::kDateTime: {
      need(8);
      double v;
      std::memcpy(&v, data, 8);
      return Variant(TimeStampToDateTime(MSecsToTimeStamp(v)));
    }
    default:
      UdbDatabaseError(kFilterNotCreated, "TUdbExprParser.GetConstValue",
                       FieldTypeName(static_cast<TFieldType>(typeCode)));
  }
}

bool EvaluateExprValues(TCANOperator op, const Variant& left, const Variant& right, bool inQuery) {
  if (inQuery && (op == coLT || op == coLE) && left.IsNull()) return false;
  if (left.IsNull() && !right.IsNull()) {
    switch (op) {
      case coEQ: case coGT: case coGE: case coAND: return false;
      case coNE: case coLT: case coLE: return true;
      default: break;
    }
  }
  try {
    switch (op) {
      case coISBLANK: return right.IsEmpty() || right.IsNull();
      case coNOTBLANK: return !(right.IsEmpty() || right.IsNull());
      case coEQ: case coNE: case coGT: case coLT: case coGE: case coLE: return Relate(op, left, right);
      case coLIKE: return left == right;
      case coNOT: return !right.AsBoolean();
      case coAND: return left.AsBoolean() && right.AsBoolean();
      case coOR: return left.AsBoolean() || right.AsBoolean();
      default: break;
    }
  } catch (const EUdbDatabaseError&) {
    throw;
  } catch (const Exception&) {
    // A value that cannot be compared or converted is no match: counting it
    // as one would make "Qty > Name" select every row.
    UdbLogger().Log("UdbParsers.EvaluateExprValues",
                    "Unexpected variant error:  " + VarToStr(left) + ":" + VarToStr(right));
    return false;
  }
  UdbDatabaseError(kFilterNotCreated, "EvaluateExprValues", OperatorName(op));
}

// --- TUdbExprParser ------------------------------------------------------------------

TUdbExprParser::TUdbExprParser(const TFilterFields* fields, const AnsiString& text,
                               const TFilterOptions& options)
    : fields_(fields), options_(options) {
  TFilterExprParser parser(fields, text, options);
  buffer_ = parser.BufferBytes();
  if (buffer_.size() >= static_cast<size_t>(fltfmt::kHeaderSize)) {
    nodeStart_ = fltfmt::GetU16(buffer_.data() + fltfmt::kNodeStartOffset);
    literalStart_ = fltfmt::GetU16(buffer_.data() + fltfmt::kLiteralStartOffset);
  }
}

TUdbExprParser::~TUdbExprParser() = default;

void TUdbExprParser::BuildStack() {
  items_.clear();
  if (buffer_.size() < static_cast<size_t>(fltfmt::kHeaderSize) ||
      literalStart_ > static_cast<int>(buffer_.size()) || nodeStart_ != fltfmt::kHeaderSize)
    InvalidBuffer();
  LoadNode(0);
  PrepareConstants();
}

TFilterItem* TUdbExprParser::LoadNode(int nodeOffset) {
  const int pos = nodeStart_ + nodeOffset;
  if (pos + fltfmt::kNodeFixedSize > literalStart_) InvalidBuffer();
  const std::uint8_t* p = buffer_.data() + pos;
  auto item = std::make_unique<TFilterItem>();
  std::uint32_t nodeClass = fltfmt::GetU32(p), op = fltfmt::GetU32(p + 4);
  if (op > coASSIGN) InvalidBuffer();
  int operands = 0;
  switch (nodeClass) {
    case nodeUNARY: operands = 1; break;
    case nodeBINARY: case nodeFIELD: case nodeLISTELEM: operands = 2; break;
    case nodeCONST: operands = 3; break;
    case nodeCOMPARE: operands = 4; break;
    default: InvalidBuffer();
  }
  if (pos + fltfmt::NodeSize(operands) > literalStart_) InvalidBuffer();
  auto operand = [&](int i) { return static_cast<int>(fltfmt::GetU16(p + 8 + 2 * i)); };
  auto literal = [&](int offset, int size) {
    if (literalStart_ + offset + size > static_cast<int>(buffer_.size())) InvalidBuffer();
    return buffer_.data() + literalStart_ + offset;
  };
  item->NodeClass = static_cast<TNodeClass>(nodeClass);
  item->Operator = static_cast<TCANOperator>(op);
  item->Kind = nodeClass == nodeFIELD ? 0 : nodeClass == nodeCONST ? 1 : 2;
  if (nodeClass == nodeFIELD) {
    int offset = operand(1);
    const char* name = reinterpret_cast<const char*>(literal(offset, 1));
    size_t len = std::strlen(name);  // the buffer ends in the name's zero byte at the latest
    if (literalStart_ + offset + static_cast<int>(len) >= static_cast<int>(buffer_.size()))
      InvalidBuffer();
    AnsiString fieldName(name, len);
    item->Field = fields_ ? fields_->FindFilterField(fieldName) : nullptr;
    if (!item->Field) DatabaseErrorFmt(dbconsts::SFieldNotFound, {fieldName});
  } else if (nodeClass == nodeCONST) {
    int size = operand(1);
    item->Value = FilterConstValue(operand(0), literal(operand(2), size), size);
  } else if (nodeClass == nodeCOMPARE) {
    item->W1 = static_cast<std::uint16_t>(operand(0));
    item->W2 = static_cast<std::uint16_t>(operand(1));
  }
  TFilterItem* stored = item.get();
  items_.push_back(std::move(item));
  // Operand 0 means "none": only the root sits at node offset 0 (F2).
  auto load = [&](int offset) { return offset ? LoadNode(offset) : nullptr; };
  switch (nodeClass) {
    case nodeUNARY:
      stored->Left = load(operand(0));
      break;
    case nodeBINARY:
    case nodeLISTELEM:
      stored->Left = load(operand(0));
      stored->Right = load(operand(1));
      break;
    case nodeCOMPARE:
      stored->Left = load(operand(2));
      stored->Right = load(operand(3));
      break;
    default:
      break;
  }
  return stored;
}

// A LIKE on a string field against a constant becomes a compare item whose
// prefix (the pattern before its first wildcard) an index can search; a
// compare item's constant is its own prefix.
void TUdbExprParser::PrepareConstants() {
  for (auto& owned : items_) {
    TFilterItem* item = owned.get();
    if (item->NodeClass != nodeBINARY && item->NodeClass != nodeCOMPARE) continue;
    TFilterItem* left = item->Left;
    TFilterItem* right = item->Right;
    if (!left || !right || left->Kind != 0 || right->Kind != 1) continue;
    if (left->Field->DataType != ftString) continue;
    AnsiString text = VarToStr(right->Value);
    if (item->Operator == coLIKE) {
      right->PreparedString = LikePrefix(text);
      item->PatternPrefix = static_cast<int>(right->PreparedString.size());
      if (item->NodeClass == nodeBINARY) {
        item->W1 = static_cast<std::uint16_t>(right->PreparedString.size());
        item->W2 = static_cast<std::uint16_t>(text.size());
        item->NodeClass = nodeCOMPARE;
      }
    } else if (item->NodeClass == nodeCOMPARE) {
      // W1 stays the case flag written by the parser.
      right->PreparedString = text;
    }
  }
}

Variant TUdbExprParser::ValueOf(TFilterItem* item) const {
  if (item->Kind == 0) {
    if (!reader_) UdbDatabaseError(kInvalidProcedure, "TUdbExprParser.EvaluateTree");
    return reader_(item->Field->FieldNo - 1);
  }
  return item->Value;
}

TFilterItem* TUdbExprParser::PopOperand() {
  if (operands_.empty())
    UdbDatabaseError(kInvalidFilter, "TUdbExprParser.EvaluateTree");
  TFilterItem* item = operands_.back();
  operands_.pop_back();
  return item;
}

bool TUdbExprParser::EvaluateTree() {
  operands_.clear();
  listValues_.clear();
  if (items_.empty()) UdbDatabaseError(kInvalidFilter, "TUdbExprParser.EvaluateTree");
  Visit(items_[0].get());
  if (operands_.size() != 1 || operands_[0]->Kind != 2)
    UdbDatabaseError(kInvalidFilter, "TUdbExprParser.EvaluateTree");
  return operands_[0]->Value.AsBoolean();
}

bool TUdbExprParser::EvaluateConstantItem(TFilterItem* item) {
  operands_.clear();
  listValues_.clear();
  Visit(item);
  bool result = !operands_.empty() && operands_.back()->Value.AsBoolean();
  operands_.clear();
  return result;
}

void TUdbExprParser::Visit(TFilterItem* item) {
  if (item->Left) Visit(item->Left);
  if (item->Right) Visit(item->Right);
  switch (item->NodeClass) {
    case nodeFIELD:
    case nodeCONST:
      operands_.push_back(item);
      break;
    case nodeLISTELEM:
      listValues_.push_back(ValueOf(PopOperand()));
      break;
    case nodeUNARY:
    case nodeBINARY:
    case nodeCOMPARE:
      EvaluateStackNode(item);
      operands_.push_back(item);
      break;
    default:
      break;
  }
}

int TUdbExprParser::CompareText(const AnsiString& search, const AnsiString& other,
                                bool caseInsensitive, bool partial) const {
  if (!keyCompare_) UdbDatabaseError(kInvalidProcedure, "TUdbExprParser.EvaluateStackNode");
  return keyCompare_(search.data(), other.data(), static_cast<int>(search.size()),
                     static_cast<int>(other.size()), caseInsensitive, partial);
}

void TUdbExprParser::EvaluateStackNode(TFilterItem* item) {
  const bool isIn = item->Operator == coIN;
  const TCANOperator op = isIn ? coEQ : item->Operator;
  const Variant right = ValueOf(PopOperand());
  bool result = false;
  for (;;) {
    Variant left;
    if (item->NodeClass == nodeUNARY) {
      // no left operand
    } else if (isIn) {
      if (listValues_.empty()) break;
      left = listValues_.back();
      listValues_.pop_back();
    } else {
      left = ValueOf(PopOperand());
    }
    if (item->NodeClass == nodeCOMPARE) {
      const AnsiString r = VarToStr(right), l = VarToStr(left);
      if (op == coLIKE) {
        result = LikeMatch(l, r);
      } else if (item->W2 == 0) {
        // A whole-value compare: "Name = 'Smith'" does not match Smithson.
        result = EvaluateExprValues(op, Variant(0), Variant(CompareText(r, l, item->W1 != 0, false)),
                                    inQuery_);
      } else {
        // The record's text taken to exactly the partial length, padded with
        // zero bytes, so that "Sm*" does not match "S".
        AnsiString cut = l.substr(0, item->W2);
        cut.resize(item->W2, '\0');
        result = EvaluateExprValues(op, Variant(0), Variant(CompareText(r, cut, item->W1 != 0, true)),
                                    inQuery_);
      }
    } else if (left.IsString() && !right.IsNull() && !right.IsEmpty() && op != coAND && op != coOR) {
      // A null field never equals a text in an IN list.
      int c = CompareText(VarToStr(right), left.AsString(), options_.Contains(foCaseInsensitive), false);
      result = EvaluateExprValues(op, Variant(0), Variant(c), inQuery_);
    } else {
      result = EvaluateExprValues(op, left, right, inQuery_);
    }
    if (!isIn || result) break;
  }
  if (isIn) listValues_.clear();
  item->Value = Variant(result);
}

// --- TExprTree ----------------------------------------------------------------

Variant TExprTreeItem::GetConstValue(int i) const {
  if (!Index) return Variant::Null();
  if (i < 0 || i >= GetConstCount())
    UdbDatabaseError(kFilterNotCreated, "TExprTreeItem.GetConstValue");
  return Constants[static_cast<size_t>(i)];
}

AnsiString TExprTreeItem::GetPrefixString() const {
  if (!Index || !Node || Node->NodeClass != nodeCOMPARE || !Node->Right) return AnsiString();
  return Node->Right->PreparedString;
}

int TExprTreeItem::GetFieldIndex() const {
  if (!Index || !Node || !Node->Left || Node->Left->Kind != 0) return -1;
  return Node->Left->Field->FieldNo - 1;
}

TExprTreeItem* TExprTree::Add() {
  items_.push_back(std::make_unique<TExprTreeItem>());
  return items_.back().get();
}

void TExprTree::Prepare() {
  complementPresent_ = false;
  if (items_.empty()) return;
  const TIndexLevel rootLevel = items_[0]->Level;
  for (auto& item : items_) item->RootLevel = rootLevel;
  PrepareItem(items_[0].get(), rootLevel);
}

void TExprTree::PrepareItem(TExprTreeItem* item, TIndexLevel rootLevel) {
  if (rootLevel == olNone) item->Index = nullptr;
  TFilterItem* node = item->Node;
  if (node->Operator == coNE && item->Index) {
    item->Complement = true;
    complementPresent_ = true;
  }
  item->Constants.clear();
  item->PrefixConstant = false;
  if (node->Operator == coISBLANK || node->Operator == coNOTBLANK) {
    item->Constants.push_back(Variant::Null());
  } else if (node->Operator == coIN) {
    bool allConstants = true;
    std::vector<Variant> values;
    for (TFilterItem* e = node->Right; e; e = e->Right) {
      if (!e->Left || e->Left->Kind != 1) {
        allConstants = false;
        break;
      }
      values.push_back(e->Left->Value);
    }
    if (allConstants) item->Constants = values;
  } else if ((node->NodeClass == nodeBINARY || node->NodeClass == nodeCOMPARE) && node->Right &&
             node->Right->Kind == 1) {
    item->Constants.push_back(node->Right->Value);
    item->PrefixConstant = node->NodeClass == nodeCOMPARE;
  }
  if (item->LeftChild) PrepareItem(item->LeftChild, rootLevel);
  if (item->RightChild) PrepareItem(item->RightChild, rootLevel);
}

void TExprTree::CombineRecordLists(const std::vector<TFilterEntry>& master) {
  if (items_.empty()) return;
  if (complementPresent_) {
    for (auto& item : items_) {
      if (!item->Complement) continue;
      std::unordered_set<TRecAddr> found(item->RecordList.begin(), item->RecordList.end());
      std::vector<TRecAddr> rest;
      rest.reserve(master.size() - std::min(master.size(), found.size()));
      for (const TFilterEntry& e : master)
        if (!found.count(e.Address)) rest.push_back(e.Address);
      item->RecordList.swap(rest);
    }
  }
  CombineItem(items_[0].get(), master);
}

void TExprTree::CombineItem(TExprTreeItem* item, const std::vector<TFilterEntry>& master) {
  if (item->LeftChild) CombineItem(item->LeftChild, master);
  if (item->RightChild) CombineItem(item->RightChild, master);
  if (item->LeftChild && item->RightChild) {
    TExprTreeItem* a = item->LeftChild;
    TExprTreeItem* b = item->RightChild;
    // S: the shorter list (the right child's on a tie), L: the other.
    const bool leftShorter = a->RecordList.size() < b->RecordList.size();
    const std::vector<TRecAddr>& s = leftShorter ? a->RecordList : b->RecordList;
    const std::vector<TRecAddr>& l = leftShorter ? b->RecordList : a->RecordList;
    std::unordered_set<TRecAddr> inL(l.begin(), l.end());
    std::vector<TRecAddr> out;
    const TCANOperator op = item->Node->Operator;
    if (op == coAND && a->Level != olNone && b->Level != olNone) {
      for (TRecAddr addr : s)
        if (inL.count(addr)) out.push_back(addr);
    } else if (op == coAND || op == coOR) {
      out = l;
      for (TRecAddr addr : s)
        if (!inL.count(addr)) out.push_back(addr);
    }
    // Any other operator over two conditions ("(A > 1) = (B > 1)") is
    // answered by no index: its list stays empty and its level olNone.
    item->RecordList.swap(out);
  } else if (item->LeftChild || item->RightChild) {
    item->RecordList = (item->LeftChild ? item->LeftChild : item->RightChild)->RecordList;
  } else if (item->ResultKind == rkAll) {
    item->RecordList.clear();
    for (const TFilterEntry& e : master) item->RecordList.push_back(e.Address);
  } else if (item->ResultKind == rkNone) {
    item->RecordList.clear();
  }
}
