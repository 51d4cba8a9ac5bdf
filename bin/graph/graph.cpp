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
  return commandname(program_invocation_name);
}
// The number options that place and letter the frame: the letter, what the usage text calls the
// value, and the field of the frame it sets.
struct FrameOption {
  const char* letter;
  const char* meaning;
  double graphframe::*field;
};
const FrameOption kFrameOptions[] = {
    {"W", "frame width (mm)", &graphframe::width},
    {"H", "frame height (mm)", &graphframe::height},
    {"x", "frame origin x (mm)", &graphframe::x},
    {"y", "frame origin y (mm)", &graphframe::y},
    {"c", "character height (mm)", &graphframe::charheight},
    {"w", "character width (mm)", &graphframe::charwidth},
};

void usage(const char* cmnd) {
  printusagehead(stderr, cmnd, "draw a graph description with plotter commands",
                 "[ options ] [ infile ] > stdout");
  std::fprintf(stderr, "  options:\n");
  const graphframe defaults;
  for (const FrameOption& f : kFrameOptions)
    std::fprintf(stderr, "       -%c %c   : %-24s[%g]\n", f.letter[0], f.letter[0], f.meaning,
                 defaults.*f.field);
  std::fprintf(stderr, "       -t t   : page type               [%d]\n", defaults.type);
  std::fputs(
      "                (<0: axis lines always, 0: open frame, >0: boxed)\n"
      "       -h     : print this message \n"
      "  infile:\n"
      "       graph description                [stdin]\n",
      stderr);
  printversionfooter(stderr);
}

// A number option: the next argument, the whole of it a number for strtod, goes to `store`; a
// missing or malformed value is named in one message, then the usage text ends the command.
template <class Store>
commandoption graphnumber(const char* letter, Store store) {
  return customoption(letter, [store](optionvalues* v) {
    const char* text = v->nextargument();
    char* end = nullptr;
    const double value = text != nullptr ? std::strtod(text, &end) : 0.0;
    if (text == nullptr || end == text || *end != '\0') {
      std::fprintf(stderr, "%s : Invalid value for option '%c'!\n", cmnd(), v->letter());
      v->endwithusage(1);
      return;
    }
    store(value);
  });
}

// The syntax of the command: its options into *frame, its operand into *infile ("-" standard
// input).
commandsyntax syntax(graphframe* frame, const char** infile) {
  commandsyntax x{"graph", {cmnd(), usage}};
  for (const FrameOption& f : kFrameOptions)
    x.options.push_back(graphnumber(f.letter, [frame, f](double v) { frame->*f.field = v; }));
  x.options.push_back(graphnumber("t", [frame](double v) { frame->type = static_cast<int>(v); }));
  x.options.push_back(helpoption("h"));
  x.dashisoperand = true;
  x.operand = [infile](const char* arg) {
    *infile = arg;
    return true;
  };
  return x;
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
  graphframe frame;
  const char* infile = nullptr;
  if (const commandend end = parsecommandline(argc, argv, syntax(&frame, &infile))) return *end;
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
