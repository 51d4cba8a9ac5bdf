// The velkplot command: usage, graph descriptions on standard output, pictures of one or
// several panels (the bundled sample's waveform above its F0 contour), and empty, truncated
// and non-finite streams.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "childprocess.h"
#include "expectrun.h"
#include "pngpage.h"

namespace {

const std::string kVelkplot = VELKPLOT_PATH;
const std::string kSample = std::string(SOURCE_DIR) + "/samples/en_vm-deleted.wav";

RunResult velkplot(const std::vector<std::string>& args) {
  return run_program(kVelkplot, args, RunSettings());
}

RunResult run_with_input(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input) {
  RunSettings how;
  how.input = input;
  return run_program(program, args, how);
}

class Velkplot : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { unsetenv("DISPLAY"); }
  // A log-F0 stream: voiced frames at f Hz, unvoiced where f is 0.
  std::string lf0(const std::string& name, const std::vector<double>& hz) {
    std::vector<float> v;
    for (double f : hz) v.push_back(f > 0 ? static_cast<float>(std::log(f)) : -1e10f);
    return dir_.write(name, float_bytes(v));
  }
  TempDir dir_;
};

TEST_F(Velkplot, HelpPrintsTheUsage) {
  const RunResult r = velkplot({"-h"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err.rfind("\n velkplot - figures of speech parameter streams\n\n  usage:\n", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(" ZEVK: version 3.11\n CVS Info: $Id$\n"), std::string::npos);
  EXPECT_EQ(velkplot({}).status, 1);
  const RunResult bad = velkplot({"-x"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err.rfind("velkplot : Invalid option '-x'!\n", 0), 0u);
}

TEST_F(Velkplot, F0PanelDescriptionInHzWithGapsForUnvoicedFrames) {
  // Five frames of 80 samples: 0, 5, 10, 15 and 20 ms.
  const RunResult r = velkplot({"f0", lf0("a.lf0", {100, 0, 200, 250, 0})});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.rfind("x 0 0.02\ny 100 250\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("yname \"F0 (Hz)\"\n"), std::string::npos);
  EXPECT_NE(r.out.find("xname \"Time (s)\"\n"), std::string::npos);
  EXPECT_NE(r.out.find("\n0 100\neod\n0.01 200\n0.015 250\neod\n"), std::string::npos) << r.out;
  // In Hz and with another frame shift.
  std::vector<float> hz = {0, 120, 130};
  const RunResult h = velkplot({"f0", dir_.write("a.f0", float_bytes(hz)), "--hz", "--lframe=160"});
  ASSERT_EQ(h.status, 0) << h.err;
  EXPECT_NE(h.out.find("\n0.01 120\n0.02 130\neod\n"), std::string::npos) << h.out;
}

TEST_F(Velkplot, PipelineAndMinusOGiveTheSamePicture) {
  const std::string f0 = lf0("a.lf0", {100, 0, 200, 250, 0, 180, 170});
  const RunResult d = velkplot({"f0", f0, "--title=Contour τ"});
  ASSERT_EQ(d.status, 0);
  const RunResult stream = run_with_input(GRAPH_PATH, {"-t", "1"}, d.out);
  ASSERT_EQ(stream.status, 0);
  ASSERT_EQ(run_with_input(PLOTVIEW_PATH, {"-o", dir_.path("a.png")}, stream.out).status, 0);
  ASSERT_EQ(velkplot({"f0", f0, "--title=Contour τ", "-o", dir_.path("b.png")}).status, 0);
  const Page a = read_png(dir_.path("a.png")), b = read_png(dir_.path("b.png"));
  ASSERT_EQ(b.width, 589);
  ASSERT_EQ(b.height, 847);
  EXPECT_TRUE(a.pixels == b.pixels);
  // The graph command's frame: 120 x 80 mm at (40, 180) mm, columns 118 to 472.
  EXPECT_EQ(b.count(118, 90, 118, 300, 0), 211);
}

TEST_F(Velkplot, WaveformAboveItsF0ContourOnOnePage) {
  // The README's first command: the sample's log-F0 from the encoder.
  const std::string f0 = dir_.path("deleted.lf0");
  ASSERT_EQ(run_program(VELKCODER_PATH, {kSample, f0, dir_.path("deleted.cc")}, RunSettings()).status, 0);
  const std::string png = dir_.path("fig.png");
  const RunResult r = velkplot({"wave", kSample, "f0", f0, "-o", png});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const Page p = read_png(png);
  ASSERT_EQ(p.width, 589);
  ASSERT_EQ(p.height, 847);
  // Two boxed frames of 80 mm, 16 mm apart: rows 50 to 286 and 334 to 570 at column 118.
  EXPECT_EQ(p.count(118, 60, 118, 280, 0), 221);
  EXPECT_EQ(p.count(118, 340, 118, 565, 0), 226);
  EXPECT_EQ(p.count(118, 295, 118, 325, 0), 0);
  EXPECT_EQ(p.count(0, 620, 588, 846, 0), 0);
  // The waveform fills its frame's middle; the contour is a thin line.
  EXPECT_GT(p.count(140, 100, 460, 240, 0), 5000);
  EXPECT_LT(p.count(140, 340, 460, 560, 0), 3000);
  EXPECT_GT(p.count(140, 340, 460, 560, 0), 200);
}

TEST_F(Velkplot, EnvelopeOfAKnownCepstrum) {
  // Two frames of order 2, stored without range adaptation: c0 = 1 gives 8.69 dB flat, the
  // second frame tilts with c1 = 0.5 from +8.69 dB at 0 Hz to -8.69 dB at 8 kHz.
  const std::string cc = dir_.write("a.cc", float_bytes({1, 0, 0, 0, 0.5f, 0}));
  const RunResult flat = velkplot({"envelope", cc, "--frame=0", "--ccord=2", "--morvscale=0"});
  ASSERT_EQ(flat.status, 0) << flat.err;
  EXPECT_NE(flat.out.find("\n0 8.68589\n0.03125 8.68589\n"), std::string::npos) << flat.out;
  EXPECT_NE(flat.out.find("\n8 8.68589\neod\n"), std::string::npos);
  EXPECT_NE(flat.out.find("xname \"Frequency (kHz)\""), std::string::npos);
  const RunResult tilt = velkplot({"envelope", cc, "--frame=1", "--ccord=2", "--morvscale=0", "--alpha=0"});
  ASSERT_EQ(tilt.status, 0);
  EXPECT_NE(tilt.out.find("\n0 8.68589\n"), std::string::npos);
  EXPECT_NE(tilt.out.find("\n4 "), std::string::npos);
  EXPECT_NE(tilt.out.find("\n8 -8.68589\neod\n"), std::string::npos) << tilt.out;
  // Range-adapted (the encoder's default): c0 - 5 and halved coefficients.
  const std::string adapted = dir_.write("b.cc", float_bytes({6, 0, 0}));
  const RunResult u = velkplot({"envelope", adapted, "--frame=0", "--ccord=2"});
  EXPECT_NE(u.out.find("\n0 8.68589\n"), std::string::npos) << u.out;
}

TEST_F(Velkplot, SpectrogramPicture) {
  const std::string cc = dir_.path("deleted.cc");
  ASSERT_EQ(run_program(VELKCODER_PATH, {kSample, dir_.path("d.lf0"), cc}, RunSettings()).status, 0);
  const std::string png = dir_.path("s.png");
  ASSERT_EQ(velkplot({"spectrogram", cc, "-o", png}).status, 0);
  const Page p = read_png(png);
  // Grey levels inside the frame (118..472 x 80..316).
  int grey = 0;
  for (int y = 85; y < 310; ++y)
    for (int x = 125; x < 465; ++x) grey += p.at(x, y) != 0 && p.at(x, y) != 0xffffff;
  EXPECT_GT(grey, 20000);
  const RunResult r = velkplot({"spectrogram", cc});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "velkplot : The spectrogram panel needs -o picture!\n");
}

TEST_F(Velkplot, EmptyTruncatedAndNonFiniteStreams) {
  const std::string empty = dir_.write("empty.lf0", "");
  RunResult r = velkplot({"f0", empty});
  expect_message_only(r, 1, "velkplot : '" + empty + "' holds no values!\n");

  const std::string missing = dir_.path("missing.lf0");
  r = velkplot({"f0", missing, "-o", dir_.path("m.png")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "velkplot : Cannot read '" + missing + "'!\n");
  EXPECT_FALSE(file_exists(dir_.path("m.png")));

  // Two values and two stray bytes: the values are drawn, the bytes reported.
  const std::string cut = dir_.write("cut.lf0", float_bytes({std::log(100.0f), std::log(150.0f)}) + "xy");
  r = velkplot({"f0", cut});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "velkplot : Warning: '" + cut +
                       "' ends in 2 bytes that make no whole value; they are left out.\n");
  EXPECT_NE(r.out.find("\n0 100\n0.005 150\neod\n"), std::string::npos) << r.out;

  // NaN and infinite frames are gaps; a stream of nothing else has no voiced frames.
  const std::string nan = dir_.write("nan.lf0", float_bytes({NAN, std::log(120.0f), INFINITY, -INFINITY}));
  r = velkplot({"f0", nan});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\n0.005 120\neod\n"), std::string::npos) << r.out;
  const std::string allnan = dir_.write("allnan.lf0", float_bytes({NAN, NAN, NAN}));
  r = velkplot({"f0", allnan, "-o", dir_.path("n.png")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "velkplot : Warning: '" + allnan + "' holds no voiced frames.\n");
  EXPECT_TRUE(file_exists(dir_.path("n.png")));

  // Cepstra: a partial frame is reported, a non-finite frame refused for the envelope and
  // left blank in the spectrogram.
  const std::string cc = dir_.write("a.cc", float_bytes({1, 0, 0, NAN, 0, 0, 1}));
  r = velkplot({"envelope", cc, "--frame=1", "--ccord=2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "velkplot : Warning: '" + cc +
                       "' holds 1 values after its last whole frame of order 2; they are "
                       "left out.\nvelkplot : Frame 1 of '" +
                       cc + "' holds no finite values!\n");
  r = velkplot({"envelope", cc, "--frame=2", "--ccord=2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("velkplot : Frame 2 is beyond the 2 frames of '" + cc + "'!\n"), std::string::npos);
  EXPECT_EQ(velkplot({"spectrogram", cc, "--ccord=2", "-o", dir_.path("s.png")}).status, 0);
  r = velkplot({"envelope", dir_.write("short.cc", float_bytes({1, 2})), "--frame=0", "--ccord=2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("holds 2 values, less than one frame of order 2!"), std::string::npos);
  const RunResult wav = velkplot({"wave", dir_.write("x.wav", "RIFF")});
  EXPECT_EQ(wav.status, 1);
  EXPECT_EQ(wav.err,
            "velkplot : '" + dir_.path("x.wav") + "' is no mono 16 kHz 16-bit WAV file with samples!\n");
}

TEST_F(Velkplot, BadOptionsAndOutputs) {
  const std::string f0 = lf0("a.lf0", {100, 200});
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"f0", f0, "--lframe=8x"}, "velkplot : Invalid value in '--lframe=8x'!\n"},
      {{"f0", f0, "--lframe=0"}, "velkplot : Invalid value in '--lframe=0' (an integer from 1 to 160000)!\n"},
      {{"envelope", f0}, "velkplot : The envelope panel of '" + f0 + "' needs --frame=k!\n"},
      {{"envelope", f0, "--frame=0", "--alpha=1"},
       "velkplot : Invalid value in '--alpha=1' (from -1 to 1, both "
       "excluded)!\n"},
      {{"envelope", f0, "--frame=0", "--morvscale=2"},
       "velkplot : Invalid value in '--morvscale=2' (an integer from 0 to 1)!\n"},
      {{"--hz", "f0", f0}, "velkplot : Option '--hz' comes before any panel!\n"},
      {{"f0", f0, "--colour=red"}, "velkplot : Invalid option '--colour=red'!\n"},
      {{"bars", f0}, "velkplot : Unknown panel 'bars' (f0, wave, envelope or spectrogram)!\n"},
      {{"f0"}, "velkplot : A panel has no file!\n"},
      {{"f0", f0, "f0", f0}, "velkplot : Several panels go on one page only with -o picture!\n"},
      {{"f0", f0, "-o", dir_.path("a.gif")},
       "velkplot : Unknown picture type of '" + dir_.path("a.gif") + "' (use .png, .svg or .pdf)!\n"},
      {{"f0", f0, "--from=1", "--to=0.5"}, "velkplot : The time range is empty!\n"},
      {{"f0", f0, "-o", dir_.path("no/dir/a.png")},
       "velkplot : Cannot write '" + dir_.path("no/dir/a.png") + "': No such file or directory!\n"},
  };
  for (const Case& c : cases) {
    const RunResult r = velkplot(c.args);
    EXPECT_EQ(r.status, 1) << c.err;
    EXPECT_EQ(r.err, c.err);
  }
  EXPECT_FALSE(file_exists(dir_.path("a.gif")));
}

// Pictures go through the viewer's picture files: names up to the system's limit are written,
// and beyond the file-size limit the write fails with a message and leaves no temporary.
TEST_F(Velkplot, LongPictureNamesAndTheFileSizeLimit) {
  const std::string f0 = lf0("a.lf0", {100, 0, 200, 250, 0});
  const std::string svg = std::string(251, 'v') + ".svg";
  const RunResult r = velkplot({"f0", f0, "-o", dir_.path(svg)});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(file_exists(dir_.path(svg)));

  RunSettings how;
  const RunResult big = run_program(
      "/bin/sh", {"-c", "ulimit -f 1; exec \"$0\" f0 \"$1\" -o \"$2\"", kVelkplot, f0, dir_.path("b.pdf")},
      how);
  ASSERT_TRUE(big.exited) << "signal " << big.signal;
  EXPECT_EQ(big.status, 1);
  EXPECT_EQ(big.err, "velkplot : Cannot write '" + dir_.path("b.pdf") + "': File too large!\n");
  EXPECT_FALSE(file_exists(dir_.path("b.pdf")));
  DIR* d = opendir(dir_.dir().c_str());
  ASSERT_NE(d, nullptr);
  int entries = 0;
  while (const dirent* e = readdir(d)) entries += e->d_name[0] == '.' && std::string(e->d_name).size() > 2;
  closedir(d);
  EXPECT_EQ(entries, 0) << "a temporary was left behind";
}

// A description longer than the output buffer that cannot be written is reported, status 1.
TEST_F(Velkplot, AFailedWriteOfTheDescriptionIsReported) {
  const std::string f0 = lf0("long.lf0", std::vector<double>(2000, 120.0));
  const RunResult r = run_program("/bin/sh", {"-c", "exec \"$0\" f0 \"$1\" > /dev/full", kVelkplot, f0});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "velkplot : Cannot write the graph description!\n");
}

}  // namespace
