#include "outputfile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "childprocess.h"

using namespace velk;

namespace {

std::string written(const std::string& path, const std::string& bytes, bool complete, int* result) {
  outputfile out;
  FILE* f = outputopen(path.c_str(), &out);
  if (!f) {
    *result = -2;
    return "";
  }
  fwrite(bytes.data(), 1, bytes.size(), f);
  *result = outputclose(&out, complete);
  return file_contents(path);
}

TEST(OutputFile, ReplacesWholeOnlyWhenCompleteAndLeavesNoTemporary) {
  TempDir dir;
  const std::string path = dir.write("f", "old");
  int result = 0;
  EXPECT_EQ(written(path, "abandoned", false, &result), "old");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(written(path, "new", true, &result), "new");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(written(dir.path("fresh"), "x", true, &result), "x");
  EXPECT_EQ(std::system(("test $(ls -A '" + dir.dir() + "' | wc -l) -eq 2").c_str()), 0);
  EXPECT_EQ(written(dir.path("nodir/f"), "x", true, &result), "");
  EXPECT_EQ(result, -2);
}

// A name that is a symbolic link replaces the file it leads to and stays a link.
TEST(OutputFile, FollowsSymbolicLinks) {
  TempDir dir;
  const std::string target = dir.write("target", "old");
  ASSERT_EQ(symlink("target", dir.path("link").c_str()), 0);
  int result = 0;
  EXPECT_EQ(written(dir.path("link"), "new", true, &result), "new");
  EXPECT_EQ(file_contents(target), "new");
  struct stat st;
  ASSERT_EQ(lstat(dir.path("link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(symlink("later", dir.path("dangling").c_str()), 0);
  EXPECT_EQ(written(dir.path("dangling"), "made", true, &result), "made");
  EXPECT_EQ(file_contents(dir.path("later")), "made");
}

TEST(OutputFile, SameFileThroughNamesLinksAndNotYetMadeEntries) {
  TempDir dir;
  const std::string a = dir.write("a", "x"), b = dir.write("b", "x");
  ASSERT_EQ(symlink(a.c_str(), dir.path("sym").c_str()), 0);
  ASSERT_EQ(link(a.c_str(), dir.path("hard").c_str()), 0);
  EXPECT_EQ(samefile(a.c_str(), dir.path("sym").c_str()), 1);
  EXPECT_EQ(samefile(dir.path("hard").c_str(), a.c_str()), 1);
  EXPECT_EQ(samefile((dir.dir() + "/./a").c_str(), a.c_str()), 1);
  EXPECT_EQ(samefile(a.c_str(), b.c_str()), 0);
  EXPECT_EQ(samefile(dir.path("new").c_str(), (dir.dir() + "/./new").c_str()), 1);
  EXPECT_EQ(samefile(dir.path("new").c_str(), dir.path("other").c_str()), 0);
  EXPECT_EQ(samefile(dir.path("new").c_str(), a.c_str()), 0);
  EXPECT_EQ(samefile("/dev/null", "/dev/null"), 0);  // no regular file
  const char* inputs[] = {a.c_str(), nullptr};
  const std::string sym = dir.path("sym");
  const char* outputs[] = {b.c_str(), nullptr, sym.c_str(), b.c_str()};
  uint32_t output = 9, other = 9;
  EXPECT_EQ(findoverwrite(2, inputs, 4, outputs, &output, &other), 1);
  EXPECT_EQ(output, 2u);
  EXPECT_EQ(other, 0u);
  const char* twice[] = {b.c_str(), b.c_str()};
  EXPECT_EQ(findoverwrite(2, inputs, 2, twice, &output, &other), 2);
  EXPECT_EQ(output, 1u);
  EXPECT_EQ(other, 0u);
}

// Names that stand for an open descriptor are written through it, in its opener's mode; the
// file behind it is not replaced.
TEST(OutputFile, DescriptorNamesWriteThroughTheDescriptor) {
  TempDir dir;
  const std::string path = dir.write("log", "old");
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 3);
  struct stat before;
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  int result = 0;
  for (const std::string& name : {"/dev/fd/" + std::to_string(fd), "/proc/self/fd/" + std::to_string(fd)})
    written(name, "+", true, &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(file_contents(path), "old++");
  struct stat after;
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  // a link to the alias is an alias too
  ASSERT_EQ(symlink(("/dev/fd/" + std::to_string(fd)).c_str(), dir.path("link").c_str()), 0);
  written(dir.path("link"), "!", true, &result);
  EXPECT_EQ(file_contents(path), "old++!");
  close(fd);
  outputfile out;
  EXPECT_EQ(outputopen(("/dev/fd/" + std::to_string(fd)).c_str(), &out), nullptr);  // closed now
  EXPECT_EQ(namesstandardoutput("/dev/stdout"), 1);
  EXPECT_EQ(namesstandardoutput("/dev/fd/1"), 1);
  EXPECT_EQ(namesstandardoutput(path.c_str()), 0);
  EXPECT_EQ(std::system(("test $(ls -A '" + dir.dir() + "' | wc -l) -eq 2").c_str()), 0);
}

// A set: finished outputs keep their temporaries until committed or discarded.
TEST(OutputFile, SetsAreCommittedOrDiscardedWhole) {
  TempDir dir;
  const std::string a = dir.write("a", "oldA"), b = dir.write("b", "oldB");
  outputfile outs[2];
  for (outputfile& out : outs) ASSERT_NE(outputopen((&out == outs ? a : b).c_str(), &out), nullptr);
  fputs("newA", outs[0].file);
  fputs("newB", outs[1].file);
  EXPECT_EQ(outputfinish(&outs[0], true), 0);
  EXPECT_EQ(outputfinish(&outs[1], false), -1);
  EXPECT_EQ(file_contents(a), "oldA");
  EXPECT_EQ(outputdiscard(&outs[0]), 1);
  EXPECT_EQ(outputdiscard(&outs[1]), 0);
  EXPECT_EQ(file_contents(a), "oldA");
  EXPECT_EQ(file_contents(b), "oldB");
  EXPECT_EQ(std::system(("test $(ls -A '" + dir.dir() + "' | wc -l) -eq 2").c_str()), 0);
  ASSERT_NE(outputopen(a.c_str(), &outs[0]), nullptr);
  fputs("newA", outs[0].file);
  EXPECT_EQ(outputfinish(&outs[0], true), 0);
  EXPECT_EQ(file_contents(a), "oldA");
  EXPECT_EQ(outputcommit(&outs[0]), 0);
  EXPECT_EQ(file_contents(a), "newA");
  EXPECT_EQ(std::system(("test $(ls -A '" + dir.dir() + "' | wc -l) -eq 2").c_str()), 0);
}

}  // namespace

namespace {

// Whether `chattr` can make files immutable here (it needs the privilege and a file system that
// keeps the flag).
bool immutablefiles(const TempDir& dir) {
  const std::string probe = dir.write("probe", "");
  const bool made = std::system(("chattr +i '" + probe + "' 2>/dev/null").c_str()) == 0;
  if (made) std::system(("chattr -i '" + probe + "'").c_str());
  unlink(probe.c_str());
  return made;
}

// Opens, writes and finishes an output of a set.
void finished(const std::string& path, const char* bytes, outputfile* out) {
  ASSERT_NE(outputopen(path.c_str(), out), nullptr) << path;
  fputs(bytes, out->file);
  ASSERT_EQ(outputfinish(out, true), 0) << path;
}

}  // namespace

// A file that may not be written is not replaced behind its back by a rename: one without write
// permission for the process, or without any write bit (also for a process whose privileges
// override the bits), or immutable.
TEST(OutputFile, WriteProtectedFilesAreRefused) {
  TempDir dir;
  const std::string path = dir.write("f", "old");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  outputfile out;
  errno = 0;
  EXPECT_EQ(outputopen(path.c_str(), &out), nullptr);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(file_contents(path), "old");
  ASSERT_EQ(symlink("f", dir.path("link").c_str()), 0);
  EXPECT_EQ(outputopen(dir.path("link").c_str(), &out), nullptr);
  EXPECT_EQ(std::system(("test $(ls -A '" + dir.dir() + "' | wc -l) -eq 2").c_str()), 0);
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  int result = 0;
  EXPECT_EQ(written(path, "new", true, &result), "new");
  if (!immutablefiles(dir)) GTEST_SKIP() << "chattr +i is not available here";
  ASSERT_EQ(std::system(("chattr +i '" + path + "'").c_str()), 0);
  errno = 0;
  EXPECT_EQ(outputopen(path.c_str(), &out), nullptr);
  EXPECT_EQ(errno, EPERM);
  std::system(("chattr -i '" + path + "'").c_str());
  EXPECT_EQ(file_contents(path), "new");
}

// A set whose last file cannot be replaced (a directory took its place after it was written)
// keeps every earlier file, the ones renamed before the failure included; a new file of the set
// is not left behind. The temporaries stay for the caller to discard.
TEST(OutputFile, ASetIsCommittedWholeOrNotAtAll) {
  TempDir dir;
  const std::string a = dir.write("a", "oldA"), fresh = dir.path("fresh"), b = dir.write("b", "oldB");
  outputfile outs[3];
  finished(a, "newA", &outs[0]);
  finished(fresh, "newF", &outs[1]);
  finished(b, "newB", &outs[2]);
  ASSERT_EQ(unlink(b.c_str()), 0);
  ASSERT_EQ(mkdir(b.c_str(), 0755), 0);
  dir.write("b/inside", "x");
  outputfile* set[] = {&outs[0], &outs[1], &outs[2]};
  uint32_t failed = 9;
  EXPECT_EQ(outputcommitset(set, 3, &failed), -1);
  EXPECT_EQ(failed, 2u);
  EXPECT_EQ(file_contents(a), "oldA");
  EXPECT_FALSE(file_exists(fresh));
  for (outputfile& out : outs) EXPECT_EQ(outputdiscard(&out), 1);
  EXPECT_EQ(std::system(("test $(ls -A '" + dir.dir() + "' | wc -l) -eq 2").c_str()), 0);

  ASSERT_EQ(std::system(("rm -r '" + b + "'").c_str()), 0);
  dir.write("b", "oldB");
  finished(a, "newA", &outs[0]);
  finished(fresh, "newF", &outs[1]);
  finished(b, "newB", &outs[2]);
  EXPECT_EQ(outputcommitset(set, 3, &failed), 0);
  EXPECT_EQ(file_contents(a) + file_contents(fresh) + file_contents(b), "newAnewFnewB");
  EXPECT_EQ(std::system(("test $(ls -A '" + dir.dir() + "' | wc -l) -eq 3").c_str()), 0);
}

// A file made immutable after its set was written: the set keeps its old files.
TEST(OutputFile, AnImmutableMemberKeepsTheSetAsItWas) {
  TempDir dir;
  if (!immutablefiles(dir)) GTEST_SKIP() << "chattr +i is not available here";
  const std::string a = dir.write("a", "oldA"), b = dir.write("b", "oldB");
  outputfile outs[2];
  finished(a, "newA", &outs[0]);
  finished(b, "newB", &outs[1]);
  ASSERT_EQ(std::system(("chattr +i '" + b + "'").c_str()), 0);
  outputfile* set[] = {&outs[0], &outs[1]};
  uint32_t failed = 9;
  errno = 0;
  EXPECT_EQ(outputcommitset(set, 2, &failed), -1);
  EXPECT_EQ(errno, EPERM);
  std::system(("chattr -i '" + b + "'").c_str());
  EXPECT_EQ(failed, 1u);
  EXPECT_EQ(file_contents(a), "oldA");
  EXPECT_EQ(file_contents(b), "oldB");
  for (outputfile& out : outs) outputdiscard(&out);
}
