// Named mutexes and events shared by every process under the platform root, in the shape of the
// Windows kernel-object calls, plus unnamed events and mutexes that work inside one process.
//
// A named object lives in <root>/objects/<kind>-<escaped name>/. Every handle of it keeps its own
// open description of the "holders" file under a shared flock(); the object exists for as long as
// any handle anywhere holds that lock, so a killed process lets go of its handles at once. All
// descriptors are opened close-on-exec: a program started by a holder never keeps an object alive.
// Creating and opening are serialised by an exclusive flock() on the object's "guard" file, so two
// processes that create the same name at once get one object and exactly one of them sees it new.
//
// Mutex ownership is an exclusive flock() on the object's "owner" file (threads of one process are
// kept apart by an in-process lock as well); a holder that dies owning the mutex releases it and
// the next owner's wait returns WAIT_ABANDONED (it owns the mutex all the same). The same thread
// may take a mutex again through the same handle; it then releases it as often as it took it.
//
// Event state is a byte in the object's "state" file, written in place and so seen by every
// process at once; waits watch the file with inotify and run on platform::GetClock() time, so a
// test's FakeClock makes long waits cost no real time. Mutex waits block in real time.
//
// Mutexes and events have separate name spaces here (a mutex and an event may share a name).
#pragma once
#include "platform/win_types.h"

using HANDLE = void*;

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// Access rights of OpenMutex / OpenEvent (accepted and ignored: every handle may do everything).
constexpr DWORD SYNCHRONIZE = 0x00100000u;
constexpr DWORD MUTEX_MODIFY_STATE = 0x0001u;
constexpr DWORD MUTEX_ALL_ACCESS = 0x001F0001u;
constexpr DWORD EVENT_MODIFY_STATE = 0x0002u;
constexpr DWORD EVENT_ALL_ACCESS = 0x001F0003u;

// GetLastError() values of these calls (ERROR_FILE_NOT_FOUND, ERROR_INVALID_HANDLE and
// ERROR_INVALID_PARAMETER come from win_types.h).
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;  // the name is too long
constexpr DWORD ERROR_ALREADY_EXISTS = 183;        // Create* opened an object that already existed
constexpr DWORD ERROR_NOT_OWNER = 288;             // ReleaseMutex by a thread that does not own it
constexpr DWORD ERROR_OPEN_FAILED = 110;           // the object's files could not be opened

// Creates the named mutex or opens it when it exists. On success GetLastError() is
// ERROR_ALREADY_EXISTS when it existed (initialOwner is then ignored), else 0. A null or empty name
// makes an unnamed mutex of this process. Returns nullptr on failure.
HANDLE CreateMutex(BOOL initialOwner, const char* name);
// Opens an existing named mutex; nullptr with ERROR_FILE_NOT_FOUND when no live handle exists.
HANDLE OpenMutex(DWORD desiredAccess, BOOL inheritHandle, const char* name);
BOOL ReleaseMutex(HANDLE mutex);

// Creates the named event or opens it when it exists (manualReset and initialState are applied
// only when it is created; GetLastError() is ERROR_ALREADY_EXISTS when it existed, else 0).
HANDLE CreateEvent(BOOL manualReset, BOOL initialState, const char* name);
// Opens an existing named event; nullptr with ERROR_FILE_NOT_FOUND when no live handle exists.
HANDLE OpenEvent(DWORD desiredAccess, BOOL inheritHandle, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Waits for a mutex (taking it) or for an event (consuming the signal of an auto-reset event).
// Returns WAIT_OBJECT_0, WAIT_ABANDONED (mutex only), WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);

// Closes a handle of this module. The last handle of a named object anywhere ends the object.
BOOL CloseHandle(HANDLE object);

// GetLastError() and SetLastError() come from win_types.h.
