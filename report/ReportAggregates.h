// Aggregate accumulators of a data band: SUM, MIN, MAX, AVG and COUNT of an
// expression over the records that a footer band totals.  Calls
// platform/core only.
//
// Accumulator names (registered by the aggregate functions, read back by
// them while pages are formed), parts separated by the byte 1:
//
//     footer \1 code \1 expression \1 flag
//     column \1 footer \1 code \1 expression \1 flag      (cross-tab totals)
//
// code: 11 SUM, 12 MIN, 13 MAX, 14 AVG, 15 COUNT; flag "1" counts records
// of an invisible data band too.  A column part "0" marks a pattern from
// which one copy per cross-tab column (named with the column number) is made
// on first use.
//
// Every accumulator keeps its own record count.  MIN and MAX take their first
// value as it comes; AVG is the sum over the accumulator's own count; MIN,
// MAX and AVG of no values are Null, SUM and COUNT 0.  A Null value counts
// as 0.
#pragma once

#include <functional>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/Variant.h"

namespace rbagg {
constexpr char kSep = 1;
constexpr char kSum = 11, kMin = 12, kMax = 13, kAvg = 14, kCount = 15;
}  // namespace rbagg

class TrbAggregates {
 public:
  // Adds an accumulator under its encoded name unless it is there already.
  void Add(const AnsiString& name);
  // One record.  crossColumn < 0: every accumulator without a column part;
  // otherwise the copies for that column (made from the patterns first).
  // eval computes an expression; consecutive accumulators with the same
  // expression share one evaluation.
  void Accumulate(bool bandVisible, int crossColumn,
                  const std::function<Variant(const AnsiString&)>& eval);
  // Resets the accumulators that the footer shows.
  void Reset(const AnsiString& footerName);
  // The accumulator's value (Unassigned when there is none of that name).
  Variant Get(const AnsiString& name) const;
  int Count() const { return static_cast<int>(items_.size()); }
  void Clear() { items_.clear(); }

 private:
  struct TAccumulator {
    AnsiString name;
    AnsiString column;  // "" none, "0" pattern, else the column number
    AnsiString footer;
    char code = rbagg::kSum;
    AnsiString expression;
    bool countInvisible = false;
    Variant total;
    int count = 0;
  };
  static TAccumulator Parse(const AnsiString& name);
  static void ResetOne(TAccumulator& a);
  int IndexOf(const AnsiString& name) const;
  std::vector<TAccumulator> items_;
};

// The part of a run-time band that aggregates use: its name and type, the
// data band whose records it totals (footers), and its accumulators (data
// bands).  Band formation keeps one per band.
struct TrbAggregateBand {
  AnsiString Name;
  int BandType = 22;  // band type code; 22 none
  bool HasCrossObjects = false;
  TrbAggregateBand* AggregateSource = nullptr;
  TrbAggregates Aggregates;
};
