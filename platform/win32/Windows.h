// The few system calls the intro makes, over POSIX.
#pragma once

#include <cstdint>

using DWORD = uint32_t;
using UINT = uint32_t;
using HMODULE = uintptr_t;  // 0 means no module
using FARPROC = void (*)();

constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;
constexpr UINT SEM_NOOPENFILEERRORBOX = 0x8000;

// The user's private temporary folder with its trailing delimiter: a folder
// "korvane-<uid>" inside $TMPDIR (or /tmp), made 0700 where missing. A
// folder that is a link, is not the user's own, or is open to others is
// refused: the intro writes a library there and later loads it. Returns the
// length written (without the terminating zero), the size needed when the
// buffer is too small, or 0 on failure.
DWORD GetTempPathA(DWORD nBufferLength, char* lpBuffer);

// The error mode has no effect here (no system dialogs exist); it is kept so
// that callers can save and restore it.
UINT SetErrorMode(UINT uMode);

HMODULE LoadLibraryA(const char* lpLibFileName);
FARPROC GetProcAddress(HMODULE hModule, const char* lpProcName);
bool FreeLibrary(HMODULE hLibModule);
