#include "soundfile.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sndfile.h>
#include <soxr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "constants.h"
#include "wavm1616io.h"

namespace velk {

namespace {

const uint32_t wavpcm = 1;
const uint32_t wavfloat = 3;
// Samples read from the file at a time, over all channels.
const sf_count_t blocksamples = 1 << 16;

// libsndfile and libsoxr, loaded when a file first needs them: the common input, a mono 16 kHz
// 16-bit WAV file, then costs neither their start-up time nor their memory (with the libraries
// they bring, about 2.5 ms and 1.7 MB a process).
struct soundlibraries {
  bool loaded = false;
  decltype(&::sf_open) open = nullptr;
  decltype(&::sf_open_virtual) openvirtual = nullptr;
  decltype(&::sf_close) close = nullptr;
  decltype(&::sf_readf_double) readframes = nullptr;
  decltype(&::sf_command) command = nullptr;
  decltype(&::sf_seek) seek = nullptr;
  decltype(&::soxr_io_spec) iospec = nullptr;
  decltype(&::soxr_quality_spec) qualityspec = nullptr;
  decltype(&::soxr_oneshot) oneshot = nullptr;
};

// The symbol `name` of the library `lib` into *function; false when it is missing.
template <class Function>
bool bind(void* lib, const char* name, Function* function) {
  *function = lib != nullptr ? reinterpret_cast<Function>(dlsym(lib, name)) : nullptr;
  return *function != nullptr;
}

soundlibraries loadsoundlibraries() {
  soundlibraries l;
  void* sndfile = dlopen("libsndfile.so.1", RTLD_NOW | RTLD_LOCAL);
  void* soxr = dlopen("libsoxr.so.0", RTLD_NOW | RTLD_LOCAL);
  l.loaded = bind(sndfile, "sf_open", &l.open) && bind(sndfile, "sf_open_virtual", &l.openvirtual) &&
             bind(sndfile, "sf_close", &l.close) && bind(sndfile, "sf_readf_double", &l.readframes) &&
             bind(sndfile, "sf_command", &l.command) && bind(sndfile, "sf_seek", &l.seek) &&
             bind(soxr, "soxr_io_spec", &l.iospec) && bind(soxr, "soxr_quality_spec", &l.qualityspec) &&
             bind(soxr, "soxr_oneshot", &l.oneshot);
  return l;  // the libraries stay loaded for the process
}

// The loaded libraries, or null when either cannot be loaded. Loaded once, by whichever thread
// asks first; after that the table does not change.
const soundlibraries* soundlibs() {
  static const soundlibraries libs = loadsoundlibraries();
  return libs.loaded ? &libs : nullptr;
}

soundstatus statusofwav(wavstatus s) {
  switch (s) {
    case WAV_READ:
      return SOUND_READ;
    case WAV_UNOPENED:
      return SOUND_UNOPENED;
    case WAV_NOTWAVE:
      return SOUND_NOTSOUND;
    case WAV_BADFORMAT:
      return SOUND_BADFORMAT;
    case WAV_NODATA:
      return SOUND_NODATA;
    case WAV_EMPTYDATA:
      return SOUND_EMPTYDATA;
    case WAV_OTHERFORMAT:
      return SOUND_COMPRESSED;
    case WAV_NOMEMORY:
      break;
  }
  return SOUND_NOMEMORY;
}

// The sample format of a libsndfile subtype, as the messages name it.
const char* encodingof(const soundlibraries& lib, int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      return "8-bit";
    case SF_FORMAT_PCM_16:
      return "16-bit";
    case SF_FORMAT_PCM_24:
      return "24-bit";
    case SF_FORMAT_PCM_32:
      return "32-bit";
    case SF_FORMAT_FLOAT:
      return "32-bit float";
    case SF_FORMAT_DOUBLE:
      return "64-bit float";
    case SF_FORMAT_ULAW:
      return "mu-law";
    case SF_FORMAT_ALAW:
      return "A-law";
    default:
      break;
  }
  SF_FORMAT_INFO format = {subtype, nullptr, nullptr};
  if (lib.command(nullptr, SFC_GET_FORMAT_INFO, &format, sizeof format) == 0 && format.name)
    return format.name;
  return "compressed";
}

// The frames of `block` (`channels` samples each) into `count` mono samples: their channels' mean.
void mixdown(const double* block, sf_count_t count, uint32_t channels, double* mono) {
  for (sf_count_t f = 0; f < count; ++f) {
    double sum = 0;
    for (uint32_t c = 0; c < channels; ++c) sum += block[f * channels + c];
    mono[f] = sum / channels;
  }
}

// Reads every frame of the open file, averaging its channels, into a buffer that grows with the
// frames actually read; at most `limit` frames. Returns the buffer and the number of frames; null
// when no frame could be read, *failed then telling whether memory ran out or the file holds more
// than `limit` frames.
double* readmono(const soundlibraries& lib, SNDFILE* sound, uint32_t channels, uint64_t limit,
                 uint64_t* frames, bool* failed) {
  const sf_count_t blockframes = std::max<sf_count_t>(1, blocksamples / channels);
  double* block = static_cast<double*>(malloc(static_cast<size_t>(blockframes) * channels * sizeof(double)));
  double* mono = nullptr;
  uint64_t capacity = 0;
  *frames = 0;
  bool fits = block != nullptr;
  sf_count_t got;
  while (fits && (got = lib.readframes(sound, block, blockframes)) > 0) {
    const uint64_t needed = *frames + static_cast<uint64_t>(got);
    if (needed > capacity) {
      capacity = std::max<uint64_t>(needed, 2 * capacity);
      double* grown =
          needed <= limit ? static_cast<double*>(realloc(mono, capacity * sizeof(double))) : nullptr;
      fits = grown != nullptr;
      if (!fits) break;
      mono = grown;
    }
    mixdown(block, got, channels, mono + *frames);
    *frames = needed;
  }
  free(block);
  *failed = !fits;
  if (!fits) {
    free(mono);
    return nullptr;
  }
  return mono;
}

// The bytes of an input that cannot seek (a pipe, a terminal, a socket), read once into a buffer
// that grows with what arrives, and a reading position in them for libsndfile.
struct streambytes {
  unsigned char* data = nullptr;
  sf_count_t size = 0;
  sf_count_t at = 0;
  ~streambytes() { free(data); }
};

// Largest stream taken: a WAV file's sizes are 32-bit, so none is longer.
const uint64_t streamlongest = uint64_t{UINT32_MAX} + 8;

// True when the input at `path` cannot seek: it exists and is no regular file, directory or
// block device.
bool isstream(const char* path) {
  struct stat st;
  return path && stat(path, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !S_ISBLK(st.st_mode);
}

// Makes room for more bytes in *bytes, doubling *capacity when it is full; false when memory runs
// out or the stream has outgrown any sound file.
bool makeroom(streambytes* bytes, size_t* capacity) {
  if (static_cast<size_t>(bytes->size) < *capacity) return true;
  const size_t grown = *capacity == 0 ? size_t{1} << 16 : 2 * *capacity;
  unsigned char* data =
      grown <= streamlongest * 2 ? static_cast<unsigned char*>(realloc(bytes->data, grown)) : nullptr;
  if (!data) return false;
  bytes->data = data;
  *capacity = grown;
  return true;
}

// Reads the whole stream into *bytes; false with the status (and errno) when it cannot be opened
// or read, memory runs out or it is longer than any sound file.
bool readstream(const char* path, streambytes* bytes, soundinfo* info) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    info->error = errno;
    info->status = SOUND_UNOPENED;
    return false;
  }
  size_t capacity = 0;
  bool done = false, fits = true;
  while (!done && fits) {
    fits = makeroom(bytes, &capacity);
    if (!fits) break;
    const ssize_t got = read(fd, bytes->data + bytes->size, capacity - static_cast<size_t>(bytes->size));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      info->error = errno;
      info->status = SOUND_UNOPENED;
      close(fd);
      return false;
    }
    bytes->size += got;
    done = got == 0;
    fits = static_cast<uint64_t>(bytes->size) <= streamlongest;
  }
  close(fd);
  if (!fits) info->status = SOUND_NOMEMORY;
  return fits;
}

// The same for an open stream whose first `headsize` bytes, `head`, have been taken already.
bool readopenstream(FILE* file, const char* head, size_t headsize, streambytes* bytes, soundinfo* info) {
  size_t capacity = 0;
  bool fits = makeroom(bytes, &capacity) && headsize <= capacity;
  if (fits) {
    memcpy(bytes->data, head, headsize);
    bytes->size = static_cast<sf_count_t>(headsize);
  }
  size_t got = 1;
  while (fits && got > 0) {
    fits = makeroom(bytes, &capacity);
    if (!fits) break;
    got = fread(bytes->data + bytes->size, 1, capacity - static_cast<size_t>(bytes->size), file);
    bytes->size += static_cast<sf_count_t>(got);
    fits = static_cast<uint64_t>(bytes->size) <= streamlongest;
  }
  if (fits && ferror(file)) {
    info->error = errno != 0 ? errno : EIO;
    info->status = SOUND_UNOPENED;
    return false;
  }
  if (!fits) info->status = SOUND_NOMEMORY;
  return fits;
}

// libsndfile's view of the bytes of a stream.
sf_count_t streamlength(void* user) {
  return static_cast<streambytes*>(user)->size;
}

sf_count_t streamseek(sf_count_t offset, int whence, void* user) {
  streambytes* b = static_cast<streambytes*>(user);
  const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? b->at : b->size;
  b->at = std::min(std::max<sf_count_t>(0, base + offset), b->size);
  return b->at;
}

sf_count_t streamread(void* to, sf_count_t count, void* user) {
  streambytes* b = static_cast<streambytes*>(user);
  const sf_count_t n = std::max<sf_count_t>(0, std::min(count, b->size - b->at));
  if (n > 0) memcpy(to, b->data + b->at, static_cast<size_t>(n));
  b->at += n;
  return n;
}

sf_count_t streamwrite(const void*, sf_count_t, void*) {
  return 0;
}

sf_count_t streamtell(void* user) {
  return static_cast<streambytes*>(user)->at;
}

// Opens the file at `path`, or the bytes of a stream read from it when `stream` is not null.
SNDFILE* opensound(const soundlibraries& lib, const char* path, streambytes* stream, SF_INFO* format) {
  if (!stream) return lib.open(path, SFM_READ, format);
  static SF_VIRTUAL_IO io = {streamlength, streamseek, streamread, streamwrite, streamtell};
  stream->at = 0;
  return lib.openvirtual(&io, SFM_READ, format, stream);
}

// The rate a file of `filerate` Hz is read at when `rate` is asked for (0: the file's own rate,
// at most soundratehighest; soundfileownrate: the file's own rate).
uint32_t targetrateof(uint32_t filerate, uint32_t rate) {
  if (rate == soundfileownrate) return filerate;
  if (rate != 0) return rate;
  return std::min(filerate, soundratehighest);
}

// Reads the file with libsndfile and converts it to `rate` Hz (0: its own rate); `wav` holds
// what the WAV reader found.
uint32_t readconverted(const char* path, streambytes* stream, uint32_t rate, const wavinfo& wav,
                       double** samples, soundinfo* info) {
  const soundlibraries* lib = soundlibs();
  if (lib == nullptr) {
    info->status = SOUND_NOLIBRARY;
    return 0;
  }
  SF_INFO format = {};
  SNDFILE* sound = opensound(*lib, path, stream, &format);
  if (!sound) {
    if (wav.status == WAV_NOTWAVE)
      info->status = SOUND_NOTSOUND;
    else
      info->status = wav.format == wavpcm || wav.format == wavfloat ? SOUND_BADFORMAT : SOUND_COMPRESSED;
    return 0;
  }
  if (format.channels < 1 || format.samplerate < 1) {
    lib->close(sound);
    info->status = SOUND_BADFORMAT;
    return 0;
  }
  info->rate = static_cast<uint32_t>(format.samplerate);
  info->channels = static_cast<uint32_t>(format.channels);
  const int subtype = format.format & SF_FORMAT_SUBMASK;
  info->encoding = encodingof(*lib, subtype);
  if (info->rate < soundratelowest && rate != soundfileownrate) {  // refused before its samples are read
    lib->close(sound);
    info->status = SOUND_LOWRATE;
    return 0;
  }
  const double targetrate = targetrateof(info->rate, rate);
  // The most input frames whose output still fits 32 bits.
  const uint64_t limit = static_cast<uint64_t>(std::floor(UINT32_MAX * (info->rate / targetrate)));
  uint64_t frames = 0;
  bool failed = false;
  double* mono = readmono(*lib, sound, info->channels, limit, &frames, &failed);
  lib->close(sound);
  const bool read = mono != nullptr;
  const bool tooshort = std::floor(static_cast<double>(frames) * targetrate / info->rate + 0.5) < 1;
  uint32_t n = 0;
  if (mono && !tooshort && info->rate == targetrate) {  // no resampling: the buffer itself, trimmed
    double* trimmed = static_cast<double*>(realloc(mono, frames * sizeof(double)));
    *samples = trimmed ? trimmed : mono;
    mono = nullptr;
    n = static_cast<uint32_t>(frames);
  } else if (mono && !tooshort) {
    n = resamplesound(mono, frames, info->rate, targetrate, samples);
  }
  free(mono);
  if (info->promised == 0 && format.frames > 0 && static_cast<uint64_t>(format.frames) > frames) {
    info->promised =
        static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(format.frames), UINT32_MAX));
    info->present = static_cast<uint32_t>(frames);
  }
  const bool asstored = info->rate == targetrate && info->channels == 1 && subtype == SF_FORMAT_PCM_16;
  if (n != 0) {
    info->status = asstored ? SOUND_READ : SOUND_CONVERTED;
    info->readrate = static_cast<uint32_t>(targetrate);
  } else {
    info->status = failed || (read && !tooshort) ? SOUND_NOMEMORY : SOUND_NOSAMPLES;
  }
  return n;
}

// Resamples the n samples of a 16 kHz file just read (*samples, replaced) to `rate` Hz.
uint32_t resampleread(uint32_t rate, double** samples, uint32_t n, soundinfo* info) {
  double* resampled = nullptr;
  const uint32_t m = resamplesound(*samples, n, kSamplingRate, rate, &resampled);
  free(*samples);
  *samples = resampled;
  info->status = m != 0 ? SOUND_CONVERTED : SOUND_NOMEMORY;
  info->readrate = m != 0 ? rate : 0;
  return m;
}

// Reads the sound file at `path`, or the bytes of a stream gathered from it when `stream` is not
// null, as readsound does.
uint32_t readsoundfrom(const char* path, streambytes* stream, uint32_t rate, double** samples,
                       soundinfo* info) {
  wavinfo wav;
  uint32_t n = 0;
  if (!stream) {
    n = wavreadm1616info(path, samples, &wav);
  } else {
    // What arrived is read as a file would be: the WAV reader on a memory stream of it.
    FILE* memory =
        stream->size > 0 ? fmemopen(stream->data, static_cast<size_t>(stream->size), "rb") : nullptr;
    if (memory)
      n = wavreadm1616file(memory, samples, &wav);
    else
      wav.status = WAV_NOTWAVE;
  }
  info->status = statusofwav(wav.status);
  info->error = wav.error;
  info->format = wav.format;
  info->rate = wav.rate;
  info->channels = wav.channels;
  info->promised = wav.promised;
  info->present = wav.present;
  if (wav.status == WAV_READ) {
    info->encoding = "16-bit";
    if (rate != 0 && rate != kSamplingRate && rate != soundfileownrate)
      return resampleread(rate, samples, n, info);
    info->readrate = kSamplingRate;
    return n;
  }
  if (wav.status != WAV_OTHERFORMAT && wav.status != WAV_NOTWAVE) return n;
  return readconverted(path, stream, rate, wav, samples, info);
}

}  // namespace

uint32_t resample16k(const double* x, uint64_t n, double fs, double** out) {
  return resamplesound(x, n, fs, kSamplingRate, out);
}

uint32_t resamplesound(const double* x, uint64_t n, double fs, double targetrate, double** out) {
  *out = nullptr;
  const bool rates = std::isfinite(fs) && fs > 0 && std::isfinite(targetrate) && targetrate > 0;
  if (n == 0 || !rates) return 0;
  const double length = std::floor(static_cast<double>(n) * targetrate / fs + 0.5);
  if (!(length >= 1 && length <= UINT32_MAX)) return 0;
  const size_t outlength = static_cast<size_t>(length);
  double* y = static_cast<double*>(malloc(outlength * sizeof(double)));
  if (!y) return 0;
  if (fs == targetrate) {
    memcpy(y, x, outlength * sizeof(double));
  } else {
    const soundlibraries* lib = soundlibs();
    size_t done = 0;
    bool failed = lib == nullptr;
    if (!failed) {
      const soxr_io_spec_t io = lib->iospec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
      const soxr_quality_spec_t quality = lib->qualityspec(SOXR_HQ, 0);
      failed =
          lib->oneshot(fs, targetrate, 1, x, n, nullptr, y, outlength, &done, &io, &quality, nullptr) != 0;
    }
    if (failed) {
      free(y);
      return 0;
    }
    for (size_t i = done; i < outlength; ++i) y[i] = 0.0;  // the resampler's tail, if it fell short
  }
  *out = y;
  return static_cast<uint32_t>(outlength);
}

uint32_t readsound16k(const char* path, double** samples, soundinfo* info) {
  return readsound(path, kSamplingRate, samples, info);
}

uint32_t readsound(const char* path, uint32_t rate, double** samples, soundinfo* info) {
  *samples = nullptr;
  *info = soundinfo();
  if (!isstream(path)) return readsoundfrom(path, nullptr, rate, samples, info);
  streambytes bytes;
  if (!readstream(path, &bytes, info)) return 0;
  return readsoundfrom(path, &bytes, rate, samples, info);
}

uint32_t readsoundstream(FILE* file, const char* head, size_t headsize, uint32_t rate, double** samples,
                         soundinfo* info) {
  *samples = nullptr;
  *info = soundinfo();
  streambytes bytes;
  if (!readopenstream(file, head, headsize, &bytes, info)) return 0;
  return readsoundfrom(nullptr, &bytes, rate, samples, info);
}

// A mono 16 kHz 16-bit WAV file is read by the WAV reader's rules (the samples present, s / 32768)
// without loading libsndfile; any other file through libsndfile.
struct soundblocks {
  FILE* wav = nullptr;  // the WAV file itself, from its first sample
  uint64_t datastart = 0;
  uint32_t remaining = 0;  // samples left in this pass
  const soundlibraries* lib = nullptr;
  SNDFILE* sound = nullptr;
  uint32_t channels = 1;
  std::vector<double> block;
  bool header = false;    // the WAV reader read the header: promised and present are its
  uint32_t headerframes;  // otherwise, the frames libsndfile announces
  uint32_t present = 0;
};

namespace {

// The samples of an exact 16 kHz file, read by the WAV reader's rules.
soundblocks* openwavblocks(const char* path, const wavinfo& wav, uint64_t datastart, soundinfo* info) {
  soundblocks* b = new (std::nothrow) soundblocks;
  FILE* file = b ? fopen(path, "rb") : nullptr;
  if (!file || fseeko(file, static_cast<off_t>(datastart), SEEK_SET) != 0) {
    if (file) fclose(file);
    delete b;
    return nullptr;
  }
  b->wav = file;
  b->datastart = datastart;
  b->remaining = b->present = wav.present;
  b->header = true;
  info->rate = info->readrate = kSamplingRate;
  info->channels = 1;
  info->encoding = "16-bit";
  info->status = SOUND_READ;
  info->promised = wav.promised;
  info->present = wav.present;
  return b;
}

}  // namespace

soundblocks* soundblocksopen(const char* path, soundinfo* info) {
  struct stat st;
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  *info = soundinfo();
  wavinfo wav;
  uint64_t datastart = 0;
  const bool isheader = wavreadheader(path, &wav, &datastart) == 0;
  if (isheader && wav.status == WAV_READ) return openwavblocks(path, wav, datastart, info);
  const soundlibraries* lib = soundlibs();
  if (lib == nullptr) return nullptr;
  SF_INFO format = {};
  SNDFILE* sound = lib->open(path, SFM_READ, &format);
  if (sound == nullptr) return nullptr;
  const uint32_t rate = format.samplerate > 0 ? static_cast<uint32_t>(format.samplerate) : 0;
  soundblocks* b = format.channels < 1 || rate < soundratelowest || rate > soundratehighest
                       ? nullptr
                       : new (std::nothrow) soundblocks;
  if (b == nullptr) {
    lib->close(sound);
    return nullptr;
  }
  b->lib = lib;
  b->sound = sound;
  b->channels = static_cast<uint32_t>(format.channels);
  const int subtype = format.format & SF_FORMAT_SUBMASK;
  info->rate = info->readrate = rate;
  info->channels = b->channels;
  info->encoding = encodingof(*lib, subtype);
  info->status = b->channels == 1 && subtype == SF_FORMAT_PCM_16 ? SOUND_READ : SOUND_CONVERTED;
  b->header = isheader && wav.status == WAV_OTHERFORMAT;
  info->promised = b->header ? wav.promised : 0;
  info->present = b->header ? wav.present : 0;
  b->present = info->present;
  b->headerframes =
      static_cast<uint32_t>(std::min<sf_count_t>(std::max<sf_count_t>(format.frames, 0), UINT32_MAX));
  return b;
}

int soundblockscounted(const soundblocks* b, uint64_t count, soundinfo* info) {
  if (b->header) return count == b->present ? 0 : -1;
  if (b->headerframes > count) {
    info->promised = b->headerframes;
    info->present = static_cast<uint32_t>(count);
  }
  return 0;
}

int64_t soundblocksread(soundblocks* b, double* x, uint32_t n) {
  if (b->wav) {
    const uint32_t want = std::min(n, b->remaining);
    uint32_t done = 0;
    int16_t chunk[4096];
    while (done < want) {
      const uint32_t step = std::min<uint32_t>(4096, want - done);
      const uint32_t got = static_cast<uint32_t>(fread(chunk, 2, step, b->wav));
      wavshort2double(got, chunk, x + done);
      done += got;
      if (got < step) break;
    }
    b->remaining -= done;
    return ferror(b->wav) ? -1 : done;
  }
  const sf_count_t frames = std::max<sf_count_t>(1, blocksamples / b->channels);
  if (b->channels == 1) return b->lib->readframes(b->sound, x, n);
  int64_t done = 0;
  while (done < n) {
    b->block.resize(static_cast<size_t>(frames) * b->channels);
    const sf_count_t got =
        b->lib->readframes(b->sound, b->block.data(), std::min<sf_count_t>(frames, n - done));
    if (got <= 0) break;
    mixdown(b->block.data(), got, b->channels, x + done);
    done += got;
  }
  return done;
}

int soundblocksrestart(soundblocks* b) {
  if (b->wav) {
    b->remaining = b->present;
    return fseeko(b->wav, static_cast<off_t>(b->datastart), SEEK_SET) == 0 ? 0 : -1;
  }
  return b->lib->seek(b->sound, 0, SEEK_SET) == 0 ? 0 : -1;
}

void soundblocksclose(soundblocks* b) {
  if (b == nullptr) return;
  if (b->wav) fclose(b->wav);
  if (b->sound) b->lib->close(b->sound);
  delete b;
}

bool startssoundfile(const char* head, size_t n) {
  if (n < 4) return false;
  for (const char* magic : {"RIFF", "RIFX", "RF64", "FORM", "OggS", ".snd", "caff"})
    if (memcmp(head, magic, 4) == 0) return true;
  return n >= 8 && memcmp(head, "fLaC", 4) == 0 && (head[4] & 0x7f) == 0 && head[5] == 0 && head[6] == 0 &&
         head[7] == 34;
}

char* soundproblem(const soundinfo& info, char* text, size_t size) {
  char reason[128];
  const char* problem = "read";
  switch (info.status) {
    case SOUND_READ:
    case SOUND_CONVERTED:
      break;
    case SOUND_UNOPENED:
      problem = info.error == ENOENT ? "no such file" : strerror_r(info.error, reason, sizeof reason);
      break;
    case SOUND_NOTSOUND:
      problem = "not a sound file (RIFF/WAVE header missing)";
      break;
    case SOUND_BADFORMAT:
      problem = "format chunk missing or damaged";
      break;
    case SOUND_COMPRESSED:
      snprintf(text, size, "compressed format (code 0x%x) not supported", info.format);
      return text;
    case SOUND_NODATA:
      problem = "data chunk missing";
      break;
    case SOUND_EMPTYDATA:
      problem = "empty data chunk";
      break;
    case SOUND_NOMEMORY:
      problem = "not enough memory";
      break;
    case SOUND_NOLIBRARY:
      problem = "libsndfile.so.1 or libsoxr.so.0, which read this file, cannot be loaded";
      break;
    case SOUND_NOSAMPLES:
      problem = "no sample can be read: the file is empty or cut short";
      break;
    case SOUND_LOWRATE:
      snprintf(text, size, "sampling rate %u Hz below the lowest supported, %u Hz", info.rate,
               soundratelowest);
      return text;
  }
  snprintf(text, size, "%s", problem);
  return text;
}

}  // namespace velk
