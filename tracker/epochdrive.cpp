#include "epochdrive.h"

#include <cmath>
#include <cstdio>
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

}  // namespace

std::vector<int16_t> samplestoint16(const float* x, long length) {
  std::vector<int16_t> samples(length > 0 ? length : 0);
  for (size_t k = 0; k < samples.size(); k++)
    samples[k] = (int16_t)std::fmax(-32768.0f, std::fmin(32767.0f, x[k]));
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

int computeepochsandf0(epochtracker& et, float /*unvoiced_pulse_interval*/, float external_frame_interval,
                       std::unique_ptr<frametrack>* /*pm*/, std::unique_ptr<frametrack>* f0,
                       std::unique_ptr<frametrack>* corr, trackreport* report) {
  if (et.computefeatures() != 0) return -1;
  if (et.trackepochs() != 0) {
    report->say("Problems in TrackEpochs\n");
    return -1;
  }
  *f0 = makef0output(et, external_frame_interval, corr);
  return 0;
}

namespace {

float framevalue(const frametrack& f0, int i, int c, float samplerate, int otype) {
  if (!f0.v(i)) return otype == 2 ? -1.0E10f : 0.0f;
  const float x = f0.a(i, c);
  if (otype == 1) return x;
  if (otype == 2) return logf(x);
  return samplerate / x;
}

}  // namespace

int brindel(float_list* input, int length, double samplerate, int frame_shift, double min, double max,
            double threshold, int otype, trackreport* report) {
  return brindelsamples(listsamples(input, length).data(), length, samplerate, frame_shift, min, max,
                        threshold, otype, report);
}

int brindelsamples(const float* x, long length, double samplerate, int frame_shift, double min, double max,
                   double threshold, int otype, trackreport* report, FILE* out) {
  if (checkbrindelparams(samplerate, frame_shift, min, max, report) ||
      checkinputlength(samplerate, framestepof(frame_shift, samplerate), length, report))
    return kTrackBadParameters;
  if (length > kEpochLongestInput) {
    report->say("input too long for the epoch tracker: %ld samples, at most %ld.\n", length,
                kEpochLongestInput);
    return kTrackFailed;
  }
  const std::vector<int16_t> waveforms = samplestoint16(x, length);
  epochtracker et;
  et.setunvoicedcost((float)threshold);
  if (et.init(waveforms.data(), (int)length, (float)samplerate, (float)min, (float)max, true, false) != 0) {
    report->say("Failed to initialize variables\n");
    return kTrackFailed;
  }
  const float external_frame_interval = (float)(frame_shift / samplerate);
  std::unique_ptr<frametrack> pm, f0, corr;
  if (computeepochsandf0(et, 0.01f, external_frame_interval, &pm, &f0, &corr, report) != 0) {
    report->say("Failed to compute epochs\n");
    return kTrackFailed;
  }
  if (!f0) return kTrackFailed;
  for (int i = 0; i < f0->numframes(); i++) {
    for (int c = 0; c < f0->numchannels(); c++) {
      const float value = framevalue(*f0, i, c, (float)samplerate, otype);
      fwrite(&value, sizeof value, 1, out);
    }
  }
  return kTrackDone;
}

}  // namespace velk
