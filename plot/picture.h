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

class cairosurface;

enum class picturekind { png, svg, pdf, unknown };

// The type named by the extension of path (.png, .svg, .pdf, in any case).
picturekind picturetype(const char* path);

class picturefile {
 public:
  // A page of w x h pixels (points in SVG and PDF) for path; see ok().
  picturefile(const std::string& path, picturekind type, int w, int h);
  // Removes the temporary file when the picture was not committed.
  ~picturefile();
  picturefile(const picturefile&) = delete;
  picturefile& operator=(const picturefile&) = delete;

  // False when the surface, the temporary file or a write failed; error() says why.
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  cairo_surface_t* surface() { return surface_; }
  // Completes the picture and renames it to its name; false (with error()) when anything
  // failed, the name then being left as it was.
  bool commit();

 private:
  static cairo_status_t writebytes(void* closure, const unsigned char* data, unsigned int length);
  void fail(const std::string& why);
  // Opens the output on first use (outputopen). False (with error()) when it cannot be opened.
  bool openoutput();
  std::string path_, error_;
  picturekind type_;
  velk::outputfile out_;
  cairo_surface_t* surface_ = nullptr;
  bool writefailed_ = false;
};

// Draws the plotter stream on a page of the size, orientation and colours of page (as on a
// colour display) into the picture file path; underlay, when given, draws on the page first; a
// null stream leaves the page empty.
// False, with the reason in *error, when the picture could not be written; the name is then
// left as it was.
bool renderpicture(const pagesettings& page, const char* path, std::FILE* in,
                   void (*underlay)(cairosurface*, void*), std::string* error, void* context = nullptr);

}  // namespace velk
