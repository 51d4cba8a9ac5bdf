#pragma once
// Output files that are replaced whole: the data go to a temporary file in the same directory,
// which takes the file's name only once it is complete and closed without error. A write that
// fails part-way (a full disk, a file-size limit) leaves an earlier file of that name as it was
// and no partial file; the temporary is registered (tempfiles.h), so that a program ending by a
// signal leaves it behind neither. Names that are symbolic links are followed, so the file they
// lead to is replaced. Only regular files named by the user take this path: a name that stands
// for an open descriptor (/dev/stdout, /dev/stderr, /dev/stdin, /dev/fd/N, /proc/self/fd/N) is
// written through that descriptor, in the mode its opener chose (appending after `>>`, at its
// position otherwise), and devices, pipes and terminals are opened and written directly.

#include <cstdint>
#include <cstdio>
#include <string>

namespace velk {

struct outputfile {
  FILE* file = nullptr;
  std::string target;     // the file that receives the data
  std::string temporary;  // the temporary being written, empty when writing directly
  int entry = -1;         // the temporary's entry in the registry of temporaries
};

// Opens the output for binary writing; returns its stream (also in out->file), or null (errno
// telling why) when neither a temporary nor the file itself can be created. A replaced file's
// permission bits carry over; a new file gets those of the process's file-creation mask. An
// existing file that may not be written is refused as `cp` and `>` refuse it (EACCES, EPERM for
// an immutable file, EROFS), and so is one without any write bit (EACCES), whose protection a
// process with privileges would otherwise override.
FILE* outputopen(const char* path, outputfile* out);
// Closes the stream and, when `complete` and the close succeeded, gives the temporary the
// file's name; otherwise removes the temporary. Returns 0 when the file now holds the data,
// -1 otherwise. The same as outputfinish followed by outputcommit.
int outputclose(outputfile* out, bool complete);

// A set of outputs that is replaced whole: every output is finished, and only when all of them
// are complete is each committed; otherwise each is discarded.
// outputfinish closes the stream; 0 when `complete` and the close succeeded (the temporary is
// then kept for outputcommit), else -1 with the temporary removed.
int outputfinish(outputfile* out, bool complete);
// Gives a finished temporary the file's name; 0 when the file now holds the data (a direct
// output already does), -1 when the rename failed (the temporary is then removed).
int outputcommit(outputfile* out);
// Removes a finished temporary instead; 1 when one was removed (the file stays as it was), 0 for
// a direct output, whose data are written already.
int outputdiscard(outputfile* out);
// Commits the n finished outputs of a set as a whole: every temporary takes its file's name, or
// none does. The renames go in order; when one fails, those done before it are undone (an existing
// file is exchanged with its temporary, so that the exchange can be reversed; a new one is given
// its temporary's name back) and every temporary is kept, for outputdiscard. Returns 0 when the set
// is committed, else -1 with *failed the position of the output whose file could not be replaced
// and errno why. Direct outputs hold their data already, whatever the outcome; so does a file on
// a file system that cannot exchange two names, whose rename cannot be undone (outputdiscard then
// gives 0 for it).
int outputcommitset(outputfile* const* outs, uint32_t n, uint32_t* failed);

// 1 when writing to the name makes or replaces a regular file (following links), 0 when it writes
// to a descriptor, a device, a pipe or another file that is not regular.
int outputnamesfile(const char* path);

// 1 when writing to the name writes to the process's standard output: the name stands for
// descriptor 1, or names the file that descriptor 1 is open on; 0 otherwise.
int namesstandardoutput(const char* path);

// 1 when the two names lead to the same regular file (same device and inode, through symbolic
// links and hard links alike), or, when neither exists yet, to the same directory entry; 0
// otherwise (devices and other non-regular files never count as the same).
int samefile(const char* a, const char* b);

// Looks, in order, for an output that is the same file (samefile) as an input or as an earlier
// output; null names are skipped. 0 when there is none; otherwise 1 with *output and *other the
// positions of the output and of the input it is, or 2 with *other the earlier output's.
int findoverwrite(uint32_t ninputs, const char* const* inputs, uint32_t noutputs, const char* const* outputs,
                  uint32_t* output, uint32_t* other);

}  // namespace velk
