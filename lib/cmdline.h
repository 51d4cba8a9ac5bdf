// Command-line helpers shared by the toolkit's stream commands.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>

// getfp for a command: when the file cannot be opened prints "Cannot open file <name>!" on
// standard error and returns null; the command then exits with status 1.
FILE* open_stream(const char* name, const char* mode);

// dgetmem for a command: when the memory cannot be had prints "Cannot allocate memory!" on
// standard error and returns null; the command then exits with status 3.
double* double_array(long n);

// The program path after its last '/'.
const char* command_name(const char* path);

// The lines every toolkit usage text starts with: a blank line, " <cmnd> - <title>", a blank line,
// "  usage:" and the synopsis "       <cmnd> <arguments>".
void print_usage_head(FILE* fp, const char* cmnd, const char* title, const char* arguments);

// The lines every toolkit usage text ends with: a blank line, the version and the revision.
void print_version_footer(FILE* fp);

// The exit status a command-line step ends the command with, or none when the command goes on.
using CommandEnd = std::optional<int>;

// A command's usage routine: prints the usage text of the command `cmnd` on standard error.
using UsageFn = void (*)(const char* cmnd);

// A toolkit command, owned by its main: the name its messages give it (the program path after
// its last '/') and its usage routine.
struct Command {
  const char* name = nullptr;
  UsageFn usage = nullptr;
};

// The options every program takes, wherever they stand among its arguments: `--help` calls
// `help` with standard error joined to standard output (the usage texts go to standard error),
// then ends the command with status 0; `--version` prints "<name> (velk) <version>" on standard
// output and ends it with status 0 (1 when either cannot be written). None when neither is given.
CommandEnd standard_options(int argc, char** argv, const char* name, const std::function<void()>& help);

// The start of a toolkit command: the command of argv[0] with its usage routine, then the
// options every program takes (standard_options, under `name`, printing the usage text for
// --help). *command is set before the usage text can be printed.
CommandEnd start_command(int argc, char** argv, const char* name, UsageFn usage, Command* command);

// Prints "<cmnd> : Invalid option '<c>'!" on standard error; the command then prints its usage
// text and ends with status 1.
void invalid_option(const char* cmnd, char c);

// The argument after argv[*i], advancing *i to it; nullptr (and *i unchanged) when there is none.
const char* next_argument(int argc, char** argv, int* i);

// How an option value parsed: the whole text a number of its kind inside the range, or why not.
enum class ParseResult { kOk, kNotANumber, kTooSmall, kTooLarge };

// Parses the whole of `text` as a decimal integer (an optional sign and digits, nothing before
// or after) that lies in [lo, hi]; *value receives it only when the result is kOk. A number
// beyond the int64_t range is too small or too large, not "not a number".
ParseResult parse_integer(const char* text, int64_t lo, int64_t hi, int64_t* value);

// Parses the whole of `text` as a finite decimal number (strtod syntax, no leading blank) in
// [lo, hi]; *value receives it only when the result is kOk. "nan" is not a number; "inf" and
// numbers that overflow a double are too large or too small.
ParseResult parse_number(const char* text, double lo, double hi, double* value);

// Parses the value `text` of option -<option> of command `cmnd` as an integer in [lo, hi]. On
// failure prints one line on standard error and returns false (the command then exits with
// status 1): "<cmnd> : Invalid value '<text>' for option '-<option>'!" for a text that is not
// an integer, "<cmnd> : Value <text> for option '-<option>' is too large (at most <hi>)!" above
// hi, and below lo "<cmnd> : <below>" when `below` is given, else "... is too small (at least
// <lo>)!".
bool integer_option(const char* cmnd, char option, const char* text, int64_t lo, int64_t hi,
                    const char* below, int64_t* value);

// The same for a finite number in [lo, hi] (the bounds printed with %g).
bool number_option(const char* cmnd, char option, const char* text, double lo, double hi, const char* below,
                   double* value);

// One option of a toolkit command as read_arguments hands it over: its letter, and its values
// taken from the arguments that follow it. A missing value prints the usage text and a value that
// is not a number of the range asked for the message of integer_option or number_option (`below`
// as there); either ends the command with status 1 (ended()), and every later request for a
// value of the option is then answered without a word (an empty text, the lower bound).
class OptionValues {
 public:
  OptionValues(const Command& command, int argc, char** argv, int* i);
  // The letter after the '-'.
  char letter() const { return option_[1]; }
  // What follows the letter in the option's own argument ("512" of "-l512"), empty when nothing does.
  const char* attached() const { return option_ + 2; }
  // The next argument, the option's next value.
  const char* text();
  // `text` as an integer, or as a finite number, in [lo, hi].
  int64_t integer(const char* text, int64_t lo, int64_t hi, const char* below = nullptr);
  double number(const char* text, double lo, double hi, const char* below = nullptr);
  // The next argument as an integer, or as a finite number, in [lo, hi].
  int64_t next_integer(int64_t lo, int64_t hi, const char* below = nullptr);
  double next_number(double lo, double hi, const char* below = nullptr);
  // Ends the command with status 1 after a message the caller printed about the option.
  void refuse();
  // The exit status the option's values ended the command with, none while they are good.
  CommandEnd ended() const { return end_; }

 private:
  const Command& command_;
  int argc_;
  char** argv_;
  int* i_;              // the argument read last: the option's, then its last value's
  const char* option_;  // the option's own argument
  CommandEnd end_;
};

// Reads the arguments of a toolkit command in order. An argument that starts with '-' is an
// option: -h prints the usage text (status 0); any other goes to `option`, which takes its
// values and returns false for a letter the command does not know (invalid_option, the usage
// text, status 1). Every other argument goes to `operand`, which returns false for one the
// command does not take (invalid_option with its second character, as for an option). Returns
// the status the command ends with, none when every argument was taken.
CommandEnd read_arguments(const Command& command, int argc, char** argv,
                          const std::function<bool(OptionValues*)>& option,
                          const std::function<bool(const char*)>& operand);

// a·b, a + b and a − b clamped to the int64_t range instead of overflowing.
int64_t saturating_mul(int64_t a, int64_t b);
int64_t saturating_add(int64_t a, int64_t b);
int64_t saturating_sub(int64_t a, int64_t b);

// For the commands that read raw floats: when fp starts with a RIFF/WAVE header, prints
// "<cmnd> : <name> is a RIFF/WAVE file; <cmnd> reads headerless little-endian 32-bit floats
// (convert it first, e.g. sox <name> -t f32 <name>.f32)!" on standard error and returns true;
// the command then exits with status 1.
bool refuse_wave_input(const char* cmnd, FILE* fp, const char* name);

// Flushes fp, a command's output, and tells whether every write to it went through. When one
// failed (a full disk, a closed device, a file-size limit), prints "<cmnd> : Cannot write the
// output!" on standard error and returns false; the command then exits with status 1.
bool output_complete(const char* cmnd, FILE* fp);

// The input stream of a command: the named file, or standard input when `name` is null; null
// after open_stream's message when the file cannot be opened.
FILE* open_input(const char* name);

// The name a command's messages give its input: the file's, or "standard input" when `name` is
// null.
const char* input_name(const char* name);

// open_input for the commands that read raw floats: null also after refuse_wave_input's message
// when the stream starts with a RIFF/WAVE header. The command then exits with status 1.
FILE* open_float_input(const char* cmnd, const char* name);

// The end of a command that copies its input to its standard output: closes the input (unless
// it is standard input) and returns the exit status, 0 when every write went through, else 1
// after output_complete's message.
int finish_stream(const char* cmnd, FILE* in);
