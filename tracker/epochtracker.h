// Epoch (glottal-closure) tracker.
//
// 1. High-pass: a second-order Butterworth high-pass at 60 Hz, run forward and
//    backward so that it shifts no pulse in time.
// 2. LPC residual: an lpcanalyzer fit of order 2 + fs/1000 on 20 ms Hann
//    frames every 10 ms; each 10 ms stretch is inverse-filtered with the fit
//    of the frame centred on it. Its sign is chosen so that the skew of the
//    residual is positive: glottal closures are then positive peaks.
// 3. Candidates: residual samples that are the largest within a quarter of the
//    shortest period on either side and reach a fifth of the largest residual
//    within the longest period around them. Their strength is that ratio.
//    Unvoiced filler nodes every 10 ms (and at both ends) let a path cross
//    stretches without candidates.
// 4. Dynamic programming over the nodes, each voiced (a pulse) or unvoiced:
//    - a voiced link between pulses T apart (T within the period range)
//      costs, per 10 ms of T, (1 - NCC) + 0.3 (1 - strength of the later
//      pulse). NCC is the highest normalised cross-correlation of the
//      high-passed signal around the earlier pulse, over a window of one
//      period but at least 5 ms, for lags within half the shortest period of
//      T (noise moves residual peaks); that lag is the link's period P. Every
//      pulse earns a reward of 0.1; a period change costs 0.5 |ln(P / P_prev)|;
//    - unvoiced time costs 0.4 unvoiced_cost per 10 ms;
//    - each change of voicing costs 0.5.
//    The cheapest path from the first node to the last gives the epochs. A
//    voiced state is a pulse together with its incoming link, so that the
//    period change is exact; each node keeps its 4 cheapest voiced states.
// 5. Results: a frame whose time falls between two linked pulses is voiced
//    with F0 = fs / P and the link's NCC as its correlation.
//
// The whole signal is needed twice (the backward run of the high-pass, the sign of the residual)
// and the path only once the last node is reached, so every step is a pass over records that are
// held in memory up to a size and in temporary files beyond it (spillstore): the signal, the
// residual, the nodes, the records the traceback follows and the epochs. Memory then stays bounded
// whatever the length; positions are int, so a signal has at most kEpochLongestInput samples.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "spillstore.h"

namespace velk {

// Most samples the epoch tracker takes: sample positions are int.
const long kEpochLongestInput = INT_MAX;

class epochtracker {
 public:
  // A pulse of the tracked path: sample position; period and correlation of
  // the voiced link ending at it (0 for the first pulse of a voiced stretch).
  struct epoch {
    int position;
    int period;
    float ncc;
  };

  epochtracker();

  // Unvoiced time costs 0.4 cost per 10 ms: higher values favour voicing.
  void setunvoicedcost(float cost) { unvoiced_cost_ = cost; }
  // Each store of working records (signal, residual, nodes, traceback, epochs) stays in memory up
  // to memory_bytes, beyond that in a temporary file; passes over them go block records at a
  // time (at least 1). Set before start or init; the results do not depend on either.
  void setworkingmemory(size_t memory_bytes, long block);

  // Each step returns 0 when done, -1 when it cannot be done.
  //
  // Takes a copy of the signal: start, then addsamples. -1, keeping nothing,
  // for no samples or what start refuses.
  int init(const int16_t* samples, int n, float sample_rate, float min_f0, float max_f0, bool do_highpass,
           bool do_hilbert);
  // Begins a signal to be given by addsamples. -1, keeping the signal there was, for a
  // non-positive rate, an F0 range that is empty, not positive or reaches half the sampling
  // rate, or a request for the Hilbert transform, which this tracker does not offer.
  int start(float sample_rate, float min_f0, float max_f0, bool do_highpass, bool do_hilbert);
  // Appends n samples to the signal; -1 before start, beyond kEpochLongestInput samples in all,
  // or when a temporary file cannot be written (errno set).
  int addsamples(const int16_t* samples, long n);
  // Samples of the signal so far.
  long samples() const { return signal_.size(); }
  // High-passes the signal (once), computes the LPC residual and the candidates;
  // -1 before a signal is given, or on a failure of a temporary file.
  int computefeatures();
  // Chooses voicing and epochs by dynamic programming; -1 when there is no path
  // or a temporary file fails.
  int trackepochs();
  // Writes one line "position period ncc" per epoch to the named file; an
  // empty name writes nothing. -1 when the file cannot be written.
  int writediagnostics(const std::string& name) const;
  // One value per frame of interval seconds, frame i at i * interval, up to the
  // end of the signal: F0 in Hz (0 when unvoiced) and the correlation; -1 for
  // an interval that is not positive or no signal.
  int resampleandreturnresults(float interval, std::vector<float>* f0, std::vector<float>* corr) const;
  // The same frames one at a time, in order, to put(context, f0, corr); -1 as above (before any
  // frame) or when the epochs cannot be read back.
  int resampleframes(float interval, void (*put)(void* context, float f0, float corr), void* context) const;

  // The epochs in order (a copy).
  std::vector<epoch> epochs() const;

 private:
  struct node {
    int position;
    float strength;  // 0 for a filler, which can only be unvoiced
  };
  // A voiced state of a node: a link from an earlier pulse (lag > 0) or the
  // onset of a voiced stretch after unvoiced time (lag 0).
  struct pathlink {
    double cost;  // cheapest path cost ending with this link
    long back;    // predecessor state
    int lag;      // period of the link, 0 for an onset
    float ncc;    // correlation over the link, 0 for an onset
  };
  // A node within reach of the one the dynamic programming is at (defined in the source).
  struct livenode;
  // What the traceback needs of a kept voiced state: its predecessor and its pulse.
  struct tracedlink {
    long back;
    epoch pulse;
  };

  // The high-passed signal in a window of the signal store, from sample base on.
  struct signalview {
    const float* data;
    long base;
    const float* at(long k) const { return data + (k - base); }  // sample k
  };

  int highpass();
  // Writes the LPC residual of the signal to *residual and its sign to *negate:
  // whether it must be negated for its skew to be positive.
  int lpcresidual(spilled<float>* residual, bool* negate) const;
  int findcandidates(const spilled<float>& residual);
  // NCC of the high-passed signal over length samples around a and a + lag.
  float normxcorr(const signalview& x, int a, int lag, int length) const;
  // Highest NCC between a and a + lag, over a window of one period but at
  // least 5 ms, for lags in the period range within half the shortest period
  // of b - a (candidates may sit off the true closure); the lag goes to *lag.
  float bestlag(const signalview& x, int a, int b, int* lag) const;
  // The cheapest voiced link from pulse j to pulse i, after the voiced states of j.
  pathlink voicedlink(const signalview& x, const livenode& j, const node& i) const;
  // Keeps the cheapest voiced states, cheapest first.
  static void keepcheapest(std::vector<pathlink>* links);
  // Follows the cheapest path back from state, through the unvoiced back pointers of the nodes
  // and the traced links, writing the epochs in reverse order.
  int collectepochs(long state, const spilled<long>& backu, const spilled<tracedlink>& traced);

  spilled<float> signal_;  // high-passed once features are computed
  spilled<node> nodes_;
  spilled<epoch> epochs_;  // last epoch first
  size_t memory_bytes_;
  long block_;
  float sample_rate_ = 0.0f;
  int min_period_ = 0, max_period_ = 0;
  bool started_ = false;
  bool highpass_pending_ = true;
  float unvoiced_cost_ = 0.9f;
};

}  // namespace velk
