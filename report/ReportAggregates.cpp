// TrbAggregates (name format and value rules in ReportAggregates.h).
#include "report/ReportAggregates.h"

#include "platform/core/AnsiText.h"
#include "platform/core/NumFormat.h"

namespace {

std::vector<AnsiString> Parts(const AnsiString& name) {
  std::vector<AnsiString> parts(1);
  for (char c : name) {
    if (c == rbagg::kSep) parts.emplace_back();
    else parts.back() += c;
  }
  return parts;
}

bool StartsWithDigit(const AnsiString& s) { return !s.empty() && s[0] >= '0' && s[0] <= '9'; }

}  // namespace

TrbAggregates::TAccumulator TrbAggregates::Parse(const AnsiString& name) {
  TAccumulator a;
  a.name = name;
  std::vector<AnsiString> p = Parts(name);
  size_t k = 0;
  if (p.size() >= 5 && StartsWithDigit(p[0])) a.column = p[k++];
  if (k < p.size()) a.footer = p[k++];
  if (k < p.size() && !p[k].empty()) a.code = p[k][0];
  ++k;
  if (k < p.size()) a.expression = p[k++];
  if (k < p.size()) a.countInvisible = p[k] == "1";
  ResetOne(a);
  return a;
}

void TrbAggregates::ResetOne(TAccumulator& a) {
  a.count = 0;
  a.total = a.code == rbagg::kMin || a.code == rbagg::kMax || a.code == rbagg::kAvg
                ? Variant::Null()
                : Variant(0);
}

int TrbAggregates::IndexOf(const AnsiString& name) const {
  for (size_t k = 0; k < items_.size(); ++k)
    if (items_[k].name == name) return static_cast<int>(k);
  return -1;
}

void TrbAggregates::Add(const AnsiString& name) {
  if (IndexOf(name) < 0) items_.push_back(Parse(name));
}

void TrbAggregates::Accumulate(bool bandVisible, int crossColumn,
                               const std::function<Variant(const AnsiString&)>& eval) {
  AnsiString column;
  if (crossColumn >= 0) {
    column = IntToStr(crossColumn);
    size_t n = items_.size();
    for (size_t k = 0; k < n; ++k) {
      if (items_[k].column != "0") continue;
      AnsiString copy = column + items_[k].name.substr(1);
      if (IndexOf(copy) < 0) items_.push_back(Parse(copy));
    }
  }
  const AnsiString* lastExpr = nullptr;
  Variant lastValue;
  for (TAccumulator& a : items_) {
    if (a.column != column || a.column == "0") continue;
    if (!bandVisible && !a.countInvisible) continue;
    ++a.count;
    if (a.code == rbagg::kCount) {
      a.total = Variant(a.count);
      continue;
    }
    if (!lastExpr || *lastExpr != a.expression) {
      lastValue = eval(a.expression);
      lastExpr = &a.expression;
    }
    Variant v = lastValue.IsNull() || lastValue.IsEmpty() ? Variant(0) : lastValue;
    switch (a.code) {
      case rbagg::kMin:
        if (a.total.IsNull() || v < a.total) a.total = v;
        break;
      case rbagg::kMax:
        if (a.total.IsNull() || a.total < v) a.total = v;
        break;
      default:  // SUM, AVG
        a.total = a.total.IsNull() ? v : a.total + v;
    }
  }
}

void TrbAggregates::Reset(const AnsiString& footerName) {
  for (TAccumulator& a : items_)
    if (AnsiSameText(a.footer, footerName)) ResetOne(a);
}

Variant TrbAggregates::Get(const AnsiString& name) const {
  int k = IndexOf(name);
  if (k < 0) return Variant();
  const TAccumulator& a = items_[static_cast<size_t>(k)];
  if (a.code == rbagg::kAvg) return a.count == 0 ? Variant::Null() : a.total / Variant(a.count);
  return a.total;
}
