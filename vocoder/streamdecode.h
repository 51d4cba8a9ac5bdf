#pragma once
// Synthesis of the vocoder's streams as they arrive: frames pushed in blocks of any size give the
// samples that no later frame changes, so that a long set is synthesised in memory bounded by the
// block, and a real-time caller hears its frames one shift after it pushes them. The samples of all
// pushes and of the flush, one after the other, are the samples decodestreams gives for the whole
// streams, bit for bit. Built on velkcodec (settings and frame steps) and ccanalysis (frame
// synthesis).
//
// Latency: frame k (from 0) is centred at output sample (k + 1) * shift and spans the samples
// k * shift up to (k + 2) * shift; a push of frame k releases the samples up to (k + 1) * shift - 1,
// so each frame's second half waits for the next frame: shift samples (the synthesis frame shift,
// lframe * fdur; 80 samples, 5 ms, at 16 kHz). The flush releases the last shift + 1 samples.
//
// Settings that need all frames before the first one is synthesised: fvpitch != 1 (the mean of the
// voiced log-F0 values), fdrc != 0 (the loudest frame), and synthesis without a voiced-frequency
// stream (the range of c0, after the filters, which with fdrc or fvpitch needs the first statistics
// too). The streaming decoder takes them from a survey, a first pass over the frames in blocks
// (decodesurveyadd), and refuses to start without it. Normalising the output's peak (the
// decoder's --wavnorm) needs the whole output; a caller synthesises twice (the synthesis is
// deterministic) or scales afterwards.
//
// Every record is made and destroyed in pairs by its caller; no routine prints or keeps state
// outside the records, so records run side by side in threads.
#include <cstddef>
#include <cstdint>

#include "blockio.h"
#include "ccanalysis.h"
#include "velkcodec.h"

namespace velk {

// The stages of a survey, as bits.
enum : uint8_t {
  SURVEY_FRAMES = 1,  // mean voiced log-F0 and loudest level (fvpitch, fdrc)
  SURVEY_C0 = 2       // range of c0 (no voiced-frequency stream); after SURVEY_FRAMES when both
};

// The statistics over all frames, gathered stage by stage; `done` holds the stages completed.
struct decodesurvey {
  decodestatistics frames;
  c0range c0;
  uint8_t done = 0;
};

// The stages synthesis with the settings s (after preparedecode) needs: SURVEY_FRAMES when
// fvpitch != 1 or fdrc != 0, SURVEY_C0 when hasfv is false; 0 when none.
uint8_t decodesurveyneeds(const decodesettings& s, bool hasfv);

// Takes `frames` frames of the streams into the stage `stage` of the survey (one of the bits
// above); the inputs are not changed. Every frame of the set goes into each needed stage, in
// order and in blocks of any size; SURVEY_C0 starts after SURVEY_FRAMES is done when that is
// needed. Returns 0; -1 for another stage, when SURVEY_C0 comes too early or memory runs out.
//   lf0     in: frames log-F0 values
//   cc      in: frames * (order + 1) cepstra, range-adapted when s.morvscale
//   fv      in: frames maximum voiced frequencies in Hz, or null
int decodesurveyadd(decodesurvey* sv, uint8_t stage, const decodesettings& s, uint32_t order,
                    const double* lf0, const double* cc, const double* fv, uint32_t frames);
// Marks the stage done, once all frames have gone into it.
void decodesurveyclose(decodesurvey* sv, uint8_t stage);

// The record of one streaming synthesis: the settings, the statistics, the frame synthesis with
// its noise generator and running phase, and the samples still waiting for the next frame.
struct streamdecoder;

// Why streamdecodercreate made no record.
enum : int {
  STREAMDECODE_NOMEMORY = -1,
  STREAMDECODE_UNSURVEYED = -2,  // the settings need a survey stage that `survey` has not done
  STREAMDECODE_BADSETTINGS = -3  // shift 0 (settings not through preparedecode)
};

// A record for streams of cepstral order `order`, with (hasfv) or without a voiced-frequency
// stream, synthesised with the settings s (after preparedecode). survey: the completed stages of
// decodesurveyneeds(s, hasfv), or null when it needs none. Null on failure, with *status (when not
// null) one of the codes above.
streamdecoder* streamdecodercreate(const decodesettings& s, uint32_t order, bool hasfv,
                                   const decodesurvey* survey, int* status);
void streamdecoderdestroy(streamdecoder* d);

// Samples the output trails the frames pushed: the synthesis frame shift.
uint32_t streamdecoderlatency(const streamdecoder* d);

// Synthesises the next `frames` frames and writes the frames * shift samples they make final into
// out. Returns 0; -1 when memory runs out, after the flush, or without fv for a record made with
// hasfv.
//   lf0     in: frames log-F0 values, -1e10 (or anything not above it) unvoiced
//   cc      in: frames * (order + 1) cepstra, range-adapted when s.morvscale
//   fv      in: frames maximum voiced frequencies in Hz when the record was made with hasfv;
//           ignored otherwise
//   out     out: frames * shift doubles, caller's, on the +-1 scale, never NaN or infinite
int streamdecoderpush(streamdecoder* d, const double* lf0, const double* cc, const double* fv,
                      uint32_t frames, double* out);
// Writes the last shift + 1 samples into out (caller's); the record takes no more frames. Returns
// 0; -1 when called twice.
int streamdecoderflush(streamdecoder* d, double* out);
// Frames pushed so far.
uint64_t streamdecoderframes(const streamdecoder* d);
// The samples made silent so far because their synthesis was not finite (as decodestreams reports
// them once flushed).
silencedsamples streamdecodersilenced(const streamdecoder* d);

// A parameter set in regular files (blockio.h) synthesised block by block, for a set longer than
// memory should hold.
// Where the samples go, in order: n samples at a time; 0, or -1 to stop.
struct samplesink {
  void* state = nullptr;
  int (*write)(void* state, const double* x, uint32_t n) = nullptr;
};
// The survey stages the settings s need (decodesurveyneeds), one pass over the set each. Returns 0;
// -1 when a read fails (*unread: the file's index) or memory runs out (*unread: -1).
int surveysetblocks(setblocks* b, const decodesettings& s, decodesurvey* sv, int* unread);
// One synthesis of the set, its samples to out as they are final (decodedlength(frames, s) in all)
// and the samples made silent into *silenced. Returns 0; -1 when a read fails (*unread: the file's
// index), memory runs out or the sink stops (*unread: -1).
int synthesisesetblocks(setblocks* b, const decodesettings& s, const decodesurvey& sv, const samplesink& out,
                        silencedsamples* silenced, int* unread);

}  // namespace velk
