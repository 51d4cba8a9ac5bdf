// Usage text and option defaults of the pitch command. The trackers report a
// parameter error to the command, which then shows the usage text and ends with status 1.
#pragma once

// Option defaults.
const int kDefaultAlgorithm = 0;
const double kDefaultSampleFreqKHz = 16.0;
const int kDefaultFrameShift = 80;
const double kDefaultMinF0 = 60.0;
const double kDefaultMaxF0 = 400.0;
const double kDefaultVoiceBias = 0.0;
const double kDefaultUnvoicedCost = 0.9;
const int kDefaultOutputType = 1;

// Name the usage text and messages show: the program path after its last '/'.
const char* command_name(void);

// Prints the usage text to standard error.
void printusage(void);
