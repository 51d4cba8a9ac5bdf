// Command-line helpers shared by the toolkit's stream commands.
#pragma once

#include <cstdint>
#include <cstdio>

// The program path after its last '/'.
const char *command_name(const char *path);

// The lines every toolkit usage text ends with: a blank line, the version and the revision.
void print_version_footer(FILE *fp);

// "<command> : Invalid option '<c>'!" on standard error.
void report_invalid_option(const char *cmnd, char c);

// The argument after argv[*i], advancing *i to it; nullptr (and *i unchanged) when there is none.
const char *next_argument(int argc, char **argv, int *i);

// a·b, a + b and a − b clamped to the int64_t range instead of overflowing.
int64_t saturating_mul(int64_t a, int64_t b);
int64_t saturating_add(int64_t a, int64_t b);
int64_t saturating_sub(int64_t a, int64_t b);
