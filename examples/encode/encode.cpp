// Encodes a mono 16 kHz 16-bit WAV file into its log-F0, cepstral and voiced-frequency streams
// with velkcoder's default settings, through the installed vocoder library:
//   velkencode in.wav out.lf0 out.cc out.fv
#include <velk/ccanalysis.h>
#include <velk/fdoubleio.h>
#include <velk/pitchanalysis.h>
#include <velk/velkcodec.h>
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
  const uint32_t n = velk::wavreadm1616(argv[1], &x);
  if (n == 0) return 1;
  const velk::encodesettings s;
  const uint32_t frames = velk::encodeframes(n, s.lframe);
  std::vector<double> f0(frames), fv(frames), cc(velk::getccsize(frames, s.ccord));
  const int status = velk::encodesignal(x, n, s, frames, f0.data(), false, fv.data(), cc.data(), nullptr);
  free(x);
  if (status != 0) return 1;
  velk::f02logf0(frames, f0.data());
  const bool written = velk::fdoublewrite(argv[2], f0.data(), frames, 1) == frames &&
                       velk::fdoublewrite(argv[3], cc.data(), cc.size(), 1) == cc.size() &&
                       velk::fdoublewrite(argv[4], fv.data(), frames, 1) == frames;
  return written ? 0 : 1;
}
