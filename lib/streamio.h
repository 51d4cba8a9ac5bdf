// Stream routines shared by the toolkit's stream commands.
//
// A "float" sample on a stream is a little-endian IEEE 754 32-bit float; in memory the
// commands hold samples as doubles. freadf/fwritef convert between the two, freadx/fwritex
// move raw items unchanged.
#pragma once

#include <cstddef>
#include <cstdio>

namespace velk {

// Opens `name` with `mode`; null when the file cannot be opened or is a directory. Prints
// nothing (the commands' openstream of cmdline.h says which file).
FILE* getfp(const char* name, const char* mode);

// Whether fp starts with a RIFF/WAVE header ("RIFF", 4 bytes, "WAVE"). The bytes looked at stay
// to be read: a seekable stream is put back where it was, a pipe gets them pushed back (glibc
// takes more than one pushed-back byte).
bool startswithwaveheader(FILE* fp);

// Returns a zero-filled array of n doubles (release with free()), or null when the memory cannot
// be had. Prints nothing (the commands' doublearray of cmdline.h does). n below 1 counts as 1.
double* dgetmem(long n);

// Reads up to nitems float samples from fp into ptr (converted to double). size is the size of
// one element of ptr and must be sizeof(double); any other value reads nothing. Returns the
// number of samples read; a trailing partial sample is not counted.
int freadf(double* ptr, size_t size, int nitems, FILE* fp);

// Writes nitems doubles from ptr to fp as float samples (size as for freadf). Returns the
// number of samples written.
int fwritef(const double* ptr, size_t size, int nitems, FILE* fp);

// Reads nitems raw items of size bytes into ptr; returns the number of whole items read.
int freadx(void* ptr, size_t size, int nitems, FILE* fp);

// Writes nitems raw items of size bytes from ptr; returns the number of items written.
int fwritex(const void* ptr, size_t size, int nitems, FILE* fp);

}  // namespace velk
