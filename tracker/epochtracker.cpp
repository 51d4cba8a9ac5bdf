#include "epochtracker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <limits>

#include "constants.h"
#include "lpcframes.h"

namespace velk {

namespace {

const double kHighpassHz = 60.0;
const double kLpcWindowSec = 0.02;
const double kNccWindowSec = 0.005;  // shortest correlation window
const double kStepSec = 0.01;        // LPC step, filler spacing and cost unit
const float kNoiseFloorDb = 70.0f;
const float kMinStrength = 0.2f;
const double kStrengthWeight = 0.3;
const double kPulseReward = 0.1;
const double kPeriodChangeWeight = 0.5;
const double kUnvoicedScale = 0.4;
const double kVoicingChangeCost = 0.5;
const int kLinksKept = 4;  // voiced states kept per node
const double kInfinity = std::numeric_limits<double>::infinity();

const size_t kMemoryBytes = 4 << 20;  // per store of working records
const long kBlock = 1 << 16;          // records per pass block and file window

// Second-order section y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2, run over a
// signal block by block in one direction.
struct section {
  double b[3], a[2];
  double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
  // Filters the m samples of x in place, the last first when backward.
  void run(float* x, long m, bool backward) {
    for (long k = 0; k < m; k++) {
      float& v = x[backward ? m - 1 - k : k];
      const double y = b[0] * v + b[1] * x1 + b[2] * x2 - a[0] * y1 - a[1] * y2;
      x2 = x1;
      x1 = v;
      y2 = y1;
      y1 = y;
      v = (float)y;
    }
  }
};

// Rewrites the records of *x block by block (the last block first when backward) with
// change(block, m); 0, or -1 when the store fails.
template <class Change>
int rewriteblocks(spilled<float>* x, long block, bool backward, Change change) {
  const long n = x->size();
  std::vector<float> buffer((size_t)std::min(block, n));
  for (long done = 0, m = 0; done < n; done += m) {
    m = std::min(block, n - done);
    const long at = backward ? n - done - m : done;
    if (x->read(at, buffer.data(), m) != 0) return -1;
    change(buffer.data(), m);
    if (x->write(at, buffer.data(), m) != 0) return -1;
  }
  return 0;
}

// Records gathered in memory and appended to a store a block at a time.
template <class T>
class appender {
 public:
  appender(spilled<T>* to, long block) : to_(to), block_(block) {}
  int add(const T& x) {
    pending_.push_back(x);
    return (long)pending_.size() >= block_ ? flush() : 0;
  }
  int flush() {
    const int status = to_->append(pending_.data(), (long)pending_.size());
    pending_.clear();
    return status;
  }

 private:
  spilled<T>* to_;
  long block_;
  std::vector<T> pending_;
};

// Index of the largest of x[lo..hi).
long argmax(const float* x, long lo, long hi) {
  return std::max_element(x + lo, x + hi) - x;
}

}  // namespace

epochtracker::epochtracker()
    : signal_(kMemoryBytes, kBlock),
      nodes_(kMemoryBytes, kBlock),
      epochs_(kMemoryBytes, kBlock),
      memory_bytes_(kMemoryBytes),
      block_(kBlock) {}

void epochtracker::setworkingmemory(size_t memory_bytes, long block) {
  memory_bytes_ = memory_bytes;
  block_ = std::max(1L, block);
}

int epochtracker::init(const int16_t* samples, int n, float sample_rate, float min_f0, float max_f0,
                       bool do_highpass, bool do_hilbert) {
  if (samples == nullptr || n <= 0 || start(sample_rate, min_f0, max_f0, do_highpass, do_hilbert) != 0)
    return -1;
  return addsamples(samples, n);
}

int epochtracker::start(float sample_rate, float min_f0, float max_f0, bool do_highpass, bool do_hilbert) {
  if (do_hilbert || !(sample_rate > 0.0f) || !(min_f0 > 0.0f) || !(max_f0 > min_f0) ||
      !(max_f0 < sample_rate / 2.0f))
    return -1;
  signal_.reset(memory_bytes_, block_);
  nodes_.reset(memory_bytes_, block_);
  epochs_.reset(memory_bytes_, block_);
  sample_rate_ = sample_rate;
  min_period_ = std::max(2, (int)std::floor(sample_rate / max_f0));
  max_period_ = (int)std::ceil(sample_rate / min_f0);
  highpass_pending_ = do_highpass;
  started_ = true;
  return 0;
}

int epochtracker::addsamples(const int16_t* samples, long n) {
  if (!started_ || n > kEpochLongestInput - signal_.size()) return -1;
  float x[4096];
  for (long done = 0, m = 0; done < n; done += m) {
    m = std::min(n - done, (long)(sizeof x / sizeof x[0]));
    std::copy(samples + done, samples + done + m, x);
    if (signal_.append(x, m) != 0) return -1;
  }
  return 0;
}

int epochtracker::computefeatures() {
  if (signal_.size() == 0) return -1;
  if (highpass_pending_ && highpass() != 0) return -1;
  highpass_pending_ = false;
  spilled<float> residual(memory_bytes_, block_);
  bool negate = false;
  if (lpcresidual(&residual, &negate) != 0) return -1;
  if (negate && rewriteblocks(&residual, block_, false, [](float* e, long m) {
                  for (long k = 0; k < m; k++) e[k] = -e[k];
                }) != 0)
    return -1;
  return findcandidates(residual);
}

int epochtracker::highpass() {
  const double k = std::tan(kPi * kHighpassHz / sample_rate_);
  const double norm = 1.0 / (1.0 + M_SQRT2 * k + k * k);
  section forward = {{norm, -2.0 * norm, norm},
                     {2.0 * (k * k - 1.0) * norm, (1.0 - M_SQRT2 * k + k * k) * norm}};
  section backward = forward;
  if (rewriteblocks(&signal_, block_, false, [&](float* x, long m) { forward.run(x, m, false); }) != 0)
    return -1;
  return rewriteblocks(&signal_, block_, true, [&](float* x, long m) { backward.run(x, m, true); });
}

int epochtracker::lpcresidual(spilled<float>* residual, bool* negate) const {
  const int n = (int)signal_.size();
  const int order = std::min(lpcanalyzer::kMaxOrder, 2 + (int)(sample_rate_ / 1000.0f));
  const int wsize = std::min(n, std::max(order + 1, (int)std::lround(kLpcWindowSec * sample_rate_)));
  const int step = std::max(1, (int)std::lround(kStepSec * sample_rate_));
  lpcanalyzer lpc;
  std::vector<float> a(order + 1);
  appender<float> out(residual, block_);
  double skew = 0.0;
  for (long centre = 0; centre - step / 2 < n; centre += step) {
    const int start = (int)std::clamp(centre - wsize / 2, 0L, (long)(n - wsize));
    const int lo = (int)std::max(0L, centre - step / 2),
              hi = (int)std::min((long)n, centre - step / 2 + step);
    const int first = std::min(start, std::max(0, lo - order));  // of the samples read
    const float* x = signal_.view(first, std::max(start + wsize, hi));
    if (x == nullptr) return -1;
    lpc.computelpc(order, kNoiseFloorDb, wsize, x + (start - first), a.data(), nullptr, nullptr, nullptr,
                   nullptr, 0.0f);
    for (int s = lo; s < hi; s++) {
      double e = 0.0;
      for (int j = 0; j <= order && j <= s; j++) e += a[j] * x[s - j - first];
      const float v = (float)e;
      skew += (double)v * v * v;
      if (out.add(v) != 0) return -1;
    }
  }
  *negate = skew < 0.0;
  return out.flush();
}

int epochtracker::findcandidates(const spilled<float>& residual) {
  const long n = residual.size();
  const int guard = std::max(1, min_period_ / 4);
  const int filler_step = std::max(1, (int)std::lround(kStepSec * sample_rate_));
  nodes_.reset(memory_bytes_, block_);
  appender<node> out(&nodes_, block_);
  // Candidates and fillers in the order of their positions, a candidate before a filler at the
  // same sample.
  for (long from = 0; from < n; from += block_) {
    const long to = std::min(n, from + block_);
    const long lo = std::max(0L, from - max_period_), hi = std::min(n, to + max_period_ + 1);
    const float* r = residual.view(lo, hi);
    if (r == nullptr) return -1;
    for (long s = from; s < to; s++) {
      const float v = r[s - lo];
      if (s >= 1 && s < n - 1 && v > 0.0f &&
          argmax(r, std::max(0L, s - guard) - lo, std::min(n, s + guard + 1) - lo) == s - lo) {
        // the first of equal maxima wins
        const long strongest =
            argmax(r, std::max(0L, s - max_period_) - lo, std::min(n, s + max_period_ + 1) - lo);
        const float strength = v / r[strongest];
        if (strength >= kMinStrength && out.add({(int)s, strength}) != 0) return -1;
      }
      if ((s < n - 1 && s % filler_step == 0) || s == n - 1) {
        if (out.add({(int)s, 0.0f}) != 0) return -1;
      }
    }
  }
  return out.flush();
}

float epochtracker::normxcorr(const signalview& x, int a, int lag, int length) const {
  const int n = (int)signal_.size();
  const int half = length / 2;
  const int lo = std::max(-half, -a), hi = std::min(length - half, n - a - lag);
  double xy = 0.0, xx = 0.0, yy = 0.0;
  if (lo < hi) {
    const float* p = x.at(a + lo);
    const float* q = x.at(a + lag + lo);
    for (int k = 0; k < hi - lo; k++) {
      const double u = p[k], w = q[k];
      xy += u * w;
      xx += u * u;
      yy += w * w;
    }
  }
  return xx > 0.0 && yy > 0.0 ? (float)(xy / std::sqrt(xx * yy)) : 0.0f;
}

float epochtracker::bestlag(const signalview& x, int a, int b, int* lag) const {
  const int reach = std::max(1, min_period_ / 2);
  const int shortest_window = (int)std::lround(kNccWindowSec * sample_rate_);
  float best = -2.0f;
  for (int d = -reach; d <= reach; d++) {
    const int period = b - a + d;
    if (period < min_period_ || period > max_period_) continue;
    const float r = normxcorr(x, a, period, std::max(period, shortest_window));
    if (r > best) {
      best = r;
      *lag = period;
    }
  }
  return best;
}

namespace {

// Path states: the unvoiced state of node j is 2 j, the voiced state ending
// with link l is 2 l + 1 (nodes and links numbered in the order they are made).
long unvoicedstate(long node) {
  return 2 * node;
}
long voicedstate(long link) {
  return 2 * link + 1;
}

// Lowers *best to cost, recording the state it comes from.
void relax(double cost, long from, double* best, long* back) {
  if (cost < *best) {
    *best = cost;
    *back = from;
  }
}

}  // namespace

struct epochtracker::livenode {
  long index;
  node at;
  double costu;  // cheapest path cost ending in the unvoiced state
  long firstlink;
  int linkcount;
  pathlink links[kLinksKept];  // the voiced states, cheapest first
};

epochtracker::pathlink epochtracker::voicedlink(const signalview& x, const livenode& j, const node& i) const {
  const int dt = i.position - j.at.position;
  pathlink link = {kInfinity, -1, dt, 0.0f};
  link.ncc = bestlag(x, j.at.position, i.position, &link.lag);
  const double unit = kStepSec * sample_rate_;
  const double local = ((1.0 - link.ncc) + kStrengthWeight * (1.0 - i.strength)) * dt / unit - kPulseReward;
  for (int l = 0; l < j.linkcount; l++) {
    const double change = j.links[l].lag > 0
                              ? kPeriodChangeWeight * std::fabs(std::log((double)link.lag / j.links[l].lag))
                              : 0.0;
    relax(j.links[l].cost + local + change, voicedstate(j.firstlink + l), &link.cost, &link.back);
  }
  return link;
}

int epochtracker::trackepochs() {
  const long count = nodes_.size();
  if (count == 0) return -1;
  const long n = signal_.size();
  const double unit = kStepSec * sample_rate_;  // samples per cost unit
  const double unvoiced_rate = kUnvoicedScale * unvoiced_cost_ / unit;
  const int unvoiced_hop = (int)std::ceil(unit);
  const int reach = std::max(unvoiced_hop, max_period_);
  const int longest_window = std::max(max_period_, (int)std::lround(kNccWindowSec * sample_rate_));
  // For the traceback: the back pointer of each node's unvoiced state, and each kept voiced state.
  spilled<long> backu(memory_bytes_, block_);
  spilled<tracedlink> traced(memory_bytes_, block_);
  appender<long> backu_out(&backu, block_);
  appender<tracedlink> traced_out(&traced, block_);
  std::deque<livenode> live;  // the nodes within reach of node i, in order
  std::vector<pathlink> links;
  long linkcount = 0, last_back = -1;
  double last_costu = kInfinity;
  for (long i = 0; i < count; i++) {
    const node* at = nodes_.view(i, i + 1);
    if (at == nullptr) return -1;
    livenode here = {i, *at, i == 0 ? 0.0 : kInfinity, linkcount, 0, {}};
    long back = -1;
    while (!live.empty() && here.at.position - live.front().at.position > reach) live.pop_front();
    const bool pulse = here.at.strength > 0.0f;
    links.clear();
    pathlink onset = {kInfinity, -1, 0, 0.0f};
    signalview x = {nullptr, 0};
    if (pulse && i > 0) {
      // The samples every link to this pulse correlates.
      const long lo = std::max(0L, (long)here.at.position - reach - longest_window);
      const long hi = std::min(n, (long)here.at.position + max_period_ + longest_window + 1);
      x = {signal_.view(lo, hi), lo};
      if (x.data == nullptr) return -1;
    }
    for (auto j = live.rbegin(); j != live.rend(); ++j) {
      const int dt = here.at.position - j->at.position;
      if (dt == 0) continue;
      if (dt <= unvoiced_hop) {
        const double gap = unvoiced_rate * dt;
        const double bestvoiced = j->linkcount > 0 ? j->links[0].cost : kInfinity;
        relax(j->costu + gap, unvoicedstate(j->index), &here.costu, &back);
        relax(bestvoiced + gap + kVoicingChangeCost, voicedstate(j->firstlink), &here.costu, &back);
        if (pulse)
          relax(j->costu + gap + kVoicingChangeCost, unvoicedstate(j->index), &onset.cost, &onset.back);
      }
      if (pulse && j->at.strength > 0.0f && dt >= min_period_ && dt <= max_period_ && j->linkcount > 0) {
        const pathlink link = voicedlink(x, *j, here.at);
        if (link.cost < kInfinity) links.push_back(link);
      }
    }
    if (onset.cost < kInfinity) links.push_back(onset);
    keepcheapest(&links);
    for (const pathlink& l : links) {
      here.links[here.linkcount++] = l;
      if (traced_out.add({l.back, {here.at.position, l.lag, l.ncc}}) != 0) return -1;
    }
    linkcount += here.linkcount;
    if (backu_out.add(back) != 0) return -1;
    last_costu = here.costu;
    last_back = back;
    live.push_back(here);
  }
  if (backu_out.flush() != 0 || traced_out.flush() != 0) return -1;
  if (last_costu == kInfinity) return -1;
  return collectepochs(last_back, backu, traced);
}

void epochtracker::keepcheapest(std::vector<pathlink>* links) {
  const auto kept = links->size() > (size_t)kLinksKept ? links->begin() + kLinksKept : links->end();
  std::partial_sort(links->begin(), kept, links->end(),
                    [](const pathlink& x, const pathlink& y) { return x.cost < y.cost; });
  links->erase(kept, links->end());
}

int epochtracker::collectepochs(long state, const spilled<long>& backu, const spilled<tracedlink>& traced) {
  epochs_.reset(memory_bytes_, block_);
  appender<epoch> out(&epochs_, block_);
  while (state > 0) {
    if (state % 2 == 0) {
      const long* back = backu.view(state / 2, state / 2 + 1);
      if (back == nullptr) return -1;
      state = *back;
      continue;
    }
    const tracedlink* l = traced.view(state / 2, state / 2 + 1);
    if (l == nullptr || out.add(l->pulse) != 0) return -1;
    state = l->back;
  }
  return out.flush();
}

std::vector<epochtracker::epoch> epochtracker::epochs() const {
  std::vector<epoch> e((size_t)epochs_.size());
  if (!e.empty() && epochs_.read(0, e.data(), (long)e.size()) != 0) e.clear();
  std::reverse(e.begin(), e.end());
  return e;
}

int epochtracker::writediagnostics(const std::string& name) const {
  if (name.empty()) return 0;
  FILE* fp = fopen(name.c_str(), "w");
  if (fp == nullptr) return -1;
  for (const epoch& e : epochs()) fprintf(fp, "%d %d %.4f\n", e.position, e.period, e.ncc);
  const bool written = !ferror(fp);
  return fclose(fp) == 0 && written ? 0 : -1;
}

int epochtracker::resampleframes(float interval, void (*put)(void* context, float f0, float corr),
                                 void* context) const {
  if (!(interval > 0.0f) || signal_.size() == 0) return -1;
  // A step within rounding of a whole number of samples is that number.
  double step = (double)interval * sample_rate_;
  if (std::fabs(step - std::round(step)) < 1e-4 * step) step = std::round(step);
  const double frames = std::ceil(signal_.size() / step);
  if (frames > std::numeric_limits<int>::max()) return -1;
  const long count = epochs_.size();  // stored last first
  const epoch* next = nullptr;        // the first epoch after the frame, when k < count
  long k = 0;
  for (long i = 0; i < (long)frames; i++) {
    const double s = i * step;
    for (; k < count; k++) {
      if (next == nullptr && (next = epochs_.view(count - 1 - k, count - k)) == nullptr) return -1;
      if (next->position > s) break;
      next = nullptr;
    }
    if (k == count || next->period == 0)
      put(context, 0.0f, 0.0f);
    else
      put(context, sample_rate_ / next->period, next->ncc);
  }
  return 0;
}

int epochtracker::resampleandreturnresults(float interval, std::vector<float>* f0,
                                           std::vector<float>* corr) const {
  struct tracks {
    std::vector<float> f0, corr;
  } got;
  const int status = resampleframes(
      interval,
      [](void* context, float f, float c) {
        tracks* t = static_cast<tracks*>(context);
        t->f0.push_back(f);
        t->corr.push_back(c);
      },
      &got);
  if (status != 0) return -1;
  f0->swap(got.f0);
  corr->swap(got.corr);
  return 0;
}

}  // namespace velk
