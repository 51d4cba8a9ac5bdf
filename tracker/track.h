// A sequence of frames, each with a time (seconds), a voicing flag and a fixed
// number of float values (channels).
#pragma once

#include <cstddef>
#include <vector>

namespace velk {

class frametrack {
 public:
  // n frames of the given number of channels: time 0, unvoiced, values 0.
  void resize(int n, int channels);

  int numframes() const { return (int)times_.size(); }
  int numchannels() const { return channels_; }

  float& t(int i) { return times_[i]; }
  float t(int i) const { return times_[i]; }
  float& a(int i, int c = 0) { return values_[(std::size_t)i * channels_ + c]; }
  float a(int i, int c = 0) const { return values_[(std::size_t)i * channels_ + c]; }

  void setv(int i, bool voiced) { voiced_[i] = voiced; }
  // A track whose voicing is not enabled counts every frame as voiced.
  bool v(int i) const { return !voicing_enabled_ || voiced_[i]; }
  void setvoicingenabled(bool enabled) { voicing_enabled_ = enabled; }
  bool voicingenabled() const { return voicing_enabled_; }

 private:
  std::vector<float> times_;
  std::vector<char> voiced_;
  std::vector<float> values_;
  int channels_ = 0;
  bool voicing_enabled_ = false;
};

}  // namespace velk
