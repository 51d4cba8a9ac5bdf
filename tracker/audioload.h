// Front end of the RIFF/WAVE reader: checks the coding type, keeps the header
// values and puts the file back at the start of the audio data after each read.
// A call that fails keeps its message for the caller (error()); nothing is printed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fileholder.h"
#include "wavchunks.h"

namespace velk {

// A codec with the header values it last read; reads restore the file position.
template <class Codec>
class codecapi {
 public:
  bool initialize(wavecodingtype coding_type) { return codec_.initialize(coding_type); }

  bool readheader(fileresource* fr, int32_t* num_samples_per_channel, int32_t* sampling_rate) {
    error_.clear();
    if (!codec_.readheader(fr, &num_samples_per_channel_, &sampling_rate_)) {
      error_ = codec_.error();
      return false;
    }
    *num_samples_per_channel = num_samples_per_channel_;
    *sampling_rate = sampling_rate_;
    return true;
  }

  bool readaudiodata(int32_t wave_start, int32_t num_samples, std::vector<int16_t>* samples,
                     fileresource* fr) {
    error_.clear();
    if (samples == nullptr) return fail("CodecApi::ReadAudioData: empty pointer was given");
    const long origin = ftell(fr->fp());
    return seekback(fr, origin, codec_.readaudiodata(wave_start, num_samples, samples, fr));
  }

  bool readaudiocontainer(int container_size_in_bytes, std::vector<int16_t>* samples, fileresource* fr) {
    error_.clear();
    if (samples == nullptr) return fail("CodecApi::ReadAudioData: empty pointer was given");
    const long origin = ftell(fr->fp());
    return seekback(fr, origin, codec_.readaudiocontainer(container_size_in_bytes, samples, fr));
  }

  // Why the last call failed; empty after one that succeeded.
  const std::string& error() const { return error_; }

 private:
  bool fail(const char* message) {
    error_ = message;
    return false;
  }

  // Puts the file back at origin after a read whose outcome is ok; false when either failed,
  // keeping the read's message, then the seek's.
  bool seekback(fileresource* fr, long origin, bool ok) {
    if (!ok) error_ = codec_.error();
    if (origin < 0 || fseek(fr->fp(), origin, SEEK_SET) != 0) {
      error_ += "CodecApi::ReadAudioData: error seeking the beginning of the audio container";
      return false;
    }
    return ok;
  }

  std::string error_;
  int32_t num_samples_per_channel_ = 0;
  int32_t sampling_rate_ = 0;
  Codec codec_;
};

class waveio {
 public:
  waveio();
  explicit waveio(wavecodingtype coding_type);

  bool initialize(wavecodingtype coding_type);
  bool readheader(fileresource* fr, int32_t* num_samples_per_channel, int32_t* sampling_rate);
  bool readaudiodata(int32_t wave_start, int32_t num_samples, std::vector<int16_t>* samples,
                     fileresource* fr);
  bool readaudiocontainer(int container_size_in_bytes, std::vector<int16_t>* samples, fileresource* fr);
  // Reads the header and every sample of the data chunk (storage is sized by
  // the reader, never ahead of it by the header alone).
  bool load(fileresource* fr, std::vector<int16_t>* samples, int32_t* sample_rate);

  // Why the last call (or the construction) failed; empty after one that succeeded.
  const std::string& error() const { return error_; }

 private:
  // True for a coding type up to ULAW8; otherwise keeps the message, which
  // formats the coding type, and returns false.
  bool knowntype(const char* message);
  // The reader's outcome ok, with its message kept when it failed.
  bool outcome(bool ok);

  codecapi<wavriffcodec> wavchunks_;
  wavecodingtype coding_type_;
  std::string error_;
};

}  // namespace velk
