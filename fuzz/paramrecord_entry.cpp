// The settings record reader on any text: a text it accepts holds a record within the bounds it
// promises, and that record written out and read again is the same record (a record without a
// version is written with the library's).
#include <cmath>
#include <string>

#include "fuzzcheck.h"
#include "paramset.h"

using namespace velk;

namespace {

const char* const kTarget = "paramrecord";

bool samerecord(const paramrecord& a, const paramrecord& b) {
  return a.fs == b.fs && a.lframe == b.lframe && a.frames == b.frames && a.ccord == b.ccord &&
         a.alpha == b.alpha && a.ccmeth == b.ccmeth && a.morvscale == b.morvscale && a.f0min == b.f0min &&
         a.f0max == b.f0max && (a.version == b.version || (a.version.empty() && !b.version.empty())) &&
         a.lf0 == b.lf0 && a.cc == b.cc && a.fv == b.fv;
}

}  // namespace

int fuzz_paramrecord(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  paramrecord r;
  std::string problem;
  if (parseparamrecord(text, &r, &problem) != 0) {
    fuzz_check(!problem.empty(), kTarget, "a refused text without a reason");
    return 0;
  }
  fuzz_check(r.fs >= 8000 && r.fs <= 48000 && r.lframe >= 1 && r.alpha > -1 && r.alpha < 1 && r.ccmeth <= 4,
             kTarget, "an accepted record outside its bounds");
  paramrecord again;
  fuzz_check(parseparamrecord(formatparamrecord(r), &again, &problem) == 0, kTarget,
             "a written record is not read back");
  fuzz_check(samerecord(r, again), kTarget, "a written record reads back as another");
  return 0;
}
