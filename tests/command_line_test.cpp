// What every program does with the options users of GNU tools expect (--help, --version), and how
// velkcoder and velkdecoder name the argument of a command line they refuse.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "argumenterror.h"
#include "childprocess.h"
#include "testfiles.h"

namespace {

// Every program this build makes, with its name.
std::vector<std::pair<std::string, std::string>> programs() {
  std::vector<std::pair<std::string, std::string>> found;
#define VELK_PROGRAM(NAME, PATH) found.emplace_back(NAME, PATH);
#ifdef VELKCODER_PATH
  VELK_PROGRAM("velkcoder", VELKCODER_PATH)
#endif
#ifdef VELKDECODER_PATH
  VELK_PROGRAM("velkdecoder", VELKDECODER_PATH)
#endif
#ifdef PITCH_PATH
  VELK_PROGRAM("pitch", PITCH_PATH)
#endif
#ifdef PLOTVIEW_PATH
  VELK_PROGRAM("plotview", PLOTVIEW_PATH)
#endif
#ifdef GRAPH_PATH
  VELK_PROGRAM("graph", GRAPH_PATH)
#endif
#ifdef VELKPLOT_PATH
  VELK_PROGRAM("velkplot", VELKPLOT_PATH)
#endif
#ifdef RECSLICE_PATH
  VELK_PROGRAM("recslice", RECSLICE_PATH)
#endif
#ifdef SNR_PATH
  VELK_PROGRAM("snr", SNR_PATH)
#endif
#ifdef BIQUAD_PATH
  VELK_PROGRAM("biquad", BIQUAD_PATH)
#endif
#ifdef LAGCORR_PATH
  VELK_PROGRAM("lagcorr", LAGCORR_PATH)
#endif
#undef VELK_PROGRAM
  return found;
}

// Runs the program in the directory `dir`, so that relative output names land there.
RunResult run_in(const std::string& dir, const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> shell = {"-c", "cd \"$0\" && exec \"$@\"", dir, program};
  shell.insert(shell.end(), args.begin(), args.end());
  return run_program("/bin/sh", shell);
}

}  // namespace

TEST(StandardOptions, EveryProgramPrintsItsVersion) {
  ASSERT_EQ(programs().size(), 10u);
  for (const auto& [name, path] : programs()) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--version"}, {"x", "--version"}}) {
      const RunResult r = run_program(path, args);
      EXPECT_TRUE(r.exited && r.status == 0) << name << " " << r.status;
      EXPECT_EQ(r.out, name + " (velk) " VELK_VERSION "\n") << name;
      EXPECT_EQ(r.err, "") << name;
    }
  }
}

// --help prints the program's own help or usage text, on standard output, with status 0; the
// stream commands' -h still prints theirs on standard error.
TEST(StandardOptions, EveryProgramPrintsItsHelpOnStandardOutput) {
  for (const auto& [name, path] : programs()) {
    const RunResult r = run_program(path, {"--help"});
    EXPECT_TRUE(r.exited && r.status == 0) << name << " " << r.status;
    EXPECT_NE(r.out.find(name), std::string::npos) << name << r.out;
    EXPECT_GT(r.out.size(), 200u) << name;
    EXPECT_EQ(r.err, "") << name;
  }
  for (const auto& [name, path] : programs()) {
    if (name == "velkcoder" || name == "velkdecoder") continue;
    const RunResult help = run_program(path, {"--help"});
    const RunResult h = run_program(path, {"-h"});
    EXPECT_TRUE(h.exited && h.status == 0) << name;
    EXPECT_EQ(h.out, "") << name;
    EXPECT_EQ(h.err, help.out) << name;
  }
}

#ifdef VELKCODER_PATH
TEST(RefusedCommandLines, TheSecondLineNamesTheArgumentAndTheRule) {
  TempDir dir;
  const std::string wav = dir.write("in.wav", sine_wav(1600, 200));
  const std::string f0 = dir.path("f0"), cc = dir.path("cc");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{wav, f0, cc, "--lframe=5ms"}, "--lframe=5ms: not an integer"},
      {{wav, f0, cc, "--lframe=4294967376"}, "--lframe=4294967376: beyond the 32-bit integer range"},
      {{wav, f0, cc, "--ccord=3.5"}, "--ccord=3.5: not an integer"},
      {{wav, f0, cc, "--fpitch=2"}, "--fpitch=2: unknown option"},
      {{wav, f0, cc, "--ccord=900"}, "--ccord=900: above 511"},
      {{wav, f0, cc, "--f0min=19"}, "--f0min=19: below 20"},
      {{wav, f0, cc, "--alpha=-1"}, "--alpha=-1: not above -1"},
      {{wav, f0, cc, "--alpha=nan"}, "--alpha=nan: not a number"},
      {{wav, f0, cc, "--ccmeth=5"}, "--ccmeth=5: above 4"},
      {{wav, f0, cc, "--lframe=80", "--LFrame=40"}, "--LFrame=40: --lframe given twice"},
      {{wav, f0, cc, "--ccord=20", "word"},
       "word: not an option of the form --name=value (options follow the file names)"},
      {{wav, f0}, "2 file names given; expected filein filef0 filecc [filefv]"},
      {{wav, f0, cc, "--f0min=300", "--f0max=200"}, "--f0min, --f0max: f0min must lie below f0max"},
      {{wav, "-lframe=80", f0, cc},
       "-lframe=80: a file name that looks like the option --lframe=80 (options start with --)"},
      {{wav, f0, "-CCord=20", cc},
       "-CCord=20: a file name that looks like the option --CCord=20 (options start with --)"},
  };
  for (const auto& [args, line] : cases) {
    const RunResult r = run_in(dir.dir(), VELKCODER_PATH, args);
    EXPECT_TRUE(r.exited && r.status == 255) << line;
    EXPECT_EQ(r.out, "Error: incorrect input arguments.\n" + line + "\nType 'velkcoder' for help.\n");
    EXPECT_FALSE(file_exists(f0) || file_exists(cc) || file_exists(dir.path("-lframe=80"))) << line;
  }
  // A file name with a dash that names no option is a file name.
  const RunResult r = run_program(VELKCODER_PATH, {wav, f0, dir.path("-x=1")});
  EXPECT_TRUE(r.exited && r.status == 0) << r.out;
  EXPECT_TRUE(file_exists(dir.path("-x=1")));
}
#endif

#ifdef VELKDECODER_PATH
TEST(RefusedCommandLines, TheDecoderNamesItsArgumentsToo) {
  TempDir dir;
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"a", "b", "c", "--ccord=-2"}, "--ccord=-2: below 0"},
      {{"a", "b", "c", "--fwarp=x"}, "--fwarp=x: not a number"},
      {{"a", "b", "c", "--wavnorm=2"}, "--wavnorm=2: above 1"},
      {{"a", "b", "c", "--ccmeth=1"}, "--ccmeth=1: unknown option"},
      {{"a", "b", "c", "--lframe=3", "--fdur=0.1"},
       "--lframe, --fdur: lframe x fdur must be at least one sample"},
      {{"a", "b", "-fdur=2", "out.wav"},
       "-fdur=2: a file name that looks like the option --fdur=2 (options start with --)"},
  };
  for (const auto& [args, line] : cases) {
    const RunResult r = run_in(dir.dir(), VELKDECODER_PATH, args);
    EXPECT_TRUE(r.exited && r.status == 255) << line;
    EXPECT_EQ(r.out, "Error: incorrect input arguments.\n" + line + "\nType 'velkdecoder' for help.\n");
    EXPECT_FALSE(file_exists(dir.path("out.wav"))) << line;
  }
}
#endif

#ifdef VELKCODER_PATH
// The lines of every finished set are out before the next set starts: here the third set's
// input is a FIFO nobody writes, the run is killed while it waits, and its log still holds the
// first two sets.
TEST(ProgressLines, EachFinishedSetIsInTheLogWhenTheRunIsKilled) {
  TempDir dir;
  const std::string wav = sine_wav(1600, 200);
  dir.write("s1.wav", wav);
  dir.write("s2.wav", wav);
  ASSERT_EQ(mkfifo(dir.path("s3.wav").c_str(), 0600), 0);
  RunSettings how;
  how.seconds = 5;
  const RunResult r = run_program(
      VELKCODER_PATH, {dir.path("s?.wav"), dir.path("f?.lf0"), dir.path("c?.cc"), "--indlist=1-3"}, how);
  EXPECT_TRUE(r.timedout);
  EXPECT_EQ(r.out, dir.path("s1.wav") + "\n" + dir.path("s2.wav") + "\n" + dir.path("s3.wav") + "\n");
}
#endif

#if defined(SNR_PATH) && defined(BIQUAD_PATH) && defined(LAGCORR_PATH)
// The commands that read raw floats refuse a WAV file, from a file or a pipe, with a message
// saying what they read; raw floats from a pipe are read whole (the bytes looked at are kept).
TEST(RawFloatCommands, RefuseWaveFilesAndSayWhatTheyRead) {
  TempDir dir;
  const std::string wav = dir.write("orig.wav", sine_wav(1600, 200));
  std::vector<float> samples(1000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(1000.0 * std::sin(0.05 * i));
  const std::string raw = dir.write("orig.f32", float_bytes(samples));
  const auto refusal = [](const std::string& cmnd, const std::string& name) {
    return cmnd + " : " + name + " is a RIFF/WAVE file; " + cmnd +
           " reads headerless little-endian 32-bit floats (convert it first, e.g. sox " + name + " -t f32 " +
           name + ".f32)!\n";
  };
  const std::vector<std::pair<std::string, std::string>> commands = {
      {"snr", SNR_PATH}, {"biquad", BIQUAD_PATH}, {"lagcorr", LAGCORR_PATH}};
  for (const auto& [cmnd, path] : commands) {
    std::vector<std::string> args;
    if (cmnd == "snr") args.push_back(raw);
    std::vector<std::string> named = args;
    named.push_back(wav);
    const RunResult r = run_program(path, named);
    EXPECT_TRUE(r.exited && r.status == 1) << cmnd;
    EXPECT_EQ(r.err, refusal(cmnd, wav));
    EXPECT_EQ(r.out, "");
    const RunResult piped = run_program(path, args, stdin_bytes(file_contents(wav)));
    EXPECT_TRUE(piped.exited && piped.status == 1) << cmnd;
    EXPECT_EQ(piped.err, refusal(cmnd, "standard input"));
    std::vector<std::string> fromfile = args;
    fromfile.push_back(raw);
    const RunResult byname = run_program(path, fromfile);
    const RunResult bypipe = run_program(path, args, stdin_bytes(file_contents(raw)));
    EXPECT_TRUE(byname.exited && byname.status == 0) << cmnd << byname.err;
    EXPECT_GT(byname.out.size(), 0u) << cmnd;
    EXPECT_EQ(bypipe.out, byname.out) << cmnd;
  }
  const RunResult reference = run_program(SNR_PATH, {wav, raw});
  EXPECT_EQ(reference.err, refusal("snr", wav));
}
#endif
