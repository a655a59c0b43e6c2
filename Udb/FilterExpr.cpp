// FilterExpr: see FilterExpr.h.
#include "Udb/FilterExpr.h"

#include <cmath>
#include <cstring>

#include "platform/core/AnsiText.h"
#include "platform/core/DateTime.h"
#include "platform/core/NumFormat.h"
#include "platform/data/DBConsts.h"
#include "platform/data/DBErrors.h"

namespace {

const char* const kOperatorNames[] = {
    "coNOTDEFINED", "coISBLANK", "coNOTBLANK", "coEQ",        "coNE",     "coGT",
    "coLT",         "coGE",      "coLE",       "coNOT",       "coAND",    "coOR",
    "coTUPLE2",     "coFIELD2",  "coCONST2",   "coMINUS",     "coADD",    "coSUB",
    "coMUL",        "coDIV",     "coMOD",      "coREM",       "coSUM",    "coCOUNT",
    "coMIN",        "coMAX",     "coAVG",      "coCONT",      "coUDF2",   "coCONTINUE2",
    "coLIKE",       "coIN",      "coLIST2",    "coUPPER",     "coLOWER",  "coFUNC2",
    "coLISTELEM2",  "coASSIGN"};
const char* const kNodeClassNames[] = {"nodeNULL",  "nodeUNARY",    "nodeBINARY", "nodeCOMPARE",
                                       "nodeFIELD", "nodeCONST",    "nodeTUPLE",  "nodeCONTINUE",
                                       "nodeUDF",   "nodeLIST",     "nodeFUNC",   "nodeLISTELEM"};

bool IsRelation(TCANOperator op) { return op >= coEQ && op <= coLE; }
bool IsStringType(TFieldType t) { return t == ftString || t == ftFixedChar || t == ftWideString; }
bool IsTemporal(TFieldType t) { return t == ftDate || t == ftTime || t == ftDateTime; }
bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

void PutU16(std::vector<std::uint8_t>& b, size_t at, int v) {
  b[at] = static_cast<std::uint8_t>(v & 0xFF);
  b[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}
void PutU32(std::vector<std::uint8_t>& b, size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The text a constant's value is converted from.
AnsiString ConstText(const Variant& data) {
  if (data.VarType() == varBoolean) return data.AsBoolean() ? "True" : "False";
  return VarToStr(data);
}

// Day number (693594 = 30 December 1899) and milliseconds of a date-time.
TTimeStamp StampOf(double value) { return DateTimeToTimeStamp(TDateTime(value)); }

// A date or date-time text without a date separator that reads as an
// integer above 10000 counts that many days after 30 December 1899.
TDateTime ConstDate(const AnsiString& text, TFieldType type) {
  const TFormatSettings& fs = DefaultFormatSettings();
  int days = 0;
  if (text.find(fs.DateSeparator) == AnsiString::npos && TryStrToInt(text, days) && days > 10000)
    return TDateTime(days);
  if (type == ftDate) return StrToDate(text, fs);
  if (type == ftTime) return StrToTime(text, fs);
  return StrToDateTime(text, fs);
}

}  // namespace

AnsiString OperatorName(int op) {
  return (op >= 0 && op <= coASSIGN) ? AnsiString(kOperatorNames[op]) : AnsiString();
}
AnsiString NodeClassName(int nodeClass) {
  return (nodeClass >= 0 && nodeClass <= nodeLISTELEM) ? AnsiString(kNodeClassNames[nodeClass])
                                                       : AnsiString();
}

// --- TFilterFieldList ---------------------------------------------------------

void TFilterFieldList::Add(const AnsiString& name, TFieldType type, int size, bool usable) {
  TFilterFieldInfo f;
  f.FieldName = name;
  f.FieldNo = static_cast<int>(fields_.size()) + 1;
  f.DataType = type;
  f.DataSize = size;
  f.Usable = usable;
  fields_.push_back(f);
}

const TFilterFieldInfo* TFilterFieldList::FindFilterField(const AnsiString& name) const {
  for (const TFilterFieldInfo& f : fields_)
    if (AnsiSameText(f.FieldName, name)) return &f;
  return nullptr;
}

// --- TUdbFilterExpr ----------------------------------------------------------------

TUdbFilterExpr::TUdbFilterExpr(const TFilterFields* fields, const TFilterOptions& options)
    : fields_(fields), options_(options) {}

TUdbFilterExpr::~TUdbFilterExpr() {
  while (nodes_) {
    TExprNode* next = nodes_->Next;
    delete nodes_;
    nodes_ = next;
  }
}

TExprNode* TUdbFilterExpr::NewNode(TExprNodeKind kind, TCANOperator op, const Variant& data,
                                TExprNode* left, TExprNode* right) {
  const TFilterFieldInfo* field = nullptr;
  if (kind == enField) {
    AnsiString name = VarToStr(data);
    field = fields_ ? fields_->FindFilterField(name) : nullptr;
    if (!field) DatabaseErrorFmt(dbconsts::SFieldNotFound, {name});
  }
  auto* node = new TExprNode;
  node->Next = nodes_;
  nodes_ = node;
  node->Kind = kind;
  node->Operator = op;
  node->Data = data;
  node->Left = left;
  node->Right = right;
  if (field) {
    node->Field = field;
    node->DataType = field->DataType;
    node->DataSize = field->DataSize;
  }
  return node;
}

void TUdbFilterExpr::CheckSize(size_t more) const {
  // F1: every size and offset of the buffer is 16-bit.
  if (buffer_.size() + literals_.size() + more > static_cast<size_t>(fltfmt::kMaxBufferSize))
    DatabaseError(SExprTooLong, nullptr);
}

int TUdbFilterExpr::PutNode(TNodeClass nodeClass, TCANOperator op, int operands) {
  size_t size = static_cast<size_t>(fltfmt::NodeSize(operands));
  CheckSize(size);
  size_t at = buffer_.size();
  buffer_.resize(at + size, 0);
  PutU32(buffer_, at, nodeClass);
  PutU32(buffer_, at + 4, op);
  return static_cast<int>(at) - fltfmt::kHeaderSize;
}

void TUdbFilterExpr::SetOperand(int node, int index, int value) {
  PutU16(buffer_, static_cast<size_t>(fltfmt::kHeaderSize + node + fltfmt::kNodeFixedSize + 2 * index),
         value);
}

int TUdbFilterExpr::PutLiteral(const void* data, int size) {
  CheckSize(static_cast<size_t>(size));
  int at = static_cast<int>(literals_.size());
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  literals_.insert(literals_.end(), bytes, bytes + size);
  return at;
}

int TUdbFilterExpr::PutFieldName(const AnsiString& name) {
  return PutLiteral(name.c_str(), static_cast<int>(name.size()) + 1);
}

int TUdbFilterExpr::PutConstant(TExprNode* node) {
  const AnsiString text = ConstText(node->Data);
  std::uint8_t value[8] = {};
  int typeCode = 0, size = 0;
  AnsiString str;
  switch (node->DataType) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
      str = text.substr(0, fltfmt::kMaxStringConstant);
      typeCode = fltconst::kString;
      break;
    case ftSmallint:
    case ftWord: {
      int v = node->Data.VarType() == varBoolean ? (node->Data.AsBoolean() ? -1 : 0) : StrToInt(text);
      bool small = node->DataType == ftSmallint;
      if (small ? (v < -32768 || v > 32767) : (v < 0 || v > 65535))
        DatabaseError(dbconsts::SExprRangeError, nullptr);
      typeCode = small ? fltconst::kSmallint : fltconst::kWord;
      size = 2;
      value[0] = static_cast<std::uint8_t>(v & 0xFF);
      value[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
      break;
    }
    case ftInteger:
    case ftAutoInc: {
      int v = node->Data.VarType() == varBoolean ? (node->Data.AsBoolean() ? -1 : 0) : StrToInt(text);
      typeCode = node->DataType == ftInteger ? fltconst::kInteger : fltconst::kAutoInc;
      size = 4;
      std::memcpy(value, &v, 4);
      break;
    }
    case ftBoolean: {
      bool v = node->Data.VarType() == varBoolean ? node->Data.AsBoolean() : Variant(text).AsBoolean();
      typeCode = fltconst::kBoolean;
      size = 2;
      value[0] = v ? 1 : 0;
      break;
    }
    case ftFloat:
    case ftCurrency: {
      double v = StrToFloat(text);
      typeCode = fltconst::kFloat;
      size = 8;
      std::memcpy(value, &v, 8);
      break;
    }
    case ftBCD: {
      std::int64_t v = std::llround(StrToFloat(text) * 10000.0);
      typeCode = fltconst::kBCD;
      size = 8;
      std::memcpy(value, &v, 8);
      break;
    }
    case ftDate:
    case ftTime: {
      TTimeStamp stamp = StampOf(ConstDate(text, node->DataType));
      std::int32_t v = node->DataType == ftDate ? stamp.Date : stamp.Time;
      typeCode = node->DataType == ftDate ? fltconst::kDate : fltconst::kTime;
      size = 4;
      std::memcpy(value, &v, 4);
      break;
    }
    case ftDateTime: {
      TTimeStamp stamp = StampOf(ConstDate(text, ftDateTime));
      double v = static_cast<double>(stamp.Date) * kMSecsPerDay + stamp.Time;
      typeCode = fltconst::kDateTime;
      size = 8;
      std::memcpy(value, &v, 8);
      break;
    }
    default:
      DatabaseErrorFmt(dbconsts::SExprBadConst, {text});
  }
  int n = PutNode(nodeCONST, coCONST2, 3);
  int literal = typeCode == fltconst::kString ? PutFieldName(str) : PutLiteral(value, size);
  if (typeCode == fltconst::kString) size = static_cast<int>(str.size()) + 1;
  SetOperand(n, 0, typeCode);
  SetOperand(n, 1, size);
  SetOperand(n, 2, literal);
  return n;
}

int TUdbFilterExpr::PutFieldNode(TExprNode* node) {
  int n = PutNode(nodeFIELD, coFIELD2, 2);
  SetOperand(n, 0, node->Field->FieldNo);
  SetOperand(n, 1, PutFieldName(node->Field->FieldName));
  return n;
}

int TUdbFilterExpr::PutExpr(TExprNode* node, TCANOperator parentOp) {
  switch (node->Kind) {
    case enField: {
      if (!node->Field->Usable) DatabaseErrorFmt(dbconsts::SExprBadField, {node->Field->FieldName});
      bool logical = parentOp == coNOTDEFINED || parentOp == coNOT || parentOp == coAND ||
                     parentOp == coOR;
      if (logical && node->DataType == ftBoolean) {
        // A Boolean field standing alone means "is true": Field <> False.
        int n = PutNode(nodeBINARY, coNE, 2);
        SetOperand(n, 0, PutFieldNode(node));
        TExprNode falseConst;
        falseConst.Kind = enConst;
        falseConst.Data = Variant(false);
        falseConst.DataType = ftBoolean;
        SetOperand(n, 1, PutConstant(&falseConst));
        return n;
      }
      return PutFieldNode(node);
    }
    case enConst:
      return PutConstant(node);
    case enOperator:
      break;
  }
  switch (node->Operator) {
    case coISBLANK:
    case coNOTBLANK:
    case coNOT: {
      int n = PutNode(nodeUNARY, node->Operator, 1);
      SetOperand(n, 0, PutExpr(node->Left, node->Operator));
      return n;
    }
    case coIN:
      return PutIn(node);
    default:
      return PutBinary(node);
  }
}

int TUdbFilterExpr::PutBinary(TExprNode* node) {
  TExprNode* left = node->Left;
  TExprNode* right = node->Right;
  TCANOperator op = node->Operator;
  if (IsRelation(op) && left->Kind != enField && right->Kind == enField) {
    std::swap(left, right);
    if (op == coGT) op = coLT;
    else if (op == coLT) op = coGT;
    else if (op == coGE) op = coLE;
    else if (op == coLE) op = coGE;
  }
  if (left->Kind == enField && right->Kind == enConst && (op == coEQ || op == coNE || op == coLIKE)) {
    if (right->Data.IsNull()) {
      if (op == coLIKE) DatabaseError(dbconsts::SExprBadNullTest, nullptr);
      TCANOperator test = op == coEQ ? coISBLANK : coNOTBLANK;
      int n = PutNode(nodeUNARY, test, 1);
      SetOperand(n, 0, PutExpr(left, test));
      return n;
    }
    AnsiString text = IsStringType(right->DataType) ? ConstText(right->Data) : AnsiString();
    if (!text.empty()) {
      int caseFlag = options_.Contains(foCaseInsensitive) ? 1 : 0;
      int partial = 0;
      if (!options_.Contains(foNoPartialCompare) && text.size() >= 2 && text.back() == '*') {
        text.pop_back();
        partial = static_cast<int>(text.size());
      }
      if (caseFlag || partial) {
        int n = PutNode(nodeCOMPARE, op, 4);
        SetOperand(n, 0, caseFlag);
        SetOperand(n, 1, partial);
        SetOperand(n, 2, PutExpr(left, op));
        TExprNode stripped = *right;
        stripped.Data = Variant(text);
        SetOperand(n, 3, PutConstant(&stripped));
        return n;
      }
    }
  }
  int n = PutNode(nodeBINARY, op, 2);
  SetOperand(n, 0, PutExpr(left, op));
  SetOperand(n, 1, PutExpr(right, op));
  return n;
}

int TUdbFilterExpr::PutIn(TExprNode* node) {
  int n = PutNode(nodeBINARY, coIN, 2);
  SetOperand(n, 0, PutExpr(node->Left, coIN));
  int previous = -1;
  for (TExprNode* value : node->Args) {
    int element = PutNode(nodeLISTELEM, coLISTELEM2, 2);
    SetOperand(element, 0, PutExpr(value, coIN));
    if (previous < 0) SetOperand(n, 1, element);
    else SetOperand(previous, 1, element);
    previous = element;
  }
  return n;
}

void TUdbFilterExpr::BuildBuffer(TExprNode* root) {
  buffer_.assign(fltfmt::kHeaderSize, 0);
  literals_.clear();
  PutExpr(root, coNOTDEFINED);
  int literalStart = static_cast<int>(buffer_.size());
  buffer_.insert(buffer_.end(), literals_.begin(), literals_.end());
  literals_.clear();
  PutU16(buffer_, fltfmt::kVersionOffset, fltfmt::kVersion);
  PutU16(buffer_, fltfmt::kTotalSizeOffset, static_cast<int>(buffer_.size()));
  PutU16(buffer_, fltfmt::kNodeCountOffset, fltfmt::kUncountedNodes);
  PutU16(buffer_, fltfmt::kNodeStartOffset, fltfmt::kHeaderSize);
  PutU16(buffer_, fltfmt::kLiteralStartOffset, literalStart);
}

// --- TFilterExprParser ------------------------------------------------------------------

TFilterExprParser::TFilterExprParser(const TFilterFields* fields, const AnsiString& text,
                         const TFilterOptions& options)
    : filter_(std::make_unique<TUdbFilterExpr>(fields, options)), text_(text) {
  if (text_.empty()) return;
  NextToken();
  TExprNode* root = ParseExpr();
  if (token_ != etEnd) Error(dbconsts::SExprTermination);
  if (root->DataType != ftBoolean) Error(dbconsts::SExprIncorrect);
  filter_->BuildBuffer(root);
  buffer_ = filter_->Buffer();
}

TFilterExprParser::~TFilterExprParser() = default;

void TFilterExprParser::Error(const char* text, bool withToken) const {
  if (withToken) DatabaseErrorFmt(text, {TokenName()});
  DatabaseError(text, nullptr);
}

AnsiString TFilterExprParser::TokenName() const {
  if (token_ == etEnd) return dbconsts::SExprNothing;
  return "'" + tokenText_ + "'";
}

bool TFilterExprParser::TokenSymbolIs(const char* word) const {
  return token_ == etSymbol && SameText(tokenText_, word);
}

void TFilterExprParser::SkipBlanks() {
  while (pos_ < text_.size()) {
    auto c = static_cast<unsigned char>(text_[pos_]);
    if (c < 1 || c > 32) break;
    ++pos_;
  }
}

void TFilterExprParser::NextToken() {
  prevToken_ = token_;
  tokenText_.clear();
  numericLit_ = false;
  SkipBlanks();
  if (text_.compare(pos_, 2, "/*") == 0) {
    // One comment may stand before a token; it ends at its first '*'.
    size_t star = text_.find('*', pos_ + 2);
    if (star == AnsiString::npos || star + 1 >= text_.size() || text_[star + 1] != '/') {
      AnsiString reached = star == AnsiString::npos || star + 1 >= text_.size()
                               ? AnsiString()
                               : text_.substr(star + 1, 1);
      DatabaseErrorFmt(dbconsts::SExprInvalidChar, {reached});
    }
    pos_ = star + 2;
    SkipBlanks();
  }
  tokenStart_ = pos_;
  if (pos_ >= text_.size()) {
    token_ = etEnd;
    return;
  }
  const auto c = static_cast<unsigned char>(text_[pos_]);
  if (IsAsciiLetter(c) || c == '_' || IsDBCSLeadByte(c)) {
    while (pos_ < text_.size()) {
      auto d = static_cast<unsigned char>(text_[pos_]);
      if (IsDBCSLeadByte(d) && pos_ + 1 < text_.size()) pos_ += 2;
      else if (IsAsciiLetter(d) || IsDigit(d) || d == '_' || d == '.' || d == '[' || d == ']') ++pos_;
      else break;
    }
    tokenText_ = text_.substr(tokenStart_, pos_ - tokenStart_);
    if (SameText(tokenText_, "LIKE")) {
      token_ = etLIKE;
    } else if (SameText(tokenText_, "IN")) {
      token_ = etIN;
    } else if (SameText(tokenText_, "IS")) {
      auto readWord = [this]() {
        SkipBlanks();
        size_t start = pos_;
        while (pos_ < text_.size() && IsAsciiLetter(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        return text_.substr(start, pos_ - start);
      };
      AnsiString word = readWord();
      if (SameText(word, "NULL")) {
        token_ = etISNULL;
      } else if (SameText(word, "NOT") && SameText(readWord(), "NULL")) {
        token_ = etISNOTNULL;
      } else {
        DatabaseError(dbconsts::SExprInvalidKeyword, nullptr);
      }
    } else {
      token_ = etSymbol;
    }
    return;
  }
  const char decimal = DefaultFormatSettings().DecimalSeparator;
  bool number = IsDigit(c) ||
                (c == '-' && prevToken_ != etLiteral && prevToken_ != etName &&
                 prevToken_ != etSymbol && prevToken_ != etRParen);
  if (number) {
    ++pos_;
    while (pos_ < text_.size()) {
      char d = text_[pos_];
      if (IsDigit(static_cast<unsigned char>(d)) || d == 'E' || d == 'e' || d == '+' || d == '-' ||
          d == decimal)
        ++pos_;
      else
        break;
    }
    // "In (1, 2)" with a comma as the decimal separator: the comma before a
    // blank ends the number.
    if (decimal == ',' && pos_ > tokenStart_ + 1 && text_[pos_ - 1] == ',' && pos_ < text_.size() &&
        text_[pos_] == ' ')
      --pos_;
    tokenText_ = text_.substr(tokenStart_, pos_ - tokenStart_);
    token_ = etLiteral;
    numericLit_ = true;
    return;
  }
  switch (c) {
    case '[': {
      size_t close = text_.find(']', pos_ + 1);
      if (close == AnsiString::npos) DatabaseError(dbconsts::SExprNameError, nullptr);
      tokenText_ = text_.substr(pos_ + 1, close - pos_ - 1);
      pos_ = close + 1;
      token_ = etName;
      return;
    }
    case '\'': {
      ++pos_;
      for (;;) {
        if (pos_ >= text_.size()) DatabaseError(dbconsts::SExprStringError, nullptr);
        if (text_[pos_] == '\'') {
          if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
            if (tokenText_.size() < 256) tokenText_ += '\'';
            pos_ += 2;
            continue;
          }
          ++pos_;
          break;
        }
        if (tokenText_.size() < 256) tokenText_ += text_[pos_];
        ++pos_;
      }
      token_ = etLiteral;
      return;
    }
    case '(': token_ = etLParen; break;
    case ')': token_ = etRParen; break;
    case ',': token_ = etComma; break;
    case '=': token_ = etEQ; break;
    case '+': token_ = etADD; break;
    case '-': token_ = etSUB; break;
    case '*': token_ = etMUL; break;
    case '/': token_ = etDIV; break;
    case '<':
      if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '=') { token_ = etLE; ++pos_; }
      else if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '>') { token_ = etNE; ++pos_; }
      else token_ = etLT;
      break;
    case '>':
      if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '=') { token_ = etGE; ++pos_; }
      else token_ = etGT;
      break;
    default:
      DatabaseErrorFmt(dbconsts::SExprInvalidChar, {text_.substr(pos_, IsDBCSLeadByte(c) ? 2 : 1)});
  }
  ++pos_;
  tokenText_ = text_.substr(tokenStart_, pos_ - tokenStart_);
}

// Expression: term-and { OR term-and }.
TExprNode* TFilterExprParser::ParseExpr() {
  TExprNode* node = ParseExpr2();
  while (TokenSymbolIs("OR")) {
    NextToken();
    node = filter_->NewNode(enOperator, coOR, Variant(), node, ParseExpr2());
    node->DataType = ftBoolean;
  }
  return node;
}

// term-and: term-not { AND term-not }.
TExprNode* TFilterExprParser::ParseExpr2() {
  TExprNode* node = ParseExpr3();
  while (TokenSymbolIs("AND")) {
    NextToken();
    node = filter_->NewNode(enOperator, coAND, Variant(), node, ParseExpr3());
    node->DataType = ftBoolean;
  }
  return node;
}

// term-not: NOT condition | condition.
TExprNode* TFilterExprParser::ParseExpr3() {
  if (TokenSymbolIs("NOT")) {
    NextToken();
    TExprNode* node = filter_->NewNode(enOperator, coNOT, Variant(), ParseExpr4(), nullptr);
    node->DataType = ftBoolean;
    return node;
  }
  return ParseExpr4();
}

// condition: operand [ relation operand | LIKE operand | IS [NOT] NULL |
// IN ( expression {, expression} ) ].
TExprNode* TFilterExprParser::ParseExpr4() {
  TExprNode* left = ParseExpr5();
  TCANOperator op = coNOTDEFINED;
  switch (token_) {
    case etEQ: op = coEQ; break;
    case etNE: op = coNE; break;
    case etGE: op = coGE; break;
    case etLE: op = coLE; break;
    case etGT: op = coGT; break;
    case etLT: op = coLT; break;
    case etLIKE: op = coLIKE; break;
    case etISNULL:
    case etISNOTNULL: {
      TCANOperator test = token_ == etISNULL ? coISBLANK : coNOTBLANK;
      NextToken();
      TExprNode* node = filter_->NewNode(enOperator, test, Variant(), left, nullptr);
      node->DataType = ftBoolean;
      return node;
    }
    case etIN: {
      NextToken();
      if (token_ != etLParen) Error(dbconsts::SExprNoLParen, true);
      NextToken();
      if (token_ == etRParen) Error(dbconsts::SExprEmptyInList);
      TExprNode* node = filter_->NewNode(enOperator, coIN, Variant(), left, nullptr);
      node->DataType = ftBoolean;
      for (;;) {
        TExprNode* value = ParseExpr();
        if (IsTemporal(left->DataType)) value->DataType = left->DataType;
        node->Args.push_back(value);
        if (token_ == etComma) {
          NextToken();
          continue;
        }
        if (token_ != etRParen) Error(dbconsts::SExprNoRParenOrComma, true);
        break;
      }
      if (token_ != etRParen) Error(dbconsts::SExprNoRParen, true);
      NextToken();
      return node;
    }
    default:
      return left;
  }
  NextToken();
  TExprNode* node = filter_->NewNode(enOperator, op, Variant(), left, ParseExpr5());
  TypeCheck(node);
  return node;
}

// operand: a primary; arithmetic after it is refused.
TExprNode* TFilterExprParser::ParseExpr5() {
  TExprNode* node = ParseExpr6();
  if (token_ == etADD || token_ == etSUB || token_ == etMUL || token_ == etDIV)
    Error(dbconsts::SExprNoArith);
  return node;
}

// primary: NULL | True | False | field | [field] | literal | ( expression ).
TExprNode* TFilterExprParser::ParseExpr6() {
  TExprNode* node = nullptr;
  switch (token_) {
    case etSymbol:
      if (SameText(tokenText_, "NULL")) {
        node = filter_->NewNode(enConst, coNOTDEFINED, Variant::Null(), nullptr, nullptr);
      } else if (SameText(tokenText_, dbconsts::STextTrue)) {
        node = filter_->NewNode(enConst, coNOTDEFINED, Variant(true), nullptr, nullptr);
      } else if (SameText(tokenText_, dbconsts::STextFalse)) {
        node = filter_->NewNode(enConst, coNOTDEFINED, Variant(false), nullptr, nullptr);
      } else {
        node = filter_->NewNode(enField, coNOTDEFINED, Variant(tokenText_), nullptr, nullptr);
      }
      break;
    case etName:
      node = filter_->NewNode(enField, coNOTDEFINED, Variant(tokenText_), nullptr, nullptr);
      break;
    case etLiteral:
      node = filter_->NewNode(enConst, coNOTDEFINED, Variant(tokenText_), nullptr, nullptr);
      node->DataType = numericLit_ ? ftFloat : ftString;
      break;
    case etLParen:
      // Each level of parentheses costs several frames of recursion.
      if (++depth_ > kMaxNesting) DatabaseError(SExprTooDeep, nullptr);
      NextToken();
      node = ParseExpr();
      if (token_ != etRParen) Error(dbconsts::SExprNoRParen, true);
      --depth_;
      break;
    default:
      Error(dbconsts::SExprExpected, true);
  }
  NextToken();
  return node;
}

// Types the two operands of a relation or LIKE.
void TFilterExprParser::TypeCheck(TExprNode* node) {
  TExprNode* left = node->Left;
  TExprNode* right = node->Right;
  if (left->Kind == enField && right->Kind == enConst) {
    right->DataType = left->DataType;
    right->DataSize = left->DataSize;
  } else if (right->Kind == enField && left->Kind == enConst) {
    left->DataType = right->DataType;
    left->DataSize = right->DataSize;
  }
  auto refused = [](TFieldType t) { return IsBlobType(t) || t == ftBytes; };
  if (node->Operator == coLIKE && left->Kind == enField && IsBlobType(left->DataType)) {
    if (right->Kind == enConst) right->DataType = ftString;
  } else if (refused(left->DataType) || refused(right->DataType)) {
    Error(dbconsts::SExprTypeMis);
  }
  if (IsTemporal(left->DataType) && (IsStringType(right->DataType) || right->DataType == ftGuid))
    right->DataType = left->DataType;
  else if (IsTemporal(right->DataType) && (IsStringType(left->DataType) || left->DataType == ftGuid))
    left->DataType = right->DataType;
  node->DataType = ftBoolean;
}
