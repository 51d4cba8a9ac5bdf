// Runs a program as a child process with a time limit, standard input from a file and its
// standard output and error captured, for the command-level bad-input tests.
#pragma once

#include <string>
#include <vector>

struct Outcome {
  bool exited = false;     // ended by exit (not by a signal, not stopped for the time limit)
  bool timed_out = false;  // killed after the time limit
  int status = -1;         // exit status when exited
  int signal = 0;          // terminating signal otherwise
  std::string out, err;
};

// Runs `program` with `args`; gives up and kills it after `seconds`.
Outcome run_program(const std::string& program, const std::vector<std::string>& args,
                    const std::string& input = "/dev/null", int seconds = 120);

// A directory removed with its contents when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  // Writes the bytes to a file of the directory and returns its path.
  std::string write(const std::string& name, const std::string& bytes) const;

 private:
  std::string dir_;
};

std::string file_contents(const std::string& path);
bool file_exists(const std::string& path);
long file_size(const std::string& path);  // -1 when missing

// Little-endian 32-bit floats, a 16 kHz mono 16-bit WAV file of a sinusoid, and a
// WAV header with chosen fields.
std::string float_bytes(const std::vector<float>& values);
std::string wav_header(unsigned channels, unsigned rate, unsigned bits, unsigned datasize);
std::string sine_wav(unsigned samples, double hz);
