#include "brindel/wave/audioload.h"

WaveIO::WaveIO() : WaveIO(PCM16) {}

WaveIO::WaveIO(WaveCodingType coding_type) : coding_type_(coding_type) {
  Initialize(coding_type);
}

bool WaveIO::KnownType(const char* message) const {
  if (coding_type_ <= ULAW8) return true;
  fprintf(stderr, message, (int)coding_type_);
  return false;
}

bool WaveIO::Initialize(WaveCodingType coding_type) {
  coding_type_ = coding_type;
  if (!KnownType("WaveIO:WaveIO: unknown coding type %d")) return false;
  return wavchunks_.Initialize(coding_type);
}

bool WaveIO::ReadHeader(FileResource* fr, int32_t* num_samples_per_channel, int32_t* sampling_rate) {
  if (!KnownType("WaveIO:ReadHeader: unknown coding type %d")) return false;
  return wavchunks_.ReadHeader(fr, num_samples_per_channel, sampling_rate);
}

bool WaveIO::ReadAudioData(int32_t wave_start, int32_t num_samples, std::vector<int16_t>* samples,
                           FileResource* fr) {
  if (!KnownType("WaveIO:ReadAudioData: unknown coding type %d")) return false;
  return wavchunks_.ReadAudioData(wave_start, num_samples, samples, fr);
}

bool WaveIO::ReadAudioContainer(int container_size_in_bytes, std::vector<int16_t>* samples,
                                FileResource* fr) {
  if (!KnownType("WaveIO: coding type not supported %d")) return false;
  return wavchunks_.ReadAudioContainer(container_size_in_bytes, samples, fr);
}

bool WaveIO::Load(FileResource* fr, std::vector<int16_t>* samples, int32_t* sample_rate) {
  int32_t count;
  if (!ReadHeader(fr, &count, sample_rate)) return false;
  return ReadAudioData(0, count, samples, fr);
}
