// The velkplot command: usage, graph descriptions on standard output, pictures of the sizes
// asked for, smooth vector curves, the spectrogram of a chirp, overlays and legends, streams
// and sounds of other rates, and empty, truncated, non-finite and absurd inputs.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <unistd.h>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "childprocess.h"
#include "expectrun.h"
#include "pngpage.h"
#include "testfiles.h"
#include "testsignals.h"

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

std::string file_text(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

int red(uint32_t c) {
  return static_cast<int>(c >> 16 & 0xff);
}
int green(uint32_t c) {
  return static_cast<int>(c >> 8 & 0xff);
}
int blue(uint32_t c) {
  return static_cast<int>(c & 0xff);
}
// A colour, not a grey (the map's colours, not the frame, text or page).
bool coloured(uint32_t c) {
  return std::max({red(c), green(c), blue(c)}) - std::min({red(c), green(c), blue(c)}) > 30;
}
bool overlay_red(uint32_t c) {
  return red(c) > 180 && green(c) < 90 && blue(c) < 90;
}
bool line_blue(uint32_t c) {
  return blue(c) > red(c) + 60 && blue(c) > green(c) + 30;
}
bool dark_grey(uint32_t c) {
  return !coloured(c) && red(c) < 100;
}

// Pixels in the rectangle from (x0, y0) to (x1, y1) for which the test holds.
template <class Test>
int count_if(const Page& p, int x0, int y0, int x1, int y1, Test test) {
  int n = 0;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) n += test(p.at(x, y));
  return n;
}

// The rectangle a level image covers on the page: the coloured run across row y, and the
// first (from row `from` down) and last coloured rows down the middle of that (curves drawn
// over the image may cut it).
struct Rect {
  int left = -1, right = -1, top = -1, bottom = -1;
};
Rect image_rect(const Page& p, int y, int from = 0) {
  Rect r;
  int x = 0;
  while (x < p.width && !coloured(p.at(x, y))) ++x;
  r.left = x;
  while (x < p.width && coloured(p.at(x, y))) ++x;
  r.right = x - 1;
  const int mid = (r.left + r.right) / 2;
  r.top = from;
  while (r.top < y && !coloured(p.at(mid, r.top))) ++r.top;
  r.bottom = p.height - 1;
  while (r.bottom > y && !coloured(p.at(mid, r.bottom))) --r.bottom;
  return r;
}

// 16-bit mono WAV of the samples (+-1 scale) at the rate.
std::string wav_of(const std::vector<double>& x, unsigned rate) {
  std::vector<int16_t> s;
  for (double v : x) s.push_back(static_cast<int16_t>(std::lround(std::max(-1.0, std::min(1.0, v)) * 32767)));
  return wav_bytes(s, 1, rate);
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
  // The usage text is velkplot's own and ends with its last option, not another program's banner.
  const std::string last = "       -h               : print this message \n";
  ASSERT_GE(r.err.size(), last.size());
  EXPECT_EQ(r.err.compare(r.err.size() - last.size(), last.size(), last), 0) << r.err;
  EXPECT_EQ(r.err.find("ZEVK"), std::string::npos) << r.err;
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

TEST_F(Velkplot, TheGraphDescriptionKeepsThePlotterPage) {
  // Without -o the description goes through graph and plotview onto their portrait page.
  const RunResult d = velkplot({"f0", lf0("a.lf0", {100, 0, 200, 250, 0, 180, 170}), "--title=Contour τ"});
  ASSERT_EQ(d.status, 0);
  const RunResult stream = run_with_input(GRAPH_PATH, {"-t", "1"}, d.out);
  ASSERT_EQ(stream.status, 0);
  ASSERT_EQ(run_with_input(PLOTVIEW_PATH, {"-o", dir_.path("a.png")}, stream.out).status, 0);
  const Page a = read_png(dir_.path("a.png"));
  EXPECT_EQ(a.width, 589);
  EXPECT_EQ(a.height, 847);
  // The graph command's frame: 120 x 80 mm at (40, 180) mm, its left side at column 118.
  EXPECT_EQ(a.count(118, 90, 118, 300, 0), 211);
}

TEST_F(Velkplot, PicturesHaveTheSizeAskedFor) {
  // -o draws through cairo: 7 x 4 inches at 150 dpi for one panel, 1.2 + 2.4 inches a panel
  // tall for several; --size in inches or pixels, --dpi scaling the pixels.
  const std::string f0 = lf0("a.lf0", {100, 0, 200, 250, 0, 180, 170});
  struct Case {
    std::vector<std::string> args;
    int width, height;
  };
  const std::vector<Case> cases = {
      {{"f0", f0}, 1050, 600},
      {{"f0", f0, "f0", f0}, 1050, 900},
      {{"f0", f0, "--size=6x4", "--dpi=100"}, 600, 400},
      {{"--dpi=300", "f0", f0, "--size=2.5x1.5"}, 750, 450},
      {{"f0", f0, "--size=640x480px"}, 640, 480},
      {{"f0", f0, "--size=640x480px", "--dpi=300"}, 640, 480},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-o", dir_.path("s.png")});
    const RunResult r = velkplot(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const Page p = read_png(dir_.path("s.png"));
    EXPECT_EQ(p.width, c.width) << c.args.back();
    EXPECT_EQ(p.height, c.height) << c.args.back();
  }
  // At a higher dpi the same page in inches holds the same layout in more pixels: text and
  // lines grow with it (the dark pixels of the labels about four times as many).
  ASSERT_EQ(velkplot({"f0", f0, "--size=4x3", "--dpi=100", "-o", dir_.path("a.png")}).status, 0);
  ASSERT_EQ(velkplot({"f0", f0, "--size=4x3", "--dpi=200", "-o", dir_.path("b.png")}).status, 0);
  const Page a = read_png(dir_.path("a.png")), b = read_png(dir_.path("b.png"));
  const int da = count_if(a, 0, 0, a.width - 1, a.height - 1, dark_grey);
  const int db = count_if(b, 0, 0, b.width - 1, b.height - 1, dark_grey);
  EXPECT_GT(db, 3 * da);
  EXPECT_LT(db, 5 * da);
  // SVG and PDF pages in points.
  ASSERT_EQ(velkplot({"f0", f0, "-o", dir_.path("a.svg")}).status, 0);
  EXPECT_NE(file_text(dir_.path("a.svg")).find("width=\"504pt\" height=\"288pt\""), std::string::npos);
  ASSERT_EQ(velkplot({"f0", f0, "--size=5x3", "-o", dir_.path("a.pdf")}).status, 0);
  const std::string pdf = file_text(dir_.path("a.pdf"));
  EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
  EXPECT_NE(pdf.find("/MediaBox [ 0 0 360 216 ]"), std::string::npos);
}

TEST_F(Velkplot, VectorCurvesKeepFractionalCoordinates) {
  // A slow sinusoidal contour: the SVG's paths hold coordinates between whole points.
  std::vector<double> hz;
  for (int k = 0; k < 300; ++k) hz.push_back(150 + 30 * std::sin(k / 40.0));
  ASSERT_EQ(velkplot({"f0", lf0("s.lf0", hz), "-o", dir_.path("s.svg")}).status, 0);
  const std::string svg = file_text(dir_.path("s.svg"));
  // The numbers of every path's d attribute, scanned by hand: std::regex recurses per character
  // and overflows the stack on long paths in the sanitizer build.
  int whole = 0, fractional = 0;
  for (size_t at = svg.find("<path"); at != std::string::npos; at = svg.find("<path", at + 1)) {
    const size_t d = svg.find(" d=\"", at), tag_end = svg.find('>', at);
    if (d == std::string::npos || d > tag_end) continue;
    const size_t end = svg.find('"', d + 4);
    const std::string values = svg.substr(d + 4, end - d - 4);
    for (size_t i = 0; i < values.size();) {
      const char c = values[i];
      if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.')) {
        ++i;
        continue;
      }
      size_t used = 0;
      const double v = std::stod(values.substr(i), &used);
      (std::fabs(v - std::round(v)) > 1e-3 ? fractional : whole) += 1;
      i += used;
    }
  }
  // The curve alone has 600 coordinates, nearly all fractional.
  EXPECT_GT(fractional, 500);
  EXPECT_GT(fractional, whole);
}

TEST_F(Velkplot, WaveformAboveItsSpectrogramWithTheF0Contour) {
  // The README's first picture: the sample's log-F0 from the encoder over its spectrogram.
  const std::string f0 = dir_.path("deleted.lf0");
  ASSERT_EQ(run_program(VELKCODER_PATH, {kSample, f0, dir_.path("deleted.cc")}, RunSettings()).status, 0);
  const std::string png = dir_.path("fig.png");
  const RunResult r = velkplot({"wave", kSample, "spectrogram", kSample, "--f0=" + f0, "-o", png});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const Page p = read_png(png);
  ASSERT_EQ(p.width, 1050);
  ASSERT_EQ(p.height, 900);
  // The waveform's blue fills the upper half's middle; the lower half is the spectrogram,
  // with the contour in red across it and its colour bar at the right.
  EXPECT_GT(count_if(p, 0, 0, 1049, 449, line_blue), 20000);
  EXPECT_EQ(count_if(p, 0, 0, 1049, 449,
                     [](uint32_t c) { return red(c) > 150 && green(c) > 200 && blue(c) < 120; }),
            0);
  const Rect im = image_rect(p, 800, 450);
  EXPECT_LT(im.left, 200);
  EXPECT_GT(im.right, 700);
  EXPECT_GT(im.top, 450);
  EXPECT_GT(count_if(p, im.left, im.top, im.right, im.bottom, overlay_red), 2000);
  EXPECT_GT(count_if(p, im.right + 100, im.top, 1049, im.bottom, coloured), 1000);  // colour bar
}

TEST_F(Velkplot, ChirpLiesOnItsLineAtTheFilesOwnRate) {
  // One second of a linear chirp from 1 to 9 kHz at 22.05 kHz: 0 to 11.025 kHz up the panel.
  const unsigned rate = 22050;
  std::vector<double> x(rate);
  for (size_t i = 0; i < x.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    x[i] = 0.5 * std::sin(2 * M_PI * (1000 * t + 4000 * t * t));
  }
  const std::string wav = dir_.write("chirp.wav", wav_of(x, rate));
  const double end = (rate - 1.0) / rate;
  for (const std::string picture : {"c.png", "g.png"}) {
    std::vector<std::string> args = {"spectrogram", wav, "--size=8x4", "--dpi=100", "-o", dir_.path(picture)};
    if (picture == "g.png") args.push_back("--grey");
    const RunResult r = velkplot(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const Page p = read_png(dir_.path(picture));
    ASSERT_EQ(p.width, 800);
    if (picture == "g.png") {
      // Grey levels only: no colour inside the panel.
      EXPECT_EQ(count_if(p, 0, 0, 600, 399, coloured), 0);
      continue;
    }
    const Rect im = image_rect(p, 200);
    ASSERT_GT(im.right - im.left, 500);
    ASSERT_GT(im.bottom - im.top, 250);
    for (double t = 0.1; t < 0.95; t += 0.05) {
      const double f = 1000 + 8000 * t;
      const int col = static_cast<int>(std::lround(im.left + t / end * (im.right - im.left)));
      const int row = static_cast<int>(std::lround(im.bottom - f / 11025 * (im.bottom - im.top)));
      // Loud (yellow-green) on the line, the quietest violet a quarter of the panel away.
      int brightest = 0;
      for (int y = row - 2; y <= row + 2; ++y) brightest = std::max(brightest, green(p.at(col, y)));
      EXPECT_GT(brightest, 180) << t;
      const int away = row + (f > 5000 ? 1 : -1) * (im.bottom - im.top) / 4;
      EXPECT_LT(green(p.at(col, away)), 40) << t;
    }
  }
}

TEST_F(Velkplot, ContoursWithALegendAndTheF0OverlayOnEitherAxis) {
  const std::string a = lf0("a.lf0", std::vector<double>(100, 120)),
                    b = lf0("b.lf0", std::vector<double>(100, 180));
  // Without labels no legend; with them a framed legend in the panel's upper right corner.
  ASSERT_EQ(velkplot({"f0", a, b, "--size=6x4", "--dpi=100", "-o", dir_.path("n.png")}).status, 0);
  const RunResult r = velkplot({"f0", a, b, "--label=original", "--label=modified", "--size=6x4", "--dpi=100",
                                "-o", dir_.path("l.png")});
  ASSERT_EQ(r.status, 0) << r.err;
  const Page n = read_png(dir_.path("n.png")), l = read_png(dir_.path("l.png"));
  // The two contours at 120 and 180 Hz on an axis of 120..180 Hz, blue and red.
  EXPECT_GT(count_if(n, 0, 0, 599, 399, line_blue), 300);
  EXPECT_GT(count_if(n, 0, 0, 599, 399, [](uint32_t c) { return red(c) > 180 && green(c) < 100; }), 300);
  const int text_without = count_if(n, 350, 40, 590, 150, dark_grey);
  const int text_with = count_if(l, 350, 40, 590, 150, dark_grey);
  EXPECT_GT(text_with, text_without + 100);
  // The graph description carries both curves and says the labels are left out.
  const RunResult d = velkplot({"f0", a, b, "--label=original", "--label=modified"});
  ASSERT_EQ(d.status, 0);
  EXPECT_NE(d.out.find("\n0 120\n"), std::string::npos);
  EXPECT_NE(d.out.find("\n0 180\n"), std::string::npos);
  EXPECT_EQ(
      d.err,
      "velkplot : Warning: the graph description has no legend; the labels are left out (draw with -o).\n");
  EXPECT_EQ(
      velkplot({"f0", a, b}).err,
      "velkplot : Warning: the graph description draws its 2 curves alike (draw with -o for colours).\n");

  // A steady 250 Hz voice with its contour: on the spectrogram's own axis up to 1 kHz the red
  // line lies a quarter up; on its own right axis (around 250 Hz) in the middle.
  std::vector<double> voice(16000);
  for (size_t i = 0; i < voice.size(); ++i)
    for (int k = 1; k <= 10; ++k) voice[i] += 0.1 / k * std::sin(2 * M_PI * 250 * k * i / 16000.0);
  const std::string wav = dir_.write("v.wav", wav_of(voice, 16000));
  const std::string f0 = lf0("v.lf0", std::vector<double>(200, 250));
  for (const std::string axis : {"frequency", "right"}) {
    const std::string png = dir_.path(axis + ".png");
    const RunResult s = velkplot({"spectrogram", wav, "--f0=" + f0, "--f0axis=" + axis, "--fmax=1000",
                                  "--label=F0", "--size=8x4", "--dpi=100", "-o", png});
    ASSERT_EQ(s.status, 0) << s.err;
    const Page p = read_png(png);
    const Rect im = image_rect(p, 200);
    ASSERT_GT(im.bottom - im.top, 200);
    const double up = axis == "frequency" ? 0.25 : 0.5;
    const int row = static_cast<int>(std::lround(im.bottom - up * (im.bottom - im.top)));
    int on_line = 0;
    for (int x = im.left + 20; x < im.left + 200; x += 10) {
      bool red_here = false;
      for (int y = row - 3; y <= row + 3; ++y) red_here = red_here || overlay_red(p.at(x, y));
      on_line += red_here;
    }
    EXPECT_EQ(on_line, 18) << axis;
  }
}

TEST_F(Velkplot, EnvelopeLevelsAreTheHarmonicsDensity) {
  // Ten harmonics of 250 Hz of amplitudes 0.15 / k: the envelope passes through
  // 20 log10(a_k / (2 sqrt(f0))) dB re FS^2/Hz at each harmonic (every 8th point of 257).
  std::vector<double> x(16000);
  for (size_t i = 0; i < x.size(); ++i)
    for (int k = 1; k <= 10; ++k) x[i] += 0.15 / k * std::sin(2 * M_PI * 250 * k * i / 16000.0 + k);
  const std::string wav = dir_.write("h.wav", wav_of(x, 16000));
  ASSERT_EQ(run_program(VELKCODER_PATH, {wav, dir_.path("h.lf0"), dir_.path("h.cc")}, RunSettings()).status,
            0);
  const RunResult r = velkplot({"envelope", dir_.path("h.cc"), "--frame=100"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("yname \"Power density (dB re FS\u00b2/Hz)\""), std::string::npos);
  std::istringstream lines(r.out);
  std::string line;
  std::vector<double> db;
  while (std::getline(lines, line)) {
    double f, v;
    if (std::sscanf(line.c_str(), "%lf %lf", &f, &v) == 2 &&
        line.find_first_not_of("0123456789.- e") == std::string::npos)
      db.push_back(v);
  }
  ASSERT_EQ(db.size(), 257u);
  for (int k = 1; k <= 8; ++k)
    EXPECT_NEAR(db[8 * k], 20 * std::log10(0.15 / k / (2 * std::sqrt(250.0))), 2.0) << k;
  // Behind it, the frame's short-time spectrum: a second, light curve in the picture.
  const RunResult s =
      velkplot({"envelope", dir_.path("h.cc"), "--frame=100", "--spectrum=" + wav, "-o", dir_.path("e.png")});
  EXPECT_EQ(s.status, 0) << s.err;
  const RunResult far = velkplot({"envelope", dir_.path("h.cc"), "--frame=100", "--spectrum=" + kSample});
  EXPECT_EQ(far.status, 0);
  const std::string shorter =
      dir_.write("short.wav", wav_of(std::vector<double>(x.begin(), x.begin() + 4000), 16000));
  const RunResult beyond = velkplot({"envelope", dir_.path("h.cc"), "--frame=100", "--spectrum=" + shorter});
  EXPECT_EQ(beyond.status, 1);
  EXPECT_EQ(beyond.err, "velkplot : Frame 100 (0.5 s) is beyond the end of '" + shorter + "'!\n");
}

TEST_F(Velkplot, StreamsAndSoundsOfOtherRates) {
  // --fs sets a stream's rate and its default frame shift (5 ms: 110 samples at 22.05 kHz).
  const std::string f0 = lf0("a.lf0", {0, 120, 130});
  RunResult r = velkplot({"f0", f0, "--fs=22050"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n0.004988662 120\n0.009977324 130\neod\n"), std::string::npos) << r.out;
  r = velkplot({"f0", f0, "--fs=44100", "--lframe=441"});
  EXPECT_NE(r.out.find("\n0.01 120\n0.02 130\neod\n"), std::string::npos) << r.out;
  // The envelope reaches half the rate.
  const std::string cc = dir_.write("a.cc", float_bytes({1, 0, 0}));
  r = velkplot({"envelope", cc, "--frame=0", "--ccord=2", "--morvscale=0", "--fs=48000"});
  EXPECT_NE(r.out.find("\n24 8.68589\neod\n"), std::string::npos) << r.out;
  // A WAV says its own rate; a stream beside it read at 16 kHz is pointed out.
  const std::string wav = dir_.write("w.wav", wav_of(std::vector<double>(2205, 0.1), 22050));
  const std::string png = dir_.path("w.png");
  r = velkplot({"wave", wav, "f0", f0, "-o", png});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "velkplot : Warning: '" + f0 + "' is read at 16000 Hz while '" + wav +
                       "' is at 22050 Hz (give the stream's rate with --fs).\n");
  r = velkplot({"wave", wav, "f0", f0, "--fs=22050", "-o", png});
  EXPECT_EQ(r.err, "");
  // A window beyond 16384 samples is refused before anything is written.
  r = velkplot({"spectrogram", wav, "--window=1000", "-o", dir_.path("long.png")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(
      r.err,
      "velkplot : A window of 1000 ms is 22050 samples at 22050 Hz, more than 16384 (shorten --window)!\n");
  EXPECT_FALSE(file_exists(dir_.path("long.png")));
  r = velkplot({"wave", wav, "--fs=22050"});
  EXPECT_EQ(r.err, "velkplot : Warning: --fs is left out for the sound file '" + wav +
                       "', which says its own rate.\n");
}

// A set with its settings record: the envelope and the contour take rate, frame shift, order and
// warping from it, exactly as the right options would give them; options that contradict it and
// sound files given as streams are refused.
TEST_F(Velkplot, StreamsWithASettingsRecord) {
  const std::string wav = dir_.write("k44.wav", wav_bytes(harmonic_voice(44100, 0.3, 150.0), 1, 44100));
  const std::string f0 = dir_.path("k44.lf0"), cc = dir_.path("k44.cc");
  ASSERT_EQ(run_program(VELKCODER_PATH, {wav, f0, cc}, RunSettings()).status, 0);
  const std::string bare = dir_.write("bare.cc", file_text(cc));
  RunResult r = velkplot({"envelope", cc, "--frame=20"});
  ASSERT_EQ(r.status, 0) << r.err;
  const RunResult told =
      velkplot({"envelope", bare, "--frame=20", "--fs=44100", "--ccord=49", "--alpha=0.57", "--morvscale=1"});
  ASSERT_EQ(told.status, 0) << told.err;
  EXPECT_EQ(r.out, told.out);
  EXPECT_NE(r.out.find("\n22.05 "), std::string::npos);
  r = velkplot({"f0", f0});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n0.004988662 "), std::string::npos) << r.out;  // frame 1 at 220 / 44100 s
  r = velkplot({"envelope", cc, "--frame=20", "--ccord=39"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "velkplot : --ccord=39 contradicts '" + f0 + ".json', which gives ccord 49!\n");
  r = velkplot({"f0", f0, "--fs=16000"});
  EXPECT_EQ(r.err, "velkplot : --fs=16000 contradicts '" + f0 + ".json', which gives fs 44100!\n");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"f0", wav}, {"envelope", wav, "--frame=0"}}) {
    r = velkplot(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
              "velkplot : '" + wav + "' is a sound file, not a parameter stream!");
  }
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

TEST_F(Velkplot, SpectrogramOfCepstraWithItsColourBar) {
  const std::string cc = dir_.path("deleted.cc");
  ASSERT_EQ(run_program(VELKCODER_PATH, {kSample, dir_.path("d.lf0"), cc}, RunSettings()).status, 0);
  const std::string png = dir_.path("s.png");
  ASSERT_EQ(velkplot({"spectrogram", cc, "--size=8x4", "--dpi=100", "-o", png}).status, 0);
  const Page p = read_png(png);
  const Rect im = image_rect(p, 200);
  EXPECT_GT(im.right - im.left, 500);
  EXPECT_GT(im.bottom - im.top, 250);
  // Every colour of the map inside, from violet to yellow, and the colour bar right of it.
  EXPECT_GT(count_if(p, im.left, im.top, im.right, im.bottom, [](uint32_t c) { return green(c) > 200; }),
            100);
  EXPECT_GT(count_if(p, im.left, im.top, im.right, im.bottom, [](uint32_t c) { return green(c) < 40; }),
            1000);
  EXPECT_GT(count_if(p, im.right + 5, im.top, 799, im.bottom, coloured), 1000);
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
  // Sound files: unreadable and empty ones are refused with the reader's reason; NaN samples
  // of a float WAV are gaps in the waveform and blank columns in the spectrogram.
  RunResult wav = velkplot({"wave", dir_.write("x.wav", "RIFF")});
  EXPECT_EQ(wav.status, 1);
  EXPECT_EQ(wav.err, "velkplot : '" + dir_.path("x.wav") +
                         "' cannot be read: not a sound file (RIFF/WAVE header missing)!\n");
  wav = velkplot({"spectrogram", dir_.write("e.wav", wav_header(1, 22050, 16, 0)), "-o", dir_.path("e.png")});
  EXPECT_EQ(wav.status, 1);
  EXPECT_EQ(wav.err, "velkplot : '" + dir_.path("e.wav") + "' cannot be read: empty data chunk!\n");
  EXPECT_FALSE(file_exists(dir_.path("e.png")));
  std::vector<double> samples(8000);
  for (int i = 0; i < 8000; ++i) samples[i] = i >= 3000 && i < 4000 ? NAN : 0.3 * std::sin(i * 0.2);
  const std::string nanwav = dir_.write("nan.wav", float_wav(samples, 32, 8000));
  const std::string png = dir_.path("nan.png");
  wav = velkplot({"wave", nanwav, "spectrogram", nanwav, "--size=8x6", "--dpi=100", "-o", png});
  ASSERT_EQ(wav.status, 0) << wav.err;
  const Page p = read_png(png);
  // 0.375 to 0.5 s of 1 s: the spectrogram's blank columns (25 ms windows reach further) end
  // its first coloured run; the waveform has no line there.
  const Rect im = image_rect(p, 450, 300);
  int next = im.right + 1;
  while (next < p.width && !coloured(p.at(next, 450))) ++next;
  const double plot = 625;  // the plot's width in pixels, about
  EXPECT_NEAR((im.right - im.left) / plot, 0.36, 0.03);
  EXPECT_NEAR((next - im.left) / plot, 0.515, 0.03);
  EXPECT_EQ(count_if(p, im.right + 1, im.top + 5, next - 1, im.bottom - 5, coloured), 0);
  const int gap = (im.right + next) / 2;
  EXPECT_GT(count_if(p, gap - 100, im.top + 5, gap - 100, im.bottom - 5, coloured), 100);
  EXPECT_EQ(count_if(p, gap, 20, gap, 250, line_blue), 0);
  EXPECT_GT(count_if(p, gap - 100, 20, gap - 100, 250, line_blue), 20);
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
      {{"f0", f0, "--size=0x0", "-o", dir_.path("a.png")},
       "velkplot : Invalid value in '--size=0x0' (each side from 1 to 200 inches)!\n"},
      {{"f0", f0, "--size=7", "-o", dir_.path("a.png")},
       "velkplot : Invalid value in '--size=7' (width x height, as 7x4 or 1200x800px)!\n"},
      {{"f0", f0, "--size=10x8000px", "-o", dir_.path("a.png")},
       "velkplot : Invalid value in '--size=10x8000px' (each side from 16 to 100000 pixels)!\n"},
      {{"f0", f0, "--dpi=100000", "-o", dir_.path("a.png")},
       "velkplot : Invalid value in '--dpi=100000' (from 10 to 2400)!\n"},
      {{"f0", f0, "--size=100x80", "--dpi=300", "-o", dir_.path("a.png")},
       "velkplot : A page of 30000 x 24000 pixels is beyond the limit of 100 megapixels (reduce --size or "
       "--dpi)!\n"},
      {{"f0", f0, "--size=40000x100px", "-o", dir_.path("a.png")},
       "velkplot : A page of 40000 x 100 pixels is beyond the limit of 32767 pixels a side (reduce --size or "
       "--dpi)!\n"},
      {{"f0", f0, "f0", f0, "f0", f0, "--size=3x1", "-o", dir_.path("a.png")},
       "velkplot : A page of 3 x 1 inches is too small for 3 panels at 10 pt (enlarge --size or lower "
       "--fontsize)!\n"},
      {{"spectrogram", f0, "--range=5", "-o", dir_.path("a.png")},
       "velkplot : Invalid value in '--range=5' (from 10 to 200)!\n"},
      {{"f0", f0, "--fs=100"}, "velkplot : Invalid value in '--fs=100' (from 1000 to 384000)!\n"},
      {{"spectrogram", f0, "--window=0.5"}, "velkplot : Invalid value in '--window=0.5' (from 1 to 1000)!\n"},
      {{"spectrogram", f0, "--hop=0.05"}, "velkplot : Invalid value in '--hop=0.05' (from 0.1 to 1000)!\n"},
      {{"spectrogram", f0, "--fmax=50"}, "velkplot : Invalid value in '--fmax=50' (from 100 to 192000)!\n"},
      {{"envelope", f0, "--frame=1.5"},
       "velkplot : Invalid value in '--frame=1.5' (an integer from 0 to 2147483647)!\n"},
      {{"envelope", f0, "--frame=0", "--ccord=1001"},
       "velkplot : Invalid value in '--ccord=1001' (an integer from 1 to 1000)!\n"},
      {{"spectrogram", f0, "--f0axis=left"},
       "velkplot : Invalid value in '--f0axis=left' (right or frequency)!\n"},
      {{"f0", f0, "--f0=" + f0}, "velkplot : Option '--f0=" + f0 + "' does not apply to the f0 panel!\n"},
      {{"f0", f0, "--spectrum=a.wav"},
       "velkplot : Option '--spectrum=a.wav' does not apply to the f0 panel!\n"},
      {{"wave", f0, "--hz"}, "velkplot : Option '--hz' does not apply to the wave panel!\n"},
      {{"envelope", f0, "--frame=0", "--grey"},
       "velkplot : Option '--grey' does not apply to the envelope panel!\n"},
      {{"f0", f0, "--window=30"}, "velkplot : Option '--window=30' does not apply to the f0 panel!\n"},
      {{"f0", f0, "--hz=1"}, "velkplot : Invalid option '--hz=1'!\n"},
      {{"f0", f0, "--label=a", "--label=b"}, "velkplot : The f0 panel has 2 labels for 1 files!\n"},
      {{"wave", f0, f0}, "velkplot : The wave panel takes one file, not 2!\n"},
      {{"--grey", "f0", f0}, "velkplot : Option '--grey' comes before any panel!\n"},
  };
  for (const Case& c : cases) {
    const RunResult r = velkplot(c.args);
    EXPECT_EQ(r.status, 1) << c.err;
    EXPECT_EQ(r.err, c.err);
  }
  EXPECT_FALSE(file_exists(dir_.path("a.gif")));
  EXPECT_FALSE(file_exists(dir_.path("a.png")));
  // Options of the figure have no place in a graph description: each is named on stderr.
  const RunResult d = velkplot({"f0", f0, "--size=6x4", "--figtitle=T"});
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.err,
            "velkplot : Warning: the graph description has no page; '--size=6x4' is left out.\n"
            "velkplot : Warning: the graph description has no page; '--figtitle=T' is left out.\n");
}

TEST_F(Velkplot, TheReadmeCommandsMakeItsPictures) {
  // The Figures section's commands, run as on a fresh clone (build/, samples/, out/ side by
  // side, no display) after the README's first command.
  const std::string readme = file_text(std::string(SOURCE_DIR) + "/README.md");
  const size_t section = readme.find("\n## Figures\n");
  ASSERT_NE(section, std::string::npos);
  std::string script = "set -e\nmkdir -p out\n" + std::string(VELKCODER_PATH) +
                       " samples/en_vm-deleted.wav out/deleted.lf0 out/deleted.cc out/deleted.fv\n";
  std::istringstream lines(readme.substr(section));
  std::string line;
  bool block = false;
  int commands = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("    ", 0) == 0) {
      script += line.substr(4) + "\n";
      block = true;
      ++commands;
    } else if (block) {
      break;
    }
  }
  EXPECT_EQ(commands, 4);
  const std::string root = dir_.path("clone");
  ASSERT_EQ(run_program("/bin/mkdir", {"-p", root}, RunSettings()).status, 0);
  ASSERT_EQ(symlink(BINARY_DIR, (root + "/build").c_str()), 0);
  ASSERT_EQ(symlink((std::string(SOURCE_DIR) + "/samples").c_str(), (root + "/samples").c_str()), 0);
  const RunResult r = run_program("/bin/sh", {"-c", "cd '" + root + "' && " + script}, RunSettings());
  ASSERT_EQ(r.status, 0) << r.err;
  for (const std::string name : {"deleted-wave-sonogram", "deleted-f0-shifted", "deleted-envelope"}) {
    const Page p = read_png(root + "/out/" + name + ".png");
    const Page committed = read_png(std::string(SOURCE_DIR) + "/docs/" + name + ".png");
    EXPECT_EQ(p.width, 1050) << name;
    EXPECT_EQ(p.width, committed.width) << name;
    EXPECT_EQ(p.height, committed.height) << name;
  }
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

namespace {

// A picture named through a symbolic link replaces the file the link leads to, as the vocoder's
// outputs do, and the link stays; a write-protected picture is refused and kept.
TEST_F(Velkplot, PicturesAreWrittenThroughLinksAndNotOverWriteProtection) {
  const std::string f0 = lf0("a.lf0", {100, 200, 150});
  const std::string target = dir_.write("target.png", "old");
  ASSERT_EQ(symlink("target.png", dir_.path("link.png").c_str()), 0);
  const RunResult r = velkplot({"f0", f0, "-o", dir_.path("link.png")});
  ASSERT_EQ(r.status, 0) << r.err;
  struct stat st;
  ASSERT_EQ(lstat(dir_.path("link.png").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(file_contents(target).substr(1, 3), "PNG");
  ASSERT_EQ(velkplot({"f0", f0, "-o", dir_.path("direct.png")}).status, 0);
  EXPECT_EQ(file_contents(target), file_contents(dir_.path("direct.png")));

  ASSERT_EQ(chmod(target.c_str(), 0444), 0);
  const std::string picture = file_contents(target);
  const RunResult refused = velkplot({"f0", f0, "-o", dir_.path("link.png")});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "velkplot : Cannot write '" + dir_.path("link.png") + "': Permission denied!\n");
  EXPECT_EQ(file_contents(target), picture);
}

}  // namespace
