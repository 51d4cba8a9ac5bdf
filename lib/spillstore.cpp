#include "spillstore.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tempfiles.h"

namespace velk {

namespace {

// The directory of temporary files: $TMPDIR, else /tmp.
std::string temporarydirectory() {
  const char* dir = getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

// A new temporary file open for reading and writing, already unlinked; -1 with errno set.
int openunlinkedtemporary() {
  std::string name;
  int entry;
  const int created = createtemporaryin(temporarydirectory(), "velk_spill_", &name, &entry);
  if (created < 0) return -1;
  const int fd = open(name.c_str(), O_RDWR | O_CLOEXEC);
  const int saved = errno;
  close(created);
  removetemporary(name, entry);
  errno = saved;
  return fd;
}

int writeall(int fd, const char* bytes, size_t n, off_t at) {
  while (n > 0) {
    const ssize_t w = pwrite(fd, bytes, n, at);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return -1;
    bytes += w;
    n -= (size_t)w;
    at += w;
  }
  return 0;
}

int readall(int fd, char* bytes, size_t n, off_t at) {
  while (n > 0) {
    const ssize_t r = pread(fd, bytes, n, at);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) {
      errno = EIO;  // the file is shorter than the records it holds
      return -1;
    }
    bytes += r;
    n -= (size_t)r;
    at += r;
  }
  return 0;
}

}  // namespace

spillstore::spillstore(size_t record_size, size_t memory_bytes, long window_records)
    : record_size_(record_size) {
  reset(memory_bytes, window_records);
}

spillstore::~spillstore() {
  if (fd_ >= 0) close(fd_);
}

void spillstore::reset(size_t memory_bytes, long window_records) {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  memory_bytes_ = memory_bytes;
  window_records_ = std::max(1L, window_records);
  count_ = 0;
  std::vector<char>().swap(memory_);
  std::vector<char>().swap(window_);
  window_lo_ = window_hi_ = 0;
}

int spillstore::spill() {
  fd_ = openunlinkedtemporary();
  if (fd_ < 0 || writeall(fd_, memory_.data(), memory_.size(), 0) != 0) return -1;
  std::vector<char>().swap(memory_);
  return 0;
}

int spillstore::append(const void* records, long n) {
  const size_t bytes = (size_t)n * record_size_;
  if (fd_ < 0 && memory_.size() + bytes > memory_bytes_ && spill() != 0) return -1;
  if (fd_ < 0) {
    const char* from = static_cast<const char*>(records);
    memory_.insert(memory_.end(), from, from + bytes);
  } else if (writeall(fd_, static_cast<const char*>(records), bytes, (off_t)(count_ * record_size_)) != 0) {
    return -1;
  }
  count_ += n;
  return 0;
}

int spillstore::write(long at, const void* records, long n) {
  const size_t bytes = (size_t)n * record_size_;
  if (fd_ < 0) {
    memcpy(memory_.data() + (size_t)at * record_size_, records, bytes);
    return 0;
  }
  window_lo_ = window_hi_ = 0;  // what the window holds may be stale now
  return writeall(fd_, static_cast<const char*>(records), bytes, (off_t)(at * record_size_));
}

int spillstore::read(long at, void* records, long n) const {
  const size_t bytes = (size_t)n * record_size_;
  if (fd_ < 0) {
    memcpy(records, memory_.data() + (size_t)at * record_size_, bytes);
    return 0;
  }
  return readall(fd_, static_cast<char*>(records), bytes, (off_t)(at * record_size_));
}

const void* spillstore::view(long lo, long hi) const {
  if (fd_ < 0) return memory_.data() + (size_t)lo * record_size_;
  if (lo < window_lo_ || hi > window_hi_) {
    const long length = std::max(hi - lo, window_records_);
    const long start = lo < window_lo_ ? std::max(0L, hi - length) : lo;
    const long end = std::min(count_, start + length);
    window_.resize((size_t)(end - start) * record_size_);
    window_lo_ = window_hi_ = 0;
    if (read(start, window_.data(), end - start) != 0) return nullptr;
    window_lo_ = start;
    window_hi_ = end;
  }
  return window_.data() + (size_t)(lo - window_lo_) * record_size_;
}

}  // namespace velk
