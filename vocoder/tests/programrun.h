#pragma once
// Helpers of the tests that drive the vocoder programs: running a program with its standard
// output and exit status captured, a directory of the running test's own (removed with the
// process's other test files when the tests are done) and whole-file reads and writes.

#include <gtest/gtest.h>

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct Result {
  std::string out;
  int status;  // the exit status, -1 when the program did not exit normally
};

// Runs the program with the given arguments, capturing standard output and the exit status.
inline Result run(const char* program, const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) return {"", -1};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program, argv.data());
    _exit(127);
  }
  close(fds[1]);
  Result r{"", -1};
  char buffer[4096];
  ssize_t got;
  while ((got = read(fds[0], buffer, sizeof buffer)) > 0) r.out.append(buffer, static_cast<size_t>(got));
  close(fds[0]);
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.status = WEXITSTATUS(status);
  return r;
}

// The test files of this process, under the test temporary directory; its path ends in '/'.
inline std::string testfilesdir() {
  return testing::TempDir() + "velk_programs_" + std::to_string(getpid()) + "/";
}

// Removes this process's test files when the tests are done.
class TestFilesRemoval : public testing::Environment {
  void TearDown() override {
    nftw(
        testfilesdir().c_str(), [](const char* path, const struct stat*, int, FTW*) { return remove(path); },
        8, FTW_DEPTH | FTW_PHYS);
  }
};
inline testing::Environment* const testfilesremoval = testing::AddGlobalTestEnvironment(new TestFilesRemoval);

// An empty directory of the running test, so that tests run in parallel never share files; its
// path ends in '/'.
inline std::string testdir() {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  const std::string base = testfilesdir();
  const std::string dir = base + test->test_suite_name() + "." + test->name() + "/";
  mkdir(base.c_str(), 0755);
  mkdir(dir.c_str(), 0755);
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* entry = readdir(d)) unlink((dir + entry->d_name).c_str());
    closedir(d);
  }
  return dir;
}

inline std::string filebytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool exists(const std::string& path) {
  return std::ifstream(path).good();
}

// The 32-bit floats of a parameter file (a trailing partial value is left out).
inline std::vector<float> readfloats(const std::string& path) {
  const std::string bytes = filebytes(path);
  std::vector<float> v(bytes.size() / 4);
  if (!v.empty()) memcpy(v.data(), bytes.data(), 4 * v.size());
  return v;
}

inline void writefloats(const std::string& path, const std::vector<float>& v) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(v.data()), static_cast<std::streamsize>(4 * v.size()));
}
