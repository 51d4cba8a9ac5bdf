// The data of figure panels.
#include "figuredata.h"

#include <algorithm>
#include <cmath>

#include "envelope.h"
#include "velkcodec.h"

namespace velk {

double f0hz(double v, bool hz) {
  const double f = hz ? v : (v > -1e10 ? std::exp(v) : NAN);
  return std::isfinite(f) && f > 0.0 ? f : NAN;
}

plotcurve f0curve(const std::vector<double>& values, double rate, long lframe, bool hz) {
  plotcurve c;
  for (size_t k = 0; k < values.size(); ++k) {
    c.xs.push_back(k * lframe / rate);
    c.ys.push_back(f0hz(values[k], hz));
  }
  return c;
}

plotcurve wavecurve(const std::vector<double>& x, double rate, double t0, double t1) {
  plotcurve c;
  const long first = std::max(0L, static_cast<long>(std::floor(t0 * rate)));
  const long last = std::min(static_cast<long>(x.size()) - 1, static_cast<long>(std::ceil(t1 * rate)));
  if (last - first < 2 * kWaveColumns) {
    for (long i = first; i <= last; ++i) {
      c.xs.push_back(i / rate);
      c.ys.push_back(x[i]);
    }
    return c;
  }
  const double dt = (t1 - t0) / kWaveColumns;
  for (int col = 0; col < kWaveColumns; ++col) {
    const double a = (t0 + col * dt) * rate, b = (t0 + (col + 1) * dt) * rate;
    const long i0 = std::max(0L, static_cast<long>(std::ceil(a)));
    const long i1 = std::min(static_cast<long>(x.size()) - 1, static_cast<long>(std::ceil(b)) - 1);
    double lo = INFINITY, hi = -INFINITY;
    for (long i = i0; i <= i1; ++i)
      if (std::isfinite(x[i])) lo = std::min(lo, x[i]), hi = std::max(hi, x[i]);
    const double t = t0 + (col + 0.5) * dt;
    if (!(lo <= hi)) lo = hi = NAN;
    c.xs.insert(c.xs.end(), {t, t});
    c.ys.insert(c.ys.end(), {lo, hi});
  }
  return c;
}

levelimage soundspectrogram(const stftplan& plan, const std::vector<double>& x, double rate, double hopms,
                            double t0, double t1) {
  double hop = std::max(1.0, hopms * rate / 1000);
  const double s0 = std::max(0.0, t0 * rate), s1 = std::min<double>(x.size() - 1, t1 * rate);
  const double columns = std::min<double>(kMaxImageColumns, std::floor(kMaxImageCells / (plan.nfft / 2 + 1)));
  hop = std::max(hop, (s1 - s0) / columns);
  levelimage im;
  im.cols = std::max(1, static_cast<int>(std::floor((s1 - s0) / hop)) + 1);
  im.rows = static_cast<int>(plan.nfft / 2 + 1);
  im.db.resize(static_cast<size_t>(im.cols) * im.rows);
  std::vector<double> work(plan.nfft), db(im.rows);
  for (int c = 0; c < im.cols; ++c) {
    framespectrumdb(plan, x.data(), x.size(), std::lround(s0 + c * hop), work.data(), db.data());
    std::copy(db.begin(), db.end(), im.db.begin() + static_cast<size_t>(c) * im.rows);
  }
  im.x0 = (s0 - 0.5 * hop) / rate;
  im.x1 = (s0 + (im.cols - 0.5) * hop) / rate;
  const double bin = rate / plan.nfft / 1000;
  im.y0 = -0.5 * bin;
  im.y1 = (im.rows - 0.5) * bin;
  return im;
}

std::vector<double> frameenvelope(const cepstralstream& s, size_t k) {
  const std::vector<double>& v = *s.values;
  std::vector<double> c(v.begin() + k * (s.ccord + 1), v.begin() + (k + 1) * (s.ccord + 1));
  if (s.adapted) invmorvadapteradhoc(c.data(), s.ccord, 1);
  std::vector<double> db(kEnvelopePoints);
  cepstrumenvelopedb(c.data(), s.ccord, s.alpha, kEnvelopePoints, db.data());
  return db;
}

levelimage cepstralspectrogram(const cepstralstream& s, size_t frames, double t0, double t1) {
  const double step = s.lframe / s.rate;
  const double end = (frames - 1) * s.lframe / s.rate;
  const double v0 = std::max(t0, -0.5 * step), v1 = std::min(t1, end + 0.5 * step);
  levelimage im;
  if (!(v1 > v0)) return im;
  im.cols = static_cast<int>(std::min<double>(kMaxImageColumns, std::ceil((v1 - v0) / step)));
  im.rows = kEnvelopePoints;
  im.db.resize(static_cast<size_t>(im.cols) * im.rows);
  for (int c = 0; c < im.cols; ++c) {
    const double t = v0 + (c + 0.5) * (v1 - v0) / im.cols;
    const size_t k = std::min(frames - 1, static_cast<size_t>(std::max(0.0, std::floor(t / step + 0.5))));
    const std::vector<double> db = frameenvelope(s, k);
    std::copy(db.begin(), db.end(), im.db.begin() + static_cast<size_t>(c) * im.rows);
  }
  im.x0 = v0;
  im.x1 = v1;
  const double half = 0.25 * s.rate / (kEnvelopePoints - 1) / 1000;
  im.y0 = -half;
  im.y1 = s.rate / 2000 + half;
  return im;
}

double loudest(const levelimage& im) {
  double top = -INFINITY;
  for (float v : im.db)
    if (std::isfinite(v)) top = std::max<double>(top, v);
  return std::isfinite(top) ? top : 0.0;
}

bool finiterange(const std::vector<double>& v, double* lo, double* hi) {
  *lo = INFINITY;
  *hi = -INFINITY;
  for (double x : v)
    if (std::isfinite(x)) {
      *lo = std::min(*lo, x);
      *hi = std::max(*hi, x);
    }
  return *lo <= *hi;
}

bool curvesrange(const std::vector<plotcurve>& curves, double* lo, double* hi) {
  *lo = INFINITY;
  *hi = -INFINITY;
  for (const plotcurve& c : curves) {
    double a, b;
    if (finiterange(c.ys, &a, &b)) *lo = std::min(*lo, a), *hi = std::max(*hi, b);
  }
  return *lo <= *hi;
}

plotaxis contouraxis(double lo, double hi) {
  const double margin = 0.05 * (hi - lo);
  return niceaxis(lo - margin, hi + margin, true);
}

}  // namespace velk
