// The encoder and decoder at every rate from 8 to 48 kHz: a file analysed at its own rate and
// synthesised at it (rate and length of the WAV file, frame shift and order by the rate), the
// decoder's refusal of streams from a higher rate, its warnings, and --fs=16000 as today's path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "argumenterror.h"
#include "childprocess.h"
#include "testfiles.h"
#include "testsignals.h"

namespace {

uint32_t field32(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (size_t i = 4; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

struct Rate {
  unsigned fs, lframe, width;
};

// The rate names the case in test listings.
void PrintTo(const Rate& r, std::ostream* os) {
  *os << r.fs << " Hz";
}

class Rates : public testing::TestWithParam<Rate> {
 protected:
  TempDir dir;
  std::string f0 = dir.path("s.f0"), cc = dir.path("s.cc"), fv = dir.path("s.fv"), out = dir.path("out.wav");
};

// Encoded and decoded at the file's own rate: streams on the rate's 5 ms grid with its order, a
// WAV file at that rate of (frames + 1) * lframe + 1 samples, F0 and level kept.
TEST_P(Rates, AFileRoundTripsAtItsOwnRate) {
  const Rate r = GetParam();
  const std::vector<int16_t> x = harmonic_voice(r.fs, 0.5, 150.0);
  const std::string wav = dir.write("in.wav", wav_bytes(x, 1, r.fs));
  const RunResult e = run_program(VELKCODER_PATH, {wav, f0, cc, fv});
  ASSERT_EQ(e.status, 0) << e.out;
  EXPECT_EQ(e.out, "");
  const std::vector<float> lf0 = floats_of(file_contents(f0));
  const size_t frames = lf0.size();
  EXPECT_NEAR(static_cast<double>(frames), x.size() / static_cast<double>(r.lframe), 1.0) << r.fs;
  EXPECT_EQ(file_size(cc), static_cast<long>(frames * r.width * 4)) << r.fs;
  for (size_t k = 10; k + 10 < frames; ++k)
    EXPECT_NEAR(std::exp(lf0[k]), 150.0, 1.0) << r.fs << " frame " << k;

  const RunResult d = run_program(VELKDECODER_PATH, {f0, cc, fv, out, "--fs=" + std::to_string(r.fs)});
  ASSERT_EQ(d.status, 0) << d.out;
  EXPECT_EQ(d.out, "");
  const std::string bytes = file_contents(out);
  ASSERT_GE(bytes.size(), 44u);
  EXPECT_EQ(field32(bytes, 24), r.fs);
  EXPECT_EQ(field32(bytes, 28), 2 * r.fs);
  EXPECT_EQ(bytes.size(), 44 + 2 * ((frames + 1) * r.lframe + 1)) << r.fs;
  double in = 0, copy = 0;
  for (size_t i = x.size() / 4; i < 3 * x.size() / 4; ++i) {
    int16_t s;
    std::memcpy(&s, bytes.data() + 44 + 2 * i, 2);
    in += static_cast<double>(x[i]) * x[i];
    copy += static_cast<double>(s) * s;
  }
  EXPECT_GT(copy, 0.25 * in) << r.fs;
  EXPECT_LT(copy, 4 * in) << r.fs;
}

INSTANTIATE_TEST_SUITE_P(EveryRate, Rates,
                         testing::Values(Rate{8000, 40, 40}, Rate{11025, 55, 40}, Rate{16000, 80, 40},
                                         Rate{22050, 110, 50}, Rate{24000, 120, 50}, Rate{32000, 160, 50},
                                         Rate{44100, 220, 50}, Rate{48000, 240, 50}),
                         [](const testing::TestParamInfo<Rate>& info) {
                           return std::to_string(info.param.fs);
                         });

// Every envelope method and the pitch refinement work at a high rate: finite cepstra of the
// rate's order and an F0 kept on the steady voice.
TEST(RateAnalyses, EveryMethodAndTheRefinementWorkAt48kHz) {
  TempDir dir;
  const std::string wav = dir.write("in.wav", wav_bytes(harmonic_voice(48000, 0.4, 150.0), 1, 48000));
  for (const char* option :
       {"--ccmeth=0", "--ccmeth=1", "--ccmeth=2", "--ccmeth=3", "--ccmeth=4", "--f0acc=2"}) {
    const RunResult r = run_program(VELKCODER_PATH, {wav, dir.path("f0"), dir.path("cc"), option});
    ASSERT_EQ(r.status, 0) << option << r.out;
    const std::vector<float> lf0 = floats_of(file_contents(dir.path("f0")));
    const std::vector<float> c = floats_of(file_contents(dir.path("cc")));
    ASSERT_EQ(c.size(), lf0.size() * 50) << option;
    for (float v : c) ASSERT_TRUE(std::isfinite(v)) << option;
    for (size_t k = 10; k + 10 < lf0.size(); ++k)
      EXPECT_NEAR(std::exp(lf0[k]), 150.0, 1.5) << option << " " << k;
  }
}

// The singing range: F0 searched from 30 to 2000 Hz (up to half the rate), with the streams of
// every method finite.
TEST(RateAnalyses, SingingVoicesAreAnalysedUpTo2000Hz) {
  TempDir dir;
  const struct {
    unsigned fs;
    double f0;
  } cases[] = {{16000, 700.0}, {44100, 1100.0}, {48000, 1900.0}};
  for (const auto& c : cases) {
    const std::string wav = dir.write("in.wav", wav_bytes(harmonic_voice(c.fs, 0.5, c.f0), 1, c.fs));
    const RunResult r = run_program(
        VELKCODER_PATH, {wav, dir.path("f0"), dir.path("cc"), dir.path("fv"), "--f0min=30", "--f0max=2000"});
    ASSERT_EQ(r.status, 0) << c.fs << r.out;
    const std::vector<float> lf0 = floats_of(file_contents(dir.path("f0")));
    for (float v : floats_of(file_contents(dir.path("cc")))) ASSERT_TRUE(std::isfinite(v)) << c.fs;
    ASSERT_GT(lf0.size(), 40u);
    for (size_t k = 10; k + 10 < lf0.size(); ++k)
      EXPECT_NEAR(std::exp(lf0[k]), c.f0, 0.01 * c.f0) << c.fs << " frame " << k;
  }
}

// Streams of a 44.1 kHz file without their settings record, as earlier versions and other tools
// write them: the decoder has only --fs and the streams themselves to go by.
class RateMismatch : public testing::Test {
 protected:
  void SetUp() override {
    wide = dir.write("wide.wav", wav_bytes(harmonic_voice(44100, 0.5, 150.0), 1, 44100));
    ASSERT_EQ(run_program(VELKCODER_PATH, {wide, f0, cc, fv, "--record=0"}).status, 0);
  }
  TempDir dir;
  std::string wide, f0 = dir.path("w.f0"), cc = dir.path("w.cc"), fv = dir.path("w.fv"),
                    out = dir.path("o.wav");
};

// Streams of a 44.1 kHz file hold voiced frequencies above 8 kHz: at the default 16 kHz they are
// refused with a hint, and nothing is written.
TEST_F(RateMismatch, StreamsOfAHigherRateAreRefused) {
  const RunResult r = run_program(VELKDECODER_PATH, {f0, cc, fv, out});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.rfind("Error: " + fv + " holds a maximum voiced frequency of ", 0), 0u) << r.out;
  EXPECT_NE(r.out.find(" Hz, above 8000 Hz, half the rate 16000 Hz; give the streams' rate with --fs.\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(file_size(out), -1);
}

// Without the voicing stream the order tells: 49 is not the 16 kHz order, and the decoder says so.
TEST_F(RateMismatch, AnUnexpectedOrderIsWarnedAbout) {
  RunResult r = run_program(VELKDECODER_PATH, {f0, cc, out});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "Warning: " + cc +
                " holds cepstra of order 49, not 39 as at 16000 Hz; --fs gives the streams' rate, --ccord "
                "their order.\n");
  r = run_program(VELKDECODER_PATH, {f0, cc, out, "--ccord=49"});
  EXPECT_EQ(r.out, "");
  r = run_program(VELKDECODER_PATH, {f0, cc, out, "--fs=44100"});
  EXPECT_EQ(r.out, "");
}

// The loudness, post-filter and compression tables describe 16 kHz spectra: at another rate they
// are switched off with a warning; a rate outside the range is an argument error.
TEST_F(RateMismatch, TheFiltersAreSwitchedOffAtOtherRatesAndBadRatesRefused) {
  const RunResult plain = run_program(VELKDECODER_PATH, {f0, cc, fv, out, "--fs=44100"});
  const std::string expected = file_contents(out);
  const RunResult r =
      run_program(VELKDECODER_PATH, {f0, cc, fv, out, "--fs=44100", "--fpfilt=0.5", "--floud=1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Warning: floud, fpfilt and fdrc not applicable at 44100 Hz.\n");
  EXPECT_EQ(file_contents(out), expected);
  for (const char* rate : {"--fs=7999", "--fs=48001", "--fs=0"}) {
    const RunResult bad = run_program(VELKDECODER_PATH, {f0, cc, fv, dir.path("bad.wav"), rate});
    EXPECT_EQ(bad.status, 255) << rate;
    const std::string range =
        "Error: " + std::string(rate) + " lies outside the supported rates, 8000 to 48000 Hz.\n";
    EXPECT_EQ(bad.out.substr(0, range.size()), range) << rate;
    EXPECT_TRUE(refusesargument(bad.out.substr(range.size()), "velkdecoder", rate + std::string(":")))
        << bad.out;
    EXPECT_EQ(file_size(dir.path("bad.wav")), -1);
  }
}

// --fs=16000 reads any file as the 16 kHz analysis does, and gives the streams of the same
// signal stored as a 16 kHz file; decoding them with --fs=16000 is the default decoding.
TEST(RateOptions, SixteenKilohertzIsTodaysPath) {
  TempDir dir;
  const std::string plain = dir.write("plain.wav", wav_bytes(harmonic_voice(16000, 0.5, 150.0)));
  ASSERT_EQ(run_program(VELKCODER_PATH, {plain, dir.path("a.f0"), dir.path("a.cc"), dir.path("a.fv")}).status,
            0);
  ASSERT_EQ(
      run_program(VELKCODER_PATH, {plain, dir.path("b.f0"), dir.path("b.cc"), dir.path("b.fv"), "--fs=16000"})
          .status,
      0);
  for (const char* s : {".f0", ".cc", ".fv"})
    EXPECT_EQ(file_contents(dir.path(std::string("a") + s)), file_contents(dir.path(std::string("b") + s)))
        << s;
  ASSERT_EQ(
      run_program(VELKDECODER_PATH, {dir.path("a.f0"), dir.path("a.cc"), dir.path("a.fv"), dir.path("a.wav")})
          .status,
      0);
  ASSERT_EQ(run_program(VELKDECODER_PATH, {dir.path("a.f0"), dir.path("a.cc"), dir.path("a.fv"),
                                           dir.path("b.wav"), "--fs=16000"})
                .status,
            0);
  EXPECT_EQ(file_contents(dir.path("a.wav")), file_contents(dir.path("b.wav")));
  // Every explicit option overrides the rate's default: 44.1 kHz with the 16 kHz settings.
  const std::string wide = dir.write("wide.wav", wav_bytes(harmonic_voice(44100, 0.5, 150.0), 1, 44100));
  ASSERT_EQ(run_program(VELKCODER_PATH, {wide, dir.path("c.f0"), dir.path("c.cc"), "--lframe=80",
                                         "--ccord=24", "--alpha=0.42"})
                .status,
            0);
  const size_t frames = floats_of(file_contents(dir.path("c.f0"))).size();
  EXPECT_NEAR(static_cast<double>(frames), 22050 / 80.0, 1.0);
  EXPECT_EQ(file_size(dir.path("c.cc")), static_cast<long>(frames * 25 * 4));
}

}  // namespace
