// Run-time binding of the module player library: the library is loaded
// from a file and its entry points are looked up by name.
#pragma once

#include <cstdint>
#include <string>

#include "Windows.h"

using BOOL = int32_t;
using HSYNC = uint32_t;
using SYNCPROC = void(HSYNC handle, DWORD data, void* user);

extern HMODULE BassModHandle;

extern DWORD (*BASSMOD_GetVersion)();
extern const char* (*BASSMOD_GetDeviceDescription)(int device);
extern DWORD (*BASSMOD_ErrorGetCode)();
extern BOOL (*BASSMOD_Init)(int device, DWORD freq, DWORD flags);
extern void (*BASSMOD_Free)();
extern float (*BASSMOD_GetCPU)();
extern DWORD (*BASSMOD_GetVolume)();
extern BOOL (*BASSMOD_SetVolume)(DWORD volume);
extern BOOL (*BASSMOD_MusicLoad)(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags);
extern void (*BASSMOD_MusicFree)();
extern BOOL (*BASSMOD_MusicPlay)();
extern BOOL (*BASSMOD_MusicPlayEx)(DWORD pos, int flags, BOOL reset);
extern BOOL (*BASSMOD_MusicSetAmplify)(DWORD amp);
extern BOOL (*BASSMOD_MusicSetPanSep)(DWORD pan);
extern BOOL (*BASSMOD_MusicSetPositionScaler)(DWORD scale);
extern DWORD (*BASSMOD_MusicIsActive)();
extern BOOL (*BASSMOD_MusicStop)();
extern BOOL (*BASSMOD_MusicPause)();
extern DWORD (*BASSMOD_MusicGetLength)(BOOL playlen);
extern BOOL (*BASSMOD_MusicSetPosition)(DWORD pos);
extern DWORD (*BASSMOD_MusicGetPosition)();
extern HSYNC (*BASSMOD_MusicSetSync)(DWORD type, DWORD param, SYNCPROC* proc, void* user);
extern BOOL (*BASSMOD_MusicRemoveSync)(HSYNC sync);

bool LoadBassModDll(const std::string& Path, const std::string& DllName);
void UnloadBassModDll();
