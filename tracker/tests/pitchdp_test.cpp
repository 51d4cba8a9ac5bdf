// The dynamic-programming tracker's candidate rules, block geometry and
// block-by-block operation, and the dither generator.
#include "fgetmem.h"
#include "pitchdp.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "nrandom.h"

using namespace velk;

// The tests of short memory ask for more than the sanitizers' allocator hands out: it is to
// return null, as the standard allocator does, instead of ending the test.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}

namespace {

F0_params defaultparams(double fs, int shift) {
  F0_params p{};
  p.cand_thresh = 0.3f;
  p.lag_weight = 0.3f;
  p.freq_weight = 0.02f;
  p.trans_cost = 0.005f;
  p.trans_amp = 0.5f;
  p.trans_spec = 0.5f;
  p.voice_bias = 0.0f;
  p.double_cost = 0.35f;
  p.min_f0 = 60.0f;
  p.max_f0 = 400.0f;
  p.frame_step = (float)(shift / fs);
  p.wind_dur = 0.0075f;
  p.n_cands = 20;
  return p;
}

// Everything written to a temporary file so far.
std::string filetext(FILE* f) {
  fflush(f);
  rewind(f);
  std::string text;
  for (int c; (c = fgetc(f)) != EOF;) text += (char)c;
  return text;
}

std::vector<int> candlags(const std::vector<float>& correl, int firstlag, float maxval, float thresh) {
  std::vector<float> c = correl;
  Cross cross{0.0f, maxval, 0, (short)firstlag, c.data()};
  std::vector<float> peak(c.size());
  std::vector<int> loc(c.size());
  int n = -1;
  get_cand(&cross, peak.data(), loc.data(), (int)c.size(), &n, thresh);
  for (int i = 0; i < n; i++) EXPECT_EQ(peak[i], c[loc[i] - firstlag]);
  return std::vector<int>(loc.begin(), loc.begin() + n);
}

TEST(Candidates, PeaksAboveThresholdAndNotBelowNeighbours) {
  // Index:           0    1    2    3    4    5    6    7    8
  const std::vector<float> c = {0.0f, 0.9f, 0.1f, 0.3f, 0.1f, 0.5f, 0.5f, 0.2f, 0.9f};
  // maxval 1: 0.3 equals the threshold and is no candidate; the plateau at 5-6
  // gives two; index 8 lies past the last point examined (count - 3).
  EXPECT_EQ(candlags(c, 10, 1.0f, 0.3f), (std::vector<int>{11, 15, 16}));
  EXPECT_EQ(candlags(c, 10, 0.9f, 0.3f), (std::vector<int>{11, 13, 15, 16}));
  EXPECT_TRUE(candlags({0.0f, 1.0f, 0.0f}, 10, 1.0f, 0.3f).empty());
}

TEST(Candidates, StrongestKeptInStableOrder) {
  float peak[] = {0.4f, 0.9f, 0.4f, 0.7f, 0.9f, 0.1f};
  int loc[] = {10, 20, 30, 40, 50, 60};
  int n = 6;
  keepbestcands(peak, loc, &n, 4);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(loc[0], 20);  // equal values keep the order they were found in
  EXPECT_EQ(loc[1], 50);
  EXPECT_EQ(loc[2], 40);
  EXPECT_EQ(peak[2], 0.7f);

  float few[] = {0.1f, 0.2f};
  int few_loc[] = {1, 2};
  int m = 2;
  keepbestcands(few, few_loc, &m, 4);  // below the limit: untouched
  EXPECT_EQ(m, 2);
  EXPECT_EQ(few_loc[0], 1);
}

TEST(Geometry, BlockSizesFollowFromTheParameters) {
  EXPECT_EQ(get_Nframes(100, 440, 80), 0);
  EXPECT_EQ(get_Nframes(440, 440, 80), 0);
  EXPECT_EQ(get_Nframes(3319, 440, 80), 35);
  EXPECT_EQ(get_Nframes(3320, 440, 80), 36);

  // 16 kHz, 5 ms: lags 40..267, window 120, pad 40 + 400, 36 frames a block. The progress
  // lines go to the trace the caller names, nowhere else.
  F0_params p = defaultparams(16000.0, 80);
  long buffsize = 0, sdstep = 0;
  FILE* trace = tmpfile();
  ASSERT_NE(trace, nullptr);
  testing::internal::CaptureStderr();
  free_dp_f0(init_dp_f0(16000.0, &p, &buffsize, &sdstep, 1, trace));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(filetext(trace),
            "done with initialization:\n size_cir_buffer:300  xcorr frame size:120 start lag:40 nlags:228\n");
  fclose(trace);
  // A debug level without a trace writes nothing.
  testing::internal::CaptureStderr();
  free_dp_f0(init_dp_f0(16000.0, &p, &buffsize, &sdstep, 2, nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(buffsize, 3320);
  EXPECT_EQ(sdstep, 2880);

  // 8 kHz, 5 ms: lags 20..133, pad 20 + 200, 36 frames of 40 samples.
  p = defaultparams(8000.0, 40);
  testing::internal::CaptureStderr();
  free_dp_f0(init_dp_f0(8000.0, &p, &buffsize, &sdstep));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // silent by default
  EXPECT_EQ(buffsize, 1660);
  EXPECT_EQ(sdstep, 1440);

  // A longest lag beyond the block length still advances one frame per block.
  p = defaultparams(16000.0, 80);
  p.min_f0 = 2.0f;
  free_dp_f0(init_dp_f0(16000.0, &p, &buffsize, &sdstep));
  EXPECT_EQ(sdstep, 80);
  EXPECT_EQ(buffsize, 40 + 8121 + 80);
}

// A 200 Hz pulse train through one resonance.
std::vector<float> pulsetrain(int n, int period) {
  std::vector<float> x(n, 0.0f);
  double y1 = 0, y2 = 0;
  const double r = 0.97, a1 = 2 * r * cos(2 * M_PI * 700.0 / 16000.0), a2 = -r * r;
  for (int i = 0; i < n; i++) {
    const double y = (i % period == 0 ? 3000.0 : 0.0) + a1 * y1 + a2 * y2;
    y2 = y1;
    y1 = y;
    x[i] = (float)y;
  }
  return x;
}

// Runs the tracker block by block over x as the pitch command does.
struct blockrun {
  std::vector<float> track;
  int expected_frames = 0;       // whole frames of all blocks
  int released_before_last = 0;  // frames released before the last block
};

blockrun runblocks(const std::vector<float>& x) {
  const double fs = 16000.0;
  F0_params p = defaultparams(fs, 80);
  long buffsize, sdstep;
  dpmem* t = init_dp_f0(fs, &p, &buffsize, &sdstep);
  blockrun out;
  long ndone = 0, remaining = (long)x.size(), actsize = buffsize;
  for (;;) {
    const int done = remaining == buffsize || actsize < buffsize;
    std::vector<float> block(x.begin() + ndone, x.begin() + ndone + actsize);
    float *f0, *vuv, *rms, *acpk;
    int vecsize = -1;
    trackreport report;
    EXPECT_EQ(dp_f0(t, block.data(), (int)actsize, (int)sdstep, fs, &p, &f0, &vuv, &rms, &acpk, &vecsize,
                    done, &report),
              0);
    EXPECT_TRUE(report.empty()) << report.text();
    out.expected_frames += get_Nframes(actsize, 440, 80);
    if (!done) out.released_before_last += vecsize;
    for (int i = vecsize - 1; i >= 0; i--) {
      out.track.push_back(f0[i]);
      EXPECT_EQ(vuv[i], f0[i] > 0.0f ? 1.0f : 0.0f);
    }
    if (done) break;
    ndone += sdstep;
    remaining -= sdstep;
    actsize = std::min(buffsize, remaining);
  }
  free_dp_f0(t);
  return out;
}

TEST(Tracker, BlocksReleaseConvergedFramesAndFlushAtTheEnd) {
  // 80000 samples end on a block of 2240 (22 frames); 78260 on one of 500,
  // too short for a frame, which must still release the frames before it.
  for (int n : {80000, 78260}) {
    const blockrun r = runblocks(pulsetrain(n, 80));
    EXPECT_EQ((int)r.track.size(), r.expected_frames) << n;
    // Paths converge long before the end: frames leave the ring block by block.
    EXPECT_GT(r.released_before_last, r.expected_frames - 300) << n;
    for (size_t k = 0; k + 5 < r.track.size(); k++) EXPECT_NEAR(r.track[k], 200.0f, 2.0f) << "frame " << k;
  }
}

// One block of more frames than the ring holds (300 at 16 kHz, 5 ms): the ring grows by 300
// frames at a time, the frames of the new storage are tracked like the others, and a block
// that would need a seventh growth is refused.
TEST(Tracker, RingGrowsForLongBlocksUpToItsLimit) {
  const double fs = 16000.0;
  F0_params p = defaultparams(fs, 80);
  long buffsize, sdstep;
  float *f0, *vuv, *rms, *acpk;

  FILE* trace = tmpfile();
  ASSERT_NE(trace, nullptr);
  dpmem* t = init_dp_f0(fs, &p, &buffsize, &sdstep, 1, trace);
  const int frames = 794;  // 2 growths: 300 -> 600 -> 900
  std::vector<float> x = pulsetrain(frames * 80 + 440, 80);
  int vecsize = -1;
  trackreport report;
  ASSERT_EQ(
      dp_f0(t, x.data(), (int)x.size(), (int)sdstep, fs, &p, &f0, &vuv, &rms, &acpk, &vecsize, 1, &report), 0)
      << report.text();
  EXPECT_TRUE(report.empty()) << report.text();
  ASSERT_EQ(vecsize, frames);
  for (int k = 0; k + 5 < frames; k++) EXPECT_NEAR(f0[frames - 1 - k], 200.0f, 2.0f) << "frame " << k;
  const std::string lines = filetext(trace);
  int growths = 0;
  for (size_t at = 0;
       (at = lines.find("allocating 300 more frames for DP circ. buffer.\n", at)) != std::string::npos; at++)
    growths++;
  EXPECT_EQ(growths, 2) << lines;
  fclose(trace);
  free_dp_f0(t);

  t = init_dp_f0(fs, &p, &buffsize, &sdstep);
  x = pulsetrain(2101 * 80 + 440, 80);  // one frame more than 300 + 6 growths of 300 hold
  trackreport refused;
  EXPECT_EQ(
      dp_f0(t, x.data(), (int)x.size(), (int)sdstep, fs, &p, &f0, &vuv, &rms, &acpk, &vecsize, 1, &refused),
      -1);
  EXPECT_EQ(refused.text(),
            "too many requests (6) for dynamically allocating space.\n   There may be a problem in finding "
            "converged path.\n");
  free_dp_f0(t);
}

TEST(Tracker, FirstBlockWithoutFramesFails) {
  F0_params p = defaultparams(16000.0, 80);
  long buffsize, sdstep;
  dpmem* t = init_dp_f0(16000.0, &p, &buffsize, &sdstep);
  std::vector<float> x = pulsetrain(400, 80);  // shorter than the 440-sample pad
  float *f0, *vuv, *rms, *acpk;
  int vecsize = -1;
  trackreport report;
  testing::internal::CaptureStderr();
  EXPECT_EQ(dp_f0(t, x.data(), 400, (int)sdstep, 16000.0, &p, &f0, &vuv, &rms, &acpk, &vecsize, 1, &report),
            -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(report.text(), "can't get stationarity\n");
  EXPECT_EQ(vecsize, 0);
  free_dp_f0(t);
}

// Samples of a vector as a tracker's source.
struct VectorSource {
  const std::vector<float>* x;
  size_t at = 0;
  static long read(void* context, float* dst, long n) {
    VectorSource* s = static_cast<VectorSource*>(context);
    const size_t k = std::min((size_t)n, s->x->size() - s->at);
    memcpy(dst, s->x->data() + s->at, k * sizeof(float));
    s->at += k;
    return (long)k;
  }
};

// The bytes raptsource writes for x (fs Hz, frames of shift samples, Hz); its messages go to
// report.
std::string trackbytes(const std::vector<float>& x, trackreport* report, double fs = 16000.0,
                       int shift = 80) {
  char* bytes = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&bytes, &size);
  VectorSource source{&x};
  EXPECT_EQ(
      raptsource(samplesource{VectorSource::read, &source}, fs, shift, 60.0, 400.0, 0.0, 1, report, out),
      kTrackDone);
  fclose(out);
  std::string track(bytes, size);
  free(bytes);
  return track;
}

// The same for a run expected to say nothing.
std::string trackbytes(const std::vector<float>& x) {
  trackreport report;
  const std::string track = trackbytes(x, &report);
  EXPECT_EQ(report.text(), "");
  return track;
}

// Each analysis owns its state: threads tracking different signals side by side write exactly
// what each run alone writes.
TEST(Tracker, ThreadsGiveTheSerialResults) {
  const std::vector<float> a = pulsetrain(40000, 80), b = pulsetrain(36000, 123);
  const std::string serial_a = trackbytes(a), serial_b = trackbytes(b);
  ASSERT_EQ(serial_a.size(), 500 * sizeof(float));
  ASSERT_NE(serial_a.substr(0, serial_b.size()), serial_b);
  for (int round = 0; round < 3; round++) {
    std::string threaded_a, threaded_b;
    std::thread ta([&] { threaded_a = trackbytes(a); });
    std::thread tb([&] { threaded_b = trackbytes(b); });
    ta.join();
    tb.join();
    EXPECT_EQ(threaded_a, serial_a);
    EXPECT_EQ(threaded_b, serial_b);
  }
}

// Two records advanced block by block in turn: neither disturbs the other.
TEST(Tracker, InterleavedRecordsAreIndependent) {
  const std::vector<float> x = pulsetrain(20000, 80), y = pulsetrain(20000, 97);
  F0_params p = defaultparams(16000.0, 80);
  long buffsize, sdstep;
  dpmem* t[2] = {init_dp_f0(16000.0, &p, &buffsize, &sdstep), init_dp_f0(16000.0, &p, &buffsize, &sdstep)};
  const std::vector<float>* in[2] = {&x, &y};
  std::vector<float> track[2];
  for (long at = 0; at + buffsize <= (long)x.size(); at += sdstep) {
    const int last = at + sdstep + buffsize > (long)x.size();
    for (int k = 0; k < 2; k++) {
      std::vector<float> block(in[k]->begin() + at, in[k]->begin() + at + buffsize);
      float *f0, *vuv, *rms, *acpk;
      int vecsize;
      trackreport report;
      ASSERT_EQ(dp_f0(t[k], block.data(), (int)buffsize, (int)sdstep, 16000.0, &p, &f0, &vuv, &rms, &acpk,
                      &vecsize, last, &report),
                0);
      for (int i = vecsize - 1; i >= 0; i--) track[k].push_back(f0[i]);
    }
    if (last) break;
  }
  free_dp_f0(t[0]);
  free_dp_f0(t[1]);
  ASSERT_GT(track[0].size(), 100u);
  ASSERT_EQ(track[0].size(), track[1].size());
  for (size_t k = 5; k + 5 < track[0].size(); k++) {
    EXPECT_NEAR(track[0][k], 200.0f, 2.0f) << "frame " << k;
    EXPECT_NEAR(track[1][k], 16000.0f / 97.0f, 2.0f) << "frame " << k;
  }
}

TEST(Rapt, WritesOneValuePerFrameAndLeavesTheListItsLength) {
  const std::vector<float> x = pulsetrain(4000, 100);  // 160 Hz
  std::vector<float_list> nodes(x.size());
  for (size_t i = 0; i < x.size(); i++) nodes[i] = {x[i], i + 1 < x.size() ? &nodes[i + 1] : nullptr};

  trackreport report;
  testing::internal::CaptureStdout();
  const int status = rapt(nodes.data(), (int)x.size(), 16000.0, 80, 60.0, 400.0, 0.0, 0, &report);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(report.empty());
  ASSERT_EQ(out.size(), 50 * sizeof(float));
  std::vector<float> period(50);
  memcpy(period.data(), out.data(), out.size());
  for (int k = 2; k < 45; k++) EXPECT_NEAR(period[k], 100.0f, 1.0f) << "frame " << k;

  // Dithered in place (deviation 50), no nodes appended.
  EXPECT_EQ(nodes.back().next, nullptr);
  double change = 0.0;
  for (size_t i = 0; i < x.size(); i++) {
    EXPECT_LT(std::fabs(nodes[i].f - x[i]), 400.0f);
    change += std::fabs(nodes[i].f - x[i]);
  }
  EXPECT_NEAR(change / x.size(), 50.0 * std::sqrt(2.0 / M_PI), 3.0);  // mean |N(0, 50)|
}

TEST(Dither, ZeroMeanUnitVarianceAndReproducible) {
  uint64_t seed = 1;
  const int n = 200000;
  double sum = 0, sum2 = 0;
  for (int i = 0; i < n; i++) {
    const double v = nrandom(&seed);
    sum += v;
    sum2 += v * v;
  }
  EXPECT_NEAR(sum / n, 0.0, 0.01);
  EXPECT_NEAR(sum2 / n, 1.0, 0.02);

  uint64_t a = 1, b = 1;
  const double first = nrandom(&a);
  EXPECT_EQ(first, nrandom(&b));
  EXPECT_NE(a, 1u);
  EXPECT_NE(nrandom(&a), first);
}

}  // namespace

namespace {

// Library code reports failures to its caller, in the caller's report, instead of printing them
// or ending the process.
TEST(Rapt, ParameterErrorsAndShortInputReturnToTheCaller) {
  std::vector<float_list> nodes(4000);
  for (size_t i = 0; i < nodes.size(); i++) nodes[i] = {0.0f, i + 1 < nodes.size() ? &nodes[i + 1] : nullptr};
  trackreport range, length;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(rapt(nodes.data(), 4000, 16000.0, 80, 400.0, 60.0, 0.0, 1, &range), kTrackBadParameters);
  EXPECT_EQ(rapt(nodes.data(), 100, 16000.0, 80, 60.0, 400.0, 0.0, 1, &length), kTrackBadParameters);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(range.text(),
            "ERROR: min(max)_f0 parameter inconsistent with sampling frequency.\n"
            "invalid/inconsistent parameters -- exiting.\n");
  EXPECT_EQ(length.text(), "input range too small for analysis by zolvar.\n");
}

// Above 98 kHz the stationarity measure's LPC order is clamped: a warning for every block, in
// the report, while the track is still written.
TEST(Rapt, WarningsOfEveryBlockAreCountedInTheReport) {
  const double fs = 192000.0;
  std::vector<float> x(2 * 192000);
  for (size_t i = 0; i < x.size(); i++) x[i] = (float)(3000.0 * sin(2 * M_PI * 150.0 * i / fs));
  trackreport report;
  testing::internal::CaptureStderr();
  const std::string track = trackbytes(x, &report, fs, 960);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(track.size(), 400 * sizeof(float));
  const std::string line = "Optimim order (194) exceeds that allowable (100); reduce Fs\n";
  EXPECT_EQ(report.text(false), line);
  // One per block: about 0.2 s of input each, padding included.
  const std::string all = report.text();
  ASSERT_EQ(all.size() % line.size(), 0u);
  const size_t blocks = all.size() / line.size();
  EXPECT_GE(blocks, 10u);
  EXPECT_LE(blocks, 13u);
  for (size_t k = 0; k < blocks; k++) EXPECT_EQ(all.compare(k * line.size(), line.size(), line), 0);
}

TEST(Fgetmem, ReturnsNullWhenMemoryIsShort) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(fgetmem(LONG_MAX / 8), nullptr);
  // Nothing of ours is printed (a sanitizer's allocator may warn on its own).
  EXPECT_EQ(testing::internal::GetCapturedStderr().find("Cannot allocate"), std::string::npos);
}

}  // namespace
