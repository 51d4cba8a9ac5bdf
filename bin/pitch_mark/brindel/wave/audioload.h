// Front end of the RIFF/WAVE reader: checks the coding type, keeps the header
// values and puts the file back at the start of the audio data after each read.
#ifndef VELK_PITCH_MARK_AUDIOLOAD_H
#define VELK_PITCH_MARK_AUDIOLOAD_H

#include <cstdint>
#include <cstdio>
#include <vector>

#include "brindel/core/fileholder.h"
#include "brindel/wave/wavchunks.h"

// A codec with the header values it last read; reads restore the file position.
template <class Codec>
class CodecApi {
 public:
  bool Initialize(WaveCodingType coding_type) { return codec_.Initialize(coding_type); }

  bool ReadHeader(FileResource* fr, int32_t* num_samples_per_channel, int32_t* sampling_rate) {
    if (!codec_.ReadHeader(fr, &num_samples_per_channel_, &sampling_rate_)) return false;
    *num_samples_per_channel = num_samples_per_channel_;
    *sampling_rate = sampling_rate_;
    return true;
  }

  bool ReadAudioData(int32_t wave_start, int32_t num_samples, std::vector<int16_t>* samples,
                     FileResource* fr) {
    if (samples == nullptr) return EmptyPointer();
    const long origin = ftell(fr->fp());
    const bool ok = codec_.ReadAudioData(wave_start, num_samples, samples, fr);
    return SeekBack(fr, origin) && ok;
  }

  bool ReadAudioContainer(int container_size_in_bytes, std::vector<int16_t>* samples, FileResource* fr) {
    if (samples == nullptr) return EmptyPointer();
    const long origin = ftell(fr->fp());
    const bool ok = codec_.ReadAudioContainer(container_size_in_bytes, samples, fr);
    return SeekBack(fr, origin) && ok;
  }

 private:
  static bool EmptyPointer() {
    fputs("CodecApi::ReadAudioData: empty pointer was given", stderr);
    return false;
  }

  static bool SeekBack(FileResource* fr, long origin) {
    if (origin < 0 || fseek(fr->fp(), origin, SEEK_SET) != 0) {
      fputs("CodecApi::ReadAudioData: error seeking the beginning of the audio container", stderr);
      return false;
    }
    return true;
  }

  int32_t num_samples_per_channel_ = 0;
  int32_t sampling_rate_ = 0;
  Codec codec_;
};

class WaveIO {
 public:
  WaveIO();
  explicit WaveIO(WaveCodingType coding_type);

  bool Initialize(WaveCodingType coding_type);
  bool ReadHeader(FileResource* fr, int32_t* num_samples_per_channel, int32_t* sampling_rate);
  bool ReadAudioData(int32_t wave_start, int32_t num_samples, std::vector<int16_t>* samples,
                     FileResource* fr);
  bool ReadAudioContainer(int container_size_in_bytes, std::vector<int16_t>* samples, FileResource* fr);
  // Reads the header and every sample of the data chunk (storage is sized by
  // the reader, never ahead of it by the header alone).
  bool Load(FileResource* fr, std::vector<int16_t>* samples, int32_t* sample_rate);

 private:
  // Prints the message with the coding type when it is beyond ULAW8.
  bool KnownType(const char* message) const;

  CodecApi<WavRiffCodec> wavchunks_;
  WaveCodingType coding_type_;
};

#endif
