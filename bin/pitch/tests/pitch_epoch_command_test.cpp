// The pitch command with the epoch tracker (-a 1) and with RIFF/WAVE input:
// accuracy on signals of known F0, output types, the unvoiced cost, WAV and
// float input giving the same track, and refusals.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "synth_signals.h"

namespace {

const double kFs = 16000.0;

struct Outcome {
  int status = -1;
  std::vector<float> values;
  std::string err;
};

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void put32(std::string* s, uint32_t v) {
  for (int i = 0; i < 4; i++) s->push_back((char)(v >> (8 * i) & 0xFF));
}
void put16(std::string* s, uint16_t v) {
  s->push_back((char)(v & 0xFF));
  s->push_back((char)(v >> 8));
}

// A mono RIFF/WAVE file: format tag 1 (16-bit) or 7 (8-bit mu-law codes in data).
std::string wav_file(const std::string& data, uint32_t rate, uint16_t tag) {
  const uint16_t bits = tag == 7 ? 8 : 16;
  std::string s = "RIFF";
  put32(&s, 36 + (uint32_t)data.size());
  s += "WAVEfmt ";
  put32(&s, 16);
  put16(&s, tag);
  put16(&s, 1);
  put32(&s, rate);
  put32(&s, rate * bits / 8);
  put16(&s, bits / 8);
  put16(&s, bits);
  s += "data";
  put32(&s, (uint32_t)data.size());
  return s + data;
}

std::vector<int16_t> rounded(const std::vector<float>& x) {
  std::vector<int16_t> s(x.size());
  for (size_t i = 0; i < x.size(); i++) s[i] = (int16_t)std::lround(x[i]);
  return s;
}

std::string pcm16(const std::vector<int16_t>& s) {
  std::string d;
  for (int16_t v : s) put16(&d, (uint16_t)v);
  return d;
}

class EpochCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/pitch_epoch_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    for (const char* f : {"/in", "/out.f32", "/err.txt"}) remove((dir_ + f).c_str());
    rmdir(dir_.c_str());
  }
  std::string in() const { return dir_ + "/in"; }

  void write_bytes(const std::string& bytes) const {
    std::ofstream f(in(), std::ios::binary);
    f.write(bytes.data(), (std::streamsize)bytes.size());
  }
  void write_floats(const std::vector<float>& x) const {
    write_bytes(std::string(reinterpret_cast<const char*>(x.data()), x.size() * sizeof(float)));
  }

  // Runs the command with the arguments; input is redirected from the input file.
  Outcome run(const std::string& args) const {
    const std::string cmd = std::string(PITCH_PATH) + " " + args + " < " + in() + " > " + dir_ +
                            "/out.f32 2> " + dir_ + "/err.txt";
    const int rc = std::system(cmd.c_str());
    Outcome r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    const std::string out = slurp(dir_ + "/out.f32");
    r.values.resize(out.size() / sizeof(float));
    if (!r.values.empty()) memcpy(r.values.data(), out.data(), r.values.size() * sizeof(float));
    r.err = slurp(dir_ + "/err.txt");
    return r;
  }

  std::string dir_;
};

// Share of frames away from the ends that are unvoiced or more than 20 % off.
double gross_error_rate(const std::vector<float>& f0, double f0_start, double f0_end, int n) {
  int counted = 0, gross = 0;
  for (size_t k = 0; k < f0.size(); k++) {
    const int at = (int)k * 80;
    if (at < 400 || at > n - 400) continue;
    const double truth = f0_start + (f0_end - f0_start) * at / n;
    counted++;
    if (std::fabs(f0[k] - truth) > 0.2 * truth) gross++;
  }
  return counted ? (double)gross / counted : 1.0;
}

int voiced_count(const std::vector<float>& f0) {
  int v = 0;
  for (float x : f0) v += x > 0.0f;
  return v;
}

TEST_F(EpochCommand, KnownF0) {
  struct Case {
    double f0_start, f0_end, snr_db;
  };
  const int n = 3 * 16000;
  for (const Case& c : {Case{80, 80, 0}, Case{200, 200, 0}, Case{350, 350, 0},
                        Case{100, 250, 0}, Case{120, 120, 20}, Case{100, 250, 20}}) {
    std::vector<float> x = voiced_signal(c.f0_start, c.f0_end, n, kFs);
    if (c.snr_db > 0.0) add_noise(x, c.snr_db, 7);
    write_floats(x);
    const Outcome r = run("-a 1");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.values.size(), (size_t)(n / 80));
    EXPECT_LT(gross_error_rate(r.values, c.f0_start, c.f0_end, n), 0.02)
        << c.f0_start << "->" << c.f0_end << " Hz, SNR " << c.snr_db;
  }
}

TEST_F(EpochCommand, SilenceIsUnvoiced) {
  write_floats(std::vector<float>(16000, 0.0f));
  const Outcome r = run("-a 1 -o 1");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.values.size(), 200u);
  EXPECT_EQ(voiced_count(r.values), 0);
}

TEST_F(EpochCommand, OutputTypesOfA125HzVoice) {
  std::vector<float> x = voiced_signal(125, 125, 8000, kFs);
  x.resize(16000, 0.0f);
  write_floats(x);
  const Outcome period = run("-a 1 -o 0"), hz = run("-a 1 -o 1"), logf0 = run("-a 1 -o 2");
  ASSERT_EQ(hz.values.size(), 200u);
  EXPECT_EQ(period.values[50], 128.0f);
  EXPECT_EQ(hz.values[50], 125.0f);
  EXPECT_NEAR(logf0.values[50], 4.8283f, 1e-4f);
  EXPECT_EQ(period.values[150], 0.0f);
  EXPECT_EQ(hz.values[150], 0.0f);
  EXPECT_EQ(logf0.values[150], -1.0E10f);
}

// A higher unvoiced cost keeps more of a noisy voice voiced.
TEST_F(EpochCommand, UnvoicedCostMovesTheVoicingDecision) {
  std::vector<float> x = voiced_signal(150, 150, 16000, kFs);
  add_noise(x, 0.0, 5);
  write_floats(x);
  const Outcome low = run("-a 1 -t 0.2"), standard = run("-a 1"), high = run("-a 1 -t 3");
  ASSERT_EQ(standard.status, 0) << standard.err;
  EXPECT_LE(voiced_count(low.values), voiced_count(standard.values));
  EXPECT_LE(voiced_count(standard.values), voiced_count(high.values));
  EXPECT_LT(voiced_count(low.values), voiced_count(high.values));
}

// Real speech as a 16-bit WAV file and as the same samples in floats.
TEST_F(EpochCommand, WavAndFloatInputGiveTheSameTrack) {
  const std::string wav = slurp(std::string(VELK_SAMPLES_DIR) + "/en_vm-deleted.wav");
  ASSERT_GT(wav.size(), 44u);
  std::vector<float> x((wav.size() - 44) / 2);
  for (size_t i = 0; i < x.size(); i++) {
    int16_t s;
    memcpy(&s, wav.data() + 44 + 2 * i, 2);
    x[i] = s;
  }
  write_floats(x);
  const Outcome from_floats = run("-a 1 -s 16");
  write_bytes(wav);
  const Outcome from_stdin = run("-a 1 -s 8");  // the file's rate replaces -s
  const Outcome from_file = run("-a 1 " + in() + " < /dev/null");
  ASSERT_EQ(from_floats.status, 0) << from_floats.err;
  ASSERT_EQ(from_stdin.status, 0) << from_stdin.err;
  ASSERT_EQ(from_file.status, 0) << from_file.err;
  EXPECT_EQ(from_floats.values.size(), (x.size() + 79) / 80);
  EXPECT_EQ(from_stdin.values, from_floats.values);
  EXPECT_EQ(from_file.values, from_floats.values);
  EXPECT_GT(voiced_count(from_floats.values), (int)from_floats.values.size() / 2);
  // The dynamic-programming tracker reads WAV files too.
  const Outcome dp_wav = run("-a 0");
  write_floats(x);
  const Outcome dp_floats = run("-a 0");
  ASSERT_EQ(dp_wav.status, 0) << dp_wav.err;
  EXPECT_EQ(dp_wav.values, dp_floats.values);
}

// An 8 kHz mu-law file: its rate is used and every byte is one sample.
TEST_F(EpochCommand, UlawWav) {
  const std::vector<float> x = voiced_signal(125, 125, 8000, 8000.0);
  std::string codes;
  for (float v : x) {
    // Mu-law code of v / 4 by search over the decoder's values: the code whose
    // decoded value is nearest.
    int best = 0xFF;
    double best_err = 1e30;
    for (int c = 0; c < 256; c++) {
      const int u = ~c & 0xFF;
      const int t = (((u & 0xF) << 3) + 132) << ((u & 0x70) >> 4);
      const double d = (u & 0x80) ? (132 - t) / 4 : (t - 132) / 4;
      if (std::fabs(d - v / 4.0) < best_err) {
        best_err = std::fabs(d - v / 4.0);
        best = c;
      }
    }
    codes.push_back((char)best);
  }
  write_bytes(wav_file(codes, 8000, 7));
  const Outcome r = run("-a 1 -p 40 -o 0");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.values.size(), 200u);  // 8000 samples, not half of them
  EXPECT_NEAR(r.values[100], 64.0f, 1.0f);
}

TEST_F(EpochCommand, Refusals) {
  write_floats(voiced_signal(150, 150, 4000, kFs));
  const Outcome range = run("-a 1 -L 400 -H 60");
  EXPECT_EQ(range.status, 1);
  EXPECT_EQ(range.err, "Failed to initialize variables\n");
  EXPECT_TRUE(range.values.empty());

  const Outcome shift = run("-a 1 -p 0");
  EXPECT_EQ(shift.status, 1);
  EXPECT_EQ(shift.err.rfind("pitch : Invalid value '0' for option '-p'!\n", 0), 0u) << shift.err;

  write_bytes(wav_file(pcm16(rounded(voiced_signal(150, 150, 4000, kFs))), 16000, 3));
  const Outcome float_wav = run("-a 1");
  EXPECT_EQ(float_wav.status, 1);
  EXPECT_EQ(float_wav.err, "pitch : Only 16-bit linear or 8-bit mu-law WAV data can be read from standard input!\n");

  std::string stereo = wav_file(pcm16(std::vector<int16_t>(800, 0)), 16000, 1);
  stereo[22] = 2;
  write_bytes(stereo);
  const Outcome two = run("-a 1");
  EXPECT_EQ(two.status, 1);
  EXPECT_EQ(two.err, "Attempt to load multi channel audio\npitch : Cannot load the WAV file standard input!\n");
  EXPECT_TRUE(two.values.empty());

  std::string truncated = wav_file(pcm16(std::vector<int16_t>(800, 0)), 16000, 1);
  truncated.resize(truncated.size() - 100);
  write_bytes(truncated);
  const Outcome cut = run("-a 1");
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.err, "WaveIO::ReadSamples: only 750 out of 800 values read\n"
                     "pitch : Cannot load the WAV file standard input!\n");
}

TEST_F(EpochCommand, UsageNamesTheEpochTracker) {
  write_floats({});
  const Outcome help = run("-h");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.err.find("                 1 (epoch tracker)\n"), std::string::npos);
  EXPECT_NE(help.err.find("       -t t  : unvoiced cost of tracker 1        [0.9]\n"), std::string::npos);
}

}  // namespace
