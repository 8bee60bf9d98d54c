#include "platform/winapi.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <atomic>
#include <cwctype>
#include <utility>

namespace pfw::win {

namespace {

bool equalIgnoringCase(const wchar_t *a, const std::wstring &b)
{
    size_t i = 0;
    for (; a[i] != L'\0' && i < b.size(); ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    }
    return a[i] == L'\0' && i == b.size();
}

std::wstring knownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)) && path)
        folder = path;
    CoTaskMemFree(path);
    return folder;
}

std::atomic<int> g_holds{0};
std::atomic<bool> g_interrupted{false};

BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (g_holds.load() == 0)
        return FALSE;
    g_interrupted = true;
    // A closing console ends the process once this returns, a few seconds after at most: the
    // write in progress gets that long to finish.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        for (int waited = 0; g_holds.load() > 0 && waited < 4000; waited += 20)
            Sleep(20);
    }
    return TRUE;
}

} // namespace

bool fileId(const std::wstring &path, FileId *id)
{
    // Attributes only, shared every way: the handle neither blocks nor is blocked by writers.
    HANDLE file
        = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info = {};
    const bool known = GetFileInformationByHandle(file, &info) != FALSE;
    FILE_BASIC_INFO basic = {};
    const bool changed = known && GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
    CloseHandle(file);
    if (!known)
        return false;
    id->volume = info.dwVolumeSerialNumber;
    id->index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    id->size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    id->writeTime = (static_cast<unsigned long long>(info.ftLastWriteTime.dwHighDateTime) << 32)
        | info.ftLastWriteTime.dwLowDateTime;
    id->changeTime = changed ? static_cast<unsigned long long>(basic.ChangeTime.QuadPart) : 0;
    id->links = info.nNumberOfLinks;
    return true;
}

void holdConsoleInterrupts(bool hold)
{
    if (hold) {
        if (g_holds.fetch_add(1) == 0)
            SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    } else if (g_holds.fetch_sub(1) == 1) {
        SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    }
}

bool consoleInterruptReceived()
{
    return g_interrupted.load();
}

std::vector<std::wstring> programFilesFolders()
{
    std::vector<std::wstring> folders;
    for (const KNOWNFOLDERID &id : {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86}) {
        std::wstring folder = knownFolder(id);
        if (!folder.empty())
            folders.push_back(std::move(folder));
    }
    return folders;
}

bool processIdsNamed(const std::wstring &name, std::vector<unsigned long long> *ids)
{
    ids->clear();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    BOOL more = Process32FirstW(snapshot, &entry);
    const bool listed = more != FALSE;
    for (; more; more = Process32NextW(snapshot, &entry)) {
        if (equalIgnoringCase(entry.szExeFile, name))
            ids->push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return listed;
}

ShellRun runAsAdministrator(const std::wstring &program, const std::wstring &parameters, unsigned long timeoutMs)
{
    ShellRun run;
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = nullptr;
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = nullptr;
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info)) {
        run.error = GetLastError();
        return run;
    }
    run.started = true;
    if (!info.hProcess)
        return run;
    run.hasHandle = true;
    if (WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (GetExitCodeProcess(info.hProcess, &code)) {
            run.finished = true;
            run.exitCode = code;
        }
    }
    // A helper still running is left alone: stopping it half-way could damage what it writes.
    CloseHandle(info.hProcess);
    return run;
}

} // namespace pfw::win
