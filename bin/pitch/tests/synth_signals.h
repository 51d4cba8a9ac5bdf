// Synthetic test signals of known F0 on the 16-bit scale.
#ifndef VELK_PITCH_TESTS_SYNTH_SIGNALS_H
#define VELK_PITCH_TESTS_SYNTH_SIGNALS_H

#include <ostream>
#include <string>
#include <vector>

// A signal of the accuracy tests: an F0 gliding from f0_start to f0_end (Hz), clean when
// snr_db is 0, otherwise with noise at that signal-to-noise ratio (dB).
struct GlideCase {
  double f0_start, f0_end, snr_db;
};

// The cases both trackers are held to: steady F0s of 80 to 350 Hz and a 100..250 Hz glide,
// clean and at 20 dB SNR.
std::vector<GlideCase> glide_cases();

// A test name for the case, such as F0_100_250_snr20 or F0_80_80_clean.
std::string glide_case_name(const GlideCase& c);
// Prints the case in test messages.
void PrintTo(const GlideCase& c, std::ostream* os);

// A unit pulse wherever the running phase of an F0 gliding linearly from f0_start
// to f0_end (Hz) completes a period, through resonances at 500 and 1500 Hz,
// scaled to a peak of 8000.
std::vector<float> voiced_signal(double f0_start, double f0_end, int n, double fs);

// Adds white Gaussian noise at the given signal-to-noise ratio (dB).
void add_noise(std::vector<float>& x, double snr_db, unsigned seed);

// White Gaussian noise of the given standard deviation.
std::vector<float> noise_signal(int n, double deviation, unsigned seed);

#endif
