// Picture files of a page.
#include "picture.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "cairosurface.h"
#include "plot.h"

namespace velk {

PictureType picture_type(const char* path) {
  const char* dot = std::strrchr(path, '.');
  const char* slash = std::strrchr(path, '/');
  if (dot == nullptr || (slash && dot < slash)) return PictureType::Unknown;
  if (strcasecmp(dot, ".png") == 0) return PictureType::Png;
  if (strcasecmp(dot, ".svg") == 0) return PictureType::Svg;
  if (strcasecmp(dot, ".pdf") == 0) return PictureType::Pdf;
  return PictureType::Unknown;
}

PictureFile::PictureFile(const std::string& path, PictureType type, int w, int h) : path_(path), type_(type) {
  if (type == PictureType::Png)
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  else if (type == PictureType::Svg)
    surface_ = cairo_svg_surface_create_for_stream(write_bytes, this, w, h);
  else if (type == PictureType::Pdf)
    surface_ = cairo_pdf_surface_create_for_stream(write_bytes, this, w, h);
  if (surface_ == nullptr || cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS)
    fail(surface_ ? cairo_status_to_string(cairo_surface_status(surface_)) : "unknown picture type");
}

PictureFile::~PictureFile() {
  if (surface_) cairo_surface_destroy(surface_);
  if (out_.file) velk::outputclose(&out_, false);
}

void PictureFile::fail(const std::string& why) {
  if (error_.empty()) error_ = why;
}

bool PictureFile::open_output() {
  if (out_.file) return true;
  if (!ok()) return false;
  if (!velk::outputopen(path_.c_str(), &out_)) fail(std::strerror(errno));
  return out_.file != nullptr;
}

cairo_status_t PictureFile::write_bytes(void* closure, const unsigned char* data, unsigned int length) {
  PictureFile* f = static_cast<PictureFile*>(closure);
  const bool written = f->open_output() && std::fwrite(data, 1, length, f->out_.file) == length;
  if (!written) {
    f->fail(std::strerror(errno));
    f->write_failed_ = true;
  }
  return written ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

bool PictureFile::commit() {
  if (!ok()) return false;
  cairo_surface_flush(surface_);
  if (type_ == PictureType::Png) {
    const cairo_status_t s = cairo_surface_write_to_png_stream(surface_, write_bytes, this);
    if (s != CAIRO_STATUS_SUCCESS) fail(cairo_status_to_string(s));
  }
  cairo_surface_finish(surface_);
  if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS && !write_failed_)
    fail(cairo_status_to_string(cairo_surface_status(surface_)));
  if (!open_output()) return false;
  errno = 0;
  if (velk::outputclose(&out_, ok()) != 0) fail(std::strerror(errno != 0 ? errno : EIO));
  return ok();
}

bool render_picture(const pagesettings& page, const char* path, std::FILE* in,
                    void (*underlay)(CairoSurface*, void*), std::string* error, void* context) {
  const int w = page_width_pixels(page), h = page_height_pixels(page);
  PictureFile file(path, picture_type(path), w, h);
  if (file.ok()) {
    // A picture is drawn as on a colour display: pens select colours unless -m is given.
    pagesettings colour_page = page;
    colour_page.c_flg = 1;
    CairoSurface surface(file.surface(), w, h, page.reverse ? page.back_color : page.fore_color,
                         page.reverse ? page.fore_color : page.back_color);
    if (underlay) underlay(&surface, context);
    if (in) plot(colour_page, in, &surface);
    if (*surface.error()) {
      *error = surface.error();
      return false;
    }
  }
  const bool written = file.commit();
  if (!written) *error = file.error();
  return written;
}

}  // namespace velk
