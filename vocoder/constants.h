#pragma once
// The constants the vocoder modules share: pi, the sampling rates the analysis and synthesis
// work at, and the lowest maximum voiced frequency of a voiced frame. Header only, built
// on nothing; every module that needs one of these includes this header instead of its own copy.
#include <cstdint>

namespace velk {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;

// The default sampling rate (Hz) of the WAV files read and written and of the signals the
// parameter streams describe, and the range of rates the analysis and synthesis work at.
constexpr uint32_t kSamplingRate = 16000;
constexpr uint32_t kLowestSamplingRate = 8000;
constexpr uint32_t kHighestSamplingRate = 48000;

// The lowest maximum voiced frequency (Hz) of a voiced frame: the voicing analysis never
// reports less, and synthesis raises a lower value to it.
constexpr double kMinVoicedFrequency = 1000.0;

}  // namespace velk
