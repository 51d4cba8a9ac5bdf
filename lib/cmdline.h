// The command line of the toolkit programs: the one option parser of pitch, graph, plotview,
// velkplot and the stream commands (a table of options per program), the options every program
// takes, the parsers of option values, and the input, output and messages the stream commands
// share, on the stream routines of streamio.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace velk {

// getfp for a command: when the file cannot be opened prints "Cannot open file <name>!" on
// standard error and returns null; the command then exits with status 1.
FILE* openstream(const char* name, const char* mode);

// dgetmem for a command: when the memory cannot be had prints "Cannot allocate memory!" on
// standard error and returns null; the command then exits with status 3.
double* doublearray(long n);

// The program path after its last '/'.
const char* commandname(const char* path);

// The lines every toolkit usage text starts with: a blank line, " <cmnd> - <title>", a blank line,
// "  usage:" and the synopsis "       <cmnd> <arguments>".
void printusagehead(FILE* fp, const char* cmnd, const char* title, const char* arguments);

// The lines every toolkit usage text ends with: a blank line, the version and the revision.
void printversionfooter(FILE* fp);

// The exit status a command-line step ends the command with, or none when the command goes on.
using commandend = std::optional<int>;

// A command's usage routine: prints the usage text of the command `cmnd` on standard error.
using usageroutine = void (*)(const char* cmnd);

// A toolkit command, owned by its main: the name its messages give it (the program path after
// its last '/') and its usage routine.
struct commandinfo {
  const char* name = nullptr;
  usageroutine usage = nullptr;
};

// The options every program takes, wherever they stand among its arguments: `--help` calls
// `help` with standard error joined to standard output (the usage texts go to standard error),
// then ends the command with status 0; `--version` prints "<name> (velk) <version>" on standard
// output and ends it with status 0 (1 when either cannot be written). None when neither is given.
commandend standardoptions(int argc, char** argv, const char* name, const std::function<void()>& help);

// Prints "<cmnd> : Invalid option '<c>'!" on standard error; the command then prints its usage
// text and ends with status 1.
void invalidoption(const char* cmnd, char c);

// How an option value parsed: the whole text a number of its kind inside the range, or why not.
enum parseresult { PARSE_OK, PARSE_NOTANUMBER, PARSE_TOOSMALL, PARSE_TOOLARGE };

// Parses the whole of `text` as a decimal integer (an optional sign and digits, nothing before
// or after) that lies in [lo, hi]; *value receives it only when the result is PARSE_OK. A number
// beyond the int64_t range is too small or too large, not "not a number".
parseresult parseinteger(const char* text, int64_t lo, int64_t hi, int64_t* value);

// Parses the whole of `text` as a finite decimal number (strtod syntax, no leading blank) in
// [lo, hi]; *value receives it only when the result is PARSE_OK. "nan" is not a number; "inf" and
// numbers that overflow a double are too large or too small.
parseresult parsenumber(const char* text, double lo, double hi, double* value);

// Parses the value `text` of option -<option> of command `cmnd` as an integer in [lo, hi]. On
// failure prints one line on standard error and returns false (the command then exits with
// status 1): "<cmnd> : Invalid value '<text>' for option '-<option>'!" for a text that is not
// an integer, "<cmnd> : Value <text> for option '-<option>' is too large (at most <hi>)!" above
// hi, and below lo "<cmnd> : <below>" when `below` is given, else "... is too small (at least
// <lo>)!".
bool integervalue(const char* cmnd, char option, const char* text, int64_t lo, int64_t hi, const char* below,
                  int64_t* value);

// The same for a finite number in [lo, hi] (the bounds printed with %g).
bool numbervalue(const char* cmnd, char option, const char* text, double lo, double hi, const char* below,
                 double* value);

// The option parser of the toolkit programs. A program declares its options in a table of
// commandoption (the spellings of each, and how it takes its values and where they go) and hands
// its arguments to parsecommandline, which walks them in order and leaves the operands, the
// arguments that are not options, to the program.

// How the arguments name the options of a table: by the letter after the '-' (the rest of the
// argument is ignored, or is the value of a joined option), or by the whole argument after the
// '-' ("-rv", "-geometry").
enum optionmatch { MATCH_LETTER, MATCH_WHOLE };

// The values of one option as its rule takes them: the option's own argument, then the arguments
// that follow it. A missing value prints the usage text and a value that is not a number of the
// range asked for the message of integervalue or numbervalue (`below` as there); either ends
// the command with status 1 (ended()), and every later request for a value of the option is then
// answered without a word (an empty text, the lower bound).
class optionvalues {
 public:
  optionvalues(const commandinfo& command, int argc, char** argv, int* i, bool joined);
  // The option's own argument, and the letter after its '-'.
  const char* argument() const { return option_; }
  char letter() const { return option_[1]; }
  // The next value: for a joined option the rest of its own argument when there is one ("512" of
  // "-l512"), else the next argument.
  const char* text();
  // The next argument, or null without a word when there is none.
  const char* nextargument();
  // `text` as an integer, or as a finite number, in [lo, hi].
  int64_t integer(const char* text, int64_t lo, int64_t hi, const char* below = nullptr);
  double number(const char* text, double lo, double hi, const char* below = nullptr);
  // The next value as an integer, or as a finite number, in [lo, hi].
  int64_t nextinteger(int64_t lo, int64_t hi, const char* below = nullptr);
  double nextnumber(double lo, double hi, const char* below = nullptr);
  // Ends the command with status 1 after a message the caller printed about the option.
  void refuse();
  // Ends the command with the usage text and `status`.
  void endwithusage(int status);
  // The exit status the option's values ended the command with, none while they are good.
  commandend ended() const { return end_; }

 private:
  const commandinfo& command_;
  int argc_;
  char** argv_;
  int* i_;              // the argument read last: the option's, then its last value's
  const char* option_;  // the option's own argument
  bool joined_;         // the rest of the option's argument is still to be taken as a value
  commandend end_;
};

// One option of a command's table: its spellings after the '-', separated by '|' ("g|geometry";
// one that ends in '*' matches every argument that starts with the text before it), and how it
// takes its values. A joined option (letter match) takes the rest of its own argument as its
// first value when there is one.
struct commandoption {
  const char* names;
  std::function<void(optionvalues*)> take;
  bool joined = false;
};

// -h and the like: the usage text, then the end of the command with status 0.
commandoption helpoption(const char* names);
// An option without a value that sets *to; one that flips *to (0 or 1) each time it is given.
commandoption flagoption(const char* names, bool* to);
commandoption toggleoption(const char* names, int* to);
// An option whose value is the next argument, as it stands.
commandoption textoption(const char* names, const char** to);
// An option whose value is an integer, or a finite number, in [lo, hi] (messages as
// optionvalues::integer and optionvalues::number say).
commandoption integeroption(const char* names, int64_t* to, int64_t lo, int64_t hi,
                            const char* below = nullptr);
commandoption integeroption(const char* names, int* to, int64_t lo, int64_t hi, const char* below = nullptr);
commandoption numberoption(const char* names, double* to, double lo, double hi, const char* below = nullptr);
// An option that takes its values its own way.
commandoption customoption(const char* names, std::function<void(optionvalues*)> take);
// The rule made joined.
commandoption joined(commandoption rule);

// The arguments a command takes.
struct commandsyntax {
  commandsyntax(const char* program_, commandinfo command_) : program(program_), command(command_) {}
  const char* program;  // the name --version prints
  commandinfo command;  // the name the messages give the command, and its usage routine
  std::vector<commandoption> options;
  optionmatch match = MATCH_LETTER;
  // A lone "-" is an operand (standard input, or a file so named), not an option.
  bool dashisoperand = false;
  // Takes an operand; false refuses it as an argument the command does not know.
  std::function<bool(const char*)> operand;
  // An argument that starts with '-' and is no option of the table, or a refused operand: ends
  // the command with the status returned, or takes the argument when none is. Unset, it prints
  // "<cmnd> : Invalid option '<c>'!" with the argument's second character, then the usage text,
  // and ends the command with status 1.
  std::function<commandend(const char*)> unknown;
};

// Reads the arguments of a command: first the options every program takes (standardoptions,
// printing the usage text for --help), then every argument in order. An argument that starts
// with '-' (except a lone "-" when dashisoperand) and matches a rule of the table is that option,
// and the rule takes its values; any other goes to `operand`. Returns the status the command ends
// with, none when every argument was taken.
commandend parsecommandline(int argc, char** argv, const commandsyntax& syntax);

// a·b, a + b and a − b clamped to the int64_t range instead of overflowing.
int64_t saturatingmul(int64_t a, int64_t b);
int64_t saturatingadd(int64_t a, int64_t b);
int64_t saturatingsub(int64_t a, int64_t b);

// For the commands that read raw floats: when fp starts with a RIFF/WAVE header, prints
// "<cmnd> : <name> is a RIFF/WAVE file; <cmnd> reads headerless little-endian 32-bit floats
// (convert it first, e.g. sox <name> -t f32 <name>.f32)!" on standard error and returns true;
// the command then exits with status 1.
bool refusewaveinput(const char* cmnd, FILE* fp, const char* name);

// Flushes fp, a command's output, and tells whether every write to it went through. When one
// failed (a full disk, a closed device, a file-size limit), prints "<cmnd> : Cannot write the
// output!" on standard error and returns false; the command then exits with status 1.
bool outputcomplete(const char* cmnd, FILE* fp);

// The input stream of a command: the named file, or standard input when `name` is null; null
// after openstream's message when the file cannot be opened.
FILE* openinput(const char* name);

// The name a command's messages give its input: the file's, or "standard input" when `name` is
// null.
const char* inputname(const char* name);

// openinput for the commands that read raw floats: null also after refusewaveinput's message
// when the stream starts with a RIFF/WAVE header. The command then exits with status 1.
FILE* openfloatinput(const char* cmnd, const char* name);

// The end of a command that copies its input to its standard output: closes the input (unless
// it is standard input) and returns the exit status, 0 when every write went through, else 1
// after outputcomplete's message.
int finishstream(const char* cmnd, FILE* in);

}  // namespace velk
