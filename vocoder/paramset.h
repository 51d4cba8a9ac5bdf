#pragma once
// The settings record of a parameter set: a small JSON file beside the three headerless streams
// (log-F0, warped cepstra, maximum voiced frequency) that says how they were made, so that a
// reader takes the rate, frame shift, order and warping from it instead of guessing. Its name is
// the log-F0 file's name with ".json" appended. Also the rules that make a consistent set: the
// sizes of the streams against the record, and without one the order their sizes give and the
// voicing the rate allows. Built on no other module.

#include <cstdint>
#include <string>

namespace velk {

// What a record holds. The stream names are relative to the record's folder (recordstreamname);
// fv is empty when the set has no voiced-frequency stream.
struct paramrecord {
  uint32_t fs = 0;        // analysis rate, Hz
  uint32_t lframe = 0;    // frame shift in samples; frame k is centred at sample k * lframe
  uint32_t frames = 0;    // frames of every stream
  uint32_t ccord = 0;     // cepstral order: the cepstral stream holds frames x (ccord + 1) values
  double alpha = 0.0;     // all-pass warping factor of the cepstra
  uint32_t ccmeth = 0;    // envelope method of the analysis (0 to 4)
  bool morvscale = true;  // the cepstra are range-adapted
  double f0min = 0.0;     // F0 bounds of the analysis, Hz (0: not known)
  double f0max = 0.0;
  std::string version;  // the velk version that wrote it
  std::string lf0, cc, fv;
};

// The shortest decimal that reads back to v: a whole number as one (60, not 6e+01), anything else
// in %g form with as few digits as round-trip (0.42, not 0.41999999999999998).
std::string shortestdecimal(double v);

// The record's name for the log-F0 file lf0path: lf0path with ".json" appended.
std::string paramrecordpath(const std::string& lf0path);

// The name of a stream as the record of the log-F0 file lf0path gives it: its base name when it
// lies in the same folder (as the two names are written), else its absolute path.
std::string recordstreamname(const std::string& lf0path, const std::string& streampath);

// The record of a set as JSON text, one key a line, ending in a newline. Doubles are written in
// the shortest form that reads back to the same value; version is this library's when empty.
std::string formatparamrecord(const paramrecord& r);

// Reads a record from its text: 0, or -1 with *problem saying what is wrong (not JSON, not an
// object, a required key missing or of the wrong type or range). Keys it does not know are
// skipped. Required: format ("velk parameter set"), fs, lframe, frames, ccord, alpha, morvscale.
int parseparamrecord(const std::string& text, paramrecord* r, std::string* problem);

// Reads the record file at path: 1 when read, 0 when there is no such file, -1 when it cannot be
// read or parsed (*problem says why, without the path).
int readparamrecord(const char* path, paramrecord* r, std::string* problem);

// Removes the record beside the log-F0 file lf0path, for streams written there without one: a
// record an earlier writer left would describe the streams just replaced. 1 when one was removed,
// 0 when there was none, -1 when it could not be removed (errno says why).
int removeparamrecord(const char* lf0path);

// The rules of a consistent set: the log-F0 stream holds r.frames values, the cepstral stream
// r.frames x (r.ccord + 1), the voiced-frequency stream (when fvvalues is not null) r.frames.
// Returns 0, or -1 with *problem naming the stream, its size and the size the record gives. The
// stream names in the message are the given ones.
int paramsizesproblem(const paramrecord& r, const char* lf0name, uint64_t lf0values, const char* ccname,
                      uint64_t ccvalues, const char* fvname, const uint64_t* fvvalues, std::string* problem);

// The rules of a set without a record. The cepstral order of `values` cepstra over `frames`
// frames (frames > 0): 0 with *order = values / frames - 1 when they make whole frames of at
// least one value each and the order fits 32 bits; -1 when they do not.
int cepstralorderof(uint64_t frames, uint64_t values, uint32_t* order);

// Whether the highest maximum voiced frequency of a set (Hz) fits a synthesis at fs Hz: not above
// fs / 2. Streams made at a higher rate than fs hold frequencies above it.
bool voicingwithinrate(double highest, uint32_t fs);

}  // namespace velk
