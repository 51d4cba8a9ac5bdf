// An open file owned by an object: opened on demand, closed on destruction.
#pragma once

#include <cstdio>
#include <string>

namespace velk {

class fileresource {
 public:
  // Stores the file name and the fopen mode; nothing is opened yet.
  fileresource(const std::string& filename, const std::string& mode);
  ~fileresource();
  fileresource(const fileresource&) = delete;
  fileresource& operator=(const fileresource&) = delete;

  // Opens the file (closing an earlier opening of it first); 0 when it opened, else -1.
  int get();

  FILE* fp() const { return fp_; }
  // True at end of file, and when no file is open.
  bool eof() const { return fp_ == nullptr || feof(fp_) != 0; }

 private:
  std::string filename_;
  std::string mode_;
  FILE* fp_;
};

}  // namespace velk
