// Single-precision signal primitives of the dynamic-programming F0 tracker.
#include "lpcprims.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Largest LPC order xlpc accepts (its work arrays live on the stack).
const int kMaxLpcOrder = 100;

// A window table cached by length: recomputed whenever the length changes.
struct WindowTable {
  int wsize = 0;
  float* wind = nullptr;
};

// A growable scratch buffer holding the mean-removed copy of a correlation input.
struct ScratchCopy {
  int dbsize = 0;
  float* dbdata = nullptr;
};

WindowTable hamming_table, cos4_table, hann_table;
ScratchCopy crossf_copy, crossfi_copy;

// Phase of sample i of an n-point window; the 2*pi constant is the one the
// tracker was tuned with.
double window_phase(int i, int n) {
  const double arg = 6.2831854 / n;
  return (i + 0.5) * arg;
}

void fill_hamming(float* w, int n) {
  for (int i = 0; i < n; i++) w[i] = (float)(0.54 - 0.46 * cos(window_phase(i, n)));
}

void fill_hann(float* w, int n) {
  for (int i = 0; i < n; i++) w[i] = (float)(0.5 - 0.5 * cos(window_phase(i, n)));
}

void fill_cos4(float* w, int n) {
  for (int i = 0; i < n; i++) {
    const float co = (float)(0.5 * (1.0 - cos(window_phase(i, n))));
    w[i] = co * co * co * co;
  }
}

// Returns the table of length n, recomputing it when the cached length differs;
// null when n is not positive or memory is short.
const float* cached_table(WindowTable& t, int n, void (*fill)(float*, int)) {
  if (n <= 0) return nullptr;
  if (n != t.wsize) {
    float* p = (float*)realloc(t.wind, sizeof(float) * n);
    if (!p) {
      fprintf(stderr, "Allocation problems in window()\n");
      return nullptr;
    }
    t.wind = p;
    t.wsize = n;
    fill(t.wind, n);
  }
  return t.wind;
}

// dout[i] = w[i] * din[i], or w[i] * (din[i+1] - preemp * din[i]) with preemphasis.
void apply_window(const float* w, const float* din, float* dout, int n, float preemp) {
  if (preemp == 0.0f) {
    for (int i = 0; i < n; i++) dout[i] = w[i] * din[i];
  } else {
    for (int i = 0; i < n; i++) dout[i] = w[i] * (din[i + 1] - preemp * din[i]);
  }
}

void tabled_window(WindowTable& t, void (*fill)(float*, int), const float* din, float* dout, int n,
                   float preemp) {
  const float* w = cached_table(t, n, fill);
  if (w) apply_window(w, din, dout, n, preemp);
}

float sum_of_squares(const float* x, int n) {
  float s = 0.0f;
  for (int j = 0; j < n; j++) s += x[j] * x[j];
  return s;
}

float dot(const float* x, const float* y, int n) {
  float s = 0.0f;
  for (int j = 0; j < n; j++) s += x[j] * y[j];
  return s;
}

// Fills the copy with data[0..total-1] minus the mean of data[0..size-1];
// null (with a message) when memory is short.
float* mean_removed_copy(ScratchCopy& c, const float* data, int size, int total) {
  if (total > c.dbsize) {
    free(c.dbdata);
    c.dbsize = 0;
    c.dbdata = (float*)malloc(sizeof(float) * total);
    if (!c.dbdata) {
      fprintf(stderr, "Allocation failure in crossf()\n");
      return nullptr;
    }
    c.dbsize = total;
  }
  float mean = 0.0f;
  for (int j = 0; j < size; j++) mean += data[j];
  mean /= size;
  for (int j = 0; j < total; j++) c.dbdata[j] = data[j] - mean;
  return c.dbdata;
}

// The RMS of a window relative to a rectangular one, by window type.
float window_rms_factor(int type) {
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

void xhwindow(const float* din, float* dout, int n, float preemp) {
  tabled_window(hamming_table, fill_hamming, din, dout, n, preemp);
}

void xcwindow(const float* din, float* dout, int n, float preemp) {
  tabled_window(cos4_table, fill_cos4, din, dout, n, preemp);
}

void xhnwindow(const float* din, float* dout, int n, float preemp) {
  tabled_window(hann_table, fill_hann, din, dout, n, preemp);
}

int window(const float* din, float* dout, int n, float preemp, int type) {
  switch (type) {
    case WINDOW_RECT:
      xrwindow(din, dout, n, preemp);
      break;
    case WINDOW_HAMMING:
      xhwindow(din, dout, n, preemp);
      break;
    case WINDOW_COS4:
      xcwindow(din, dout, n, preemp);
      break;
    case WINDOW_HANN:
      xhnwindow(din, dout, n, preemp);
      break;
    default:
      fprintf(stderr, "Unknown window type (%d) requested in window()\n", type);
      return 0;
  }
  return 1;
}

int xget_window(float* dout, int n, int type) {
  static int n0 = 0;
  static float* ones = nullptr;
  if (n > n0) {
    free(ones);
    n0 = 0;
    ones = (float*)malloc(sizeof(float) * n);
    if (!ones) {
      fprintf(stderr, "Allocation problems in xget_window()\n");
      return 0;
    }
    for (int i = 0; i < n; i++) ones[i] = 1.0f;
    n0 = n;
  }
  return window(ones, dout, n, 0.0f, type);
}

void xautoc(int windowsize, const float* s, int p, float* r, float* e) {
  r[0] = 1.0f;
  const float sum0 = windowsize > 0 ? sum_of_squares(s, windowsize) : 0.0f;
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
  *c = 1.0f + sum_of_squares(a, p);
  for (int i = 0; i < p; i++) b[i] = 2.0f * (a[i] + dot(a, a + i + 1, p - 1 - i));
}

float xitakura(int p, const float* b, const float* c, const float* r, const float* gain) {
  return (c[0] + dot(r, b, p)) / gain[0];
}

float wind_energy(const float* data, int size, int w_type) {
  static int nwind = 0;
  static float* dwind = nullptr;
  if (size <= 0) return 0.0f;
  if (size != nwind) {
    if (size > nwind) {
      float* p = (float*)realloc(dwind, sizeof(float) * size);
      if (!p) {
        fprintf(stderr, "Can't allocate scratch memory in wind_energy()\n");
        return 0.0f;
      }
      dwind = p;
    }
    nwind = 0;
    if (!xget_window(dwind, size, w_type)) return 0.0f;
    nwind = size;
  }
  float sum = 0.0f;
  for (int i = 0; i < size; i++) {
    const float f = dwind[i] * data[i];
    sum += f * f;
  }
  return sqrtf(sum / size);
}

int xlpc(int lpc_ord, float lpc_stabl, int wsize, const float* data, float* lpca, float* ar, float* lpck,
         float* normerr, float* rms, float preemp, int type) {
  static int nwind = 0;
  static float* dwind = nullptr;
  if (lpc_ord > kMaxLpcOrder || !data || wsize < 1) return 0;
  if (wsize != nwind) {
    float* p = (float*)realloc(dwind, sizeof(float) * wsize);
    if (!p) {
      fprintf(stderr, "Can't allocate scratch memory in lpc()\n");
      return 0;
    }
    dwind = p;
    nwind = wsize;
  }
  // An unknown window type leaves the frame unfilled: nothing to analyse.
  if (!window(data, dwind, wsize, preemp, type)) return 0;

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
  if (rms) *rms = en / window_rms_factor(type);
  if (normerr) *normerr = er;
  return 1;
}

void crossf(const float* data, int size, int start, int nlags, float* engref, int* maxloc, float* maxval,
            float* correl) {
  const int total = size + start + nlags;
  const float* x = mean_removed_copy(crossf_copy, data, size, total);
  if (!x) return;
  const float engr = sum_of_squares(x, size);
  *engref = engr;
  if (engr <= 0.0f) {
    *maxloc = 0;
    *maxval = 0.0f;
    for (int i = 0; i < nlags; i++) correl[i] = 0.0f;
    return;
  }
  double engc = sum_of_squares(x + start, size);
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

void crossfi(const float* data, int size, int start0, int nlags0, int nlags, float* engref, int* maxloc,
             float* maxval, float* correl, const int* locs, int nlocs) {
  const int total = size + start0 + nlags0;
  const float* x = mean_removed_copy(crossfi_copy, data, size, total);
  if (!x) return;
  for (int i = 0; i < nlags0; i++) correl[i] = 0.0f;
  const float engr = sum_of_squares(x, size);
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
    double engc = sum_of_squares(x + start, size);
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
