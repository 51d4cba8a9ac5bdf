#include "audioload.h"

namespace velk {

waveio::waveio() : waveio(PCM16) {}

waveio::waveio(wavecodingtype coding_type) : coding_type_(coding_type) {
  initialize(coding_type);
}

bool waveio::knowntype(const char* message) {
  error_.clear();
  if (coding_type_ <= ULAW8) return true;
  char text[80];
  snprintf(text, sizeof text, message, (int)coding_type_);
  error_ = text;
  return false;
}

int waveio::outcome(int status) {
  if (status != 0) error_ = wavchunks_.error();
  return status;
}

int waveio::initialize(wavecodingtype coding_type) {
  coding_type_ = coding_type;
  if (!knowntype("WaveIO:WaveIO: unknown coding type %d")) return -1;
  return wavchunks_.initialize(coding_type);
}

int waveio::readheader(fileresource* fr, int32_t* num_samples_per_channel, int32_t* sampling_rate) {
  if (!knowntype("WaveIO:ReadHeader: unknown coding type %d")) return -1;
  return outcome(wavchunks_.readheader(fr, num_samples_per_channel, sampling_rate));
}

int waveio::readaudiodata(int32_t wave_start, int32_t num_samples, std::vector<int16_t>* samples,
                          fileresource* fr) {
  if (!knowntype("WaveIO:ReadAudioData: unknown coding type %d")) return -1;
  return outcome(wavchunks_.readaudiodata(wave_start, num_samples, samples, fr));
}

int waveio::readaudiocontainer(int container_size_in_bytes, std::vector<int16_t>* samples, fileresource* fr) {
  if (!knowntype("WaveIO: coding type not supported %d")) return -1;
  return outcome(wavchunks_.readaudiocontainer(container_size_in_bytes, samples, fr));
}

int waveio::load(fileresource* fr, std::vector<int16_t>* samples, int32_t* sample_rate) {
  int32_t count;
  if (readheader(fr, &count, sample_rate) != 0) return -1;
  return readaudiodata(0, count, samples, fr);
}

}  // namespace velk
