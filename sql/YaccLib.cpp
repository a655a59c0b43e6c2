// The LR driver and the loading of its tables; see YaccLib.h.
#include "sql/YaccLib.h"

#include <map>
#include <memory>

#include "platform/core/Resources.h"
#include "sql/LexLib.h"

namespace {

std::vector<std::int16_t> ReadWords(const TResourceBlock& block) {
  std::vector<std::int16_t> words(block.size / 2);
  for (size_t i = 0; i < words.size(); ++i)
    words[i] = static_cast<std::int16_t>(block.data[2 * i] | (block.data[2 * i + 1] << 8));
  return words;
}

std::vector<TParseTables::Pair> ToPairs(const std::vector<std::int16_t>& w) {
  std::vector<TParseTables::Pair> pairs(w.size() / 2);
  for (size_t i = 0; i < pairs.size(); ++i) pairs[i] = {w[2 * i], w[2 * i + 1]};
  return pairs;
}

std::unique_ptr<TParseTables> ReadTables(const AnsiString& prefix) {
  const char* const kNames[] = {"YYA", "YYG", "YYD", "YYAL", "YYAH", "YYGL", "YYGH", "YYR"};
  std::vector<std::int16_t> words[8];
  for (int i = 0; i < 8; ++i) {
    TResourceBlock block = FindResource(prefix + kNames[i], RT_RCDATA);
    if (!block.data || block.size % 2 != 0) return nullptr;
    words[i] = ReadWords(block);
  }
  if (words[0].size() % 2 || words[1].size() % 2 || words[7].size() % 2) return nullptr;
  auto t = std::make_unique<TParseTables>();
  t->yya = ToPairs(words[0]);
  t->yyg = ToPairs(words[1]);
  t->yyd = words[2];
  t->yyal = words[3];
  t->yyah = words[4];
  t->yygl = words[5];
  t->yygh = words[6];
  t->yyr = ToPairs(words[7]);
  return t;
}

}  // namespace

bool CheckParseTables(const TParseTables& t) {
  const int states = t.StateCount();
  const int rules = static_cast<int>(t.yyr.size());
  if (states == 0 || t.yyal.size() != t.yyd.size() || t.yyah.size() != t.yyd.size() ||
      t.yygl.size() != t.yyd.size() || t.yygh.size() != t.yyd.size())
    return false;
  auto validRange = [](int lo, int hi, size_t n) {
    return lo > hi || (lo >= 1 && hi <= static_cast<int>(n));
  };
  for (int s = 0; s < states; ++s) {
    if (!validRange(t.yyal[s], t.yyah[s], t.yya.size()) ||
        !validRange(t.yygl[s], t.yygh[s], t.yyg.size()))
      return false;
    if (t.yyd[s] > 0 || -t.yyd[s] > rules) return false;
  }
  for (const auto& a : t.yya)
    if (a.value >= states || -a.value > rules) return false;
  for (const auto& g : t.yyg)
    if (g.symbol >= 0 || g.value < 0 || g.value >= states) return false;
  for (const auto& r : t.yyr)
    if (r.symbol < 0 || r.symbol >= TCustomParser::kStackLimit || r.value >= 0) return false;
  return true;
}

const TParseTables* LoadParseTables(const AnsiString& prefix) {
  static std::map<AnsiString, std::unique_ptr<TParseTables>> cache;
  auto it = cache.find(prefix);
  if (it == cache.end()) {
    auto t = ReadTables(prefix);
    if (t && !CheckParseTables(*t)) t.reset();
    it = cache.emplace(prefix, std::move(t)).first;
  }
  return it->second.get();
}

TCustomParser::TCustomParser(AnsiString tablePrefix, std::vector<int> skipTokens, int illegalToken)
    : prefix_(std::move(tablePrefix)), skipTokens_(std::move(skipTokens)),
      illegalToken_(illegalToken) {}

bool TCustomParser::IsSkipToken(int token) const {
  for (int t : skipTokens_)
    if (t == token) return true;
  return false;
}

int TCustomParser::yyparse() {
  const TParseTables* t = tables_ ? tables_ : LoadParseTables(prefix_);
  if (!t) {
    yyerror("Parser resources not found");
    return 1;
  }
  yychar = -1;
  yynerrs = 0;
  yyerrflag = 0;
  states_.clear();
  values_.clear();
  yyval.clear();
  AnsiString lval;
  int state = 0;

  for (;;) {
    // Push the state and its value.
    if (static_cast<int>(states_.size()) >= kStackLimit) {
      yyerror("yyparse stack overflow");
      return 1;
    }
    states_.push_back(state);
    values_.push_back(yyval);

  next:
    int action = 0;    // > 0 shift, < 0 reduce, 0 accept
    bool found = true;
    if (t->yyd[state] == 0 && yychar < 0) {
      do {
        yychar = yylexer->yylex();
        if (yychar < 0) yychar = 0;
      } while (IsSkipToken(yychar));
      lval = yylexer->yylval;
      if (yychar == illegalToken_) found = false;
    }
    if (found && t->yyd[state] != 0) {
      action = t->yyd[state];
    } else if (found) {
      found = false;
      for (int k = t->yyal[state]; k <= t->yyah[state]; ++k) {
        if (t->yya[k - 1].symbol == yychar) {
          action = t->yya[k - 1].value;
          found = true;
          break;
        }
      }
    }

    if (!found) {
      // Syntax error.  The grammars hold no shifts on the error token, so
      // the first one ends the parse; the recovery steps stay for grammars
      // that do.
      if (yyerrflag == 0) {
        yyerror("syntax error");
        ++yynerrs;
      }
      if (yyerrflag < 3) {
        yyerrflag = 3;
        while (!states_.empty()) {
          int top = states_.back();
          for (int k = t->yyal[top]; k <= t->yyah[top]; ++k) {
            const auto& a = t->yya[k - 1];
            if (a.symbol == kErrorToken && a.value > 0) {
              state = a.value;
              yyval.clear();
              goto shifted;
            }
          }
          states_.pop_back();
          values_.pop_back();
        }
        return 1;
      }
      if (yychar == 0) return 1;
      yychar = -1;
      goto next;
    }

    if (action > 0) {  // shift
      state = action;
      yychar = -1;
      yyval = lval;
      if (yyerrflag > 0) --yyerrflag;
      continue;
    }
    if (action == 0) return 0;  // accept

    {  // reduce
      const int rule = -action;
      const auto& r = t->yyr[rule - 1];
      const size_t length = static_cast<size_t>(r.symbol);
      if (length > values_.size() - 1) return 1;  // cannot happen with checked tables
      yyflag = 0;
      valueBase_ = values_.size() - length;
      yyval = length > 0 ? values_[valueBase_] : AnsiString();
      yyaction(rule);
      states_.resize(states_.size() - length);
      values_.resize(values_.size() - length);
      int top = states_.back();
      found = false;
      for (int k = t->yygl[top]; k <= t->yygh[top]; ++k) {
        if (t->yyg[k - 1].symbol == r.value) {
          state = t->yyg[k - 1].value;
          found = true;
          break;
        }
      }
      if (yyflag == 2) return 1;
      if (!found) {
        yyerror("syntax error");
        return 1;
      }
      continue;
    }
  shifted:;
  }
}
