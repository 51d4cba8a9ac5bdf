#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "childprocess.h"
#include "expectrun.h"

namespace {

const char kUsage[] =
    "\n"
    " recslice - binary file cut\n"
    "\n"
    "  usage:\n"
    "       recslice [ options ] [ infile ] > stdout\n"
    "  options:\n"
    "       -s s  : start number [0]\n"
    "       -e e  : end number   [EOF]\n"
    "       -l l  : block length [1]\n"
    "       -n n  : block order  [l-1]\n"
    "       +type : data type    [f]\n"
    "                c  (char, 1byte)         C  (unsigned char, 1byte)\n"
    "                s  (short, 2byte)        S  (unsigned short, 2byte)\n"
    "                i3 (int, 3byte)          I3 (unsigned int, 3byte)\n"
    "                i  (int, 4byte)          I  (unsigned int, 4byte)\n"
    "                l  (long, 8byte)         L  (unsigned long, 8byte)\n"
    "                le (long long, 8byte)    LE (unsigned long long, 8byte)\n"
    "                f  (float, 4byte)        d  (double, 8byte)\n"
    "                de (long double, 16byte)\n"
    "       -h    : print this message\n"
    "  infile:\n"
    "       data sequence        [stdin]\n"
    "  stdout:\n"
    "       cut data sequence\n"
    "  notice:\n"
    "       When both -l and -n are specified,\n"
    "       latter argument is adopted.\n"
    "\n"
    " ZEVK: version 3.11\n"
    " CVS Info: $Id$\n";

RunResult recslice(const std::string& args, const std::string& input) {
  return run_program(RECSLICE_PATH, words(args), stdin_bytes(input));
}

// Bytes 0, 1, 2, ... (mod 256): every item is recognisable by its position.
std::string counting_bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; i++) s[i] = static_cast<char>(i % 256);
  return s;
}

// Items first..last (inclusive) of float-sized items of counting_bytes.
std::string float_items(size_t first, size_t last) {
  return counting_bytes(4 * (last + 1)).substr(4 * first);
}

TEST(Recslice, BlocksOfTenFromTwoToThree) {
  const RunResult r = recslice("-s 2 -e 3 -l 10", counting_bytes(4 * 50));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.size(), 80u);
  EXPECT_EQ(r.out, float_items(20, 39));
}

TEST(Recslice, DefaultBlockLengthCountsItems) {
  const RunResult r = recslice("-s 3 -e 5", counting_bytes(4 * 10));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, float_items(3, 5));
}

TEST(Recslice, DefaultsCopyEverything) {
  const std::string in = counting_bytes(4 * 300);
  EXPECT_EQ(recslice("", in).out, in);
}

TEST(Recslice, EndJustBeforeStartCopiesNothing) {
  const RunResult r = recslice("-s 4 -e 3", counting_bytes(4 * 10));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST(Recslice, EndFurtherBelowStartRunsToTheEnd) {
  const RunResult r = recslice("-s 4 -e 1", counting_bytes(4 * 10));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, float_items(4, 9));
}

TEST(Recslice, EveryDataTypeHasItsItemSize) {
  const struct {
    const char* type;
    size_t size;
  } types[] = {{"+c", 1}, {"+C", 1}, {"+s", 2},  {"+S", 2},  {"+i3", 3}, {"+I3", 3}, {"+i", 4},  {"+I", 4},
               {"+l", 8}, {"+L", 8}, {"+le", 8}, {"+LE", 8}, {"+f", 4},  {"+d", 8},  {"+de", 16}};
  const std::string in = counting_bytes(16 * 8);
  for (const auto& t : types) {
    const RunResult r = recslice(std::string(t.type) + " -s 1 -e 2", in);
    EXPECT_EQ(r.status, 0) << t.type;
    EXPECT_EQ(r.out, in.substr(t.size, 2 * t.size)) << t.type;
  }
}

TEST(Recslice, LaterOfBlockLengthAndOrderWins) {
  const std::string in = counting_bytes(4 * 40);
  EXPECT_EQ(recslice("-n 4 -l 2 -s 1 -e 1", in).out, float_items(2, 3));
  EXPECT_EQ(recslice("-l 2 -n 4 -s 1 -e 1", in).out, float_items(5, 9));
}

TEST(Recslice, LastBlockMayBeShort) {
  const RunResult r = recslice("-l 3 -s 2", counting_bytes(4 * 10));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, float_items(6, 9));
}

TEST(Recslice, TrailingPartialItemIsDropped) {
  const RunResult r = recslice("+d", counting_bytes(8 * 3 + 5));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, counting_bytes(8 * 3));
}

TEST(Recslice, StartBeyondTheInputGivesNothing) {
  const RunResult r = recslice("-s 100", counting_bytes(4 * 10));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST(Recslice, NumbersAreSixtyFourBit) {
  const std::string in = counting_bytes(4 * 10);
  // 2^32 would wrap to 0 in 32 bits and copy the whole input.
  EXPECT_EQ(recslice("-s 4294967296", in).out, "");
  // 2^32 as end would wrap to 0 and copy one item.
  EXPECT_EQ(recslice("-e 4294967296", in).out, in);
  // Counts far beyond any input, including ones whose products overflow 64 bits.
  EXPECT_EQ(recslice("-s 2 -e 9223372036854775807 -l 16", in).out, "");
  EXPECT_EQ(recslice("-s 0 -e 9223372036854775807 -l 4", in).out, in);
  EXPECT_EQ(recslice("-s -9223372036854775807 -e 9223372036854775807", in).out, in);
}

TEST(Recslice, ReadsTheLastNamedFile) {
  TempDir dir;
  const std::string a = dir.write("a.raw", counting_bytes(4 * 4));
  const std::string b = dir.write("b.raw", counting_bytes(4 * 8));
  const RunResult r = recslice("-s 6 " + a + " " + b, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, float_items(6, 7));
}

TEST(Recslice, MissingFileIsNamedAndFails) {
  const RunResult r = recslice("/nonexistent/missing.raw", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("/nonexistent/missing.raw"), std::string::npos);
  EXPECT_EQ(r.out, "");
}

TEST(Recslice, HelpPrintsUsageAndSucceeds) {
  const RunResult r = recslice("-h", "");
  expect_message_only(r, 0, kUsage);
}

TEST(Recslice, InvalidOptionAndTypeAreRefused) {
  RunResult r = recslice("-x 3", counting_bytes(8));
  expect_message_only(r, 1, std::string("recslice : Invalid option 'x'!\n") + kUsage);
  r = recslice("+q", counting_bytes(8));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, std::string("recslice : Invalid option 'q'!\n") + kUsage);
}

TEST(Recslice, OptionWithoutValueIsRefused) {
  for (const char* opt : {"-s", "-e", "-l", "-n"}) {
    const RunResult r = recslice(std::string("+c ") + opt, counting_bytes(8));
    EXPECT_EQ(r.status, 1) << opt;
    EXPECT_EQ(r.err, kUsage) << opt;
    EXPECT_EQ(r.out, "") << opt;
  }
}

}  // namespace
