// Command-line helpers shared by the toolkit's stream commands.
#pragma once

#include <cstdint>
#include <cstdio>

// The program path after its last '/'.
const char* command_name(const char* path);

// The lines every toolkit usage text ends with: a blank line, the version and the revision.
void print_version_footer(FILE* fp);

// A command's usage routine: prints the usage text and exits with the status; never returns.
using UsageFn = void (*)(int status);

// "<command> : Invalid option '<c>'!" on standard error, then usage(1).
[[noreturn]] void invalid_option(const char* cmnd, char c, UsageFn usage);

// The argument after argv[*i], advancing *i to it; nullptr (and *i unchanged) when there is none.
const char* next_argument(int argc, char** argv, int* i);

// The value of the option at argv[*i], the next argument, advancing *i to it; usage(1) when the
// option is the last argument.
const char* option_argument(int argc, char** argv, int* i, UsageFn usage);

// a·b, a + b and a − b clamped to the int64_t range instead of overflowing.
int64_t saturating_mul(int64_t a, int64_t b);
int64_t saturating_add(int64_t a, int64_t b);
int64_t saturating_sub(int64_t a, int64_t b);
