// The sound-file reader (WAV reader first, libsndfile and resampling for everything else)
// against the WAV reader alone and its own reported status; at the file's own rate (as the
// vocoder reads it, and unbounded, as pitch does) against the same file's rate; and on a pipe,
// which cannot seek, against the same bytes in a file.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzzcheck.h"
#include "soundfile.h"
#include "wavm1616io.h"

using namespace velk;

namespace {

const char* const kTarget = "soundread";

// At the file's own rate: with 0 the vocoder's range applies (below it refused before any
// sample, above it brought down to its top), with soundfileownrate none does.
void check_own_rates(const char* path) {
  for (uint32_t rate : {0u, soundfileownrate}) {
    double* samples = nullptr;
    soundinfo info;
    const uint32_t n = readsound(path, rate, &samples, &info);
    const bool read = info.status == SOUND_READ || info.status == SOUND_CONVERTED;
    fuzz_check((n != 0) == read && (n == 0) == (samples == nullptr), kTarget,
               "own rate: samples come with the status of a read, and only then");
    if (read) {
      const uint32_t expected = rate == 0 ? std::min(info.rate, soundratehighest) : info.rate;
      fuzz_check(info.readrate == expected, kTarget, "own rate: read at another rate than the file's");
    }
    if (rate == 0 && info.rate != 0 && info.rate < soundratelowest)
      fuzz_check(!read, kTarget, "a rate below the range read at its own rate");
    if (rate == soundfileownrate)
      fuzz_check(info.status != SOUND_LOWRATE, kTarget, "an own-rate read refused");
    std::free(samples);
  }
}

// The same bytes on a pipe: read as far as the reader can (or refused), never more nor other
// samples than from the file.
void check_pipe(const uint8_t* data, size_t size, const char* path) {
  int ends[2];
  if (size > 60000 || pipe(ends) != 0) return;  // fuzz inputs fit the pipe's buffer
  size_t done = 0;
  while (done < size) {
    const ssize_t k = write(ends[1], data + done, size - done);
    if (k <= 0) break;
    done += static_cast<size_t>(k);
  }
  close(ends[1]);
  const std::string piped = "/proc/self/fd/" + std::to_string(ends[0]);
  double *fromfile = nullptr, *frompipe = nullptr;
  soundinfo fileinfo, pipeinfo;
  const uint32_t m = readsound(path, soundfileownrate, &fromfile, &fileinfo);
  const uint32_t n = readsound(piped.c_str(), soundfileownrate, &frompipe, &pipeinfo);
  close(ends[0]);
  fuzz_check((n == 0) == (frompipe == nullptr), kTarget, "pipe: an array comes with a count, and only then");
  if (n != 0) {
    fuzz_check(n <= m, kTarget, "pipe: more samples than from the file");
    if (n <= m)
      fuzz_check(std::memcmp(frompipe, fromfile, n * sizeof(double)) == 0, kTarget, "pipe: a sample differs");
  }
  std::free(fromfile);
  std::free(frompipe);
}

}  // namespace

int fuzz_soundread(const uint8_t* data, size_t size) {
  ScratchFile file(data, size);
  double* samples = nullptr;
  soundinfo info;
  const uint32_t n = readsound16k(file.path(), &samples, &info);
  double* plain = nullptr;
  wavinfo wav;
  const uint32_t m = wavreadm1616info(file.path(), &plain, &wav);

  const bool read = info.status == SOUND_READ || info.status == SOUND_CONVERTED;
  fuzz_check((n == 0) == (samples == nullptr), kTarget, "an array comes with a count, and only then");
  fuzz_check((n != 0) == read, kTarget, "samples come with the status of a read, and only then");
  fuzz_check(info.present <= info.promised, kTarget, "more samples present than promised");
  char text[160];
  fuzz_check(soundproblem(info, text, sizeof text)[0] != '\0', kTarget, "a status without a wording");
  if (wav.status == WAV_READ) {
    // A mono 16 kHz 16-bit WAV file is the WAV reader's alone, sample for sample.
    fuzz_check(info.status == SOUND_READ && n == m, kTarget,
               "a plain WAV file not read as the WAV reader reads it");
    if (n == m && n != 0)
      fuzz_check(std::memcmp(samples, plain, n * sizeof(double)) == 0, kTarget, "a sample differs");
  }
  if (wav.status == WAV_NODATA || wav.status == WAV_EMPTYDATA || wav.status == WAV_BADFORMAT)
    fuzz_check(!read, kTarget, "a WAV file without usable format or data chunk was read");
  if (info.status == SOUND_CONVERTED)
    fuzz_check(info.rate > 0 && info.channels > 0 && info.encoding[0] != '\0', kTarget,
               "a conversion without the file's rate, channels and sample format");
  std::free(samples);
  std::free(plain);
  check_own_rates(file.path());
  check_pipe(data, size, file.path());
  return 0;
}
