// One second-order section of the biquad command's cascade.
#pragma once

namespace velk {

// Filters the sample x through a section with an optional pole pair (centre frequency pf and
// bandwidth pb, Hz) and an optional zero pair (zf, zb, Hz) at the sampling frequency fs (Hz),
// and returns the output sample.
//
// Design: a pair with centre frequency f and bandwidth b has its two roots at r·e^(±jθ) with
// θ = 2πf/fs and r = e^(−πb/fs), the radius whose resonance is b wide at −3 dB for narrow
// bandwidths. The section is the monic direct form II
//     H(z) = (1 − 2 r_z cos θ_z z⁻¹ + r_z² z⁻²) / (1 − 2 r_p cos θ_p z⁻¹ + r_p² z⁻²),
// a missing pair contributing 1. No gain is applied.
//
// State, all zero before the first sample: d is a ring of three doubles holding the recent
// values of the internal signal w of the direct form, *pos the slot of the newest one. The ring
// lets each sample store one value instead of shifting the delay line.
double biquad(bool has_pole, bool has_zero, double* d, int* pos, double x, double fs, double pf, double pb,
              double zf, double zb);

}  // namespace velk
