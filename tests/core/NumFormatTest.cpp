// Number conversions: the exact texts of FloatToStr, FloatToStrF,
// FormatFloat and Format, integer and float parsing, and rounding.
#include "platform/core/NumFormat.h"

#include <gtest/gtest.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "platform/core/Exceptions.h"

namespace {

struct FloatCase {
  double value;
  const char* text;
};

TEST(FloatToStr, GeneralFormatWithFifteenSignificantDigits) {
  const double inf = std::numeric_limits<double>::infinity();
  const FloatCase cases[] = {
      {0.0, "0"},
      {-0.0, "0"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.3"},
      {100, "100"},
      {-2.5, "-2.5"},
      {1234.5, "1234.5"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {1e14, "100000000000000"},
      {123456789012345.0, "123456789012345"},
      {1e15, "1E15"},
      {123456789012345678.0, "1.23456789012346E17"},
      {999999999999999.9, "1E15"},
      {0.0001, "0.0001"},
      {0.00012345, "0.00012345"},
      {0.00001, "1E-5"},
      {1.5e-5, "1.5E-5"},
      {-1.5e-5, "-1.5E-5"},
      {1e300, "1E300"},
      {1.7976931348623157e308, "1.79769313486232E308"},
      {5e-324, "4.94065645841247E-324"},
      {std::nan(""), "NAN"},
      {inf, "INF"},
      {-inf, "-INF"},
  };
  for (const auto& c : cases) EXPECT_EQ(FloatToStr(c.value), c.text) << c.text;
}

TEST(FloatToStr, UsesTheGivenDecimalSeparator) {
  TFormatSettings fs;
  fs.DecimalSeparator = ',';
  EXPECT_EQ(FloatToStr(1.5, fs), "1,5");
  EXPECT_EQ(FloatToStr(1.5e-5, fs), "1,5E-5");
  EXPECT_EQ(FloatToStr(1.5), "1.5");
}

struct FloatFCase {
  double value;
  TFloatFormat format;
  int precision, digits;
  const char* text;
};

TEST(FloatToStrF, EachFormatRoundsHalvesAwayFromZero) {
  const FloatFCase cases[] = {
      {1234.5678, ffFixed, 15, 2, "1234.57"},
      {1.005, ffFixed, 15, 2, "1.01"},
      {1.005, ffFixed, 18, 2, "1.01"},
      {-1.005, ffFixed, 15, 2, "-1.01"},
      {2.5, ffFixed, 15, 0, "3"},
      {-2.5, ffFixed, 15, 0, "-3"},
      {-0.001, ffFixed, 15, 2, "0.00"},
      {-0.0, ffFixed, 15, 2, "0.00"},
      {999.995, ffFixed, 15, 2, "1000.00"},
      {0.5, ffFixed, 15, 3, "0.500"},
      {1e20, ffFixed, 15, 2, "1E20"},
      {1234.5, ffNumber, 15, 2, "1,234.50"},
      {999999.995, ffNumber, 15, 2, "1,000,000.00"},
      {-1234567, ffNumber, 15, 0, "-1,234,567"},
      {0.5, ffNumber, 15, 0, "1"},
      {1234.5, ffCurrency, 15, 2, "￥1,234.50"},
      {-1234.5, ffCurrency, 15, 2, "￥-1,234.50"},
      {-0.004, ffCurrency, 15, 2, "￥0.00"},
      {1234.5, ffExponent, 4, 2, "1.235E+03"},
      {0.0, ffExponent, 3, 2, "0.00E+00"},
      {0.00012345, ffExponent, 15, 0, "1.23450000000000E-4"},
      {-1e100, ffExponent, 2, 4, "-1.0E+0100"},
      {123.456, ffGeneral, 4, 0, "123.5"},
      {123456, ffGeneral, 4, 0, "1.235E5"},
      {123456, ffGeneral, 4, 2, "1.235E05"},
      {0.1, ffGeneral, 15, 0, "0.1"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FloatToStrF(c.value, c.format, c.precision, c.digits), c.text) << c.text;
}

TEST(FloatToStrF, CurrencyPicturesFollowTheSettings) {
  const char* negative[16] = {"($1.50)", "-$1.50", "$-1.50", "$1.50-", "(1.50$)", "-1.50$",
                              "1.50-$", "1.50$-", "-1.50 $", "-$ 1.50", "1.50 $-", "$ 1.50-",
                              "$ -1.50", "1.50- $", "($ 1.50)", "(1.50 $)"};
  const char* positive[4] = {"$1.50", "1.50$", "$ 1.50", "1.50 $"};
  TFormatSettings fs;
  fs.CurrencyString = "$";
  for (int i = 0; i < 16; ++i) {
    fs.NegCurrFormat = static_cast<unsigned char>(i);
    EXPECT_EQ(FloatToStrF(-1.5, ffCurrency, 15, 2, fs), negative[i]) << i;
  }
  for (int i = 0; i < 4; ++i) {
    fs.CurrencyFormat = static_cast<unsigned char>(i);
    EXPECT_EQ(FloatToStrF(1.5, ffCurrency, 15, 2, fs), positive[i]) << i;
  }
}

struct PictureCase {
  const char* picture;
  double value;
  const char* text;
};

TEST(FormatFloat, DocumentedPictureTable) {
  // The class library's documented examples for 1234, -1234, 0.5 and 0.
  const PictureCase cases[] = {
      {"0", 1234, "1234"}, {"0", -1234, "-1234"}, {"0", 0.5, "1"}, {"0", 0, "0"},
      {"0.00", 1234, "1234.00"}, {"0.00", -1234, "-1234.00"}, {"0.00", 0.5, "0.50"},
      {"0.00", 0, "0.00"},
      {"#.##", 1234, "1234"}, {"#.##", -1234, "-1234"}, {"#.##", 0.5, ".5"}, {"#.##", 0, ""},
      {"#,##0.00", 1234, "1,234.00"}, {"#,##0.00", -1234, "-1,234.00"},
      {"#,##0.00", 0.5, "0.50"}, {"#,##0.00", 0, "0.00"},
      {"#,##0.00;(#,##0.00)", 1234, "1,234.00"}, {"#,##0.00;(#,##0.00)", -1234, "(1,234.00)"},
      {"#,##0.00;(#,##0.00)", 0.5, "0.50"}, {"#,##0.00;(#,##0.00)", 0, "0.00"},
      {"#,##0.00;;Zero", 1234, "1,234.00"}, {"#,##0.00;;Zero", -1234, "-1,234.00"},
      {"#,##0.00;;Zero", 0.5, "0.50"}, {"#,##0.00;;Zero", 0, "Zero"},
      {"0.000E+00", 1234, "1.234E+03"}, {"0.000E+00", -1234, "-1.234E+03"},
      {"0.000E+00", 0.5, "5.000E-01"}, {"0.000E+00", 0, "0.000E+00"},
      {"#.###E-0", 1234, "1.234E3"}, {"#.###E-0", -1234, "-1.234E3"},
      {"#.###E-0", 0.5, "5E-1"}, {"#.###E-0", 0, "0E0"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatFloat(c.picture, c.value), c.text) << c.picture << " " << c.value;
}

TEST(FormatFloat, RoundsTheFifteenDigitDecimalHalfAwayFromZero) {
  const PictureCase cases[] = {
      {"0.00", 1.005, "1.01"},   // binary 1.00499999999999989...
      {"0.00", 2.675, "2.68"},
      {"0.00", -1.005, "-1.01"},
      {"0.00", 0.125, "0.13"},
      {"0", 1.5, "2"},
      {"0", 2.5, "3"},
      {"0", -2.5, "-3"},
      {"0.00", 999.995, "1000.00"},
      {"0.00", 1e-20, "0.00"},
      {"0.00", -0.001, "0.00"},            // never "-0.00"
      {"0.00;(0.00)", -0.001, "0.00"},     // nor "(0.00)"
      {"0.00;(0.00);'零'", -0.001, "零"},  // a value shown as zero takes the zero section
      {"0.00;-0.00;'零'", -5, "-5.00"},
      {"0.00;", -5, "-5.00"},
      {"0", -0.0, "0"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatFloat(c.picture, c.value), c.text) << c.picture << " " << c.value;
}

// Every significant digit of a double counts, up to the 17 of its shortest
// text: nothing is cut to 15 digits before the picture rounds.
TEST(FormatFloat, KeepsEverySignificantDigit) {
  EXPECT_EQ(FormatFloat("#,##0.00", 12345678901234.56), "12,345,678,901,234.56");
  EXPECT_EQ(FloatToStrF(4503599627370496.0, ffFixed, 18, 1), "4503599627370496.0");
  EXPECT_EQ(FloatToStrF(0.1, ffFixed, 18, 18), "0.100000000000000000") << "no binary noise";
  EXPECT_EQ(FloatToStrF(1.0 / 3, ffGeneral, 18, 0), "0.3333333333333333");
}

// A half written at the last of k significant digits (k = 1..17) rounds
// away from zero when one digit fewer is shown, whichever side of the half
// the binary value lies (1.005 is 1.00499999999999989... in binary).
TEST(FormatFloat, RoundsAWrittenHalfAtEveryDigitPosition) {
  const struct { const char* value; const char* picture; const char* text; } cases[] = {
      {"0.5", "0", "1"},
      {"2.5", "0", "3"},
      {"0.125", "0.00", "0.13"},
      {"1.005", "0.00", "1.01"},
      {"2.6745", "0.000", "2.675"},
      {"1234.45", "0.0", "1234.5"},
      {"0.1000005", "0.000000", "0.100001"},
      {"123456.25", "0.0", "123456.3"},
      {"1.00000005", "0.0000000", "1.0000001"},
      {"12345678.25", "0.0", "12345678.3"},
      {"0.12345678905", "0.0000000000", "0.1234567891"},
      {"9999999999.95", "0.0", "10000000000.0"},
      {"1.000000000005", "0.00000000000", "1.00000000001"},
      {"123456789012.45", "0.0", "123456789012.5"},
      {"0.100000000000005", "0.00000000000000", "0.10000000000001"},
      {"1234567890123.455", "0.00", "1234567890123.46"},
      {"1234567890123456.5", "0", "1234567890123457"},
      {"0.12345678901234565", "0.0000000000000000", "0.1234567890123457"},
  };
  for (const auto& c : cases) {
    const double v = std::stod(c.value);
    const std::string picture = c.picture;
    const int decimals = picture.size() > 1 ? static_cast<int>(picture.size()) - 2 : 0;
    EXPECT_EQ(FormatFloat(c.picture, v), c.text) << c.value;
    EXPECT_EQ(FormatFloat(c.picture, -v), "-" + std::string(c.text)) << c.value;
    EXPECT_EQ(FloatToStrF(v, ffFixed, 18, decimals), c.text) << c.value;
    EXPECT_EQ(SimpleRoundTo(v, -decimals), std::stod(c.text)) << c.value;
    EXPECT_EQ(SimpleRoundTo(-v, -decimals), -std::stod(c.text)) << c.value;
  }
}

TEST(FormatFloat, AnEmptyPositiveSectionShowsTheGeneralFormat) {
  const PictureCase cases[] = {
      {";;", 0.5, "0.5"},
      {";0", 0.5, "0.5"},
      {";;", -0.5, "-0.5"},
      {";;", 0, "0"},
      {";0.0", -0.01, "-0.01"},  // shown as zero by its own section: the empty positive one
      {";(0.0)", -2, "(2.0)"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatFloat(c.picture, c.value), c.text) << c.picture << " " << c.value;
}

TEST(FormatFloat, ASecondDecimalPointIsIgnored) {
  const PictureCase cases[] = {
      {"0.0.0", 0.125, "0.13"},
      {"0..00", 1.5, "1.50"},
      {"#,##0.0.", 1234.56, "1,234.6"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatFloat(c.picture, c.value), c.text) << c.picture << " " << c.value;
}

TEST(FormatFloat, PlacesDigitsLiteralsAndSeparators) {
  const PictureCase cases[] = {
      {"000", 5, "005"},
      {"00", 12345, "12345"},
      {"#", 0, ""},
      {"0.0#", 1.256, "1.26"},
      {"0.0#", 1.2, "1.2"},
      {"0.0#", 1, "1.0"},
      {"0.##", 1, "1"},
      {".00", 12.5, "12.50"},
      {"#,##0", 999, "999"},
      {"#,##0", 1000, "1,000"},
      {"#,##0", -1000000, "-1,000,000"},
      {"#,##0", 123456789012.0, "123,456,789,012"},
      {"000-0000", 1234567, "123-4567"},
      {"\"￥\"#,##0.00", 1234.5, "￥1,234.50"},
      {"0.00'元'", 12.5, "12.50元"},
      {"0.00元", 12.5, "12.50元"},
      {"0.00 'a;b'", 1, "1.00 a;b"},
      {"0", 123456789012345678.0, "123456789012345680"},
      {"0", 1e20, "1E20"},
      {"0.00E+0", 1e-300, "1.00E-300"},
      {"", 0.1, "0.1"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatFloat(c.picture, c.value), c.text) << c.picture << " " << c.value;
}

TEST(FormatFloat, CopiesDoubleByteCharactersWhole) {
  // A code-page-936 character whose trail byte is 'E' (0x45) must not start
  // an exponent, nor one whose trail byte is 'e'.
  AnsiString picture = "0.00\x81\x45+0\x81\x65-";
  EXPECT_EQ(FormatFloat(picture, 12.5), AnsiString("12.50\x81\x45+0\x81\x65-"));
}

TEST(FormatFloat, UsesTheGivenSeparators) {
  TFormatSettings fs;
  fs.DecimalSeparator = ',';
  fs.ThousandSeparator = '.';
  EXPECT_EQ(FormatFloat("#,##0.00", 1234.5, fs), "1.234,50");
  EXPECT_EQ(FormatFloat("#,##0.00", 1234.5), "1,234.50");
}

struct FormatCase {
  const char* format;
  std::vector<TVarRec> args;
  const char* text;
};

TEST(Format, Directives) {
  const void* p = reinterpret_cast<const void*>(0x1234);
  const FormatCase cases[] = {
      {"%d-%s", {5, "ab"}, "5-ab"},
      {"%5d|%-5d|%.3d", {42, 42, 7}, "   42|42   |007"},
      {"%.3d", {-7}, "-007"},
      {"%d", {std::int64_t{-9223372036854775807LL - 1}}, "-9223372036854775808"},
      {"%D", {3}, "3"},
      {"%u", {-1}, "4294967295"},
      {"%x|%.4x|%x", {255, 255, -1}, "FF|00FF|FFFFFFFF"},
      {"%x|%u", {std::int64_t{-1}, std::int64_t{-1}}, "FFFFFFFFFFFFFFFF|18446744073709551615"},
      {"%f", {3.14159}, "3.14"},
      {"%.3f", {2.0005}, "2.001"},
      {"%8.2f", {-1.5}, "   -1.50"},
      {"%.0f", {0.5}, "1"},
      {"%e", {1234.5}, "1.23450000000000E+003"},
      {"%.3e", {1234.5}, "1.23E+003"},
      {"%g", {0.00001}, "1E-5"},
      {"%g", {1234.5}, "1234.5"},
      {"%.3g", {1234.5}, "1.23E3"},
      {"%n", {1234567.891}, "1,234,567.89"},
      {"%m", {1234.5}, "￥1,234.50"},
      {"%m", {-1234.5}, "￥-1,234.50"},
      {"%.0m", {2.5}, "￥3"},
      {"%s", {'c'}, "c"},
      {"%.2s", {"abcdef"}, "ab"},
      {"%-6s|", {"ab"}, "ab    |"},
      {"%6s", {"工资"}, "  工资"},
      {"%1:s %0:s %s", {"a", "b"}, "b a b"},
      {"%*d|%-*d|", {5, 42, 4, 7}, "   42|7   |"},
      {"%.*f", {1, 2.25}, "2.3"},
      {"100%%", {}, "100%"},
      {"%p", {p}, sizeof(void*) == 8 ? "0000000000001234" : "00001234"},
      {"工资%d元", {5}, "工资5元"},
  };
  for (const auto& c : cases) EXPECT_EQ(Format(c.format, c.args), c.text) << c.format;
}

TEST(Format, MismatchedDirectivesRaiseConvertError) {
  const FormatCase cases[] = {
      {"%d", {1.5}, "Format '%d' invalid or incompatible with argument"},
      {"%f", {1}, "Format '%f' invalid or incompatible with argument"},
      {"%s", {5}, "Format '%s' invalid or incompatible with argument"},
      {"%d", {true}, "Format '%d' invalid or incompatible with argument"},
      {"%q", {1}, "Format '%q' invalid or incompatible with argument"},
      {"abc%", {1}, "Format 'abc%' invalid or incompatible with argument"},
      {"%*d", {"x", 1}, "Format '%*d' invalid or incompatible with argument"},
      {"%d %d", {1}, "No argument for format '%d %d'"},
      {"%3:d", {1}, "No argument for format '%3:d'"},
      {"%999999999d", {1}, "Format '%999999999d' invalid or incompatible with argument"},
      {"%*d", {100000, 1}, "Format '%*d' invalid or incompatible with argument"},
  };
  for (const auto& c : cases) {
    try {
      Format(c.format, c.args);
      ADD_FAILURE() << c.format;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), c.text);
    }
  }
}

TEST(Format, BuildsFromAnInitializerList) {
  AnsiString name = "张三";
  EXPECT_EQ(Format("%s: %d", {name, 3}), "张三: 3");
}

TEST(StrToInt, AcceptsDecimalAndHexadecimal) {
  const struct { const char* text; int value; } cases[] = {
      {"123", 123}, {" 123", 123}, {"-123", -123}, {"+5", 5}, {"0", 0},
      {"$FF", 255}, {"$ff", 255}, {"0x1f", 31}, {"0X1F", 31}, {"-$10", -16},
      {"$FFFFFFFF", -1}, {"$80000000", INT_MIN},
      {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
}

TEST(StrToInt, RejectsWhatIsNoInteger) {
  const char* bad[] = {"", " ", "2147483648", "-2147483649", "12 ", "abc", "1.5", "$",
                       "0x", "--1", "$1FFFFFFFF", "1e3", "１２"};
  for (const char* text : bad) {
    int v = 99;
    EXPECT_FALSE(TryStrToInt(text, v)) << text;
    EXPECT_EQ(v, 99);
    EXPECT_EQ(StrToIntDef(text, 7), 7);
  }
  try {
    StrToInt("abc");
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid integer value");
  }
}

TEST(StrToInt64, CoversTheSixtyFourBitRange) {
  EXPECT_EQ(StrToInt64("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(StrToInt64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(StrToInt64("4294967296"), 4294967296LL);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_EQ(StrToInt64Def("x", -2), -2);
}

TEST(StrToFloat, ParsesWithTheSettingsDecimalSeparator) {
  const struct { const char* text; double value; } cases[] = {
      {"1.5", 1.5}, {" 1.5 ", 1.5}, {"-0.5", -0.5}, {".5", 0.5}, {"5.", 5}, {"+2", 2},
      {"1e3", 1000}, {"1.5E-3", 0.0015}, {"1E+2", 100}, {"0.1", 0.1}, {"1e-400", 0},
      {"123456789012345678", 123456789012345678.0},
  };
  for (const auto& c : cases) EXPECT_EQ(StrToFloat(c.text), c.value) << c.text;
  TFormatSettings fs;
  fs.DecimalSeparator = ',';
  EXPECT_EQ(StrToFloat("1,5", fs), 1.5);
  EXPECT_THROW(StrToFloat("1.5", fs), EConvertError);
}

// Generated decimals, long and short, with and without the separator: the
// reader gives exactly the double from_chars gives for the same digits
// (nearest, ties to even), with either separator.
TEST(StrToFloat, DecimalsReadAsTheNearestDouble) {
  std::mt19937 rng(20261211);
  auto digits = [&](int count) {
    std::string d;
    for (int k = 0; k < count; ++k) d += static_cast<char>('0' + rng() % 10);
    return d;
  };
  TFormatSettings comma;
  comma.DecimalSeparator = ',';
  for (int round = 0; round < 20000; ++round) {
    const std::string sign = round % 3 == 0 ? "-" : round % 7 == 0 ? "+" : "";
    const std::string whole = digits(static_cast<int>(rng() % 18));
    const std::string fraction = digits(static_cast<int>(rng() % 25));
    const bool point = !fraction.empty() || rng() % 2;
    if (whole.empty() && fraction.empty()) continue;
    const std::string text = sign + whole + (point ? "." : "") + fraction;
    const std::string bare = (sign == "-" ? "-" : "") + (whole.empty() ? "0" : whole) + "." + fraction + "0";
    double expect = 0;
    ASSERT_EQ(std::from_chars(bare.data(), bare.data() + bare.size(), expect).ec, std::errc()) << bare;
    if (expect == 0) expect = 0.0;
    double got = 1, gotComma = 1;
    ASSERT_TRUE(TryStrToFloat(text, got)) << text;
    std::string withComma = text;
    if (point) withComma[withComma.find('.')] = ',';
    ASSERT_TRUE(TryStrToFloat(withComma, gotComma, comma)) << withComma;
    EXPECT_EQ(std::memcmp(&got, &expect, sizeof got), 0) << text << " " << got << " " << expect;
    EXPECT_EQ(std::memcmp(&gotComma, &expect, sizeof got), 0) << withComma;
  }
  // At the edges of the exact integers and of the exact powers of ten.
  const char* edges[] = {"9007199254740992", "9007199254740993", "9007199254740995", "-0", "-0.000", "0.1",
                         "2.675", "0.0000000000000000000001", "0.00000000000000000000001", "4503599627370495.5",
                         "1234567.0000000000000000000001"};
  for (const char* text : edges) {
    double expect = 0, got = 1;
    ASSERT_EQ(std::from_chars(text, text + std::strlen(text), expect).ec, std::errc()) << text;
    if (expect == 0) expect = 0.0;
    ASSERT_TRUE(TryStrToFloat(text, got)) << text;
    EXPECT_EQ(std::memcmp(&got, &expect, sizeof got), 0) << text;
  }
}

TEST(StrToFloat, RejectsWhatIsNoNumber) {
  const char* bad[] = {"", "  ", "1,5", "abc", "1e", "1.2.3", "$1", "1e999", "- 1", "1 000",
                       "INF", "NAN", "0x10", "."};
  for (const char* text : bad) {
    double v = 9;
    EXPECT_FALSE(TryStrToFloat(text, v)) << text;
    EXPECT_EQ(v, 9);
  }
  try {
    StrToFloat("1.2.3");
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'1.2.3' is not a valid floating point value");
  }
  EXPECT_EQ(StrToFloatDef("x", 2.5), 2.5);
}

TEST(IntToStr, AndIntToHex) {
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(IntToStr(-42), "-42");
  EXPECT_EQ(IntToStr(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(0, 0), "0");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
  EXPECT_EQ(IntToHex(0x1234567890LL, 4), "1234567890");
  EXPECT_EQ(IntToHex(-0x100000000LL, 1), "FFFFFFFF00000000");
  EXPECT_EQ(IntToHex(std::int64_t{-1}, 2), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(IntToHex(0xFFFFFFFFu, 2), "FFFFFFFF");
}

TEST(CurrToStr, ShowsTheScaledAmountExactly) {
  EXPECT_EQ(CurrToStr(12345), "1.2345");
  EXPECT_EQ(CurrToStr(10000), "1");
  EXPECT_EQ(CurrToStr(-5000), "-0.5");
  EXPECT_EQ(CurrToStr(0), "0");
  EXPECT_EQ(CurrToStr(std::numeric_limits<std::int64_t>::max()), "922337203685477.5807");
  EXPECT_EQ(CurrToStrF(123456789, ffCurrency, 2), "￥12,345.68");
  EXPECT_EQ(CurrToStrF(-5, ffFixed, 3), "-0.001");  // -0.0005 away from zero
  EXPECT_EQ(CurrToStrF(4, ffFixed, 3), "0.000");
}

TEST(Round, HalvesGoToEven) {
  const struct { double value; std::int64_t rounded; } cases[] = {
      {0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2},
      {2.4999999, 2}, {2.5000001, 3}, {-2.7, -3}, {4503599627370497.0, 4503599627370497LL},
  };
  for (const auto& c : cases) EXPECT_EQ(Round(c.value), c.rounded) << c.value;
  EXPECT_THROW(Round(std::nan("")), EInvalidOp);
  EXPECT_THROW(Round(1e19), EInvalidOp);
  EXPECT_THROW(Trunc(-1e19), EInvalidOp);
}

TEST(Trunc, IntAndFracKeepTheSign) {
  EXPECT_EQ(Trunc(2.7), 2);
  EXPECT_EQ(Trunc(-2.7), -2);
  EXPECT_EQ(Int(-2.7), -2.0);
  EXPECT_EQ(Frac(-2.5), -0.5);
  EXPECT_EQ(Frac(2.75), 0.75);
  EXPECT_EQ(Int(1e300), 1e300);
}

TEST(MulDiv, RoundsAndAnswersMinusOneForAZeroDivisor) {
  const struct { int a, b, c, r; } cases[] = {
      {10, 3, 4, 8}, {-10, 3, 4, -8}, {10, -3, 4, -8}, {-10, -3, -4, -8}, {5, 1, 2, 3},
      {-5, 1, 2, -3}, {10, 3, 0, -1}, {INT_MAX, 2, 2, INT_MAX}, {INT_MAX, 2, 1, -1},
      {INT_MIN, 1, 1, INT_MIN}, {100000, 100000, 100000, 100000},
  };
  for (const auto& c : cases) EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.r) << c.a << "*" << c.b << "/" << c.c;
}

TEST(SimpleRoundTo, RoundsTheWrittenDecimalHalfAwayFromZero) {
  EXPECT_EQ(SimpleRoundTo(1.005, -2), 1.01);
  EXPECT_EQ(SimpleRoundTo(2.675), 2.68);
  EXPECT_EQ(SimpleRoundTo(-1.005, -2), -1.01);
  EXPECT_EQ(SimpleRoundTo(1234.5, 0), 1235);
  EXPECT_EQ(SimpleRoundTo(1250, 2), 1300);
  EXPECT_EQ(SimpleRoundTo(0.004, -2), 0);
  EXPECT_EQ(RoundTo(1.125, -2), 1.12);
  EXPECT_EQ(RoundTo(1.135, -2), 1.14);
  EXPECT_EQ(RoundTo(2.5, 0), 2);
  EXPECT_EQ(RoundTo(3.5, 0), 4);
  EXPECT_EQ(RoundTo(1.1251, -2), 1.13);
}

TEST(SimpleRoundTo, KeepsDigitsPastTheFifteenthAndRefusesWhatItCannotScale) {
  EXPECT_EQ(SimpleRoundTo(1e15 + 0.5, -3), 1e15 + 0.5);
  EXPECT_EQ(SimpleRoundTo(1e15 + 0.5, 0), 1e15 + 1);
  EXPECT_EQ(RoundTo(1e15 + 0.5, 0), 1e15);
  const double max = std::numeric_limits<double>::max();
  EXPECT_EQ(RoundTo(max, -2), max);
  EXPECT_EQ(SimpleRoundTo(-max, -2), -max);
  EXPECT_THROW(SimpleRoundTo(max, 308), EInvalidOp);  // 2E308
  EXPECT_THROW(RoundTo(-max, 305), EInvalidOp);       // -1.798E308
  EXPECT_EQ(RoundTo(max, 309), 0);
}

}  // namespace
