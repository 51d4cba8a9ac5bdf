// graph: reads a graph description and writes plotter commands to standard output.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "cmdline.h"
#include "graphpage.h"
#include "plcoord.h"

using namespace velk;

namespace {

// The name the messages show: the program path after its last '/'.
const char* cmnd() {
  return command_name(program_invocation_name);
}
// The number options that place and letter the frame: the letter, what the usage text calls the
// value, and the field of the frame it sets.
struct FrameOption {
  char letter;
  const char* meaning;
  double graphframe::*field;
};
const FrameOption kFrameOptions[] = {
    {'W', "frame width (mm)", &graphframe::width},
    {'H', "frame height (mm)", &graphframe::height},
    {'x', "frame origin x (mm)", &graphframe::x},
    {'y', "frame origin y (mm)", &graphframe::y},
    {'c', "character height (mm)", &graphframe::charheight},
    {'w', "character width (mm)", &graphframe::charwidth},
};

// The frame option of the letter, or null.
const FrameOption* frame_option(char letter) {
  for (const FrameOption& f : kFrameOptions)
    if (f.letter == letter) return &f;
  return nullptr;
}

[[noreturn]] void usage(int status) {
  print_usage_head(stderr, cmnd(), "draw a graph description with plotter commands",
                   "[ options ] [ infile ] > stdout");
  std::fprintf(stderr, "  options:\n");
  const graphframe defaults;
  for (const FrameOption& f : kFrameOptions)
    std::fprintf(stderr, "       -%c %c   : %-24s[%g]\n", f.letter, f.letter, f.meaning, defaults.*f.field);
  std::fprintf(stderr, "       -t t   : page type               [%d]\n", defaults.type);
  std::fputs(
      "                (<0: axis lines always, 0: open frame, >0: boxed)\n"
      "       -h     : print this message \n"
      "  infile:\n"
      "       graph description                [stdin]\n",
      stderr);
  print_version_footer(stderr);
  std::exit(status);
}

// A number option's value; a missing or malformed value is an error.
double option_number(int argc, char** argv, int* i) {
  char* end = nullptr;
  const double v = (*i + 1 < argc) ? std::strtod(argv[*i + 1], &end) : 0.0;
  if (end == nullptr || end == argv[*i + 1] || *end != '\0') {
    std::fprintf(stderr, "%s : Invalid value for option '%c'!\n", cmnd(), argv[*i][1]);
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
  if (const CommandEnd end = standard_options(argc, argv, "graph", [] { usage(0); })) return *end;
  graphframe frame;
  const char* infile = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (a[0] != '-' || a[1] == '\0') {
      infile = a;
      continue;
    }
    if (const FrameOption* f = frame_option(a[1])) {
      frame.*f->field = option_number(argc, argv, &i);
    } else if (a[1] == 't') {
      frame.type = static_cast<int>(option_number(argc, argv, &i));
    } else if (a[1] == 'h') {
      usage(0);
    } else {
      invalid_option(cmnd(), a[1]);
      usage(1);
    }
  }
  FILE* fp = stdin;
  if (infile && std::strcmp(infile, "-") != 0 && (fp = open_description(infile)) == nullptr) {
    std::fprintf(stderr, "%s : Cannot open file '%s'!\n", cmnd(), infile);
    return 1;
  }
  plotcontext pc;
  plstart(&pc);
  drawgraphframe(&pc, fp, frame);
  const bool readfailed = std::ferror(fp) != 0;
  if (fp != stdin) std::fclose(fp);
  if (readfailed) {
    std::fprintf(stderr, "%s : Cannot read the graph description!\n", cmnd());
    return 1;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "%s : Cannot write the plotter commands!\n", cmnd());
    return 1;
  }
  return 0;
}
