// Options of the plotter viewer and its command-line parsing.
#ifndef PLOTVIEW_VIEWOPTS_H
#define PLOTVIEW_VIEWOPTS_H

#include "plot.h"

// What the command line asks for; parse_options fills it from the defaults below.
struct viewoptions {
  const char* cmnd = "plotview";         // invocation name after its last '/'
  const char* windowtitle = "plotview";  // window and icon title
  pagesettings page;                     // scale, orientation, colours, pens and font of the page
  const char* high_color = "blue";
  const char* brdr_color = "blue";
  const char* mous_color = "red";
  const char* geometry = nullptr;  // X geometry string, or null
  const char* dpy = nullptr;       // display name, or null
  const char* infile = nullptr;    // plotter stream file, or null for standard input
  const char* output = nullptr;    // picture file written instead of showing a window, or null
};

// Prints the usage text of the command cmnd to standard error and exits with the given status.
[[noreturn]] void usage(const char* cmnd, int status);

// The options of the command line: cmnd and windowtitle from argv[0], then the options applied.
// Exits through usage() on help requests, bad options and non-positive shrink values, and with a
// message and status 1 for a shrink that makes no possible page, a second input file or an
// output name of an unknown picture type.
viewoptions parse_options(int argc, char** argv);

// Largest side of a page or window in pixels (X sizes are 16-bit), and the largest page.
const int kMaxPageSide = 32767;
const double kMaxPagePixels = 268435456.0;

#endif
