// Encodes a mono 16 kHz 16-bit WAV file into its log-F0, cepstral and voiced-frequency streams
// with velkcoder's default options, through the installed vocoder library.
//   velkencode in.wav out.lf0 out.cc out.fv
#include <velk/ccanalysis.h>
#include <velk/fdoubleio.h>
#include <velk/fvanalysis.h>
#include <velk/pitchanalysis.h>
#include <velk/wavm1616io.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: %s in.wav out.lf0 out.cc out.fv\n", argv[0]);
    return 2;
  }
  double* x = nullptr;
  const uint32_t n = wavreadm1616(argv[1], &x);
  if (n == 0) return 1;
  const uint32_t shift = 80, order = 39, frames = getnumframes(n, shift, 0);
  std::vector<double> f0(frames), fv(frames), cc(getccsize(frames, order));
  getpitch(x, n, 16000.0, shift, 0, frames, 60.0, 500.0, f0.data());
  getfvoicing(x, n, 16000.0, shift, 0, frames, f0.data(), fv.data());
  waveform2cc(x, n, 16000.0, shift, 0, frames, f0.data(), order, cc.data(), CC_HARM_RDC, 0.42);
  for (uint32_t k = 0; k < frames; ++k) {
    cc[k * (order + 1)] += 5.0;
    for (uint32_t j = 1; j <= order; ++j) cc[k * (order + 1) + j] *= 2.0;
  }
  f02logf0(frames, f0.data());
  free(x);
  const bool written = fdoublewrite(argv[2], f0.data(), frames, 1) == frames &&
                       fdoublewrite(argv[3], cc.data(), cc.size(), 1) == cc.size() &&
                       fdoublewrite(argv[4], fv.data(), frames, 1) == frames;
  return written ? 0 : 1;
}
