// recslice: copies a range of fixed-size records of a binary stream to standard output.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "cmdline.h"
#include "streamio.h"

using namespace velk;

namespace {

constexpr int64_t kStart = 0;
constexpr int64_t kEnd = -1;  // the end of the input
constexpr int kBlockLength = 1;

void usage(const char* cmnd) {
  printusagehead(stderr, cmnd, "binary file cut", "[ options ] [ infile ] > stdout");
  std::fprintf(stderr, "  options:\n");
  std::fprintf(stderr, "       -s s  : start number [%d]\n", static_cast<int>(kStart));
  std::fprintf(stderr, "       -e e  : end number   [EOF]\n");
  std::fprintf(stderr, "       -l l  : block length [%d]\n", kBlockLength);
  std::fprintf(stderr, "       -n n  : block order  [l-1]\n");
  std::fprintf(stderr, "       +type : data type    [f]\n");
  std::fprintf(stderr, "                c  (char, %lubyte)         C  (unsigned char, %lubyte)\n",
               sizeof(char), sizeof(unsigned char));
  std::fprintf(stderr, "                s  (short, %lubyte)        S  (unsigned short, %lubyte)\n",
               sizeof(short), sizeof(unsigned short));
  std::fprintf(stderr, "                i3 (int, 3byte)          I3 (unsigned int, 3byte)\n");
  std::fprintf(stderr, "                i  (int, %lubyte)          I  (unsigned int, %lubyte)\n", sizeof(int),
               sizeof(unsigned int));
  std::fprintf(stderr, "                l  (long, %lubyte)         L  (unsigned long, %lubyte)\n",
               sizeof(long), sizeof(unsigned long));
  std::fprintf(stderr, "                le (long long, %lubyte)    LE (unsigned long long, %lubyte)\n",
               sizeof(long long), sizeof(unsigned long long));
  std::fprintf(stderr, "                f  (float, %lubyte)        d  (double, %lubyte)\n", sizeof(float),
               sizeof(double));
  std::fprintf(stderr, "                de (long double, %lubyte)\n", sizeof(long double));
  std::fprintf(stderr, "       -h    : print this message\n");
  std::fprintf(stderr, "  infile:\n");
  std::fprintf(stderr, "       data sequence        [stdin]\n");
  std::fprintf(stderr, "  stdout:\n");
  std::fprintf(stderr, "       cut data sequence\n");
  std::fprintf(stderr, "  notice:\n");
  std::fprintf(stderr, "       When both -l and -n are specified,\n");
  std::fprintf(stderr, "       latter argument is adopted.\n");
  printversionfooter(stderr);
}

// Item size in bytes of a "+type" argument, 0 for an unknown type.
size_t item_size(const char* type) {
  switch (type[0]) {
    case 'c':
    case 'C':
      return 1;
    case 's':
    case 'S':
      return 2;
    case 'i':
    case 'I':
      return type[1] == '3' ? 3 : 4;
    case 'l':
    case 'L':
      return 8;
    case 'f':
      return 4;
    case 'd':
      return type[1] == 'e' ? 16 : 8;
    default:
      return 0;
  }
}

constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();
constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kIntMin = std::numeric_limits<int>::min();
constexpr int64_t kIntMax = std::numeric_limits<int>::max();

struct Options {
  int64_t start = kStart;
  int64_t end = kEnd;
  int block_length = kBlockLength;
  size_t size = 4;
  const char* infile = nullptr;
};

// The syntax of the command: its options into *o, its operands the input file and "+type".
commandsyntax syntax(const char* cmnd, Options* o) {
  commandsyntax x{"recslice", {cmnd, usage}};
  x.options = {
      helpoption("h"),
      integeroption("s", &o->start, kInt64Min, kInt64Max),
      integeroption("e", &o->end, kInt64Min, kInt64Max),
      integeroption("l", &o->block_length, kIntMin, kIntMax),
      // The block order is one less than the block length, which must fit an int.
      customoption("n",
                   [o](optionvalues* v) {
                     const int64_t order = v->nextinteger(kIntMin - 1, kIntMax - 1);
                     if (!v->ended()) o->block_length = static_cast<int>(order + 1);
                   }),
  };
  // A "+type" argument of no known type is refused as an invalid option.
  x.operand = [o](const char* arg) {
    if (arg[0] != '+') {
      o->infile = arg;
      return true;
    }
    o->size = item_size(arg + 1);
    return o->size != 0;
  };
  return x;
}

// Copies records start..end of the input; any short read ends the copy.
void slice(const Options& o, FILE* in) {
  unsigned char item[16];
  const int64_t skip = saturatingmul(o.start, o.block_length);
  for (int64_t i = 0; i < skip; i++)
    if (freadx(item, o.size, 1, in) != 1) return;

  // A negative count never reaches zero, so it copies to the end of the input like -e -1.
  const int64_t count = saturatingmul(saturatingadd(saturatingsub(o.end, o.start), 1), o.block_length);
  const bool limited = o.end != kEnd && count >= 0;
  for (int64_t left = count; !limited || left > 0;) {
    if (limited) left--;
    if (freadx(item, o.size, 1, in) != 1) return;
    if (fwritex(item, o.size, 1, stdout) != 1) return;  // reported by the caller
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* cmnd = commandname(argv[0]);
  Options o;
  if (const commandend end = parsecommandline(argc, argv, syntax(cmnd, &o))) return *end;
  FILE* in = openinput(o.infile);
  if (in == nullptr) return 1;
  slice(o, in);
  return finishstream(cmnd, in);
}
