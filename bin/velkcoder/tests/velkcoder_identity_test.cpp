// Output identity of the two programs on the bundled samples: the log-F0 and voiced-frequency
// streams of every sample and encoder option set are byte-identical to the committed checksums,
// the cepstra of one sample stay within 1e-5 of the committed streams, and the decoder's WAV files
// made from that sample's committed streams are byte-identical to theirs. The references were
// made by the programs before their speed work; speed changes must leave these results alone.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "childprocess.h"

namespace {

const std::string samplesdir = VELK_SAMPLES_DIR;
const std::string datadir = samplesdir + "/../bin/velkcoder/tests/data/identity";

// The sample whose cepstra and decoder outputs are committed.
const std::string refsample = "it_vm-goodbye";
const std::string refprefix = datadir + "/goodbye.";

struct optionset {
  const char* name;
  std::vector<std::string> args;
};

const std::vector<optionset> encodersets = {
    {"default", {}},
    {"ccmeth0", {"--ccmeth=0"}},
    {"ccmeth2", {"--ccmeth=2"}},
    {"ccmeth3", {"--ccmeth=3"}},
    {"ccmeth4", {"--ccmeth=4"}},
    {"f0acc3", {"--f0acc=3"}},
};

const std::vector<optionset> decodersets = {
    {"decode-default", {}},
    {"decode-modified",
     {"--fpitch=1.3", "--fvpitch=0.8", "--fdur=1.5", "--fwarp=0.1", "--floud=1", "--fpfilt=0.5", "--fdrc=0.5",
      "--wavnorm=1"}},
    {"decode-lowered", {"--fpitch=0.7", "--fdur=0.6", "--fwarp=-0.1", "--floud=-1"}},
};

const std::vector<std::string> samples = {"Front_Center", "Front_Left", "Rear_Right", "en_vm-deleted",
                                          "it_vm-goodbye"};

// 64-bit FNV-1a of the bytes.
std::string fnv1a(const std::string& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char b : bytes) {
    h ^= b;
    h *= 0x100000001b3ull;
  }
  char text[17];
  snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

// "sample set stream" -> checksum, from the committed list.
std::map<std::string, std::string> checksums() {
  std::map<std::string, std::string> sums;
  std::ifstream in(datadir + "/checksums.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string sample, set, stream, sum;
    fields >> sample >> set >> stream >> sum;
    sums[sample + " " + set + " " + stream] = sum;
  }
  return sums;
}

std::vector<std::string> withargs(std::vector<std::string> files, const std::vector<std::string>& args) {
  files.insert(files.end(), args.begin(), args.end());
  return files;
}

struct encodercase {
  std::string sample;
  optionset set;
};

void PrintTo(const optionset& o, std::ostream* os) {
  *os << o.name;
}

void PrintTo(const encodercase& c, std::ostream* os) {
  *os << c.sample << " " << c.set.name;
}

std::vector<encodercase> encodercases() {
  std::vector<encodercase> cases;
  for (const std::string& s : samples)
    for (const optionset& o : encodersets) cases.push_back({s, o});
  return cases;
}

std::string casename(const std::string& text) {
  std::string name;
  for (char c : text) name += isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

class EncoderIdentity : public testing::TestWithParam<encodercase> {};

TEST_P(EncoderIdentity, StreamsMatchTheReference) {
  const encodercase& c = GetParam();
  const auto sums = checksums();
  TempDir tmp;
  const std::string lf0 = tmp.path("out.lf0"), cc = tmp.path("out.cc"), fv = tmp.path("out.fv");
  const RunResult r =
      run_program(VELKCODER_PATH, withargs({samplesdir + "/" + c.sample + ".wav", lf0, cc, fv}, c.set.args));
  ASSERT_TRUE(r.exited);
  ASSERT_EQ(r.status, 0);
  const std::string key = c.sample + " " + c.set.name + " ";
  ASSERT_EQ(sums.count(key + "lf0"), 1u) << "no reference for " << key;
  EXPECT_EQ(fnv1a(file_contents(lf0)), sums.at(key + "lf0")) << "log-F0 stream changed";
  EXPECT_EQ(fnv1a(file_contents(fv)), sums.at(key + "fv")) << "voiced-frequency stream changed";
  if (c.sample != refsample) return;
  const std::vector<float> got = floats_of(file_contents(cc));
  const std::vector<float> want = floats_of(file_contents(refprefix + c.set.name + ".cc"));
  ASSERT_FALSE(want.empty());
  ASSERT_EQ(got.size(), want.size());
  double worst = 0.0;
  for (size_t i = 0; i < want.size(); ++i) worst = std::fmax(worst, std::fabs(double(got[i]) - want[i]));
  EXPECT_LE(worst, 1e-5) << "largest cepstral deviation";
}

INSTANTIATE_TEST_SUITE_P(Samples, EncoderIdentity, testing::ValuesIn(encodercases()),
                         [](const testing::TestParamInfo<encodercase>& info) {
                           return casename(info.param.sample + "_" + info.param.set.name);
                         });

class DecoderIdentity : public testing::TestWithParam<optionset> {};

TEST_P(DecoderIdentity, WavMatchesTheReference) {
  const optionset& o = GetParam();
  const auto sums = checksums();
  const std::string key = refsample + " " + o.name + " wav";
  ASSERT_EQ(sums.count(key), 1u) << "no reference for " << key;
  TempDir tmp;
  const std::string wav = tmp.path("out.wav");
  const RunResult r = run_program(
      VELKDECODER_PATH,
      withargs({refprefix + "default.lf0", refprefix + "default.cc", refprefix + "default.fv", wav}, o.args));
  ASSERT_TRUE(r.exited);
  ASSERT_EQ(r.status, 0);
  ASSERT_GT(file_size(wav), 44);
  EXPECT_EQ(fnv1a(file_contents(wav)), sums.at(key));
}

INSTANTIATE_TEST_SUITE_P(Modifications, DecoderIdentity, testing::ValuesIn(decodersets),
                         [](const testing::TestParamInfo<optionset>& info) {
                           return casename(info.param.name);
                         });

}  // namespace
