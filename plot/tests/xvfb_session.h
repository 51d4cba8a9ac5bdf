// Test support: a private Xvfb server, child processes run against it, and window
// captures read from xwd dumps.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "childprocess.h"

// True when an Xvfb binary is on the PATH.
bool xvfb_available();

// An Xvfb server on a display number it picks itself; stopped on destruction.
class XvfbSession {
 public:
  explicit XvfbSession(const std::vector<std::string>& extra_args = {});
  ~XvfbSession();
  XvfbSession(const XvfbSession&) = delete;
  XvfbSession& operator=(const XvfbSession&) = delete;
  bool ok() const { return !display_.empty(); }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// Runs argv with the given bytes on standard input and DISPLAY set (unless empty) and
// waits for it, at most about 10 s.
RunResult run_program(const std::vector<std::string>& argv, const std::string& input,
                      const std::string& display);

// Starts argv in the background with the given standard input and DISPLAY.
pid_t start_program(const std::vector<std::string>& argv, const std::string& input,
                    const std::string& display);
// Waits for a started program; its exit status or -1. Kills it after about 10 s.
int wait_program(pid_t pid);

// A captured window: pixels as 0xRRGGBB.
struct Capture {
  int width = 0, height = 0;
  int x = 0, y = 0;  // window position reported by the dump
  std::vector<uint32_t> pixels;
  // The pixel at (px, py), or 0xffffffff outside the capture.
  uint32_t at(int px, int py) const {
    if (px < 0 || py < 0 || px >= width || py >= height) return 0xffffffffu;
    return pixels[static_cast<size_t>(py) * width + px];
  }
  bool uniform() const {
    for (uint32_t p : pixels)
      if (p != pixels[0]) return false;
    return true;
  }
  bool operator==(const Capture& o) const {
    return width == o.width && height == o.height && pixels == o.pixels;
  }
};

// Decodes an xwd dump of a TrueColor window; false when the bytes are not one.
bool parse_xwd(const std::string& bytes, Capture* out);

// Id of the window with this exact title, waiting up to about 10 s; 0 when none appears.
unsigned long find_window(const std::string& display, const std::string& title);
// What a capture waits for before it is taken.
enum class CaptureWhen {
  Stable,   // two successive captures agree
  Drawn,    // stable and not of one colour: the viewer shows its page in one copy
  Changed,  // stable and different from *out as passed in
};
// Captures the window; false when the condition is not met within about 15 s.
bool capture_window(const std::string& display, unsigned long id, Capture* out,
                    CaptureWhen when = CaptureWhen::Stable);
// Sends one key (an xdotool key name) to the window.
void send_key(const std::string& display, unsigned long id, const std::string& key);
