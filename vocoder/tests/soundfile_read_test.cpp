// Reading any sound file as a mono signal at 16 kHz, at another rate or at its own: files written
// here with libsndfile in other formats, the plain WAV path, and the wording of every failure.
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
#include "riffbytes.h"

using namespace velk;

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

// Reads the file at `rate` Hz (0: its own rate), or with readsound16k when rate is -1.
Read readat(const std::string& path, int64_t rate) {
  Read r;
  double* data = nullptr;
  const uint32_t n = rate < 0 ? readsound16k(path.c_str(), &data, &r.info)
                              : ::readsound(path.c_str(), static_cast<uint32_t>(rate), &data, &r.info);
  r.samples.assign(data, data + n);
  free(data);
  char text[160];
  r.problem = soundproblem(r.info, text, sizeof text);
  unlink(path.c_str());  // a directory stays
  return r;
}

Read readsound(const std::string& path) {
  return readat(path, -1);
}

std::vector<double> sine(double frequency, int rate, int n) {
  std::vector<double> x(n);
  for (int t = 0; t < n; ++t) x[t] = 0.5 * std::sin(2 * M_PI * frequency * t / rate);
  return x;
}

// Largest difference from a 440 Hz sine at `rate` over the middle of the samples.
double sineerror(const std::vector<double>& y, int rate) {
  double worst = 0;
  const size_t edge = y.size() / 8;
  for (size_t t = edge; t + edge < y.size(); ++t)
    worst = std::fmax(worst, std::fabs(y[t] - 0.5 * std::sin(2 * M_PI * 440.0 * t / rate)));
  return worst;
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
  const uint32_t n = readsound(path.c_str(), 0, &data, &info);
  EXPECT_EQ(info.status, SOUND_CONVERTED);
  EXPECT_EQ(info.rate, 44100u);
  ASSERT_EQ(n, 441u);
  for (uint32_t t = 0; t < n; ++t) EXPECT_NEAR(data[t], (frames[2 * t] + 0.25) / 2, 1e-6) << t;
  free(data);
  // A 16 kHz mono 16-bit file reads as the vocoder reads it; an empty one is refused.
  const std::string plain = writesound("plain.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 1,
                                       std::vector<int16_t>{100, -200, 300});
  EXPECT_EQ(readsound(plain.c_str(), 0, &data, &info), 3u);
  EXPECT_EQ(info.status, SOUND_READ);
  EXPECT_EQ(data[1], -200 / 32768.0);
  free(data);
  const std::string empty =
      writesound("empty.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 22050, 1, std::vector<double>{});
  EXPECT_EQ(readsound(empty.c_str(), 0, &data, &info), 0u);
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

TEST(ReadSound, AtItsOwnRateAFileIsNotResampled) {
  const std::vector<int16_t> values = {0, 100, -32768, 32767, -5};
  for (int rate : {8000, 11025, 22050, 24000, 32000, 44100, 48000}) {
    const Read r = readat(writesound("own.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, 1, values), 0);
    EXPECT_EQ(r.info.status, SOUND_READ) << rate;
    EXPECT_EQ(r.info.rate, static_cast<uint32_t>(rate));
    EXPECT_EQ(r.info.readrate, static_cast<uint32_t>(rate));
    ASSERT_EQ(r.samples.size(), values.size()) << rate;
    for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(r.samples[i], values[i] / 32768.0) << rate;
  }
  // The plain 16 kHz WAV file too, by the WAV reader alone.
  const Read wav = readat(writebytes("own16.wav", riff(fmtchunk() + chunk("data", pcm({7, -7})))), 0);
  EXPECT_EQ(wav.info.status, SOUND_READ);
  EXPECT_EQ(wav.info.readrate, 16000u);
  EXPECT_EQ(wav.samples, (std::vector<double>{7 / 32768.0, -7 / 32768.0}));
}

TEST(ReadSound, AboveTheHighestRateAFileIsBroughtDownToIt) {
  const Read r = readat(writesound("96k.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 2,
                                   std::vector<double>(2 * 9600, 0.25)),
                        0);
  EXPECT_EQ(r.info.status, SOUND_CONVERTED);
  EXPECT_EQ(r.info.rate, 96000u);
  EXPECT_EQ(r.info.readrate, 48000u);
  ASSERT_EQ(r.samples.size(), 4800u);
  EXPECT_NEAR(r.samples[2400], 0.25, 1e-3);
}

TEST(ReadSound, AnyRateAskedForIsResampledTo) {
  // A 44.1 kHz file asked for at 22.05 kHz, a plain 16 kHz WAV file asked for at 48 kHz.
  const Read down = readat(
      writesound("cd.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, sine(440, 44100, 44100)), 22050);
  EXPECT_EQ(down.info.status, SOUND_CONVERTED);
  EXPECT_EQ(down.info.readrate, 22050u);
  ASSERT_EQ(down.samples.size(), 22050u);
  EXPECT_LT(sineerror(down.samples, 22050), 1e-3);

  std::vector<int16_t> values(16000);
  for (int t = 0; t < 16000; ++t)
    values[t] = static_cast<int16_t>(16384 * std::sin(2 * M_PI * 440.0 * t / 16000));
  const Read up = readat(writebytes("up.wav", riff(fmtchunk() + chunk("data", pcm(values)))), 48000);
  EXPECT_EQ(up.info.status, SOUND_CONVERTED);
  EXPECT_EQ(up.info.rate, 16000u);
  EXPECT_EQ(up.info.readrate, 48000u);
  ASSERT_EQ(up.samples.size(), 48000u);
  EXPECT_LT(sineerror(up.samples, 48000), 1e-3);
}

TEST(ReadSound, ARateBelowTheLowestIsRefusedBeforeTheSamplesAreRead) {
  // 32 kB of samples whose header says 1 Hz: resampled, they would make gigabytes.
  const std::string bytes = riff(fmtchunk(1, 1, 1, 16) + chunk("data", pcm(std::vector<int16_t>(16000, 3))));
  for (int64_t rate : {-1, 0, 48000}) {
    const Read r = readat(writebytes("1hz.wav", bytes), rate);
    EXPECT_EQ(r.info.status, SOUND_LOWRATE) << rate;
    EXPECT_EQ(r.info.rate, 1u);
    EXPECT_EQ(r.problem, "sampling rate 1 Hz below the lowest supported, 8000 Hz");
    EXPECT_TRUE(r.samples.empty());
  }
  const Read r =
      readat(writesound("7999.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 7999, 1, sine(440, 7999, 800)), 0);
  EXPECT_EQ(r.info.status, SOUND_LOWRATE);
  EXPECT_EQ(r.problem, "sampling rate 7999 Hz below the lowest supported, 8000 Hz");
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

// soundfileownrate reads a file at its own rate whatever it is, below and above the vocoder's
// range too (for callers that check the rate themselves), never resampled.
TEST(ReadSound, TheFilesOwnRateOutsideTheRangeOnRequest) {
  const std::vector<int16_t> values = {0, 100, -32768, 32767, -5};
  for (int rate : {1, 4000, 7999, 96000, 1000001}) {
    const Read r = readat(writesound("anyrate.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, 1, values),
                          soundfileownrate);
    EXPECT_EQ(r.info.status, SOUND_READ) << rate;
    EXPECT_EQ(r.info.rate, static_cast<uint32_t>(rate));
    EXPECT_EQ(r.info.readrate, static_cast<uint32_t>(rate));
    ASSERT_EQ(r.samples.size(), values.size()) << rate;
    for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(r.samples[i], values[i] / 32768.0) << rate;
  }
  const Read wav =
      readat(writebytes("own16.wav", riff(fmtchunk() + chunk("data", pcm({7, -7})))), soundfileownrate);
  EXPECT_EQ(wav.info.readrate, 16000u);
  EXPECT_EQ(wav.samples, (std::vector<double>{7 / 32768.0, -7 / 32768.0}));
}

}  // namespace

// The formats are told by their first bytes; a float stream is not, nor a FLAC signature without
// the STREAMINFO header that always follows it.
TEST(SoundFileStart, FormatsAreKnownByTheirFirstBytes) {
  for (const char* head : {"RIFF\x24\0\0\0", "RF64\xff\xff\xff\xff", "FORM\0\0\0\x2e", "OggS\0\x02\0\0",
                           ".snd\0\0\0\x18", "caff\0\x01\0\0"})
    EXPECT_TRUE(startssoundfile(head, 8)) << head;
  const char flac[8] = {'f', 'L', 'a', 'C', 0, 0, 0, 34};
  EXPECT_TRUE(startssoundfile(flac, 8));
  const char notflac[8] = {'f', 'L', 'a', 'C', 0, 0, 0, 33};
  EXPECT_FALSE(startssoundfile(notflac, 8));
  EXPECT_FALSE(startssoundfile(flac, 4));
  const float samples[2] = {0.25f, -0.5f};
  EXPECT_FALSE(startssoundfile(reinterpret_cast<const char*>(samples), sizeof samples));
  EXPECT_FALSE(startssoundfile("RIF", 3));
}
