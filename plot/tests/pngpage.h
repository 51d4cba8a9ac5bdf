// Test support: pages of pixels from cairo image surfaces and PNG files.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

// Pixels of an image surface as 0xRRGGBB, row after row.
inline std::vector<uint32_t> image_pixels(cairo_surface_t* s) {
  cairo_surface_flush(s);
  const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  std::vector<uint32_t> pixels;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      pixels.push_back(reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride)[x] &
                       0xffffff);
  return pixels;
}

// A page decoded from a PNG file (empty when the file is none).
struct Page {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  // Pixels of the colour in the rectangle from (x0, y0) to (x1, y1).
  int count(int x0, int y0, int x1, int y1, uint32_t colour) const {
    int n = 0;
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) n += at(x, y) == colour;
    return n;
  }
};

inline Page read_png(const std::string& path) {
  Page p;
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
    p.width = cairo_image_surface_get_width(s);
    p.height = cairo_image_surface_get_height(s);
    p.pixels = image_pixels(s);
  }
  cairo_surface_destroy(s);
  return p;
}
