#pragma once
// The streaming classes of the Python module (streaming.cpp), and the checks of velkmodule.cpp
// they share with decode.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>

#include "velkcodec.h"

// The synthesis settings of decode's keyword options, checked and prepared as decode does
// (ValueError on a bad value).
velk::decodesettings checkedsynthesissettings(uint32_t fs, std::optional<int64_t> lframe,
                                              std::optional<double> alpha, double fpitch, double fvpitch,
                                              double fdur, double fwarp, double floud, double fpfilt,
                                              double fdrc, int64_t morvscale);
// A sampling rate the synthesis works at, as decode checks fs.
uint32_t checkedrate(double fs, const char* name);
// Refuses (ValueError) cepstra of another order than the 16 kHz default, for streams synthesised
// without fs: they were made at another rate, which fs must name.
void requiredefaultorder(uint32_t order);
// A UserWarning pointing at the caller of the package's function.
void userwarning(const char* message);

// Adds velk.Decoder to the module.
void defstreaming(pybind11::module_& m);
