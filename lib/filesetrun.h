#pragma once
// The run of a program over its file sets, from the command line to the exit status: shared by
// velkcoder and velkdecoder, which supply their options, their file sets and the work on one set.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "cmdline.h"
#include "outputfile.h"
#include "paramread.h"
#include "tempfiles.h"

namespace velk {

// The stream of a run's messages: standard output, or standard error when an output of the
// command line (outputs[0..count), null for none) is standard output, so that no message lands
// inside the data. runfilesets chooses it before its first message and hands it to the program
// in the options of the run (Program::optionset::messages).
inline FILE* messagestream(char* const* outputs, uint32_t count) {
  for (uint32_t k = 0; k < count; ++k)
    if (namesstandardoutput(outputs[k])) return stderr;
  return stdout;
}

// Reports an output that could not be created; the reason is given when the file or its
// directory refused the write (`error` an errno value, 0 when unknown).
inline void reportuncreated(FILE* messages, const char* path, int error) {
  if (error == EACCES || error == EPERM || error == EROFS)
    fprintf(messages, "Error: could not create %s: %s.\n", path, strerror(error));
  else
    fprintf(messages, "Error: could not create %s.\n", path);
}

// The count of the sets a run did and of those that failed.
struct filesetrun {
  uint32_t sets = 0;
  uint32_t failed = 0;
  void add(bool done) {
    ++sets;
    if (!done) ++failed;
  }
};

// 0 when every set succeeded, else 1; an indexed run then ends with the count of the failed sets.
inline int filesetstatus(FILE* messages, const filesetrun& run, bool indexed) {
  if (run.failed == 0) return 0;
  if (indexed) fprintf(messages, "Error: %u of %u file sets failed.\n", run.failed, run.sets);
  return 1;
}

// false (reported) when an index of the list cannot be written into every one of the count names
// of the set; checked once, before the first set.
inline bool indexlistfits(FILE* messages, const char* list, uint32_t count, const char* const* names) {
  char problem[PATH_MAX + 64];
  if (strnumfitsnames(list, count, names, problem, sizeof problem) == 0) return true;
  fprintf(messages, "Error: %s.\n", problem);
  return false;
}

// The message of a command line the program cannot run: the argument error, the argument and
// the rule it broke, where to find help.
inline void argcerror(FILE* messages, const char* path, const char* problem) {
  fprintf(messages, "Error: incorrect input arguments.\n%s\nType '%s' for help.\n", problem,
          getfilename(path));
  fflush(messages);
}

// What is wrong with a command line the program refused: the first argument that breaks a rule
// of Program::rules, else the count of the file names (Program::files tells which it takes),
// else Program::conflict (options each within its bounds that do not fit together). args are
// the arguments as given.
template <class Program>
std::string commandlineproblem(int argc, char* const* args) {
  const int firstoption = paramregionstart(argc, args);
  char problem[PATH_MAX + 160];
  if (optionproblem(argc, args, firstoption, Program::rules, std::size(Program::rules), problem,
                    sizeof problem) == 0)
    return problem;
  if (firstoption != 4 && firstoption != 5)
    return std::to_string(firstoption - 1) + " file names given; expected " + Program::files;
  return Program::conflict;
}

// The warning for a stream file whose last bytes make no whole value.
inline void reporttrailingbytes(FILE* messages, const char* path, uint32_t rest) {
  if (rest != 0)
    fprintf(messages, "Warning: %s ends in %u bytes that make no whole value; they are ignored.\n", path,
            rest);
}

// An indexed run in progress: the options every set shares and the outcome so far.
template <class Program>
struct indexedfilesets {
  const typename Program::optionset* options;
  filesetrun run;
};

// One set of an indexed run (a visitor of strnumforeachset): the name Program::shownname is
// printed, then the set is done. A set whose names cannot take the index is reported and
// skipped, so that no set is read or written under another set's names.
template <class Program>
void runindexedfileset(char* const* names, uint32_t index, uint32_t unfit, void* context) {
  indexedfilesets<Program>* sets = static_cast<indexedfilesets<Program>*>(context);
  FILE* messages = sets->options->messages;
  typename Program::nameset files;
  bool done = false;
  if (unfit < std::size(files.name)) {
    fprintf(messages, "Error: index %u does not fit the name %s.\n", index, names[unfit]);
  } else {
    fprintf(messages, "%s\n", names[Program::shownname]);
    fflush(messages);  // the set in progress is known however the run ends
    std::copy(names, names + std::size(files.name), files.name);
    done = Program::runset(files, *sets->options);
  }
  sets->run.add(done);
  // A log through a pipe, or one cut by a signal, holds every set that finished.
  fflush(stdout);
}

// The whole run of a program over file sets; returns its exit status. Without arguments it
// prints the help text (0); a command line it cannot run is reported (255). The set that the
// command line names is done once, or with --indlist once for every index of the list. Program
// supplies:
//   name: the program's name, for --version;
//   rules: the optionrule of every option, files: the file names it takes ("filein filef0
//     filecc [filefv]"), conflict: the rule that options within their bounds can still break
//     together, for the message of a refused command line;
//   optionset: the options, with `indlist` (the list, null without --indlist) and `messages`
//     (the stream of the run's messages, set by the run before usable is asked);
//   nameset: the names of one set, `name[]` in command-line order;
//   help(path): prints the help text;
//   readoptions(count, args, &o): reads the options of the command line's option region;
//   usable(&o): false when the run cannot work with the options (it may complete them);
//   commandlineset(argv, filecount): the set the command line names, filecount (4 or 5)
//     counting the program name;
//   runset(files, o): does one set; false (reported) when the set failed;
//   shownname: the index of the name printed before each set of an indexed run;
//   firstoutput: the index of the set's first output name (the outputs are the names from it
//     on);
//   outofmemory(messages, name): reports that memory ran out, for the set of that name.
template <class Program>
int runfilesets(int argc, char** argv) {
  if (const commandend end = standardoptions(argc, argv, Program::name, [argv] { Program::help(argv[0]); }))
    return *end;
  removetemporariesonsignals();
  if (argc == 1) {
    Program::help(argv[0]);
    return 0;
  }
  // The arguments as given, for the message of a refusal (reading the options marks them).
  std::vector<std::string> given(argv, argv + argc);
  std::vector<char*> givenargs;
  for (std::string& a : given) givenargs.push_back(a.data());
  const std::string problem = commandlineproblem<Program>(argc, givenargs.data());
  if (argc < 4) {
    argcerror(stdout, argv[0], problem.c_str());
    return 255;
  }
  const int firstoption = paramregionstart(argc, argv);
  const int optioncount = argc - firstoption;
  char** optionargs = argv + firstoption;
  typename Program::optionset o;
  Program::readoptions(optioncount, optionargs, &o);
  const int filecount = argc - optioncount;  // program name included
  const bool namecount = filecount == 4 || filecount == 5;
  typename Program::nameset files{};
  if (namecount) files = Program::commandlineset(argv, filecount);
  const uint32_t count = std::size(files.name);
  o.messages = messagestream(files.name + Program::firstoutput, count - Program::firstoutput);
  FILE* messages = o.messages;
  if (o.indlist && strnumdiagnose(o.indlist) != 0) {
    fprintf(messages, "Error: bad formatted indlist.\n");
    return 255;
  }
  const bool mistyped = optionproblem(firstoption, givenargs.data(), firstoption, Program::rules,
                                      std::size(Program::rules), nullptr, 0) == 0;
  if (mistyped || unreadparams(optioncount, optionargs) || !namecount || !Program::usable(&o)) {
    argcerror(messages, argv[0], problem.c_str());
    return 255;
  }
  if (o.indlist && !indexlistfits(messages, o.indlist, count, files.name)) return 255;
  indexedfilesets<Program> sets{&o, {}};
  if (!o.indlist) {
    sets.run.add(Program::runset(files, o));
  } else if (strnumforeachset(o.indlist, count, files.name, runindexedfileset<Program>, &sets) != 0) {
    Program::outofmemory(messages, files.name[Program::shownname]);
    return 1;
  }
  return filesetstatus(messages, sets.run, o.indlist != nullptr);
}

}  // namespace velk
