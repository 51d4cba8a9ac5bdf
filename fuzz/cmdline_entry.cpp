// The stream commands' argument helpers on an argument list made of the input's words: a
// command's option loop over it, with record-range arithmetic on the option values checked
// against 128-bit arithmetic, and every word parsed as an option value (integer and number,
// within bounds taken from the following words) checked against reference rules.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "cmdline.h"
#include "fuzzcheck.h"

using namespace velk;

namespace {

const char* const kTarget = "cmdline";

int usage_calls = 0;

// Stands for a command's usage routine, which would print.
void record_usage(const char*) {
  ++usage_calls;
}

int64_t clamp128(__int128 v) {
  const __int128 lo = std::numeric_limits<int64_t>::min(), hi = std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(v < lo ? lo : v > hi ? hi : v);
}

void check_arithmetic(int64_t a, int64_t b) {
  fuzz_check(saturatingmul(a, b) == clamp128(static_cast<__int128>(a) * b), kTarget, "saturatingmul");
  fuzz_check(saturatingadd(a, b) == clamp128(static_cast<__int128>(a) + b), kTarget, "saturatingadd");
  fuzz_check(saturatingsub(a, b) == clamp128(static_cast<__int128>(a) - b), kTarget, "saturatingsub");
}

// Reference integer parse: optional sign and decimal digits only, the value in 128 bits
// (saturated far beyond the int64_t range).
parseresult reference_integer(const char* text, int64_t lo, int64_t hi, int64_t* value) {
  const char* p = text;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (*p == '\0') return PARSE_NOTANUMBER;
  __int128 v = 0;
  for (; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return PARSE_NOTANUMBER;
    if (v < (static_cast<__int128>(1) << 100)) v = v * 10 + (*p - '0');
  }
  if (negative) v = -v;
  if (v < lo) return PARSE_TOOSMALL;
  if (v > hi) return PARSE_TOOLARGE;
  *value = static_cast<int64_t>(v);
  return PARSE_OK;
}

// The option-value parsers against the reference rules, for bounds taken from the word list.
void check_value_parsers(const char* text, int64_t lo, int64_t hi) {
  if (lo > hi) std::swap(lo, hi);
  int64_t got = 0, want = 0;
  const parseresult r = parseinteger(text, lo, hi, &got);
  fuzz_check(r == reference_integer(text, lo, hi, &want), kTarget,
             "parseinteger disagrees with the digit rule");
  fuzz_check(r != PARSE_OK || got == want, kTarget, "parseinteger stored a different value");

  double x = 0.0;
  const double dlo = static_cast<double>(lo), dhi = static_cast<double>(hi);
  const parseresult n = parsenumber(text, dlo, dhi, &x);
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  const bool whole = end != text && *end == '\0' && !std::isspace(static_cast<unsigned char>(text[0]));
  if (!whole || std::isnan(v)) {
    fuzz_check(n == PARSE_NOTANUMBER, kTarget, "parsenumber took a text strtod does not parse whole");
  } else if (n == PARSE_OK) {
    fuzz_check(std::isfinite(x) && x == v && x >= dlo && x <= dhi, kTarget, "parsenumber stored a bad value");
  } else {
    fuzz_check((n == PARSE_TOOSMALL && v < dlo) || (n == PARSE_TOOLARGE && v > dhi), kTarget,
               "parsenumber refused a number inside its range");
  }
  // Every integer the integer parser takes is a number of the same value.
  if (r == PARSE_OK && n == PARSE_OK)
    fuzz_check(x == static_cast<double>(got), kTarget, "an integer parsed as a different number");
}

}  // namespace

int fuzz_cmdline(const uint8_t* data, size_t size) {
  size_t count = 0;
  std::string text = words_of(data, size, &count);
  std::vector<char*> argv;
  for (char* p = &text[0]; argv.size() < count; p += std::strlen(p) + 1) argv.push_back(p);
  if (argv.empty()) return 0;
  int argc = static_cast<int>(argv.size());

  const char* name = commandname(argv[0]);
  const char* slash = std::strrchr(argv[0], '/');
  fuzz_check(name == (slash ? slash + 1 : argv[0]), kTarget,
             "command name is not the part after the last '/'");

  for (int i = 1; i < argc; ++i) {
    const int64_t lo = i + 1 < argc ? std::atoll(argv[i + 1]) : std::numeric_limits<int64_t>::min();
    const int64_t hi = i + 2 < argc ? std::atoll(argv[i + 2]) : std::numeric_limits<int64_t>::max();
    check_value_parsers(argv[i], lo, hi);
  }

  // A command's option loop over the words: every option takes the next word as its value; -h
  // ends the command with the usage text and status 0, an option that is the last word with the
  // usage text and status 1. The reference walks the words the same way.
  // The words --help and --version, which the parser answers on standard output before any other,
  // are left out.
  argv.erase(
      std::remove_if(argv.begin() + 1, argv.end(),
                     [](const char* w) { return !std::strcmp(w, "--help") || !std::strcmp(w, "--version"); }),
      argv.end());
  argc = static_cast<int>(argv.size());
  std::vector<int64_t> values;
  commandsyntax syntax("cmd", {"cmd", record_usage});
  syntax.match = MATCH_WHOLE;
  syntax.options = {helpoption("h*"), customoption("*", [&values](optionvalues* v) {
                      const char* value = v->text();
                      if (!v->ended()) values.push_back(std::atoll(value));
                    })};
  syntax.operand = [](const char*) { return true; };
  commandend want;
  size_t want_values = 0;
  for (int i = 1; i < argc && !want; ++i) {
    if (argv[i][0] != '-') continue;
    if (argv[i][1] == 'h' || i + 1 == argc)
      want = argv[i][1] == 'h' ? 0 : 1;
    else
      ++i, ++want_values;
  }
  usage_calls = 0;
  const commandend end = parsecommandline(argc, argv.data(), syntax);
  fuzz_check(end == want && usage_calls == (want ? 1 : 0), kTarget,
             "the option loop did not end where the words say, with the usage text");
  fuzz_check(values.size() == want_values, kTarget, "an option's value is not the next argument");
  const int64_t edge[] = {std::numeric_limits<int64_t>::min(), -1, 0, 1, std::numeric_limits<int64_t>::max()};
  if (values.size() > 64) values.resize(64);  // the pairs grow quadratically
  for (int64_t a : values) {
    for (int64_t b : values) check_arithmetic(a, b);
    for (int64_t b : edge) check_arithmetic(a, b);
  }
  return 0;
}
