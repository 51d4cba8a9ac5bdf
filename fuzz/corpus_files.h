// The kept inputs of a fuzz target, for the replay tests.
#pragma once

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The kept inputs of the target, the files of fuzz/corpus/<target>/, in name order.
inline std::vector<std::string> corpus_files(const std::string& target) {
  const std::string dir = std::string(FUZZ_DIR) + "/corpus/" + target;
  std::vector<std::string> files;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d))
      if (e->d_name[0] != '.') files.push_back(dir + "/" + e->d_name);
    closedir(d);
  }
  std::sort(files.begin(), files.end());
  return files;
}

inline std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
