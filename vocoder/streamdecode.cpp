#include "streamdecode.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "windowing.h"

namespace velk {

namespace {

// The lowest F0 the frame synthesis of a stream is sized for: every F0 it synthesises as voiced.
const double streamlowestf0 = 10.0;

bool surveyed(const decodesurvey* sv, uint8_t stages) {
  return (stages & ~(sv ? sv->done : 0)) == 0;
}

}  // namespace

struct streamdecoder {
  decodesettings s;
  uint32_t order = 0;
  bool hasfv = false;
  decodesurvey survey;
  ccsynth* synth = nullptr;
  std::vector<double> c;        // the frame being prepared
  std::vector<double> pending;  // samples k * shift .. (k + 2) * shift of the next frame k, and one more
  uint64_t frames = 0;
  bool flushed = false;
  silencedsamples silenced;
  ~streamdecoder() { ccsynthdestroy(synth); }
};

uint8_t decodesurveyneeds(const decodesettings& s, bool hasfv) {
  uint8_t needs = 0;
  if (s.fvpitch != 1.0 || s.fdrc != 0) needs |= SURVEY_FRAMES;
  if (!hasfv) needs |= SURVEY_C0;
  return needs;
}

int decodesurveyadd(decodesurvey* sv, uint8_t stage, const decodesettings& s, uint32_t order,
                    const double* lf0, const double* cc, const double* fv, uint32_t frames) {
  const bool c0stage = stage == SURVEY_C0;
  if ((stage != SURVEY_FRAMES && !c0stage) || (c0stage && !surveyed(sv, decodesurveyneeds(s, true))))
    return -1;
  std::vector<double> c;
  try {
    c.resize(static_cast<size_t>(order) + 1);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  for (uint32_t k = 0; k < frames; ++k) {
    const double* frame = cc + getccsize(k, order);
    std::copy(frame, frame + order + 1, c.begin());
    double f0 = lf0[k];
    const bool sound = decodeframebegin(s, order, &f0, c.data(), fv ? fv + k : nullptr);
    if (!c0stage) {
      decodeframesurvey(&sv->frames, s, order, f0, c.data());
      continue;
    }
    decodeframefinish(s, sv->frames, order, sound, &f0, c.data());
    c0rangeinclude(&sv->c0, f0, c.data(), order);
  }
  return 0;
}

void decodesurveyclose(decodesurvey* sv, uint8_t stage) {
  sv->done |= stage;
}

streamdecoder* streamdecodercreate(const decodesettings& s, uint32_t order, bool hasfv,
                                   const decodesurvey* survey, int* status) {
  int failure = 0;
  streamdecoder* d = nullptr;
  if (s.shift == 0) {
    failure = STREAMDECODE_BADSETTINGS;
  } else if (!surveyed(survey, decodesurveyneeds(s, hasfv))) {
    failure = STREAMDECODE_UNSURVEYED;
  } else {
    try {
      d = new streamdecoder;
      d->c.resize(static_cast<size_t>(order) + 1);
      d->pending.assign(2 * static_cast<size_t>(s.shift) + 1, 0.0);
      d->synth = ccsynthcreate(s.fs, s.shift, order, s.synthesisalpha, streamlowestf0);
      if (d->synth == nullptr) throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
      delete d;
      d = nullptr;
      failure = STREAMDECODE_NOMEMORY;
    }
  }
  if (d) {
    d->s = s;
    d->order = order;
    d->hasfv = hasfv;
    if (survey) d->survey = *survey;
  }
  if (status) *status = failure;
  return d;
}

void streamdecoderdestroy(streamdecoder* d) {
  delete d;
}

uint32_t streamdecoderlatency(const streamdecoder* d) {
  return d->s.shift;
}

namespace {

// Copies n samples of the pending output to out, made silent where not finite, as decodestreams
// does once the whole output is made; sample j of the output lies in frame j / shift, at most the
// last frame of `frames`.
void release(streamdecoder* d, size_t n, uint64_t frames, double* out) {
  const uint32_t shift = d->s.shift;
  const uint64_t first = d->frames * shift;
  silencedsamples* silenced = &d->silenced;
  for (size_t j = 0; j < n; ++j) {
    double v = d->pending[j];
    if (!std::isfinite(v)) {
      v = 0.0;
      const uint64_t frame = std::min((first + j) / shift, frames == 0 ? 0 : frames - 1);
      if (silenced->samples++ == 0) silenced->firstframe = static_cast<uint32_t>(frame);
      silenced->lastframe = static_cast<uint32_t>(frame);
    }
    out[j] = v;
  }
}

// Synthesises one frame into the pending output.
int synthesiseframe(streamdecoder* d, double lf0, const double* cc, const double* fv) {
  const uint32_t order = d->order, shift = d->s.shift;
  std::copy(cc, cc + order + 1, d->c.begin());
  const bool sound = decodeframebegin(d->s, order, &lf0, d->c.data(), fv);
  decodeframefinish(d->s, d->survey.frames, order, sound, &lf0, d->c.data());
  const double* frame = nullptr;
  const int made = ccsynthframe(d->synth, lf0, d->c.data(), fv, d->survey.c0, &frame);
  if (made == 1) olatriang(d->pending.data(), frame, 0, shift, 2 * shift);
  if (made == 0) notesilentframe(&d->silenced, static_cast<uint32_t>(d->frames), shift);
  return made < 0 ? -1 : 0;
}

}  // namespace

int streamdecoderpush(streamdecoder* d, const double* lf0, const double* cc, const double* fv,
                      uint32_t frames, double* out) {
  if (d->flushed || (d->hasfv && fv == nullptr && frames != 0)) return -1;
  const uint32_t shift = d->s.shift;
  for (uint32_t k = 0; k < frames; ++k) {
    const double* voicing = d->hasfv ? fv + k : nullptr;
    if (synthesiseframe(d, lf0[k], cc + getccsize(k, d->order), voicing) != 0) return -1;
    // The first shift samples are final: the next frame starts where they end.
    release(d, shift, d->frames + 1, out + static_cast<size_t>(k) * shift);
    std::copy(d->pending.begin() + shift, d->pending.end(), d->pending.begin());
    std::fill(d->pending.end() - shift - 1, d->pending.end(), 0.0);
    ++d->frames;
  }
  return 0;
}

int streamdecoderflush(streamdecoder* d, double* out) {
  if (d->flushed) return -1;
  release(d, static_cast<size_t>(d->s.shift) + 1, d->frames, out);
  d->flushed = true;
  return 0;
}

uint64_t streamdecoderframes(const streamdecoder* d) {
  return d->frames;
}

silencedsamples streamdecodersilenced(const streamdecoder* d) {
  return d->silenced;
}

int surveysetblocks(setblocks* b, const decodesettings& s, decodesurvey* sv, int* unread) {
  const uint8_t needs = decodesurveyneeds(s, b->file[2] != nullptr);
  for (const uint8_t stage : {SURVEY_FRAMES, SURVEY_C0}) {
    if (!(needs & stage)) continue;
    if (setblockspass(
            b,
            [&](const double* lf0, const double* cc, const double* fv, uint32_t n) {
              return decodesurveyadd(sv, stage, s, b->order, lf0, cc, fv, n) == 0;
            },
            unread) != 0)
      return -1;
    decodesurveyclose(sv, stage);
  }
  return 0;
}

int synthesisesetblocks(setblocks* b, const decodesettings& s, const decodesurvey& sv, const samplesink& out,
                        silencedsamples* silenced, int* unread) {
  *unread = -1;
  streamdecoder* decoder = streamdecodercreate(s, b->order, b->file[2] != nullptr, &sv, nullptr);
  if (!decoder) return -1;
  std::vector<double> samples(b->lf0.size() * s.shift + s.shift + 1);
  int done = setblockspass(
      b,
      [&](const double* lf0, const double* cc, const double* fv, uint32_t n) {
        return streamdecoderpush(decoder, lf0, cc, fv, n, samples.data()) == 0 &&
               out.write(out.state, samples.data(), n * s.shift) == 0;
      },
      unread);
  if (done == 0) {
    streamdecoderflush(decoder, samples.data());
    done = out.write(out.state, samples.data(), s.shift + 1);
  }
  *silenced = streamdecodersilenced(decoder);
  streamdecoderdestroy(decoder);
  return done == 0 ? 0 : -1;
}

}  // namespace velk
