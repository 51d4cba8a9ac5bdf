// The pitch command with the epoch tracker (-a 1) and with RIFF/WAVE input:
// accuracy on signals of known F0, output types, the unvoiced cost, WAV and
// float input giving the same track, mu-law files, refusals and usage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "wavchunks.h"
#include "childprocess.h"
#include "synthsignals.h"
#include "testfiles.h"

using namespace velk;

namespace {

struct outcome {
  int status = -1;
  std::vector<float> values;
  std::string err;
};

// A mono RIFF/WAVE file; format tag 7 marks mu-law bytes, any other 16-bit samples.
std::string wav_file(const std::string& data, uint32_t rate, uint16_t tag) {
  return wav_header(1, rate, tag == 7 ? 8 : 16, (unsigned)data.size(), tag) + data;
}

std::string pcm16(const std::vector<float>& x) {
  std::string d;
  for (float v : x) d += le_bytes((uint16_t)(int16_t)std::lround(v), 2);
  return d;
}

class EpochCommand : public ::testing::Test {
 protected:
  std::string in() const { return dir_.path("in"); }

  void write_bytes(const std::string& bytes) const { std::ofstream(in(), std::ios::binary) << bytes; }
  void write_floats(const std::vector<float>& x) const {
    write_bytes(std::string(reinterpret_cast<const char*>(x.data()), x.size() * sizeof(float)));
  }

  // Runs the command with the words of `args` as arguments and standard input from the
  // input file, or from `input` when given.
  outcome run(const std::string& args, const std::string& input = "") const {
    RunSettings how;
    how.inputfile = input.empty() ? in() : input;
    const RunResult child = run_program(PITCH_PATH, words(args), how);
    outcome r;
    r.status = child.status;
    r.values.resize(child.out.size() / sizeof(float));
    if (!r.values.empty()) memcpy(r.values.data(), child.out.data(), r.values.size() * sizeof(float));
    r.err = child.err;
    return r;
  }

  TempDir dir_;
};

using Case = glidecase;

class Accuracy : public EpochCommand, public ::testing::WithParamInterface<Case> {};

// Frames away from the ends that are unvoiced or more than 20 % off the truth:
// under 2 % of them.
TEST_P(Accuracy, GrossErrorsUnderTwoPercent) {
  const Case c = GetParam();
  const int n = 3 * 16000;
  std::vector<float> x = voiced_signal(c.f0_start, c.f0_end, n, 16000.0);
  if (c.snr_db > 0.0) add_noise(x, c.snr_db, 7);
  write_floats(x);
  const outcome r = run("-a 1");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.values.size(), (size_t)(n / 80));
  int counted = 0, gross = 0;
  for (int k = 5; k * 80 <= n - 400; k++, counted++) {
    const double truth = c.f0_start + (c.f0_end - c.f0_start) * k * 80 / n;
    gross += std::fabs(r.values[k] - truth) > 0.2 * truth;
  }
  EXPECT_LT(gross, 0.02 * counted);
}

INSTANTIATE_TEST_SUITE_P(KnownF0, Accuracy, ::testing::ValuesIn(glidecases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return glidecasename(info.param);
                         });

// Half a second of 125 Hz voice, then silence.
TEST_F(EpochCommand, OutputTypesAndSilence) {
  std::vector<float> x = voiced_signal(125, 125, 8000, 16000.0);
  x.resize(16000, 0.0f);
  write_floats(x);
  const outcome period = run("-a 1 -o 0"), hz = run("-a 1 -o 1"), logf0 = run("-a 1 -o 2");
  ASSERT_EQ(hz.values.size(), 200u);
  EXPECT_EQ(period.values[50], 128.0f);
  EXPECT_EQ(hz.values[50], 125.0f);
  EXPECT_NEAR(logf0.values[50], 4.8283f, 1e-4f);
  for (int k = 110; k < 200; k++) {
    EXPECT_EQ(period.values[k], 0.0f);
    EXPECT_EQ(hz.values[k], 0.0f);
    EXPECT_EQ(logf0.values[k], -1.0E10f);
  }
}

// A higher unvoiced cost keeps more of a noisy voice voiced.
TEST_F(EpochCommand, UnvoicedCostMovesTheVoicingDecision) {
  std::vector<float> x = voiced_signal(150, 150, 16000, 16000.0);
  add_noise(x, 0.0, 5);
  write_floats(x);
  const int low = voiced_count(run("-a 1 -t 0.2").values), standard = voiced_count(run("-a 1").values),
            high = voiced_count(run("-a 1 -t 3").values);
  EXPECT_LE(low, standard);
  EXPECT_LE(standard, high);
  EXPECT_LT(low, high);
}

// Real speech as a 16-bit WAV file and as the same samples in floats, for both trackers.
TEST_F(EpochCommand, WavAndFloatInputGiveTheSameTrack) {
  const std::string wav = file_contents(std::string(VELK_SAMPLES_DIR) + "/en_vm-deleted.wav");
  ASSERT_GT(wav.size(), 44u);
  std::vector<float> x((wav.size() - 44) / 2);
  for (size_t i = 0; i < x.size(); i++)
    x[i] = (int16_t)((uint8_t)wav[44 + 2 * i] | (uint8_t)wav[45 + 2 * i] << 8);
  for (const char* algorithm : {"-a 1", "-a 0"}) {
    write_floats(x);
    const outcome floats = run(algorithm);
    write_bytes(wav);
    const outcome piped = run(std::string(algorithm) + " -s 8");  // the file's rate replaces -s
    const outcome named = run(std::string(algorithm) + " " + in(), "/dev/null");
    ASSERT_EQ(floats.status, 0) << floats.err;
    EXPECT_EQ(floats.values.size(), (x.size() + 79) / 80);
    EXPECT_GT(voiced_count(floats.values), (int)floats.values.size() / 2);
    EXPECT_EQ(piped.values, floats.values) << algorithm;
    EXPECT_EQ(named.values, floats.values) << algorithm;
  }
}

// The tracks of the bundled recordings (16 kHz, and 22.05, 44.1 and 48 kHz under wide/) and of
// one of them read as float samples at 8 and 96 kHz, at several frame shifts, output types and
// settings, are byte for byte those that the tracker holding the whole signal in memory wrote
// (committed beside this test, made before the tracker worked in passes over temporary files).
TEST_F(EpochCommand, TracksAreThoseOfTheWholeSignalTracker) {
  struct Setting {
    const char* suffix;
    const char* args;
  };
  const std::vector<Setting> narrow = {
      {"a", "-a 1"}, {"b", "-a 1 -p 37 -o 2 -t 0.5"}, {"c", "-a 1 -p 160 -o 0 -L 40 -H 500"}};
  const std::vector<Setting> wide = {{"a", "-a 1 -p 100"}, {"b", "-a 1 -p 441 -o 0 -L 50 -H 300"}};
  int compared = 0;
  auto expect_reference = [&](const std::string& file, const std::string& reference,
                              const std::string& args) {
    RunSettings how;
    how.inputfile = "/dev/null";
    const RunResult r = run_program(PITCH_PATH, words(args + " " + file), how);
    EXPECT_EQ(r.status, 0) << args << " " << file << ": " << r.err;
    const std::string expected = file_contents(std::string(VELK_EPOCH_REFERENCES) + "/" + reference);
    ASSERT_FALSE(expected.empty()) << reference;
    EXPECT_TRUE(r.out == expected) << args << " " << file << " differs from " << reference;
    compared++;
  };
  for (const char* name : {"Front_Center", "Front_Left", "Rear_Right", "en_vm-deleted", "it_vm-goodbye"})
    for (const Setting& s : narrow)
      expect_reference(std::string(VELK_SAMPLES_DIR) + "/" + name + ".wav",
                       std::string(name) + "." + s.suffix + ".f32", s.args);
  for (const char* name : {"alsa48k_Front_Center", "alsa48k_Front_Left", "alsa48k_Rear_Right",
                           "klettres44k_en_letters", "ktuberling22k_ca_words"})
    for (const Setting& s : wide)
      expect_reference(std::string(VELK_SAMPLES_DIR) + "/wide/" + name + ".wav",
                       std::string(name) + "." + s.suffix + ".f32", s.args);
  const std::string wav = file_contents(std::string(VELK_SAMPLES_DIR) + "/it_vm-goodbye.wav");
  ASSERT_GT(wav.size(), 44u);
  std::vector<float> x((wav.size() - 44) / 2);
  for (size_t i = 0; i < x.size(); i++)
    x[i] = (int16_t)((uint8_t)wav[44 + 2 * i] | (uint8_t)wav[45 + 2 * i] << 8);
  write_floats(x);
  expect_reference(in(), "it_vm-goodbye.s8.f32", "-a 1 -s 8 -p 40 -L 40 -H 300");
  expect_reference(in(), "it_vm-goodbye.s96.f32", "-a 1 -s 96 -p 480");
  EXPECT_EQ(compared, 27);
}

// An 8 kHz mu-law file: its rate is used, every byte is one sample.
TEST_F(EpochCommand, UlawWav) {
  std::string codes;
  for (float v : voiced_signal(125, 125, 8000, 8000.0))
    codes.push_back((char)ulawcodec::int16toulaw((int16_t)(v / 4)));
  write_bytes(wav_file(codes, 8000, 7));
  const outcome r = run("-a 1 -p 40 -o 0");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.values.size(), 200u);
  // Away from the ends every frame holds the period of 64 samples.
  for (size_t k = 10; k < 190; k++) EXPECT_NEAR(r.values[k], 64.0f, 1.0f) << "frame " << k;
}

TEST_F(EpochCommand, Refusals) {
  write_floats(voiced_signal(150, 150, 4000, 16000.0));
  // Both trackers refuse the same settings with the same messages, then the usage text.
  const outcome range = run("-a 1 -L 400 -H 60");
  EXPECT_EQ(range.status, 1);
  EXPECT_EQ(range.err.rfind("ERROR: min(max)_f0 parameter inconsistent with sampling frequency.\n"
                            "invalid/inconsistent parameters -- exiting.\n\n pitch - F0 extraction\n",
                            0),
            0u)
      << range.err;
  EXPECT_TRUE(range.values.empty());
  const outcome shift = run("-a 1 -p 0");
  EXPECT_EQ(shift.status, 1);
  EXPECT_EQ(shift.err.rfind("ERROR: frame_step parameter must be between [1/sampling rate, 0.1].\n", 0), 0u)
      << shift.err;

  // What the sound reader cannot read is refused with its reason; nothing is written.
  const std::string silence = pcm16(std::vector<float>(800, 0.0f));
  std::string short_fmt = wav_file(silence, 16000, 1);
  short_fmt[16] = 15;
  const std::vector<std::pair<std::string, std::string>> files = {
      {wav_file(silence, 16000, 3),
       "pitch : Cannot read the sound file standard input: format chunk missing or damaged!\n"},
      {short_fmt, "pitch : Cannot read the sound file standard input: format chunk missing or damaged!\n"},
      {wav_file(silence, 16000, 0x55),
       "pitch : Cannot read the sound file standard input: compressed format (code 0x55) not supported!\n"},
      {"RIFF",
       "pitch : Cannot read the sound file standard input: not a sound file (RIFF/WAVE header missing)!\n"}};
  for (const auto& f : files) {
    write_bytes(f.first);
    const outcome r = run("-a 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, f.second);
    EXPECT_TRUE(r.values.empty());
  }
}

// A WAV file of any layout: `data` holds the sample frames; the data chunk declares
// promised_bytes when given (a file cut short), else the size of `data`.
std::string wav_layout(const std::string& data, uint32_t rate, uint16_t channels, uint16_t bits, uint16_t tag,
                       uint32_t promised_bytes = 0) {
  const uint32_t size = promised_bytes ? promised_bytes : (uint32_t)data.size();
  return wav_header(channels, rate, bits, size, tag) + data;
}

std::string float32_bytes(const std::vector<float>& x) {
  return std::string(reinterpret_cast<const char*>(x.data()), x.size() * sizeof(float));
}

// Sound files are read by the vocoder's sound reader at their own rate: channels averaged, any
// sample width, rates outside the vocoder's range, files cut short (with warnings), pipes. Each
// layout holds the same samples as a float stream, whose track it must give exactly.
TEST_F(EpochCommand, SoundFilesAreReadAsTheVocoderReadsThem) {
  const std::string wav = file_contents(std::string(VELK_SAMPLES_DIR) + "/en_vm-deleted.wav");
  std::vector<float> x(12000);
  for (size_t i = 0; i < x.size(); i++)
    x[i] = (int16_t)((uint8_t)wav[44 + 2 * i] | (uint8_t)wav[45 + 2 * i] << 8);
  std::string stereo, pcm24, unit;
  std::vector<float> scaled;
  for (float v : x) {
    stereo += le_bytes((uint16_t)(int16_t)v, 2) + le_bytes((uint16_t)(int16_t)v, 2);
    pcm24 += le_bytes((uint32_t)((int32_t)v * 256), 3);
    scaled.push_back(v / 32768.0f);
  }
  unit = float32_bytes(scaled);
  struct Case {
    std::string bytes, rate_option, warning;
  };
  const std::vector<Case> cases = {
      {wav_layout(stereo, 16000, 2, 16, 1), "", "Warning: standard input: 2 channels averaged to one.\n"},
      {wav_layout(pcm24, 16000, 1, 24, 1), "", ""},
      {wav_layout(unit, 16000, 1, 32, 3), "", ""},
      {wav_layout(pcm16(x), 96000, 1, 16, 1), " -s 96", ""},
      {wav_layout(pcm16(x), 6000, 1, 16, 1), " -s 6", ""},
  };
  for (const char* algorithm : {"-a 0", "-a 1"}) {
    for (const Case& c : cases) {
      write_floats(x);
      const outcome floats = run(algorithm + c.rate_option);
      ASSERT_EQ(floats.status, 0) << floats.err;
      write_bytes(c.bytes);
      const outcome r = run(algorithm);
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.err, c.warning);
      EXPECT_EQ(r.values, floats.values) << algorithm << c.rate_option << " " << c.warning;
    }
    // A data chunk promising more than the file holds: the samples present, with a warning.
    write_floats(std::vector<float>(x.begin(), x.begin() + 10000));
    const outcome present = run(algorithm);
    write_bytes(wav_layout(pcm16(std::vector<float>(x.begin(), x.begin() + 10000)), 16000, 1, 16, 1, 24000));
    const outcome cut = run(algorithm);
    EXPECT_EQ(cut.status, 0);
    EXPECT_EQ(cut.err, "Warning: standard input: header promises 12000 samples, 10000 present.\n");
    EXPECT_EQ(cut.values, present.values);

    // Through a pipe, read once, and without a temporary file anywhere.
    write_bytes(wav_layout(stereo, 16000, 2, 16, 1));
    const outcome named = run(std::string(algorithm) + " " + in(), "/dev/null");
    RunSettings how;
    how.inputfile = "/dev/null";
    const RunResult piped =
        run_program("/bin/sh", {"-c", "cat \"$1\" | \"$0\" $2", PITCH_PATH, in(), algorithm}, how);
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, float32_bytes(named.values));
  }
}

// A sound file on a pipe is held in ordinary memory, within the address-space limit: a stream that
// outgrows it (a WAV file followed by endless bytes) ends the command with the sound reader's
// message and status 1, as velkcoder's pipes do. Under the address sanitizer, which allows no
// address-space limit, its allocator refuses the large blocks instead.
TEST_F(EpochCommand, APipedSoundFileCountsAgainstTheMemoryLimit) {
#ifdef __SANITIZE_ADDRESS__
  const std::string memory =
      "export "
      "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}allocator_may_return_null=1:max_allocation_size_mb=128";
#else
  const std::string memory = "ulimit -v 150000";
#endif
  const std::string wav = std::string(VELK_SAMPLES_DIR) + "/en_vm-deleted.wav";
  RunSettings how;
  how.inputfile = "/dev/null";
  how.seconds = 60;
  for (const char* tail : {"head -c 300M /dev/zero", "cat /dev/zero"}) {
    const RunResult r = run_program(
        "/bin/bash", {"-c", "(cat \"$1\"; $2) | (eval \"$3\"; exec \"$0\")", PITCH_PATH, wav, tail, memory},
        how);
    EXPECT_TRUE(r.exited) << tail;
    EXPECT_EQ(r.status, 1) << tail;
    // The message ends standard error (the sanitizer's allocator says what it refused first).
    const std::string message = "pitch : Cannot read the sound file standard input: not enough memory!\n";
    EXPECT_EQ(r.err.substr(r.err.size() - std::min(r.err.size(), message.size())), message) << tail << r.err;
    EXPECT_EQ(r.out, "");
  }
}

// A non-finite sample of a float file (or one beyond the float range on the 16-bit scale) ends
// the input there: the frames before it, then the message and status 1.
TEST_F(EpochCommand, NonFiniteSamplesOfASoundFileEndItsInput) {
  const std::vector<float> x = voiced_signal(150, 150, 20000, 16000.0);
  std::vector<float> unit;
  for (float v : x) unit.push_back(v / 32768.0f);
  std::vector<float> bad = unit;
  bad[16000] = NAN;
  write_floats(std::vector<float>(x.begin(), x.begin() + 16000));
  const outcome before = run("");
  ASSERT_EQ(before.values.size(), 200u);
  write_bytes(wav_layout(float32_bytes(bad), 16000, 1, 32, 3));
  const outcome r = run("");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "pitch : Input sample is not a finite number in standard input!\n");
  EXPECT_EQ(r.values, before.values);

  // 1e300 in a 64-bit float file is infinite as a float on the 16-bit scale.
  std::string huge;
  for (size_t i = 0; i < 4000; i++) {
    const double v = i == 3000 ? 1e300 : 0.0;
    huge += std::string(reinterpret_cast<const char*>(&v), sizeof v);
  }
  write_bytes(wav_layout(huge, 16000, 1, 64, 3));
  const outcome h = run("");
  EXPECT_EQ(h.status, 1);
  EXPECT_EQ(h.err, "pitch : Input sample is not a finite number in standard input!\n");
  EXPECT_EQ(h.values.size(), 38u);  // the frames of the first 3000 samples
}

TEST_F(EpochCommand, UsageNamesTheEpochTracker) {
  write_floats({});
  const outcome help = run("-h");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.err.find("                 1 (epoch tracker)\n"), std::string::npos);
  EXPECT_NE(help.err.find("       -t t  : unvoiced cost of tracker 1        [0.9]\n"), std::string::npos);
}

}  // namespace
