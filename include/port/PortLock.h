#ifndef TARNEL_PORTLOCK_H
#define TARNEL_PORTLOCK_H

// One program per port: the UUCP lock files that minicom, picocom and
// lockdev honour, and the PID behind a flock another program holds.
//
// A lock file lives in the lock folder (/run/lock unless portlock_set_dir
// names another), is named "LCK.." followed by the last part of the device
// path (LCK..ttyUSB0 for /dev/ttyUSB0) and holds the owner's PID as ten
// characters, right-aligned, and a newline. It is written to a temporary
// file and linked into place, so of two programs only one can win. A lock
// file whose PID is dead is stale and taken over.
//
// Where the lock folder does not exist no lock file can be made; a port is
// then guarded by the flock on the device alone (which the serial port object
// always takes), rather than not being usable at all. A lock file that cannot
// be made in an existing folder is a failure.
//
// Every function that can fail returns -1 and sets portlock_errno to one of
// the codes below; portlock_strerror gives its text. Thread-safe: the lock
// files this process holds are kept in one table with one mutex.

#include <string>
#include <sys/types.h>

// Error codes stored in portlock_errno. Their texts live in one table in
// PortLock.cpp.
enum portlock_errno_e {
    PORTLOCK_EOK = 0,
    PORTLOCK_EBUSY = 1,    // "Port held by another process"
    PORTLOCK_ENAME = 2,    // "Lock file name too long"
    PORTLOCK_EFULL = 3,    // "Too many lock files held"
    PORTLOCK_ECREATE = 4,  // "Cannot create the lock file" (errno tells why)
};

// Code of the calling thread's last failure (PORTLOCK_E*). Never cleared by a
// successful call. __thread for the reason given at term_errno.
extern __thread int portlock_errno;

// Text of a PORTLOCK_E* code; "Unknown error" for a code not in the table.
const char* portlock_strerror(int code);

// Sets the lock folder ("/run/lock" until called). Call before ports are
// opened: a lock file taken earlier is still released by the path it got.
void portlock_set_dir(const std::string& dir);

// The lock folder in force.
std::string portlock_dir();

// Takes the lock file of the device `devPath` for this process.
// Returns 1 with `lockPath` = the lock file now ours (made, or taken over
// from a dead PID); 0 with `lockPath` empty when the lock folder does not
// exist (see above); -1 on failure with `lockPath` empty:
//   PORTLOCK_EBUSY: the port is held; `*holder` = the PID in the lock file
//     (a live process, or this one when another of its ports holds it), or 0
//     when the file does not read as a PID (being written, or foreign);
//   PORTLOCK_ENAME: the lock file's path would be too long;
//   PORTLOCK_EFULL: this process already holds as many lock files as it can;
//   PORTLOCK_ECREATE: the file could not be made; errno tells why.
// `holder` may be null.
int portlock_take(const std::string& devPath, std::string& lockPath, pid_t* holder);

// Removes the lock file `lockPath` that portlock_take gave this process, when
// it still names this process. An empty path, or one this process does not
// hold, is left alone. Returns 0.
int portlock_release(const std::string& lockPath);

// Removes every lock file this process holds; installed with atexit by the
// first portlock_take, so an exit on any path leaves none behind. Safe while
// other threads use ports (their later release finds nothing to remove); not
// async-signal-safe: a signal handler notes the signal and the program calls
// exit(). A forked child that exits removes none of its parent's files.
void portlock_release_all();

// The PID of the process holding a flock on the file `fd` is open on, read
// from /proc/locks; 0 when no holder is found (or /proc cannot be read).
pid_t portlock_flock_holder(int fd);

#endif
