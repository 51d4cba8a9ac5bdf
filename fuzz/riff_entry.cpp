// The epoch tracker's RIFF/WAVE reader. The first byte of an input picks the coding type,
// the next eight a sample range for a second read; the rest is the file. The reader's own
// messages go to standard error.
#include <cstdio>
#include <cstring>
#include <vector>

#include "fileholder.h"
#include "audioload.h"
#include "fuzzcheck.h"

using namespace velk;

namespace {

const char* const kTarget = "riff";

int32_t int_at(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 4; i-- > 0;) v = (v << 8) | p[i];
  return static_cast<int32_t>(v);
}

bool within_ulaw_range(const std::vector<int16_t>& samples) {
  for (int16_t s : samples)
    if (s < -8031 || s > 8031) return false;
  return true;
}

}  // namespace

int fuzz_riff(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  const wavecodingtype type = static_cast<wavecodingtype>(data[0] % 3);  // PCM16, PCM8, ULAW8
  const int32_t start = int_at(data + 1), count = int_at(data + 5);
  const uint8_t* file = data + 9;
  const size_t bytes = size - 9;
  const size_t width = type == PCM16 ? 2 : 1;
  ScratchFile scratch(file, bytes);

  waveio io(type);
  fileresource fr(scratch.path(), "rb");
  fuzz_check(fr.get() == 0, kTarget, "the scratch file did not open");
  std::vector<int16_t> samples;
  int32_t rate = 0;
  if (io.load(&fr, &samples, &rate) == 0) {
    fuzz_check(samples.size() <= bytes / width, kTarget, "more samples than the file has bytes for");
    fuzz_check(type != ULAW8 || within_ulaw_range(samples), kTarget, "a mu-law sample beyond 14 bits");
  }

  // A second reading of the header, then an arbitrary range: storage never exceeds the file,
  // and the position is back at the first sample afterwards.
  fileresource again(scratch.path(), "rb");
  int32_t n = 0;
  if (again.get() == 0 && io.readheader(&again, &n, &rate) == 0) {
    fuzz_check(n >= 0, kTarget, "negative sample count from a header");
    const long origin = std::ftell(again.fp());
    std::vector<int16_t> range;
    const bool read = io.readaudiodata(start, count, &range, &again) == 0;
    fuzz_check(std::ftell(again.fp()) == origin, kTarget, "the file position was not restored");
    fuzz_check(range.size() <= bytes / width, kTarget, "storage beyond what the file holds");
    fuzz_check(!read || (start >= 0 && count >= 0 && range.size() == static_cast<size_t>(count)), kTarget,
               "a read reported complete without the samples asked for");
  }
  return 0;
}
