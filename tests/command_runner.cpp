#include "command_runner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

void redirect(const std::string& path, int fd, int flags) {
  const int opened = open(path.c_str(), flags, 0644);
  if (opened < 0 || dup2(opened, fd) < 0) _exit(126);
  close(opened);
}

std::string le(uint32_t v, int width) {
  std::string s;
  for (int i = 0; i < width; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
  return s;
}

}  // namespace

Outcome run_program(const std::string& program, const std::vector<std::string>& args,
                    const std::string& input, int seconds) {
  TempDir capture;
  const std::string out = capture.path("out"), err = capture.path("err");
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child == 0) {
    redirect(input, 0, O_RDONLY);
    redirect(out, 1, O_WRONLY | O_CREAT | O_TRUNC);
    redirect(err, 2, O_WRONLY | O_CREAT | O_TRUNC);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  Outcome o;
  int raw = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (waitpid(child, &raw, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &raw, 0);
      o.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!o.timed_out) {
    o.exited = WIFEXITED(raw);
    o.status = o.exited ? WEXITSTATUS(raw) : -1;
    o.signal = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
  }
  o.out = file_contents(out);
  o.err = file_contents(err);
  return o;
}

TempDir::TempDir() {
  char tmpl[] = "/tmp/velkbadXXXXXX";
  const char* made = mkdtemp(tmpl);
  if (made == nullptr) std::abort();
  dir_ = made;
}

TempDir::~TempDir() {
  // Tests make some entries unwritable or directories; restore before removing.
  std::system(("chmod -R u+rwx '" + dir_ + "' 2>/dev/null; rm -rf '" + dir_ + "'").c_str());
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
  const std::string p = path(name);
  std::ofstream(p, std::ios::binary) << bytes;
  return p;
}

std::string file_contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool file_exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

long file_size(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

std::string float_bytes(const std::vector<float>& values) {
  std::string s;
  for (float f : values) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    s += le(bits, 4);
  }
  return s;
}

std::string wav_header(unsigned channels, unsigned rate, unsigned bits, unsigned datasize) {
  const unsigned align = channels * bits / 8;
  return "RIFF" + le(datasize + 36, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(channels, 2) + le(rate, 4) +
         le(rate * align, 4) + le(align, 2) + le(bits, 2) + "data" + le(datasize, 4);
}

std::string sine_wav(unsigned samples, double hz) {
  std::string s = wav_header(1, 16000, 16, 2 * samples);
  for (unsigned i = 0; i < samples; ++i) {
    const double v = 0.5 * std::sin(2 * M_PI * hz * i / 16000.0);
    s += le(static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767))), 2);
  }
  return s;
}
