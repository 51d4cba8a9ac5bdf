// Graph descriptions of velkplot's panels.
#include "describe.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velk {

std::vector<double> axisticks(const plotaxis& a) {
  std::vector<double> t;
  const double first = std::ceil(a.min / a.step - 1e-9);
  for (double k = first; k * a.step <= a.max + a.step * 1e-9 && t.size() < 100; k += 1.0)
    t.push_back(k * a.step);
  return t;
}

namespace {

std::string number(double v) {
  char s[32];
  std::snprintf(s, sizeof s, "%.7g", v);
  return s;
}

// A text for the description: double quotes, which would end it, become single ones.
std::string quoted(const std::string& text) {
  std::string q = "\"";
  for (char c : text) q += c == '"' ? '\'' : c;
  return q + "\"";
}

size_t characters(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace

plotaxis niceaxis(double lo, double hi, bool roundends) {
  if (!std::isfinite(lo) || !std::isfinite(hi)) lo = 0.0, hi = 1.0;
  if (hi < lo) std::swap(lo, hi);
  if (hi - lo <= 1e-12 * std::max(1.0, std::fabs(lo))) {
    const double pad = lo == 0.0 ? 1.0 : std::fabs(lo) * 0.1;
    lo -= pad;
    hi += pad;
  }
  const double raw = (hi - lo) / 5.0;
  const double mag = std::pow(10.0, std::floor(std::log10(raw)));
  const double r = raw / mag;
  const double step = (r < 1.5 ? 1.0 : r < 3.0 ? 2.0 : r < 7.0 ? 5.0 : 10.0) * mag;
  plotaxis a = {lo, hi, step, std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)))};
  if (roundends) {
    // (values read from floats land a little off the ticks they stand for)
    a.min = std::floor(lo / step + 1e-6) * step;
    a.max = std::ceil(hi / step - 1e-6) * step;
  }
  return a;
}

std::string axislabel(double v, const plotaxis& a) {
  if (std::fabs(v) < a.step * 1e-6) v = 0.0;
  char s[48];
  std::snprintf(s, sizeof s, "%.*f", a.decimals, v);
  return s;
}

std::string describepanel(const plotaxis& x, const plotaxis& y, const std::vector<plotcurve>& curves,
                          const paneltext& text, bool grid, const graphframe& f) {
  std::string d =
      "x " + number(x.min) + " " + number(x.max) + "\ny " + number(y.min) + " " + number(y.max) + "\n";
  const std::vector<double> xt = axisticks(x), yt = axisticks(y);
  d += "xscale";
  for (double v : xt) d += " " + axislabel(v, x);
  d += "\nyscale";
  for (double v : yt) d += " " + axislabel(v, y);
  d += "\n";
  if (grid) {
    d += "line 2\nxgrid";
    for (double v : xt) d += " " + axislabel(v, x);
    d += "\nygrid";
    for (double v : yt) d += " " + axislabel(v, y);
    d += "\n";
  }
  d += "line 1\n";
  if (!text.xname.empty()) d += "xname " + quoted(text.xname) + "\n";
  if (!text.yname.empty()) d += "yname " + quoted(text.yname) + "\n";
  if (!text.title.empty()) {
    const double left = std::max(0.0, 0.5 * (f.width - characters(text.title) * f.charwidth));
    d += "title " + number(left) + " " + number(f.height + 2.4 * f.charheight) + " " + quoted(text.title) +
         "\n";
  }
  for (const plotcurve& c : curves) {
    bool open = false;
    for (size_t i = 0; i < c.xs.size() && i < c.ys.size(); ++i) {
      if (std::isfinite(c.ys[i]) && std::isfinite(c.xs[i])) {
        d += number(c.xs[i]) + " " + number(c.ys[i]) + "\n";
        open = true;
      } else if (open) {
        d += "eod\n";
        open = false;
      }
    }
    if (open) d += "eod\n";
  }
  return d;
}

}  // namespace velk
