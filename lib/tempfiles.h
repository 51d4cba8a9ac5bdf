#pragma once
// Temporary files that a signal does not leave behind. A program's main calls
// removetemporariesonsignals() once; from then on SIGINT, SIGTERM, SIGHUP and SIGPIPE remove every
// temporary made by createtemporarybeside or createtemporaryin and not yet forgotten, then end the
// process by that same signal (its default action), so that the caller sees the signal and a
// shell reports 128 + its number. SIGXFSZ is ignored, so that a write beyond the file-size limit
// fails with EFBIG and the program reports it instead of dying silently.
//
// The registry of temporaries is the one piece of process state the programs keep, shared by
// the vocoder and the toolkit: a fixed table of `temporaryslots` names in static storage, each
// entry claimed and released with atomic operations, so that threads register side by side and
// the handler reads it without locks or allocation (async-signal-safe). A name is copied into its
// entry; relative names are taken against the working directory, which the programs never change.
// Libraries register their temporaries but never install the handler: a process that has not
// called removetemporariesonsignals (the Python module's interpreter) only carries the table.
// Built on nothing but the C library.

#include <sys/types.h>

#include <string>

namespace velk {

// Temporaries registered at once; one made while every entry is taken is made unregistered
// (*entry -1), and a signal would leave it behind.
const int temporaryslots = 64;

// Installs the removing handler for SIGINT, SIGTERM, SIGHUP and SIGPIPE (a signal that the process
// was started ignoring stays ignored) and ignores SIGXFSZ. Returns 0, or -1 when a handler could
// not be installed.
int removetemporariesonsignals();

// Creates a new file in the directory of `target`, named "." + the target's own name + "." + six
// random characters, the target's name shortened (at a character boundary) so that the whole
// name fits the system's limit for a name; opened write-only, close-on-exec, with `mode` before
// the file-creation mask. The file is created and registered with the four signals blocked, so
// that no signal finds it unregistered. Returns the descriptor, with the name in *name and the
// registry entry in *entry; or -1 with errno set (the file was not created).
int createtemporarybeside(const std::string& target, mode_t mode, std::string* name, int* entry);

// The same in `directory`, named prefix + six random characters, mode 0600 (as mkstemp makes it).
int createtemporaryin(const std::string& directory, const std::string& prefix, std::string* name, int* entry);

// Takes the entry out of the registry once its temporary is gone or renamed to its final name;
// an entry of -1 is ignored.
void forgettemporary(int entry);

// Removes the temporary `name` and takes its entry out of the registry; 0, or -1 when the unlink
// failed.
int removetemporary(const std::string& name, int entry);

}  // namespace velk
