#include "outputfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "tempfiles.h"

namespace velk {

namespace {

// Most symbolic links followed from one name, as the system itself allows.
const int maxlinks = 40;

std::string directoryof(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameof(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The descriptor number that ends `name` after `prefix`, or -1 when the rest is no number.
int descriptorafter(const std::string& name, const char* prefix) {
  const size_t length = strlen(prefix);
  if (name.compare(0, length, prefix) != 0 || name.size() == length || name.size() > length + 9) return -1;
  int fd = 0;
  for (size_t k = length; k < name.size(); ++k) {
    if (name[k] < '0' || name[k] > '9') return -1;
    fd = fd * 10 + (name[k] - '0');
  }
  return fd;
}

// The open descriptor that a name stands for (/dev/stdout and the like), or -1.
int aliasdescriptor(const std::string& name) {
  if (name == "/dev/stdin") return 0;
  if (name == "/dev/stdout") return 1;
  if (name == "/dev/stderr") return 2;
  const std::string own = "/proc/" + std::to_string(getpid()) + "/fd/";
  for (const char* prefix : {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/", own.c_str()}) {
    const int fd = descriptorafter(name, prefix);
    if (fd >= 0) return fd;
  }
  return -1;
}

// Follows a chain of symbolic links from `path` (a link's relative target is taken from the
// link's directory): the descriptor of the first name on the way that stands for one, or -1 with
// *name the last name of the chain (the name itself when it is no link; a dangling chain gives
// its last target).
int followlinks(const char* path, std::string* name) {
  *name = path;
  for (int hop = 0;; ++hop) {
    const int fd = aliasdescriptor(*name);
    if (fd >= 0) return fd;
    struct stat st;
    if (hop == maxlinks || lstat(name->c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return -1;
    char target[PATH_MAX];
    const ssize_t length = readlink(name->c_str(), target, sizeof target - 1);
    if (length <= 0) return -1;
    const std::string to(target, static_cast<size_t>(length));
    *name = to[0] == '/' ? to : directoryof(*name) + "/" + to;
  }
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
  std::string target;
  followlinks(path, &target);
  if (stat(directoryof(target).c_str(), &st) != 0) return false;
  id->device = st.st_dev;
  id->inode = st.st_ino;
  id->entry = nameof(target);
  return !id->entry.empty();
}

// Whether the existing regular file may be replaced: the process may write it (not immutable,
// not on a read-only file system, permitted), and it has a write bit at all. errno tells why not.
bool replaceable(const std::string& path, const struct stat& st) {
  if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return false;
  if ((st.st_mode & 0222) != 0) return true;
  errno = EACCES;
  return false;
}

// How an output of a set took its file's name, for the undo.
enum class renaming { direct, exchanged, created, replaced };

// Gives the finished temporary the file's name: an existing file is exchanged with it, a new
// file is made only where none stands; a file system that cannot do either renames plainly.
// false (errno) when the name cannot be taken, as when something other than a regular file
// took the file's place meanwhile (EISDIR for a directory, EEXIST otherwise).
bool taketargetname(const outputfile& out, renaming* how) {
  *how = renaming::direct;
  if (out.temporary.empty()) return true;
  const char* from = out.temporary.c_str();
  const char* to = out.target.c_str();
  struct stat st;
  if (lstat(to, &st) == 0 && !S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
    return false;
  }
  *how = renaming::exchanged;
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE) == 0) return true;
  *how = renaming::created;
  if (errno == ENOENT && renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  *how = renaming::replaced;
  return rename(from, to) == 0;
}

// Undoes taketargetname: the file's earlier contents back under its name, the new ones under the
// temporary's. A plain rename cannot be undone: its temporary is gone.
void restoretarget(outputfile* out, renaming how) {
  const char* temporary = out->temporary.c_str();
  const char* target = out->target.c_str();
  if (how == renaming::exchanged) renameat2(AT_FDCWD, temporary, AT_FDCWD, target, RENAME_EXCHANGE);
  if (how == renaming::created) rename(target, temporary);
  if (how == renaming::replaced) {
    forgettemporary(out->entry);
    out->temporary.clear();
  }
}

// The end of a committed output: the temporary's name, which holds the earlier file after an
// exchange, is removed or forgotten.
void settle(outputfile* out, renaming how) {
  if (how == renaming::direct) return;
  if (how == renaming::exchanged)
    removetemporary(out->temporary, out->entry);
  else
    forgettemporary(out->entry);
  out->temporary.clear();
}

// A stream on a copy of an open descriptor: it writes wherever, and in whatever mode, the
// descriptor's opener chose.
FILE* opendescriptor(int fd) {
  const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (copy < 0) return nullptr;
  FILE* file = fdopen(copy, "wb");
  if (!file) close(copy);
  return file;
}

}  // namespace

FILE* outputopen(const char* path, outputfile* out) {
  out->file = nullptr;
  out->temporary.clear();
  out->entry = -1;
  if (!path) return nullptr;
  const int alias = followlinks(path, &out->target);
  if (alias >= 0) return out->file = opendescriptor(alias);
  struct stat st;
  const bool exists = stat(out->target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return out->file = fopen(out->target.c_str(), "wb");
  if (exists && !replaceable(out->target, st)) return nullptr;
  const int fd = createtemporarybeside(out->target, 0666, &out->temporary, &out->entry);
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
    removetemporary(out->temporary, out->entry);
    out->temporary.clear();
  }
  return out->file;
}

int outputfinish(outputfile* out, bool complete) {
  if (!out->file) return -1;
  const bool closed = fclose(out->file) == 0;
  out->file = nullptr;
  if (complete && closed) return 0;
  outputdiscard(out);
  return -1;
}

int outputcommit(outputfile* out) {
  if (out->temporary.empty()) return 0;
  const bool renamed = rename(out->temporary.c_str(), out->target.c_str()) == 0;
  if (renamed)
    forgettemporary(out->entry);
  else
    removetemporary(out->temporary, out->entry);
  out->temporary.clear();
  return renamed ? 0 : -1;
}

int outputdiscard(outputfile* out) {
  if (out->temporary.empty()) return 0;
  removetemporary(out->temporary, out->entry);
  out->temporary.clear();
  return 1;
}

int outputcommitset(outputfile* const* outs, uint32_t n, uint32_t* failed) {
  std::vector<renaming> done(n, renaming::direct);
  for (uint32_t k = 0; k < n; ++k) {
    if (taketargetname(*outs[k], &done[k])) continue;
    const int error = errno;
    for (uint32_t j = k; j-- > 0;) restoretarget(outs[j], done[j]);
    *failed = k;
    errno = error;
    return -1;
  }
  for (uint32_t k = 0; k < n; ++k) settle(outs[k], done[k]);
  return 0;
}

int outputclose(outputfile* out, bool complete) {
  if (outputfinish(out, complete) != 0) return -1;
  return outputcommit(out);
}

int outputnamesfile(const char* path) {
  std::string target;
  if (!path || followlinks(path, &target) >= 0) return 0;
  struct stat st;
  return stat(target.c_str(), &st) != 0 || S_ISREG(st.st_mode) ? 1 : 0;
}

int namesstandardoutput(const char* path) {
  std::string target;
  if (!path) return 0;
  if (followlinks(path, &target) == 1) return 1;
  struct stat named, standard;
  if (stat(path, &named) != 0 || fstat(1, &standard) != 0) return 0;
  return named.st_dev == standard.st_dev && named.st_ino == standard.st_ino ? 1 : 0;
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

}  // namespace velk
