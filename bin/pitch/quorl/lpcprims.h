// Single-precision signal primitives of the dynamic-programming F0 tracker:
// analysis windows, autocorrelation, Levinson-Durbin, Itakura distance, frame
// energy, stabilised LPC and normalised cross-correlation searches.
//
// Every function works on caller-owned float arrays. Several functions keep a
// private scratch buffer or window table between calls (grown on demand, kept
// for the life of the process), so none of them is reentrant.
#ifndef VELK_PITCH_LPCPRIMS_H
#define VELK_PITCH_LPCPRIMS_H

// Window types understood by window(), xget_window(), wind_energy() and xlpc().
enum { WINDOW_RECT = 0, WINDOW_HAMMING = 1, WINDOW_COS4 = 2, WINDOW_HANN = 3 };

// Window n samples of din into dout. With preemp != 0 the input is
// preemphasised on the fly (din[i+1] - preemp * din[i]), so din holds n+1 samples.
void xrwindow(const float* din, float* dout, int n, float preemp);
void xhwindow(const float* din, float* dout, int n, float preemp);
void xcwindow(const float* din, float* dout, int n, float preemp);
void xhnwindow(const float* din, float* dout, int n, float preemp);

// Dispatch on the window type; returns 1, or 0 (with a message) for an unknown type.
int window(const float* din, float* dout, int n, float preemp, int type);

// Writes the bare window shape of the given type and length; 1 done, 0 failure.
int xget_window(float* dout, int n, int type);

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

// RMS of data weighted by a window of type w_type (table cached by length only).
float wind_energy(const float* data, int size, int w_type);

// LPC analysis of order lpc_ord over wsize windowed samples with an optional
// spectral floor lpc_stabl (dB). lpca (order+1), ar (order+1), lpck (order),
// normerr and rms may each be null. Returns 1, or 0 when refused or failed
// (order above 100, no data, wsize below 1, unknown window type, no memory).
int xlpc(int lpc_ord, float lpc_stabl, int wsize, const float* data, float* lpca, float* ar, float* lpck,
         float* normerr, float* rms, float preemp, int type);

// Normalised cross-correlation of the first `size` samples of data against
// lags start .. start+nlags-1; data holds size+start+nlags samples.
void crossf(const float* data, int size, int start, int nlags, float* engref, int* maxloc, float* maxval,
            float* correl);

// The same over ranges of nlags lags centred on each of locs[0..nlocs-1], all
// within start0 .. start0+nlags0-1; lags outside the ranges are left 0 in correl.
void crossfi(const float* data, int size, int start0, int nlags0, int nlags, float* engref, int* maxloc,
             float* maxval, float* correl, const int* locs, int nlocs);

#endif
