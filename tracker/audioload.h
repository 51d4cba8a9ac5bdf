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

// A codec with the header values it last read; reads restore the file position. Every call
// returns 0 when done, -1 when refused or failed.
template <class Codec>
class codecapi {
 public:
  int initialize(wavecodingtype coding_type) { return codec_.initialize(coding_type); }

  int readheader(fileresource* fr, int32_t* num_samples_per_channel, int32_t* sampling_rate) {
    error_.clear();
    if (codec_.readheader(fr, &num_samples_per_channel_, &sampling_rate_) != 0) {
      error_ = codec_.error();
      return -1;
    }
    *num_samples_per_channel = num_samples_per_channel_;
    *sampling_rate = sampling_rate_;
    return 0;
  }

  int readaudiodata(int32_t wave_start, int32_t num_samples, std::vector<int16_t>* samples,
                    fileresource* fr) {
    error_.clear();
    if (samples == nullptr) return fail("CodecApi::ReadAudioData: empty pointer was given");
    const long origin = ftell(fr->fp());
    return seekback(fr, origin, codec_.readaudiodata(wave_start, num_samples, samples, fr));
  }

  int readaudiocontainer(int container_size_in_bytes, std::vector<int16_t>* samples, fileresource* fr) {
    error_.clear();
    if (samples == nullptr) return fail("CodecApi::ReadAudioData: empty pointer was given");
    const long origin = ftell(fr->fp());
    return seekback(fr, origin, codec_.readaudiocontainer(container_size_in_bytes, samples, fr));
  }

  // Why the last call failed; empty after one that succeeded.
  const std::string& error() const { return error_; }

 private:
  int fail(const char* message) {
    error_ = message;
    return -1;
  }

  // Puts the file back at origin after a read whose outcome is status; -1 when either failed,
  // keeping the read's message, then the seek's.
  int seekback(fileresource* fr, long origin, int status) {
    if (status != 0) error_ = codec_.error();
    if (origin < 0 || fseek(fr->fp(), origin, SEEK_SET) != 0) {
      error_ += "CodecApi::ReadAudioData: error seeking the beginning of the audio container";
      return -1;
    }
    return status;
  }

  std::string error_;
  int32_t num_samples_per_channel_ = 0;
  int32_t sampling_rate_ = 0;
  Codec codec_;
};

// The reader's calls return 0 when done, -1 when refused or failed.
class waveio {
 public:
  waveio();
  explicit waveio(wavecodingtype coding_type);

  int initialize(wavecodingtype coding_type);
  int readheader(fileresource* fr, int32_t* num_samples_per_channel, int32_t* sampling_rate);
  int readaudiodata(int32_t wave_start, int32_t num_samples, std::vector<int16_t>* samples, fileresource* fr);
  int readaudiocontainer(int container_size_in_bytes, std::vector<int16_t>* samples, fileresource* fr);
  // Reads the header and every sample of the data chunk (storage is sized by
  // the reader, never ahead of it by the header alone).
  int load(fileresource* fr, std::vector<int16_t>* samples, int32_t* sample_rate);

  // Why the last call (or the construction) failed; empty after one that succeeded.
  const std::string& error() const { return error_; }

 private:
  // True for a coding type up to ULAW8; otherwise keeps the message, which
  // formats the coding type, and returns false.
  bool knowntype(const char* message);
  // The reader's status, with its message kept when it failed.
  int outcome(int status);

  codecapi<wavriffcodec> wavchunks_;
  wavecodingtype coding_type_;
  std::string error_;
};

}  // namespace velk
