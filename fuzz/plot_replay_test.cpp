// Replays the kept plotter streams through the viewer's interpreter on both surfaces: the
// cairo picture, and the X pixmap on a private Xvfb server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "corpus_files.h"
#include "fuzzcheck.h"
#include "xvfb_session.h"

namespace {

TEST(PlotCorpusReplay, EveryKeptStreamIsDrawnToItsEndOnBothSurfaces) {
  std::unique_ptr<XvfbSession> server;
#ifdef FUZZ_PLOT_X
  if (!xvfb_available()) GTEST_SKIP() << "Xvfb is not installed";
  server = std::make_unique<XvfbSession>();
  ASSERT_TRUE(server->ok());
  setenv("DISPLAY", server->display().c_str(), 1);
#else
  unsetenv("DISPLAY");
#endif
  const std::vector<std::string> files = corpus_files("plot");
  ASSERT_FALSE(files.empty());
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    const std::string bytes = file_bytes(path);
    // An X protocol error, a failed cairo check or a sanitizer finding ends the process;
    // reaching the next input is the evidence that this one was drawn.
    EXPECT_EQ(fuzz_plot(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
  }
}

}  // namespace
