// The parameter-file readers on three files cut from one input (log-F0, cepstra and voiced
// frequency of one decoder file set), each against the floats its bytes hold.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "fdoubleio.h"
#include "fuzzcheck.h"

using namespace velk;

namespace {

const char* const kTarget = "paramfiles";

float float_at(const uint8_t* p) {
  uint32_t bits = 0;
  for (int i = 4; i-- > 0;) bits = (bits << 8) | p[i];
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

bool same_bits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Reads one file both ways and returns the count of values.
uint32_t read_checked(const uint8_t* data, size_t size) {
  ScratchFile file(data, size);
  const uint32_t expected = static_cast<uint32_t>(size / 4);

  double* values = nullptr;
  const uint32_t n = fdoubleread(file.path(), &values);
  fuzz_check(n == expected, kTarget, "fdoubleread count is not the size / 4");
  fuzz_check((n == 0) == (values == nullptr), kTarget, "fdoubleread array without a count");
  for (uint32_t i = 0; i < n && n == expected; ++i)
    fuzz_check(same_bits(values[i], static_cast<double>(float_at(data + 4 * i))), kTarget,
               "fdoubleread value is not the stored float widened");
  std::free(values);

  // The bytes past the last whole float are counted, from the read and from the size alike.
  uint32_t rest = 9, sizerest = 9;
  uint64_t counted = 0;
  const uint32_t again = fdoublereadrest(file.path(), &values, &rest);
  std::free(values);
  fuzz_check(again == n && rest == (size == 0 ? 0 : size % 4), kTarget,
             "fdoublereadrest misses trailing bytes");
  fuzz_check(
      fdoublecount(file.path(), &counted, &sizerest) == 0 && counted == size / 4 && sizerest == size % 4,
      kTarget, "fdoublecount differs from the file's size");

  float* floats = nullptr;
  const uint32_t m = ffloatread(file.path(), &floats);
  fuzz_check(m == expected, kTarget, "ffloatread count is not the size / 4");
  fuzz_check(m == 0 || std::memcmp(floats, data, 4 * static_cast<size_t>(m)) == 0, kTarget,
             "ffloatread changed the stored bytes");
  std::free(floats);
  return n;
}

size_t length_prefix(const uint8_t* data, size_t size, size_t at) {
  return at + 2 <= size ? (static_cast<size_t>(data[at]) | static_cast<size_t>(data[at + 1]) << 8) : 0;
}

}  // namespace

int fuzz_paramfiles(const uint8_t* data, size_t size) {
  // Two little-endian 16-bit lengths, then the log-F0 bytes, the cepstral bytes and the
  // voiced-frequency bytes (the rest).
  const size_t header = size < 4 ? size : 4;
  const uint8_t* body = data + header;
  const size_t rest = size - header;
  const size_t f0bytes = std::min(length_prefix(data, size, 0), rest);
  const size_t ccbytes = std::min(length_prefix(data, size, 2), rest - f0bytes);

  const uint32_t frames = read_checked(body, f0bytes);
  const uint32_t values = read_checked(body + f0bytes, ccbytes);
  read_checked(body + f0bytes + ccbytes, rest - f0bytes - ccbytes);

  // The decoder's order derivation: width = values / frames must be at least 1 and exact;
  // the products are taken in 64 bits so a wrapped multiplication cannot pass.
  if (frames != 0 && values != 0) {
    const uint32_t width = values / frames;
    const bool accepted = width != 0 && static_cast<uint64_t>(width) * frames == values;
    fuzz_check(accepted == (values % frames == 0 && values >= frames), kTarget,
               "cepstral order derivation disagrees with divisibility");
  }
  return 0;
}
