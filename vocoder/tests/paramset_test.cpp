// The settings record: written text read back to the same record, the exact layout, the refusals
// of texts that are no record, and the size rules of a set.
#include "paramset.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

#include "testfiles.h"

using namespace velk;

namespace {

paramrecord sample() {
  paramrecord r;
  r.fs = 22050;
  r.lframe = 256;
  r.frames = 585;
  r.ccord = 39;
  r.alpha = 0.57;
  r.ccmeth = 2;
  r.morvscale = false;
  r.f0min = 60;
  r.f0max = 487.5;
  r.version = "2.0.0";
  r.lf0 = "k.lf0";
  r.cc = "k.cc";
  r.fv = "k.fv";
  return r;
}

void expectsame(const paramrecord& a, const paramrecord& b) {
  EXPECT_EQ(a.fs, b.fs);
  EXPECT_EQ(a.lframe, b.lframe);
  EXPECT_EQ(a.frames, b.frames);
  EXPECT_EQ(a.ccord, b.ccord);
  EXPECT_EQ(a.alpha, b.alpha);
  EXPECT_EQ(a.ccmeth, b.ccmeth);
  EXPECT_EQ(a.morvscale, b.morvscale);
  EXPECT_EQ(a.f0min, b.f0min);
  EXPECT_EQ(a.f0max, b.f0max);
  EXPECT_EQ(a.version, b.version);
  EXPECT_EQ(a.lf0, b.lf0);
  EXPECT_EQ(a.cc, b.cc);
  EXPECT_EQ(a.fv, b.fv);
}

TEST(ParamRecord, WritesTheDocumentedLayout) {
  EXPECT_EQ(formatparamrecord(sample()),
            "{\n"
            "  \"format\": \"velk parameter set\",\n"
            "  \"version\": \"2.0.0\",\n"
            "  \"fs\": 22050,\n"
            "  \"lframe\": 256,\n"
            "  \"frames\": 585,\n"
            "  \"frame_centre\": \"frame k is centred at sample k * lframe, at k * lframe / fs seconds\",\n"
            "  \"frame_shift_s\": 0.011609977324263039,\n"
            "  \"ccord\": 39,\n"
            "  \"alpha\": 0.57,\n"
            "  \"ccmeth\": 2,\n"
            "  \"morvscale\": false,\n"
            "  \"f0min\": 60,\n"
            "  \"f0max\": 487.5,\n"
            "  \"streams\": {\"lf0\": \"k.lf0\", \"cc\": \"k.cc\", \"fv\": \"k.fv\"}\n"
            "}\n");
  EXPECT_EQ(paramrecordpath("out/k.lf0"), "out/k.lf0.json");
  EXPECT_EQ(recordstreamname("a/b/k.lf0", "a/b/k.cc"), "k.cc");
  EXPECT_EQ(recordstreamname("k.lf0", "k.cc"), "k.cc");
  EXPECT_EQ(recordstreamname("a/k.lf0", "/data/k.cc"), "/data/k.cc");
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(recordstreamname("a/k.lf0", "b/k.cc"), std::string(cwd) + "/b/k.cc");
}

TEST(ParamRecord, ReadsBackWhatItWrites) {
  paramrecord r = sample();
  r.alpha = 0.1 + 0.2;  // needs all 17 digits
  r.fv.clear();
  // names with quotes, controls, UTF-8 and bytes that are no UTF-8
  r.lf0 = "a\"b\\c\td\ne\x1c\xc3\xa9\xe2\x80\xa8\x85\xff.lf0";
  paramrecord back;
  std::string problem;
  ASSERT_EQ(parseparamrecord(formatparamrecord(r), &back, &problem), 0) << problem;
  expectsame(r, back);
}

TEST(ParamRecord, ReadsOtherWritersLayoutAndSkipsUnknownKeys) {
  const std::string text =
      "{\"morvscale\":true,\"alpha\":4.2e-1,\"ccord\":24,\"frames\":0,\"lframe\":80,\"fs\":16000,"
      "\"extra\":[1,{\"x\":[null,false]}],\"format\":\"velk parameter "
      "set\",\"streams\":{\"lf0\":\"\\u00e9\\ud83d\\ude00\"}}";
  paramrecord r;
  std::string problem;
  ASSERT_EQ(parseparamrecord(text, &r, &problem), 0) << problem;
  EXPECT_EQ(r.fs, 16000u);
  EXPECT_EQ(r.ccord, 24u);
  EXPECT_EQ(r.alpha, 0.42);
  EXPECT_EQ(r.lf0, "\xc3\xa9\xf0\x9f\x98\x80");
  EXPECT_TRUE(r.fv.empty());
  // Without F0 bounds (0: not known) the record is written and read back all the same.
  EXPECT_EQ(r.f0min, 0.0);
  paramrecord again;
  ASSERT_EQ(parseparamrecord(formatparamrecord(r), &again, &problem), 0) << problem;
  EXPECT_EQ(again.f0max, 0.0);
}

TEST(ParamRecord, RefusesTextsThatAreNoRecord) {
  const std::string good = formatparamrecord(sample());
  const auto without = [&](const std::string& key) {
    const size_t at = good.find("  \"" + key + "\"");
    return good.substr(0, at) + good.substr(good.find('\n', at) + 1);
  };
  const std::pair<std::string, std::string> cases[] = {
      {"[]", "not a JSON object"},
      {"null", "not a JSON object"},
      {"\"encode\"", "not a JSON object"},
      {"", "not JSON (a missing value at byte 0)"},
      {"{\"fs\": 16000", "not JSON (a missing ',' or closing bracket at byte 12)"},
      {"{} x", "not JSON (more after the value at byte 3)"},
      {"{}", "no \"format\": \"velk parameter set\""},
      {without("fs"), "no \"fs\", a whole number"},
      {without("morvscale"), "no \"morvscale\", true or false"},
      {std::string(40, '[') + std::string(40, ']'), "not JSON (values nested too deep at byte 17)"},
  };
  for (const auto& c : cases) {
    paramrecord r;
    std::string problem;
    EXPECT_EQ(parseparamrecord(c.first, &r, &problem), -1) << c.first;
    EXPECT_EQ(problem, c.second) << c.first;
  }
  std::string text = good;
  text.replace(text.find("22050"), 5, "96000");
  std::string problem;
  paramrecord r;
  EXPECT_EQ(parseparamrecord(text, &r, &problem), -1);
  EXPECT_EQ(problem, "\"fs\" is 96000, not a whole number from 8000 to 48000");
  text = good;
  text.replace(text.find("0.57"), 4, "1.5");
  EXPECT_EQ(parseparamrecord(text, &r, &problem), -1);
  EXPECT_EQ(problem, "\"alpha\" is 1.5, outside -1 to 1");
  text = good;
  text.replace(text.find("256"), 3, "\"256\"");
  EXPECT_EQ(parseparamrecord(text, &r, &problem), -1);
  EXPECT_EQ(problem, "\"lframe\" is not a whole number");
}

TEST(ParamRecord, ReadsFilesAndTellsAbsentFromBad) {
  const std::string dir = testdir();
  paramrecord r;
  std::string problem;
  EXPECT_EQ(readparamrecord((dir + "/none.json").c_str(), &r, &problem), 0);
  std::ofstream(dir + "/good.json") << formatparamrecord(sample());
  ASSERT_EQ(readparamrecord((dir + "/good.json").c_str(), &r, &problem), 1) << problem;
  expectsame(sample(), r);
  std::ofstream(dir + "/bad.json") << "[]";
  EXPECT_EQ(readparamrecord((dir + "/bad.json").c_str(), &r, &problem), -1);
  EXPECT_EQ(problem, "not a JSON object");
  EXPECT_EQ(readparamrecord(dir.c_str(), &r, &problem), -1);  // a folder
}

TEST(ParamRecord, SizesOfAConsistentSet) {
  const paramrecord r = sample();
  std::string problem;
  const uint64_t frames = 585, fv = 585, shortfv = 584;
  EXPECT_EQ(paramsizesproblem(r, "k.lf0", frames, "k.cc", frames * 40, "k.fv", &fv, &problem), 0);
  EXPECT_EQ(paramsizesproblem(r, "k.lf0", frames, "k.cc", frames * 40, "k.fv", nullptr, &problem), 0);
  EXPECT_EQ(paramsizesproblem(r, "k.lf0", 584, "k.cc", frames * 40, "k.fv", &fv, &problem), -1);
  EXPECT_EQ(problem, "k.lf0 holds 584 values, not the 585 of 585 frames");
  EXPECT_EQ(paramsizesproblem(r, "k.lf0", frames, "k.cc", frames * 50, "k.fv", &fv, &problem), -1);
  EXPECT_EQ(problem, "k.cc holds 29250 values, not the 23400 of 585 frames of order 39");
  EXPECT_EQ(paramsizesproblem(r, "k.lf0", frames, "k.cc", frames * 40, "k.fv", &shortfv, &problem), -1);
  EXPECT_EQ(problem, "k.fv holds 584 values, not the 585 of 585 frames");
}

// Without a record the sizes give the order: whole frames of at least one value, an order that
// fits 32 bits; and the voicing must lie at or below half the synthesis rate.
TEST(ParamRecord, OrderAndVoicingOfASetWithoutARecord) {
  uint32_t order = 7;
  EXPECT_EQ(cepstralorderof(585, 585 * 40, &order), 0);
  EXPECT_EQ(order, 39u);
  EXPECT_EQ(cepstralorderof(3, 3, &order), 0);
  EXPECT_EQ(order, 0u);
  order = 7;
  EXPECT_EQ(cepstralorderof(585, 585 * 40 + 1, &order), -1);
  EXPECT_EQ(cepstralorderof(585, 584, &order), -1);
  EXPECT_EQ(cepstralorderof(585, 0, &order), -1);
  EXPECT_EQ(cepstralorderof(1, (uint64_t{1} << 32) + 1, &order), -1);
  EXPECT_EQ(order, 7u) << "a refused size leaves the order alone";
  EXPECT_EQ(cepstralorderof(1, uint64_t{1} << 32, &order), 0);
  EXPECT_EQ(order, UINT32_MAX);

  EXPECT_TRUE(voicingwithinrate(8000.0, 16000));
  EXPECT_FALSE(voicingwithinrate(8000.5, 16000));
  EXPECT_TRUE(voicingwithinrate(0.0, 8000));
  EXPECT_TRUE(voicingwithinrate(11025.0, 22050));
  EXPECT_FALSE(voicingwithinrate(11025.0, 22049));
}

}  // namespace
