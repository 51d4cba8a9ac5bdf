// Runs the encoder program and checks its exact output and exit status.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Result {
  std::string out;
  int status;
};

// Runs velkcoder with the given arguments (argv[0] is the program path), capturing stdout.
Result run(const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) return {"", -1};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(VELKCODER_PATH));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(VELKCODER_PATH, argv.data());
    _exit(127);
  }
  close(fds[1]);
  Result r{"", -1};
  char buffer[4096];
  ssize_t got;
  while ((got = read(fds[0], buffer, sizeof buffer)) > 0) r.out.append(buffer, static_cast<size_t>(got));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string tempdir() {
  const std::string dir = testing::TempDir() + "velkcoder_cli/";
  mkdir(dir.c_str(), 0755);
  return dir;
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

void put16(std::string& b, uint32_t v) {
  b.push_back(static_cast<char>(v & 0xff));
  b.push_back(static_cast<char>((v >> 8) & 0xff));
}
void put32(std::string& b, uint32_t v) {
  put16(b, v & 0xffff);
  put16(b, v >> 16);
}

// A WAV file of the given samples; channels, rate and bits are written as given.
void writewav(const std::string& path, const std::vector<int16_t>& samples, uint32_t channels = 1,
              uint32_t rate = 16000, uint32_t bits = 16) {
  std::string b = "RIFF";
  put32(b, static_cast<uint32_t>(36 + 2 * samples.size()));
  b += "WAVEfmt ";
  put32(b, 16);
  put16(b, 1);
  put16(b, channels);
  put32(b, rate);
  put32(b, rate * channels * bits / 8);
  put16(b, channels * bits / 8);
  put16(b, bits);
  b += "data";
  put32(b, static_cast<uint32_t>(2 * samples.size()));
  for (int16_t s : samples) put16(b, static_cast<uint16_t>(s));
  std::ofstream(path, std::ios::binary) << b;
}

const char* const argerror = "Error: incorrect input arguments.\nType 'velkcoder' for help.\n";

const char* const helptext =
    "\n"
    "  +----------------------------------------------------+\n"
    "  |  velk vocoder - speech analysis into parameters    |\n"
    "  +----------------------------------------------------+\n"
    "\n"
    "  === VELKCODER16 v0.99 ===\n"
    "\n"
    "  Harmonic-model analysis: log-F0, warped cepstra and\n"
    "  maximum voiced frequency, written by the velk developers.\n"
    "\n"
    "  Usage:\n"
    "   velkcoder filein filef0 filecc filefv [params]\n"
    "\n"
    "  Arguments:\n"
    "   filein: input wav file (mono 16kHz 16bits)\n"
    "   filef0: output file for logf0\n"
    "   filecc: output file for cepstral coeffs.\n"
    "   filefv: output file for max. voiced freq.\n"
    "\n"
    "  Optional parameters and default values:\n"
    "   --lframe=80     Frame shift (samples)\n"
    "   --ccord=39      Order of the cepstral representation\n"
    "   --ccmeth=1      0: harmonics + interpolation + mcep\n"
    "                   1: harmonics + mel-rdc\n"
    "                   2: quasi-harmonics + mel-rdc\n"
    "                   3: complementary windows + liftering + mcep\n"
    "                   4: seevoc + mcep\n"
    "   --f0min=60      Lowest detectable pitch (Hz)\n"
    "   --f0max=500     Highest detectable pitch (Hz)\n"
    "   --f0acc=0       f0 refinement iterations using qhm [0...5]\n"
    "   --f0load=0      Load+overwrite external logf0 file\n"
    "\n"
    "\n";

TEST(VelkcoderCli, NoArgumentsPrintsTheHelpText) {
  const Result r = run({});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, helptext);
}

TEST(VelkcoderCli, ArgumentErrorsExitWith255) {
  const std::vector<std::vector<std::string>> cases = {
      {"a.wav"},
      {"a.wav", "f0"},
      {"a.wav", "f0", "--lframe=80"},                          // two file names
      {"a.wav", "--lframe=80", "f0", "cc"},                   // option before a file name
      {"a.wav", "f0", "cc", "fv", "extra"},                   // five file names
      {"a.wav", "f0", "cc", "--lframe=80", "--lframe=40"},    // repeated option
      {"a.wav", "f0", "cc", "--frame=80"},                    // unknown option
      {"a.wav", "f0", "cc", "--lframe=fast"},                 // value that does not parse
      {"a.wav", "f0", "cc", "--lframe"},                      // no value
      {"a.wav", "f0", "cc", "--ccord=20", "word"},            // plain word in the option region
      {"a.wav", "f0", "cc", "--alpha=1"},                     // warping factor out of range
      {"a.wav", "f0", "cc", "--alpha=-1.5"},
      {"a.wav", "f0", "cc", "--alpha=nan"},
      {"a.wav", "f0", "cc", "--lframe=0"},
      {"a.wav", "f0", "cc", "--lframe=-80"},
      {"a.wav", "f0", "cc", "--ccord=-1"},
      {"a.wav", "f0", "cc", "--cctimeit=-1"},
      {"a.wav", "f0", "cc", "--f0min=inf"},
      {"a.wav", "f0", "cc", "--f0max=-5"},
      {"a.wav", "f0", "cc", "--lframe=3000000000"},
  };
  for (const auto& args : cases) {
    const Result r = run(args);
    EXPECT_EQ(r.status, 255) << args.back();
    EXPECT_EQ(r.out, argerror) << args.back();
  }
}

TEST(VelkcoderCli, MalformedIndexListsExitWith255) {
  for (const char* list : {"--indlist=3-1", "--indlist=1,1", "--indlist=a", "--indlist=1-3(", "--indlist=12(1)"}) {
    const Result r = run({"a???.wav", "f0", "cc", list, "--unknown=1"});
    EXPECT_EQ(r.status, 255) << list;
    EXPECT_EQ(r.out, "Error: bad formatted indlist.\n") << list;
  }
}

TEST(VelkcoderCli, AcceptedOptionsReachTheFileSet) {
  const std::string dir = tempdir();
  const std::string wav = dir + "missing.wav";
  const std::string expected = "Error: could not open " + wav + ".\n";
  const std::vector<std::vector<std::string>> cases = {
      {wav, dir + "f0", dir + "cc"},
      {wav, dir + "f0", dir + "cc", dir + "fv"},
      {wav, dir + "f0", dir + "cc", "--LFRAME=40", "--Alpha=0.3", "--ccmeth=260", "--f0acc=-2", "--zfill=-1"},
      {wav, dir + "f0", dir + "cc", dir + "fv", "--morvscale=2", "--f0min=70", "--f0max=400", "--cctimeit=0",
       "--f0load=1", "--ccord=24", "--alpha=-0.99"},
  };
  for (const auto& args : cases) {
    const Result r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
  }
  EXPECT_FALSE(exists(dir + "f0"));
  EXPECT_FALSE(exists(dir + "cc"));
}

TEST(VelkcoderCli, RejectedWavFilesWriteNothing) {
  const std::string dir = tempdir();
  const std::vector<int16_t> samples(1000, 100);
  struct Case {
    const char* name;
    uint32_t channels, rate, bits;
  };
  for (const Case& c : {Case{"stereo.wav", 2, 16000, 16}, Case{"cd.wav", 1, 44100, 16}, Case{"8bit.wav", 1, 16000, 8},
                        Case{"empty.wav", 1, 16000, 16}}) {
    const std::string wav = dir + c.name;
    writewav(wav, std::string(c.name) == "empty.wav" ? std::vector<int16_t>() : samples, c.channels, c.rate, c.bits);
    const Result r = run({wav, dir + "r.f0", dir + "r.cc", dir + "r.fv"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Error: could not open " + wav + ".\n");
  }
  std::ofstream(dir + "text.wav") << "this is not a wav file";
  EXPECT_EQ(run({dir + "text.wav", dir + "r.f0", dir + "r.cc"}).out, "Error: could not open " + dir + "text.wav.\n");
  EXPECT_FALSE(exists(dir + "r.f0"));
  EXPECT_FALSE(exists(dir + "r.cc"));
  EXPECT_FALSE(exists(dir + "r.fv"));
}

TEST(VelkcoderCli, IndexListVisitsEveryIndexInOrder) {
  const std::string dir = tempdir();
  const Result r = run({dir + "a???.wav", dir + "f0_???", dir + "cc_???", "--indlist=1-2,7,10-11(3)"});
  EXPECT_EQ(r.status, 0);
  std::string expected;
  for (const char* index : {"001", "002", "007", "010", "011"}) {
    const std::string wav = dir + "a" + index + ".wav";
    expected += wav + "\nError: could not open " + wav + ".\n";
  }
  EXPECT_EQ(r.out, expected);
}

TEST(VelkcoderCli, IndexTooWideForThePlaceholderSkipsTheSet) {
  const std::string dir = tempdir();
  const Result r = run({dir + "s?.wav", dir + "f0_??", dir + "cc_?", "--indlist=9-10"});
  EXPECT_EQ(r.status, 0);
  const std::string wav = dir + "s9.wav";
  EXPECT_EQ(r.out, wav + "\nError: could not open " + wav + ".\nError: index 10 does not fit the name " + dir +
                       "s?.wav.\n");
  const Result none = run({dir + "plain.wav", dir + "f0_??", dir + "cc_??", "--indlist=1-2"});
  EXPECT_EQ(none.out, "Error: index 1 does not fit the name " + dir + "plain.wav.\nError: index 2 does not fit the name " +
                          dir + "plain.wav.\n");
}

TEST(VelkcoderCli, ConstantRunsAreReportedAsDithered) {
  const std::string dir = tempdir();
  std::vector<int16_t> samples(2000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(((i * 7919) % 2001) - 1000);
  for (size_t i = 500; i < 661; ++i) samples[i] = 0;  // 161 equal samples
  writewav(dir + "silence.wav", samples);
  const Result r = run({dir + "silence.wav", dir + "s.f0", dir + "s.cc"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Warning: zeros in " + dir + "silence.wav have been filled with noise.\n", 0), 0u) << r.out;
  const Result off = run({dir + "silence.wav", dir + "s.f0", dir + "s.cc", "--zfill=0"});
  EXPECT_EQ(off.out.find("Warning:"), std::string::npos);
  const Result longer = run({dir + "silence.wav", dir + "s.f0", dir + "s.cc", "--zfill=161"});
  EXPECT_EQ(longer.out.find("Warning:"), std::string::npos);
  const Result never = run({dir + "silence.wav", dir + "s.f0", dir + "s.cc", "--zfill=-1"});
  EXPECT_EQ(never.out.find("Warning:"), std::string::npos);
}

// ---- Written streams ----

std::string filebytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<float> readfloats(const std::string& path) {
  const std::string bytes = filebytes(path);
  std::vector<float> v(bytes.size() / 4);
  if (!v.empty()) memcpy(v.data(), bytes.data(), 4 * v.size());
  return v;
}

void writefloats(const std::string& path, const std::vector<float>& v) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(v.data()),
                                              static_cast<std::streamsize>(4 * v.size()));
}

// One second of a steady 200 Hz voice: ten harmonics with falling amplitudes.
std::vector<int16_t> voice200() {
  std::vector<int16_t> x(16000);
  for (size_t i = 0; i < x.size(); ++i) {
    double v = 0;
    for (int k = 1; k <= 10; ++k) v += 0.15 / k * std::sin(2 * M_PI * 200.0 * k * static_cast<double>(i) / 16000 + k);
    x[i] = static_cast<int16_t>(std::lround(v * 32768));
  }
  return x;
}

class VelkcoderStreams : public testing::Test {
 protected:
  void SetUp() override {
    dir = tempdir() + testing::UnitTest::GetInstance()->current_test_info()->name() + "_";
    wav = dir + "voice.wav";
    writewav(wav, voice200());
    for (const char* ext : {"f0", "cc", "fv"}) remove((dir + ext).c_str());
  }
  // Encodes the voice into dir + "f0", "cc" (and "fv" with withfv) with the extra options.
  Result encode(std::vector<std::string> extra, bool withfv = true) {
    std::vector<std::string> args = {wav, dir + "f0", dir + "cc"};
    if (withfv) args.push_back(dir + "fv");
    args.insert(args.end(), extra.begin(), extra.end());
    return run(args);
  }
  std::string dir, wav;
};

TEST_F(VelkcoderStreams, OneSecondGives200FramesOfEachStream) {
  const Result r = encode({}, false);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(filebytes(dir + "f0").size(), 200u * 4);
  EXPECT_EQ(filebytes(dir + "cc").size(), 200u * 40 * 4);
  EXPECT_FALSE(exists(dir + "fv"));
  const Result withfv = encode({});
  EXPECT_EQ(withfv.out, "");
  const std::vector<float> fv = readfloats(dir + "fv");
  ASSERT_EQ(fv.size(), 200u);
  for (float v : fv) EXPECT_TRUE(v >= 0 && v <= 8000) << v;
}

TEST_F(VelkcoderStreams, FrameShiftAndOrderSetTheSizes) {
  encode({"--lframe=160", "--ccord=24"});
  EXPECT_EQ(filebytes(dir + "f0").size(), 100u * 4);
  EXPECT_EQ(filebytes(dir + "fv").size(), 100u * 4);
  EXPECT_EQ(filebytes(dir + "cc").size(), 100u * 25 * 4);
  encode({"--LFRAME=40"});
  EXPECT_EQ(filebytes(dir + "f0").size(), 400u * 4);
  EXPECT_EQ(filebytes(dir + "cc").size(), 400u * 40 * 4);
}

TEST_F(VelkcoderStreams, LogF0OfASteadyVoiceIsLn200) {
  encode({});
  const std::vector<float> lf0 = readfloats(dir + "f0");
  ASSERT_EQ(lf0.size(), 200u);
  std::vector<double> voiced;
  for (float v : lf0) {
    if (v > -1e10f)
      voiced.push_back(std::exp(static_cast<double>(v)));
    else
      EXPECT_EQ(v, -1e10f);
  }
  ASSERT_GT(voiced.size(), 160u);
  std::sort(voiced.begin(), voiced.end());
  EXPECT_NEAR(voiced[voiced.size() / 2], 200.0, 6.0);
}

TEST_F(VelkcoderStreams, RangeAdaptationOffsetsC0AndDoublesTheRest) {
  encode({"--morvscale=0"});
  const std::vector<float> plain = readfloats(dir + "cc");
  const std::string plainbytes = filebytes(dir + "cc");
  encode({"--morvscale=2"});
  EXPECT_EQ(filebytes(dir + "cc"), plainbytes);
  encode({});
  const std::vector<float> adapted = readfloats(dir + "cc");
  ASSERT_EQ(adapted.size(), plain.size());
  ASSERT_EQ(plain.size(), 8000u);
  for (size_t i = 0; i < plain.size(); ++i) {
    const double expected = i % 40 == 0 ? plain[i] + 5.0 : 2.0 * plain[i];
    ASSERT_NEAR(adapted[i], expected, 1e-5 * (1 + std::fabs(expected))) << i;
  }
}

TEST_F(VelkcoderStreams, MethodNumberUsesItsLowEightBits) {
  encode({"--ccmeth=3"});
  const std::string three = filebytes(dir + "cc");
  encode({"--ccmeth=259"});
  EXPECT_EQ(filebytes(dir + "cc"), three);
  encode({"--ccmeth=4"});
  EXPECT_NE(filebytes(dir + "cc"), three);
}

TEST_F(VelkcoderStreams, RefinementIsCappedAtFiveIterations) {
  encode({"--f0acc=5"});
  const std::string five = filebytes(dir + "f0");
  encode({"--f0acc=9"});
  EXPECT_EQ(filebytes(dir + "f0"), five);
  encode({"--f0acc=-1"});
  EXPECT_EQ(filebytes(dir + "f0"), five);
}

TEST_F(VelkcoderStreams, ShorterLoadedLogF0ShortensAllStreamsAndIsKept) {
  std::vector<float> loaded(150, -1e10f);
  for (size_t i = 20; i < 120; ++i) loaded[i] = std::log(180.0f);
  writefloats(dir + "f0", loaded);
  const std::string before = filebytes(dir + "f0");
  const Result r = encode({"--f0load=1"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(filebytes(dir + "f0"), before);
  EXPECT_EQ(filebytes(dir + "cc").size(), 150u * 40 * 4);
  EXPECT_EQ(filebytes(dir + "fv").size(), 150u * 4);
  const std::vector<float> fv = readfloats(dir + "fv");
  EXPECT_EQ(fv[5], 0.0f);  // unvoiced in the loaded track, so no voiced band there
}

TEST_F(VelkcoderStreams, LongerLoadedLogF0IsUsedAndRewrittenWithTheFrameCount) {
  std::vector<float> loaded(250, -1e10f);  // all unvoiced, unlike what the analysis would find
  for (size_t i = 0; i < 250; i += 50) loaded[i] = std::log(120.0f);
  writefloats(dir + "f0", loaded);
  encode({"--f0load=1"});
  const std::vector<float> rewritten = readfloats(dir + "f0");
  ASSERT_EQ(rewritten.size(), 200u);
  for (size_t i = 0; i < 200; ++i) ASSERT_NEAR(rewritten[i], loaded[i], 1e-6 * std::fabs(loaded[i])) << i;
  EXPECT_EQ(filebytes(dir + "cc").size(), 200u * 40 * 4);
}

TEST_F(VelkcoderStreams, RefinedLoadedLogF0IsRewritten) {
  writefloats(dir + "f0", std::vector<float>(150, std::log(195.0f)));  // 2.5 % off the true 200 Hz
  encode({"--f0load=1", "--f0acc=3"});
  const std::vector<float> refined = readfloats(dir + "f0");
  ASSERT_EQ(refined.size(), 150u);
  for (size_t i = 10; i < 140; ++i) EXPECT_NEAR(std::exp(refined[i]), 200.0, 1.0) << i;  // frames clear of the edge
}

TEST_F(VelkcoderStreams, UnusableLoadedLogF0FallsBackToPitchAnalysis) {
  writefloats(dir + "f0", {});
  EXPECT_EQ(encode({"--f0load=1"}).out, "");
  EXPECT_EQ(filebytes(dir + "f0").size(), 200u * 4);
  remove((dir + "f0").c_str());
  EXPECT_EQ(encode({"--f0load=1"}).out, "");
  EXPECT_EQ(filebytes(dir + "f0").size(), 200u * 4);
}

TEST_F(VelkcoderStreams, FailedWritesAreReportedAndTheOtherFilesWritten) {
  const Result full = run({wav, dir + "f0", "/dev/full", dir + "fv"});
  EXPECT_EQ(full.status, 0);
  EXPECT_EQ(full.out, "Error: could not create /dev/full.\n");
  EXPECT_EQ(filebytes(dir + "f0").size(), 200u * 4);
  EXPECT_EQ(filebytes(dir + "fv").size(), 200u * 4);
  const std::string nodir = dir + "missing-dir/f0";
  const Result missing = run({wav, nodir, dir + "cc"});
  EXPECT_EQ(missing.status, 0);
  EXPECT_EQ(missing.out, "Error: could not create " + nodir + ".\n");
  EXPECT_EQ(filebytes(dir + "cc").size(), 200u * 40 * 4);
}

TEST_F(VelkcoderStreams, TimedRunsPrintTheTimeAndGiveTheSameCepstra) {
  encode({});
  const std::string once = filebytes(dir + "cc");
  const Result r = encode({"--cctimeit=2"});
  ASSERT_EQ(r.out.rfind("Time: ", 0), 0u) << r.out;
  EXPECT_EQ(r.out.back(), '\n');
  EXPECT_GE(std::atoi(r.out.c_str() + 6), 0);
  EXPECT_EQ(filebytes(dir + "cc"), once);
}

TEST_F(VelkcoderStreams, DitheredSilenceIsStillAnalysed) {
  std::vector<int16_t> x = voice200();
  std::fill(x.begin() + 6000, x.begin() + 6400, 0);
  writewav(wav, x);
  const Result r = encode({});
  EXPECT_EQ(r.out, "Warning: zeros in " + wav + " have been filled with noise.\n");
  EXPECT_EQ(filebytes(dir + "cc").size(), 200u * 40 * 4);
  const std::vector<float> lf0 = readfloats(dir + "f0");
  ASSERT_EQ(lf0.size(), 200u);
  EXPECT_EQ(lf0[77], -1e10f);  // frame 77 (sample 6160) lies inside the silence
}

TEST_F(VelkcoderStreams, IndexListWritesOneSetPerIndex) {
  for (const char* index : {"001", "002", "003"}) writewav(dir + "a" + index + ".wav", voice200());
  const Result r = run({dir + "a???.wav", dir + "f0_???", dir + "cc_???", "--indlist=1-3"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, dir + "a001.wav\n" + dir + "a002.wav\n" + dir + "a003.wav\n");
  for (const char* index : {"001", "002", "003"}) {
    EXPECT_EQ(filebytes(dir + "f0_" + index).size(), 200u * 4) << index;
    EXPECT_EQ(filebytes(dir + "cc_" + index).size(), 200u * 40 * 4) << index;
  }
  EXPECT_EQ(filebytes(dir + "cc_001"), filebytes(dir + "cc_003"));
}

}  // namespace
