// The epoch tracker driver: sample conversion, the tracks it builds, failures
// that leave them absent and what it says of them, the epoch listing and the
// track record. Its output stream is tested through the pitch command.
#include "epochdrive.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "synthsignals.h"

using namespace velk;

namespace {

std::vector<int16_t> samplesof(const std::vector<float>& x) {
  std::vector<float_list> nodes(x.size());
  for (size_t i = 0; i < x.size(); i++) nodes[i] = {x[i], i + 1 < x.size() ? &nodes[i + 1] : nullptr};
  return listtosamples(nodes.data(), (int)x.size());
}

TEST(EpochDrive, ListSamplesAreTruncatedAndClamped) {
  EXPECT_EQ(samplesof({1234.9f, -0.7f, -1234.9f, 32767.9f, 40000.0f, -40000.0f}),
            (std::vector<int16_t>{1234, 0, -1234, 32767, 32767, -32768}));
}

// Voiced 125 Hz for half a second, then silence, in 10 ms frames.
TEST(EpochDrive, TracksOfTheComputation) {
  std::vector<float> x = voiced_signal(125, 125, 8000, 16000.0);
  x.resize(16000, 0.0f);
  const std::vector<int16_t> s = samplesof(x);
  epochtracker et;
  ASSERT_EQ(et.init(s.data(), (int)s.size(), 16000.0f, 60.0f, 400.0f, true, false), 0);
  std::unique_ptr<frametrack> pm, f0, corr;
  trackreport report;
  ASSERT_EQ(computeepochsandf0(et, 0.01f, 0.01f, &pm, &f0, &corr, &report), 0);
  EXPECT_TRUE(report.empty());
  EXPECT_EQ(pm, nullptr);
  ASSERT_TRUE(f0 && corr);
  ASSERT_EQ(f0->numframes(), 100);
  ASSERT_EQ(corr->numframes(), 100);
  EXPECT_EQ(f0->numchannels(), 1);
  EXPECT_TRUE(f0->voicingenabled() && corr->voicingenabled());
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
  epochtracker uninitialised;
  std::unique_ptr<frametrack> pm, f0, corr;
  trackreport report;
  EXPECT_EQ(computeepochsandf0(uninitialised, 0.01f, 0.005f, &pm, &f0, &corr, &report), -1);
  EXPECT_EQ(f0, nullptr);
  EXPECT_TRUE(report.empty());  // no features: the caller says so

  const std::vector<int16_t> s(4000, 0);
  epochtracker et;
  ASSERT_EQ(et.init(s.data(), 4000, 16000.0f, 60.0f, 400.0f, true, false), 0);
  ASSERT_EQ(et.computefeatures(), 0);
  ASSERT_EQ(et.trackepochs(), 0);
  auto kept = std::make_unique<frametrack>();
  frametrack* before = kept.get();
  EXPECT_EQ(makef0output(et, -0.005f, &kept), nullptr);
  EXPECT_EQ(kept.get(), before);  // the correlation output is left as it was
}

TEST(EpochDrive, DiagnosticsListTheEpochs) {
  const std::vector<int16_t> s = samplesof(voiced_signal(200, 200, 4000, 16000.0));
  epochtracker et;
  ASSERT_EQ(et.init(s.data(), (int)s.size(), 16000.0f, 60.0f, 400.0f, true, false), 0);
  ASSERT_EQ(et.computefeatures(), 0);
  ASSERT_EQ(et.trackepochs(), 0);
  char path[] = "/tmp/epochs_XXXXXX";
  close(mkstemp(path));
  ASSERT_EQ(et.writediagnostics(path), 0);
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

  // An empty name asks for nothing; a file that cannot be made is refused without a word.
  testing::internal::CaptureStderr();
  EXPECT_EQ(et.writediagnostics(""), 0);
  EXPECT_EQ(et.writediagnostics("/nonexistent-directory/epochs"), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// The tracker's refusals come back in the caller's report, with nothing printed or written.
TEST(EpochDrive, RefusalsAreSaidInTheReport) {
  const std::vector<float> x = voiced_signal(125, 125, 8000, 16000.0);
  FILE* out = tmpfile();
  ASSERT_NE(out, nullptr);
  trackreport low, impossible, short_input, params;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(brindelsamples(x.data(), (long)x.size(), 16000.0, 80, 9.5, 400.0, 0.9, 1, &low, out),
            kTrackBadParameters);
  EXPECT_EQ(brindelsamples(x.data(), (long)x.size(), 2000.0, 80, 60.0, 400.0, 0.9, 1, &impossible, out),
            kTrackBadParameters);
  EXPECT_EQ(brindelsamples(x.data(), 100, 16000.0, 80, 60.0, 400.0, 0.9, 1, &short_input, out),
            kTrackBadParameters);
  EXPECT_EQ(checkbrindelparams(16000.0, 0, 10.0, 400.0, &params), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(ftell(out), 0L);
  fclose(out);
  EXPECT_EQ(low.text(),
            "ERROR: min_f0 of the epoch tracker must be at least 10 Hz.\n"
            "invalid/inconsistent parameters -- exiting.\n");
  EXPECT_EQ(impossible.text(),
            "ERROR: sampling frequency must be between 4 and 1000 kHz.\n"
            "invalid/inconsistent parameters -- exiting.\n");
  EXPECT_EQ(short_input.text(), "input range too small for analysis by zolvar.\n");
  EXPECT_EQ(params.text(),
            "ERROR: frame_step parameter must be between [1/sampling rate, 0.1].\n"
            "invalid/inconsistent parameters -- exiting.\n");
  trackreport fine;
  EXPECT_EQ(checkbrindelparams(16000.0, 80, 10.0, 400.0, &fine), 0);
  EXPECT_TRUE(fine.empty());
}

// A whole track written to the stream given, in the report nothing.
TEST(EpochDrive, TracksToTheStreamGivenWithoutAWord) {
  const std::vector<float> x = voiced_signal(125, 125, 8000, 16000.0);
  FILE* out = tmpfile();
  ASSERT_NE(out, nullptr);
  trackreport report;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(brindelsamples(x.data(), (long)x.size(), 16000.0, 80, 60.0, 400.0, 0.9, 1, &report, out),
            kTrackDone);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(report.empty());
  EXPECT_EQ(ftell(out), 100L * (long)sizeof(float));  // 8000 samples, frames of 80
  fclose(out);
}

TEST(TrackRecord, VoicingCountsOnlyWhenEnabled) {
  frametrack t;
  t.resize(3, 2);
  t.a(1, 1) = 5.0f;
  t.a(1, 0) = 4.0f;
  EXPECT_EQ(t.a(1, 1), 5.0f);
  EXPECT_EQ(t.a(2, 0), 0.0f);
  t.setv(1, true);
  EXPECT_TRUE(t.v(0));  // voicing not enabled: every frame counts as voiced
  t.setvoicingenabled(true);
  EXPECT_FALSE(t.v(0));
  EXPECT_TRUE(t.v(1));
}

}  // namespace
