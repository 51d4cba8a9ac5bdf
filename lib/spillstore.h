// Records of one fixed size, appended in order and read back by index: held in memory up to a
// given size, beyond it in a temporary file, so that a long signal costs disk rather than memory.
// The file is made with lib/tempfiles in the directory $TMPDIR names (else /tmp) and unlinked at
// once, so that nothing is left behind however the process ends. Reads of a file go through one
// window of records that moves with them, forward or backward.
#pragma once

#include <cstddef>
#include <vector>

namespace velk {

class spillstore {
 public:
  // record_size bytes per record; see reset for the other two.
  spillstore(size_t record_size, size_t memory_bytes, long window_records);
  ~spillstore();
  spillstore(const spillstore&) = delete;
  spillstore& operator=(const spillstore&) = delete;

  // Empties the store (its file, if any, goes). Records are held in memory until they would take
  // more than memory_bytes, then all are moved to a temporary file; a file is read window_records
  // (at least 1) records at a time, or more when a view asks for more.
  void reset(size_t memory_bytes, long window_records);

  long size() const { return count_; }

  // Each returns 0, or -1 when the temporary file cannot be made, written or read (errno set).
  //   records  in: n records appended after the last one
  int append(const void* records, long n);
  //   records  in: n records replacing those at index at .. at + n - 1 (all within the store)
  int write(long at, const void* records, long n);
  //   records  out: room for n records, copies of those at index at .. at + n - 1
  int read(long at, void* records, long n) const;

  // Records lo .. hi - 1 (0 <= lo < hi <= size()) in contiguous memory, valid until the next call
  // on the store; nullptr when the file cannot be read. A view below the window reads the window
  // that ends at hi, any other the window that starts at lo.
  const void* view(long lo, long hi) const;

 private:
  int spill();

  size_t record_size_;
  size_t memory_bytes_;
  long window_records_;
  long count_ = 0;
  std::vector<char> memory_;  // the records while they are held in memory
  int fd_ = -1;               // the temporary file once they are not
  mutable std::vector<char> window_;
  mutable long window_lo_ = 0, window_hi_ = 0;  // records of the file in window_
};

// A spillstore of records of type T (trivially copyable).
template <class T>
class spilled {
 public:
  spilled(size_t memory_bytes, long window_records) : store_(sizeof(T), memory_bytes, window_records) {}
  void reset(size_t memory_bytes, long window_records) { store_.reset(memory_bytes, window_records); }
  long size() const { return store_.size(); }
  int append(const T* x, long n) { return store_.append(x, n); }
  int write(long at, const T* x, long n) { return store_.write(at, x, n); }
  int read(long at, T* x, long n) const { return store_.read(at, x, n); }
  const T* view(long lo, long hi) const { return static_cast<const T*>(store_.view(lo, hi)); }

 private:
  spillstore store_;
};

}  // namespace velk
