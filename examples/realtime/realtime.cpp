// Synthesises a set of 16 kHz parameter streams as a real-time synthesiser does: the frames
// 10 ms at a time (two frames of 5 ms), the pitch changed by a factor, and each block's samples
// written as soon as the streaming decoder gives them. Prints the CPU time per block and the
// latency. The WAV file equals velkdecoder's with --fpitch, byte for byte.
//   velkrealtime in.lf0 in.cc in.fv out.wav [fpitch]
#include <velk/blockio.h>
#include <velk/fdoubleio.h>
#include <velk/streamdecode.h>
#include <velk/velkcodec.h>
#include <velk/wavm1616io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

double cpuseconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

struct streamfiles {
  FILE* f[3] = {nullptr, nullptr, nullptr};
  ~streamfiles() {
    for (FILE* file : f)
      if (file) fclose(file);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    fprintf(stderr, "usage: %s in.lf0 in.cc in.fv out.wav [fpitch]\n", argv[0]);
    return 2;
  }
  velk::decodesettings s = velk::decodedefaults(16000);
  s.fpitch = argc == 6 ? atof(argv[5]) : 1.0;
  uint64_t frames = 0, values = 0;
  uint32_t rest = 0;
  if (velk::preparedecode(&s) != 0 || velk::fdoublecount(argv[1], &frames, &rest) != 0 ||
      velk::fdoublecount(argv[2], &values, &rest) != 0 || frames == 0 || values % frames != 0 ||
      velk::decodedlength(frames, s) > velk::wavmaxsamples) {
    fprintf(stderr, "%s: streams of no whole frames, or a bad fpitch\n", argv[0]);
    return 1;
  }
  const uint32_t order = static_cast<uint32_t>(values / frames - 1);
  streamfiles in;
  for (int i = 0; i < 3; ++i) in.f[i] = fopen(argv[1 + i], "rb");
  velk::streamdecoder* d = velk::streamdecodercreate(s, order, true, nullptr, nullptr);
  velk::wavblockwriter w;
  const uint32_t samples = static_cast<uint32_t>(velk::decodedlength(frames, s));
  if (!in.f[0] || !in.f[1] || !in.f[2] || !d || velk::wavblockopen(&w, argv[4], samples, s.fs, 1.0) != 0) {
    fprintf(stderr, "%s: cannot open the streams or create %s\n", argv[0], argv[4]);
    velk::streamdecoderdestroy(d);
    velk::wavblockclose(&w);
    return 1;
  }

  const uint32_t block = 2;  // 10 ms of 5 ms frames
  std::vector<double> lf0(block), cc(block * (order + 1)), fv(block), out(block * s.shift + s.shift + 1);
  double total = 0, longest = 0;
  uint32_t blocks = 0;
  bool ok = true;
  for (uint64_t done = 0; done < frames && ok; done += block) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(block, frames - done));
    ok = velk::fdoublereadblock(in.f[0], lf0.data(), n) == n &&
         velk::fdoublereadblock(in.f[1], cc.data(), n * (order + 1)) == n * (order + 1) &&
         velk::fdoublereadblock(in.f[2], fv.data(), n) == n;
    const double start = cpuseconds();
    ok = ok && velk::streamdecoderpush(d, lf0.data(), cc.data(), fv.data(), n, out.data()) == 0;
    const double spent = cpuseconds() - start;
    total += spent;
    longest = std::max(longest, spent);
    ++blocks;
    ok = ok && velk::wavblockwrite(&w, out.data(), n * s.shift) == 0;
  }
  ok = ok && velk::streamdecoderflush(d, out.data()) == 0 &&
       velk::wavblockwrite(&w, out.data(), s.shift + 1) == 0;
  const uint32_t latency = velk::streamdecoderlatency(d);
  velk::streamdecoderdestroy(d);
  if (velk::wavblockclose(&w) != 0 || !ok) {
    fprintf(stderr, "%s: could not read the streams or write %s\n", argv[0], argv[4]);
    return 1;
  }
  printf(
      "%u blocks of 10 ms; CPU per block %.1f us on average, %.1f us at most; latency %u samples (%.1f ms)\n",
      blocks, 1e6 * total / blocks, 1e6 * longest, latency, 1000.0 * latency / s.fs);
  return 0;
}
