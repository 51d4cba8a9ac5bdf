// The data of figure panels: F0 contours and waveforms as curves against time, short-time
// spectra of a sound as a level image, and the ranges their axes are chosen from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "figure.h"
#include "stft.h"

namespace velk {

const int kWaveColumns = 2000;       // waveform columns: a minimum and a maximum each
const int kEnvelopePoints = 257;     // envelope levels from 0 Hz to half the rate
const int kMaxImageColumns = 4000;   // level image columns at most
const double kMaxImageCells = 16e6;  // level image cells at most

// F0 in Hz of a stream value (log-F0, or Hz when hz), NaN for an unvoiced or unusable frame.
double f0hz(double v, bool hz);

// An F0 contour against time: frame k of values at k lframe / rate seconds, in Hz.
plotcurve f0curve(const std::vector<double>& values, double rate, long lframe, bool hz);

// The waveform x (rate Hz) over t0..t1 seconds: every sample when there are fewer than
// 2 kWaveColumns, else the minimum and the maximum of each of kWaveColumns equal columns at the
// column's centre (NaN twice for a column without finite samples).
plotcurve wavecurve(const std::vector<double>& x, double rate, double t0, double t1);

// Short-time spectra of the sound x (rate Hz) by plan over t0..t1 seconds, a column every hopms
// milliseconds (at least a sample; further apart when the columns would exceed kMaxImageColumns
// or the cells kMaxImageCells): column c centred on sample s0 + c hop, row r on r rate / nfft.
// The image spans its cells in seconds and kHz.
levelimage soundspectrogram(const stftplan& plan, const std::vector<double>& x, double rate, double hopms,
                            double t0, double t1);

// A stream of warped cepstra: frames of ccord + 1 values, frame k at k lframe / rate seconds.
struct cepstralstream {
  const std::vector<double>* values = nullptr;
  uint32_t ccord = 0;
  double alpha = 0;      // warping factor
  bool adapted = false;  // range-adapted (the encoder's), undone before the envelope is taken
  double rate = 0;       // Hz
  long lframe = 0;       // samples
};

// The envelope of frame k of the stream in dB at kEnvelopePoints frequencies from 0 Hz to half
// the rate.
std::vector<double> frameenvelope(const cepstralstream& s, size_t k);

// The envelopes of the first frames >= 1 of the stream over t0..t1 seconds (at most the frames'
// own span, half a frame beyond the first and the last), a column a frame (fewer when they
// would exceed kMaxImageColumns), each showing the frame nearest its centre; empty when the
// range holds none. The image spans its cells in seconds and kHz.
levelimage cepstralspectrogram(const cepstralstream& s, size_t frames, double t0, double t1);

// The loudest finite cell of the image in dB, 0 when there is none.
double loudest(const levelimage& im);

// Minimum and maximum of the finite values of v, or of the ys of all curves; false (lo
// infinite, hi minus infinite) when there are none.
bool finiterange(const std::vector<double>& v, double* lo, double* hi);
bool curvesrange(const std::vector<plotcurve>& curves, double* lo, double* hi);

// An axis around the values lo..hi of a contour, with a margin so that no value lies on the frame.
plotaxis contouraxis(double lo, double hi);

}  // namespace velk
