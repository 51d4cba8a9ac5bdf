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

picturekind picturetype(const char* path) {
  const char* dot = std::strrchr(path, '.');
  const char* slash = std::strrchr(path, '/');
  if (dot == nullptr || (slash && dot < slash)) return picturekind::unknown;
  if (strcasecmp(dot, ".png") == 0) return picturekind::png;
  if (strcasecmp(dot, ".svg") == 0) return picturekind::svg;
  if (strcasecmp(dot, ".pdf") == 0) return picturekind::pdf;
  return picturekind::unknown;
}

picturefile::picturefile(const std::string& path, picturekind type, int w, int h) : path_(path), type_(type) {
  if (type == picturekind::png)
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  else if (type == picturekind::svg)
    surface_ = cairo_svg_surface_create_for_stream(writebytes, this, w, h);
  else if (type == picturekind::pdf)
    surface_ = cairo_pdf_surface_create_for_stream(writebytes, this, w, h);
  if (surface_ == nullptr || cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS)
    fail(surface_ ? cairo_status_to_string(cairo_surface_status(surface_)) : "unknown picture type");
}

picturefile::~picturefile() {
  if (surface_) cairo_surface_destroy(surface_);
  if (out_.file) velk::outputclose(&out_, false);
}

void picturefile::fail(const std::string& why) {
  if (error_.empty()) error_ = why;
}

bool picturefile::openoutput() {
  if (out_.file) return true;
  if (!ok()) return false;
  if (!velk::outputopen(path_.c_str(), &out_)) fail(std::strerror(errno));
  return out_.file != nullptr;
}

cairo_status_t picturefile::writebytes(void* closure, const unsigned char* data, unsigned int length) {
  picturefile* f = static_cast<picturefile*>(closure);
  const bool written = f->openoutput() && std::fwrite(data, 1, length, f->out_.file) == length;
  if (!written) {
    f->fail(std::strerror(errno));
    f->writefailed_ = true;
  }
  return written ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

bool picturefile::commit() {
  if (!ok()) return false;
  cairo_surface_flush(surface_);
  if (type_ == picturekind::png) {
    const cairo_status_t s = cairo_surface_write_to_png_stream(surface_, writebytes, this);
    if (s != CAIRO_STATUS_SUCCESS) fail(cairo_status_to_string(s));
  }
  cairo_surface_finish(surface_);
  if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS && !writefailed_)
    fail(cairo_status_to_string(cairo_surface_status(surface_)));
  if (!openoutput()) return false;
  errno = 0;
  if (velk::outputclose(&out_, ok()) != 0) fail(std::strerror(errno != 0 ? errno : EIO));
  return ok();
}

bool renderpicture(const pagesettings& page, const char* path, std::FILE* in,
                   void (*underlay)(cairosurface*, void*), std::string* error, void* context) {
  const int w = pagewidthpixels(page), h = pageheightpixels(page);
  picturefile file(path, picturetype(path), w, h);
  if (file.ok()) {
    // A picture is drawn as on a colour display: pens select colours unless -m is given.
    pagesettings colourpage = page;
    colourpage.c_flg = 1;
    cairosurface surface(file.surface(), w, h, page.reverse ? page.back_color : page.fore_color,
                         page.reverse ? page.fore_color : page.back_color);
    if (underlay) underlay(&surface, context);
    if (in) plot(colourpage, in, &surface);
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
