// yacctables <bison.xml> <out-dir> <prefix>
//
// Reads bison's XML report of an LALR automaton (one element per line, as
// bison writes it) and writes the eight parse tables of the LR driver
// (sql/YaccLib.h gives the format) as <out-dir>/<prefix>_<TABLE>.bin:
// flat arrays of little-endian signed 16-bit integers.
//
// Symbol numbers: terminals keep their token numbers (0 end of input, 256
// the error token, 257 and above the grammar's own); nonterminals become
// -1 (bison's $accept), -2 (the start symbol), then -3, -4 ... in bison's
// order.  Rule r of bison is rule r of the tables; rule 0 ($accept) is not
// listed.  The shift on end of input is written as the accepting entry
// (action 0); a "$default" reduction becomes the state's default action,
// which bison only gives to consistent states here, so any other default
// reduction is refused.  Errors name the offending state and exit 1.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "yacctables: %s\n", message.c_str());
  std::exit(1);
}

std::string Unescape(std::string s) {
  const std::pair<const char*, const char*> kEntities[] = {
      {"&quot;", "\""}, {"&apos;", "'"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}};
  for (const auto& [from, to] : kEntities) {
    for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + 1))
      s.replace(p, std::string(from).size(), to);
  }
  return s;
}

// The value of attribute `name` in the element on this line, or "".
std::string Attr(const std::string& line, const std::string& name) {
  std::string key = " " + name + "=\"";
  size_t p = line.find(key);
  if (p == std::string::npos) return "";
  p += key.size();
  size_t e = line.find('"', p);
  return Unescape(line.substr(p, e - p));
}

// The text between <tag> and </tag> on this line.
std::string Text(const std::string& line, const std::string& tag) {
  size_t p = line.find("<" + tag + ">");
  size_t e = line.find("</" + tag + ">");
  if (p == std::string::npos || e == std::string::npos) return "";
  p += tag.size() + 2;
  return Unescape(line.substr(p, e - p));
}

bool Has(const std::string& line, const std::string& what) {
  return line.find(what) != std::string::npos;
}

struct Rule {
  std::string lhs;
  std::string first;  // first symbol of the right side
  int length = 0;
};

struct State {
  std::vector<std::pair<std::string, int>> shifts, gotos;
  std::vector<std::pair<std::string, std::string>> reductions;  // symbol, rule
};

std::int16_t Checked16(long v, const std::string& what) {
  if (v < INT16_MIN || v > INT16_MAX) Fail(what + " does not fit 16 bits");
  return static_cast<std::int16_t>(v);
}

void WriteTable(const std::string& path, const std::vector<std::int16_t>& values) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (std::int16_t v : values) {
    auto u = static_cast<std::uint16_t>(v);
    char b[2] = {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    out.write(b, 2);
  }
  if (!out) Fail("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) Fail("usage: yacctables <bison.xml> <out-dir> <prefix>");
  std::ifstream in(argv[1]);
  if (!in) Fail(std::string("cannot read ") + argv[1]);

  std::vector<Rule> rules;
  std::map<std::string, int> tokens;       // terminal name -> token number
  std::vector<std::string> nonterminals;   // in bison's order
  std::vector<State> states;
  enum { kNone, kRule, kRhs, kState } where = kNone;

  for (std::string line; std::getline(in, line);) {
    if (Has(line, "<rule ")) {
      int n = std::atoi(Attr(line, "number").c_str());
      if (n != static_cast<int>(rules.size())) Fail("rules out of order");
      rules.emplace_back();
      where = kRule;
    } else if (where == kRule && Has(line, "<lhs>")) {
      rules.back().lhs = Text(line, "lhs");
    } else if (where == kRule && Has(line, "<rhs>")) {
      where = kRhs;
    } else if (where == kRhs && Has(line, "<symbol>")) {
      if (rules.back().length++ == 0) rules.back().first = Text(line, "symbol");
    } else if (where == kRhs && Has(line, "</rhs>")) {
      where = kNone;
    } else if (Has(line, "<terminal ")) {
      tokens[Attr(line, "name")] = std::atoi(Attr(line, "token-number").c_str());
    } else if (Has(line, "<nonterminal ")) {
      nonterminals.push_back(Attr(line, "name"));
    } else if (Has(line, "<state ")) {
      int n = std::atoi(Attr(line, "number").c_str());
      if (n != static_cast<int>(states.size())) Fail("states out of order");
      states.emplace_back();
      where = kState;
    } else if (where == kState && Has(line, "<transition ")) {
      auto entry = std::make_pair(Attr(line, "symbol"), std::atoi(Attr(line, "state").c_str()));
      (Attr(line, "type") == "shift" ? states.back().shifts : states.back().gotos).push_back(entry);
    } else if (where == kState && Has(line, "<reduction ")) {
      if (Attr(line, "enabled") == "true")
        states.back().reductions.emplace_back(Attr(line, "symbol"), Attr(line, "rule"));
    }
  }
  if (rules.empty() || states.empty() || nonterminals.empty()) Fail("no automaton in the report");

  // Nonterminal numbers: $accept -1, the start symbol -2, the rest onwards.
  // The start symbol is the first symbol of rule 0, $accept: start $end.
  std::map<std::string, int> ntCode;
  ntCode[rules[0].lhs] = -1;
  ntCode[rules[0].first] = -2;
  int next = -3;
  for (const auto& name : nonterminals)
    if (!ntCode.count(name)) ntCode[name] = next--;
  auto token = [&](const std::string& name, size_t s) {
    auto it = tokens.find(name);
    if (it == tokens.end()) Fail("state " + std::to_string(s) + ": unknown terminal " + name);
    return it->second;
  };

  std::vector<std::int16_t> yya, yyg, yyd, yyal, yyah, yygl, yygh, yyr;
  for (size_t s = 0; s < states.size(); ++s) {
    const State& st = states[s];
    int defaultRule = 0;
    yyal.push_back(Checked16(yya.size() / 2 + 1, "YYA index"));
    for (const auto& [sym, target] : st.shifts) {
      int tok = token(sym, s);
      bool accepts = tok == 0;  // only $accept: start . $end shifts end of input
      yya.push_back(Checked16(tok, "token"));
      yya.push_back(Checked16(accepts ? 0 : target, "state"));
    }
    for (const auto& [sym, rule] : st.reductions) {
      if (rule == "accept") continue;  // the state after end of input: never reached
      int r = std::atoi(rule.c_str());
      if (sym == "$default") {
        if (!st.shifts.empty() || st.reductions.size() != 1)
          Fail("state " + std::to_string(s) + ": default reduction in an inconsistent state");
        defaultRule = r;
        continue;
      }
      yya.push_back(Checked16(token(sym, s), "token"));
      yya.push_back(Checked16(-r, "rule"));
    }
    yyah.push_back(Checked16(yya.size() / 2, "YYA index"));
    yyd.push_back(Checked16(-defaultRule, "rule"));
    yygl.push_back(Checked16(yyg.size() / 2 + 1, "YYG index"));
    for (const auto& [sym, target] : st.gotos) {
      auto it = ntCode.find(sym);
      if (it == ntCode.end()) Fail("state " + std::to_string(s) + ": unknown nonterminal " + sym);
      yyg.push_back(Checked16(it->second, "nonterminal"));
      yyg.push_back(Checked16(target, "state"));
    }
    yygh.push_back(Checked16(yyg.size() / 2, "YYG index"));
  }
  for (size_t r = 1; r < rules.size(); ++r) {
    yyr.push_back(Checked16(rules[r].length, "rule length"));
    yyr.push_back(Checked16(ntCode.at(rules[r].lhs), "nonterminal"));
  }

  const std::string base = std::string(argv[2]) + "/" + argv[3] + "_";
  WriteTable(base + "YYA.bin", yya);
  WriteTable(base + "YYG.bin", yyg);
  WriteTable(base + "YYD.bin", yyd);
  WriteTable(base + "YYAL.bin", yyal);
  WriteTable(base + "YYAH.bin", yyah);
  WriteTable(base + "YYGL.bin", yygl);
  WriteTable(base + "YYGH.bin", yygh);
  WriteTable(base + "YYR.bin", yyr);
  return 0;
}
