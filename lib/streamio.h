// Stream routines shared by the toolkit's stream commands.
//
// A "float" sample on a stream is a little-endian IEEE 754 32-bit float; in memory the
// commands hold samples as doubles. freadf/fwritef convert between the two, freadx/fwritex
// move raw items unchanged.
#pragma once

#include <cstddef>
#include <cstdio>

// Opens `name` with `mode`. When the file cannot be opened (or is a directory), prints
// "Cannot open file <name>!" on standard error and returns null; the commands then exit with
// status 1.
FILE* getfp(const char* name, const char* mode);

// Returns a zero-filled array of n doubles (release with free()). When the memory cannot be
// had, prints "Cannot allocate memory!" on standard error and returns null; the commands then
// exit with status 3. n below 1 is treated as 1.
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

// Flushes fp, a command's output, and tells whether every write to it went through. When one
// failed (a full disk, a closed device, a file-size limit), prints "<cmnd> : Cannot write the
// output!" on standard error and returns false; the command then exits with status 1.
bool output_complete(const char* cmnd, FILE* fp);
