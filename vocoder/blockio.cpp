#include "blockio.h"

#include <cmath>

#include "wavm1616io.h"

namespace velk {

namespace {

// Values converted per step: the bytes of a block of floats or 16-bit samples on the stack.
const uint32_t chunkvalues = 4096;

}  // namespace

uint32_t fdoublereadblock(FILE* file, double* values, uint32_t n) {
  float packed[chunkvalues];
  uint32_t done = 0;
  while (done < n) {
    const uint32_t want = n - done < chunkvalues ? n - done : chunkvalues;
    const uint32_t got = static_cast<uint32_t>(fread(packed, 4, want, file));
    for (uint32_t i = 0; i < got; ++i) values[done + i] = packed[i];
    done += got;
    if (got < want) break;
  }
  return done;
}

setblocks::~setblocks() {
  for (FILE* f : file)
    if (f) fclose(f);
}

void setblocksprepare(setblocks* b) {
  const uint32_t block = b->frames < setblockframes ? b->frames : setblockframes;
  b->lf0.resize(block);
  b->cc.resize(static_cast<size_t>(block) * (b->order + 1));
  b->fv.resize(block);
}

int setblocksread(setblocks* b, uint32_t n, int* unread) {
  const uint32_t want[3] = {n, n * (b->order + 1), n};
  double* into[3] = {b->lf0.data(), b->cc.data(), b->fv.data()};
  for (int i = 0; i < 3; ++i) {
    if (b->file[i] && fdoublereadblock(b->file[i], into[i], want[i]) != want[i]) {
      *unread = i;
      return -1;
    }
  }
  return 0;
}

double wavpeak(double peak, const double* x, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) peak = std::fmax(peak, std::fabs(x[i]));
  return peak;
}

double wavnormalisinggain(double peak) {
  return peak == 0.0 ? 1.0 : 0.99 / peak;
}

int wavblockopen(wavblockwriter* w, const char* path, uint32_t n, uint32_t rate, double gain) {
  w->promised = n;
  w->written = 0;
  w->gain = gain;
  w->failed = false;
  if (n > wavmaxsamples || rate == 0 || rate > UINT32_MAX / 2) return -1;
  FILE* file = outputopen(path, &w->out);
  if (file == nullptr) return -1;
  unsigned char header[wavheaderbytes];
  wavheaderm16(header, n, rate);
  w->failed = fwrite(header, 1, wavheaderbytes, file) != wavheaderbytes;
  return w->failed ? -1 : 0;
}

int wavblockwrite(wavblockwriter* w, const double* samples, uint32_t n) {
  if (w->failed || n > w->promised - w->written) {
    w->failed = true;
    return -1;
  }
  double scaled[chunkvalues];
  int16_t packed[chunkvalues];
  for (uint32_t done = 0; done < n;) {
    const uint32_t step = n - done < chunkvalues ? n - done : chunkvalues;
    for (uint32_t i = 0; i < step; ++i)
      scaled[i] = w->gain == 1.0 ? samples[done + i] : samples[done + i] * w->gain;
    wavdouble2short(step, scaled, packed);
    if (fwrite(packed, 2, step, w->out.file) != step) {
      w->failed = true;
      return -1;
    }
    done += step;
  }
  w->written += n;
  return 0;
}

int wavblockclose(wavblockwriter* w) {
  if (w->out.file == nullptr) return -1;
  return outputclose(&w->out, !w->failed && w->written == w->promised);
}

}  // namespace velk
