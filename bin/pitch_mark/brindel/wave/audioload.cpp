#include "brindel/wave/audioload.h"

WaveIO::WaveIO() : WaveIO(PCM16) {}

WaveIO::WaveIO(WaveCodingType coding_type) : coding_type_(coding_type) {
  Initialize(coding_type);
}

bool WaveIO::KnownType(const char* message) {
  error_.clear();
  if (coding_type_ <= ULAW8) return true;
  char text[80];
  snprintf(text, sizeof text, message, (int)coding_type_);
  error_ = text;
  return false;
}

bool WaveIO::Outcome(bool ok) {
  if (!ok) error_ = wavchunks_.error();
  return ok;
}

bool WaveIO::Initialize(WaveCodingType coding_type) {
  coding_type_ = coding_type;
  if (!KnownType("WaveIO:WaveIO: unknown coding type %d")) return false;
  return wavchunks_.Initialize(coding_type);
}

bool WaveIO::ReadHeader(FileResource* fr, int32_t* num_samples_per_channel, int32_t* sampling_rate) {
  if (!KnownType("WaveIO:ReadHeader: unknown coding type %d")) return false;
  return Outcome(wavchunks_.ReadHeader(fr, num_samples_per_channel, sampling_rate));
}

bool WaveIO::ReadAudioData(int32_t wave_start, int32_t num_samples, std::vector<int16_t>* samples,
                           FileResource* fr) {
  if (!KnownType("WaveIO:ReadAudioData: unknown coding type %d")) return false;
  return Outcome(wavchunks_.ReadAudioData(wave_start, num_samples, samples, fr));
}

bool WaveIO::ReadAudioContainer(int container_size_in_bytes, std::vector<int16_t>* samples,
                                FileResource* fr) {
  if (!KnownType("WaveIO: coding type not supported %d")) return false;
  return Outcome(wavchunks_.ReadAudioContainer(container_size_in_bytes, samples, fr));
}

bool WaveIO::Load(FileResource* fr, std::vector<int16_t>* samples, int32_t* sample_rate) {
  int32_t count;
  if (!ReadHeader(fr, &count, sample_rate)) return false;
  return ReadAudioData(0, count, samples, fr);
}
