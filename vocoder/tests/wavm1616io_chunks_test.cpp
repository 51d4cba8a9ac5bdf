// The WAV reader on real-world layouts: chunks other than "fmt " and "data" anywhere, the
// extensible format, files cut short, and the status it reports for what it does not read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "wavm1616io.h"
#include "riffbytes.h"

using namespace velk;

namespace {

using namespace wavtest;

struct Read {
  std::vector<double> samples;
  wavinfo info;
};

Read readbytes(const std::string& bytes) {
  const std::string path = testing::TempDir() + "wavchunks_" + std::to_string(getpid()) + ".wav";
  std::ofstream(path, std::ios::binary) << bytes;
  Read r;
  double* data = nullptr;
  const uint32_t n = wavreadm1616info(path.c_str(), &data, &r.info);
  remove(path.c_str());
  r.samples.assign(data, data + n);
  free(data);
  return r;
}

const std::vector<int16_t> kSamples = {0, 32767, -32768, 1, -1, 12345, -2222, 7};

std::vector<double> scaled(const std::vector<int16_t>& s) {
  std::vector<double> v;
  for (int16_t x : s) v.push_back(x / 32768.0);
  return v;
}

struct Layout {
  const char* name;
  std::string bytes;
};

void PrintTo(const Layout& l, std::ostream* os) {
  *os << l.name;
}

std::vector<Layout> readablelayouts() {
  const std::string data = chunk("data", pcm(kSamples));
  return {
      {"Plain", riff(fmtchunk() + data)},
      {"FfmpegList", riff(fmtchunk() + ffmpeglist() + data)},
      {"JunkBeforeFmt", riff(chunk("JUNK", std::string(28, '\0')) + fmtchunk() + data)},
      {"FactCueAndBext", riff(fmtchunk() + chunk("fact", le(8, 4)) + chunk("cue ", le(0, 4)) +
                              chunk("bext", std::string(3, 'b')) + data)},
      {"ChunksAfterData", riff(fmtchunk() + data + chunk("id3 ", "ID3\x03") + chunk("LIST", "INFO"))},
      {"DataBeforeFmt", riff(data + chunk("PAD ", std::string(6, '\0')) + fmtchunk())},
      {"OddChunkWithoutPad", riff(fmtchunk() + "LIST" + le(3, 4) + "abc" + data)},
      {"Extensible", riff(extensiblechunk() + data)},
      {"ExtensibleWithList", riff(extensiblechunk() + ffmpeglist() + data)},
  };
}

class WavLayouts : public testing::TestWithParam<Layout> {};

TEST_P(WavLayouts, ReadAsThePlainFile) {
  const Read r = readbytes(GetParam().bytes);
  EXPECT_EQ(r.info.status, WAV_READ);
  EXPECT_EQ(r.samples, scaled(kSamples));
  EXPECT_EQ(r.info.promised, kSamples.size());
  EXPECT_EQ(r.info.present, kSamples.size());
}

INSTANTIATE_TEST_SUITE_P(Chunks, WavLayouts, testing::ValuesIn(readablelayouts()),
                         [](const testing::TestParamInfo<Layout>& i) { return std::string(i.param.name); });

TEST(WavStatus, SaysWhyNothingWasRead) {
  const std::string data = chunk("data", pcm(kSamples));
  struct Case {
    const char* what;
    std::string bytes;
    wavstatus status;
  } cases[] = {
      {"empty file", "", WAV_NOTWAVE},
      {"text", "not a sound file at all", WAV_NOTWAVE},
      {"RIFF of another kind", "RIFF" + le(4, 4) + "AVI " + data, WAV_NOTWAVE},
      {"no fmt", riff(data), WAV_BADFORMAT},
      {"fmt of 14 bytes", riff(chunk("fmt ", std::string(14, '\1')) + data), WAV_BADFORMAT},
      {"fmt cut off", riff(fmtchunk()).substr(0, 28), WAV_BADFORMAT},
      {"no channels", riff(fmtchunk(1, 0) + data), WAV_BADFORMAT},
      {"no data", riff(fmtchunk() + ffmpeglist()), WAV_NODATA},
      {"empty data", riff(fmtchunk() + chunk("data", "")), WAV_EMPTYDATA},
      {"one byte of data", riff(fmtchunk() + chunk("data", "x")), WAV_EMPTYDATA},
      {"data promised, none present", riff(fmtchunk()) + "data" + le(400, 4), WAV_EMPTYDATA},
      {"44.1 kHz", riff(fmtchunk(1, 1, 44100) + data), WAV_OTHERFORMAT},
      {"stereo", riff(fmtchunk(1, 2) + data), WAV_OTHERFORMAT},
      {"float", riff(fmtchunk(3, 1, 16000, 32) + data), WAV_OTHERFORMAT},
      {"extensible float", riff(extensiblechunk(3, 1, 16000, 32) + data), WAV_OTHERFORMAT},
      {"no rate", riff(fmtchunk(1, 1, 0) + data), WAV_BADFORMAT},
      {"mp3 in wav", riff(fmtchunk(0x55, 1, 16000, 0) + data), WAV_OTHERFORMAT},
  };
  for (const Case& c : cases) {
    const Read r = readbytes(c.bytes);
    EXPECT_EQ(r.info.status, c.status) << c.what;
    EXPECT_TRUE(r.samples.empty()) << c.what;
  }
  const Read mp3 = readbytes(riff(fmtchunk(0x55, 2, 22050, 16) + data));
  EXPECT_EQ(mp3.info.format, 0x55u);
  EXPECT_EQ(mp3.info.channels, 2u);
  EXPECT_EQ(mp3.info.rate, 22050u);
  EXPECT_EQ(readbytes(riff(extensiblechunk(3, 2, 48000, 32) + data)).info.format, 3u);  // the subformat's
}

TEST(WavStatus, FilesThatCannotBeOpenedKeepTheirErrno) {
  wavinfo info;
  double* data = nullptr;
  EXPECT_EQ(wavreadm1616info("/nonexistent-dir/a.wav", &data, &info), 0u);
  EXPECT_EQ(info.status, WAV_UNOPENED);
  EXPECT_EQ(info.error, ENOENT);
  EXPECT_EQ(wavreadm1616info(testing::TempDir().c_str(), &data, &info), 0u);
  EXPECT_EQ(info.status, WAV_UNOPENED);
  EXPECT_EQ(info.error, EISDIR);
  EXPECT_EQ(data, nullptr);
}

TEST(WavCutShort, ReadsThePresentSamplesAndTellsThePromise) {
  const std::string full = riff(fmtchunk() + chunk("data", pcm(kSamples)));
  const Read r = readbytes(full.substr(0, full.size() - 5));  // 5 bytes short: 2 whole samples missing
  EXPECT_EQ(r.info.status, WAV_READ);
  EXPECT_EQ(r.info.promised, 8u);
  EXPECT_EQ(r.info.present, 5u);
  EXPECT_EQ(r.samples, scaled({kSamples.begin(), kSamples.begin() + 5}));
  // Another format: the counts are of sample frames (4 bytes for 16-bit stereo).
  const std::string stereo = riff(fmtchunk(1, 2) + chunk("data", pcm(kSamples)));
  const Read s = readbytes(stereo.substr(0, stereo.size() - 6));
  EXPECT_EQ(s.info.status, WAV_OTHERFORMAT);
  EXPECT_EQ(s.info.promised, 4u);
  EXPECT_EQ(s.info.present, 2u);
}

TEST(WavClipping, CountsWhatLiesBeyondThe16BitRange) {
  const double top = 32767.0 / 32768;
  const std::vector<double> x = {top,  0.99999,  1.0,       1.5, -1.0, -32768.9 / 32768, -32769.0 / 32768,
                                 -2.0, INFINITY, -INFINITY, NAN, 0.0};
  EXPECT_EQ(wavclippedsamples(x.data(), static_cast<uint32_t>(x.size())), 6u);
  EXPECT_EQ(wavclippedsamples(x.data(), 3), 1u);
  // The counted samples are those the conversion saturates: their truncated value lies outside.
  for (double v : x) {
    const double scaledv = std::trunc(32768 * v);
    EXPECT_EQ(wavclippedsamples(&v, 1), scaledv > 32767 || scaledv < -32768 ? 1u : 0u) << v;
  }
}

}  // namespace
