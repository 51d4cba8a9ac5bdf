#pragma once
// The frame grid of the features: a sampling rate, a hop, a window and whether frames are
// centred, with the frame counts and frame centres the mel front ends of model training use.
// Centred: frame t is centred on sample t * hop and a signal of N samples has 1 + floor(N / hop)
// frames. Not centred: frame t covers samples [t * hop, t * hop + window) and there are
// 1 + floor((N - window) / hop) frames, none when N < window; its centre is t * hop + window / 2
// (integer division), so that the grid is the centred one shifted by half a window.
#include <cstdint>

namespace velk {

struct framegrid {
  uint32_t fs = 22050;     // sampling rate, Hz
  uint32_t hop = 256;      // frame shift, samples, at least 1
  uint32_t window = 1024;  // window length, samples, at least 1
  bool center = true;      // frames centred on t * hop, else starting there
};

// The hop in samples of a hop of ms milliseconds at fs Hz: ms * fs / 1000 rounded to the nearest
// sample, halves up (12.5 ms at 22.05 kHz is 275.625 samples, so 276); 0 when ms is not a
// positive finite number or rounds to no sample or beyond 32 bits.
uint32_t hopfromms(double ms, uint32_t fs);

// 0 when the grid can be used: fs positive, hop and window at least 1; -1 otherwise.
int checkframegrid(const framegrid& g);

// Number of frames of a signal of `samples` samples on the grid (see above).
uint64_t gridframes(const framegrid& g, uint64_t samples);

// Sample on which frame t is centred: t * hop, plus window / 2 when not centred.
uint64_t gridcentre(const framegrid& g, uint64_t t);

// First sample of frame t's window: gridcentre(g, t) - window / 2, which is negative for the first
// frames of a centred grid (their windows reach before the signal).
int64_t gridstart(const framegrid& g, uint64_t t);

}  // namespace velk
