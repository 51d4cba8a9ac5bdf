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

// The test of short memory asks for more than the sanitizers' allocator hands out: it is to
// return null, as the standard allocator does, instead of ending the test.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}

namespace {

void test_usage(int status) {
  std::fprintf(stderr, "USAGE TEXT\n");
  std::exit(status);
}

TEST(Cmdline, CommandNameIsThePathAfterTheLastSlash) {
  EXPECT_STREQ(command_name("/usr/local/bin/recslice"), "recslice");
  EXPECT_STREQ(command_name("./snr"), "snr");
  EXPECT_STREQ(command_name("biquad"), "biquad");
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
  EXPECT_EQ(printed([](FILE* fp) { print_usage_head(fp, "snr", "evaluate SNR", "[ options ] file1"); }),
            "\n snr - evaluate SNR\n\n  usage:\n       snr [ options ] file1\n");
  EXPECT_EQ(printed(print_version_footer), "\n ZEVK: version 3.11\n CVS Info: $Id$\n");
}

TEST(Cmdline, NextArgumentStopsAtTheEnd) {
  char a0[] = "cmd", a1[] = "-l", a2[] = "12";
  char* argv[] = {a0, a1, a2};
  int i = 1;
  EXPECT_STREQ(next_argument(3, argv, &i), "12");
  EXPECT_EQ(i, 2);
  EXPECT_EQ(next_argument(3, argv, &i), nullptr);
  EXPECT_EQ(i, 2);
}

TEST(CmdlineDeathTest, InvalidOptionNamesTheLetterThenPrintsUsage) {
  EXPECT_EXIT(invalid_option("cmd", 'x', test_usage), ::testing::ExitedWithCode(1),
              "^cmd : Invalid option 'x'!\nUSAGE TEXT\n$");
}

TEST(CmdlineDeathTest, OptionArgumentMissingPrintsUsage) {
  char a0[] = "cmd", a1[] = "-l";
  char* argv[] = {a0, a1};
  int i = 1;
  EXPECT_EXIT(option_argument(2, argv, &i, test_usage), ::testing::ExitedWithCode(1), "^USAGE TEXT\n$");
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

// What read_arguments handed over, in order: "operand", "-<letter>" and the values taken.
std::string read_words(CommandLine c) {
  std::string seen;
  const auto option = [&seen](OptionValues* v) {
    seen += std::string(" -") + v->letter();
    switch (v->letter()) {
      case 'a':
        seen += std::string(" [") + v->attached() + "]";
        return true;
      case 'i':
        seen += " " + std::to_string(v->next_integer(-5, 5, "Too small!"));
        return true;
      case 'n':
        seen += " " + std::to_string(v->next_number(0.5, 1e3));
        seen += " " + std::to_string(v->next_number(0.5, 1e3));
        return true;
      case 't':
        seen += std::string(" ") + v->text();
        return true;
      default:
        return false;
    }
  };
  read_arguments("cmd", c.argc(), c.argv.data(), test_usage, option,
                 [&seen](const char* arg) { seen += std::string(" ") + arg; });
  return seen;
}

TEST(Cmdline, ReadArgumentsHandsOverOptionsValuesAndOperands) {
  EXPECT_EQ(
      read_words(CommandLine({"cmd", "in", "-i", "-5", "-n", "2", "1e2", "-a12", "-t", "-x", "+f", "-a"})),
      " in -i -5 -n 2.000000 100.000000 -a [12] -t -x +f -a []");
  EXPECT_EQ(read_words(CommandLine({"cmd"})), "");
}

TEST(CmdlineDeathTest, ReadArgumentsEndsTheCommandAsTheToolkitDoes) {
  EXPECT_EXIT(read_words(CommandLine({"cmd", "x", "-h", "-q"})), ::testing::ExitedWithCode(0),
              "^USAGE TEXT\n$");
  EXPECT_EXIT(read_words(CommandLine({"cmd", "-q", "-h"})), ::testing::ExitedWithCode(1),
              "^cmd : Invalid option 'q'!\nUSAGE TEXT\n$");
  EXPECT_EXIT(read_words(CommandLine({"cmd", "-i"})), ::testing::ExitedWithCode(1), "^USAGE TEXT\n$");
  EXPECT_EXIT(read_words(CommandLine({"cmd", "-n", "1"})), ::testing::ExitedWithCode(1), "^USAGE TEXT\n$");
  EXPECT_EXIT(read_words(CommandLine({"cmd", "-i", "6"})), ::testing::ExitedWithCode(1),
              "^cmd : Value 6 for option '-i' is too large \\(at most 5\\)!\n$");
  EXPECT_EXIT(read_words(CommandLine({"cmd", "-i", "-6"})), ::testing::ExitedWithCode(1),
              "^cmd : Too small!\n$");
  EXPECT_EXIT(read_words(CommandLine({"cmd", "-n", "1", "x"})), ::testing::ExitedWithCode(1),
              "^cmd : Invalid value 'x' for option '-n'!\n$");
  EXPECT_EXIT(read_words(CommandLine({"cmd", "-n", "0.1", "1"})), ::testing::ExitedWithCode(1),
              "^cmd : Value 0.1 for option '-n' is too small \\(at least 0.5\\)!\n$");
}

TEST(Cmdline, SaturatingArithmetic) {
  const int64_t max = std::numeric_limits<int64_t>::max();
  const int64_t min = std::numeric_limits<int64_t>::min();
  EXPECT_EQ(saturating_mul(int64_t(1) << 40, 1000), int64_t(1000) << 40);
  EXPECT_EQ(saturating_mul(max / 2, 3), max);
  EXPECT_EQ(saturating_mul(max / 2, -3), min);
  EXPECT_EQ(saturating_add(max, 1), max);
  EXPECT_EQ(saturating_add(min, -1), min);
  EXPECT_EQ(saturating_add(-5, 3), -2);
  EXPECT_EQ(saturating_sub(-1, min), max);
  EXPECT_EQ(saturating_sub(min, 1), min);
  EXPECT_EQ(saturating_sub(3, 5), -2);
}

}  // namespace

namespace {

TEST(Cmdline, IntegersParseWholeAndInsideTheirRange) {
  int64_t v = -7;
  EXPECT_EQ(parse_integer("42", 0, 100, &v), ParseResult::kOk);
  EXPECT_EQ(v, 42);
  EXPECT_EQ(parse_integer("+5", 0, 100, &v), ParseResult::kOk);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(parse_integer("-9223372036854775808", INT64_MIN, 0, &v), ParseResult::kOk);
  EXPECT_EQ(v, INT64_MIN);
  v = -7;
  for (const char* text : {"", "abc", "1e3", "3.5", "8x0", " 4", "4 ", "0x10", "-"})
    EXPECT_EQ(parse_integer(text, INT64_MIN, INT64_MAX, &v), ParseResult::kNotANumber) << text;
  EXPECT_EQ(parse_integer("101", 0, 100, &v), ParseResult::kTooLarge);
  EXPECT_EQ(parse_integer("-1", 0, 100, &v), ParseResult::kTooSmall);
  EXPECT_EQ(parse_integer("9223372036854775808", INT64_MIN, INT64_MAX, &v), ParseResult::kTooLarge);
  EXPECT_EQ(parse_integer("-99999999999999999999", INT64_MIN, INT64_MAX, &v), ParseResult::kTooSmall);
  EXPECT_EQ(v, -7) << "a refused value is not stored";
}

TEST(Cmdline, NumbersParseWholeAndFinite) {
  double v = -7.0;
  EXPECT_EQ(parse_number("1e3", -1e9, 1e9, &v), ParseResult::kOk);
  EXPECT_EQ(v, 1000.0);
  EXPECT_EQ(parse_number("-0.25", -1.0, 1.0, &v), ParseResult::kOk);
  EXPECT_EQ(v, -0.25);
  v = -7.0;
  for (const char* text : {"", "nan", "-nan", "ok.f32", "1.5.2", " 1", "16k"})
    EXPECT_EQ(parse_number(text, -1e300, 1e300, &v), ParseResult::kNotANumber) << text;
  EXPECT_EQ(parse_number("inf", -1e300, 1e300, &v), ParseResult::kTooLarge);
  EXPECT_EQ(parse_number("-1e309", -1e300, 1e300, &v), ParseResult::kTooSmall);
  EXPECT_EQ(parse_number("0.0005", 0.001, 1.0, &v), ParseResult::kTooSmall);
  EXPECT_EQ(v, -7.0);
}

// The commands' wrappers of the stream routines print the messages the routines do not.
TEST(Cmdline, OpenStreamNamesTheFileItCannotOpen) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(open_stream("/nonexistent/dir/no-such-file.raw", "rb"), nullptr);
  EXPECT_EQ(open_stream("/", "rb"), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Cannot open file /nonexistent/dir/no-such-file.raw!\nCannot open file /!\n");
  FILE* fp = open_stream("/dev/null", "rb");
  ASSERT_NE(fp, nullptr);
  std::fclose(fp);
}

// The help text of a command may print its name: the name is set before the help runs.
TEST(CmdlineDeathTest, StartCommandNamesTheCommandFromItsPath) {
  static const char* name = "unset";
  CommandLine plain({"./bin/snr", "-l", "5"});
  start_command(plain.argc(), plain.argv.data(), "snr", &name, [] { std::exit(9); });
  EXPECT_STREQ(name, "snr");
  CommandLine help({"/opt/tools/lagcorr2", "in.f32", "--help"});
  EXPECT_EXIT(start_command(help.argc(), help.argv.data(), "lagcorr", &name,
                            [] { std::exit(std::strcmp(name, "lagcorr2") == 0 ? 7 : 8); }),
              ::testing::ExitedWithCode(7), "");
}

TEST(Cmdline, InputsAreTheNamedFileOrStandardInput) {
  EXPECT_EQ(open_input(nullptr), stdin);
  EXPECT_STREQ(input_name(nullptr), "standard input");
  EXPECT_STREQ(input_name("in.f32"), "in.f32");
  char path[] = "/tmp/cmdline_input_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "RIFF\x24\0\0\0WAVEfmt ", 16), 16);
  close(fd);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(open_input("/nonexistent/in.f32"), nullptr);
  EXPECT_EQ(open_float_input("cmd", "/nonexistent/in.f32"), nullptr);
  EXPECT_EQ(open_float_input("cmd", path), nullptr);
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
  FILE* in = open_float_input("cmd", path);
  ASSERT_NE(in, nullptr);
  float read = 0;
  EXPECT_EQ(std::fread(&read, sizeof read, 1, in), 1u);
  EXPECT_EQ(read, 1.0f);
  std::fclose(in);
  std::remove(path);
}

TEST(CmdlineDeathTest, FinishStreamGivesTheStatusOfTheOutput) {
  EXPECT_EXIT(std::exit(finish_stream("cmd", stdin) + 5), ::testing::ExitedWithCode(5), "^$");
  EXPECT_EXIT(
      {
        if (std::freopen("/dev/full", "w", stdout) == nullptr) std::exit(9);
        std::fputs("lost", stdout);
        std::exit(finish_stream("cmd", std::fopen("/dev/null", "rb")) + 5);
      },
      ::testing::ExitedWithCode(6), "^cmd : Cannot write the output!\n$");
}

TEST(Cmdline, DoubleArraySaysWhenMemoryIsShort) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(double_array(LONG_MAX / 4), nullptr);
  // The message is the last line (a sanitizer's allocator may warn before it).
  const std::string err = ::testing::internal::GetCapturedStderr(), message = "Cannot allocate memory!\n";
  ASSERT_GE(err.size(), message.size());
  EXPECT_EQ(err.substr(err.size() - message.size()), message);
  double* p = double_array(3);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[2], 0.0);
  std::free(p);
}

}  // namespace
