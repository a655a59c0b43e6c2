// FilterExpr: the filter language of a dataset's Filter text and its
// parser.  TFilterExprParser scans and parses the text against the dataset's
// fields into a parse tree held by TUdbFilterExpr, which writes the binary
// expression buffer (FilterExprFormat.h) that the evaluator reads.
//
// Language: conditions over one record's fields - relations (= <> < > <=
// >=), LIKE, IN (...), IS [NOT] NULL, AND, OR, NOT, parentheses, field names
// (plain, or in brackets) and literals ('text', numbers, NULL, True,
// False).  There is no arithmetic (refused with 65202) and no function
// call.  Keywords and field names ignore letter case.
//
//   TFilterExprParser parser(fields, "Age > 5 and Name like 'Sm%'", options);
//   parser.Buffer();  // the bytes, parser.BufferSize() long
//
// Errors: the class library's EDatabaseError with the filter texts
// 65200-65231 (dbconsts::SExpr*), or "Field '%s' not found"; a constant
// text that does not convert raises EConvertError; a buffer that would
// exceed 65535 bytes raises EDatabaseError (SExprTooLong) instead of
// wrapping its 16-bit offsets; parentheses nested deeper than 256 raise
// SExprTooDeep.  Nothing is kept after an error.
// Calls platform/core and platform/data (type names, error texts).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Udb/FilterExprFormat.h"
#include "platform/core/Variant.h"
#include "platform/data/DBTypes.h"

// A field as a filter sees it.
struct TFilterFieldInfo {
  AnsiString FieldName;
  int FieldNo = 0;              // 1-based; the evaluator reads field FieldNo - 1
  TFieldType DataType = ftUnknown;
  int DataSize = 0;
  bool Usable = true;           // a data or internal-calculation field
};

// The field lookup of the dataset being filtered (names without case).
class TFilterFields {
 public:
  virtual ~TFilterFields() = default;
  // Null when the dataset has no field of that name.
  virtual const TFilterFieldInfo* FindFilterField(const AnsiString& name) const = 0;
};

// A filter field list held in memory (tests, and datasets that describe
// their fields once).
class TFilterFieldList : public TFilterFields {
 public:
  // FieldNo: the next position.
  void Add(const AnsiString& name, TFieldType type, int size = 0, bool usable = true);
  // As given (FieldNo included).
  void Add(const TFilterFieldInfo& field) { fields_.push_back(field); }
  const TFilterFieldInfo* FindFilterField(const AnsiString& name) const override;
  int Count() const { return static_cast<int>(fields_.size()); }
  const TFilterFieldInfo& Item(int i) const { return fields_[static_cast<size_t>(i)]; }

 private:
  std::vector<TFilterFieldInfo> fields_;
};

// The message raised for a buffer over 65535 bytes.
inline constexpr const char* SExprTooLong =
    "Filter expression is too long: its expression buffer exceeds 65535 bytes";

// The message raised for parentheses nested deeper than kMaxNesting.
inline constexpr const char* SExprTooDeep = "Filter expression is nested too deeply";

// Parse-tree node kinds.
enum TExprNodeKind : std::uint8_t { enField, enConst, enOperator };

struct TExprNode {
  TExprNode* Next = nullptr;  // list link, newest first
  TExprNodeKind Kind = enOperator;
  TCANOperator Operator = coNOTDEFINED;
  Variant Data;               // field name; token text, Null, True or False
  TExprNode* Left = nullptr;
  TExprNode* Right = nullptr;
  TFieldType DataType = ftUnknown;
  int DataSize = 0;
  const TFilterFieldInfo* Field = nullptr;  // field nodes
  std::vector<TExprNode*> Args;             // the value list of IN
};

class TUdbFilterExpr {
 public:
  TUdbFilterExpr(const TFilterFields* fields, const TFilterOptions& options);
  ~TUdbFilterExpr();
  TUdbFilterExpr(const TUdbFilterExpr&) = delete;
  TUdbFilterExpr& operator=(const TUdbFilterExpr&) = delete;

  // A field node looks its field up at once ("Field '%s' not found").
  TExprNode* NewNode(TExprNodeKind kind, TCANOperator op, const Variant& data, TExprNode* left,
                     TExprNode* right);
  // Writes the buffer for the tree under root.
  void BuildBuffer(TExprNode* root);
  const std::vector<std::uint8_t>& Buffer() const { return buffer_; }
  const TFilterFields* Fields() const { return fields_; }

 private:
  int PutNode(TNodeClass nodeClass, TCANOperator op, int operands);
  void SetOperand(int node, int index, int value);
  int PutLiteral(const void* data, int size);
  int PutFieldName(const AnsiString& name);
  int PutConstant(TExprNode* node);
  int PutExpr(TExprNode* node, TCANOperator parentOp);
  int PutFieldNode(TExprNode* node);
  int PutBinary(TExprNode* node);
  int PutIn(TExprNode* node);
  void CheckSize(size_t more) const;

  const TFilterFields* fields_;
  TFilterOptions options_;
  TExprNode* nodes_ = nullptr;
  std::vector<std::uint8_t> buffer_;  // the header, then the node area
  std::vector<std::uint8_t> literals_;
};

class TFilterExprParser {
 public:
  // Parses text (when not empty) and builds the buffer; raises on failure.
  TFilterExprParser(const TFilterFields* fields, const AnsiString& text, const TFilterOptions& options);
  ~TFilterExprParser();
  TFilterExprParser(const TFilterExprParser&) = delete;
  TFilterExprParser& operator=(const TFilterExprParser&) = delete;

  const std::uint8_t* Buffer() const { return buffer_.data(); }
  int BufferSize() const { return static_cast<int>(buffer_.size()); }
  const std::vector<std::uint8_t>& BufferBytes() const { return buffer_; }

 private:
  enum TToken {
    etEnd, etSymbol, etName, etLiteral, etLParen, etRParen, etComma, etEQ, etNE, etGE, etLE,
    etGT, etLT, etADD, etSUB, etMUL, etDIV, etLIKE, etIN, etISNULL, etISNOTNULL
  };
  void NextToken();
  void SkipBlanks();
  AnsiString TokenName() const;
  bool TokenSymbolIs(const char* word) const;
  TExprNode* ParseExpr();
  TExprNode* ParseExpr2();
  TExprNode* ParseExpr3();
  TExprNode* ParseExpr4();
  TExprNode* ParseExpr5();
  TExprNode* ParseExpr6();
  void TypeCheck(TExprNode* node);
  [[noreturn]] void Error(const char* text, bool withToken = false) const;

  std::unique_ptr<TUdbFilterExpr> filter_;
  AnsiString text_;
  size_t pos_ = 0;
  size_t tokenStart_ = 0;
  AnsiString tokenText_;
  TToken token_ = etEnd;
  TToken prevToken_ = etEnd;
  bool numericLit_ = false;
  int depth_ = 0;
  std::vector<std::uint8_t> buffer_;

 public:
  static constexpr int kMaxNesting = 256;
};
