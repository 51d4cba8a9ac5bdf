#include "tempfiles.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "childprocess.h"

using namespace velk;

namespace {

// Runs `body` in a child process and returns its wait status.
template <class Body>
int inchild(Body body) {
  const pid_t child = fork();
  if (child == 0) _exit(body());
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

TEST(TempFiles, NamesLieBesideTheTargetAndFitTheLimitForAName) {
  TempDir dir;
  std::string name;
  int entry = -2;
  const int fd = createtemporarybeside(dir.path("out.cc"), 0666, &name, &entry);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(name.substr(0, dir.dir().size() + 9), dir.dir() + "/.out.cc.");
  EXPECT_EQ(name.size(), dir.dir().size() + 15);
  EXPECT_GE(entry, 0);
  EXPECT_TRUE(file_exists(name));
  EXPECT_EQ(removetemporary(name, entry), 0);
  EXPECT_FALSE(file_exists(name));

  // A legal name of 255 bytes, and one of 253 whose last character takes two bytes.
  for (const std::string& own : {std::string(255, 'n'), std::string(251, 'n') + "\xc3\xa9"}) {
    const int made = createtemporarybeside(dir.path(own), 0666, &name, &entry);
    ASSERT_GE(made, 0) << own.size();
    close(made);
    const std::string base = name.substr(name.rfind('/') + 1);
    EXPECT_LE(base.size(), 255u);
    EXPECT_EQ(base.substr(0, 248), "." + std::string(247, 'n'));
    removetemporary(name, entry);
  }
  // A relative target gives a temporary in the working directory.
  const int relative = inchild([&] {
    if (chdir(dir.dir().c_str()) != 0) return 3;
    const int fd = createtemporarybeside("plain", 0666, &name, &entry);
    return fd >= 0 && name.substr(0, 7) == ".plain." && file_exists(dir.path(name)) ? 0 : 4;
  });
  EXPECT_TRUE(WIFEXITED(relative) && WEXITSTATUS(relative) == 0);
  EXPECT_EQ(std::system(("rm '" + dir.dir() + "'/.plain.*").c_str()), 0);

  const int in = createtemporaryin(dir.dir(), "pitch_input_", &name, &entry);
  ASSERT_GE(in, 0);
  close(in);
  EXPECT_EQ(name.substr(0, dir.dir().size() + 13), dir.dir() + "/pitch_input_");
  struct stat st;
  ASSERT_EQ(stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  removetemporary(name, entry);

  EXPECT_EQ(createtemporarybeside(dir.path("missing/x"), 0666, &name, &entry), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(entry, -1);
}

// Each of the four signals removes the registered temporaries, leaves a forgotten (renamed)
// one, and ends the process by that signal.
TEST(TempFiles, SignalsRemoveRegisteredTemporariesAndEndTheProcessByTheSignal) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    TempDir dir;
    const int status = inchild([&] {
      if (removetemporariesonsignals() != 0) return 3;
      std::string a, b, kept;
      int ea, eb, ek;
      for (int fd : {createtemporarybeside(dir.path("a"), 0666, &a, &ea),
                     createtemporaryin(dir.dir(), "scratch_", &b, &eb),
                     createtemporarybeside(dir.path("kept"), 0666, &kept, &ek)})
        if (fd < 0) return 4;
      if (rename(kept.c_str(), dir.path("kept").c_str()) != 0) return 5;
      forgettemporary(ek);
      raise(sig);
      return 6;
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << sig << " " << status;
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_EQ(std::system(("test \"$(ls -A '" + dir.dir() + "')\" = kept").c_str()), 0) << sig;
  }
}

TEST(TempFiles, AnIgnoredSignalStaysIgnoredAndFileSizeLimitsGiveEfbig) {
  TempDir dir;
  const int status = inchild([&] {
    signal(SIGHUP, SIG_IGN);
    if (removetemporariesonsignals() != 0) return 3;
    raise(SIGHUP);
    const struct rlimit limit = {1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string name;
    int entry;
    const int fd = createtemporarybeside(dir.path("big"), 0666, &name, &entry);
    const std::vector<char> bytes(4096, 'x');
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    const bool partial = written == 1000 && write(fd, bytes.data(), bytes.size()) < 0 && errno == EFBIG;
    removetemporary(name, entry);
    return partial ? 0 : 7;
  });
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Beyond the table's entries temporaries are still made, unregistered; forgetting frees entries.
TEST(TempFiles, AFullRegistryStillMakesTemporaries) {
  TempDir dir;
  std::vector<std::string> names(temporaryslots + 1);
  std::vector<int> entries(temporaryslots + 1);
  for (int k = 0; k <= temporaryslots; ++k) {
    const int fd = createtemporarybeside(dir.path("f"), 0666, &names[k], &entries[k]);
    ASSERT_GE(fd, 0);
    close(fd);
  }
  EXPECT_EQ(entries[temporaryslots], -1);
  for (int k = 0; k < temporaryslots; ++k) EXPECT_GE(entries[k], 0);
  removetemporary(names[0], entries[0]);
  std::string again;
  int entry = -1;
  close(createtemporarybeside(dir.path("f"), 0666, &again, &entry));
  EXPECT_EQ(entry, entries[0]);
  for (int k = 1; k <= temporaryslots; ++k) removetemporary(names[k], entries[k]);
  removetemporary(again, entry);
  EXPECT_EQ(std::system(("test -z \"$(ls -A '" + dir.dir() + "')\"").c_str()), 0);
}

}  // namespace
