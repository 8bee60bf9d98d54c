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
    bool started = false; // ShellExecuteExW succeeded
    unsigned long error = 0; // GetLastError after a failed start
    bool hasHandle = false; // a process handle came back
    bool finished = false; // the process ended within the time-out
    unsigned long exitCode = 0; // its exit code when finished
};

// The Program Files folders as the system knows them, not as the environment says: the native
// one, then the x86 one. A folder the system cannot name is left out.
std::vector<std::wstring> programFilesFolders();

// Starts program elevated ("runas"), hidden, and waits at most timeoutMs for it.
ShellRun runAsAdministrator(const std::wstring &program, const std::wstring &parameters, unsigned long timeoutMs);

// What tells one file from another on Windows, read through a handle held only for the call:
// the volume's serial number and the file's index on it, its size, times (100 ns units since
// 1601) and number of names.
struct FileId
{
    unsigned long volume = 0;
    unsigned long long index = 0;
    unsigned long long size = 0;
    unsigned long long writeTime = 0;
    // The change time where the file system keeps one, else 0.
    unsigned long long changeTime = 0;
    unsigned long links = 1;
};
bool fileId(const std::wstring &path, FileId *id);

// While held (the calls nest), the console's Ctrl+C, Ctrl+Break and close are only remembered.
void holdConsoleInterrupts(bool hold);
bool consoleInterruptReceived();

} // namespace pfw::win
