#pragma once
// Parameter files read and 16-bit WAV files written block by block, so that a long file set passes
// through memory bounded by the block: the same values and bytes as the whole-file reader and
// writer (fdoubleio.h, wavm1616io.h). Built on outputfile and wavm1616io.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "outputfile.h"

namespace velk {

// Reads up to n values (32-bit floats, widened exactly) from an open parameter file into values
// (n doubles, caller's); returns the count read, fewer than n only at the end of the file or on
// an error (ferror tells which).
uint32_t fdoublereadblock(FILE* file, double* values, uint32_t n);

// The streams of a parameter set in regular files (log-F0, cepstra of `order`, and maximum voiced
// frequencies or none), read setblockframes frames at a time, pass after pass from the first frame.
const uint32_t setblockframes = 1024;
struct setblocks {
  FILE* file[3] = {nullptr, nullptr, nullptr};  // log-F0, cepstra, voicing (null: none)
  uint32_t frames = 0;                          // frames of the set
  uint32_t order = 0;
  std::vector<double> lf0, cc, fv;  // one block
  setblocks() = default;
  setblocks(const setblocks&) = delete;
  setblocks& operator=(const setblocks&) = delete;
  ~setblocks();  // closes the files
};
// Sizes the block buffers once files, frames and order are set.
void setblocksprepare(setblocks* b);
// Reads frames [done, done + n) of the pass into the block; -1 and the failing file's index in
// *unread when a file ends early or fails, else 0.
int setblocksread(setblocks* b, uint32_t n, int* unread);
// One pass over the set: step(lf0, cc, fv or null, n) for every block, in order. Returns 0; -1 when
// a read fails (*unread: the file's index) or a step returns false (*unread: -1).
template <class Step>
int setblockspass(setblocks* b, Step step, int* unread) {
  *unread = -1;
  for (int i = 0; i < 3; ++i)
    if (b->file[i] && fseek(b->file[i], 0, SEEK_SET) != 0) {
      *unread = i;
      return -1;
    }
  for (uint32_t done = 0; done < b->frames;) {
    const uint32_t n = b->frames - done < setblockframes ? b->frames - done : setblockframes;
    if (setblocksread(b, n, unread) != 0 ||
        !step(b->lf0.data(), b->cc.data(), b->file[2] ? b->fv.data() : nullptr, n))
      return -1;
    done += n;
  }
  return 0;
}

// The largest of peak and the magnitudes of the n samples x (the peak wavampnormalize finds);
// NaNs are passed over.
double wavpeak(double peak, const double* x, uint32_t n);
// The gain wavampnormalize applies for a signal of that peak: 0.99 / peak, or 1 when peak is 0.
double wavnormalisinggain(double peak);

// A mono 16-bit WAV file written block by block; its sample count is known beforehand.
struct wavblockwriter {
  outputfile out;
  uint32_t promised = 0;  // samples the header announces
  uint32_t written = 0;   // samples written so far
  double gain = 1.0;      // every sample is multiplied by it before the 16-bit conversion
  bool failed = false;    // a write fell short
};
// Opens the file (replaced whole, see outputfile.h) and writes the header for n samples at
// `rate` Hz. Returns 0, or -1 when the file cannot be created or the header not written.
int wavblockopen(wavblockwriter* w, const char* path, uint32_t n, uint32_t rate, double gain);
// Writes n samples (doubles on the +-1 scale, in: not changed), each multiplied by the gain, then
// saturated and truncated to 16 bits as wavwritem16 does. Returns 0, or -1 when the write fell
// short or would pass the announced count.
int wavblockwrite(wavblockwriter* w, const double* samples, uint32_t n);
// Closes the file: it takes its name when every announced sample was written without error (0),
// otherwise the temporary is removed (-1; see outputclose).
int wavblockclose(wavblockwriter* w);

}  // namespace velk
