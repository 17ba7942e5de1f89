#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "tla/tla_formatter.h"
#include "tla/tla_value_shortcut.h"
#include "value_shortcut_samples.h"

namespace {

using tla::Tla_value_format;
using value_shortcut_samples::append_utf8;
using value_shortcut_samples::check_value;
using value_shortcut_samples::Format_case;
using value_shortcut_samples::FORMATS;
using value_shortcut_samples::Reference;

const Format_case& format_case(Tla_value_format format) {
  for (const Format_case& known : FORMATS) {
    if (known.format == format) return known;
  }
  return FORMATS[0];
}

// Checks every value in every format; fails with the first few
// disagreements. Returns how many (value, format) pairs were answered.
std::size_t check_all(const std::vector<std::string>& values) {
  Reference reference;
  std::size_t answered_count = 0;
  std::vector<std::string> problems;
  for (const std::string& value : values) {
    for (const Format_case& format : FORMATS) {
      bool answered = false;
      std::string problem = check_value(reference, format, value, answered);
      if (answered) ++answered_count;
      if (!problem.empty() && problems.size() < 10) problems.push_back(std::move(problem));
    }
  }
  for (const std::string& problem : problems) ADD_FAILURE() << problem;
  return answered_count;
}

TEST(TlaValueShortcut, FormatsFollowTheFormatterTypes) {
  EXPECT_EQ(tla::tla_value_format(tla::TLA_SIMPLE_FORMATTER_ID), Tla_value_format::simple);
  EXPECT_EQ(tla::tla_value_format(tla::TLA_SIMPLENC_FORMATTER_ID), Tla_value_format::simplenc);
  EXPECT_EQ(tla::tla_value_format(tla::TLA_CCNUM_FORMATTER_ID), Tla_value_format::ccnumber);
  krn::GUID altered = tla::TLA_SIMPLENC_FORMATTER_ID;
  altered.data4[7] ^= 1;
  EXPECT_EQ(tla::tla_value_format(altered), Tla_value_format::other);
  EXPECT_EQ(tla::tla_value_format(tla::TLA_NO_FORMATTER_ID), Tla_value_format::other);

  // A type this program has no formatter for is always the codec's.
  std::string out = "kept";
  std::size_t count = 7;
  EXPECT_FALSE(tla::tla_shortcut_field_tokens(Tla_value_format::other, "Anne", 4, out, count));
  EXPECT_EQ(out, "kept");
  EXPECT_EQ(count, 7u);
}

// The shapes most field values have must take the shortcut, or it saves
// nothing; and what it gives must be the codec's.
TEST(TlaValueShortcut, CommonShapesAnswerLikeTheCodec) {
  struct Shape {
    Tla_value_format format;
    const char* value;
    std::size_t tokens;
  };
  const Shape SHAPES[] = {
      {Tla_value_format::simple, "Anne", 1},
      {Tla_value_format::simple, "  Anne  ", 1},
      {Tla_value_format::simplenc, "smith", 1},
      {Tla_value_format::simplenc, "SMITH", 1},
      {Tla_value_format::simplenc, "van der Berg", 3},
      {Tla_value_format::simplenc, "O'Neil", 1},
      {Tla_value_format::simple, "d'Arcy", 1},
      {Tla_value_format::simple, "d\u2019Arcy", 1},
      {Tla_value_format::simple, "Jean-Luc", 3},
      {Tla_value_format::simple, "ab'", 2},
      {Tla_value_format::simple, "1990's and '90s", 3},
      {Tla_value_format::simple, "1990's^", 4},
      {Tla_value_format::simple, "1990's, 1990's", 3},
      {Tla_value_format::simple, "1990'sx", 3},
      {Tla_value_format::simple, "'90sx", 3},
      {Tla_value_format::simple, "'90s'", 2},
      {Tla_value_format::simple, "123abc", 2},
      {Tla_value_format::simple, "abc123", 1},
      {Tla_value_format::simple, "Jos\u00e9", 1},
      {Tla_value_format::simplenc, "M\u00dcLLER", 1},
      {Tla_value_format::simplenc, "Dvo\u0159\u00e1k", 1},
      {Tla_value_format::simplenc, "\u0130stanbul", 1},
      {Tla_value_format::simplenc, "\u0418\u0412\u0410\u041d\u041e\u0412", 1},
      {Tla_value_format::simple, "\u738b\u5c0f\u660e", 3},
      {Tla_value_format::ccnumber, "4111 1111-1111 1111", 1},
      {Tla_value_format::ccnumber, " 4111-1111 - 1111 1111 ", 1},
      {Tla_value_format::ccnumber, "4111.1111", 3},
      {Tla_value_format::ccnumber, "---", 0},
      {Tla_value_format::simple, "", 0},
      {Tla_value_format::simplenc, "    ", 0},
  };
  Reference reference;
  for (const Shape& shape : SHAPES) {
    const Format_case& format = format_case(shape.format);
    SCOPED_TRACE(std::string(format.name) + " \"" + shape.value + "\"");
    bool answered = false;
    EXPECT_EQ(check_value(reference, format, shape.value, answered), "");
    EXPECT_TRUE(answered);
    std::string out;
    std::size_t count = 99;
    tla::tla_shortcut_field_tokens(shape.format, shape.value, std::string(shape.value).size(), out, count);
    EXPECT_EQ(count, shape.tokens);
  }
}

// The bounded sample of the long check in bench/: every shape, every
// format. Every printable-ASCII value must be answered.
TEST(TlaValueShortcut, GeneratedValuesAgreeWithTheCodec) {
  value_shortcut_samples::Sequence random(20240611);
  Reference reference;
  std::size_t ascii = 0;
  std::size_t answered_count = 0;
  int problems = 0;
  for (int i = 0; i < 4000; ++i) {
    const std::string value = value_shortcut_samples::make_value(random);
    const bool printable = value_shortcut_samples::is_printable_ascii(value);
    if (printable) ++ascii;
    for (const Format_case& format : FORMATS) {
      bool answered = false;
      const std::string problem = check_value(reference, format, value, answered);
      if (answered) ++answered_count;
      if (problem.empty() && (answered || !printable)) continue;
      if (++problems <= 10) ADD_FAILURE() << (problem.empty() ? "declined printable ASCII: " + value : problem);
    }
  }
  EXPECT_GT(ascii, 1000u);
  EXPECT_GT(answered_count, 3 * 4000u / 2);
}

// Characters of the Basic Multilingual Plane (every 13th; the check in
// bench/ takes them all), alone and where the cutting rules look at their
// neighbours.
TEST(TlaValueShortcut, BasicPlaneCharactersInEveryContextAgreeWithTheCodec) {
  const char* const CONTEXTS[][2] = {
      {"", ""}, {"a", "b"}, {"9", "'s"}, {"1990'", " x"}, {"'1", "s"}, {"O'", "'s"}, {" ", " z"},
  };
  std::vector<std::string> values;
  for (unsigned cp = 1; cp < 0x10000; cp += 13) {
    if (!value_shortcut_samples::is_input_character(cp)) continue;
    const auto& context = CONTEXTS[cp % (sizeof CONTEXTS / sizeof CONTEXTS[0])];
    std::string value = context[0];
    append_utf8(value, cp);
    value += context[1];
    values.push_back(std::move(value));
  }
  const std::size_t answered = check_all(values);
  // Letters, digits, punctuation and ideographs of most scripts qualify.
  EXPECT_GT(answered, values.size());
}

std::string repeated(const std::string& unit, std::size_t times) {
  std::string out;
  out.reserve(unit.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += unit;
  return out;
}

TEST(TlaValueShortcut, LongRunsAgreeWithTheCodec) {
  const std::vector<std::string> values = {
      repeated("a", 5000),
      repeated("A", 63) + "s",
      repeated("Z9", 2500),
      repeated("7", 4000) + "'s",
      repeated("\u00e9", 3000),
      repeated("\u00c9", 129),
      repeated("O'", 1500) + "x",
      repeated("4111 1111-", 500),
      repeated("\u6771", 2000),
      repeated(" ", 3000) + "Anne" + repeated(" ", 3000),
  };
  EXPECT_EQ(check_all(values), values.size() * 3);
}

// A field holds at most 65535 tokens; the codec path refuses the value
// beyond that, so the shortcut must too, and keep out as it was.
TEST(TlaValueShortcut, TokenLimitIsTheCodecs) {
  // "a," is two tokens in every format.
  const std::string at_limit = repeated("a,", 32767) + "a";
  const std::string below_limit = repeated("a,", 32767);
  const std::string over_limit = repeated("a,", 32768);
  for (const Format_case& format : FORMATS) {
    SCOPED_TRACE(format.name);
    Reference reference;
    for (const std::string* value : {&below_limit, &at_limit}) {
      bool answered = false;
      EXPECT_EQ(check_value(reference, format, *value, answered), "");
      EXPECT_TRUE(answered);
    }
    std::string out = "kept";
    std::size_t count = 3;
    EXPECT_FALSE(tla::tla_shortcut_field_tokens(format.format, over_limit.data(), over_limit.size(), out, count));
    EXPECT_EQ(out, "kept");
    EXPECT_EQ(count, 3u);
  }
}

// Input is meant to be UTF-8; bytes that are not are left to the codec
// path, never decoded by guesswork.
TEST(TlaValueShortcut, MalformedBytesAreDeclined) {
  const std::string MALFORMED[] = {
      "Ann\xC3",           // cut short
      "Ann\xE6\x9D",       // cut short
      "\xC0\xA0",          // overlong space
      "\xE0\x80\xA0",      // overlong space
      "\xED\xA0\x80",      // a surrogate
      "a\x80" "b",         // a lone continuation byte
      "\xFF",              // never in UTF-8
      "\xF0\x9F\x98\x80",  // above U+FFFF: well formed, but not taken
  };
  for (const Format_case& format : FORMATS) {
    for (const std::string& value : MALFORMED) {
      std::string out = "kept";
      std::size_t count = 5;
      EXPECT_FALSE(tla::tla_shortcut_field_tokens(format.format, value.data(), value.size(), out, count))
          << format.name << " " << value_shortcut_samples::escaped(value);
      EXPECT_EQ(out, "kept");
    }
  }
}

// The build calls the shortcut from several threads at once.
TEST(TlaValueShortcutThreads, ThreadsAtOnceGetTheSameBytes) {
  value_shortcut_samples::Sequence random(7);
  std::vector<std::string> values;
  for (int i = 0; i < 2000; ++i) values.push_back(value_shortcut_samples::make_value(random));
  std::vector<std::string> expected(values.size() * 3);
  for (std::size_t i = 0; i < values.size(); ++i) {
    for (std::size_t f = 0; f < 3; ++f) {
      std::size_t count = 0;
      tla::tla_shortcut_field_tokens(FORMATS[f].format, values[i].data(), values[i].size(), expected[i * 3 + f], count);
    }
  }
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < mismatches.size(); ++t) {
    threads.emplace_back([&, t] {
      std::string out;
      for (int round = 0; round < 3; ++round) {
        for (std::size_t i = 0; i < values.size(); ++i) {
          const std::size_t f = (i + t + round) % 3;
          out.clear();
          std::size_t count = 0;
          tla::tla_shortcut_field_tokens(FORMATS[f].format, values[i].data(), values[i].size(), out, count);
          if (out != expected[i * 3 + f]) ++mismatches[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int count : mismatches) EXPECT_EQ(count, 0);
}

}  // namespace
