// Figures drawn through cairo.
#include "figure.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "colourmap.h"
#include "constants.h"

namespace velk {

namespace {

const char* const kFont = "DejaVu Sans";
// Curve colours in order: blue, red, green, orange, violet, grey.
const double kLineColours[6][3] = {{0.12, 0.31, 0.61}, {0.84, 0.19, 0.15}, {0.17, 0.57, 0.27},
                                   {0.90, 0.52, 0.07}, {0.48, 0.25, 0.63}, {0.35, 0.35, 0.35}};
const double kOverlayColour[3] = {0.90, 0.10, 0.10};
const double kBehindColour[3] = {0.72, 0.72, 0.72};

// Sizes derived from the font size f, in points.
struct Metrics {
  double f, ticklabel, title, figuretitle, tick, gap, pad, lineheight;
  explicit Metrics(double font)
      : f(font),
        ticklabel(0.9 * font),
        title(1.1 * font),
        figuretitle(1.25 * font),
        tick(0.4 * font),
        gap(0.3 * font),
        pad(0.6 * font),
        lineheight(1.2 * font) {}
};

void setfont(cairo_t* cr, double size, bool bold = false) {
  cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

double textwidth(cairo_t* cr, const std::string& s) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, s.c_str(), &e);
  return e.x_advance;
}

// Ascent and descent of the current font.
void fontheight(cairo_t* cr, double* ascent, double* descent) {
  cairo_font_extents_t e;
  cairo_font_extents(cr, &e);
  *ascent = e.ascent;
  *descent = e.descent;
}

// The text with its baseline at y, its left, middle or right (align 0, 0.5, 1) at x.
void showtext(cairo_t* cr, const std::string& s, double x, double y, double align) {
  cairo_move_to(cr, x - align * textwidth(cr, s), y);
  cairo_show_text(cr, s.c_str());
}

// The text turned to read upwards, centred on y, its baseline at x.
void showupright(cairo_t* cr, const std::string& s, double x, double y) {
  cairo_save(cr);
  cairo_translate(cr, x, y);
  cairo_rotate(cr, -kPi / 2);
  showtext(cr, s, 0, 0, 0.5);
  cairo_restore(cr);
}

// A tick label with a true minus sign.
std::string ticktext(double v, const plotaxis& a) {
  std::string s = axislabel(v, a);
  if (!s.empty() && s[0] == '-') s = "\u2212" + s.substr(1);
  return s;
}

double widestlabel(cairo_t* cr, const plotaxis& a) {
  double w = 0;
  for (double v : axisticks(a)) w = std::max(w, textwidth(cr, ticktext(v, a)));
  return w;
}

plotaxis baraxis(const levelimage& im) {
  return niceaxis(im.top - im.range, im.top, false);
}

// Room right of a plot: the overlay's own axis and the colour bar with their labels and names.
double rightroom(cairo_t* cr, const figurepanel& p, const Metrics& m) {
  setfont(cr, m.ticklabel);
  double room = 0;
  if (p.hasoverlay && p.overlayownaxis)
    room += m.tick + m.gap + widestlabel(cr, p.overlayaxis) + m.gap + m.lineheight;
  if (p.hasimage)
    room += 0.8 * m.f + 0.8 * m.f + m.tick + m.gap + widestlabel(cr, baraxis(p.image)) + m.gap + m.lineheight;
  return room;
}

double roomabove(const figurepanel& p, const Metrics& m) {
  return p.title.empty() ? m.ticklabel : 1.6 * m.title;
}

double roombelow(const figurepanel& p, const Metrics& m) {
  return m.tick + m.gap + 1.2 * m.ticklabel + (p.xname.empty() ? 0.0 : m.gap + m.lineheight);
}

struct Box {
  double left, right, top, bottom;
  double x(const plotaxis& a, double v) const {
    return left + (v - a.min) / (a.max - a.min) * (right - left);
  }
  double y(const plotaxis& a, double v) const {
    return bottom - (v - a.min) / (a.max - a.min) * (bottom - top);
  }
};

void clipto(cairo_t* cr, const Box& b) {
  cairo_rectangle(cr, b.left, b.top, b.right - b.left, b.bottom - b.top);
  cairo_clip(cr);
}

void strokecurve(cairo_t* cr, const plotcurve& c, const Box& b, const plotaxis& x, const plotaxis& y) {
  bool open = false;
  for (size_t i = 0; i < c.xs.size() && i < c.ys.size(); ++i) {
    if (!std::isfinite(c.xs[i]) || !std::isfinite(c.ys[i])) {
      open = false;
      continue;
    }
    // Far outside values are held a little beyond the box, which the clip hides.
    const double px = std::min(b.right + 1e4, std::max(b.left - 1e4, b.x(x, c.xs[i])));
    const double py = std::min(b.bottom + 1e4, std::max(b.top - 1e4, b.y(y, c.ys[i])));
    if (open)
      cairo_line_to(cr, px, py);
    else
      cairo_move_to(cr, px, py);
    open = true;
  }
  cairo_stroke(cr);
}

void drawimage(cairo_t* cr, const levelimage& im, const Box& b, const plotaxis& x, const plotaxis& y) {
  if (im.cols <= 0 || im.rows <= 0) return;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, im.cols, im.rows);
  unsigned char* data = cairo_image_surface_get_data(s);
  if (data == nullptr) {
    cairo_surface_destroy(s);
    return;
  }
  const int stride = cairo_image_surface_get_stride(s);
  for (int c = 0; c < im.cols; ++c)
    for (int r = 0; r < im.rows; ++r) {
      const float v = im.db[static_cast<size_t>(c) * im.rows + r];
      uint32_t argb = 0;  // transparent: a blank cell
      if (std::isfinite(v)) {
        double rgb[3];
        levelrgb((v - (im.top - im.range)) / im.range, im.grey, rgb);
        argb = 0xff000000u | static_cast<uint32_t>(std::lround(rgb[0] * 255)) << 16 |
               static_cast<uint32_t>(std::lround(rgb[1] * 255)) << 8 |
               static_cast<uint32_t>(std::lround(rgb[2] * 255));
      }
      *reinterpret_cast<uint32_t*>(data + static_cast<size_t>(im.rows - 1 - r) * stride + 4 * c) = argb;
    }
  cairo_surface_mark_dirty(s);
  const double x0 = b.x(x, im.x0), x1 = b.x(x, im.x1), y0 = b.y(y, im.y0), y1 = b.y(y, im.y1);
  cairo_save(cr);
  clipto(cr, b);
  cairo_translate(cr, x0, y1);
  cairo_scale(cr, (x1 - x0) / im.cols, (y0 - y1) / im.rows);
  cairo_set_source_surface(cr, s, 0, 0);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_rectangle(cr, 0, 0, im.cols, im.rows);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_surface_destroy(s);
}

void drawgrid(cairo_t* cr, const figurepanel& p, const Box& b) {
  cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
  cairo_set_line_width(cr, 0.5);
  for (double v : axisticks(p.x)) {
    cairo_move_to(cr, b.x(p.x, v), b.top);
    cairo_line_to(cr, b.x(p.x, v), b.bottom);
  }
  for (double v : axisticks(p.y)) {
    cairo_move_to(cr, b.left, b.y(p.y, v));
    cairo_line_to(cr, b.right, b.y(p.y, v));
  }
  cairo_stroke(cr);
}

// The vertical axis at x (ticks pointing left when left, else right), labels and the name.
void drawverticalaxis(cairo_t* cr, const plotaxis& a, const std::string& name, double x, bool left,
                      double top, double bottom, const Metrics& m, double labelroom) {
  const double dir = left ? -1 : 1;
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 0.8);
  setfont(cr, m.ticklabel);
  double ascent, descent;
  fontheight(cr, &ascent, &descent);
  const double span = a.max - a.min;
  for (double v : axisticks(a)) {
    const double y = bottom - (v - a.min) / span * (bottom - top);
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x + dir * m.tick, y);
    cairo_stroke(cr);
    showtext(cr, ticktext(v, a), x + dir * (m.tick + m.gap), y + 0.5 * (ascent - descent) * 0.92,
             left ? 1.0 : 0.0);
  }
  if (name.empty()) return;
  setfont(cr, m.f);
  fontheight(cr, &ascent, &descent);
  const double edge = x + dir * (m.tick + m.gap + labelroom + m.gap);
  showupright(cr, name, left ? edge - descent : edge + ascent, 0.5 * (top + bottom));
}

void drawcolourbar(cairo_t* cr, const levelimage& im, double x, double top, double bottom, const Metrics& m) {
  const double w = 0.8 * m.f;
  // The maps are linear between their eleven colours: a gradient through them is exact.
  cairo_pattern_t* g = cairo_pattern_create_linear(0, bottom, 0, top);
  for (int i = 0; i <= 10; ++i) {
    double rgb[3];
    levelrgb(i / 10.0, im.grey, rgb);
    cairo_pattern_add_color_stop_rgb(g, i / 10.0, rgb[0], rgb[1], rgb[2]);
  }
  cairo_set_source(cr, g);
  cairo_rectangle(cr, x, top, w, bottom - top);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 0.8);
  cairo_rectangle(cr, x, top, w, bottom - top);
  cairo_stroke(cr);
  const plotaxis a = baraxis(im);
  setfont(cr, m.ticklabel);
  drawverticalaxis(cr, a, im.barname, x + w, false, top, bottom, m, widestlabel(cr, a));
}

void drawlegend(cairo_t* cr, const figurepanel& p, const Box& b, const Metrics& m) {
  std::vector<std::pair<const plotcurve*, const double*>> entries;
  for (size_t i = 0; i < p.curves.size(); ++i)
    if (!p.curves[i].label.empty()) entries.push_back({&p.curves[i], kLineColours[i % 6]});
  if (p.hasoverlay && !p.overlay.label.empty()) entries.push_back({&p.overlay, kOverlayColour});
  for (const plotcurve& c : p.behind)
    if (!c.label.empty()) entries.push_back({&c, kBehindColour});
  if (entries.empty()) return;
  setfont(cr, m.ticklabel);
  double ascent, descent;
  fontheight(cr, &ascent, &descent);
  double widest = 0;
  for (const auto& e : entries) widest = std::max(widest, textwidth(cr, e.first->label));
  const double sample = 1.8 * m.f, row = 1.35 * m.ticklabel, inset = 0.5 * m.f;
  const double w = inset + sample + 0.5 * m.f + widest + inset;
  const double h = 2 * 0.4 * m.f + row * entries.size();
  // The corner whose box hides the fewest points of the curves.
  const double insetx = 0.6 * m.f;
  const double corners[4][2] = {{b.right - insetx - w, b.top + insetx},
                                {b.left + insetx, b.top + insetx},
                                {b.right - insetx - w, b.bottom - insetx - h},
                                {b.left + insetx, b.bottom - insetx - h}};
  double x = corners[0][0], y = corners[0][1];
  size_t fewest = SIZE_MAX;
  for (const auto& c : corners) {
    size_t hidden = 0;
    for (const plotcurve& curve : p.curves)
      for (size_t i = 0; i < curve.xs.size() && i < curve.ys.size(); ++i) {
        const double px = b.x(p.x, curve.xs[i]), py = b.y(p.y, curve.ys[i]);
        hidden += px >= c[0] && px <= c[0] + w && py >= c[1] && py <= c[1] + h;
      }
    if (hidden < fewest) fewest = hidden, x = c[0], y = c[1];
  }
  cairo_rectangle(cr, x, y, w, h);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.88);
  cairo_fill_preserve(cr);
  cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
  cairo_set_line_width(cr, 0.5);
  cairo_stroke(cr);
  for (size_t i = 0; i < entries.size(); ++i) {
    const double cy = y + 0.4 * m.f + row * (i + 0.5);
    const double* rgb = entries[i].second;
    cairo_set_source_rgb(cr, rgb[0], rgb[1], rgb[2]);
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, x + inset, cy);
    cairo_line_to(cr, x + inset + sample, cy);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    showtext(cr, entries[i].first->label, x + inset + sample + 0.5 * m.f, cy + 0.5 * (ascent - descent), 0.0);
  }
}

void drawpanel(cairo_t* cr, const figurepanel& p, const Box& b, const Metrics& m, double ylabelroom) {
  if (p.hasimage) drawimage(cr, p.image, b, p.x, p.y);
  if (p.grid) drawgrid(cr, p, b);
  cairo_save(cr);
  clipto(cr, b);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_source_rgb(cr, kBehindColour[0], kBehindColour[1], kBehindColour[2]);
  cairo_set_line_width(cr, 0.6);
  for (const plotcurve& c : p.behind) strokecurve(cr, c, b, p.x, p.y);
  for (size_t i = 0; i < p.curves.size(); ++i) {
    const double* rgb = kLineColours[i % 6];
    cairo_set_source_rgb(cr, rgb[0], rgb[1], rgb[2]);
    cairo_set_line_width(cr, p.thin ? 0.5 : 1.2);
    strokecurve(cr, p.curves[i], b, p.x, p.y);
  }
  if (p.hasoverlay) {
    const plotaxis& oy = p.overlayownaxis ? p.overlayaxis : p.y;
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 3.0);
    strokecurve(cr, p.overlay, b, p.x, oy);
    cairo_set_source_rgb(cr, kOverlayColour[0], kOverlayColour[1], kOverlayColour[2]);
    cairo_set_line_width(cr, 1.5);
    strokecurve(cr, p.overlay, b, p.x, oy);
  }
  cairo_restore(cr);
  drawlegend(cr, p, b, m);

  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 0.8);
  cairo_rectangle(cr, b.left, b.top, b.right - b.left, b.bottom - b.top);
  cairo_stroke(cr);
  // The x axis: outward ticks, labels centred under them, the name below.
  setfont(cr, m.ticklabel);
  double ascent, descent;
  fontheight(cr, &ascent, &descent);
  for (double v : axisticks(p.x)) {
    const double x = b.x(p.x, v);
    cairo_move_to(cr, x, b.bottom);
    cairo_line_to(cr, x, b.bottom + m.tick);
    cairo_stroke(cr);
    showtext(cr, ticktext(v, p.x), x, b.bottom + m.tick + m.gap + ascent, 0.5);
  }
  if (!p.xname.empty()) {
    setfont(cr, m.f);
    double a2, d2;
    fontheight(cr, &a2, &d2);
    showtext(cr, p.xname, 0.5 * (b.left + b.right),
             b.bottom + m.tick + m.gap + 1.2 * m.ticklabel + m.gap + a2, 0.5);
  }
  drawverticalaxis(cr, p.y, p.yname, b.left, true, b.top, b.bottom, m, ylabelroom);
  double right = b.right;
  if (p.hasoverlay && p.overlayownaxis) {
    setfont(cr, m.ticklabel);
    const double room = widestlabel(cr, p.overlayaxis);
    drawverticalaxis(cr, p.overlayaxis, p.overlayname, b.right, false, b.top, b.bottom, m, room);
    right += m.tick + m.gap + room + m.gap + m.lineheight;
  }
  if (p.hasimage) drawcolourbar(cr, p.image, right + 0.8 * m.f, b.top, b.bottom, m);
  if (!p.title.empty()) {
    setfont(cr, m.title);
    cairo_set_source_rgb(cr, 0, 0, 0);
    showtext(cr, p.title, 0.5 * (b.left + b.right), b.top - 0.5 * m.title, 0.5);
  }
}

double leftroom(cairo_t* cr, const figurepage& f, const Metrics& m, double* labelroom) {
  setfont(cr, m.ticklabel);
  *labelroom = 0;
  bool named = false;
  for (const figurepanel& p : f.panels) {
    *labelroom = std::max(*labelroom, widestlabel(cr, p.y));
    named = named || !p.yname.empty();
  }
  return m.tick + m.gap + *labelroom + (named ? m.gap + m.lineheight : 0.0);
}

}  // namespace

bool layoutfigure(cairo_t* cr, const figurepage& f, double width, double height, figurelayout* layout) {
  const Metrics m(f.fontpt);
  double labelroom;
  layout->left = m.pad + leftroom(cr, f, m, &labelroom);
  double right = 1.5 * m.f;
  for (const figurepanel& p : f.panels) right = std::max(right, rightroom(cr, p, m) + 0.5 * m.f);
  layout->right = width - m.pad - right;
  double used = m.pad + (f.title.empty() ? 0.0 : 1.8 * m.figuretitle) + m.pad;
  for (const figurepanel& p : f.panels) used += roomabove(p, m) + roombelow(p, m);
  used += 0.6 * m.f * (f.panels.size() - 1);
  const double plot = (height - used) / f.panels.size();
  if (!(plot >= 3 * m.f) || !(layout->right - layout->left >= 6 * m.f)) return false;
  double y = m.pad + (f.title.empty() ? 0.0 : 1.8 * m.figuretitle);
  layout->top.clear();
  layout->bottom.clear();
  for (const figurepanel& p : f.panels) {
    y += roomabove(p, m);
    layout->top.push_back(y);
    y += plot;
    layout->bottom.push_back(y);
    y += roombelow(p, m) + 0.6 * m.f;
  }
  return true;
}

void drawfigure(cairo_t* cr, const figurepage& f, const figurelayout& layout, double width, double height) {
  const Metrics m(f.fontpt);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, 0, 0, width, height);
  cairo_fill(cr);
  double labelroom;
  leftroom(cr, f, m, &labelroom);
  for (size_t i = 0; i < f.panels.size(); ++i) {
    const Box b = {layout.left, layout.right, layout.top[i], layout.bottom[i]};
    drawpanel(cr, f.panels[i], b, m, labelroom);
  }
  if (!f.title.empty()) {
    setfont(cr, m.figuretitle, true);
    double ascent, descent;
    fontheight(cr, &ascent, &descent);
    cairo_set_source_rgb(cr, 0, 0, 0);
    showtext(cr, f.title, 0.5 * width, m.pad + ascent, 0.5);
  }
}

}  // namespace velk
