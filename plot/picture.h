// Picture files of a page: the type from the file name's extension, a cairo surface writing
// through the vocoder's output files (outputfile.h): into a temporary file beside the target,
// renamed over it only once complete, a symbolic link followed to the file it leads to; a pipe,
// a device or an open descriptor written directly; a write-protected file refused. The
// temporary is made when the first byte is written and is registered to be removed if a signal
// ends the process (tempfiles.h).
#pragma once

#include <cairo.h>

#include <cstdio>
#include <string>

#include "outputfile.h"
#include "plot.h"

namespace velk {

class CairoSurface;

enum class PictureType { Png, Svg, Pdf, Unknown };

// The type named by the extension of path (.png, .svg, .pdf, in any case).
PictureType picture_type(const char* path);

class PictureFile {
 public:
  // A page of w x h pixels (points in SVG and PDF) for path; see ok().
  PictureFile(const std::string& path, PictureType type, int w, int h);
  // Removes the temporary file when the picture was not committed.
  ~PictureFile();
  PictureFile(const PictureFile&) = delete;
  PictureFile& operator=(const PictureFile&) = delete;

  // False when the surface, the temporary file or a write failed; error() says why.
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  cairo_surface_t* surface() { return surface_; }
  // Completes the picture and renames it to its name; false (with error()) when anything
  // failed, the name then being left as it was.
  bool commit();

 private:
  static cairo_status_t write_bytes(void* closure, const unsigned char* data, unsigned int length);
  void fail(const std::string& why);
  // Opens the output on first use (outputopen). False (with error()) when it cannot be opened.
  bool open_output();
  std::string path_, error_;
  PictureType type_;
  velk::outputfile out_;
  cairo_surface_t* surface_ = nullptr;
  bool write_failed_ = false;
};

// Draws the plotter stream on a page of the size, orientation and colours of page (as on a
// colour display) into the picture file path; underlay, when given, draws on the page first; a
// null stream leaves the page empty.
// False, with the reason in *error, when the picture could not be written; the name is then
// left as it was.
bool render_picture(const pagesettings& page, const char* path, std::FILE* in,
                    void (*underlay)(CairoSurface*, void*), std::string* error, void* context = nullptr);

}  // namespace velk
