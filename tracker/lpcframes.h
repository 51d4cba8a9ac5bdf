// Frame LPC analysis with a Hann window: optional preemphasis, normalised
// autocorrelation, Levinson-Durbin recursion with a spectral noise floor,
// predictor autocorrelation, Itakura distance and windowed RMS. The window
// tables live in the object, so separate analysers are independent.
#pragma once

#include <vector>

namespace velk {

class lpcanalyzer {
 public:
  // Largest LPC order computelpc accepts.
  static constexpr int kMaxOrder = 100;

  // dout[i] = w[i] * din[i], or w[i] * (din[i+1] - preemp * din[i]) when
  // preemp is not 0 (din then holds n + 1 values).
  void hannwindow(const float* din, float* dout, int n, float preemp);
  // Brings energywind_ to a Hann window of length n.
  void getwindow(int n);
  // RMS of the Hann-windowed data.
  float windowedrms(float* data, int size);
  // Autocorrelation r[0..p] normalised by r[0], and the RMS of s in *e.
  void autoc(int windowsize, float* s, int p, float* r, float* e);
  // Levinson-Durbin: reflection coefficients k[0..p-1], predictor a[0..p-1]
  // (without the leading 1) and the normalised residual energy *ex.
  void durbin(float* r, float* k, float* a, int p, float* ex);
  // Autocorrelation of the predictor 1, a[0..p-1]: c (lag 0) and b[0..p-1].
  void pctoautocorpc(float* a, float* b, float* c, int p);
  // Itakura distance of the predictor with autocorrelation (c, b) to the signal
  // autocorrelation r, over the gain.
  float itakuradistance(int p, float* b, float* c, float* r, float gain);
  // LPC of one frame of wsize samples. Outputs may be absent: lpca (lpc_ord + 1
  // coefficients, lpca[0] = 1), ar (autocorrelation), lpck (reflection
  // coefficients), normerr, rms. 0, or -1 for absent data, an order outside
  // 1 .. kMaxOrder or a frame of no samples.
  int computelpc(int lpc_ord, float noise_floor, int wsize, const float* data, float* lpca, float* ar,
                 float* lpck, float* normerr, float* rms, float preemp);

 private:
  std::vector<float> energywind_;
  std::vector<float> window_;
};

}  // namespace velk
