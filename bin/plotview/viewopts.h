// Options of the plotter viewer and its command-line parsing.
#pragma once

#include "plot.h"
#include "windowlook.h"

// What the command line asks for; parse_options fills it from the defaults below.
struct viewoptions {
  const char* cmnd = "plotview";  // invocation name after its last '/'
  velk::pagesettings page;        // scale, orientation, colours, pens and font of the page
  velk::windowlook window;        // title, frame colours and geometry of the window
  const char* dpy = nullptr;      // display name, or null
  const char* infile = nullptr;   // plotter stream file, or null for standard input
  const char* output = nullptr;   // picture file written instead of showing a window, or null
};

// Prints the usage text of the command cmnd to standard error.
void usage(const char* cmnd);

// Reads the command line into *o: cmnd and the window title from argv[0], then the options
// applied. True when the viewer goes on; false when it ends with *status, its messages printed:
// 0 after the usage text of a help request or a non-positive shrink, 1 after the usage text of a
// bad option, or after a message for a shrink that makes no possible page, a second input file or
// an output name of an unknown picture type.
bool parse_options(int argc, char** argv, viewoptions* o, int* status);
