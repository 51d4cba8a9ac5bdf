#pragma once
// The one way the tests run a program: a child process with its standard input given as bytes
// or as a file, its standard output and standard error captured, its exit status or signal, a
// hang guard, and optional memory and file-size limits; or started, to be acted on while it runs,
// and waited for later. Also the scratch directories and the
// file and float-stream helpers the program tests share.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// A directory removed with its contents when the object goes away.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/velktestXXXXXX";
    const char* made = mkdtemp(tmpl);
    if (made == nullptr) std::abort();
    dir_ = made;
  }
  ~TempDir() {
    // Tests make some entries unwritable; restore the rights before removing.
    std::system(("chmod -R u+rwx '" + dir_ + "' 2>/dev/null; rm -rf '" + dir_ + "'").c_str());
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& dir() const { return dir_; }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  // Writes the bytes to a file of the directory and returns its path.
  std::string write(const std::string& name, const std::string& bytes) const {
    const std::string p = path(name);
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }

 private:
  std::string dir_;
};

inline std::string file_contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool file_exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// -1 when the file is missing.
inline long file_size(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// Little-endian 32-bit floats as stream bytes, and back (a trailing partial value is left out).
inline std::string float_bytes(const std::vector<float>& values) {
  std::string s;
  for (float f : values) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    for (int k = 0; k < 4; ++k) s.push_back(static_cast<char>(bits >> (8 * k)));
  }
  return s;
}

inline std::vector<float> floats_of(const std::string& bytes) {
  std::vector<float> v(bytes.size() / 4);
  for (size_t i = 0; i < v.size(); ++i) {
    uint32_t bits = 0;
    for (int k = 0; k < 4; ++k) bits |= uint32_t(static_cast<unsigned char>(bytes[4 * i + k])) << (8 * k);
    std::memcpy(&v[i], &bits, 4);
  }
  return v;
}

// The arguments of a command line written as words separated by spaces (no quoting).
inline std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> w;
  size_t begin = line.find_first_not_of(' ');
  while (begin != std::string::npos) {
    const size_t end = line.find(' ', begin);
    w.push_back(line.substr(begin, end - begin));
    begin = line.find_first_not_of(' ', end);
  }
  return w;
}

// How a program is run. The standard input is `input` (bytes) unless `inputfile` names a file;
// the child is killed after `seconds`; non-zero limits are set with setrlimit in the child
// (address space and file size in bytes; a write past the file-size limit fails with EFBIG);
// each entry of `environment` is NAME=value, set in the child, or a bare NAME, removed there.
struct RunSettings {
  std::string input;
  std::string inputfile;
  int seconds = 120;
  uint64_t memorylimit = 0;
  uint64_t filesizelimit = 0;
  std::vector<std::string> environment;
};

// The settings of a run whose standard input is the given bytes.
inline RunSettings stdin_bytes(const std::string& bytes) {
  RunSettings how;
  how.input = bytes;
  return how;
}

struct RunResult {
  bool exited = false;    // ended by exit, not by a signal nor killed for the time limit
  bool timedout = false;  // killed after the time limit
  int status = -1;        // exit status when exited
  int signal = 0;         // terminating signal otherwise
  std::string out;        // standard output bytes
  std::string err;        // standard error bytes
};

namespace childprocess {

inline void redirect(const std::string& path, int fd, int flags) {
  const int opened = open(path.c_str(), flags, 0644);
  if (opened < 0 || dup2(opened, fd) < 0) _exit(126);
  close(opened);
}

inline void setenvironment(const std::vector<std::string>& entries) {
  for (const std::string& e : entries) {
    const size_t eq = e.find('=');
    if (eq == std::string::npos)
      unsetenv(e.c_str());
    else
      setenv(e.substr(0, eq).c_str(), e.c_str() + eq + 1, 1);
  }
}

inline void limit(int resource, uint64_t bytes) {
  if (bytes == 0) return;
  const struct rlimit r = {static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  if (setrlimit(resource, &r) != 0) _exit(126);
}

}  // namespace childprocess

// A program started by start_program and not yet waited for; its standard streams are files of
// `capture`.
struct StartedProgram {
  pid_t pid = -1;
  int seconds = 120;
  std::unique_ptr<TempDir> capture;
};

// Starts `program` with `args` (no shell involved; a name without '/' is looked up in PATH) and
// returns at once, so that the test can act on the running program (send it a signal); the
// standard input opens in the child, so a FIFO given as `how.inputfile` does not block here.
inline StartedProgram start_program(const std::string& program, const std::vector<std::string>& args,
                                    const RunSettings& how = RunSettings()) {
  StartedProgram p;
  p.seconds = how.seconds;
  p.capture = std::make_unique<TempDir>();
  const std::string in = how.inputfile.empty() ? p.capture->write("in", how.input) : how.inputfile;
  const std::string out = p.capture->path("out"), err = p.capture->path("err");
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  p.pid = fork();
  if (p.pid == 0) {
    childprocess::redirect(in, 0, O_RDONLY);
    childprocess::redirect(out, 1, O_WRONLY | O_CREAT | O_TRUNC);
    childprocess::redirect(err, 2, O_WRONLY | O_CREAT | O_TRUNC);
    childprocess::limit(RLIMIT_AS, how.memorylimit);
    childprocess::limit(RLIMIT_FSIZE, how.filesizelimit);
    if (how.filesizelimit != 0) signal(SIGXFSZ, SIG_IGN);
    childprocess::setenvironment(how.environment);
    execvp(program.c_str(), argv.data());
    _exit(127);
  }
  return p;
}

// Waits for a started program, at most its `seconds` from now, and gives the outcome.
inline RunResult wait_program(StartedProgram* p) {
  RunResult r;
  if (p->pid < 0) return r;
  int raw = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(p->seconds);
  while (waitpid(p->pid, &raw, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(p->pid, SIGKILL);
      waitpid(p->pid, &raw, 0);
      r.timedout = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  p->pid = -1;
  if (!r.timedout) {
    r.exited = WIFEXITED(raw);
    r.status = r.exited ? WEXITSTATUS(raw) : -1;
    r.signal = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
  }
  r.out = file_contents(p->capture->path("out"));
  r.err = file_contents(p->capture->path("err"));
  return r;
}

// Runs `program` with `args` and waits for it, at most `how.seconds`.
inline RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                             const RunSettings& how = RunSettings()) {
  StartedProgram p = start_program(program, args, how);
  return wait_program(&p);
}
