#include "streamio.h"

#include <gtest/gtest.h>

#include <climits>

#include <cstdlib>
#include <string>
#include <vector>

using namespace velk;

// The tests of short memory ask for more than the sanitizers' allocator hands out: it is to
// return null, as the standard allocator does, instead of ending the test.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}

namespace {

// A scratch stream holding the given bytes, positioned at the start.
FILE* stream_with(const std::vector<unsigned char>& bytes) {
  FILE* fp = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), fp);
  std::rewind(fp);
  return fp;
}

std::vector<unsigned char> contents(FILE* fp) {
  std::rewind(fp);
  std::vector<unsigned char> bytes;
  int c;
  while ((c = std::fgetc(fp)) != EOF) bytes.push_back(static_cast<unsigned char>(c));
  return bytes;
}

TEST(StreamIo, FloatSamplesAreLittleEndianIeee32) {
  FILE* fp = std::tmpfile();
  const double v[3] = {1.0, -2.0, 0.15625};
  EXPECT_EQ(fwritef(v, sizeof(double), 3, fp), 3);
  const std::vector<unsigned char> expected = {0x00, 0x00, 0x80, 0x3f, 0x00, 0x00,
                                               0x00, 0xc0, 0x00, 0x00, 0x20, 0x3e};
  EXPECT_EQ(contents(fp), expected);
  std::fclose(fp);
}

TEST(StreamIo, ReadDecodesLittleEndianFloats) {
  FILE* fp = stream_with({0x00, 0x00, 0x40, 0x40, 0x00, 0x00, 0x80, 0xbf});
  double v[2] = {0, 0};
  EXPECT_EQ(freadf(v, sizeof(double), 2, fp), 2);
  EXPECT_EQ(v[0], 3.0);
  EXPECT_EQ(v[1], -1.0);
  std::fclose(fp);
}

TEST(StreamIo, RoundTripBeyondOneBufferAndShortCountAtEnd) {
  const int n = 2500;  // more than one conversion chunk
  std::vector<double> out(n), in(n + 10, 99.0);
  for (int i = 0; i < n; i++) out[i] = static_cast<float>(0.001 * i - 1.0);
  FILE* fp = std::tmpfile();
  ASSERT_EQ(fwritef(out.data(), sizeof(double), n, fp), n);
  std::rewind(fp);
  EXPECT_EQ(freadf(in.data(), sizeof(double), n + 10, fp), n);
  for (int i = 0; i < n; i++) ASSERT_EQ(in[i], out[i]) << i;
  EXPECT_EQ(in[n], 99.0);  // nothing written past what was read
  std::fclose(fp);
}

TEST(StreamIo, TrailingPartialSampleIsNotCounted) {
  FILE* fp = stream_with({0x00, 0x00, 0x80, 0x3f, 0x01, 0x02});
  double v[2] = {0, 0};
  EXPECT_EQ(freadf(v, sizeof(double), 2, fp), 1);
  EXPECT_EQ(v[0], 1.0);
  std::fclose(fp);
}

TEST(StreamIo, WrongElementSizeReadsNothing) {
  FILE* fp = stream_with({0x00, 0x00, 0x80, 0x3f});
  double v = 5.0;
  EXPECT_EQ(freadf(&v, 4, 1, fp), 0);
  EXPECT_EQ(v, 5.0);
  std::fclose(fp);
}

TEST(StreamIo, RawItemsMoveUnchanged) {
  const std::vector<unsigned char> bytes = {1, 2, 3, 4, 5, 6, 7};
  FILE* in = stream_with(bytes);
  FILE* out = std::tmpfile();
  unsigned char item[3];
  int items = 0;
  while (freadx(item, 3, 1, in) == 1) {
    EXPECT_EQ(fwritex(item, 3, 1, out), 1);
    items++;
  }
  EXPECT_EQ(items, 2);  // the seventh byte is not a whole item
  EXPECT_EQ(contents(out), std::vector<unsigned char>(bytes.begin(), bytes.begin() + 6));
  std::fclose(in);
  std::fclose(out);
}

TEST(StreamIo, DgetmemIsZeroFilled) {
  double* p = dgetmem(100);
  for (int i = 0; i < 100; i++) ASSERT_EQ(p[i], 0.0);
  std::free(p);
}

// The routines report a failure to the caller, which decides the message and how the command
// ends; they print nothing.
TEST(StreamIo, GetfpReturnsNullForAMissingFileOrADirectory) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(getfp("/nonexistent/dir/no-such-file.raw", "rb"), nullptr);
  EXPECT_EQ(getfp("/", "rb"), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(StreamIo, DgetmemReturnsNullWhenMemoryIsShort) {
  EXPECT_EQ(dgetmem(LONG_MAX / 4), nullptr);
}

}  // namespace
