// Reading any sound file as a 16 kHz mono signal: files written here with libsndfile in other
// formats, the plain WAV path, and the wording of every failure.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <type_traits>
#include <vector>

#include "soundfile.h"
#include "wavm1616io.h"
#include "wavtestfiles.h"

namespace {

using namespace wavtest;

std::string temppath(const std::string& name) {
  return testing::TempDir() + "soundread_" + std::to_string(getpid()) + "_" + name;
}

// Writes the interleaved frames with libsndfile in the given format; returns the path. Doubles
// are written on the +-1 scale, 16-bit values as they are.
template <typename T>
std::string writesound(const std::string& name, int format, int rate, int channels, const std::vector<T>& x) {
  const std::string path = temppath(name);
  SF_INFO info = {};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
  if (f) {
    const sf_count_t n = static_cast<sf_count_t>(x.size());
    if constexpr (std::is_same_v<T, int16_t>)
      EXPECT_EQ(sf_write_short(f, x.data(), n), n);
    else
      EXPECT_EQ(sf_write_double(f, x.data(), n), n);
    sf_close(f);
  }
  return path;
}

struct Read {
  std::vector<double> samples;
  soundinfo info;
  std::string problem;
};

Read readsound(const std::string& path) {
  Read r;
  double* data = nullptr;
  const uint32_t n = readsound16k(path.c_str(), &data, &r.info);
  r.samples.assign(data, data + n);
  free(data);
  char text[160];
  r.problem = soundproblem(r.info, text, sizeof text);
  unlink(path.c_str());  // a directory stays
  return r;
}

std::string writebytes(const std::string& name, const std::string& bytes) {
  const std::string path = temppath(name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

TEST(ReadSound, ChannelsAreAveraged) {
  // 16-bit values: libsndfile and the WAV reader both give s / 32768.
  const std::vector<int16_t> left = {1000, -2000, 32767, -32768, 5}, right = {3000, 2000, 32767, -32767, 6};
  std::vector<int16_t> frames;
  for (size_t i = 0; i < left.size(); ++i) {
    frames.push_back(left[i]);
    frames.push_back(right[i]);
  }
  const Read r = readsound(writesound("stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 2, frames));
  EXPECT_EQ(r.info.status, SOUND_CONVERTED);
  EXPECT_EQ(r.info.channels, 2u);
  EXPECT_EQ(r.info.rate, 16000u);
  EXPECT_STREQ(r.info.encoding, "16-bit");
  ASSERT_EQ(r.samples.size(), left.size());
  for (size_t i = 0; i < left.size(); ++i)
    EXPECT_EQ(r.samples[i], (left[i] / 32768.0 + right[i] / 32768.0) / 2) << i;
}

TEST(ReadSound, AtItsOwnRateAFileKeepsEverySample) {
  // 24-bit stereo at 44.1 kHz: channels averaged, nothing resampled.
  const int rate = 44100;
  std::vector<double> frames;
  for (int t = 0; t < 441; ++t) {
    frames.push_back(0.5 * std::sin(2 * M_PI * 15000.0 * t / rate));
    frames.push_back(0.25);
  }
  const std::string path = writesound("native.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, rate, 2, frames);
  double* data = nullptr;
  soundinfo info;
  const uint32_t n = readsoundnative(path.c_str(), &data, &info);
  EXPECT_EQ(info.status, SOUND_CONVERTED);
  EXPECT_EQ(info.rate, 44100u);
  ASSERT_EQ(n, 441u);
  for (uint32_t t = 0; t < n; ++t) EXPECT_NEAR(data[t], (frames[2 * t] + 0.25) / 2, 1e-6) << t;
  free(data);
  // A 16 kHz mono 16-bit file reads as the vocoder reads it; an empty one is refused.
  const std::string plain = writesound("plain.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 1,
                                       std::vector<int16_t>{100, -200, 300});
  EXPECT_EQ(readsoundnative(plain.c_str(), &data, &info), 3u);
  EXPECT_EQ(info.status, SOUND_READ);
  EXPECT_EQ(data[1], -200 / 32768.0);
  free(data);
  const std::string empty =
      writesound("empty.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 22050, 1, std::vector<double>{});
  EXPECT_EQ(readsoundnative(empty.c_str(), &data, &info), 0u);
  EXPECT_EQ(info.status, SOUND_EMPTYDATA);
  EXPECT_EQ(data, nullptr);
  unlink(path.c_str());
  unlink(plain.c_str());
  unlink(empty.c_str());
}

TEST(ReadSound, OtherRatesAndSampleSizesAreResampled) {
  const int rate = 44100, n = 44100;  // one second of 440 Hz
  std::vector<double> x(n);
  for (int t = 0; t < n; ++t) x[t] = 0.5 * std::sin(2 * M_PI * 440.0 * t / rate);
  const Read r = readsound(writesound("cd24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, rate, 1, x));
  EXPECT_EQ(r.info.status, SOUND_CONVERTED);
  EXPECT_EQ(r.info.rate, 44100u);
  EXPECT_EQ(r.info.channels, 1u);
  EXPECT_STREQ(r.info.encoding, "24-bit");
  ASSERT_EQ(r.samples.size(), 16000u);
  double worst = 0;
  for (int t = 2000; t < 14000; ++t)
    worst = std::fmax(worst, std::fabs(r.samples[t] - 0.5 * std::sin(2 * M_PI * 440.0 * t / 16000)));
  EXPECT_LT(worst, 1e-3);

  const Read eight = readsound(
      writesound("u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8000, 1, std::vector<double>(800, 0.5)));
  EXPECT_EQ(eight.info.status, SOUND_CONVERTED);
  EXPECT_STREQ(eight.info.encoding, "8-bit");
  EXPECT_EQ(eight.samples.size(), 1600u);
  EXPECT_NEAR(eight.samples[800], 0.5, 1e-3);
}

TEST(ReadSound, FloatSamplesKeepTheirValues) {
  const std::vector<double> x = {0.25, -0.5, 1.5, -0.125};  // floats exactly; 1.5 is not clipped
  const Read r = readsound(writesound("float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 16000, 1, x));
  EXPECT_EQ(r.info.status, SOUND_CONVERTED);
  EXPECT_STREQ(r.info.encoding, "32-bit float");
  EXPECT_EQ(r.samples, x);
}

TEST(ReadSound, SixteenKilohertzMono16BitInAnyContainerIsReadAsStored) {
  const std::vector<double> x = {0.0, 100 / 32768.0, -32768 / 32768.0, 32767 / 32768.0};
  for (int container : {SF_FORMAT_FLAC, SF_FORMAT_AIFF}) {
    const std::vector<int16_t> values = {0, 100, -32768, 32767};
    const Read r = readsound(writesound("mono16", container | SF_FORMAT_PCM_16, 16000, 1, values));
    EXPECT_EQ(r.info.status, SOUND_READ) << container;
    EXPECT_EQ(r.samples, x) << container;
  }
  const Read wav =
      readsound(writebytes("plain.wav", riff(fmtchunk() + chunk("data", pcm({0, 100, -32768, 32767})))));
  EXPECT_EQ(wav.info.status, SOUND_READ);
  EXPECT_STREQ(wav.info.encoding, "16-bit");
  EXPECT_EQ(wav.samples, x);
}

TEST(ReadSound, ACutShortFileKeepsThePromiseAfterConversion) {
  const std::string full =
      riff(fmtchunk(1, 2, 16000, 16) + chunk("data", pcm(std::vector<int16_t>(200, 64))));
  const Read r = readsound(writebytes("short.wav", full.substr(0, full.size() - 40)));
  EXPECT_EQ(r.info.status, SOUND_CONVERTED);
  EXPECT_EQ(r.info.promised, 100u);
  EXPECT_EQ(r.info.present, 90u);
  EXPECT_EQ(r.samples, std::vector<double>(90, 64 / 32768.0));
}

TEST(ReadSound, EveryFailureIsWorded) {
  const std::string data = chunk("data", pcm(std::vector<int16_t>(100, 1)));
  struct Case {
    std::string path;
    soundstatus status;
    const char* problem;
  } cases[] = {
      {temppath("missing.wav"), SOUND_UNOPENED, "no such file"},
      {testing::TempDir(), SOUND_UNOPENED, "Is a directory"},
      {writebytes("empty", ""), SOUND_NOTSOUND, "not a sound file (RIFF/WAVE header missing)"},
      {writebytes("text", "just some text, long enough to look like a header"), SOUND_NOTSOUND,
       "not a sound file (RIFF/WAVE header missing)"},
      {writebytes("mp3.wav", riff(fmtchunk(0x55, 1, 16000, 0) + data)), SOUND_COMPRESSED,
       "compressed format (code 0x55) not supported"},
      {writebytes("nofmt.wav", riff(data)), SOUND_BADFORMAT, "format chunk missing or damaged"},
      {writebytes("nodata.wav", riff(fmtchunk() + ffmpeglist())), SOUND_NODATA, "data chunk missing"},
      {writebytes("emptydata.wav", riff(fmtchunk() + chunk("data", ""))), SOUND_EMPTYDATA,
       "empty data chunk"},
      {writebytes("nodata44k.wav", riff(fmtchunk(1, 2, 44100))), SOUND_NODATA, "data chunk missing"},
  };
  for (const Case& c : cases) {
    const Read r = readsound(c.path);
    EXPECT_EQ(r.info.status, c.status) << c.path;
    EXPECT_EQ(r.problem, c.problem) << c.path;
    EXPECT_TRUE(r.samples.empty()) << c.path;
  }
}

}  // namespace
