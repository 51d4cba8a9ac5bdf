// Single-precision signal primitives of the dynamic-programming F0 tracker:
// analysis windows, autocorrelation, Levinson-Durbin, Itakura distance, frame
// energy, stabilised LPC and normalised cross-correlation searches.
//
// Every function works on caller-owned float arrays. Those that need window
// tables or scratch copies take them from an lpcwork record owned by the caller
// (a tracker holds one per analysis), so calls on different records may run in
// parallel threads. Failures are returned (0 success, -1 failure); nothing prints.
#pragma once

#include <vector>

namespace velk {

// Working storage of the primitives: window tables kept by length (and type, for
// the energy window) and grown scratch copies. Made empty; grows on demand.
struct lpcwork {
  std::vector<float> hamming, cos4, hann;  // window tables of the last length asked for
  std::vector<float> ones;                 // rectangular input of xget_window
  std::vector<float> energy_window;        // wind_energy's window
  int energy_type = -1;                    // its window type
  std::vector<float> lpc_frame;            // xlpc's windowed frame
  std::vector<float> crossf_copy;          // mean-removed correlation inputs
  std::vector<float> crossfi_copy;
};

// Window types understood by window(), xget_window(), wind_energy() and xlpc().
enum { WINDOW_RECT = 0, WINDOW_HAMMING = 1, WINDOW_COS4 = 2, WINDOW_HANN = 3 };

// Window n samples of din into dout. With preemp != 0 the input is
// preemphasised on the fly (din[i+1] - preemp * din[i]), so din holds n+1 samples.
// The tabled windows keep their table of length n in work.
void xrwindow(const float* din, float* dout, int n, float preemp);
void xhwindow(lpcwork* work, const float* din, float* dout, int n, float preemp);
void xcwindow(lpcwork* work, const float* din, float* dout, int n, float preemp);
void xhnwindow(lpcwork* work, const float* din, float* dout, int n, float preemp);

// Dispatch on the window type; returns 0, or -1 for an unknown type (dout untouched).
int window(lpcwork* work, const float* din, float* dout, int n, float preemp, int type);

// Writes the bare window shape of the given type and length; 0 done, -1 unknown type.
int xget_window(lpcwork* work, float* dout, int n, int type);

// Normalised autocorrelation r[0..p] (r[0] = 1) of s and its RMS in *e.
void xautoc(int windowsize, const float* s, int p, float* r, float* e);

// Levinson-Durbin recursion of order p: reflection coefficients k[0..p-1],
// predictor coefficients a[0..p-1] and the final prediction error *ex.
void xdurbin(const float* r, float* k, float* a, int p, float* ex);

// Autocorrelation of the predictor polynomial 1 + a[0] z^-1 + ... + a[p-1] z^-p:
// *c is lag 0, b[0..p-1] twice lags 1..p.
void xa_to_aca(const float* a, float* b, float* c, int p);

// Itakura distance: (c[0] + sum r[i] b[i]) / gain[0].
float xitakura(int p, const float* b, const float* c, const float* r, const float* gain);

// RMS of data weighted by a window of type w_type (its table kept in work);
// 0 for an empty frame or an unknown type.
float wind_energy(lpcwork* work, const float* data, int size, int w_type);

// LPC analysis of order lpc_ord over wsize windowed samples with an optional
// spectral floor lpc_stabl (dB). lpca (order+1), ar (order+1), lpck (order),
// normerr and rms may each be null. Returns 0, or -1 when refused (order above
// 100, no data, wsize below 1, unknown window type).
int xlpc(lpcwork* work, int lpc_ord, float lpc_stabl, int wsize, const float* data, float* lpca, float* ar,
         float* lpck, float* normerr, float* rms, float preemp, int type);

// Normalised cross-correlation of the first `size` samples of data against
// lags start .. start+nlags-1; data holds size+start+nlags samples.
void crossf(lpcwork* work, const float* data, int size, int start, int nlags, float* engref, int* maxloc,
            float* maxval, float* correl);

// The same over ranges of nlags lags centred on each of locs[0..nlocs-1], all
// within start0 .. start0+nlags0-1; lags outside the ranges are left 0 in correl.
void crossfi(lpcwork* work, const float* data, int size, int start0, int nlags0, int nlags, float* engref,
             int* maxloc, float* maxval, float* correl, const int* locs, int nlocs);

}  // namespace velk
