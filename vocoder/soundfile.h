#pragma once
// Sound input beyond the mono 16 kHz 16-bit WAV: any file libsndfile reads (WAV at any rate,
// with several channels or other sample formats, FLAC, AIFF, Ogg, ...) brought to a mono signal
// at the rate the caller asks for, or at the file's own rate: channels averaged, then resampled
// with libsoxr's high-quality setting when the rates differ. A mono 16 kHz 16-bit PCM WAV file is
// read by the WAV reader (wavm1616io) alone; the two libraries are loaded only when a file needs
// them. Nothing here prints; the callers word the messages.
#include <cstddef>
#include <cstdio>
#include <cstdint>

#include "constants.h"

namespace velk {

// The range of sampling rates (Hz) the vocoder analyses and synthesises at. readsound refuses a
// file below the lowest rate before reading its samples, and brings one above the highest down to
// it when asked for the file's own rate.
const uint32_t soundratelowest = kLowestSamplingRate;
const uint32_t soundratehighest = kHighestSamplingRate;
// readsound's rate asking for the file's own rate whatever it is, outside that range too: for
// callers that check the rate themselves (the toolkit's trackers take 4 to 1000 kHz).
const uint32_t soundfileownrate = UINT32_MAX;

// Resamples the n samples of x, taken at fs Hz, to `rate` Hz into a new array (*out, released
// with free() by the caller); fs == rate copies the samples unchanged. The output holds
// round(n * rate / fs) samples. Returns that count, or 0 (and *out null) when fs or rate is not a
// finite rate above 0, n is 0, the output would not fit 32 bits, or the resampler fails (or
// cannot be loaded).
uint32_t resamplesound(const double* x, uint64_t n, double fs, double rate, double** out);
// resamplesound to 16 kHz.
uint32_t resample16k(const double* x, uint64_t n, double fs, double** out);

// How readsound ended.
enum soundstatus {
  SOUND_READ,        // read as it is stored: one channel, 16-bit samples, at the rate asked for
  SOUND_CONVERTED,   // mixed down to one channel, resampled and/or from another sample format
  SOUND_UNOPENED,    // the file could not be opened or read (soundinfo.error holds errno)
  SOUND_NOTSOUND,    // neither a RIFF/WAVE file nor any other format libsndfile reads
  SOUND_BADFORMAT,   // a WAV file without a usable format chunk
  SOUND_COMPRESSED,  // a WAV file of a format code no reader here decodes (soundinfo.format)
  SOUND_NODATA,      // a WAV file without a data chunk
  SOUND_EMPTYDATA,   // no sample in the file, or too few for one sample at 16 kHz
  SOUND_NOMEMORY,
  SOUND_NOLIBRARY,  // another format, and libsndfile or libsoxr cannot be loaded
  SOUND_LOWRATE,    // a file below soundratelowest (soundinfo.rate); its samples are not read
  SOUND_NOSAMPLES   // a file of another format (FLAC, AIFF, ...) of which no sample can be read
};

// What a sound file holds, as far as the read got.
struct soundinfo {
  soundstatus status = SOUND_UNOPENED;
  int error = 0;                       // errno when the file could not be opened or read
  uint32_t format = 0;                 // WAV format code (the subformat's for an extensible file)
  uint32_t rate = 0;                   // the file's sampling rate in Hz
  uint32_t readrate = 0;               // the rate of the samples returned, Hz (0: none read)
  uint32_t channels = 0;               // its channel count
  const char* encoding = "";           // its sample format: "16-bit", "24-bit", "32-bit float", ...
  uint32_t promised = 0, present = 0;  // sample frames the header promises, and the file holds
};

// Reads the sound file at `path` as a mono signal on the +-1 scale (a 16-bit sample s is s / 32768)
// into a new array (*samples, released with free() by the caller) and returns its length; 0 (and
// *samples null) when nothing could be read, info->status telling why. A file whose header
// promises more than it holds is read as far as it goes (promised > present). An input that
// cannot seek (a pipe, /dev/stdin, /dev/fd/N of a process substitution) is read once, into memory
// that grows with what arrives, and then read as a file holding those bytes.
//   path     the file
//   rate     the rate in Hz to bring the signal to; 0: the file's own rate, a file above
//            soundratehighest brought down to that (info->readrate tells which);
//            soundfileownrate: the file's own rate, never resampled nor refused for its rate
//   samples  out: a new array, caller's
//   info     out: what the file holds and how the read ended
// A file below soundratelowest Hz is refused (SOUND_LOWRATE) unless soundfileownrate is asked for.
uint32_t readsound(const char* path, uint32_t rate, double** samples, soundinfo* info);
// readsound at 16 kHz.
uint32_t readsound16k(const char* path, double** samples, soundinfo* info);
// readsound of an open stream (standard input), whose first `headsize` bytes, `head`, the caller
// has taken from it already (to tell a sound file from other data): those bytes and the rest of
// the stream are gathered in memory, as readsound gathers a pipe, and read as the file. A read
// error gives SOUND_UNOPENED (info->error), memory that runs out or a stream longer than any
// sound file (4 GiB) SOUND_NOMEMORY. The stream is left open.
uint32_t readsoundstream(FILE* file, const char* head, size_t headsize, uint32_t rate, double** samples,
                         soundinfo* info);

// A regular sound file read block by block at its own rate, so that a long file can be gone through
// several times in memory bounded by the block: the mono samples readsound gives when it reads the
// file at its own rate (libsndfile's values, channels averaged), in the same order.
struct soundblocks;
// Opens the file at `path`; null when it is no regular file, libsndfile does not read it, or its
// rate lies outside soundratelowest..soundratehighest (readsound converts or refuses those). info
// receives its rate (also as readrate), channels and encoding, SOUND_READ for one channel of 16-bit
// samples or SOUND_CONVERTED; promised and present once the samples are counted
// (soundblockscounted).
soundblocks* soundblocksopen(const char* path, soundinfo* info);
// Once the caller has counted the `count` samples of the file, completes info's promised and
// present as readsound gives them. -1 when the count differs from what the WAV reader would read
// (the file is then to be read with readsound).
int soundblockscounted(const soundblocks* b, uint64_t count, soundinfo* info);
// Up to n mono samples into x: the count read, fewer than n only at the end; -1 on an error.
int64_t soundblocksread(soundblocks* b, double* x, uint32_t n);
// Back to the first sample: 0, or -1.
int soundblocksrestart(soundblocks* b);
void soundblocksclose(soundblocks* b);

// Whether the n bytes at `head` (a file's first bytes; 8 suffice) begin a sound file of a format
// the reader takes: RIFF/RIFX/RF64 WAV, AIFF, Ogg, Sun/NeXT, CAF, or FLAC with the header of its
// first metadata block (STREAMINFO, 34 bytes). Headerless float streams starting with these bytes
// would lie far outside any signal's range.
bool startssoundfile(const char* head, size_t n);

// Writes into `text` (a string of at most `size` bytes, no final full stop) why the read that
// filled `info` gave nothing, e.g. "no such file", "data chunk missing". Returns text.
char* soundproblem(const soundinfo& info, char* text, size_t size);

}  // namespace velk
