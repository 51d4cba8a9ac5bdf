#include "cmdline.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {
constexpr const char* kVersion = "3.11";
constexpr const char* kRevision = "$Id$";

int64_t clamp_toward(bool negative) {
  return negative ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
}
}  // namespace

const char* command_name(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

void print_version_footer(FILE* fp) {
  std::fprintf(fp, "\n");
  std::fprintf(fp, " ZEVK: version %s\n", kVersion);
  std::fprintf(fp, " CVS Info: %s", kRevision);
  std::fprintf(fp, "\n");
}

void invalid_option(const char* cmnd, char c, UsageFn usage) {
  std::fprintf(stderr, "%s : Invalid option '%c'!\n", cmnd, c);
  usage(1);
  std::exit(1);  // usage never returns; this keeps the promise of [[noreturn]] regardless
}

const char* next_argument(int argc, char** argv, int* i) {
  if (*i + 1 >= argc) return nullptr;
  return argv[++*i];
}

const char* option_argument(int argc, char** argv, int* i, UsageFn usage) {
  const char* value = next_argument(argc, argv, i);
  if (value == nullptr) usage(1);
  return value;
}

int64_t saturating_mul(int64_t a, int64_t b) {
  int64_t product;
  if (__builtin_mul_overflow(a, b, &product)) return clamp_toward((a < 0) != (b < 0));
  return product;
}

int64_t saturating_add(int64_t a, int64_t b) {
  int64_t sum;
  if (__builtin_add_overflow(a, b, &sum)) return clamp_toward(a < 0);
  return sum;
}

int64_t saturating_sub(int64_t a, int64_t b) {
  int64_t difference;
  if (__builtin_sub_overflow(a, b, &difference)) return clamp_toward(a < 0);
  return difference;
}
