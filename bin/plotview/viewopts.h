// Settings of the plotter viewer and its command-line parsing.
#ifndef PLOTVIEW_VIEWOPTS_H
#define PLOTVIEW_VIEWOPTS_H

extern const char* cmnd;         // invocation name after its last '/'
extern const char* windowtitle;  // window and icon title
extern float shrink;             // plotter units per pixel
extern int landscape;            // page orientation: 0 portrait, 1 landscape
extern int reverse;              // swap foreground and background colours
extern int c_flg;                // colour pens
extern int mono_flg;             // pens set line widths even on a colour display
extern int fno;                  // font index for ordinary text
extern const char *fore_color, *back_color, *high_color, *brdr_color, *mous_color;
extern const char* geometry;  // X geometry string, or null
extern const char* dpy;       // display name, or null
extern const char* infile;    // plotter stream file, or null for standard input
extern const char* output;    // picture file written instead of showing a window, or null

// Prints the usage text to standard error and exits with the given status.
[[noreturn]] void usage(int status);

// Sets cmnd and windowtitle from argv[0] and applies the options; exits through usage()
// on help requests, bad options and non-positive shrink values, and with a message and
// status 1 for a shrink that makes no possible page, a second input file or an output name
// of an unknown picture type.
void parse_options(int argc, char** argv);

// Largest side of a page or window in pixels (X sizes are 16-bit), and the largest page.
const int kMaxPageSide = 32767;
const double kMaxPagePixels = 268435456.0;

// Page size in pixels for the current orientation and shrink.
int page_width_pixels();
int page_height_pixels();

#endif
