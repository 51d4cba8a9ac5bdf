// An open file owned by an object: opened on demand, closed on destruction.
#ifndef VELK_PITCH_MARK_FILEHOLDER_H
#define VELK_PITCH_MARK_FILEHOLDER_H

#include <cstdio>
#include <string>

class FileResource {
 public:
  // Stores the file name and the fopen mode; nothing is opened yet.
  FileResource(const std::string& filename, const std::string& mode);
  ~FileResource();
  FileResource(const FileResource&) = delete;
  FileResource& operator=(const FileResource&) = delete;

  // Opens the file (closing an earlier opening of it first); true when it opened.
  bool Get();

  FILE* fp() const { return fp_; }
  // True at end of file, and when no file is open.
  bool eof() const { return fp_ == nullptr || feof(fp_) != 0; }

 private:
  std::string filename_;
  std::string mode_;
  FILE* fp_;
};

#endif
