// plotview -o: pictures of plotter streams written without a display, their page sizes and
// pixels, the stream read from a file, and the refusals of impossible settings and of
// pictures that cannot be written (which leave no file behind).
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "childprocess.h"
#include "pngpage.h"

namespace {

const std::string kViewer = PLOTVIEW_PATH;
const uint32_t kBlack = 0x000000, kWhite = 0xffffff;

std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d))
      if (e->d_name[0] != '.' || std::string(e->d_name).size() > 2) names.push_back(e->d_name);
    closedir(d);
  }
  std::vector<std::string> kept;
  for (const std::string& n : names)
    if (n != "." && n != "..") kept.push_back(n);
  return kept;
}

class Pictures : public ::testing::Test {
 protected:
  // Pictures are made as on a machine without an X server.
  static void SetUpTestSuite() { unsetenv("DISPLAY"); }

  static std::string figure() {
    const RunResult r =
        run_program(GRAPH_PATH, {"-t", "1", std::string(GRAPH_TEST_DATA) + "/damped.txt"}, {});
    EXPECT_EQ(r.status, 0);
    return r.out;
  }
  RunResult viewer(const std::vector<std::string>& args, const std::string& input = "=\n",
                   uint64_t filesizelimit = 0) {
    RunSettings how;
    how.input = input;
    how.filesizelimit = filesizelimit;
    return run_program(kViewer, args, how);
  }
  TempDir dir_;
};

TEST_F(Pictures, GraphFigureIsThePortraitPageOfTheWindow) {
  const std::string png = dir_.path("d.png");
  const RunResult r = viewer({"-o", png}, figure());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const Page p = read_png(png);
  ASSERT_EQ(p.width, 589);
  ASSERT_EQ(p.height, 847);
  // The same frame pixels as in the window: columns 118 and 472, rows 80 to 316.
  EXPECT_EQ(p.count(118, 90, 118, 300, kBlack), 211);
  EXPECT_EQ(p.count(472, 90, 472, 215, kBlack), 126);
  EXPECT_EQ(p.count(130, 316, 460, 316, kBlack), 331);
  EXPECT_EQ(p.at(295, 188), kWhite);
  EXPECT_EQ(p.at(291, 188), kBlack);
  EXPECT_EQ(p.count(0, 400, 588, 846, kBlack), 0);
  EXPECT_EQ(entries(dir_.dir()), std::vector<std::string>{"d.png"});  // no temporary left
}

TEST_F(Pictures, OptionsApplyAsOnScreen) {
  const std::string line = std::string("=\nM100 100\nD1000 100\n") + '\0';
  ASSERT_EQ(viewer({"-l", "-o", dir_.path("l.png")}, line).status, 0);
  const Page l = read_png(dir_.path("l.png"));
  EXPECT_EQ(l.width, 847);
  EXPECT_EQ(l.height, 589);
  EXPECT_EQ(l.count(30, 560, 294, 560, kBlack), 265);

  ASSERT_EQ(viewer({"-rv", "-o", dir_.path("rv.png")}, line).status, 0);
  const Page rv = read_png(dir_.path("rv.png"));
  EXPECT_EQ(rv.at(10, 10), kBlack);
  EXPECT_EQ(rv.count(0, 0, 588, 846, kWhite), 265);

  ASSERT_EQ(viewer({"-s", "2", "-bg", "yellow", "-o", dir_.path("s.png")}, line).status, 0);
  const Page s = read_png(dir_.path("s.png"));
  EXPECT_EQ(s.width, 997);  // (int)(1995 / 2)
  EXPECT_EQ(s.height, 1435);
  EXPECT_EQ(s.at(0, 0), 0xffff00u);

  // Pens are colours, and with -m widths.
  const std::string pen = std::string("=\nJ3\nM100 1000\nD1000 1000\n") + '\0';
  ASSERT_EQ(viewer({"-o", dir_.path("c.png")}, pen).status, 0);
  EXPECT_EQ(read_png(dir_.path("c.png")).count(30, 552, 294, 552, 0xff0000), 265);
  ASSERT_EQ(
      viewer({"-m", "-o", dir_.path("m.png")}, std::string("=\nJ5\nM100 1000\nD1000 1000\n") + '\0').status,
      0);
  EXPECT_EQ(read_png(dir_.path("m.png")).count(150, 540, 150, 565, kBlack), 4);
}

TEST_F(Pictures, VectorTypesByExtensionInAnyCase) {
  const std::string fig = figure();
  ASSERT_EQ(viewer({"-o", dir_.path("d.svg")}, fig).status, 0);
  ASSERT_EQ(viewer({"-o", dir_.path("d.PDF")}, fig).status, 0);
  const std::string svg = file_contents(dir_.path("d.svg")), pdf = file_contents(dir_.path("d.PDF"));
  EXPECT_NE(svg.find("<svg"), std::string::npos);
  EXPECT_NE(svg.find("width=\"589"), std::string::npos);
  EXPECT_EQ(pdf.compare(0, 5, "%PDF-"), 0);
  EXPECT_NE(pdf.find("%%EOF"), std::string::npos);
}

TEST_F(Pictures, StreamIsReadFromANamedFile) {
  const std::string fig = figure();
  const std::string in = dir_.write("d.plt", fig);
  ASSERT_EQ(viewer({in, "-o", dir_.path("a.png")}, "").status, 0);
  ASSERT_EQ(viewer({"-o", dir_.path("b.png")}, fig).status, 0);
  EXPECT_EQ(read_png(dir_.path("a.png")).pixels, read_png(dir_.path("b.png")).pixels);
  const RunResult missing = viewer({dir_.path("missing.plt"), "-o", dir_.path("c.png")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "plotview : Cannot open file '" + dir_.path("missing.plt") + "'!\n");
  EXPECT_FALSE(file_exists(dir_.path("c.png")));
  // The file gets the same input check as standard input.
  const RunResult wrong = viewer({dir_.write("m.plt", "M1 1\n"), "-o", dir_.path("c.png")});
  EXPECT_EQ(wrong.status, 255);
  EXPECT_EQ(wrong.err, "plotview : Unexpected data format!\n");
}

TEST_F(Pictures, UnknownTypesAndUnwritablePathsLeaveNoFile) {
  const RunResult type = viewer({"-o", dir_.path("d.jpg")}, figure());
  EXPECT_EQ(type.status, 1);
  EXPECT_EQ(type.err,
            "plotview : Unknown picture type of '" + dir_.path("d.jpg") + "' (use .png, .svg or .pdf)!\n");
  EXPECT_EQ(viewer({"-o", dir_.path("png")}).status, 1);  // a name without an extension
  const std::string lost = dir_.path("no/such/dir/d.png");
  const RunResult path = viewer({"-o", lost}, figure());
  EXPECT_EQ(path.status, 1);
  EXPECT_EQ(path.err, "plotview : Cannot write '" + lost + "': No such file or directory!\n");
  EXPECT_TRUE(entries(dir_.dir()).empty());
}

TEST_F(Pictures, AFailedWriteKeepsTheEarlierPicture) {
  const std::string png = dir_.path("d.png");
  const std::string fig = figure();
  ASSERT_EQ(viewer({"-o", png}, fig).status, 0);
  const std::string good = file_contents(png);
  // The reverse page compresses worse than the 12 kB limit... any page does: 2 kB is too
  // little room for either.
  for (const char* name : {"d.png", "d.svg", "d.pdf"}) {
    const std::string out = dir_.path(name);
    const RunResult r = viewer({"-rv", "-o", out}, fig, 2048);
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_EQ(r.err.rfind("plotview : Cannot write '" + out + "': ", 0), 0u) << r.err;
  }
  EXPECT_EQ(file_contents(png), good);
  EXPECT_EQ(entries(dir_.dir()), std::vector<std::string>{"d.png"});
}

TEST_F(Pictures, ImpossibleShrinkValuesAreRefused) {
  struct Case {
    const char* value;
    const char* message;
  };
  const Case cases[] = {
      {"0.01",
       "plotview : Invalid shrink '0.01': the page would be 199500 x 287000 pixels (1 to 32767 a side, at "
       "most 268435456 in all)!\n"},
      {"0.1",
       "plotview : Invalid shrink '0.1': the page would be 19950 x 28700 pixels (1 to 32767 a side, at most "
       "268435456 in all)!\n"},
      {"5000",
       "plotview : Invalid shrink '5000': the page would be 0 x 0 pixels (1 to 32767 a side, at most "
       "268435456 in all)!\n"},
      {"nan", "plotview : Invalid shrink 'nan'!\n"},
      {"inf", "plotview : Invalid shrink 'inf'!\n"},
  };
  for (const Case& c : cases) {
    const RunResult r = viewer({"-s", c.value, "-o", dir_.path("d.png")});
    EXPECT_EQ(r.status, 1) << c.value;
    EXPECT_EQ(r.err, c.message);
  }
  EXPECT_TRUE(entries(dir_.dir()).empty());
  // A shrink below one (pixels smaller than plotter units) still makes a page.
  EXPECT_EQ(viewer({"-s", "0.5", "-o", dir_.path("big.png")}).status, 0);
}

TEST_F(Pictures, ImpossibleGeometriesAreRefusedBeforeAnyDisplay) {
  for (const char* g : {"0x0", "0x100", "100x0", "40000x100"}) {
    const RunResult r = viewer({"-g", g});
    EXPECT_EQ(r.status, 1) << g;
    EXPECT_EQ(r.err, std::string("plotview : Invalid geometry '") + g +
                         "': a window is 1 to 32767 pixels a side!\n");
  }
  // A good geometry goes on to the display, which is missing here.
  EXPECT_EQ(viewer({"-g", "300x300+0+0"}).status, 2);
}

// Ink columns of the page's rows y0..y1 between x0 and x1: the widest run of blank columns
// between the first and the last inked column.
int widest_gap(const Page& p, int x0, int x1, int y0, int y1, int* first, int* last) {
  *first = -1;
  *last = -1;
  int widest = 0, run = 0;
  for (int x = x0; x <= x1; ++x) {
    bool ink = false;
    for (int y = y0; y <= y1 && !ink; ++y) ink = p.at(x, y) != kWhite;
    if (ink) {
      if (*first >= 0 && run > widest) widest = run;
      if (*first < 0) *first = x;
      *last = x;
      run = 0;
    } else {
      ++run;
    }
  }
  return widest;
}

TEST_F(Pictures, GreekChunkFollowsItsTextWithoutAGap) {
  // The figure's title "Damped oscillation, τ = 4 ms" starts at (524, 2660) -> (155, 61).
  ASSERT_EQ(viewer({"-o", dir_.path("d.png")}, figure()).status, 0);
  const Page p = read_png(dir_.path("d.png"));
  int first = 0, last = 0;
  const int gap = widest_gap(p, 140, 588, 45, 64, &first, &last);
  // 28 characters of about 7.5 pixels: the title ends near 155 + 210 and no blank run is
  // much wider than one space between two letters (the gap after the comma used to be 57).
  EXPECT_NEAR(first, 155, 3);
  EXPECT_NEAR(last, 155 + 28 * 7.5, 12);
  EXPECT_LE(gap, 13);
}

}  // namespace

namespace {

// Runs a shell script with the viewer's path as $1 and the test directory as $2.
RunResult viewer_script(const std::string& script, const std::string& dir, const std::string& input = "") {
  RunSettings how;
  how.input = input;
  how.seconds = 60;
  return run_program("/bin/sh", {"-c", script, "sh", kViewer, dir}, how);
}

}  // namespace

TEST_F(Pictures, AnEmptyStreamIsAnEmptyPageSaidOnStandardError) {
  for (const std::string& input : {std::string(), std::string("\xff=M", 3)}) {
    const std::string png = dir_.path("e.png");
    const RunResult r = viewer({"-o", png}, input);
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "plotview : The plotter stream is empty: the page is empty!\n");
    const Page p = read_png(png);
    ASSERT_EQ(p.width, 589);
    ASSERT_EQ(p.height, 847);
    EXPECT_EQ(p.count(0, 0, 588, 846, kWhite), 589 * 847);
  }
  const RunResult svg = viewer({"-o", dir_.path("e.svg")}, "");
  EXPECT_EQ(svg.status, 0);
  EXPECT_NE(file_contents(dir_.path("e.svg")).find("<svg"), std::string::npos);
}

// The temporary is made only once the picture is written: a viewer waiting for its stream has
// made nothing, and a signal then ends it by that signal with nothing left behind.
TEST_F(Pictures, NothingIsCreatedBeforeTheStreamAndASignalLeavesNothing) {
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) {
    int feed[2];
    ASSERT_EQ(pipe(feed), 0);
    const std::string out = dir_.path("w.pdf");
    const pid_t child = fork();
    if (child == 0) {
      dup2(feed[0], 0);
      close(feed[0]);
      close(feed[1]);
      execl(kViewer.c_str(), kViewer.c_str(), "-o", out.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(feed[0]);
    const std::string start = "=\nM100 100\nD200 200\n";
    ASSERT_EQ(write(feed[1], start.data(), start.size()), static_cast<ssize_t>(start.size()));
    usleep(500 * 1000);
    EXPECT_TRUE(entries(dir_.dir()).empty()) << "made before the stream ended";
    kill(child, signal);
    int raw = 0;
    waitpid(child, &raw, 0);
    close(feed[1]);
    EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == signal) << "signal " << signal << " status " << raw;
    EXPECT_TRUE(entries(dir_.dir()).empty()) << "signal " << signal;
  }
}

// Names up to the system's limit are written: the temporary's name is shortened to fit.
TEST_F(Pictures, NamesOfTheLongestLegalLengthAreWritten) {
  for (size_t length : {size_t(248), size_t(255)}) {
    const std::string name = std::string(length - 4, 'n') + ".png";
    const RunResult r = viewer({"-o", dir_.path(name)}, figure());
    EXPECT_EQ(r.status, 0) << length << " " << r.err;
    EXPECT_EQ(entries(dir_.dir()), std::vector<std::string>{name});
    std::remove(dir_.path(name).c_str());
  }
}

// Beyond the file-size limit the write fails (SIGXFSZ is ignored): the failure is reported, the
// temporary removed and an earlier picture kept.
TEST_F(Pictures, TheFileSizeLimitIsAFailedWriteNotADeath) {
  const std::string png = dir_.path("d.png");
  ASSERT_EQ(viewer({"-o", png}, figure()).status, 0);
  const std::string good = file_contents(png);
  for (const char* name : {"d.png", "d.svg", "d.pdf"}) {
    const RunResult r = viewer_script(std::string("ulimit -f 4; exec \"$1\" -rv -o \"$2/") + name + "\"",
                                      dir_.dir(), figure());
    ASSERT_TRUE(r.exited) << name << " signal " << r.signal;
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_EQ(r.err, "plotview : Cannot write '" + dir_.path(name) + "': File too large!\n");
  }
  EXPECT_EQ(file_contents(png), good);
  EXPECT_EQ(entries(dir_.dir()), std::vector<std::string>{"d.png"});
}

// A named pipe is written directly and stays a pipe.
TEST_F(Pictures, ANamedPipeIsWrittenDirectly) {
  const std::string fifo = dir_.path("p.png");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const RunResult r =
      viewer_script("exec 3<&0; \"$1\" -o \"$2/p.png\" <&3 & cat \"$2/p.png\" > \"$2/copy.png\"; wait $!",
                    dir_.dir(), figure());
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(viewer({"-o", dir_.path("file.png")}, figure()).status, 0);
  EXPECT_EQ(file_contents(dir_.path("copy.png")), file_contents(dir_.path("file.png")));
  struct stat st;
  ASSERT_EQ(stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

namespace {

// A picture named through a symbolic link replaces the file the link leads to; the link stays.
TEST_F(Pictures, APictureIsWrittenThroughASymbolicLink) {
  dir_.write("target.png", "old");
  ASSERT_EQ(symlink("target.png", dir_.path("link.png").c_str()), 0);
  ASSERT_EQ(viewer({"-o", dir_.path("link.png")}, figure()).status, 0);
  ASSERT_EQ(viewer({"-o", dir_.path("file.png")}, figure()).status, 0);
  struct stat st;
  ASSERT_EQ(lstat(dir_.path("link.png").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(file_contents(dir_.path("target.png")), file_contents(dir_.path("file.png")));
}

}  // namespace
