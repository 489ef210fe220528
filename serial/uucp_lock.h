#pragma once

#include <cstddef>
#include <sys/types.h>

// UUCP lock files: the convention by which the terminal programs of Unix
// (minicom, picocom, cu ...) keep off a serial device that another program
// holds. The lock of /dev/ttyUSB0 is the file LCK..ttyUSB0 in the lock folder
// (/run/lock), holding the holder's process id as ten ASCII digits and a line
// feed. A program looks for it before it opens the device, so that a refused
// program never opens the device of another, which would raise its DTR and
// RTS lines.

// The lock folder of the system: /run/lock, or /var/lock where there is none.
const char* uucp_lock_folder();
// The same choice made from what a reader of the machine found.
const char* uucp_lock_folder_where(bool run_lock_is_folder);

// The lock file of the device at `path` in `folder`, false when the device has
// none: only a device of /dev takes a lock, by the name its links lead to; a
// pseudo-terminal does not.
bool uucp_lock_name(const char* path, const char* folder, char* name, std::size_t size);

// The same for `device`, a path whose links are already followed.
bool uucp_lock_file(const char* device, const char* folder, char* name, std::size_t size);

// The process id that the text of a lock file holds: ASCII digits after
// blanks, as every program of the convention writes it; -1 when it holds none.
// Safe in a signal handler.
pid_t uucp_lock_pid(const char* text, std::size_t length);

// The process that holds the lock file `name`: its id while it lives, 0 when
// there is no lock or a stale one (its process is gone). A lock without a
// readable id counts as held, with the id -1.
pid_t uucp_lock_holder(const char* name);

// Takes the lock file `name` for this process, removing a stale one first:
// 0 when taken, or when the folder is not this program's to write or does
// not exist (the device then goes without a lock, as with other programs);
// -1 with errno EBUSY when another process holds it, or with the system's
// errno when the lock could not be written.
int uucp_lock_take(const char* name);

// Removes the lock file `name` if this process holds it. Safe in a signal
// handler.
void uucp_lock_release(const char* name);
