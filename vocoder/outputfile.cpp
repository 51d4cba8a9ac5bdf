#include "outputfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace {

// Most symbolic links followed from one name, as the system itself allows.
const int maxlinks = 40;
// Longest part of the file's own name kept in the temporary's name, so that the temporary's
// name stays within the system's limit for a name.
const size_t maxtemporarystem = 200;
const int temporaryattempts = 100;

std::string directoryof(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameof(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name a chain of symbolic links leads to (the name itself when it is no link); a link's
// relative target is taken from the link's directory. A dangling chain gives its last target.
std::string followlinks(const char* path) {
  std::string name = path;
  for (int hop = 0; hop < maxlinks; ++hop) {
    struct stat st;
    if (lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    char target[PATH_MAX];
    const ssize_t length = readlink(name.c_str(), target, sizeof target - 1);
    if (length <= 0) break;
    const std::string to(target, static_cast<size_t>(length));
    name = to[0] == '/' ? to : directoryof(name) + "/" + to;
  }
  return name;
}

// Creates a new temporary beside the target, mode 0666 before the creation mask; -1 on failure.
int createtemporary(const std::string& target, std::string* temporary) {
  const std::string stem = directoryof(target) + "/." + nameof(target).substr(0, maxtemporarystem) + ".";
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  unsigned long mix = static_cast<unsigned long>(now.tv_nsec) ^ (static_cast<unsigned long>(getpid()) << 20);
  for (int attempt = 0; attempt < temporaryattempts; ++attempt) {
    mix = mix * 6364136223846793005ul + 1442695040888963407ul;
    char suffix[16];
    snprintf(suffix, sizeof suffix, "%06lx", (mix >> 40) & 0xffffff);
    *temporary = stem + suffix;
    const int fd = open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Device and inode of an existing regular file, or the directory's and the name's when the
// name does not exist yet; false for an existing file that is not regular.
struct fileidentity {
  dev_t device = 0;
  ino_t inode = 0;
  std::string entry;  // the name in its directory, for a file yet to be made
};

bool identify(const char* path, fileidentity* id) {
  struct stat st;
  if (stat(path, &st) == 0) {
    id->device = st.st_dev;
    id->inode = st.st_ino;
    return S_ISREG(st.st_mode);
  }
  const std::string target = followlinks(path);
  if (stat(directoryof(target).c_str(), &st) != 0) return false;
  id->device = st.st_dev;
  id->inode = st.st_ino;
  id->entry = nameof(target);
  return !id->entry.empty();
}

}  // namespace

FILE* outputopen(const char* path, outputfile* out) {
  out->file = nullptr;
  out->temporary.clear();
  if (!path) return nullptr;
  out->target = followlinks(path);
  struct stat st;
  const bool exists = stat(out->target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return out->file = fopen(out->target.c_str(), "wb");
  const int fd = createtemporary(out->target, &out->temporary);
  if (fd < 0) {
    // A directory the user may not add to: an existing file can still be written in place.
    const bool denied = errno == EACCES || errno == EPERM;
    out->temporary.clear();
    return out->file = exists && denied ? fopen(out->target.c_str(), "wb") : nullptr;
  }
  if (exists) fchmod(fd, st.st_mode & 07777);
  out->file = fdopen(fd, "wb");
  if (!out->file) {
    close(fd);
    unlink(out->temporary.c_str());
    out->temporary.clear();
  }
  return out->file;
}

int outputclose(outputfile* out, bool complete) {
  if (!out->file) return -1;
  const bool closed = fclose(out->file) == 0;
  out->file = nullptr;
  bool done = complete && closed;
  if (!out->temporary.empty()) {
    done = done && rename(out->temporary.c_str(), out->target.c_str()) == 0;
    if (!done) unlink(out->temporary.c_str());
    out->temporary.clear();
  }
  return done ? 0 : -1;
}

int samefile(const char* a, const char* b) {
  fileidentity x, y;
  if (!identify(a, &x) || !identify(b, &y)) return 0;
  return x.device == y.device && x.inode == y.inode && x.entry == y.entry ? 1 : 0;
}

int findoverwrite(uint32_t ninputs, const char* const* inputs, uint32_t noutputs, const char* const* outputs,
                  uint32_t* output, uint32_t* other) {
  for (uint32_t k = 0; k < noutputs; ++k) {
    if (!outputs[k]) continue;
    *output = k;
    for (*other = 0; *other < ninputs; ++*other)
      if (inputs[*other] && samefile(outputs[k], inputs[*other])) return 1;
    for (*other = 0; *other < k; ++*other)
      if (outputs[*other] && samefile(outputs[k], outputs[*other])) return 2;
  }
  return 0;
}
