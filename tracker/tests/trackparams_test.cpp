// The trackers' shared checks and their report: each refusal's status and exact lines, the
// frame step rounded to whole samples, repeated lines counted, and nothing printed.
#include "trackparams.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace velk;

namespace {

const char kInvalid[] = "invalid/inconsistent parameters -- exiting.\n";
const char kRange[] = "ERROR: min(max)_f0 parameter inconsistent with sampling frequency.\n";
const char kStep[] = "ERROR: frame_step parameter must be between [1/sampling rate, 0.1].\n";

// The status of checktrackerparams and the report's text; stderr must stay empty.
std::string refusal(double fs, float min_f0, float max_f0, float frame_step, int expected_status) {
  trackreport report;
  testing::internal::CaptureStderr();
  EXPECT_EQ(checktrackerparams(fs, min_f0, max_f0, &frame_step, &report), expected_status);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  return report.text();
}

TEST(TrackerParams, RefusalsSayWhatIsWrongInOrder) {
  EXPECT_EQ(refusal(16000.0, 60.0f, 400.0f, 0.005f, 0), "");
  EXPECT_EQ(refusal(3999.0, 60.0f, 400.0f, 0.005f, -1),
            std::string("ERROR: sampling frequency must be between 4 and 1000 kHz.\n") + kInvalid);
  EXPECT_EQ(refusal(1000001.0, 200.0f, 400.0f, 0.005f, -1),
            std::string("ERROR: sampling frequency must be between 4 and 1000 kHz.\n") + kInvalid);
  // Empty range, a top at half the rate, a bottom below a ten-thousandth of the rate.
  EXPECT_EQ(refusal(16000.0, 400.0f, 60.0f, 0.005f, -1), std::string(kRange) + kInvalid);
  EXPECT_EQ(refusal(16000.0, 60.0f, 8000.0f, 0.005f, -1), std::string(kRange) + kInvalid);
  EXPECT_EQ(refusal(16000.0, 1.5f, 400.0f, 0.005f, -1), std::string(kRange) + kInvalid);
  // Frame steps of no whole sample and above 0.1 s; both errors of one call together.
  EXPECT_EQ(refusal(16000.0, 60.0f, 400.0f, 0.00001f, -1), std::string(kStep) + kInvalid);
  EXPECT_EQ(refusal(16000.0, 60.0f, 400.0f, 0.2f, -1), std::string(kStep) + kInvalid);
  EXPECT_EQ(refusal(16000.0, 400.0f, 60.0f, 0.2f, -1), std::string(kRange) + kStep + kInvalid);
}

TEST(TrackerParams, FrameStepIsRoundedToWholeSamples) {
  trackreport report;
  float step = 0.00503f;  // 80.48 samples at 16 kHz
  ASSERT_EQ(checktrackerparams(16000.0, 60.0f, 400.0f, &step, &report), 0);
  EXPECT_EQ(step, (float)(80.0 / 16000.0));
  step = 0.0050313f;  // 80.5: half rounds up
  ASSERT_EQ(checktrackerparams(16000.0, 60.0f, 400.0f, &step, &report), 0);
  EXPECT_EQ(step, (float)(81.0 / 16000.0));
  EXPECT_TRUE(report.empty());
  EXPECT_EQ(framestepof(80, 16000.0), 0.005f);
}

TEST(TrackerParams, InputLengthNeedsTwoFramesAndTheCorrelationWindow) {
  // 2 * 80 + 120 samples at 16 kHz, 5 ms frames (reckoned in float: a hair above 280).
  trackreport enough, too_short;
  testing::internal::CaptureStderr();
  EXPECT_EQ(checkinputlength(16000.0, 0.005f, 281, &enough), 0);
  EXPECT_EQ(checkinputlength(16000.0, 0.005f, 279, &too_short), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(enough.empty());
  EXPECT_EQ(too_short.text(), "input range too small for analysis by zolvar.\n");
}

TEST(trackreport, RepeatsAreCountedAndWrittenOutInOrder) {
  trackreport report;
  EXPECT_TRUE(report.empty());
  report.say("block %d\n", 1);
  report.say("same\n");
  report.say("same\n");
  report.say("same\n");
  report.say("block %d\n", 1);  // equal to an earlier line, not to the one before
  report.say("%s of %ld\n", "3", 7L);
  EXPECT_FALSE(report.empty());
  const std::string all = "block 1\nsame\nsame\nsame\nblock 1\n3 of 7\n";
  EXPECT_EQ(report.text(), all);
  EXPECT_EQ(report.text(false), "block 1\nsame\nblock 1\n3 of 7\n");

  FILE* f = tmpfile();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(report.write(f), 0);
  rewind(f);
  std::string written;
  for (int c; (c = fgetc(f)) != EOF;) written += (char)c;
  fclose(f);
  EXPECT_EQ(written, all);

  // A stream that fails is said so.
  FILE* full = fopen("/dev/full", "w");
  if (full) {
    setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_EQ(report.write(full), -1);
    fclose(full);
  }
}

}  // namespace
