#include "cmdline.h"

#include "streamio.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include <unistd.h>

namespace velk {

namespace {
constexpr const char* kVersion = "3.11";
constexpr const char* kRevision = "$Id$";

int64_t clamp_toward(bool negative) {
  return negative ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
}
}  // namespace

FILE* openstream(const char* name, const char* mode) {
  FILE* fp = getfp(name, mode);
  if (fp == nullptr) std::fprintf(stderr, "Cannot open file %s!\n", name);
  return fp;
}

double* doublearray(long n) {
  double* p = dgetmem(n);
  if (p == nullptr) std::fprintf(stderr, "Cannot allocate memory!\n");
  return p;
}

const char* commandname(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

void printusagehead(FILE* fp, const char* cmnd, const char* title, const char* arguments) {
  std::fprintf(fp, "\n");
  std::fprintf(fp, " %s - %s\n", cmnd, title);
  std::fprintf(fp, "\n");
  std::fprintf(fp, "  usage:\n");
  std::fprintf(fp, "       %s %s\n", cmnd, arguments);
}

void printversionfooter(FILE* fp) {
  std::fprintf(fp, "\n");
  std::fprintf(fp, " ZEVK: version %s\n", kVersion);
  std::fprintf(fp, " CVS Info: %s", kRevision);
  std::fprintf(fp, "\n");
}

commandend standardoptions(int argc, char** argv, const char* name, const std::function<void()>& help) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s (velk) %s\n", name, VELK_VERSION);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fflush(stdout);
      dup2(STDOUT_FILENO, STDERR_FILENO);
      help();
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
  }
  return std::nullopt;
}

void invalidoption(const char* cmnd, char c) {
  std::fprintf(stderr, "%s : Invalid option '%c'!\n", cmnd, c);
}

namespace {

// strtoll and strtod skip leading blanks; an option value must be the number alone.
bool starts_with_blank(const char* text) {
  return std::isspace(static_cast<unsigned char>(text[0])) != 0;
}

void print_bad_value(const char* cmnd, char option, const char* text, parseresult r, const char* below,
                     const char* bound) {
  if (r == PARSE_NOTANUMBER)
    std::fprintf(stderr, "%s : Invalid value '%s' for option '-%c'!\n", cmnd, text, option);
  else if (r == PARSE_TOOLARGE)
    std::fprintf(stderr, "%s : Value %s for option '-%c' is too large (at most %s)!\n", cmnd, text, option,
                 bound);
  else if (below != nullptr)
    std::fprintf(stderr, "%s : %s\n", cmnd, below);
  else
    std::fprintf(stderr, "%s : Value %s for option '-%c' is too small (at least %s)!\n", cmnd, text, option,
                 bound);
}

}  // namespace

parseresult parseinteger(const char* text, int64_t lo, int64_t hi, int64_t* value) {
  if (text[0] == '\0' || starts_with_blank(text)) return PARSE_NOTANUMBER;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0') return PARSE_NOTANUMBER;
  if (errno == ERANGE) return v < 0 ? PARSE_TOOSMALL : PARSE_TOOLARGE;
  if (v < lo) return PARSE_TOOSMALL;
  if (v > hi) return PARSE_TOOLARGE;
  *value = v;
  return PARSE_OK;
}

parseresult parsenumber(const char* text, double lo, double hi, double* value) {
  if (text[0] == '\0' || starts_with_blank(text)) return PARSE_NOTANUMBER;
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || std::isnan(v)) return PARSE_NOTANUMBER;
  if (v < lo) return PARSE_TOOSMALL;
  if (v > hi) return PARSE_TOOLARGE;
  *value = v;
  return PARSE_OK;
}

bool integervalue(const char* cmnd, char option, const char* text, int64_t lo, int64_t hi, const char* below,
                  int64_t* value) {
  const parseresult r = parseinteger(text, lo, hi, value);
  if (r == PARSE_OK) return true;
  const std::string bound = std::to_string(r == PARSE_TOOLARGE ? hi : lo);
  print_bad_value(cmnd, option, text, r, below, bound.c_str());
  return false;
}

bool numbervalue(const char* cmnd, char option, const char* text, double lo, double hi, const char* below,
                 double* value) {
  const parseresult r = parsenumber(text, lo, hi, value);
  if (r == PARSE_OK) return true;
  char bound[32];
  std::snprintf(bound, sizeof bound, "%g", r == PARSE_TOOLARGE ? hi : lo);
  print_bad_value(cmnd, option, text, r, below, bound);
  return false;
}

optionvalues::optionvalues(const commandinfo& command, int argc, char** argv, int* i, bool joined)
    : command_(command), argc_(argc), argv_(argv), i_(i), option_(argv[*i]), joined_(joined) {}

const char* optionvalues::nextargument() {
  if (*i_ + 1 >= argc_) return nullptr;
  return argv_[++*i_];
}

const char* optionvalues::text() {
  if (end_) return "";
  if (joined_) {
    joined_ = false;
    if (option_[2] != '\0') return option_ + 2;
  }
  const char* value = nextargument();
  if (value != nullptr) return value;
  endwithusage(1);
  return "";
}

int64_t optionvalues::integer(const char* text, int64_t lo, int64_t hi, const char* below) {
  int64_t value = lo;
  if (!end_ && !integervalue(command_.name, letter(), text, lo, hi, below, &value)) end_ = 1;
  return end_ ? lo : value;
}

double optionvalues::number(const char* text, double lo, double hi, const char* below) {
  double value = lo;
  if (!end_ && !numbervalue(command_.name, letter(), text, lo, hi, below, &value)) end_ = 1;
  return end_ ? lo : value;
}

int64_t optionvalues::nextinteger(int64_t lo, int64_t hi, const char* below) {
  const char* value = text();
  return integer(value, lo, hi, below);
}

double optionvalues::nextnumber(double lo, double hi, const char* below) {
  const char* value = text();
  return number(value, lo, hi, below);
}

void optionvalues::refuse() {
  if (!end_) end_ = 1;
}

void optionvalues::endwithusage(int status) {
  if (end_) return;
  command_.usage(command_.name);
  end_ = status;
}

commandoption helpoption(const char* names) {
  return {names, [](optionvalues* v) { v->endwithusage(0); }};
}

commandoption flagoption(const char* names, bool* to) {
  return {names, [to](optionvalues*) { *to = true; }};
}

commandoption toggleoption(const char* names, int* to) {
  return {names, [to](optionvalues*) { *to = !*to; }};
}

commandoption textoption(const char* names, const char** to) {
  return {names, [to](optionvalues* v) {
            const char* value = v->text();
            if (!v->ended()) *to = value;
          }};
}

commandoption integeroption(const char* names, int64_t* to, int64_t lo, int64_t hi, const char* below) {
  return {names, [to, lo, hi, below](optionvalues* v) {
            const int64_t value = v->nextinteger(lo, hi, below);
            if (!v->ended()) *to = value;
          }};
}

commandoption integeroption(const char* names, int* to, int64_t lo, int64_t hi, const char* below) {
  return {names, [to, lo, hi, below](optionvalues* v) {
            const int64_t value = v->nextinteger(lo, hi, below);
            if (!v->ended()) *to = static_cast<int>(value);
          }};
}

commandoption numberoption(const char* names, double* to, double lo, double hi, const char* below) {
  return {names, [to, lo, hi, below](optionvalues* v) {
            const double value = v->nextnumber(lo, hi, below);
            if (!v->ended()) *to = value;
          }};
}

commandoption customoption(const char* names, std::function<void(optionvalues*)> take) {
  return {names, std::move(take)};
}

commandoption joined(commandoption rule) {
  rule.joined = true;
  return rule;
}

namespace {

// True when `name`, the argument after its '-' (whole match) or its letter alone (letter match),
// is one of the '|'-separated spellings.
bool spells(const char* names, const char* name, optionmatch match) {
  for (const char* s = names;;) {
    const char* bar = std::strchr(s, '|');
    const size_t n = bar != nullptr ? static_cast<size_t>(bar - s) : std::strlen(s);
    if (match == MATCH_LETTER) {
      if (n == 1 && s[0] == name[0]) return true;
    } else if (n > 0 && s[n - 1] == '*') {
      if (std::strncmp(s, name, n - 1) == 0) return true;
    } else if (std::strncmp(s, name, n) == 0 && name[n] == '\0') {
      return true;
    }
    if (bar == nullptr) return false;
    s = bar + 1;
  }
}

// The rule of the table that the option argument `arg` names, or null.
const commandoption* findoption(const commandsyntax& syntax, const char* arg) {
  for (const commandoption& rule : syntax.options)
    if (spells(rule.names, arg + 1, syntax.match)) return &rule;
  return nullptr;
}

// An argument the command does not take: the command's own way, else its message, the usage text
// and status 1.
commandend refuseargument(const commandsyntax& syntax, const char* arg) {
  if (syntax.unknown) return syntax.unknown(arg);
  invalidoption(syntax.command.name, arg[1]);
  syntax.command.usage(syntax.command.name);
  return 1;
}

}  // namespace

commandend parsecommandline(int argc, char** argv, const commandsyntax& syntax) {
  const commandinfo& command = syntax.command;
  if (const commandend end =
          standardoptions(argc, argv, syntax.program, [&command] { command.usage(command.name); }))
    return end;
  for (int i = 1; i < argc; i++) {
    const char* arg = argv[i];
    const bool option = arg[0] == '-' && !(syntax.dashisoperand && arg[1] == '\0');
    const commandoption* rule = option ? findoption(syntax, arg) : nullptr;
    if (rule == nullptr) {
      if (!option && syntax.operand(arg)) continue;
      if (const commandend end = refuseargument(syntax, arg)) return end;
      continue;
    }
    optionvalues values(command, argc, argv, &i, rule->joined && syntax.match == MATCH_LETTER);
    rule->take(&values);
    if (values.ended()) return values.ended();
  }
  return std::nullopt;
}

int64_t saturatingmul(int64_t a, int64_t b) {
  int64_t product;
  if (__builtin_mul_overflow(a, b, &product)) return clamp_toward((a < 0) != (b < 0));
  return product;
}

int64_t saturatingadd(int64_t a, int64_t b) {
  int64_t sum;
  if (__builtin_add_overflow(a, b, &sum)) return clamp_toward(a < 0);
  return sum;
}

int64_t saturatingsub(int64_t a, int64_t b) {
  int64_t difference;
  if (__builtin_sub_overflow(a, b, &difference)) return clamp_toward(a < 0);
  return difference;
}

bool refusewaveinput(const char* cmnd, FILE* fp, const char* name) {
  if (!startswithwaveheader(fp)) return false;
  std::fprintf(
      stderr,
      "%s : %s is a RIFF/WAVE file; %s reads headerless little-endian 32-bit floats (convert it first, "
      "e.g. sox %s -t f32 %s.f32)!\n",
      cmnd, name, cmnd, name, name);
  return true;
}

bool outputcomplete(const char* cmnd, FILE* fp) {
  if (std::fflush(fp) == 0 && !std::ferror(fp)) return true;
  std::fprintf(stderr, "%s : Cannot write the output!\n", cmnd);
  return false;
}

FILE* openinput(const char* name) {
  return name != nullptr ? openstream(name, "rb") : stdin;
}

const char* inputname(const char* name) {
  return name != nullptr ? name : "standard input";
}

FILE* openfloatinput(const char* cmnd, const char* name) {
  FILE* fp = openinput(name);
  if (fp == nullptr || !refusewaveinput(cmnd, fp, inputname(name))) return fp;
  if (fp != stdin) std::fclose(fp);
  return nullptr;
}

int finishstream(const char* cmnd, FILE* in) {
  if (in != stdin) std::fclose(in);
  return outputcomplete(cmnd, stdout) ? 0 : 1;
}

}  // namespace velk
