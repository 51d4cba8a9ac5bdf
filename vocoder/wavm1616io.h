#pragma once
// Mono 16 kHz 16-bit PCM WAV files, the programs' sound input and output. A 16-bit sample s stands
// for the double s / 32768. Built on no other module.
//
// Reading walks the RIFF chunks: the first "fmt " and the first "data" chunk are used wherever
// they stand and every other chunk (LIST, fact, cue, bext, id3, JUNK, PAD, ...) is skipped; a
// WAVE_FORMAT_EXTENSIBLE format chunk with the PCM subformat reads as plain PCM.

#include <cstdint>
#include <cstdio>

namespace velk {

// Largest sample count a 16-bit mono WAV file can hold (its sizes are 32-bit byte counts).
const uint64_t wavmaxsamples = (UINT32_MAX - 36) / 2;

// How a WAV read ended.
enum wavstatus {
  WAV_READ,         // mono 16 kHz 16-bit PCM samples read
  WAV_UNOPENED,     // the file could not be opened or read (wavinfo.error holds errno)
  WAV_NOTWAVE,      // no RIFF/WAVE header
  WAV_BADFORMAT,    // no format chunk, or one too short or with no channels or rate
  WAV_NODATA,       // no data chunk
  WAV_EMPTYDATA,    // a data chunk holding no whole sample frame
  WAV_OTHERFORMAT,  // a sound of another format, rate, channel count or sample size (fields below)
  WAV_NOMEMORY
};

// What the header of a WAV file says, filled as far as the read got.
struct wavinfo {
  wavstatus status = WAV_UNOPENED;
  int error = 0;            // errno of a failed open or read
  uint32_t format = 0;      // format tag; the subformat's for WAVE_FORMAT_EXTENSIBLE
  uint32_t channels = 0;    // of the format chunk
  uint32_t rate = 0;        // sampling rate in Hz
  uint32_t bits = 0;        // bits per sample
  uint32_t blockalign = 0;  // bytes per sample frame
  uint32_t promised = 0;    // sample frames the data chunk's size promises
  uint32_t present = 0;     // whole sample frames of them the file holds
};

// Reads the samples into a new array of doubles (the caller frees it); returns their count, 0
// when the file is not a mono 16 kHz 16-bit PCM WAV file with samples in its data chunk. A data
// chunk promising more than the file holds gives the samples present.
uint32_t wavreadm1616(const char* path, double** samples);
// The same, telling in *info what the header says and why nothing was read.
uint32_t wavreadm1616info(const char* path, double** samples, wavinfo* info);
// The same from a stream open for reading at its start, which must be able to seek (a file, or
// a memory stream holding what a pipe delivered); the stream is closed.
uint32_t wavreadm1616file(FILE* file, double** samples, wavinfo* info);
// What the header of the WAV file at `path` says, without reading its samples: the status the read
// would end with (WAV_READ or WAV_OTHERFORMAT for a usable header), the format, and the sample
// frames the data chunk promises and the file holds, and in *datastart the offset of its first
// sample. Returns 0, or -1 when the file cannot be opened (info->error).
int wavreadheader(const char* path, wavinfo* info, uint64_t* datastart);
// Number of the n samples that lie beyond the 16-bit range (written saturated by wavdouble2short):
// 32768 x, truncated, above 32767 or below -32768. NaNs are not counted.
uint32_t wavclippedsamples(const double* samples, uint32_t n);
// Writes a 44-byte header and n samples, each saturated and truncated to 16 bits.
//   path       file to create or replace
//   samples    in (in/out, see below): n doubles on the +-1 scale, caller's
//   n          samples to write
//   normalise  1: scale the peak to 0.99 first, in the caller's array
//   keep       1: convert into a separate buffer; any other value converts inside `samples`,
//              which then holds packed 16-bit values and must no longer be read as doubles
// Returns n, or 0 on any failure. The file is replaced whole (see outputfile.h): on failure an
// earlier file of the name stays as it was.
uint32_t wavwritem1616(const char* path, double* samples, uint32_t n, uint8_t normalise, uint8_t keep);
// The same at `rate` Hz (a mono 16-bit file whose header says that rate); 0 when rate is 0 or
// above what the header's byte rate holds.
uint32_t wavwritem16(const char* path, double* samples, uint32_t n, uint32_t rate, uint8_t normalise,
                     uint8_t keep);
// The 44-byte header (wavheaderbytes) that wavwritem16 writes for n samples at `rate` Hz.
const uint32_t wavheaderbytes = 44;
void wavheaderm16(unsigned char* header, uint32_t n, uint32_t rate);
// out[i] = in[i] / 32768, last to first, so `in` may occupy the start of `out`.
int wavshort2double(uint32_t n, const int16_t* in, double* out);
// Saturating, truncating conversion, first to last, so `out` may occupy the start of `in`.
int wavdouble2short(uint32_t n, const double* in, int16_t* out);
// Scales the samples so that the largest magnitude becomes 0.99; all zeros stay zeros.
int wavampnormalize(double* samples, uint32_t n);

}  // namespace velk
