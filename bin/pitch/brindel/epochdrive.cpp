#include "epochdrive.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// The first length samples of a list (0 beyond its end).
std::vector<float> list_samples(const float_list* input, int length) {
  std::vector<float> x;
  for (; input && (long)x.size() < length; input = input->next) x.push_back(input->f);
  x.resize(length > 0 ? length : 0, 0.0f);
  return x;
}

}  // namespace

std::vector<int16_t> SamplesToInt16(const float* x, long length) {
  std::vector<int16_t> samples(length > 0 ? length : 0);
  for (size_t k = 0; k < samples.size(); k++)
    samples[k] = (int16_t)std::fmax(-32768.0f, std::fmin(32767.0f, x[k]));
  return samples;
}

std::vector<int16_t> ListToSamples(const float_list* input, int length) {
  return SamplesToInt16(list_samples(input, length).data(), length);
}

int check_brindel_params(double samplerate, int frame_shift, double min, double max, TrackReport* report) {
  float frame_step = frame_step_of(frame_shift, samplerate);
  if (check_tracker_params(samplerate, (float)min, (float)max, &frame_step, report)) return -1;
  if (!(min >= kEpochLowestF0)) {
    report->say("ERROR: min_f0 of the epoch tracker must be at least %g Hz.\n", kEpochLowestF0);
    report->say("invalid/inconsistent parameters -- exiting.\n");
    return -1;
  }
  return 0;
}

std::unique_ptr<Track> MakeF0Output(EpochTracker& et, float resample_interval, std::unique_ptr<Track>* cor) {
  std::vector<float> f0, corr;
  if (!et.ResampleAndReturnResults(resample_interval, &f0, &corr)) return nullptr;
  auto f0_track = std::make_unique<Track>();
  auto corr_track = std::make_unique<Track>();
  f0_track->resize((int)f0.size(), 1);
  corr_track->resize((int)corr.size(), 1);
  for (int i = 0; i < (int)f0.size(); i++) {
    const float t = i * resample_interval;
    const bool voiced = f0[i] > 0.0f;
    f0_track->t(i) = t;
    corr_track->t(i) = t;
    f0_track->set_v(i, voiced);
    corr_track->set_v(i, voiced);
    f0_track->a(i, 0) = voiced ? f0[i] : -1.0f;
    corr_track->a(i, 0) = corr[i];
    if (i == 0) corr_track->set_voicing_enabled(true);
  }
  if (!f0.empty()) f0_track->set_voicing_enabled(true);
  *cor = std::move(corr_track);
  return f0_track;
}

bool ComputeEpochsAndF0(EpochTracker& et, float /*unvoiced_pulse_interval*/, float external_frame_interval,
                        std::unique_ptr<Track>* /*pm*/, std::unique_ptr<Track>* f0,
                        std::unique_ptr<Track>* corr, TrackReport* report) {
  if (!et.ComputeFeatures()) return false;
  if (!et.TrackEpochs()) {
    report->say("Problems in TrackEpochs\n");
    return false;
  }
  *f0 = MakeF0Output(et, external_frame_interval, corr);
  return true;
}

namespace {

float frame_value(const Track& f0, int i, int c, float samplerate, int otype) {
  if (!f0.v(i)) return otype == 2 ? -1.0E10f : 0.0f;
  const float x = f0.a(i, c);
  if (otype == 1) return x;
  if (otype == 2) return logf(x);
  return samplerate / x;
}

}  // namespace

int brindel(float_list* input, int length, double samplerate, int frame_shift, double min, double max,
            double threshold, int otype, TrackReport* report) {
  return brindel_samples(list_samples(input, length).data(), length, samplerate, frame_shift, min, max,
                         threshold, otype, report);
}

int brindel_samples(const float* x, long length, double samplerate, int frame_shift, double min, double max,
                    double threshold, int otype, TrackReport* report, FILE* out) {
  if (check_brindel_params(samplerate, frame_shift, min, max, report) ||
      check_input_length(samplerate, frame_step_of(frame_shift, samplerate), length, report))
    return kTrackBadParameters;
  if (length > kEpochLongestInput) {
    report->say("input too long for the epoch tracker: %ld samples, at most %ld.\n", length,
                kEpochLongestInput);
    return kTrackFailed;
  }
  const std::vector<int16_t> waveforms = SamplesToInt16(x, length);
  EpochTracker et;
  et.set_unvoiced_cost((float)threshold);
  if (!et.Init(waveforms.data(), (int)length, (float)samplerate, (float)min, (float)max, true, false)) {
    report->say("Failed to initialize variables\n");
    return kTrackFailed;
  }
  const float external_frame_interval = (float)(frame_shift / samplerate);
  std::unique_ptr<Track> pm, f0, corr;
  if (!ComputeEpochsAndF0(et, 0.01f, external_frame_interval, &pm, &f0, &corr, report)) {
    report->say("Failed to compute epochs\n");
    return kTrackFailed;
  }
  if (!f0) return kTrackFailed;
  for (int i = 0; i < f0->num_frames(); i++) {
    for (int c = 0; c < f0->num_channels(); c++) {
      const float value = frame_value(*f0, i, c, (float)samplerate, otype);
      fwrite(&value, sizeof value, 1, out);
    }
  }
  return kTrackDone;
}
