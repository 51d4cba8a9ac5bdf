// The panels of velkplot read from their files and built: streams at the default settings with
// the times they span, partial values and frames reported, files refused with the program's
// words, the rate warning, and built panels against the stream values they were read from.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "figurepanels.h"
#include "testfiles.h"

using namespace velk;

namespace {

// Writes the values as little-endian 32-bit floats, then `extra` stray bytes.
std::string write_floats(const std::string& name, const std::vector<float>& values, int extra = 0) {
  const std::string path = testfile(name);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  if (f == nullptr) return path;
  if (!values.empty()) std::fwrite(values.data(), sizeof(float), values.size(), f);
  for (int k = 0; k < extra; ++k) std::fputc(0, f);
  std::fclose(f);
  return path;
}

panelsource panel_of(panelkind kind, const std::vector<std::string>& files) {
  panelsource p;
  p.kind = kind;
  p.files = files;
  return p;
}

TEST(PanelLoad, StreamsTakeTheDefaultRateAndFrameShiftAndSpanTheirLastFrame) {
  const std::vector<float> lf0 = {std::log(100.0f), -1e10f, std::log(200.0f), std::log(150.0f)};
  const std::string a = write_floats("a.lf0", lf0), b = write_floats("b.lf0", {std::log(120.0f)});
  panelsource p = panel_of(panelkind::f0, {a, b});
  panelreport r;
  ASSERT_EQ(loadpanel(&p, &r), 0) << r.failure;
  EXPECT_TRUE(r.warnings.empty());
  EXPECT_EQ(p.rate, 16000.0);
  EXPECT_EQ(p.lframe, 80);
  ASSERT_EQ(p.values.size(), 2u);
  ASSERT_EQ(p.values[0].size(), 4u);
  EXPECT_EQ(p.values[0][2], static_cast<double>(lf0[2]));
  EXPECT_DOUBLE_EQ(p.end, 3 * 80 / 16000.0) << "the longer stream's last frame";

  // At another rate the frame shift is 5 ms in whole samples, halves down.
  panelsource q = panel_of(panelkind::f0, {a});
  q.fs = 22050;
  ASSERT_EQ(loadpanel(&q, &r), 0) << r.failure;
  EXPECT_EQ(q.lframe, 110);
  EXPECT_DOUBLE_EQ(q.end, 3 * 110 / 22050.0);
}

TEST(PanelLoad, PartialValuesAndFramesAreLeftOutWithAWarning) {
  const std::string f = write_floats("part.lf0", {1, 2, 3}, 2);
  panelsource p = panel_of(panelkind::f0, {f});
  panelreport r;
  ASSERT_EQ(loadpanel(&p, &r), 0) << r.failure;
  EXPECT_EQ(p.values[0].size(), 3u);
  EXPECT_EQ(r.warnings, std::vector<std::string>{
                            "'" + f + "' ends in 2 bytes that make no whole value; they are left out"});

  // A spectrogram of cepstra of order 2: frames of 3 values, the 2 after the last one left out.
  const std::string cc = write_floats("s.cc", {1, 0, 0, 1, 0, 0, 5, 5});
  panelsource s = panel_of(panelkind::spectrogram, {cc});
  s.ccord = 2;
  panelreport rs;
  ASSERT_EQ(loadpanel(&s, &rs), 0) << rs.failure;
  EXPECT_DOUBLE_EQ(s.end, 80 / 16000.0);
  EXPECT_EQ(rs.warnings, std::vector<std::string>{"'" + cc +
                                                  "' holds 2 values after its last whole frame of order 2; "
                                                  "they are left out"});
}

TEST(PanelLoad, FilesThatCannotServeAreRefusedInTheProgramsWords) {
  const std::string missing = testfile("missing.lf0"), empty = write_floats("empty.lf0", {});
  const std::string sound = testfile("sound.lf0");
  std::FILE* f = std::fopen(sound.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite("RIFF\x24\x00\x00\x00WAVEfmt ", 1, 16, f);
  std::fclose(f);
  const struct {
    std::string file;
    std::string failure;
  } cases[] = {
      {missing, "Cannot read '" + missing + "'"},
      {testdirpath(), "Cannot read '" + testdirpath() + "'"},
      {empty, "'" + empty + "' holds no values"},
      {sound, "'" + sound + "' is a sound file, not a parameter stream"},
  };
  for (const auto& c : cases) {
    panelsource p = panel_of(panelkind::f0, {c.file});
    panelreport r;
    EXPECT_EQ(loadpanel(&p, &r), -1) << c.file;
    EXPECT_EQ(r.failure, c.failure);
  }
  // Cepstra shorter than one frame: refused when the spectrogram needs its frames.
  const std::string shortcc = write_floats("short.cc", {1, 2});
  panelsource s = panel_of(panelkind::spectrogram, {shortcc});
  s.ccord = 2;
  panelreport r;
  EXPECT_EQ(loadpanel(&s, &r), -1);
  EXPECT_EQ(r.failure, "'" + shortcc + "' holds 2 values, less than one frame of order 2");
}

TEST(PanelLoad, StreamsAtTheDefaultRateBesideASoundOfAnotherRateAreQuestioned) {
  panelsource sound = panel_of(panelkind::wave, {"w.wav"});
  sound.sound = true;
  sound.rate = 22050;
  panelsource stream = panel_of(panelkind::f0, {"a.lf0"});
  panelsource given = panel_of(panelkind::f0, {"b.lf0"});
  given.fs = 16000;
  panelreport r;
  checkrates({sound, stream, given}, &r);
  EXPECT_EQ(r.warnings, std::vector<std::string>{"'a.lf0' is read at 16000 Hz while 'w.wav' is at 22050 Hz "
                                                 "(give the stream's rate with --fs)"});
  sound.rate = 16000;
  panelreport quiet;
  checkrates({sound, stream}, &quiet);
  EXPECT_TRUE(quiet.warnings.empty());
}

TEST(PanelBuild, ContoursAreTheStreamsInHertzWithTheirLabelsAndTheTimeAxisNamed) {
  const std::string a = write_floats("c.lf0", {std::log(100.0f), -1e10f, std::log(200.0f)});
  panelsource p = panel_of(panelkind::f0, {a});
  p.labels = {"speaker"};
  panelreport r;
  ASSERT_EQ(loadpanel(&p, &r), 0) << r.failure;
  figurepanel f;
  const plotaxis time{0.0, 0.01, 0.005, 3};
  ASSERT_EQ(buildpanel(p, time, true, true, &f, &r), 0) << r.failure;
  ASSERT_EQ(f.curves.size(), 1u);
  EXPECT_EQ(f.curves[0].label, "speaker");
  ASSERT_EQ(f.curves[0].ys.size(), 3u);
  EXPECT_NEAR(f.curves[0].ys[0], 100.0, 1e-4);
  EXPECT_TRUE(std::isnan(f.curves[0].ys[1]));
  EXPECT_NEAR(f.curves[0].ys[2], 200.0, 1e-4);
  EXPECT_EQ(f.xname, "Time (s)");
  EXPECT_EQ(f.yname, "F0 (Hz)");
  EXPECT_LE(f.y.min, 100.0);
  EXPECT_GE(f.y.max, 200.0);

  figurepanel inner;
  p.text.yname = "Pitch";
  ASSERT_EQ(buildpanel(p, time, false, true, &inner, &r), 0);
  EXPECT_EQ(inner.xname, "") << "only the last time panel names the time axis";
  EXPECT_EQ(inner.yname, "Pitch");
  EXPECT_TRUE(r.warnings.empty());
}

TEST(PanelBuild, AFrameBeyondTheCepstraIsRefused) {
  const std::string cc = write_floats("e.cc", {1, 0, 0, 1, 0, 0});
  panelsource p = panel_of(panelkind::envelope, {cc});
  p.ccord = 2;
  p.frame = 2;
  panelreport r;
  ASSERT_EQ(loadpanel(&p, &r), 0) << r.failure;
  figurepanel f;
  EXPECT_EQ(buildpanel(p, plotaxis{0.0, 1.0, 0.5, 1}, false, true, &f, &r), -1);
  EXPECT_EQ(r.failure, "Frame 2 is beyond the 2 frames of '" + cc + "'");
}

}  // namespace
