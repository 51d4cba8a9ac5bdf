#pragma once
// The streaming classes of the Python module (streaming.cpp), and the checks of velkmodule.cpp
// they share with decode.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "velkcodec.h"

namespace velk {

// The synthesis settings of decode's keyword options, checked and prepared as decode does
// (ValueError on a bad value).
decodesettings checkedsynthesissettings(uint32_t fs, std::optional<int64_t> lframe,
                                        std::optional<double> alpha, double fpitch, double fvpitch,
                                        double fdur, double fwarp, double floud, double fpfilt, double fdrc,
                                        int64_t morvscale);
// The analysis settings of encode's keyword options at the rate fs, checked as encode does.
encodesettings checkedanalysissettings(uint32_t fs, std::optional<int64_t> lframe,
                                       std::optional<int64_t> ccord, int64_t ccmeth,
                                       std::optional<double> alpha, double f0min, double f0max, int64_t f0acc,
                                       int64_t zfill, int64_t morvscale);
// A signal as encode takes x: float on the +-1 scale or int16, finite, checked for its scale.
std::vector<double> checkedsignal(const pybind11::object& x, const char* name);
// An Encoded of the streams (lf0 and fv of n frames, cc of n rows) with the settings s.
pybind11::object encodedresult(std::vector<double>&& lf0, std::vector<double>&& cc, std::vector<double>&& fv,
                               const encodesettings& s);
// A sampling rate the synthesis works at, as decode checks fs.
uint32_t checkedrate(double fs, const char* name);
// Refuses (ValueError) cepstra of another order than the 16 kHz default, for streams synthesised
// without fs: they were made at another rate, which fs must name.
void requiredefaultorder(uint32_t order);
// A UserWarning pointing at the caller of the package's function.
void userwarning(const char* message);

// Adds velk.Decoder and velk.Encoder to the module.
void defstreaming(pybind11::module_& m);

}  // namespace velk
