// The stream commands' argument helpers on an argument list made of the input's words: a
// command's option loop over it, with record-range arithmetic on the option values checked
// against 128-bit arithmetic.
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "cmdline.h"
#include "fuzzcheck.h"

namespace {

const char* const kTarget = "cmdline";

int usage_calls = 0;
int usage_status = -1;

// Stands for a command's usage routine, which would print and exit.
void record_usage(int status) {
  ++usage_calls;
  usage_status = status;
}

int64_t clamp128(__int128 v) {
  const __int128 lo = std::numeric_limits<int64_t>::min(), hi = std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(v < lo ? lo : v > hi ? hi : v);
}

void check_arithmetic(int64_t a, int64_t b) {
  fuzz_check(saturating_mul(a, b) == clamp128(static_cast<__int128>(a) * b), kTarget, "saturating_mul");
  fuzz_check(saturating_add(a, b) == clamp128(static_cast<__int128>(a) + b), kTarget, "saturating_add");
  fuzz_check(saturating_sub(a, b) == clamp128(static_cast<__int128>(a) - b), kTarget, "saturating_sub");
}

}  // namespace

int fuzz_cmdline(const uint8_t* data, size_t size) {
  size_t count = 0;
  std::string text = words_of(data, size, &count);
  std::vector<char*> argv;
  for (char* p = &text[0]; argv.size() < count; p += std::strlen(p) + 1) argv.push_back(p);
  if (argv.empty()) return 0;
  const int argc = static_cast<int>(argv.size());

  const char* name = command_name(argv[0]);
  const char* slash = std::strrchr(argv[0], '/');
  fuzz_check(name == (slash ? slash + 1 : argv[0]), kTarget,
             "command name is not the part after the last '/'");

  std::vector<int64_t> values;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] != '-') continue;
    const int at = i;
    usage_calls = 0;
    const char* value = option_argument(argc, argv.data(), &i, record_usage);
    if (at + 1 < argc) {
      fuzz_check(value == argv[at + 1] && i == at + 1 && usage_calls == 0, kTarget,
                 "an option's value is not the next argument");
      values.push_back(std::atoll(value));
    } else {
      fuzz_check(value == nullptr && i == at && usage_calls == 1 && usage_status == 1, kTarget,
                 "a last option without a value did not call usage(1)");
    }
  }
  const int64_t edge[] = {std::numeric_limits<int64_t>::min(), -1, 0, 1, std::numeric_limits<int64_t>::max()};
  if (values.size() > 64) values.resize(64);  // the pairs grow quadratically
  for (int64_t a : values) {
    for (int64_t b : values) check_arithmetic(a, b);
    for (int64_t b : edge) check_arithmetic(a, b);
  }
  return 0;
}
