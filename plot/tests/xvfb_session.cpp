#include "xvfb_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

std::string temp_file(const std::string& contents) {
  char name[] = "/tmp/plotview_test_XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) return "";
  size_t done = 0;
  while (done < contents.size()) {
    const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
  return name;
}

std::vector<char*> c_args(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  return args;
}

// Forks and runs argv with the three open descriptors as its standard streams; the
// parent's copies are closed.
pid_t spawn(const std::vector<std::string>& argv, int in, int out, int err, const std::string& display) {
  const pid_t pid = fork();
  if (pid != 0) {
    close(in);
    close(out);
    close(err);
    return pid;
  }
  dup2(in, 0);
  dup2(out, 1);
  dup2(err, 2);
  if (display.empty())
    unsetenv("DISPLAY");
  else
    setenv("DISPLAY", display.c_str(), 1);
  auto args = c_args(argv);
  execvp(args[0], args.data());
  _exit(127);
}

// Opens a file for the child and removes its name at once.
int open_unlinked(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags);
  unlink(path.c_str());
  return fd;
}

void pause_ms(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint32_t be32(const std::string& b, size_t off) {
  return (static_cast<uint32_t>(static_cast<unsigned char>(b[off])) << 24) |
         (static_cast<uint32_t>(static_cast<unsigned char>(b[off + 1])) << 16) |
         (static_cast<uint32_t>(static_cast<unsigned char>(b[off + 2])) << 8) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[off + 3]));
}

int mask_shift(uint32_t mask) {
  int s = 0;
  while (mask && !(mask & 1u)) {
    mask >>= 1;
    ++s;
  }
  return s;
}

}  // namespace

bool xvfb_available() {
  return system("command -v Xvfb >/dev/null 2>&1") == 0;
}

XvfbSession::XvfbSession(const std::vector<std::string>& extra_args) {
  int fds[2];
  if (pipe(fds) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    close(fds[0]);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<std::string> argv = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                     "1280x1024x24", "-nolisten", "tcp",
                                     // no reset when the last client leaves, so that the
                                     // next one never meets a server in the middle of it
                                     "-noreset"};
    argv.insert(argv.end(), extra_args.begin(), extra_args.end());
    auto args = c_args(argv);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (!number.empty()) display_ = ":" + number;
}

XvfbSession::~XvfbSession() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

RunResult run_program(const std::vector<std::string>& argv, const std::string& input,
                      const std::string& display) {
  RunSettings how;
  how.input = input;
  how.seconds = 10;
  how.environment = {display.empty() ? "DISPLAY" : "DISPLAY=" + display};
  return run_program(argv[0], std::vector<std::string>(argv.begin() + 1, argv.end()), how);
}

pid_t start_program(const std::vector<std::string>& argv, const std::string& input,
                    const std::string& display) {
  // Its messages go to the test's standard error, where a failure shows them.
  return spawn(argv, open_unlinked(temp_file(input), O_RDONLY), open("/dev/null", O_WRONLY), dup(2), display);
}

int wait_program(pid_t pid) {
  int status = 0;
  for (int i = 0; i < 1000; ++i) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (r < 0) return -1;
    pause_ms(10);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

bool parse_xwd(const std::string& b, Capture* out) {
  if (b.size() < 100) return false;
  const uint32_t header_size = be32(b, 0), version = be32(b, 4);
  const uint32_t width = be32(b, 16), height = be32(b, 20), byte_order = be32(b, 28);
  const uint32_t bpp = be32(b, 44), bytes_per_line = be32(b, 48);
  const uint32_t red = be32(b, 56), green = be32(b, 60), blue = be32(b, 64);
  const uint32_t ncolors = be32(b, 76);
  if (version != 7 || bpp != 32) return false;
  const size_t data = header_size + static_cast<size_t>(ncolors) * 12;
  if (b.size() < data + static_cast<size_t>(bytes_per_line) * height) return false;
  out->width = static_cast<int>(width);
  out->height = static_cast<int>(height);
  out->x = static_cast<int>(be32(b, 88));
  out->y = static_cast<int>(be32(b, 92));
  out->pixels.assign(static_cast<size_t>(width) * height, 0);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const size_t o = data + static_cast<size_t>(y) * bytes_per_line + 4u * x;
      uint32_t v = 0;
      for (int k = 0; k < 4; ++k) {
        const uint32_t byte = static_cast<unsigned char>(b[o + k]);
        v |= byte_order == 0 ? byte << (8 * k) : byte << (8 * (3 - k));
      }
      const uint32_t r = (v & red) >> mask_shift(red);
      const uint32_t g = (v & green) >> mask_shift(green);
      const uint32_t bl = (v & blue) >> mask_shift(blue);
      out->pixels[static_cast<size_t>(y) * width + x] = (r << 16) | (g << 8) | bl;
    }
  return true;
}

unsigned long find_window(const std::string& display, const std::string& title) {
  for (int i = 0; i < 200; ++i) {
    const RunResult r = run_program({"xdotool", "search", "--name", "^" + title + "$"}, "", display);
    if (r.status == 0 && !r.out.empty()) return std::strtoul(r.out.c_str(), nullptr, 10);
    pause_ms(50);
  }
  return 0;
}

bool capture_window(const std::string& display, unsigned long id, Capture* out, CaptureWhen when) {
  const Capture before = *out;
  Capture previous;
  bool have_previous = false;
  for (int i = 0; i < 100; ++i) {
    const RunResult r = run_program({"xwd", "-silent", "-nobdrs", "-id", std::to_string(id)}, "", display);
    Capture now;
    if (r.status == 0 && parse_xwd(r.out, &now)) {
      const bool wanted = when == CaptureWhen::Stable || (when == CaptureWhen::Drawn && !now.uniform()) ||
                          (when == CaptureWhen::Changed && !(now == before));
      if (wanted && have_previous && now == previous) {
        *out = now;
        return true;
      }
      previous = now;
      have_previous = true;
    }
    pause_ms(150);
  }
  return false;
}

void send_key(const std::string& display, unsigned long id, const std::string& key) {
  run_program({"xdotool", "key", "--window", std::to_string(id), key}, "", display);
}
