// Dynamic-programming F0 tracker.
#include "pitchdp.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "constants.h"
#include "fgetmem.h"
#include "lpcprims.h"
#include "nrandom.h"
#include "trackparams.h"

namespace velk {

namespace {

const float kBigCost = 3.4028235E38f;  // the largest float: "no path yet"
const float kUnvoicedLog = -1.0E10f;   // ln F0 written for unvoiced frames
const int kMaxLpcOrder = 100;

// Statistics of one analysis window, cached so that each window's LPC is computed once.
struct Windstat {
  float rho[kMaxLpcOrder + 1];
  float err;
  float rms;
};

// Per-frame stationarity measures of one block.
struct Stat {
  std::vector<float> stat;       // spectral change to the window one analysis gap earlier
  std::vector<float> rms;        // frame RMS
  std::vector<float> rms_ratio;  // energy ratio to the window one analysis gap earlier
};

// Round half away from zero, then truncate.
int eround(double x) {
  return x >= 0.0 ? (int)(x + 0.5) : (int)(x - 0.5);
}

// ---- Frame ring ----

// One frame of the ring with the arrays its records point into, all of them zeroed.
struct framestore {
  framestore(int nlag, int ncands)
      : correl(nlag), locs(ncands), pvals(ncands), mpvals(ncands), prept(ncands), dpvals(ncands) {
    cross = Cross{0.0f, 0.0f, 0, 0, correl.data()};
    dprec = Dprec{0, locs.data(), pvals.data(), mpvals.data(), prept.data(), dpvals.data()};
    frame = Frame{&cross, &dprec, 0.0f, nullptr, nullptr};
  }
  framestore(const framestore&) = delete;
  framestore& operator=(const framestore&) = delete;

  std::vector<float> correl;
  std::vector<short> locs;
  std::vector<float> pvals, mpvals;
  std::vector<short> prept;
  std::vector<float> dpvals;
  Cross cross;
  Dprec dprec;
  Frame frame;
};

// ---- Decimation ----

// Half of a Hann-tapered linear-phase low-pass FIR with cut-off fc (in units of
// the sampling rate) and `taps` taps; b[0] is the centre tap.
std::vector<float> lc_lin_fir(double fc, int taps) {
  const int n = (taps + 1) / 2;
  std::vector<float> b(n);
  b[0] = (float)(2.0 * fc);
  for (int m = 1; m < n; m++) b[m] = (float)(sin(2.0 * kPi * fc * m) / (kPi * m));
  for (int m = 0; m < n; m++) b[n - 1 - m] *= (float)(0.5 - 0.5 * cos(2.0 * kPi / taps * (m + 0.5)));
  return b;
}

// Moves the filter memory on by `skip` samples taken from src (avail of them exist;
// zeros beyond).
void shiftin(float* m, int len, int skip, const float* src, long avail) {
  memmove(m, m + skip, sizeof(float) * (len - skip));
  for (int t = 0; t < skip; t++) m[len - skip + t] = t < avail ? src[t] : 0.0f;
}

// The LPC order of the stationarity measure at freq Hz, at most kMaxLpcOrder (a warning in
// report when clamped).
int stationaritylpcorder(double freq, trackreport* report) {
  const int order = (int)(freq / 1000.0 + 2.0);
  if (order > kMaxLpcOrder) {
    report->say("Optimim order (%d) exceeds that allowable (%d); reduce Fs\n", order, kMaxLpcOrder);
    return kMaxLpcOrder;
  }
  return order;
}

// Copies n block samples from index from into dst, zeros where the block has none.
void copyblock(float* dst, const float* fdata, long from, int n, int buff_size) {
  for (int t = 0; t < n; t++) {
    const long src = from + t;
    dst[t] = (src >= 0 && src < buff_size) ? fdata[src] : 0.0f;
  }
}

// ---- Candidates ----

// Vertex of the parabola through y[0..2] at lags -1, 0, +1: offset and value.
void peak(const float* y, float* xp, float* yp) {
  const float a = (y[2] - y[1]) + 0.5f * (y[0] - y[2]);
  if (fabsf(a) > 0.000001f) {
    const float c = (y[0] - y[2]) / (4.0f * a);
    *xp = c;
    *yp = y[1] - a * c * c;
  } else {
    *xp = 0.0f;
    *yp = y[1];
  }
}

bool allequal(const int* v, int n) {
  for (int j = 1; j < n; j++)
    if (v[j] != v[0]) return false;
  return true;
}

}  // namespace

// The state of one analysis. Its member functions are the steps of the analysis that read or
// change that state; the public entries below make, drive and release it.
struct dpmem {
  dpmem(int debug, FILE* to) : debug_level(debug), trace(to) {}
  dpmem(const dpmem&) = delete;
  dpmem& operator=(const dpmem&) = delete;

  // 0 is silent; 1 and above write progress to trace, above 1 per-frame detail.
  int debug_level;
  FILE* trace;
  // Cost rules.
  float tcost = 0, tfact_a = 0, tfact_s = 0, vbias = 0, fdouble = 0, lagwt = 0, freqwt = 0;
  static constexpr float ln2 = 0.6931472f;
  // Frame and lag geometry, in samples.
  int step = 0, size = 0, start = 0, stop = 0, nlags = 0, ncomp = 0, pad = 0;
  // Peak lists of the candidate search.
  std::vector<float> peaks;
  std::vector<int> locs;
  // Frame ring and decision bookkeeping; frames holds every frame of the ring.
  std::vector<std::unique_ptr<framestore>> frames;
  Frame* headF = nullptr;
  Frame* tailF = nullptr;
  Frame* cmpthF = nullptr;
  std::vector<int> pcands;
  int size_frame_hist = 0, size_frame_out = 0, size_cir_buffer = 0;
  int num_active_frames = 0, cir_buff_growth_count = 0, first_time = 1;
  // Output arrays of the frames released by the last dp_f0 call.
  std::vector<float> f0p, vuvp, rms_speech, acpkp;
  int output_buf_size = 0;
  // Window statistics queue (oldest first) and stationarity history.
  int wReuse = 0;
  std::vector<Windstat> windstat;
  Stat stat;
  std::vector<float> history;
  // Decimator.
  std::vector<float> ds_out;
  int ncoeff_prev = 127;
  int ncoeff = 0;
  std::vector<float> fir_taps;   // full symmetric filter
  std::vector<float> fir_mem;    // filter history of one block
  std::vector<float> fir_state;  // history carried to the next block
  // Window tables and scratch copies of the signal primitives.
  lpcwork lpc;

  // Writes a progress line to the trace when the debug level is at least level.
  void note(int level, const char* format, ...) __attribute__((format(printf, 3, 4))) {
    if (!trace || debug_level < level) return;
    va_list args;
    va_start(args, format);
    vfprintf(trace, format, args);
    va_end(args);
  }

  // Makes one frame with all its arrays, owned by the record.
  Frame* alloc_frame(int nlag, int ncands) {
    frames.push_back(std::make_unique<framestore>(nlag, ncands));
    return &frames.back()->frame;
  }

  // Links n new frames after `after`, the last one pointing on to `before`.
  void insertframes(Frame* after, Frame* before, int n, int ncands) {
    Frame* last = after;
    for (int k = 0; k < n; k++) {
      Frame* f = alloc_frame(nlags, ncands);
      f->prev = last;
      last->next = f;
      last = f;
    }
    last->next = before;
    before->prev = last;
  }

  // Makes room for more frames between headF and tailF; -1 when the ring may not grow again
  // (said in report).
  int growring(int ncands, trackreport* report) {
    if (cir_buff_growth_count > 5) {
      report->say(
          "too many requests (%d) for dynamically allocating space.\n   There may be a "
          "problem in finding converged path.\n",
          cir_buff_growth_count);
      return -1;
    }
    note(1, "allocating %d more frames for DP circ. buffer.\n", size_cir_buffer);
    insertframes(headF, tailF, size_cir_buffer, ncands);
    cir_buff_growth_count++;
    return 0;
  }

  void growoutput(void) {
    output_buf_size *= 2;
    note(1, "reallocating space for output frames: %d\n", output_buf_size);
    f0p.resize(output_buf_size);
    vuvp.resize(output_buf_size);
    rms_speech.resize(output_buf_size);
    acpkp.resize(output_buf_size);
  }

  // Designs the decimation filter for the factor and sampling frequency.
  void designdecimator(double freq, int decimate) {
    ncoeff = ((int)(freq * 0.005)) | 1;
    const std::vector<float> half = lc_lin_fir(0.5 / decimate, ncoeff);
    const int n = (int)half.size();
    fir_taps.assign(2 * n - 1, 0.0f);
    for (int k = 0; k < 2 * n - 1; k++) fir_taps[k] = half[k < n ? n - 1 - k : k - (n - 1)];
  }

  // Filters and decimates one block: output k is centred on input sample k * skip.
  void do_ffir(const float* buf, int in_samps, float* bufo, int* out_samps, int skip, int init, int last,
               int sdstep) {
    const int len = (int)fir_taps.size();
    const int n = (len + 1) / 2;
    fir_mem.assign(len, 0.0f);
    float* m = fir_mem.data();
    if (!init && (int)fir_state.size() == n - 1) std::copy(fir_state.begin(), fir_state.end(), m);
    for (int t = 0; t < n; t++) m[n - 1 + t] = t < in_samps ? buf[t] : 0.0f;
    long in = n;
    auto emit = [&](int k) {
      float sum = 0.0f;
      for (int t = 0; t < len; t++) sum += fir_taps[t] * m[t];
      bufo[k] = sum >= 0.0f ? sum + 0.5f : sum - 0.5f;
    };
    for (int k = 0; k < *out_samps; k++, in += skip) {
      emit(k);
      shiftin(m, len, skip, buf + in, in_samps - in);
    }
    if (last && !init) {
      // Flush the filter tail for the input groups left over at the end.
      int k = *out_samps;
      for (; in_samps - in >= skip; k++, in += skip) {
        emit(k);
        shiftin(m, len, skip, nullptr, 0);
      }
      *out_samps = k;
    } else if (!last) {
      // The next block starts at sdstep: keep the n - 1 samples before it.
      fir_state.assign(n - 1, 0.0f);
      for (int t = 0; t < n - 1; t++) {
        const long src = (long)sdstep - (n - 1) + t;
        if (src >= 0 && src < in_samps) fir_state[t] = buf[src];
      }
    }
  }

  // Makes the decimated buffer hold at least n samples, new ones zeroed.
  void reservedecimated(int n) {
    if (n > (int)ds_out.size()) ds_out.resize(n, 0.0f);
  }

  // Low-pass filters and decimates a block by `decimate`, producing *samsds
  // samples (more on the last block); the buffer is at least min_capacity long. Null for an
  // empty block or factor (said in report).
  const float* downsample(const float* input, int samples, int sdstep, double freq, int* samsds, int decimate,
                          int first, int last, int min_capacity, trackreport* report) {
    if (!input || samples <= 0 || decimate <= 0 || *samsds <= 0) {
      report->say("Problems in downsamp() in downsample()\n");
      return nullptr;
    }
    if (decimate == 1) return input;
    if (first) {
      const int init_size = samples / decimate + 2 * ncoeff_prev;
      ds_out.assign(init_size, 0.0f);
      designdecimator(freq, decimate);
      ncoeff_prev = ncoeff;
    }
    // Room for every sample the filter produces and every one the candidate search reads.
    reservedecimated(std::max(min_capacity, samples / decimate + 2));
    do_ffir(input, samples, ds_out.data(), samsds, decimate, first, last, sdstep);
    return ds_out.data();
  }

  // One past the last decimated sample the candidate search of nframes frames reads.
  int decimatedreach(int nframes, int dec) {
    const int decstart = start / dec ? start / dec : 1;
    return ((nframes - 1) * step) / dec + (size / dec + 1) + decstart + (nlags / dec + 1);
  }

  // ---- Stationarity ----

  void savewindstat(const float* rho, int order, float err, float rms) {
    if (wReuse <= 0) return;
    if (wReuse > 1) memmove(windstat.data(), windstat.data() + 1, sizeof(Windstat) * (wReuse - 1));
    Windstat& w = windstat[wReuse - 1];
    memcpy(w.rho, rho, sizeof(float) * (order + 1));
    w.err = err;
    w.rms = rms;
  }

  void retrievewindstat(float* rho, int order, float* err, float* rms) {
    const Windstat& w = windstat[0];
    memcpy(rho, w.rho, sizeof(float) * (order + 1));
    *err = w.err;
    *rms = w.rms;
  }

  // Spectral distance of the current window to the previous one (or 0.02 with
  // init); also the current window's RMS and its energy ratio to the previous.
  float get_similarity(int order, int wsize, const float* pdata, const float* cdata, float* rmsa,
                       float* rms_ratio, float pre, float stab, int w_type, int init) {
    float rho3[kMaxLpcOrder + 1], a2[kMaxLpcOrder + 1], err3;
    xlpc(&lpc, order, stab, wsize - 1, cdata, a2, rho3, nullptr, &err3, nullptr, pre, w_type);
    const float rms3 = wind_energy(&lpc, cdata, wsize, w_type);
    float result;
    if (init) {
      *rms_ratio = 1.0f;
      result = 0.02f;
    } else {
      float rho1[kMaxLpcOrder + 1], err1, rms1;
      if (wReuse > 0) {
        retrievewindstat(rho1, order, &err1, &rms1);
      } else {
        xlpc(&lpc, order, stab, wsize - 1, pdata, nullptr, rho1, nullptr, &err1, nullptr, pre, w_type);
        rms1 = wind_energy(&lpc, pdata, wsize, w_type);
      }
      float b[kMaxLpcOrder], b0;
      xa_to_aca(a2 + 1, b, &b0, order);
      const float t = xitakura(order, b, &b0, rho1 + 1, &err1) - 0.8f;
      if (rms1 > 0.0f)
        *rms_ratio = (float)((0.001 + rms3) / rms1);
      else
        *rms_ratio = rms3 > 0.0f ? 2.0f : 1.0f;
      result = (float)(0.2 / t);
    }
    *rmsa = rms3;
    savewindstat(rho3, order, err3, rms3);
    return result;
  }

  void allocstationarity(int nframes) {
    stat.stat.assign(nframes, 0.0f);
    stat.rms.assign(nframes, 0.0f);
    stat.rms_ratio.assign(nframes, 0.0f);
  }

  // Fills the per-frame stationarity measures of one block of nframes >= 1 frames.
  void get_stationarity(const float* fdata, double freq, int buff_size, int nframes, int first,
                        trackreport* report) {
    const int agap = (int)(0.02 * freq);
    const int wsize = (int)(0.03 * freq);
    const int ind = (agap - wsize) / 2;
    const int order = stationaritylpcorder(freq, report);
    const float preemp = 0.4f, stab = 30.0f;
    const int w_type = WINDOW_HANN;

    if (nframes > (int)stat.rms.size() || first) {
      allocstationarity(nframes);
      history.assign(agap + wsize, 0.0f);
    }
    const int memsize = (int)history.size();
    float* mem = history.data();
    const int half = memsize / 2;
    copyblock(mem + half, fdata, 0, memsize - half, buff_size);

    for (int j = 0; j < nframes; j++) {
      const int cur = ind + j * step;
      const int prev = cur - agap;
      const bool cur_inside = cur + wsize <= buff_size;
      float* sj = &stat.stat[j];
      float* rj = &stat.rms[j];
      float* qj = &stat.rms_ratio[j];
      if (prev >= 0 && cur_inside) {
        *sj = get_similarity(order, wsize, fdata + prev, fdata + cur, rj, qj, preemp, stab, w_type, 0);
      } else if (first) {
        if (cur >= 0 && cur_inside) {
          *sj = get_similarity(order, wsize, nullptr, fdata + cur, rj, qj, preemp, stab, w_type, 1);
        } else {
          *rj = 0.0f;
          *sj = 0.002f;
          *qj = 1.0f;
        }
      } else if (cur_inside && cur + wsize > 0) {
        // The previous window lies in the last block: take both from the history.
        *sj = get_similarity(order, wsize, mem, mem + half + ind, rj, qj, preemp, stab, w_type, 0);
        if (prev + step < 0) {
          memmove(mem, mem + step, sizeof(float) * (memsize - step));
          copyblock(mem + memsize - step, fdata, cur + wsize, step, buff_size);
        }
      }
    }
    // Keep the samples before the next block's start for its first frames.
    copyblock(mem, fdata, (long)nframes * step - half, half, buff_size);
  }

  // Candidates of frame i: correlation peaks found on the decimated signal,
  // refined at the full rate around each of them.
  void get_fast_cands(const float* fdata, const float* fdsdata, int i, int dec, const F0_params* par,
                      Cross* cp, float* engref, int* maxloc, float* maxval, int* ncand) {
    const int decind = (i * step) / dec;
    const int decsize = size / dec + 1;
    const int decstart = start / dec ? start / dec : 1;
    const int decnlags = nlags / dec + 1;
    crossf(&lpc, fdsdata + decind, decsize, decstart, decnlags, engref, maxloc, maxval, cp->correl);
    cp->maxloc = (short)*maxloc;
    cp->maxval = *maxval;
    cp->rms = sqrtf(*engref / size);
    cp->firstlag = (short)decstart;
    get_cand(cp, peaks.data(), locs.data(), decnlags, ncand, par->cand_thresh);

    const float lag_wt = par->lag_weight / nlags;
    for (int k = 0; k < *ncand; k++) {
      float xp, yp;
      peak(&cp->correl[locs[k] - decstart - 1], &xp, &yp);
      locs[k] = locs[k] * dec + (int)(xp * dec + 0.5);
      peaks[k] = yp * (1.0f - lag_wt * locs[k]);
    }
    keepbestcands(peaks.data(), locs.data(), ncand, par->n_cands);

    crossfi(&lpc, fdata + i * step, size, start, nlags, 7, engref, maxloc, maxval, cp->correl, locs.data(),
            *ncand);
    cp->maxloc = (short)*maxloc;
    cp->maxval = *maxval;
    cp->rms = sqrtf(*engref / size);
    cp->firstlag = (short)start;
    get_cand(cp, peaks.data(), locs.data(), nlags, ncand, par->cand_thresh);
    keepbestcands(peaks.data(), locs.data(), ncand, par->n_cands);
  }

  // Fills a frame's hypotheses: the candidates and the unvoiced one last.
  void fillhypotheses(Dprec* dp, int ncand, float maxval) {
    for (int j = 0; j < ncand; j++) {
      dp->locs[j] = (short)locs[j];
      dp->pvals[j] = peaks[j];
      dp->mpvals[j] = 1.0f - peaks[j] * (1.0f - locs[j] * lagwt);
    }
    dp->locs[ncand] = -1;
    dp->pvals[ncand] = maxval;
    dp->mpvals[ncand] = maxval + vbias;
    dp->ncands = (short)(ncand + 1);
  }

  // ---- Dynamic programming ----

  // Cost of going from lag lj in the previous frame to lag lk now (lag <= 0: unvoiced),
  // with the frame's spectral change s and energy ratio q.
  float transitioncost(int lj, int lk, float s, float q) {
    if (lj > 0 && lk > 0) {
      const float f = (float)log((double)lk / lj);
      float cost = fabsf(f);
      const float up = (float)(fdouble + (double)fabsf(f - ln2));
      const float down = (float)(fdouble + (double)fabsf(f + ln2));
      if (up < cost) cost = up;
      if (down < cost) cost = down;
      return freqwt * cost;
    }
    if (lj <= 0 && lk > 0) return tcost + tfact_s * s + tfact_a / q;
    if (lj > 0 && lk <= 0) return tcost + tfact_s * s + tfact_a * q;
    return 0.0f;
  }

  // Best accumulated cost and predecessor of every hypothesis of `cur`.
  void linktoprevious(Frame* cur, float s, float q, bool very_first) {
    Dprec* dp = cur->dp;
    const Dprec* pd = cur->prev->dp;
    for (int k = 0; k < dp->ncands; k++) {
      if (very_first) {
        dp->dpvals[k] = dp->mpvals[k];
        dp->prept[k] = 0;
        continue;
      }
      float best = kBigCost;
      int iprev = 0;
      for (int j = 0; j < pd->ncands; j++) {
        const float c = transitioncost(pd->locs[j], dp->locs[k], s, q) + pd->dpvals[j];
        if (c < best) {
          best = c;
          iprev = j;
        }
      }
      dp->dpvals[k] = dp->mpvals[k] + best;
      dp->prept[k] = (short)iprev;
    }
  }

  // ---- Backtracking and output ----

  // Index of the cheapest hypothesis of headF; loads pcands with its predecessors.
  int bestathead(void) {
    const Dprec* dp = headF->dp;
    float mincost = kBigCost;
    int best = 0;
    for (int j = 0; j < dp->ncands; j++) {
      if (dp->dpvals[j] < mincost) {
        mincost = dp->dpvals[j];
        best = j;
      }
      pcands[j] = dp->prept[j];
    }
    return best;
  }

  // Walks back from headF until all paths meet; returns the frame to write from
  // (setting *best), or null when nothing may be written yet.
  Frame* findconvergence(int* best) {
    const int npaths = headF->dp->ncands;
    int count = 0;
    for (Frame* f = headF; f != tailF;) {
      f = f->prev;
      count++;
      if (npaths <= 1 || allequal(pcands.data(), npaths)) {
        *best = pcands[0];
        note(1, "paths went back %d frames before converging\n", count);
        return cmpthF = f;
      }
      if (f == tailF) break;
      for (int j = 0; j < npaths; j++) pcands[j] = f->dp->prept[pcands[j]];
    }
    if (num_active_frames < size_frame_out) return cmpthF = nullptr;
    return cmpthF = headF;
  }

  // Lag of a voiced hypothesis refined to the vertex of the parabola through the
  // correlations around it.
  float refinedlag(const Cross* cp, int lag) {
    float xl = (float)lag;
    if (lag > start && lag < stop) {
      const float* y = cp->correl + (lag - start) - 1;
      const float d = 2.0f * (y[2] + y[0] - 2.0f * y[1]);
      if (fabsf(d) > 0.000001f) xl += 2.0f - (3.0f * y[0] + 5.0f * y[2] - 8.0f * y[1]) / d;
    }
    return xl;
  }

  // Writes the best path from `from` back to tailF, newest first; returns the frame count.
  int writeframes(Frame* from, int best, double freq) {
    int c = best;
    int n = 0;
    for (Frame* f = from;; f = f->prev) {
      if (n >= output_buf_size) growoutput();
      const Dprec* dp = f->dp;
      rms_speech[n] = f->rms;
      acpkp[n] = dp->pvals[c];
      vuvp[n] = 1.0f;
      if (dp->locs[c] <= 0) {
        f0p[n] = 0.0f;
        vuvp[n] = 0.0f;
      } else {
        f0p[n] = (float)(freq / refinedlag(f->cp, dp->locs[c]));
      }
      note(2, " i:%4d%8.1f%8.1f\n", n, f0p[n], vuvp[n]);
      c = dp->prept[c];
      n++;
      if (f == tailF || n >= num_active_frames) break;
    }
    return n;
  }

  // Releases the frames whose path is decided (all of them on the last block).
  int releasedecidedframes(double freq, int last_time) {
    note(1, "available frames for backtracking: %d\n", num_active_frames);
    int best = bestathead();
    Frame* from = last_time ? (cmpthF = headF) : findconvergence(&best);
    int written = 0;
    if (from) {
      written = writeframes(from, best, freq);
      num_active_frames -= written;
      tailF = from->next;
    }
    note(1, "writing out %d frames.\n", written);
    return written;
  }

  // Releases what may be released after a block and hands out the output arrays.
  int releaseandhandout(double freq, int last_time, float** f0p_pt, float** vuvp_pt, float** rms_speech_pt,
                        float** acpkp_pt, int* vecsize) {
    if (num_active_frames > 0 && (num_active_frames >= size_frame_hist || last_time))
      *vecsize = releasedecidedframes(freq, last_time);
    *f0p_pt = f0p.data();
    *vuvp_pt = vuvp.data();
    *rms_speech_pt = rms_speech.data();
    *acpkp_pt = acpkp.data();
    first_time = 0;
    return 0;
  }
};

namespace {

// ---- Parameters ----

void fillparams(F0_params* par, double sample_freq, int frame_shift, double minF0, double maxF0,
                double voice_bias) {
  par->cand_thresh = 0.3f;
  par->lag_weight = 0.3f;
  par->freq_weight = 0.02f;
  par->trans_cost = 0.005f;
  par->trans_amp = 0.5f;
  par->trans_spec = 0.5f;
  par->voice_bias = (float)voice_bias;
  par->double_cost = 0.35f;
  par->min_f0 = (float)minF0;
  par->max_f0 = (float)maxF0;
  par->frame_step = framestepof(frame_shift, sample_freq);
  par->wind_dur = kCorrelationWindow;
  par->n_cands = 20;
}

// Samples of end padding: enough frames to flush the last analysis windows.
long paddingsamples(double sample_freq, int frame_shift, double minF0) {
  const double fsp = sample_freq * 10.0 / frame_shift;
  const int alpha = (int)(0.00275 * fsp + 0.5);
  int beta = (int)((9600.0 / minF0 - 168.0) * fsp / 96000.0 + 0.5);
  if (beta < 0) beta = 0;
  return (long)(alpha + beta + 3) * frame_shift;
}

// The value written for a frame of F0 f0 (0 unvoiced) in output type otype.
float outputvalue(float f0, double sample_freq, int otype) {
  switch (otype) {
    case 1:
      return f0;
    case 2:
      return f0 > 0.0f ? (float)log(f0) : kUnvoicedLog;
    default:
      return f0 > 0.0f ? (float)(sample_freq / f0) : 0.0f;
  }
}

}  // namespace

int get_Nframes(long buffsize, int pad_, int step_) {
  if (buffsize < pad_) return 0;
  return (int)((buffsize - pad_) / step_);
}

void get_cand(const Cross* cross, float* peak_, int* loc, int nlag, int* ncand, float cand_thresh) {
  const float* r = cross->correl;
  const float clip = cand_thresh * cross->maxval;
  int n = 0;
  for (int i = 1; i < nlag - 2; i++) {
    const float y = r[i];
    if (y > clip && y >= r[i - 1] && y >= r[i + 1]) {
      peak_[n] = y;
      loc[n] = cross->firstlag + i;
      n++;
    }
  }
  *ncand = n;
}

void keepbestcands(float* peak_, int* loc, int* ncand, int n_cands) {
  if (*ncand < n_cands) return;
  for (int p = 0; p < n_cands - 1; p++) {
    for (int j = *ncand - 1; j > p; j--) {
      if (peak_[j] > peak_[j - 1]) {
        std::swap(peak_[j], peak_[j - 1]);
        std::swap(loc[j], loc[j - 1]);
      }
    }
  }
  *ncand = n_cands - 1;
}

dpmem* init_dp_f0(double freq, const F0_params* par, long* buffsize, long* sdstep, int debug_level,
                  FILE* trace) {
  dpmem* t = new dpmem(debug_level, trace);
  t->tcost = par->trans_cost;
  t->tfact_a = par->trans_amp;
  t->tfact_s = par->trans_spec;
  t->vbias = par->voice_bias;
  t->fdouble = par->double_cost;

  t->step = eround(par->frame_step * freq);
  t->size = eround(par->wind_dur * freq);
  t->start = eround(freq / par->max_f0);
  t->stop = eround(freq / par->min_f0);
  t->nlags = t->stop - t->start + 1;
  t->ncomp = t->size + t->stop + 1;
  const int maxpeaks = 2 + t->nlags / 2;
  // Plateaus can make every interior lag a peak: the lists hold one entry per lag.
  t->peaks.resize(std::max(maxpeaks, t->nlags));
  t->locs.resize(std::max(maxpeaks, t->nlags));

  const float frame_int = (float)(t->step / freq);
  t->size_frame_hist = (int)(0.5 / frame_int);
  t->size_frame_out = (int)(1.0 / frame_int);
  t->size_cir_buffer = (int)(1.5 / frame_int);
  t->lagwt = par->lag_weight / t->stop;
  t->freqwt = par->freq_weight / frame_int;

  t->wReuse = (int)(0.02 * freq) / t->step;
  if (t->wReuse > 0) t->windstat.assign(t->wReuse, Windstat());

  const int stat_wsize = (int)(0.03 * freq);
  const int agap = (int)(0.02 * freq);
  const int ind = (agap - stat_wsize) / 2;
  const int downpatch = ((int)(0.005 * freq) + 1) / 2;
  t->pad = downpatch + std::max(stat_wsize + ind, t->ncomp);

  int nframes =
      t->ncomp < t->step ? (int)(0.2 * freq) / t->step : ((int)(0.2 * freq) - t->ncomp) / t->step + 1;
  if (nframes < 1) nframes = 1;  // a correlation span longer than a block still advances
  *buffsize = t->pad + (long)nframes * t->step;
  *sdstep = (long)nframes * t->step;

  t->headF = t->tailF = t->alloc_frame(t->nlags, par->n_cands);
  t->headF->next = t->headF->prev = t->headF;
  t->insertframes(t->headF, t->headF, t->size_cir_buffer - 1, par->n_cands);
  t->pcands.assign(par->n_cands, 0);

  t->output_buf_size = t->size_cir_buffer;
  t->f0p.resize(t->output_buf_size);
  t->vuvp.resize(t->output_buf_size);
  t->rms_speech.resize(t->output_buf_size);
  t->acpkp.resize(t->output_buf_size);
  t->note(1, "done with initialization:\n");
  t->note(1, " size_cir_buffer:%d  xcorr frame size:%d start lag:%d nlags:%d\n", t->size_cir_buffer, t->size,
          t->start, t->nlags);
  return t;
}

int dp_f0(dpmem* t, float* fdata, int buff_size, int sdstep, double freq, const F0_params* par,
          float** f0p_pt, float** vuvp_pt, float** rms_speech_pt, float** acpkp_pt, int* vecsize,
          int last_time, trackreport* report) {
  *vecsize = 0;
  const int nframes = get_Nframes(buff_size, t->pad, t->step);
  t->note(1, "******* Computing %d dp frames ******** from %d points\n", nframes, buff_size);

  if (nframes == 0) {
    // Nothing to analyse: a first block cannot start, a last one still
    // releases the frames of earlier blocks.
    if (t->stat.rms.empty()) {
      report->say("can't get stationarity\n");
      return -1;
    }
    return t->releaseandhandout(freq, last_time, f0p_pt, vuvp_pt, rms_speech_pt, acpkp_pt, vecsize);
  }

  // The first search runs at about 2 kHz, or at four times the ceiling when that is higher
  // (singing), so that the decimated signal keeps the F0 searched.
  const int decimate = (int)(freq / std::max(2000.0, 4.0 * par->max_f0));
  const int dec = decimate >= 2 ? decimate : 1;
  const float* sigdec = fdata;
  if (decimate >= 2) {
    int samsds = ((nframes - 1) * t->step + t->ncomp) / decimate;
    if (samsds < 1) return -1;
    sigdec = t->downsample(fdata, buff_size, sdstep, freq, &samsds, decimate, t->first_time, last_time,
                           t->decimatedreach(nframes, decimate), report);
    if (!sigdec) {
      report->say("can't get downsampled data.\n");
      return -1;
    }
  }

  t->get_stationarity(fdata, freq, buff_size, nframes, t->first_time, report);

  for (int i = 0; i < nframes; i++) {
    if (i == 0 && !t->first_time) t->headF = t->headF->next;
    if (t->tailF->prev == t->headF && t->growring(par->n_cands, report)) return -1;
    t->headF->rms = t->stat.rms[i];
    float engref, maxval;
    int maxloc, ncand;
    t->get_fast_cands(fdata, sigdec, i, dec, par, t->headF->cp, &engref, &maxloc, &maxval, &ncand);
    t->fillhypotheses(t->headF->dp, ncand, maxval);
    t->linktoprevious(t->headF, t->stat.stat[i], t->stat.rms_ratio[i], t->first_time && i == 0);
    t->num_active_frames++;
    if (i < nframes - 1) t->headF = t->headF->next;
    t->note(2, "%d engref:%10.0f max:%7.5f loc:%4d\n", i, engref, maxval, maxloc);
  }

  return t->releaseandhandout(freq, last_time, f0p_pt, vuvp_pt, rms_speech_pt, acpkp_pt, vecsize);
}

void free_dp_f0(dpmem* t) {
  delete t;
}

namespace {

// The tracker's input: the source's samples, dithered, then `padding` samples of dither alone.
struct paddedinput {
  samplesource source;
  uint64_t seed = 1;
  bool dither_source = true;  // false when the source's samples are dithered already
  long padding = 0;
  long real = 0;       // samples the source gave so far
  long declared = -1;  // the input length when the caller states it
  bool source_ended = false;
  bool failed = false;  // the source reported a read error

  // The input length, or while the source has not ended a lower bound of it.
  long length() const { return declared >= 0 ? declared : real; }

  // Stores up to n samples at dst; returns how many (fewer only at the end of the input).
  long read(float* dst, long n) {
    long got = 0;
    while (got < n && !source_ended) {
      const long k = source.read(source.context, dst + got, n - got);
      if (k < 0) failed = true;
      if (k <= 0) {
        source_ended = true;
        break;
      }
      if (dither_source)
        for (long i = got; i < got + k; i++) dst[i] += (float)(50.0 * nrandom(&seed));
      got += k;
      real += k;
    }
    for (; got < n && padding > 0; got++, padding--) dst[got] = (float)(50.0 * nrandom(&seed));
    return got;
  }
  bool ended() const { return source_ended && padding == 0; }
};

// The frames released so far, written to file as soon as they are known to lie inside the
// input: frame k does when k * frame_shift is below the input length.
struct trackwriter {
  trackwriter(double freq, int shift, int type, FILE* to)
      : sample_freq(freq), frame_shift(shift), otype(type), file(to) {}
  double sample_freq;
  int frame_shift;
  int otype;
  FILE* file;
  long written = 0;
  std::vector<float> pending;  // released, not yet known to lie inside the input

  // Writes the pending frames that start before `inside` samples.
  void flush(long inside) {
    size_t k = 0;
    for (; k < pending.size() && written * (long)frame_shift < inside; k++, written++) {
      const float v = outputvalue(pending[k], sample_freq, otype);
      fwrite(&v, sizeof(float), 1, file);
    }
    pending.erase(pending.begin(), pending.begin() + k);
  }
};

// Runs the tracker over the input in overlapping blocks of buffsize samples advancing by
// sdstep, holding only one block (and the look-ahead the first length check needs); the
// released frames go to the writer. kTrackBadParameters when the input is too short,
// kTrackFailed when a block or the input failed (said in report, unless the input's source
// failed, which its owner reports).
int trackblocks(dpmem* tracker, paddedinput* in, long buffsize, long sdstep, double sample_freq,
                const F0_params* par, trackwriter* out, trackreport* report) {
  // The first fill reads far enough to tell whether the input is long enough.
  const long needed = (long)((2 * par->frame_step + par->wind_dur) * sample_freq) + 1;
  std::vector<float> window(std::max(buffsize, needed));
  long have = in->read(window.data(), (long)window.size());
  if (in->failed) return kTrackFailed;
  if (checkinputlength(sample_freq, par->frame_step, in->length(), report)) return kTrackBadParameters;
  if (in->ended() && buffsize > have) buffsize = have;

  const long buffer_size = std::max(buffsize, sdstep);
  float* buffer = fgetmem(buffer_size);
  if (!buffer) {
    report->say("Cannot allocate memory for %ld floats!\n", buffer_size);
    in->failed = true;  // no shortfall message after this one
    return kTrackFailed;
  }
  int status = kTrackDone;
  for (;;) {
    have += in->read(window.data() + have, buffsize - std::min(buffsize, have));
    if (in->failed) {
      status = kTrackFailed;
      break;
    }
    // Samples from this block's start to the end of the input: exact once the input ended,
    // else more than the window holds.
    const bool known = in->ended();
    const long actsize = known ? std::min(buffsize, have) : buffsize;
    const int done = known && have <= buffsize;
    memcpy(buffer, window.data(), sizeof(float) * actsize);
    float *f0_out, *vuv_out, *rms_out, *acpk_out;
    int vecsize;
    if (dp_f0(tracker, buffer, (int)actsize, (int)sdstep, sample_freq, par, &f0_out, &vuv_out, &rms_out,
              &acpk_out, &vecsize, done, report)) {
      status = kTrackFailed;
      break;
    }
    for (int i = vecsize - 1; i >= 0; i--) out->pending.push_back(f0_out[i]);
    out->flush(in->length());
    if (done || ferror(out->file)) break;
    memmove(window.data(), window.data() + sdstep, sizeof(float) * (have - sdstep));
    have -= sdstep;
  }
  free(buffer);
  return status;
}

// The tracker over a padded input: checks, initialisation, blocks, output.
int trackinput(paddedinput* in, double sample_freq, int frame_shift, double minF0, double maxF0,
               double voice_bias, int otype, FILE* file, trackreport* report) {
  // The parameters are checked before any use: a bad frame shift would
  // otherwise divide by zero in the padding rule.
  F0_params par;
  fillparams(&par, sample_freq, frame_shift, minF0, maxF0, voice_bias);
  if (checktrackerparams(sample_freq, par.min_f0, par.max_f0, &par.frame_step, report))
    return kTrackBadParameters;
  in->padding = paddingsamples(sample_freq, frame_shift, minF0);

  long buffsize, sdstep;
  const std::unique_ptr<dpmem, void (*)(dpmem*)> tracker(init_dp_f0(sample_freq, &par, &buffsize, &sdstep),
                                                         free_dp_f0);
  if (buffsize > INT32_MAX || sdstep > INT32_MAX) {
    report->say("problem in init_dp_f0().\n");
    return kTrackBadParameters;
  }
  trackwriter out(sample_freq, frame_shift, otype, file);
  int status = trackblocks(tracker.get(), in, buffsize, sdstep, sample_freq, &par, &out, report);
  if (status == kTrackBadParameters) return status;

  // Only computed frames inside the input are written; a shortfall is said as a failure unless
  // the input or the output failed, which their owners report.
  out.flush(in->length());
  const long wanted = (in->length() + frame_shift - 1) / frame_shift;
  if (ferror(file) || in->failed) return kTrackFailed;
  if (out.written < wanted) {
    report->say("F0 tracking failed: %ld of %ld frames computed.\n", out.written, wanted);
    status = kTrackFailed;
  }
  return status;
}

// A sample list as a source whose samples are read as they stand.
long readlist(void* context, float* dst, long n) {
  float_list** at = static_cast<float_list**>(context);
  long k = 0;
  for (; k < n && *at; k++, *at = (*at)->next) dst[k] = (*at)->f;
  return k;
}

}  // namespace

int raptsource(samplesource source, double sample_freq, int frame_shift, double minF0, double maxF0,
               double voice_bias, int otype, trackreport* report, FILE* out) {
  paddedinput in;
  in.source = source;
  return trackinput(&in, sample_freq, frame_shift, minF0, maxF0, voice_bias, otype, out, report);
}

int rapt(float_list* input, int length, double sample_freq, int frame_shift, double minF0, double maxF0,
         double voice_bias, int otype, trackreport* report) {
  paddedinput in;
  // The list is dithered in place, then read as it stands.
  for (float_list* p = input; p; p = p->next) p->f += (float)(50.0 * nrandom(&in.seed));
  float_list* at = input;
  in.source = samplesource{readlist, &at};
  in.dither_source = false;
  in.declared = length;
  return trackinput(&in, sample_freq, frame_shift, minF0, maxF0, voice_bias, otype, stdout, report);
}

}  // namespace velk
