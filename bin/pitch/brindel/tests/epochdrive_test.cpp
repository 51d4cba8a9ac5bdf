// The epoch tracker driver: sample conversion, the three output types, the
// tracks it builds, its failure messages, and the track record itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "epochdrive.h"
#include "synth_signals.h"

namespace {

std::vector<float_list> make_list(const std::vector<float>& x) {
  std::vector<float_list> nodes(x.size());
  for (size_t i = 0; i < x.size(); i++) nodes[i] = {x[i], i + 1 < x.size() ? &nodes[i + 1] : nullptr};
  return nodes;
}

struct Outcome {
  int status;
  std::vector<float> values;
  std::string err;
};

Outcome run_brindel(const std::vector<float>& x, int otype, double min = 60.0, double max = 400.0,
                int shift = 80) {
  std::vector<float_list> nodes = make_list(x);
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  Outcome r;
  r.status = brindel(nodes.empty() ? nullptr : nodes.data(), (int)x.size(), 16000.0, shift, min,
                     max, 0.9, otype);
  fflush(stdout);
  const std::string out = ::testing::internal::GetCapturedStdout();
  r.err = ::testing::internal::GetCapturedStderr();
  r.values.resize(out.size() / sizeof(float));
  if (!r.values.empty()) memcpy(r.values.data(), out.data(), r.values.size() * sizeof(float));
  return r;
}

TEST(EpochDrive, ListSamplesAreTruncatedAndClamped) {
  const std::vector<float> x = {1234.9f, -0.7f, -1234.9f, 0.4f, 32767.9f, 40000.0f, -40000.0f};
  std::vector<float_list> nodes = make_list(x);
  EXPECT_EQ(ListToSamples(nodes.data(), (int)x.size()),
            (std::vector<int16_t>{1234, 0, -1234, 0, 32767, 32767, -32768}));
}

// Voiced 125 Hz for half a second, then silence.
std::vector<float> voiced_then_silent() {
  std::vector<float> x = voiced_signal(125, 125, 8000, 16000.0);
  x.resize(16000, 0.0f);
  return x;
}

TEST(EpochDrive, OutputTypes) {
  const std::vector<float> x = voiced_then_silent();
  const Outcome period = run_brindel(x, 0), hz = run_brindel(x, 1), logf0 = run_brindel(x, 2);
  for (const Outcome* r : {&period, &hz, &logf0}) {
    EXPECT_EQ(r->status, 0);
    EXPECT_EQ(r->err, "");
    ASSERT_EQ(r->values.size(), 200u);
  }
  EXPECT_EQ(period.values[50], 128.0f);
  EXPECT_EQ(hz.values[50], 125.0f);
  EXPECT_NEAR(logf0.values[50], 4.8283f, 1e-4f);
  EXPECT_EQ(period.values[150], 0.0f);
  EXPECT_EQ(hz.values[150], 0.0f);
  EXPECT_EQ(logf0.values[150], -1.0E10f);
  for (size_t k = 0; k < hz.values.size(); k++) {
    if (hz.values[k] > 0.0f) {
      EXPECT_EQ(period.values[k], 16000.0f / hz.values[k]) << k;
      EXPECT_EQ(logf0.values[k], logf(hz.values[k])) << k;
    } else {
      EXPECT_EQ(logf0.values[k], -1.0E10f) << k;
    }
  }
}

TEST(EpochDrive, RefusedParametersWriteNothing) {
  const std::vector<float> x = voiced_then_silent();
  for (const Outcome& r : {run_brindel(x, 1, 400.0, 60.0), run_brindel({}, 1)}) {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Failed to initialize variables\n");
    EXPECT_TRUE(r.values.empty());
  }
  const Outcome no_frames = run_brindel(x, 1, 60.0, 400.0, 0);
  EXPECT_EQ(no_frames.status, 1);
  EXPECT_TRUE(no_frames.values.empty());
}

TEST(EpochDrive, TracksOfTheComputation) {
  const std::vector<float> x = voiced_then_silent();
  std::vector<float_list> nodes = make_list(x);
  const std::vector<int16_t> s = ListToSamples(nodes.data(), (int)x.size());
  EpochTracker et;
  ASSERT_TRUE(et.Init(s.data(), (int)s.size(), 16000.0f, 60.0f, 400.0f, true, false));
  std::unique_ptr<Track> pm, f0, corr;
  ASSERT_TRUE(ComputeEpochsAndF0(et, 0.01f, 0.01f, &pm, &f0, &corr));
  EXPECT_EQ(pm, nullptr);
  ASSERT_NE(f0, nullptr);
  ASSERT_NE(corr, nullptr);
  ASSERT_EQ(f0->num_frames(), 100);
  ASSERT_EQ(corr->num_frames(), 100);
  EXPECT_EQ(f0->num_channels(), 1);
  EXPECT_TRUE(f0->voicing_enabled());
  EXPECT_TRUE(corr->voicing_enabled());
  for (int i = 0; i < 100; i++) {
    EXPECT_EQ(f0->t(i), i * 0.01f);
    EXPECT_EQ(corr->t(i), f0->t(i));
    EXPECT_EQ(corr->v(i), f0->v(i));
    if (i >= 3 && i < 48) {
      EXPECT_TRUE(f0->v(i)) << i;
      EXPECT_EQ(f0->a(i), 125.0f);
      EXPECT_GT(corr->a(i), 0.9f);
    }
    if (i >= 55) {
      EXPECT_FALSE(f0->v(i)) << i;
      EXPECT_EQ(f0->a(i), -1.0f);
      EXPECT_EQ(corr->a(i), 0.0f);
    }
  }
}

TEST(EpochDrive, FailuresLeaveTheTracksAbsent) {
  EpochTracker uninitialised;
  std::unique_ptr<Track> pm, f0, corr;
  EXPECT_FALSE(ComputeEpochsAndF0(uninitialised, 0.01f, 0.005f, &pm, &f0, &corr));
  EXPECT_EQ(f0, nullptr);

  const std::vector<int16_t> s(4000, 0);
  EpochTracker et;
  ASSERT_TRUE(et.Init(s.data(), 4000, 16000.0f, 60.0f, 400.0f, true, false));
  ASSERT_TRUE(et.ComputeFeatures());
  ASSERT_TRUE(et.TrackEpochs());
  auto kept = std::make_unique<Track>();
  Track* before = kept.get();
  EXPECT_EQ(MakeF0Output(et, -0.005f, &kept), nullptr);
  EXPECT_EQ(kept.get(), before);  // the correlation output is left as it was
}

TEST(EpochDrive, DiagnosticsListTheEpochs) {
  const std::vector<float> x = voiced_signal(200, 200, 4000, 16000.0);
  std::vector<float_list> nodes = make_list(x);
  const std::vector<int16_t> s = ListToSamples(nodes.data(), (int)x.size());
  EpochTracker et;
  ASSERT_TRUE(et.Init(s.data(), (int)s.size(), 16000.0f, 60.0f, 400.0f, true, false));
  ASSERT_TRUE(et.ComputeFeatures());
  ASSERT_TRUE(et.TrackEpochs());
  char path[] = "/tmp/epochs_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  et.WriteDiagnostics(path);
  FILE* f = fopen(path, "r");
  ASSERT_NE(f, nullptr);
  int position, period, lines = 0;
  float ncc;
  while (fscanf(f, "%d %d %f", &position, &period, &ncc) == 3) {
    EXPECT_EQ(position, et.epochs()[lines].position);
    EXPECT_EQ(period, et.epochs()[lines].period);
    lines++;
  }
  fclose(f);
  remove(path);
  EXPECT_EQ(lines, (int)et.epochs().size());
  EXPECT_GT(lines, 40);  // 4000 samples at 80 a period
}

TEST(TrackRecord, VoicingCountsOnlyWhenEnabled) {
  Track t;
  t.resize(3, 2);
  EXPECT_EQ(t.num_frames(), 3);
  EXPECT_EQ(t.num_channels(), 2);
  t.a(1, 1) = 5.0f;
  t.a(1, 0) = 4.0f;
  EXPECT_EQ(t.a(1, 1), 5.0f);
  EXPECT_EQ(t.a(2, 0), 0.0f);
  t.set_v(1, true);
  EXPECT_TRUE(t.v(0));  // voicing not enabled: every frame counts as voiced
  t.set_voicing_enabled(true);
  EXPECT_FALSE(t.v(0));
  EXPECT_TRUE(t.v(1));
}

}  // namespace
