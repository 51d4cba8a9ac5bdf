#include "lpcframes.h"

#include <cmath>

#include "constants.h"

namespace velk {

namespace {

// Fills w with a Hann window of length n unless it already has that length.
void makehann(std::vector<float>* w, int n) {
  if ((int)w->size() == n) return;
  w->resize(n);
  const double arg = 2.0 * kPi / n;
  for (int i = 0; i < n; i++) (*w)[i] = (float)(0.5 - 0.5 * cos((i + 0.5) * arg));
}

// RMS of a Hann window, by which the windowed RMS is scaled back.
const float kHannRms = 0.612372f;

}  // namespace

void lpcanalyzer::hannwindow(const float* din, float* dout, int n, float preemp) {
  makehann(&window_, n);
  const float* w = window_.data();
  if (preemp == 0.0f) {
    for (int i = 0; i < n; i++) dout[i] = w[i] * din[i];
  } else {
    for (int i = 0; i < n; i++) dout[i] = w[i] * (din[i + 1] - preemp * din[i]);
  }
}

void lpcanalyzer::getwindow(int n) {
  makehann(&energywind_, n);
}

float lpcanalyzer::windowedrms(float* data, int size) {
  getwindow(size);
  float sum = 0.0f;
  for (int i = 0; i < size; i++) {
    const float v = energywind_[i] * data[i];
    sum += v * v;
  }
  return sqrtf(sum / size);
}

void lpcanalyzer::autoc(int windowsize, float* s, int p, float* r, float* e) {
  r[0] = 1.0f;
  float sum0 = 0.0f;
  for (int j = 0; j < windowsize; j++) sum0 += s[j] * s[j];
  if (windowsize == 0 || sum0 == 0.0f) {
    *e = 1.0f;
    for (int i = 1; i <= p; i++) r[i] = 0.0f;
    return;
  }
  *e = sqrtf(sum0 / windowsize);
  const float inv = 1.0f / sum0;
  for (int i = 1; i <= p; i++) {
    float sum = 0.0f;
    for (int j = 0; j < windowsize - i; j++) sum += s[j] * s[j + i];
    r[i] = sum * inv;
  }
}

void lpcanalyzer::durbin(float* r, float* k, float* a, int p, float* ex) {
  float b[kMaxOrder];
  k[0] = -r[1] / r[0];
  a[0] = k[0];
  float e = (float)((1.0 - (double)k[0] * k[0]) * r[0]);
  for (int i = 1; i < p; i++) {
    float s = 0.0f;
    for (int j = 0; j < i; j++) s -= a[j] * r[i - j];
    k[i] = (s - r[i + 1]) / e;
    a[i] = k[i];
    for (int j = 0; j < i; j++) b[j] = a[j];
    for (int j = 0; j < i; j++) a[j] += k[i] * b[i - 1 - j];
    e = (float)((double)e * (1.0 - (double)k[i] * k[i]));
  }
  *ex = e;
}

void lpcanalyzer::pctoautocorpc(float* a, float* b, float* c, int p) {
  float s = 1.0f;
  for (int i = 0; i < p; i++) s += a[i] * a[i];
  *c = s;
  for (int i = 0; i < p; i++) {
    float sum = a[i];
    for (int j = 0; j <= p - 2 - i; j++) sum += a[j] * a[j + i + 1];
    b[i] = 2.0f * sum;
  }
}

float lpcanalyzer::itakuradistance(int p, float* b, float* c, float* r, float gain) {
  float sum = c[0];
  for (int i = 0; i < p; i++) sum += r[i] * b[i];
  return sum / gain;
}

int lpcanalyzer::computelpc(int lpc_ord, float noise_floor, int wsize, const float* data, float* lpca,
                            float* ar, float* lpck, float* normerr, float* rms, float preemp) {
  if (data == nullptr || lpc_ord < 1 || lpc_ord > kMaxOrder || wsize <= 0) return -1;
  std::vector<float> scratch(wsize);
  hannwindow(data, scratch.data(), wsize, preemp);

  float rloc[kMaxOrder + 1], kloc[kMaxOrder], aloc[kMaxOrder + 1], en, er;
  float* r = ar ? ar : rloc;
  autoc(wsize, scratch.data(), lpc_ord, r, &en);
  float floored[kMaxOrder + 1];
  if (noise_floor > 1.0f) {
    const double ffact = 1.0 / (1.0 + exp(-noise_floor / 20.0 * 2.302585092994046));
    floored[0] = r[0];
    for (int i = 1; i <= lpc_ord; i++) floored[i] = (float)(ffact * r[i]);
    if (ar) {
      for (int i = 0; i <= lpc_ord; i++) ar[i] = floored[i];
    }
    r = floored;
  }
  float* k = lpck ? lpck : kloc;
  float* a = lpca ? lpca : aloc;
  durbin(r, k, a + 1, lpc_ord, &er);
  a[0] = 1.0f;
  if (rms) *rms = en / kHannRms;
  if (normerr) *normerr = er;
  return 0;
}

}  // namespace velk
