// graph: reads a graph description and writes plotter commands to standard output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "cmdline.h"
#include "graphpage.h"
#include "plcoord.h"

namespace {

const char* cmnd = "graph";
const GraphFrame kDefault;
const double kWidth = kDefault.width, kHeight = kDefault.height, kOriginX = kDefault.x, kOriginY = kDefault.y,
             kCharHeight = kDefault.char_height, kCharWidth = kDefault.char_width;

[[noreturn]] void usage(int status) {
  print_usage_head(stderr, cmnd, "draw a graph description with plotter commands",
                   "[ options ] [ infile ] > stdout");
  std::fprintf(stderr, "  options:\n");
  std::fprintf(stderr, "       -W W   : frame width (mm)        [%g]\n", kWidth);
  std::fprintf(stderr, "       -H H   : frame height (mm)       [%g]\n", kHeight);
  std::fprintf(stderr, "       -x x   : frame origin x (mm)     [%g]\n", kOriginX);
  std::fprintf(stderr, "       -y y   : frame origin y (mm)     [%g]\n", kOriginY);
  std::fprintf(stderr, "       -c c   : character height (mm)   [%g]\n", kCharHeight);
  std::fprintf(stderr, "       -w w   : character width (mm)    [%g]\n", kCharWidth);
  std::fprintf(stderr, "       -t t   : page type               [%d]\n", 0);
  std::fprintf(stderr, "                (<0: axis lines always, 0: open frame, >0: boxed)\n");
  std::fprintf(stderr, "       -h     : print this message \n");
  std::fprintf(stderr, "  infile:\n");
  std::fprintf(stderr, "       graph description                [stdin]\n");
  print_version_footer(stderr);
  std::exit(status);
}

// A number option's value; a missing or malformed value is an error.
double option_number(int argc, char** argv, int* i) {
  char* end = nullptr;
  const double v = (*i + 1 < argc) ? std::strtod(argv[*i + 1], &end) : 0.0;
  if (end == nullptr || end == argv[*i + 1] || *end != '\0') {
    std::fprintf(stderr, "%s : Invalid value for option '%c'!\n", cmnd, argv[*i][1]);
    usage(1);
  }
  *i += 1;
  return v;
}

// The named description opened for reading; null when it cannot be opened or is a directory
// (which opens but cannot be read).
FILE* open_description(const char* path) {
  FILE* fp = std::fopen(path, "r");
  struct stat st;
  if (fp != nullptr && fstat(fileno(fp), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(fp);
    return nullptr;
  }
  return fp;
}

}  // namespace

int main(int argc, char** argv) {
  cmnd = command_name(argv[0]);
  standard_options(argc, argv, "graph", [] { usage(0); });
  GraphFrame frame;
  const char* infile = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (a[0] != '-' || a[1] == '\0') {
      infile = a;
      continue;
    }
    switch (a[1]) {
      case 'W':
        frame.width = option_number(argc, argv, &i);
        break;
      case 'H':
        frame.height = option_number(argc, argv, &i);
        break;
      case 'x':
        frame.x = option_number(argc, argv, &i);
        break;
      case 'y':
        frame.y = option_number(argc, argv, &i);
        break;
      case 'c':
        frame.char_height = option_number(argc, argv, &i);
        break;
      case 'w':
        frame.char_width = option_number(argc, argv, &i);
        break;
      case 't':
        frame.type = static_cast<int>(option_number(argc, argv, &i));
        break;
      case 'h':
        usage(0);
      default:
        invalid_option(cmnd, a[1], usage);
    }
  }
  FILE* fp = stdin;
  if (infile && std::strcmp(infile, "-") != 0 && (fp = open_description(infile)) == nullptr) {
    std::fprintf(stderr, "%s : Cannot open file '%s'!\n", cmnd, infile);
    return 1;
  }
  plstart();
  draw_graph_frame(fp, frame);
  const bool readfailed = std::ferror(fp) != 0;
  if (fp != stdin) std::fclose(fp);
  if (readfailed) {
    std::fprintf(stderr, "%s : Cannot read the graph description!\n", cmnd);
    return 1;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
