// Runs a built command as a child process for end-to-end tests: standard input from a file,
// standard output and standard error captured, exit status returned.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct CommandResult {
  int status = -1;  // exit status, -1 when the command did not exit normally
  std::string out;  // standard output bytes
  std::string err;  // standard error text
};

// A scratch directory removed with its files when the object goes away.
class ScratchDir {
 public:
  ScratchDir() {
    char tmpl[] = "/tmp/velkcmdXXXXXX";
    const char* made = mkdtemp(tmpl);
    path_ = made != nullptr ? made : "/tmp";
  }
  ~ScratchDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string file(const std::string& name) const { return path_ + "/" + name; }

  std::string write(const std::string& name, const std::string& bytes) const {
    const std::string p = file(name);
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }

 private:
  std::string path_;
};

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs `program args` (args already quoted for the shell) with standard input from `input`.
inline CommandResult run_command(const std::string& program, const std::string& args,
                                 const std::string& input) {
  ScratchDir dir;
  const std::string in = dir.write("stdin", input);
  const std::string cmd = "'" + program + "' " + args + " < '" + in + "' > '" + dir.file("out") + "' 2> '" +
                          dir.file("err") + "'";
  const int raw = std::system(cmd.c_str());
  CommandResult r;
  r.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
  r.out = read_file(dir.file("out"));
  r.err = read_file(dir.file("err"));
  return r;
}

// Little-endian 32-bit float samples as stream bytes, and back.
inline std::string float_bytes(const std::vector<float>& v) {
  std::string s;
  for (float f : v) {
    unsigned char b[4];
    static_assert(sizeof(float) == 4, "32-bit floats expected");
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    for (int k = 0; k < 4; k++) b[k] = static_cast<unsigned char>(bits >> (8 * k));
    s.append(reinterpret_cast<const char*>(b), 4);
  }
  return s;
}

inline std::vector<float> floats_of(const std::string& s) {
  std::vector<float> v(s.size() / 4);
  for (size_t i = 0; i < v.size(); i++) {
    std::uint32_t bits = 0;
    for (int k = 0; k < 4; k++) bits |= std::uint32_t(static_cast<unsigned char>(s[4 * i + k])) << (8 * k);
    std::memcpy(&v[i], &bits, 4);
  }
  return v;
}
