// Single-precision signal primitives of the dynamic-programming F0 tracker.
#include "lpcprims.h"

#include <cmath>

namespace velk {

namespace {

// Largest LPC order xlpc accepts (its work arrays live on the stack).
const int kMaxLpcOrder = 100;

// Phase of sample i of an n-point window; the 2*pi constant is the one the
// tracker was tuned with.
double windowphase(int i, int n) {
  const double arg = 6.2831854 / n;
  return (i + 0.5) * arg;
}

void fillhamming(float* w, int n) {
  for (int i = 0; i < n; i++) w[i] = (float)(0.54 - 0.46 * cos(windowphase(i, n)));
}

void fillhann(float* w, int n) {
  for (int i = 0; i < n; i++) w[i] = (float)(0.5 - 0.5 * cos(windowphase(i, n)));
}

void fillcos4(float* w, int n) {
  for (int i = 0; i < n; i++) {
    const float co = (float)(0.5 * (1.0 - cos(windowphase(i, n))));
    w[i] = co * co * co * co;
  }
}

// Returns the table of length n (n > 0), recomputing it when its length differs.
const float* cachedtable(std::vector<float>& table, int n, void (*fill)(float*, int)) {
  if ((int)table.size() != n) {
    table.resize(n);
    fill(table.data(), n);
  }
  return table.data();
}

// dout[i] = w[i] * din[i], or w[i] * (din[i+1] - preemp * din[i]) with preemphasis.
void applywindow(const float* w, const float* din, float* dout, int n, float preemp) {
  if (preemp == 0.0f) {
    for (int i = 0; i < n; i++) dout[i] = w[i] * din[i];
  } else {
    for (int i = 0; i < n; i++) dout[i] = w[i] * (din[i + 1] - preemp * din[i]);
  }
}

void tabledwindow(std::vector<float>& table, void (*fill)(float*, int), const float* din, float* dout, int n,
                  float preemp) {
  if (n > 0) applywindow(cachedtable(table, n, fill), din, dout, n, preemp);
}

float sumofsquares(const float* x, int n) {
  float s = 0.0f;
  for (int j = 0; j < n; j++) s += x[j] * x[j];
  return s;
}

float dot(const float* x, const float* y, int n) {
  float s = 0.0f;
  for (int j = 0; j < n; j++) s += x[j] * y[j];
  return s;
}

// Fills the copy with data[0..total-1] minus the mean of data[0..size-1].
const float* meanremovedcopy(std::vector<float>& copy, const float* data, int size, int total) {
  if (total > (int)copy.size()) copy.resize(total);
  float mean = 0.0f;
  for (int j = 0; j < size; j++) mean += data[j];
  mean /= size;
  for (int j = 0; j < total; j++) copy[j] = data[j] - mean;
  return copy.data();
}

// The RMS of a window relative to a rectangular one, by window type.
float windowrmsfactor(int type) {
  switch (type) {
    case WINDOW_HAMMING:
      return 0.630397f;
    case WINDOW_COS4:
      return 0.443149f;
    case WINDOW_HANN:
      return 0.612372f;
    default:
      return 1.0f;
  }
}

}  // namespace

void xrwindow(const float* din, float* dout, int n, float preemp) {
  if (preemp == 0.0f) {
    for (int i = 0; i < n; i++) dout[i] = din[i];
  } else {
    for (int i = 0; i < n; i++) dout[i] = din[i + 1] - preemp * din[i];
  }
}

void xhwindow(lpcwork* work, const float* din, float* dout, int n, float preemp) {
  tabledwindow(work->hamming, fillhamming, din, dout, n, preemp);
}

void xcwindow(lpcwork* work, const float* din, float* dout, int n, float preemp) {
  tabledwindow(work->cos4, fillcos4, din, dout, n, preemp);
}

void xhnwindow(lpcwork* work, const float* din, float* dout, int n, float preemp) {
  tabledwindow(work->hann, fillhann, din, dout, n, preemp);
}

int window(lpcwork* work, const float* din, float* dout, int n, float preemp, int type) {
  switch (type) {
    case WINDOW_RECT:
      xrwindow(din, dout, n, preemp);
      return 0;
    case WINDOW_HAMMING:
      xhwindow(work, din, dout, n, preemp);
      return 0;
    case WINDOW_COS4:
      xcwindow(work, din, dout, n, preemp);
      return 0;
    case WINDOW_HANN:
      xhnwindow(work, din, dout, n, preemp);
      return 0;
    default:
      return -1;
  }
}

int xget_window(lpcwork* work, float* dout, int n, int type) {
  if (n > (int)work->ones.size()) work->ones.assign(n, 1.0f);
  return window(work, work->ones.data(), dout, n, 0.0f, type);
}

void xautoc(int windowsize, const float* s, int p, float* r, float* e) {
  r[0] = 1.0f;
  const float sum0 = windowsize > 0 ? sumofsquares(s, windowsize) : 0.0f;
  if (sum0 == 0.0f) {
    *e = 1.0f;
    for (int i = 1; i <= p; i++) r[i] = 0.0f;
    return;
  }
  *e = sqrtf(sum0 / windowsize);
  const float inv = 1.0f / sum0;
  for (int i = 1; i <= p; i++) r[i] = dot(s, s + i, windowsize - i) * inv;
}

void xdurbin(const float* r, float* k, float* a, int p, float* ex) {
  float b[kMaxLpcOrder];
  k[0] = -r[1] / r[0];
  a[0] = k[0];
  float e = (1.0f - k[0] * k[0]) * r[0];
  for (int i = 1; i < p; i++) {
    float s = 0.0f;
    for (int j = 0; j < i; j++) s -= a[j] * r[i - j];
    k[i] = (s - r[i + 1]) / e;
    a[i] = k[i];
    for (int j = 0; j <= i; j++) b[j] = a[j];
    for (int j = 0; j < i; j++) a[j] += k[i] * b[i - 1 - j];
    e *= (1.0f - k[i] * k[i]);
  }
  *ex = e;
}

void xa_to_aca(const float* a, float* b, float* c, int p) {
  *c = 1.0f + sumofsquares(a, p);
  for (int i = 0; i < p; i++) b[i] = 2.0f * (a[i] + dot(a, a + i + 1, p - 1 - i));
}

float xitakura(int p, const float* b, const float* c, const float* r, const float* gain) {
  return (c[0] + dot(r, b, p)) / gain[0];
}

float wind_energy(lpcwork* work, const float* data, int size, int w_type) {
  if (size <= 0) return 0.0f;
  std::vector<float>& w = work->energy_window;
  if ((int)w.size() != size || work->energy_type != w_type) {
    w.resize(size);
    work->energy_type = -1;
    if (xget_window(work, w.data(), size, w_type) != 0) return 0.0f;
    work->energy_type = w_type;
  }
  float sum = 0.0f;
  for (int i = 0; i < size; i++) {
    const float f = w[i] * data[i];
    sum += f * f;
  }
  return sqrtf(sum / size);
}

int xlpc(lpcwork* work, int lpc_ord, float lpc_stabl, int wsize, const float* data, float* lpca, float* ar,
         float* lpck, float* normerr, float* rms, float preemp, int type) {
  if (lpc_ord > kMaxLpcOrder || !data || wsize < 1) return -1;
  if ((int)work->lpc_frame.size() < wsize) work->lpc_frame.resize(wsize);
  float* dwind = work->lpc_frame.data();
  // An unknown window type leaves the frame unfilled: nothing to analyse.
  if (window(work, data, dwind, wsize, preemp, type) != 0) return -1;

  float rho[kMaxLpcOrder + 1], k[kMaxLpcOrder], a[kMaxLpcOrder + 1];
  float* r = ar ? ar : rho;
  float en, er;
  xautoc(wsize, dwind, lpc_ord, r, &en);

  float rho_floor[kMaxLpcOrder + 1];
  if (lpc_stabl > 1.0f) {
    // A spectral floor lpc_stabl dB below the peak: scale the off-zero lags.
    const double ffact = 1.0 / (1.0 + exp(-lpc_stabl / 20.0 * 2.302585092994046));
    rho_floor[0] = r[0];
    for (int i = 1; i <= lpc_ord; i++) rho_floor[i] = (float)(ffact * r[i]);
    if (ar) {
      for (int i = 0; i <= lpc_ord; i++) ar[i] = rho_floor[i];
    }
    r = rho_floor;
  }

  float* pa = lpca ? lpca : a;
  xdurbin(r, lpck ? lpck : k, pa + 1, lpc_ord, &er);
  pa[0] = 1.0f;
  if (rms) *rms = en / windowrmsfactor(type);
  if (normerr) *normerr = er;
  return 0;
}

void crossf(lpcwork* work, const float* data, int size, int start, int nlags, float* engref, int* maxloc,
            float* maxval, float* correl) {
  const int total = size + start + nlags;
  const float* x = meanremovedcopy(work->crossf_copy, data, size, total);
  const float engr = sumofsquares(x, size);
  *engref = engr;
  if (engr <= 0.0f) {
    *maxloc = 0;
    *maxval = 0.0f;
    for (int i = 0; i < nlags; i++) correl[i] = 0.0f;
    return;
  }
  double engc = sumofsquares(x + start, size);
  if (nlags <= 0) {
    *maxloc = -1;
    *maxval = 0.0f;
    return;
  }
  float amax = 0.0f;
  int iloc = -1;
  for (int i = start; i < start + nlags; i++) {
    const float st = (float)(dot(x, x + i, size) / sqrt((double)engr * engc));
    correl[i - start] = st;
    // Slide the comparison window by one sample; the floor keeps the root finite.
    engc = engc - x[i] * x[i] + x[i + size] * x[i + size];
    if (engc < 1.0) engc = 1.0;
    if (st > amax) {
      amax = st;
      iloc = i;
    }
  }
  *maxloc = iloc;
  *maxval = amax;
}

void crossfi(lpcwork* work, const float* data, int size, int start0, int nlags0, int nlags, float* engref,
             int* maxloc, float* maxval, float* correl, const int* locs, int nlocs) {
  const int total = size + start0 + nlags0;
  const float* x = meanremovedcopy(work->crossfi_copy, data, size, total);
  for (int i = 0; i < nlags0; i++) correl[i] = 0.0f;
  const float engr = sumofsquares(x, size);
  *engref = engr;
  if (engr <= 0.0f) {
    *maxloc = 0;
    *maxval = 0.0f;
    return;
  }
  if (nlocs <= 0) {
    *maxloc = -1;
    *maxval = 0.0f;
    return;
  }
  float amax = 0.0f;
  int iloc = -1;
  const int half = nlags / 2;
  const int end0 = start0 + nlags0;
  for (int k = 0; k < nlocs; k++) {
    const int start = locs[k] - half > start0 ? locs[k] - half : start0;
    if (start >= end0) continue;
    // A range reaching past the last lag of the buffer is cut there.
    const int end = start + nlags < end0 ? start + nlags : end0;
    double engc = sumofsquares(x + start, size);
    for (int i = start; i < end; i++) {
      const float sum = dot(x, x + i, size);
      if (engc < 1.0) engc = 1.0;
      const float st = (float)(sum / sqrt(engc * engr + 10000.0));
      correl[i - start0] = st;
      engc = engc - x[i] * x[i] + x[i + size] * x[i + size];
      if (st > amax) {
        amax = st;
        iloc = i;
      }
    }
  }
  *maxloc = iloc;
  *maxval = amax;
}

}  // namespace velk
