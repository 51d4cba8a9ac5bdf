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

void test_usage(const char* cmnd) {
  std::fprintf(stderr, "USAGE TEXT of %s\n", cmnd);
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

TEST(Cmdline, InvalidOptionNamesTheLetter) {
  ::testing::internal::CaptureStderr();
  invalid_option("cmd", 'x');
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

// What read_arguments handed over, in order: "operand", "-<letter>" and the values taken; then
// " => <status>" when the command ends, and what it printed on standard error.
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
      case 'r':
        std::fprintf(stderr, "cmd : No -r here!\n");
        v->refuse();
        return true;
      default:
        return false;
    }
  };
  const auto operand = [&seen](const char* arg) {
    seen += std::string(" ") + arg;
    return arg[0] != '+' || arg[1] == 'f';
  };
  const Command command{"cmd", test_usage};
  ::testing::internal::CaptureStderr();
  const CommandEnd end = read_arguments(command, c.argc(), c.argv.data(), option, operand);
  const std::string err = ::testing::internal::GetCapturedStderr();
  if (end) seen += " => " + std::to_string(*end) + "\n" + err;
  return seen;
}

TEST(Cmdline, ReadArgumentsHandsOverOptionsValuesAndOperands) {
  EXPECT_EQ(
      read_words(CommandLine({"cmd", "in", "-i", "-5", "-n", "2", "1e2", "-a12", "-t", "-x", "+f", "-a"})),
      " in -i -5 -n 2.000000 100.000000 -a [12] -t -x +f -a []");
  EXPECT_EQ(read_words(CommandLine({"cmd"})), "");
}

// Reading stops at the argument that ends the command, with the status and the messages the
// toolkit gives; nothing after it is handed over.
TEST(Cmdline, ReadArgumentsEndsTheCommandAsTheToolkitDoes) {
  EXPECT_EQ(read_words(CommandLine({"cmd", "x", "-h", "-q"})), " x => 0\nUSAGE TEXT of cmd\n");
  EXPECT_EQ(read_words(CommandLine({"cmd", "-q", "-h"})),
            " -q => 1\ncmd : Invalid option 'q'!\nUSAGE TEXT of cmd\n");
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

// The command is named from its path before the help text, which may print the name, runs;
// --help and --version end it with status 0, their texts on standard output.
TEST(Cmdline, StartCommandNamesTheCommandAndTakesTheStandardOptions) {
  Command command;
  CommandLine plain({"./bin/snr", "-l", "5"});
  EXPECT_EQ(start_command(plain.argc(), plain.argv.data(), "snr", test_usage, &command), std::nullopt);
  EXPECT_STREQ(command.name, "snr");
  EXPECT_EQ(command.usage, test_usage);

  CommandLine help({"/opt/tools/lagcorr2", "in.f32", "--help"});
  ::testing::internal::CaptureStdout();
  const int saved = dup(STDERR_FILENO);  // --help joins standard error to standard output
  const CommandEnd end = start_command(help.argc(), help.argv.data(), "lagcorr", test_usage, &command);
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "USAGE TEXT of lagcorr2\n");
  EXPECT_EQ(end, 0);

  CommandLine version({"snr", "-l", "--version", "--help"});
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(start_command(version.argc(), version.argv.data(), "snr", test_usage, &command), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), std::string("snr (velk) ") + VELK_VERSION + "\n");
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
