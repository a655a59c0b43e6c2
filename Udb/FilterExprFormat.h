// FilterExprFormat: the binary expression buffer of a filter, written by the
// filter parser (FilterExpr.h) and read by the evaluator (FilterEval.h).
// Only the format lives here.
//
// All integers little-endian; sizes and offsets are 16-bit, so a buffer
// holds at most 65535 bytes (F1: the writer refuses anything larger).
//
//   offset  size  field
//   0       2     version: 2
//   2       2     total size of the buffer in bytes
//   4       2     node count: 0xFFFF (not counted)
//   6       2     node start: 10
//   8       2     literal start: 10 + size of the node area
//   10      ...   node area: the root node first, at node offset 0
//   lit     ...   literal area: constant values and field names
//
// A node offset counts from the node area's start (absolute = offset + 10),
// a literal offset from the literal start.  Operand 0 means "none" where a
// node may lack one (F2: no node but the root sits at node offset 0).
//
// Node: DWORD node class, DWORD operator, one WORD per operand
// (size 8 + 2 * operands):
//   nodeUNARY    coISBLANK coNOTBLANK coNOT           0: operand node
//   nodeBINARY   relations, coAND coOR coLIKE coIN     0: left, 1: right
//                (coIN: right is the first list element)
//   nodeCOMPARE  coEQ coNE coLIKE                      0: case-insensitive
//                flag, 1: partial length (0 = whole value), 2: field node,
//                3: string constant node
//   nodeFIELD    coFIELD2    0: field number, 1: literal offset of the name
//                            (zero-terminated)
//   nodeCONST    coCONST2    0: type code, 1: size, 2: literal offset
//   nodeLISTELEM coLISTELEM2 0: element node, 1: next element (0 = last)
//
// Constants (type code, size, value):
//   1  length+1  characters (at most 255) and a zero byte   string types
//   2, 4   2     16-bit integer                             smallint, word
//   3, 14  4     32-bit integer                             integer, autoinc
//   5      2     16-bit 0 or 1                              boolean
//   6      8     IEEE double                                float, currency
//   8      8     64-bit integer, value * 10000              BCD
//   9      4     day number, 693594 = 30 December 1899      date
//   10     4     milliseconds since midnight                time
//   11     8     double: day number * 86400000 + ms         date-time
#pragma once

#include <cstdint>

#include "platform/core/AnsiString.h"

namespace fltfmt {

constexpr int kVersionOffset = 0;
constexpr int kTotalSizeOffset = 2;
constexpr int kNodeCountOffset = 4;
constexpr int kNodeStartOffset = 6;
constexpr int kLiteralStartOffset = 8;
constexpr int kHeaderSize = 10;
static_assert(kLiteralStartOffset + 2 == kHeaderSize);

constexpr std::uint16_t kVersion = 2;
constexpr std::uint16_t kUncountedNodes = 0xFFFF;
constexpr int kMaxBufferSize = 65535;  // F1
constexpr int kNodeFixedSize = 8;      // class + operator
constexpr int kMaxStringConstant = 255;

inline int NodeSize(int operands) { return kNodeFixedSize + 2 * operands; }

inline std::uint16_t GetU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) |
         (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace fltfmt

// Node classes (the buffer's DWORD).  Only the classes listed above are
// written; the others name codes in messages.
enum TNodeClass : std::uint8_t {
  nodeNULL, nodeUNARY, nodeBINARY, nodeCOMPARE, nodeFIELD, nodeCONST, nodeTUPLE,
  nodeCONTINUE, nodeUDF, nodeLIST, nodeFUNC, nodeLISTELEM
};

// Operators (the buffer's DWORD).
enum TCANOperator : std::uint8_t {
  coNOTDEFINED, coISBLANK, coNOTBLANK, coEQ, coNE, coGT, coLT, coGE, coLE, coNOT, coAND,
  coOR, coTUPLE2, coFIELD2, coCONST2, coMINUS, coADD, coSUB, coMUL, coDIV, coMOD, coREM,
  coSUM, coCOUNT, coMIN, coMAX, coAVG, coCONT, coUDF2, coCONTINUE2, coLIKE, coIN, coLIST2,
  coUPPER, coLOWER, coFUNC2, coLISTELEM2, coASSIGN
};
static_assert(coLIKE == 30 && coIN == 31 && coLISTELEM2 == 36 && coASSIGN == 37);

// "coEQ", "nodeBINARY"; "" outside the tables.
AnsiString OperatorName(int op);
AnsiString NodeClassName(int nodeClass);

// Constant type codes of the literal area.
namespace fltconst {
constexpr int kString = 1;
constexpr int kSmallint = 2;
constexpr int kInteger = 3;
constexpr int kWord = 4;
constexpr int kBoolean = 5;
constexpr int kFloat = 6;
constexpr int kCurrency = 7;  // read, never written
constexpr int kBCD = 8;
constexpr int kDate = 9;
constexpr int kTime = 10;
constexpr int kDateTime = 11;
constexpr int kAutoInc = 14;
constexpr int kFixedChar = 24;  // read as a string, never written
}  // namespace fltconst
