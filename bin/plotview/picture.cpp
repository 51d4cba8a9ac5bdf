// Picture files of a page.
#include "picture.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "cairosurface.h"
#include "plot.h"
#include "tempfiles.h"

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
  if (fd_ >= 0) close(fd_);
  if (!temp_.empty()) velk::removetemporary(temp_, entry_);
}

void PictureFile::fail(const std::string& why) {
  if (error_.empty()) error_ = why;
}

bool PictureFile::open_output() {
  if (fd_ >= 0) return true;
  if (!ok()) return false;
  // A pipe, a device or a terminal is written directly: there is nothing to replace, and a rename
  // would put a regular file in its place.
  struct stat st;
  if (stat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    fd_ = open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) fail(std::strerror(errno));
    return fd_ >= 0;
  }
  // A regular file is written under a temporary name in its directory (so that the rename cannot
  // cross devices), registered to be removed if a signal ends the process.
  fd_ = velk::createtemporarybeside(path_, 0666, &temp_, &entry_);
  if (fd_ < 0) {
    temp_.clear();
    fail(std::strerror(errno));
  }
  return fd_ >= 0;
}

cairo_status_t PictureFile::write_bytes(void* closure, const unsigned char* data, unsigned int length) {
  PictureFile* f = static_cast<PictureFile*>(closure);
  if (!f->open_output()) {
    f->write_failed_ = true;
    return CAIRO_STATUS_WRITE_ERROR;
  }
  while (length > 0) {
    const ssize_t n = write(f->fd_, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      f->fail(std::strerror(n < 0 ? errno : ENOSPC));
      f->write_failed_ = true;
      return CAIRO_STATUS_WRITE_ERROR;
    }
    data += n;
    length -= static_cast<unsigned int>(n);
  }
  return CAIRO_STATUS_SUCCESS;
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
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) fail(std::strerror(errno));
  if (!ok() || temp_.empty()) return ok();
  if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
    fail(std::strerror(errno));
    return false;
  }
  velk::forgettemporary(entry_);
  temp_.clear();
  return true;
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
