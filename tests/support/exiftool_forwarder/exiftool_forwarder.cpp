// Test-only exiftool.exe for Wine: turns the Windows paths it receives into Linux paths and runs
// the Linux exiftool with them, forwarding its exit code.
//
// Wine starts a Linux program through CreateProcess but hands back no process handle, so a
// shell wrapper writes the exit code into a status file that this program waits for.
#include <windows.h>

#include <string>
#include <vector>

#include "base/command_line.h"

namespace {

using ToUnixName = char*(CDECL*)(LPCWSTR);

std::wstring Widen(const char* utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring out(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1)
        MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), n);
    return out;
}

bool LooksLikeWindowsPath(const std::wstring& arg) {
    return (arg.size() > 2 && arg[1] == L':' && (arg[2] == L'\\' || arg[2] == L'/')) ||
           (arg.size() > 1 && arg[0] == L'\\' && arg[1] == L'\\');
}

std::wstring UnixName(ToUnixName toUnix, const std::wstring& path) {
    char* name = toUnix(path.c_str());
    if (!name)
        return path;
    std::wstring out = Widen(name);
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    auto toUnix = reinterpret_cast<ToUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!toUnix)
        return 126;  // not running under Wine

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring status = std::wstring(temp) + L"exiftool-forwarder-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(GetTickCount()) + L".status";
    DeleteFileW(status.c_str());

    std::vector<std::wstring> args = {L"/bin/sh", L"-c",
                                      L"/usr/bin/exiftool \"$@\"; echo $? > \"$0.part\" && mv \"$0.part\" \"$0\"",
                                      UnixName(toUnix, status)};
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        size_t redirect = arg.find(L"<=");  // -TAG<=FILE reads a tag's value from a file
        if (LooksLikeWindowsPath(arg)) {
            arg = UnixName(toUnix, arg);
        } else if (redirect != std::wstring::npos && LooksLikeWindowsPath(arg.substr(redirect + 2))) {
            arg = arg.substr(0, redirect + 2) + UnixName(toUnix, arg.substr(redirect + 2));
        }
        args.push_back(arg);
    }
    std::wstring commandLine = BuildCommandLine(args);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return 125;
    }
    if (process.hThread)
        CloseHandle(process.hThread);
    if (process.hProcess)
        CloseHandle(process.hProcess);

    for (int waited = 0; waited < 60000; waited += 50) {
        HANDLE file = CreateFileW(status.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            char text[32] = {};
            DWORD read = 0;
            ReadFile(file, text, sizeof(text) - 1, &read, nullptr);
            CloseHandle(file);
            DeleteFileW(status.c_str());
            return atoi(text);
        }
        Sleep(50);
    }
    return 124;  // exiftool did not finish in time
}
