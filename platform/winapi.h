#pragma once

// The Windows calls behind the running check, the elevated launch and the Program Files
// folders. Free of Qt so that it can be compile-checked with a cross compiler.

#include <string>
#include <vector>

namespace pfw::win {

// Identifiers of the running processes whose executable file name equals name, ignoring case;
// false when the system gave no process list.
bool processIdsNamed(const std::wstring &name, std::vector<unsigned long long> *ids);

struct ShellRun
{
    bool started = false;        // ShellExecuteExW succeeded
    unsigned long error = 0;     // GetLastError after a failed start
    bool hasHandle = false;      // a process handle came back
    bool finished = false;       // the process ended within the time-out
    unsigned long exitCode = 0;  // its exit code when finished
};

// The Program Files folders as the system knows them, not as the environment says: the native
// one, then the x86 one. A folder the system cannot name is left out.
std::vector<std::wstring> programFilesFolders();

// Starts program elevated ("runas"), hidden, and waits at most timeoutMs for it.
ShellRun runAsAdministrator(const std::wstring &program, const std::wstring &parameters, unsigned long timeoutMs);

// An exclusive lock on one byte of the file far past its end, which blocks no reader or writer
// and no rename over it, shared by every name of the file. Null when the file cannot be opened,
// or, with held set, when another process holds the lock.
void *lockFileIdentity(const std::wstring &path, bool *held);
void unlockFileIdentity(void *handle);

// While held (the calls nest), the console's Ctrl+C, Ctrl+Break and close are only remembered.
void holdConsoleInterrupts(bool hold);
bool consoleInterruptReceived();

} // namespace pfw::win
