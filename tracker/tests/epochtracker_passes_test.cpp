// The epoch tracker's passes over records kept in temporary files, read in blocks of any size,
// give exactly the epochs and frames of the run that keeps everything in memory: real speech at
// 16 and 48 kHz in both polarities (the residual's sign chosen either way), a pulse train and
// noise; a signal given in pieces is the signal given at once.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "epochtracker.h"
#include "soundfile.h"
#include "synthsignals.h"
#include "testfiles.h"

using namespace velk;

namespace {

struct result {
  std::vector<epochtracker::epoch> epochs;
  std::vector<float> f0, corr;
  int spilled = 0;  // temporaries open after the features
};

// Open descriptors of this process on the temporaries of the epoch tracker's stores.
int spilledfiles() {
  return openfilesnamed("velk_spill_");
}

// Tracks s (fs Hz) given in pieces of `piece` samples (all at once when 0), with the working
// records in memory up to memory bytes and passes of block records.
result track(const std::vector<int16_t>& s, float fs, size_t memory, long block, long piece = 0) {
  epochtracker et;
  et.setworkingmemory(memory, block);
  result r;
  if (piece == 0) {
    EXPECT_EQ(et.init(s.data(), (int)s.size(), fs, 60.0f, 400.0f, true, false), 0);
  } else {
    EXPECT_EQ(et.start(fs, 60.0f, 400.0f, true, false), 0);
    for (size_t at = 0; at < s.size(); at += piece)
      EXPECT_EQ(et.addsamples(s.data() + at, std::min<long>(piece, (long)(s.size() - at))), 0);
  }
  EXPECT_EQ(et.samples(), (long)s.size());
  EXPECT_EQ(et.computefeatures(), 0);
  r.spilled = spilledfiles();
  EXPECT_EQ(et.trackepochs(), 0);
  EXPECT_EQ(et.resampleandreturnresults(0.005f, &r.f0, &r.corr), 0);
  r.epochs = et.epochs();
  return r;
}

void expectsame(const result& a, const result& b, const std::string& what) {
  ASSERT_EQ(a.epochs.size(), b.epochs.size()) << what;
  for (size_t k = 0; k < a.epochs.size(); k++) {
    ASSERT_EQ(a.epochs[k].position, b.epochs[k].position) << what << " epoch " << k;
    ASSERT_EQ(a.epochs[k].period, b.epochs[k].period) << what << " epoch " << k;
    ASSERT_EQ(a.epochs[k].ncc, b.epochs[k].ncc) << what << " epoch " << k;
  }
  EXPECT_EQ(a.f0, b.f0) << what;
  EXPECT_EQ(a.corr, b.corr) << what;
}

std::vector<int16_t> recording(const std::string& name, float* fs) {
  double* x = nullptr;
  soundinfo info;
  const uint32_t n =
      readsound((std::string(VELK_SAMPLES_DIR) + "/" + name).c_str(), soundfileownrate, &x, &info);
  std::vector<int16_t> s(n);
  for (uint32_t i = 0; i < n; i++) s[i] = (int16_t)lrint(x[i] * 32768.0);
  free(x);
  *fs = (float)info.rate;
  return s;
}

TEST(epochtrackerpasses, TemporaryFilesAndBlocksChangeNothing) {
  struct Signal {
    std::string name;
    std::vector<int16_t> s;
    float fs;
  };
  std::vector<Signal> signals;
  for (const char* file : {"en_vm-deleted.wav", "wide/alsa48k_Front_Left.wav"}) {
    Signal v{file, {}, 0.0f};
    v.s = recording(file, &v.fs);
    ASSERT_FALSE(v.s.empty()) << file;
    signals.push_back(v);
    for (int16_t& x : v.s) x = (int16_t)std::max(-32767, -(int)x);
    v.name += " negated";
    signals.push_back(v);
  }
  std::vector<int16_t> train(12000), noise(9000);
  const std::vector<float> pulses = voiced_signal(110, 180, 12000, 16000.0),
                           hiss = noise_signal(9000, 2000.0, 5);
  for (size_t i = 0; i < train.size(); i++) train[i] = (int16_t)lrint(pulses[i]);
  for (size_t i = 0; i < noise.size(); i++) noise[i] = (int16_t)lrint(hiss[i]);
  signals.push_back({"pulse train", train, 16000.0f});
  signals.push_back({"noise", noise, 16000.0f});

  for (const Signal& v : signals) {
    const result memory = track(v.s, v.fs, (size_t)1 << 30, 1 << 16);
    EXPECT_EQ(memory.spilled, 0) << v.name;
    ASSERT_FALSE(memory.f0.empty());
    if (v.name != "noise") {
      EXPECT_GT(voiced_count(memory.f0), (int)memory.f0.size() / 4) << v.name;
    }
    for (long block : {1L, 7L, 4096L}) {
      const result files = track(v.s, v.fs, 0, block);
      EXPECT_GE(files.spilled, 2) << v.name;  // the signal and the nodes at least
      expectsame(memory, files, v.name + " block " + std::to_string(block));
    }
    // Memory for some of the records only, the signal given in uneven pieces.
    expectsame(memory, track(v.s, v.fs, 20000, 333, 1001), v.name + " part in memory");
    EXPECT_EQ(spilledfiles(), 0) << "temporaries left open";
  }
}

// Samples given to a tracker that has not started, or beyond the longest signal, are refused.
TEST(epochtrackerpasses, SamplesAreTakenOnlyAfterStart) {
  const std::vector<int16_t> s(1000, 5);
  epochtracker et;
  EXPECT_EQ(et.addsamples(s.data(), 1000), -1);
  EXPECT_EQ(et.computefeatures(), -1);
  ASSERT_EQ(et.start(16000.0f, 60.0f, 400.0f, true, false), 0);
  EXPECT_EQ(et.computefeatures(), -1);  // no samples yet
  ASSERT_EQ(et.addsamples(s.data(), 1000), 0);
  EXPECT_EQ(et.addsamples(s.data(), kEpochLongestInput), -1);
  EXPECT_EQ(et.samples(), 1000);
  EXPECT_EQ(et.start(16000.0f, 400.0f, 60.0f, true, false), -1);
  EXPECT_EQ(et.samples(), 1000);  // a refused start keeps the signal
  EXPECT_EQ(et.computefeatures(), 0);
  EXPECT_EQ(et.trackepochs(), 0);
}

}  // namespace
