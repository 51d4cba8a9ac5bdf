// What the vocoder programs guarantee about their outputs: outputs named by a descriptor, a pipe
// or a device are written through it (appending after `>>`), with the messages moved to standard
// error when the data go to standard output; a file-size limit gives the program's message and no
// temporary; a set of streams is written whole or not at all; a signal during a write removes the
// temporaries and ends the program by that signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "childprocess.h"
#include "testfiles.h"

namespace {

const std::string speech = std::string(VELK_SAMPLES_DIR) + "/en_vm-deleted.wav";

// Runs a shell command line (for redirections and limits the runner does not make).
RunResult shell(const std::string& line) {
  return run_program("/bin/sh", {"-c", line});
}

// The names in the directory that start with a dot: the temporaries.
std::string temporaries(const TempDir& dir) {
  const RunResult r = shell("ls -A '" + dir.dir() + "' | grep '^\\.' || true");
  return r.out;
}

#if defined(VELKCODER_PATH) && defined(VELKDECODER_PATH)

class VocoderOutputs : public ::testing::Test {
 protected:
  TempDir dir;
  const std::string coder = VELKCODER_PATH, decoder = VELKDECODER_PATH;
  std::string lf0 = dir.path("r.lf0"), cc = dir.path("r.cc"), fv = dir.path("r.fv");

  // The reference streams of the speech sample, written to files.
  void encodespeech() { ASSERT_EQ(run_program(coder, {speech, lf0, cc, fv}).status, 0); }
};

TEST_F(VocoderOutputs, StandardOutputAppendsAfterDoubleArrowAndFeedsPipes) {
  encodespeech();
  const std::string app = dir.write("app.lf0", "abcdef");
  const RunResult appended = shell(coder + " " + speech + " /dev/stdout " + dir.path("a.cc") + " >> " + app);
  EXPECT_EQ(appended.status, 0) << appended.err;
  EXPECT_EQ(file_contents(app), "abcdef" + file_contents(lf0));

  const std::string raw = dir.write("app.raw", "xyz");
  const RunResult decoded = shell(decoder + " " + lf0 + " " + cc + " " + fv + " /dev/stdout >> " + raw);
  EXPECT_EQ(decoded.status, 0) << decoded.err;
  ASSERT_EQ(run_program(decoder, {lf0, cc, fv, dir.path("o.wav")}).status, 0);
  EXPECT_EQ(file_contents(raw), "xyz" + file_contents(dir.path("o.wav")));

  const RunResult piped = shell(coder + " " + speech + " /dev/stdout " + dir.path("b.cc") + " | cat");
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.out, file_contents(lf0));
  EXPECT_EQ(piped.err, "");
  const RunResult wav = shell(decoder + " " + lf0 + " " + cc + " " + fv + " /dev/stdout | cat");
  EXPECT_EQ(wav.out, file_contents(dir.path("o.wav")));
  const RunResult fd =
      shell(coder + " " + speech + " " + dir.path("c.lf0") + " /dev/fd/3 3>" + dir.path("fd.cc"));
  EXPECT_EQ(fd.status, 0);
  EXPECT_EQ(file_contents(dir.path("fd.cc")), file_contents(cc));
  EXPECT_EQ(temporaries(dir), "");
}

// The data own standard output: every message of the run goes to standard error, and only then.
TEST_F(VocoderOutputs, MessagesMoveToStandardErrorWhenTheDataTakeStandardOutput) {
  encodespeech();
  const std::string clipping = " samples clipped in /dev/stdout; --wavnorm=1 scales the output to fit.\n";
  const RunResult loud = shell(decoder + " " + lf0 + " " + cc + " " + fv + " /dev/stdout --floud=4 | cat");
  ASSERT_EQ(loud.status, 0);
  EXPECT_EQ(loud.out.substr(0, 4), "RIFF");
  EXPECT_NE(loud.err.find(clipping), std::string::npos) << loud.err;
  EXPECT_EQ(loud.out.find("Warning"), std::string::npos);
  const RunResult file = run_program(decoder, {lf0, cc, fv, dir.path("loud.wav"), "--floud=4"});
  EXPECT_NE(file.out.find(" samples clipped in "), std::string::npos);
  EXPECT_EQ(file.err, "");

  const RunResult missing = shell(coder + " " + dir.path("none.wav") + " /dev/stdout x.cc | cat");
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err.rfind("Error: could not open " + dir.path("none.wav") + ".\n", 0), 0u) << missing.err;
}

// Beyond `ulimit -f` the write fails: the message, status 1, no temporary, and the earlier files
// of the set as they were (the cepstra outgrow the limit, the log-F0 file would fit).
TEST_F(VocoderOutputs, FileSizeLimitReportsAndKeepsTheEarlierSetWhole) {
  const std::string old = "old";
  for (const std::string& path : {lf0, cc, fv}) dir.write(path.substr(path.rfind('/') + 1), old);
  const RunResult r = shell("ulimit -f 40; exec " + coder + " " + speech + " " + lf0 + " " + cc + " " + fv);
  ASSERT_TRUE(r.exited) << "signal " << r.signal;
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Error: could not create " + cc + ".\nWarning: " + lf0 +
                       " not written: its set failed.\n" + "Warning: " + fv +
                       " not written: its set failed.\n" + "Warning: " + lf0 +
                       ".json not written: its set failed.\n");
  for (const std::string& path : {lf0, cc, fv}) EXPECT_EQ(file_contents(path), old) << path;
  EXPECT_EQ(temporaries(dir), "");

  encodespeech();
  const std::string wav = dir.path("o.wav");
  const RunResult d = shell("ulimit -f 40; exec " + decoder + " " + lf0 + " " + cc + " " + fv + " " + wav);
  ASSERT_TRUE(d.exited) << "signal " << d.signal;
  EXPECT_EQ(d.status, 1);
  EXPECT_EQ(d.out, "Error: could not create " + wav + ".\n");
  EXPECT_FALSE(file_exists(wav));
  EXPECT_EQ(temporaries(dir), "");
}

// velkcoder waits to open a FIFO output that nobody reads, its log-F0 temporary written: each
// of the four signals removes that temporary and ends the program by itself.
TEST_F(VocoderOutputs, SignalsDuringASetRemoveItsTemporaries) {
  const std::string fifo = dir.path("cc.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    StartedProgram p = start_program(coder, {speech, lf0, fifo, fv});
    for (int wait = 0; wait < 6000 && temporaries(dir).empty(); ++wait) usleep(10000);
    ASSERT_EQ(temporaries(dir).substr(0, 7), ".r.lf0.") << sig;
    kill(p.pid, sig);
    const RunResult r = wait_program(&p);
    EXPECT_FALSE(r.exited) << sig;
    EXPECT_EQ(r.signal, sig);
    EXPECT_EQ(temporaries(dir), "") << sig;
    EXPECT_FALSE(file_exists(lf0));
  }
}

// velkdecoder stopped as soon as its temporary appears, while it writes 16 MB, then sent SIGTERM.
TEST_F(VocoderOutputs, SignalDuringTheDecodersWriteRemovesItsTemporary) {
  const int frames = 25000;
  dir.write("u.lf0", float_bytes(std::vector<float>(frames, -1e10f)));
  dir.write("u.cc", float_bytes(std::vector<float>(frames, 0.0f)));
  const int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, dir.dir().c_str(), IN_CREATE), 0);
  StartedProgram p =
      start_program(decoder, {dir.path("u.lf0"), dir.path("u.cc"), dir.path("o.wav"), "--fdur=4"});
  alignas(struct inotify_event) char events[4096];
  const ssize_t got = read(watch, events, sizeof events);
  kill(p.pid, SIGSTOP);
  close(watch);
  ASSERT_GT(got, 0);
  const std::string made = reinterpret_cast<struct inotify_event*>(events)->name;
  EXPECT_EQ(made.substr(0, 7), ".o.wav.");
  EXPECT_TRUE(file_exists(dir.path(made)));
  kill(p.pid, SIGTERM);
  kill(p.pid, SIGCONT);
  const RunResult r = wait_program(&p);
  EXPECT_EQ(r.signal, SIGTERM);
  EXPECT_FALSE(file_exists(dir.path(made)));
  EXPECT_FALSE(file_exists(dir.path("o.wav")));
}

// An output without write permission is refused as `cp` and `>` refuse it, by either program,
// with the reason; the set keeps its old files. 0444 protects a file from a process whose
// privileges would override the bits too.
TEST_F(VocoderOutputs, WriteProtectedOutputsAreRefusedAndTheSetKept) {
  for (const std::string& path : {lf0, cc, fv}) dir.write(path.substr(path.rfind('/') + 1), "old");
  ASSERT_EQ(chmod(lf0.c_str(), 0444), 0);
  const RunResult r = run_program(coder, {speech, lf0, cc, fv});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Error: could not create " + lf0 + ": Permission denied.\nWarning: " + cc +
                       " not written: its set failed.\nWarning: " + fv +
                       " not written: its set failed.\nWarning: " + lf0 +
                       ".json not written: its set failed.\n");
  for (const std::string& path : {lf0, cc, fv}) EXPECT_EQ(file_contents(path), "old") << path;
  EXPECT_FALSE(file_exists(lf0 + ".json"));
  EXPECT_EQ(temporaries(dir), "");

  ASSERT_EQ(chmod(lf0.c_str(), 0644), 0);
  encodespeech();
  const std::string wav = dir.write("o.wav", "old");
  ASSERT_EQ(chmod(wav.c_str(), 0444), 0);
  const RunResult d = run_program(decoder, {lf0, cc, fv, wav});
  EXPECT_EQ(d.status, 1);
  EXPECT_EQ(d.out, "Error: could not create " + wav + ": Permission denied.\n");
  EXPECT_EQ(file_contents(wav), "old");
  EXPECT_EQ(temporaries(dir), "");
}

// An immutable member of a set (chattr +i, where the tests may set it): no new file is written
// beside it, the old set stays whole.
TEST_F(VocoderOutputs, AnImmutableOutputKeepsTheWholeSetOld) {
  for (const std::string& path : {lf0, cc, fv}) dir.write(path.substr(path.rfind('/') + 1), "old");
  if (shell("chattr +i '" + fv + "' 2>/dev/null").status != 0)
    GTEST_SKIP() << "chattr +i is not available here";
  const RunResult r = run_program(coder, {speech, lf0, cc, fv});
  shell("chattr -i '" + fv + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Error: could not create " + fv + ": Operation not permitted.\nWarning: " + lf0 +
                       " not written: its set failed.\nWarning: " + cc +
                       " not written: its set failed.\nWarning: " + lf0 +
                       ".json not written: its set failed.\n");
  for (const std::string& path : {lf0, cc, fv}) EXPECT_EQ(file_contents(path), "old") << path;
  EXPECT_FALSE(file_exists(lf0 + ".json"));
  EXPECT_EQ(temporaries(dir), "");
}

#endif

}  // namespace
