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
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velk {

class epochtracker {
 public:
  // A pulse of the tracked path: sample position; period and correlation of
  // the voiced link ending at it (0 for the first pulse of a voiced stretch).
  struct epoch {
    int position;
    int period;
    float ncc;
  };

  // Unvoiced time costs 0.4 cost per 10 ms: higher values favour voicing.
  void setunvoicedcost(float cost) { unvoiced_cost_ = cost; }

  // Each step returns 0 when done, -1 when it cannot be done.
  //
  // Takes a copy of the signal. -1, keeping nothing, for no samples, a
  // non-positive rate, an F0 range that is empty, not positive or reaches half
  // the sampling rate, or a request for the Hilbert transform, which this
  // tracker does not offer.
  int init(const int16_t* samples, int n, float sample_rate, float min_f0, float max_f0, bool do_highpass,
           bool do_hilbert);
  // High-passes the signal (once), computes the LPC residual and the candidates;
  // -1 before init has taken a signal.
  int computefeatures();
  // Chooses voicing and epochs by dynamic programming; -1 when there is no path.
  int trackepochs();
  // Writes one line "position period ncc" per epoch to the named file; an
  // empty name writes nothing. -1 when the file cannot be written.
  int writediagnostics(const std::string& name) const;
  // One value per frame of interval seconds, frame i at i * interval, up to the
  // end of the signal: F0 in Hz (0 when unvoiced) and the correlation; -1 for
  // an interval that is not positive or no signal.
  int resampleandreturnresults(float interval, std::vector<float>* f0, std::vector<float>* corr) const;

  const std::vector<epoch>& epochs() const { return epochs_; }

 private:
  struct node {
    int position;
    float strength;  // 0 for a filler, which can only be unvoiced
  };
  // A voiced state of a node: a link from an earlier pulse (lag > 0) or the
  // onset of a voiced stretch after unvoiced time (lag 0).
  struct pathlink {
    double cost;  // cheapest path cost ending with this link
    int to;       // node
    int back;     // predecessor state
    int lag;      // period of the link, 0 for an onset
    float ncc;    // correlation over the link, 0 for an onset
  };

  void highpass();
  // The LPC residual of the signal, signed so that its skew is positive.
  std::vector<float> lpcresidual() const;
  void findcandidates(const std::vector<float>& residual);
  // NCC of the high-passed signal over length samples around a and a + lag.
  float normxcorr(int a, int lag, int length) const;
  // Highest NCC between a and a + lag, over a window of one period but at
  // least 5 ms, for lags in the period range within half the shortest period
  // of b - a (candidates may sit off the true closure); the lag goes to *lag.
  float bestlag(int a, int b, int* lag) const;
  // The cheapest voiced link from pulse j to pulse i, after the voiced states
  // links[first .. last) of j.
  pathlink voicedlink(int j, int i, const std::vector<pathlink>& links, int first, int last) const;
  // Keeps the cheapest voiced states from index first on, cheapest first.
  static void keepcheapest(std::vector<pathlink>* links, int first);
  // Follows the cheapest path back from the unvoiced state of the last node.
  void collectepochs(const std::vector<pathlink>& links, const std::vector<int>& backu);

  std::vector<float> signal_;  // high-passed once features are computed
  std::vector<node> nodes_;
  std::vector<epoch> epochs_;
  float sample_rate_ = 0.0f;
  int min_period_ = 0, max_period_ = 0;
  bool highpass_pending_ = true;
  float unvoiced_cost_ = 0.9f;
};

}  // namespace velk
