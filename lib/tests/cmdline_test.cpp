#include "cmdline.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

using namespace velk;

// The test of short memory asks for more than the sanitizers' allocator hands out: it is to
// return null, as the standard allocator does, instead of ending the test.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}

namespace {

void test_usage(const char* cmnd) {
  std::fprintf(stderr, "USAGE TEXT of %s\n", cmnd);
}

TEST(Cmdline, CommandNameIsThePathAfterTheLastSlash) {
  EXPECT_STREQ(commandname("/usr/local/bin/recslice"), "recslice");
  EXPECT_STREQ(commandname("./snr"), "snr");
  EXPECT_STREQ(commandname("biquad"), "biquad");
}

// What `print` writes into a file.
template <class Print>
std::string printed(Print print) {
  FILE* fp = std::tmpfile();
  print(fp);
  std::rewind(fp);
  char buf[256] = {0};
  const size_t n = std::fread(buf, 1, sizeof buf - 1, fp);
  std::fclose(fp);
  return std::string(buf, n);
}

TEST(Cmdline, UsageHeadAndVersionFooter) {
  EXPECT_EQ(printed([](FILE* fp) { printusagehead(fp, "snr", "evaluate SNR", "[ options ] file1"); }),
            "\n snr - evaluate SNR\n\n  usage:\n       snr [ options ] file1\n");
  EXPECT_EQ(printed(printversionfooter), "\n ZEVK: version 3.11\n CVS Info: $Id$\n");
}

TEST(Cmdline, NextArgumentStopsAtTheEnd) {
  char a0[] = "cmd", a1[] = "-l", a2[] = "12";
  char* argv[] = {a0, a1, a2};
  int i = 1;
  const commandinfo command{"cmd", test_usage};
  optionvalues v(command, 3, argv, &i, false);
  EXPECT_STREQ(v.nextargument(), "12");
  EXPECT_EQ(i, 2);
  EXPECT_EQ(v.nextargument(), nullptr);
  EXPECT_EQ(i, 2);
  EXPECT_EQ(v.ended(), std::nullopt) << "a missing argument alone ends nothing";
}

TEST(Cmdline, InvalidOptionNamesTheLetter) {
  ::testing::internal::CaptureStderr();
  invalidoption("cmd", 'x');
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "cmd : Invalid option 'x'!\n");
}

// The arguments of a command line, as main receives them.
struct CommandLine {
  std::vector<std::string> words;
  std::vector<char*> argv;
  explicit CommandLine(std::vector<std::string> w) : words(std::move(w)) {
    for (std::string& word : words) argv.push_back(&word[0]);
  }
  int argc() const { return static_cast<int>(argv.size()); }
};

// What the parser handed over, in order: "operand", "-<letter>" and the values taken; then
// " => <status>" when the command ends, and what it printed on standard error.
std::string read_words(CommandLine c) {
  std::string seen;
  commandsyntax syntax{"cmd", {"cmd", test_usage}};
  syntax.options = {
      helpoption("h"),
      customoption("a",
                   [&seen](optionvalues* v) { seen += std::string(" -a [") + (v->argument() + 2) + "]"; }),
      customoption(
          "i",
          [&seen](optionvalues* v) { seen += " -i " + std::to_string(v->nextinteger(-5, 5, "Too small!")); }),
      customoption("n",
                   [&seen](optionvalues* v) {
                     seen += " -n " + std::to_string(v->nextnumber(0.5, 1e3));
                     seen += " " + std::to_string(v->nextnumber(0.5, 1e3));
                   }),
      customoption("t", [&seen](optionvalues* v) { seen += std::string(" -t ") + v->text(); }),
      customoption("r",
                   [&seen](optionvalues* v) {
                     seen += " -r";
                     std::fprintf(stderr, "cmd : No -r here!\n");
                     v->refuse();
                   }),
  };
  syntax.operand = [&seen](const char* arg) {
    seen += std::string(" ") + arg;
    return arg[0] != '+' || arg[1] == 'f';
  };
  ::testing::internal::CaptureStderr();
  const commandend end = parsecommandline(c.argc(), c.argv.data(), syntax);
  const std::string err = ::testing::internal::GetCapturedStderr();
  if (end) seen += " => " + std::to_string(*end) + "\n" + err;
  return seen;
}

TEST(Cmdline, ParserHandsOverOptionsValuesAndOperands) {
  EXPECT_EQ(
      read_words(CommandLine({"cmd", "in", "-i", "-5", "-n", "2", "1e2", "-a12", "-t", "-x", "+f", "-a"})),
      " in -i -5 -n 2.000000 100.000000 -a [12] -t -x +f -a []");
  EXPECT_EQ(read_words(CommandLine({"cmd"})), "");
}

// Reading stops at the argument that ends the command, with the status and the messages the
// toolkit gives; nothing after it is handed over.
TEST(Cmdline, ParserEndsTheCommandAsTheToolkitDoes) {
  EXPECT_EQ(read_words(CommandLine({"cmd", "x", "-h", "-q"})), " x => 0\nUSAGE TEXT of cmd\n");
  EXPECT_EQ(read_words(CommandLine({"cmd", "-q", "-h"})),
            " => 1\ncmd : Invalid option 'q'!\nUSAGE TEXT of cmd\n");
  EXPECT_EQ(read_words(CommandLine({"cmd", "+q", "-i", "1"})),
            " +q => 1\ncmd : Invalid option 'q'!\nUSAGE TEXT of cmd\n");
  EXPECT_EQ(read_words(CommandLine({"cmd", "-i"})), " -i -5 => 1\nUSAGE TEXT of cmd\n");
  // A missing second value: the usage text once, not a message about the empty value.
  EXPECT_EQ(read_words(CommandLine({"cmd", "-n", "1"})), " -n 1.000000 0.500000 => 1\nUSAGE TEXT of cmd\n");
  EXPECT_EQ(read_words(CommandLine({"cmd", "-i", "6", "in"})),
            " -i -5 => 1\ncmd : Value 6 for option '-i' is too large (at most 5)!\n");
  EXPECT_EQ(read_words(CommandLine({"cmd", "-i", "-6"})), " -i -5 => 1\ncmd : Too small!\n");
  // After the first bad value the option's other values are answered without a word.
  EXPECT_EQ(read_words(CommandLine({"cmd", "-n", "x", "y", "-t", "z"})),
            " -n 0.500000 0.500000 => 1\ncmd : Invalid value 'x' for option '-n'!\n");
  EXPECT_EQ(read_words(CommandLine({"cmd", "-n", "0.1", "1"})),
            " -n 0.500000 0.500000 => 1\ncmd : Value 0.1 for option '-n' is too small (at least 0.5)!\n");
  EXPECT_EQ(read_words(CommandLine({"cmd", "-r", "-i", "1"})), " -r => 1\ncmd : No -r here!\n");
  // A lone "-" is an option of no letter unless the command takes it as a file.
  EXPECT_EQ(read_words(CommandLine({"cmd", "-", "in"})),
            std::string(" => 1\ncmd : Invalid option '") + '\0' + "'!\nUSAGE TEXT of cmd\n");
  // --version and --help, wherever they stand, come before any other argument's error.
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(read_words(CommandLine({"cmd", "-q", "-i", "9", "--version"})), " => 0\n");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), std::string("cmd (velk) ") + VELK_VERSION + "\n");
}

// The options of the table's kinds, each storing its value only when the value is good.
struct Settings {
  int64_t count = 7;
  int small = 3;
  double level = 0.5;
  const char* name = "none";
  bool quiet = false;
  int flip = 0;
};

commandsyntax typed_syntax(Settings* s, std::vector<std::string>* files) {
  commandsyntax x{"cmd", {"cmd", test_usage}};
  x.options = {
      helpoption("h"),
      integeroption("c", &s->count, -10, 10),
      joined(integeroption("s", &s->small, 1, 100, "Small must be at least 1!")),
      numberoption("v", &s->level, 0.0, 1.0),
      textoption("N", &s->name),
      flagoption("q", &s->quiet),
      toggleoption("f", &s->flip),
  };
  x.operand = [files](const char* arg) {
    files->push_back(arg);
    return true;
  };
  return x;
}

// Runs the typed syntax over the command line c, which outlives the values that point into it, as
// main's arguments do; the status, none when every argument was taken, and what went to standard
// error into *err.
commandend parse_typed(CommandLine& c, Settings* s, std::vector<std::string>* files, std::string* err) {
  const commandsyntax syntax = typed_syntax(s, files);
  ::testing::internal::CaptureStderr();
  const commandend end = parsecommandline(c.argc(), c.argv.data(), syntax);
  *err = ::testing::internal::GetCapturedStderr();
  return end;
}

TEST(Cmdline, TableOptionsStoreTheirValues) {
  Settings s;
  std::vector<std::string> files;
  std::string err;
  CommandLine line({"cmd", "a.f32", "-c", "-10", "-s42", "-v", "0.25", "-N", "x.png", "-q", "-f", "b", "-f",
                    "-f", "-s", "9"});
  EXPECT_EQ(parse_typed(line, &s, &files, &err), std::nullopt);
  EXPECT_EQ(err, "");
  EXPECT_EQ(s.count, -10);
  EXPECT_EQ(s.small, 9) << "the last of several values wins";
  EXPECT_EQ(s.level, 0.25);
  EXPECT_STREQ(s.name, "x.png");
  EXPECT_TRUE(s.quiet);
  EXPECT_EQ(s.flip, 1) << "three flips";
  EXPECT_EQ(files, (std::vector<std::string>{"a.f32", "b"}));

  // The letter picks the option and the rest of a plain option's argument is not its value.
  Settings t;
  files.clear();
  CommandLine words({"cmd", "-count", "4", "-quiet", "-s", "12"});
  EXPECT_EQ(parse_typed(words, &t, &files, &err), std::nullopt);
  EXPECT_EQ(t.count, 4);
  EXPECT_TRUE(t.quiet);
  EXPECT_EQ(t.small, 12);
  EXPECT_TRUE(files.empty());
}

TEST(Cmdline, TableOptionsRefuseBadValuesAndKeepTheOldOnes) {
  const struct {
    std::vector<std::string> words;
    int status;
    const char* message;
  } cases[] = {
      {{"cmd", "-c", "11"}, 1, "cmd : Value 11 for option '-c' is too large (at most 10)!\n"},
      {{"cmd", "-s0"}, 1, "cmd : Small must be at least 1!\n"},
      {{"cmd", "-s", "1.5"}, 1, "cmd : Invalid value '1.5' for option '-s'!\n"},
      {{"cmd", "-v", "nan"}, 1, "cmd : Invalid value 'nan' for option '-v'!\n"},
      {{"cmd", "-v", "-1"}, 1, "cmd : Value -1 for option '-v' is too small (at least 0)!\n"},
      {{"cmd", "-N"}, 1, "USAGE TEXT of cmd\n"},
      {{"cmd", "-s"}, 1, "USAGE TEXT of cmd\n"},
      {{"cmd", "in", "-hq", "-c", "99"}, 0, "USAGE TEXT of cmd\n"},
      {{"cmd", "-x", "-c", "99"}, 1, "cmd : Invalid option 'x'!\nUSAGE TEXT of cmd\n"},
  };
  for (const auto& c : cases) {
    Settings s;
    std::vector<std::string> files;
    std::string err;
    CommandLine line(c.words);
    EXPECT_EQ(parse_typed(line, &s, &files, &err), c.status) << c.words[1];
    EXPECT_EQ(err, c.message) << c.words[1];
    EXPECT_EQ(s.count, 7);
    EXPECT_EQ(s.small, 3);
    EXPECT_EQ(s.level, 0.5);
    EXPECT_STREQ(s.name, "none");
  }
}

// Whole-argument matching: spellings separated by '|', a spelling that ends in '*' matches every
// argument it begins, joined values are not split off, a lone "-" may be a file, and the
// command may take or refuse an argument it does not know its own way.
TEST(Cmdline, WholeArgumentsAliasesPrefixesAndUnknownArguments) {
  std::vector<std::string> prefixed;
  Settings s;
  const char* geometry = nullptr;
  std::vector<std::string> files;
  commandsyntax x{"cmd", {"cmd", test_usage}};
  x.match = MATCH_WHOLE;
  x.dashisoperand = true;
  x.options = {
      helpoption("h|?"),
      textoption("g|geometry", &geometry),
      toggleoption("rv|reverse", &s.flip),
      joined(integeroption("s", &s.small, 1, 100)),
      customoption("-*", [&prefixed](optionvalues* v) { prefixed.push_back(v->argument()); }),
  };
  x.operand = [&files](const char* arg) {
    files.push_back(arg);
    return files.size() < 3;
  };
  x.unknown = [&files](const char* arg) -> commandend {
    if (std::strcmp(arg, "-take") == 0) {
      files.push_back(std::string("taken ") + arg);
      return std::nullopt;
    }
    std::fprintf(stderr, "cmd : Unknown '%s'!\n", arg);
    return 2;
  };
  CommandLine good({"cmd", "-geometry", "9x9", "-rv", "-", "--size=3", "-reverse", "-take", "-s", "5", "--"});
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(parsecommandline(good.argc(), good.argv.data(), x), std::nullopt);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_STREQ(geometry, "9x9");
  EXPECT_EQ(s.flip, 0) << "flipped twice";
  EXPECT_EQ(s.small, 5);
  EXPECT_EQ(files, (std::vector<std::string>{"-", "taken -take"}));
  EXPECT_EQ(prefixed, (std::vector<std::string>{"--size=3", "--"}));

  // Not the letter alone: "-rvx" and "-s5" are no options of the table.
  for (const char* arg : {"-rvx", "-s5", "-g1"}) {
    CommandLine bad({"cmd", arg, "-h"});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(parsecommandline(bad.argc(), bad.argv.data(), x), 2) << arg;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string("cmd : Unknown '") + arg + "'!\n");
  }
  // A refused operand goes the way of an unknown argument.
  files.clear();
  CommandLine many({"cmd", "a", "b", "c", "-?"});
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(parsecommandline(many.argc(), many.argv.data(), x), 2);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "cmd : Unknown 'c'!\n");
  CommandLine help({"cmd", "-?", "-nothing"});
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(parsecommandline(help.argc(), help.argv.data(), x), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "USAGE TEXT of cmd\n");
}

TEST(Cmdline, SaturatingArithmetic) {
  const int64_t max = std::numeric_limits<int64_t>::max();
  const int64_t min = std::numeric_limits<int64_t>::min();
  EXPECT_EQ(saturatingmul(int64_t(1) << 40, 1000), int64_t(1000) << 40);
  EXPECT_EQ(saturatingmul(max / 2, 3), max);
  EXPECT_EQ(saturatingmul(max / 2, -3), min);
  EXPECT_EQ(saturatingadd(max, 1), max);
  EXPECT_EQ(saturatingadd(min, -1), min);
  EXPECT_EQ(saturatingadd(-5, 3), -2);
  EXPECT_EQ(saturatingsub(-1, min), max);
  EXPECT_EQ(saturatingsub(min, 1), min);
  EXPECT_EQ(saturatingsub(3, 5), -2);
}

}  // namespace

namespace {

TEST(Cmdline, IntegersParseWholeAndInsideTheirRange) {
  int64_t v = -7;
  EXPECT_EQ(parseinteger("42", 0, 100, &v), PARSE_OK);
  EXPECT_EQ(v, 42);
  EXPECT_EQ(parseinteger("+5", 0, 100, &v), PARSE_OK);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(parseinteger("-9223372036854775808", INT64_MIN, 0, &v), PARSE_OK);
  EXPECT_EQ(v, INT64_MIN);
  v = -7;
  for (const char* text : {"", "abc", "1e3", "3.5", "8x0", " 4", "4 ", "0x10", "-"})
    EXPECT_EQ(parseinteger(text, INT64_MIN, INT64_MAX, &v), PARSE_NOTANUMBER) << text;
  EXPECT_EQ(parseinteger("101", 0, 100, &v), PARSE_TOOLARGE);
  EXPECT_EQ(parseinteger("-1", 0, 100, &v), PARSE_TOOSMALL);
  EXPECT_EQ(parseinteger("9223372036854775808", INT64_MIN, INT64_MAX, &v), PARSE_TOOLARGE);
  EXPECT_EQ(parseinteger("-99999999999999999999", INT64_MIN, INT64_MAX, &v), PARSE_TOOSMALL);
  EXPECT_EQ(v, -7) << "a refused value is not stored";
}

TEST(Cmdline, NumbersParseWholeAndFinite) {
  double v = -7.0;
  EXPECT_EQ(parsenumber("1e3", -1e9, 1e9, &v), PARSE_OK);
  EXPECT_EQ(v, 1000.0);
  EXPECT_EQ(parsenumber("-0.25", -1.0, 1.0, &v), PARSE_OK);
  EXPECT_EQ(v, -0.25);
  v = -7.0;
  for (const char* text : {"", "nan", "-nan", "ok.f32", "1.5.2", " 1", "16k"})
    EXPECT_EQ(parsenumber(text, -1e300, 1e300, &v), PARSE_NOTANUMBER) << text;
  EXPECT_EQ(parsenumber("inf", -1e300, 1e300, &v), PARSE_TOOLARGE);
  EXPECT_EQ(parsenumber("-1e309", -1e300, 1e300, &v), PARSE_TOOSMALL);
  EXPECT_EQ(parsenumber("0.0005", 0.001, 1.0, &v), PARSE_TOOSMALL);
  EXPECT_EQ(v, -7.0);
}

// The commands' wrappers of the stream routines print the messages the routines do not.
TEST(Cmdline, OpenStreamNamesTheFileItCannotOpen) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(openstream("/nonexistent/dir/no-such-file.raw", "rb"), nullptr);
  EXPECT_EQ(openstream("/", "rb"), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Cannot open file /nonexistent/dir/no-such-file.raw!\nCannot open file /!\n");
  FILE* fp = openstream("/dev/null", "rb");
  ASSERT_NE(fp, nullptr);
  std::fclose(fp);
}

// --help and --version end the command with status 0, their texts on standard output, before
// any other argument is read.
TEST(Cmdline, ParserTakesTheStandardOptions) {
  commandsyntax syntax{"lagcorr", {"lagcorr2", test_usage}};
  syntax.options = {helpoption("h")};
  syntax.operand = [](const char*) { return true; };
  CommandLine help({"/opt/tools/lagcorr2", "-q", "--help"});
  ::testing::internal::CaptureStdout();
  const int saved = dup(STDERR_FILENO);  // --help joins standard error to standard output
  const commandend end = parsecommandline(help.argc(), help.argv.data(), syntax);
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "USAGE TEXT of lagcorr2\n");
  EXPECT_EQ(end, 0);

  CommandLine version({"snr", "-l", "--version", "--help"});
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(parsecommandline(version.argc(), version.argv.data(), syntax), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), std::string("lagcorr (velk) ") + VELK_VERSION + "\n");
}

TEST(Cmdline, InputsAreTheNamedFileOrStandardInput) {
  EXPECT_EQ(openinput(nullptr), stdin);
  EXPECT_STREQ(inputname(nullptr), "standard input");
  EXPECT_STREQ(inputname("in.f32"), "in.f32");
  char path[] = "/tmp/cmdline_input_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "RIFF\x24\0\0\0WAVEfmt ", 16), 16);
  close(fd);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(openinput("/nonexistent/in.f32"), nullptr);
  EXPECT_EQ(openfloatinput("cmd", "/nonexistent/in.f32"), nullptr);
  EXPECT_EQ(openfloatinput("cmd", path), nullptr);
  const std::string p(path);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Cannot open file /nonexistent/in.f32!\nCannot open file /nonexistent/in.f32!\ncmd : " + p +
                " is a RIFF/WAVE file; cmd reads headerless little-endian 32-bit floats (convert it first, "
                "e.g. sox " +
                p + " -t f32 " + p + ".f32)!\n");
  // A file of floats opens, and its first bytes are still there to read.
  FILE* out = std::fopen(path, "wb");
  ASSERT_NE(out, nullptr);
  const float one = 1.0f;
  std::fwrite(&one, sizeof one, 1, out);
  std::fclose(out);
  FILE* in = openfloatinput("cmd", path);
  ASSERT_NE(in, nullptr);
  float read = 0;
  EXPECT_EQ(std::fread(&read, sizeof read, 1, in), 1u);
  EXPECT_EQ(read, 1.0f);
  std::fclose(in);
  std::remove(path);
}

TEST(CmdlineDeathTest, FinishStreamGivesTheStatusOfTheOutput) {
  EXPECT_EXIT(std::exit(finishstream("cmd", stdin) + 5), ::testing::ExitedWithCode(5), "^$");
  EXPECT_EXIT(
      {
        if (std::freopen("/dev/full", "w", stdout) == nullptr) std::exit(9);
        std::fputs("lost", stdout);
        std::exit(finishstream("cmd", std::fopen("/dev/null", "rb")) + 5);
      },
      ::testing::ExitedWithCode(6), "^cmd : Cannot write the output!\n$");
}

TEST(Cmdline, DoubleArraySaysWhenMemoryIsShort) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(doublearray(LONG_MAX / 4), nullptr);
  // The message is the last line (a sanitizer's allocator may warn before it).
  const std::string err = ::testing::internal::GetCapturedStderr(), message = "Cannot allocate memory!\n";
  ASSERT_GE(err.size(), message.size());
  EXPECT_EQ(err.substr(err.size() - message.size()), message);
  double* p = doublearray(3);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[2], 0.0);
  std::free(p);
}

}  // namespace
