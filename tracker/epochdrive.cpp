#include "epochdrive.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace velk {

namespace {

// The first length samples of a list (0 beyond its end).
std::vector<float> listsamples(const float_list* input, int length) {
  std::vector<float> x;
  for (; input && (long)x.size() < length; input = input->next) x.push_back(input->f);
  x.resize(length > 0 ? length : 0, 0.0f);
  return x;
}

// The n samples of x truncated toward zero, clamped to the 16-bit range first, into s.
void toint16(const float* x, long n, int16_t* s) {
  for (long k = 0; k < n; k++) s[k] = (int16_t)std::fmax(-32768.0f, std::fmin(32767.0f, x[k]));
}

}  // namespace

std::vector<int16_t> samplestoint16(const float* x, long length) {
  std::vector<int16_t> samples(length > 0 ? length : 0);
  toint16(x, (long)samples.size(), samples.data());
  return samples;
}

std::vector<int16_t> listtosamples(const float_list* input, int length) {
  return samplestoint16(listsamples(input, length).data(), length);
}

int checkbrindelparams(double samplerate, int frame_shift, double min, double max, trackreport* report) {
  float frame_step = framestepof(frame_shift, samplerate);
  if (checktrackerparams(samplerate, (float)min, (float)max, &frame_step, report)) return -1;
  if (!(min >= kEpochLowestF0)) {
    report->say("ERROR: min_f0 of the epoch tracker must be at least %g Hz.\n", kEpochLowestF0);
    report->say("invalid/inconsistent parameters -- exiting.\n");
    return -1;
  }
  return 0;
}

std::unique_ptr<frametrack> makef0output(epochtracker& et, float resample_interval,
                                         std::unique_ptr<frametrack>* cor) {
  std::vector<float> f0, corr;
  if (et.resampleandreturnresults(resample_interval, &f0, &corr) != 0) return nullptr;
  auto f0_track = std::make_unique<frametrack>();
  auto corr_track = std::make_unique<frametrack>();
  f0_track->resize((int)f0.size(), 1);
  corr_track->resize((int)corr.size(), 1);
  for (int i = 0; i < (int)f0.size(); i++) {
    const float t = i * resample_interval;
    const bool voiced = f0[i] > 0.0f;
    f0_track->t(i) = t;
    corr_track->t(i) = t;
    f0_track->setv(i, voiced);
    corr_track->setv(i, voiced);
    f0_track->a(i, 0) = voiced ? f0[i] : -1.0f;
    corr_track->a(i, 0) = corr[i];
    if (i == 0) corr_track->setvoicingenabled(true);
  }
  if (!f0.empty()) f0_track->setvoicingenabled(true);
  *cor = std::move(corr_track);
  return f0_track;
}

namespace {

// The features and the epochs of the tracker's signal: 0, or -1 (a missing path said in report).
int findepochs(epochtracker& et, trackreport* report) {
  if (et.computefeatures() != 0) return -1;
  if (et.trackepochs() != 0) {
    report->say("Problems in TrackEpochs\n");
    return -1;
  }
  return 0;
}

}  // namespace

int computeepochsandf0(epochtracker& et, float /*unvoiced_pulse_interval*/, float external_frame_interval,
                       std::unique_ptr<frametrack>* /*pm*/, std::unique_ptr<frametrack>* f0,
                       std::unique_ptr<frametrack>* corr, trackreport* report) {
  if (findepochs(et, report) != 0) return -1;
  *f0 = makef0output(et, external_frame_interval, corr);
  return 0;
}

namespace {

// The output value of a frame of F0 f0 (0 unvoiced) for output type otype.
float framevalue(float f0, float samplerate, int otype) {
  if (!(f0 > 0.0f)) return otype == 2 ? -1.0E10f : 0.0f;
  if (otype == 1) return f0;
  if (otype == 2) return logf(f0);
  return samplerate / f0;
}

// Where resampleframes puts the frames of brindelsource.
struct framewriter {
  FILE* out;
  float samplerate;
  int otype;
};

void writeframe(void* context, float f0, float /*corr*/) {
  const framewriter* w = static_cast<const framewriter*>(context);
  const float value = framevalue(f0, w->samplerate, w->otype);
  fwrite(&value, sizeof value, 1, w->out);
}

// Reads the source to its end into the tracker, as 16-bit values. kTrackDone, or kTrackFailed
// (the source's failure unsaid, any other said in report).
int readsamples(samplesource source, epochtracker* et, trackreport* report) {
  const long block = 65536;
  std::vector<float> x(block);
  std::vector<int16_t> s(block);
  for (;;) {
    const long got = source.read(source.context, x.data(), block);
    if (got < 0) return kTrackFailed;
    if (got > kEpochLongestInput - et->samples()) {
      report->say("input too long for the epoch tracker: more than %ld samples.\n", kEpochLongestInput);
      return kTrackFailed;
    }
    toint16(x.data(), got, s.data());
    if (et->addsamples(s.data(), got) != 0) {
      report->say("cannot keep the input of the epoch tracker in a temporary file: %s.\n", strerror(errno));
      return kTrackFailed;
    }
    if (got < block) return kTrackDone;
  }
}

// An array of samples as a samplesource.
struct arraysource {
  const float* x;
  long length;
  long at;
};

long readarray(void* context, float* dst, long n) {
  arraysource* a = static_cast<arraysource*>(context);
  const long k = std::min(n, a->length - a->at);
  std::copy(a->x + a->at, a->x + a->at + k, dst);
  a->at += k;
  return k;
}

}  // namespace

int brindel(float_list* input, int length, double samplerate, int frame_shift, double min, double max,
            double threshold, int otype, trackreport* report) {
  return brindelsamples(listsamples(input, length).data(), length, samplerate, frame_shift, min, max,
                        threshold, otype, report);
}

int brindelsamples(const float* x, long length, double samplerate, int frame_shift, double min, double max,
                   double threshold, int otype, trackreport* report, FILE* out) {
  arraysource array = {x, std::max(0L, length), 0};
  return brindelsource(samplesource{readarray, &array}, samplerate, frame_shift, min, max, threshold, otype,
                       report, out);
}

int brindelsource(samplesource source, double samplerate, int frame_shift, double min, double max,
                  double threshold, int otype, trackreport* report, FILE* out) {
  if (checkbrindelparams(samplerate, frame_shift, min, max, report)) return kTrackBadParameters;
  epochtracker et;
  et.setunvoicedcost((float)threshold);
  if (et.start((float)samplerate, (float)min, (float)max, true, false) != 0) {
    report->say("Failed to initialize variables\n");
    return kTrackFailed;
  }
  const int read = readsamples(source, &et, report);
  if (read != kTrackDone) return read;
  if (checkinputlength(samplerate, framestepof(frame_shift, samplerate), et.samples(), report))
    return kTrackBadParameters;
  if (findepochs(et, report) != 0) {
    report->say("Failed to compute epochs\n");
    return kTrackFailed;
  }
  framewriter writer = {out, (float)samplerate, otype};
  return et.resampleframes((float)(frame_shift / samplerate), writeframe, &writer) == 0 ? kTrackDone
                                                                                        : kTrackFailed;
}

}  // namespace velk
