// The accuracy cases of the pitch trackers' tests, on the test signals of testsignals.h.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "testsignals.h"

// A signal of the accuracy tests: an F0 gliding from f0_start to f0_end (Hz), clean when
// snr_db is 0, otherwise with noise at that signal-to-noise ratio (dB).
struct glidecase {
  double f0_start, f0_end, snr_db;
};

// The cases both trackers are held to: steady F0s of 80 to 350 Hz and a 100..250 Hz glide,
// clean and at 20 dB SNR.
std::vector<glidecase> glidecases();

// A test name for the case, such as F0_100_250_snr20 or F0_80_80_clean.
std::string glidecasename(const glidecase& c);
// Prints the case in test messages.
void PrintTo(const glidecase& c, std::ostream* os);
