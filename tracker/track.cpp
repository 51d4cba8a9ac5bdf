#include "track.h"

namespace velk {

void frametrack::resize(int n, int channels) {
  channels_ = channels;
  times_.assign(n, 0.0f);
  voiced_.assign(n, 0);
  values_.assign((std::size_t)n * channels, 0.0f);
}

}  // namespace velk
