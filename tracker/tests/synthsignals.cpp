#include "synthsignals.h"

#include <utility>

std::vector<glidecase> glidecases() {
  std::vector<glidecase> cases;
  for (double snr_db : {0.0, 20.0}) {
    for (const auto& f0 :
         {std::make_pair(80.0, 80.0), std::make_pair(120.0, 120.0), std::make_pair(200.0, 200.0),
          std::make_pair(350.0, 350.0), std::make_pair(100.0, 250.0)})
      cases.push_back(glidecase{f0.first, f0.second, snr_db});
  }
  return cases;
}

std::string glidecasename(const glidecase& c) {
  return "F0_" + std::to_string((int)c.f0_start) + "_" + std::to_string((int)c.f0_end) +
         (c.snr_db > 0 ? "_snr" + std::to_string((int)c.snr_db) : "_clean");
}

void PrintTo(const glidecase& c, std::ostream* os) {
  *os << c.f0_start << "->" << c.f0_end << " Hz, "
      << (c.snr_db > 0 ? "SNR " + std::to_string((int)c.snr_db) + " dB" : "clean");
}
