// The sound-file reader (WAV reader first, libsndfile and resampling for everything else)
// against the WAV reader alone and its own reported status.
#include <cstdlib>
#include <cstring>

#include "fuzzcheck.h"
#include "soundfile.h"
#include "wavm1616io.h"

namespace {

const char* const kTarget = "soundread";

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
  return 0;
}
