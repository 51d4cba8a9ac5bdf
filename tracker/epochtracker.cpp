#include "epochtracker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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

// Second-order section y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2 applied in
// place, in the given direction.
void runsection(std::vector<float>* x, const double b[3], const double a[2], bool backward) {
  double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
  const int n = (int)x->size();
  for (int k = 0; k < n; k++) {
    float& v = (*x)[backward ? n - 1 - k : k];
    const double y = b[0] * v + b[1] * x1 + b[2] * x2 - a[0] * y1 - a[1] * y2;
    x2 = x1;
    x1 = v;
    y2 = y1;
    y1 = y;
    v = (float)y;
  }
}

// Index of the largest of x[lo..hi).
int argmax(const std::vector<float>& x, int lo, int hi) {
  return (int)(std::max_element(x.begin() + lo, x.begin() + hi) - x.begin());
}

}  // namespace

int epochtracker::init(const int16_t* samples, int n, float sample_rate, float min_f0, float max_f0,
                       bool do_highpass, bool do_hilbert) {
  if (samples == nullptr || n <= 0 || do_hilbert || !(sample_rate > 0.0f) || !(min_f0 > 0.0f) ||
      !(max_f0 > min_f0) || !(max_f0 < sample_rate / 2.0f))
    return -1;
  signal_.assign(samples, samples + n);
  sample_rate_ = sample_rate;
  min_period_ = std::max(2, (int)std::floor(sample_rate / max_f0));
  max_period_ = (int)std::ceil(sample_rate / min_f0);
  highpass_pending_ = do_highpass;
  nodes_.clear();
  epochs_.clear();
  return 0;
}

int epochtracker::computefeatures() {
  if (signal_.empty()) return -1;
  if (highpass_pending_) highpass();
  highpass_pending_ = false;
  findcandidates(lpcresidual());
  return 0;
}

void epochtracker::highpass() {
  const double k = std::tan(kPi * kHighpassHz / sample_rate_);
  const double norm = 1.0 / (1.0 + M_SQRT2 * k + k * k);
  const double b[3] = {norm, -2.0 * norm, norm};
  const double a[2] = {2.0 * (k * k - 1.0) * norm, (1.0 - M_SQRT2 * k + k * k) * norm};
  runsection(&signal_, b, a, false);
  runsection(&signal_, b, a, true);
}

std::vector<float> epochtracker::lpcresidual() const {
  const int n = (int)signal_.size();
  const int order = std::min(lpcanalyzer::kMaxOrder, 2 + (int)(sample_rate_ / 1000.0f));
  const int wsize = std::min(n, std::max(order + 1, (int)std::lround(kLpcWindowSec * sample_rate_)));
  const int step = std::max(1, (int)std::lround(kStepSec * sample_rate_));
  lpcanalyzer lpc;
  std::vector<float> a(order + 1);
  std::vector<float> residual(n, 0.0f);
  for (int centre = 0; centre - step / 2 < n; centre += step) {
    const int start = std::clamp(centre - wsize / 2, 0, n - wsize);
    lpc.computelpc(order, kNoiseFloorDb, wsize, &signal_[start], a.data(), nullptr, nullptr, nullptr, nullptr,
                   0.0f);
    const int lo = std::max(0, centre - step / 2), hi = std::min(n, centre - step / 2 + step);
    for (int s = lo; s < hi; s++) {
      double e = 0.0;
      for (int j = 0; j <= order && j <= s; j++) e += a[j] * signal_[s - j];
      residual[s] = (float)e;
    }
  }
  double skew = 0.0;
  for (float e : residual) skew += (double)e * e * e;
  if (skew < 0.0)
    for (float& e : residual) e = -e;
  return residual;
}

void epochtracker::findcandidates(const std::vector<float>& residual) {
  const int n = (int)signal_.size();
  const int guard = std::max(1, min_period_ / 4);
  const int filler_step = std::max(1, (int)std::lround(kStepSec * sample_rate_));
  nodes_.clear();
  for (int s = 1; s < n - 1; s++) {
    const float v = residual[s];
    if (v <= 0.0f) continue;
    const int lo = std::max(0, s - guard), hi = std::min(n, s + guard + 1);
    if (argmax(residual, lo, hi) != s) continue;  // the first of equal maxima wins
    const int wlo = std::max(0, s - max_period_), whi = std::min(n, s + max_period_ + 1);
    const float strength = v / residual[argmax(residual, wlo, whi)];
    if (strength >= kMinStrength) nodes_.push_back({s, strength});
  }
  for (int s = 0; s < n - 1; s += filler_step) nodes_.push_back({s, 0.0f});
  nodes_.push_back({n - 1, 0.0f});
  std::stable_sort(nodes_.begin(), nodes_.end(),
                   [](const node& x, const node& y) { return x.position < y.position; });
}

float epochtracker::normxcorr(int a, int lag, int length) const {
  const int n = (int)signal_.size();
  const int half = length / 2;
  const int lo = std::max(-half, -a), hi = std::min(length - half, n - a - lag);
  double xy = 0.0, xx = 0.0, yy = 0.0;
  for (int o = lo; o < hi; o++) {
    const double x = signal_[a + o], y = signal_[a + lag + o];
    xy += x * y;
    xx += x * x;
    yy += y * y;
  }
  return xx > 0.0 && yy > 0.0 ? (float)(xy / std::sqrt(xx * yy)) : 0.0f;
}

float epochtracker::bestlag(int a, int b, int* lag) const {
  const int reach = std::max(1, min_period_ / 2);
  const int shortest_window = (int)std::lround(kNccWindowSec * sample_rate_);
  float best = -2.0f;
  for (int d = -reach; d <= reach; d++) {
    const int period = b - a + d;
    if (period < min_period_ || period > max_period_) continue;
    const float r = normxcorr(a, period, std::max(period, shortest_window));
    if (r > best) {
      best = r;
      *lag = period;
    }
  }
  return best;
}

namespace {

// Path states: the unvoiced state of node j is 2 j, the voiced state ending
// with link l is 2 l + 1.
int unvoicedstate(int node) {
  return 2 * node;
}
int voicedstate(int link) {
  return 2 * link + 1;
}

// Lowers *best to cost, recording the state it comes from.
void relax(double cost, int from, double* best, int* back) {
  if (cost < *best) {
    *best = cost;
    *back = from;
  }
}

}  // namespace

epochtracker::pathlink epochtracker::voicedlink(int j, int i, const std::vector<pathlink>& links, int first,
                                                int last) const {
  const int dt = nodes_[i].position - nodes_[j].position;
  pathlink link = {kInfinity, i, -1, dt, 0.0f};
  link.ncc = bestlag(nodes_[j].position, nodes_[i].position, &link.lag);
  const double unit = kStepSec * sample_rate_;
  const double local =
      ((1.0 - link.ncc) + kStrengthWeight * (1.0 - nodes_[i].strength)) * dt / unit - kPulseReward;
  for (int l = first; l < last; l++) {
    const double change =
        links[l].lag > 0 ? kPeriodChangeWeight * std::fabs(std::log((double)link.lag / links[l].lag)) : 0.0;
    relax(links[l].cost + local + change, voicedstate(l), &link.cost, &link.back);
  }
  return link;
}

int epochtracker::trackepochs() {
  const int count = (int)nodes_.size();
  if (count == 0) return -1;
  const double unit = kStepSec * sample_rate_;  // samples per cost unit
  const double unvoiced_rate = kUnvoicedScale * unvoiced_cost_ / unit;
  const int unvoiced_hop = (int)std::ceil(unit);
  const int reach = std::max(unvoiced_hop, max_period_);
  // Voiced states of node i: links[firstlink[i] .. firstlink[i + 1]), cheapest first.
  std::vector<pathlink> links;
  std::vector<int> firstlink(count + 1, 0);
  std::vector<double> costu(count, kInfinity);
  std::vector<int> backu(count, -1);
  costu[0] = 0.0;
  auto bestvoiced = [&](int j) {
    return firstlink[j + 1] > firstlink[j] ? links[firstlink[j]].cost : kInfinity;
  };
  for (int i = 1; i < count; i++) {
    firstlink[i] = (int)links.size();
    const bool pulse = nodes_[i].strength > 0.0f;
    pathlink onset = {kInfinity, i, -1, 0, 0.0f};
    for (int j = i - 1; j >= 0 && nodes_[i].position - nodes_[j].position <= reach; j--) {
      const int dt = nodes_[i].position - nodes_[j].position;
      if (dt == 0) continue;
      if (dt <= unvoiced_hop) {
        const double gap = unvoiced_rate * dt;
        relax(costu[j] + gap, unvoicedstate(j), &costu[i], &backu[i]);
        relax(bestvoiced(j) + gap + kVoicingChangeCost, voicedstate(firstlink[j]), &costu[i], &backu[i]);
        if (pulse) relax(costu[j] + gap + kVoicingChangeCost, unvoicedstate(j), &onset.cost, &onset.back);
      }
      if (pulse && nodes_[j].strength > 0.0f && dt >= min_period_ && dt <= max_period_ &&
          firstlink[j + 1] > firstlink[j]) {
        const pathlink link = voicedlink(j, i, links, firstlink[j], firstlink[j + 1]);
        if (link.cost < kInfinity) links.push_back(link);
      }
    }
    if (onset.cost < kInfinity) links.push_back(onset);
    keepcheapest(&links, firstlink[i]);
    firstlink[i + 1] = (int)links.size();
  }
  if (costu[count - 1] == kInfinity) return -1;
  collectepochs(links, backu);
  return 0;
}

void epochtracker::keepcheapest(std::vector<pathlink>* links, int first) {
  const auto begin = links->begin() + first;
  const auto kept = links->end() - begin > kLinksKept ? begin + kLinksKept : links->end();
  std::partial_sort(begin, kept, links->end(),
                    [](const pathlink& x, const pathlink& y) { return x.cost < y.cost; });
  links->erase(kept, links->end());
}

void epochtracker::collectepochs(const std::vector<pathlink>& links, const std::vector<int>& backu) {
  epochs_.clear();
  for (int state = backu.back(); state > 0;) {
    if (state % 2 == 0) {
      state = backu[state / 2];
      continue;
    }
    const pathlink& l = links[state / 2];
    epochs_.push_back({nodes_[l.to].position, l.lag, l.ncc});
    state = l.back;
  }
  std::reverse(epochs_.begin(), epochs_.end());
}

int epochtracker::writediagnostics(const std::string& name) const {
  if (name.empty()) return 0;
  FILE* fp = fopen(name.c_str(), "w");
  if (fp == nullptr) return -1;
  for (const epoch& e : epochs_) fprintf(fp, "%d %d %.4f\n", e.position, e.period, e.ncc);
  const bool written = !ferror(fp);
  return fclose(fp) == 0 && written ? 0 : -1;
}

int epochtracker::resampleandreturnresults(float interval, std::vector<float>* f0,
                                           std::vector<float>* corr) const {
  if (!(interval > 0.0f) || signal_.empty()) return -1;
  // A step within rounding of a whole number of samples is that number.
  double step = (double)interval * sample_rate_;
  if (std::fabs(step - std::round(step)) < 1e-4 * step) step = std::round(step);
  const double frames = std::ceil(signal_.size() / step);
  if (frames > std::numeric_limits<int>::max()) return -1;
  f0->assign((size_t)frames, 0.0f);
  corr->assign((size_t)frames, 0.0f);
  size_t k = 0;  // first epoch after the frame
  for (size_t i = 0; i < f0->size(); i++) {
    const double s = i * step;
    while (k < epochs_.size() && epochs_[k].position <= s) k++;
    if (k == epochs_.size() || epochs_[k].period == 0) continue;
    (*f0)[i] = sample_rate_ / epochs_[k].period;
    (*corr)[i] = epochs_[k].ncc;
  }
  return 0;
}

}  // namespace velk
