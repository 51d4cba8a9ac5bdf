// The epoch tracker driver: sample conversion, the tracks it builds, failures
// that leave them absent, the epoch listing and the track record. Its output
// stream is tested through the pitch command.
#include "epochdrive.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "synth_signals.h"

namespace {

std::vector<int16_t> samples_of(const std::vector<float>& x) {
  std::vector<float_list> nodes(x.size());
  for (size_t i = 0; i < x.size(); i++) nodes[i] = {x[i], i + 1 < x.size() ? &nodes[i + 1] : nullptr};
  return ListToSamples(nodes.data(), (int)x.size());
}

TEST(EpochDrive, ListSamplesAreTruncatedAndClamped) {
  EXPECT_EQ(samples_of({1234.9f, -0.7f, -1234.9f, 32767.9f, 40000.0f, -40000.0f}),
            (std::vector<int16_t>{1234, 0, -1234, 32767, 32767, -32768}));
}

// Voiced 125 Hz for half a second, then silence, in 10 ms frames.
TEST(EpochDrive, TracksOfTheComputation) {
  std::vector<float> x = voiced_signal(125, 125, 8000, 16000.0);
  x.resize(16000, 0.0f);
  const std::vector<int16_t> s = samples_of(x);
  EpochTracker et;
  ASSERT_TRUE(et.Init(s.data(), (int)s.size(), 16000.0f, 60.0f, 400.0f, true, false));
  std::unique_ptr<Track> pm, f0, corr;
  ASSERT_TRUE(ComputeEpochsAndF0(et, 0.01f, 0.01f, &pm, &f0, &corr));
  EXPECT_EQ(pm, nullptr);
  ASSERT_TRUE(f0 && corr);
  ASSERT_EQ(f0->num_frames(), 100);
  ASSERT_EQ(corr->num_frames(), 100);
  EXPECT_EQ(f0->num_channels(), 1);
  EXPECT_TRUE(f0->voicing_enabled() && corr->voicing_enabled());
  for (int i = 0; i < 100; i++) {
    EXPECT_EQ(f0->t(i), i * 0.01f);
    EXPECT_EQ(corr->t(i), f0->t(i));
    EXPECT_EQ(corr->v(i), f0->v(i));
    if (i >= 3 && i < 48) {
      EXPECT_TRUE(f0->v(i)) << i;
      EXPECT_EQ(f0->a(i), 125.0f);
      EXPECT_GT(corr->a(i), 0.9f);
    } else if (i >= 55) {
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
  ASSERT_TRUE(et.ComputeFeatures() && et.TrackEpochs());
  auto kept = std::make_unique<Track>();
  Track* before = kept.get();
  EXPECT_EQ(MakeF0Output(et, -0.005f, &kept), nullptr);
  EXPECT_EQ(kept.get(), before);  // the correlation output is left as it was
}

TEST(EpochDrive, DiagnosticsListTheEpochs) {
  const std::vector<int16_t> s = samples_of(voiced_signal(200, 200, 4000, 16000.0));
  EpochTracker et;
  ASSERT_TRUE(et.Init(s.data(), (int)s.size(), 16000.0f, 60.0f, 400.0f, true, false));
  ASSERT_TRUE(et.ComputeFeatures() && et.TrackEpochs());
  char path[] = "/tmp/epochs_XXXXXX";
  close(mkstemp(path));
  et.WriteDiagnostics(path);
  FILE* f = fopen(path, "r");
  ASSERT_NE(f, nullptr);
  int position, period, lines = 0;
  float ncc;
  for (; fscanf(f, "%d %d %f", &position, &period, &ncc) == 3; lines++) {
    EXPECT_EQ(position, et.epochs()[lines].position);
    EXPECT_EQ(period, et.epochs()[lines].period);
  }
  fclose(f);
  remove(path);
  EXPECT_EQ(lines, (int)et.epochs().size());
  EXPECT_GT(lines, 40);  // 4000 samples at 80 a period
}

TEST(TrackRecord, VoicingCountsOnlyWhenEnabled) {
  Track t;
  t.resize(3, 2);
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
