// Changes the pitch of a WAV file as a real-time voice changer does: the samples 10 ms at a time
// through the streaming analyser, the frames it gives through the streaming decoder with the pitch
// scaled by a factor (the frames rounded to 32-bit floats, as stream files hold them), and each
// block's samples written as soon as the decoder gives them. Prints
// the CPU time per block and the latency. With a stem, the analysed streams are written too, as
// stem.lf0, stem.cc and stem.fv: velkdecoder --fpitch of them gives the same WAV file, byte for byte.
//   velkrealtime in.wav out.wav [fpitch [lookahead [stem]]]
#include <velk/blockio.h>
#include <velk/ccanalysis.h>
#include <velk/fdoubleio.h>
#include <velk/soundfile.h>
#include <velk/streamdecode.h>
#include <velk/streamencode.h>
#include <velk/velkcodec.h>
#include <velk/wavm1616io.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

double cpuseconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// The synthesis side: frames from the analyser go to the decoder, samples to the WAV file, and,
// with a stem, the frames to the stream files.
struct voicechanger {
  velk::streamdecoder* decoder = nullptr;
  velk::wavblockwriter wav;
  uint32_t width = 0;                    // cepstra per frame
  std::vector<double> lf0, cc, fv, out;  // one call's frames, as floats
  FILE* streams[3] = {nullptr, nullptr, nullptr};
  bool failed = false;
};

// Writes n values to a stream file as 32-bit floats.
bool putvalues(FILE* f, const double* v, uint64_t n) {
  std::vector<double> copy(v, v + n);
  return f == nullptr || velk::fdoubleput(f, copy.data(), static_cast<uint32_t>(n), 0) == n;
}

// The frames pass through 32-bit floats, as they do in stream files, so that the streams written
// synthesise to the same samples.
void tofloats(const double* in, uint64_t n, std::vector<double>* out) {
  out->resize(n);
  for (uint64_t i = 0; i < n; ++i) (*out)[i] = static_cast<float>(in[i]);
}

int synthesise(void* state, const double* f0, const double* fv, const double* cc, uint32_t frames) {
  voicechanger* v = static_cast<voicechanger*>(state);
  std::vector<double> lf0(frames);
  for (uint32_t k = 0; k < frames; ++k) lf0[k] = f0[k] > 0 ? std::log(f0[k]) : -1e10;
  tofloats(lf0.data(), frames, &v->lf0);
  tofloats(cc, static_cast<uint64_t>(frames) * v->width, &v->cc);
  tofloats(fv, frames, &v->fv);
  const uint32_t samples = frames * velk::streamdecoderlatency(v->decoder);
  v->out.resize(samples);
  v->failed = v->failed || !putvalues(v->streams[0], v->lf0.data(), frames) ||
              !putvalues(v->streams[1], v->cc.data(), v->cc.size()) ||
              !putvalues(v->streams[2], v->fv.data(), frames) ||
              velk::streamdecoderpush(v->decoder, v->lf0.data(), v->cc.data(), v->fv.data(), frames,
                                      v->out.data()) != 0 ||
              velk::wavblockwrite(&v->wav, v->out.data(), samples) != 0;
  return v->failed ? -1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 6) {
    fprintf(stderr, "usage: %s in.wav out.wav [fpitch [lookahead [stem]]]\n", argv[0]);
    return 2;
  }
  velk::wavinfo header;
  velk::soundinfo info;
  uint64_t datastart = 0;
  velk::soundblocks* in = velk::wavreadheader(argv[1], &header, &datastart) == 0
                              ? velk::soundblocksopen(argv[1], &info)
                              : nullptr;
  if (in == nullptr || header.present == 0) {
    fprintf(stderr, "%s: cannot read %s as a WAV file at a supported rate\n", argv[0], argv[1]);
    velk::soundblocksclose(in);
    return 1;
  }
  const velk::encodesettings e = velk::encodedefaults(info.rate);
  velk::decodesettings d = velk::decodedefaults(info.rate);
  d.fpitch = argc > 3 ? atof(argv[3]) : 1.0;
  const uint32_t lookahead = argc > 4 ? static_cast<uint32_t>(atoi(argv[4])) : 10;
  const uint32_t frames = velk::encodeframes(header.present, e.lframe);
  voicechanger v;
  v.width = e.ccord + 1;
  velk::streamencoder* encoder = velk::streamencodercreate(e, lookahead);
  const bool prepared = velk::preparedecode(&d) == 0;
  v.decoder = prepared ? velk::streamdecodercreate(d, e.ccord, true, nullptr, nullptr) : nullptr;
  if (argc > 5)
    for (int i = 0; i < 3; ++i)
      v.streams[i] = fopen((std::string(argv[5]) + (i == 0 ? ".lf0" : i == 1 ? ".cc" : ".fv")).c_str(), "wb");
  const bool streamsopen = argc <= 5 || (v.streams[0] && v.streams[1] && v.streams[2]);
  if (!encoder || !v.decoder || !streamsopen ||
      velk::wavblockopen(&v.wav, argv[2], static_cast<uint32_t>(velk::decodedlength(frames, d)), d.fs, 1.0) !=
          0) {
    fprintf(stderr, "%s: a bad fpitch or lookahead, or cannot create the outputs\n", argv[0]);
    return 1;
  }

  const velk::framesink sink{&v, synthesise};
  const uint32_t block = info.rate / 100;  // 10 ms
  std::vector<double> x(block);
  double total = 0, longest = 0;
  uint32_t blocks = 0;
  int64_t got;
  while ((got = velk::soundblocksread(in, x.data(), block)) > 0 && !v.failed) {
    const double start = cpuseconds();
    v.failed = velk::streamencoderpush(encoder, x.data(), static_cast<uint32_t>(got), sink) != 0;
    const double spent = cpuseconds() - start;
    total += spent;
    longest = std::max(longest, spent);
    ++blocks;
  }
  v.out.resize(d.shift + 1);
  const bool ok = !v.failed && velk::streamencoderflush(encoder, sink) == 0 &&
                  velk::streamdecoderflush(v.decoder, v.out.data()) == 0 &&
                  velk::wavblockwrite(&v.wav, v.out.data(), d.shift + 1) == 0;
  const uint32_t latency = velk::streamencoderlatency(encoder) + velk::streamdecoderlatency(v.decoder);
  velk::streamencoderdestroy(encoder);
  velk::streamdecoderdestroy(v.decoder);
  velk::soundblocksclose(in);
  bool closed = true;
  for (FILE* f : v.streams)
    if (f) closed = fclose(f) == 0 && closed;
  if (velk::wavblockclose(&v.wav) != 0 || !ok || !closed) {
    fprintf(stderr, "%s: could not read %s or write the outputs\n", argv[0], argv[1]);
    return 1;
  }
  printf(
      "%u blocks of 10 ms; CPU per block %.1f us on average, %.1f us at most; latency %u samples (%.1f ms)\n",
      blocks, 1e6 * total / blocks, 1e6 * longest, latency, 1000.0 * latency / info.rate);
  return 0;
}
