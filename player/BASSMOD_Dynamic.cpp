#include "BASSMOD_Dynamic.h"

HMODULE BassModHandle = 0;

DWORD (*BASSMOD_GetVersion)() = nullptr;
const char* (*BASSMOD_GetDeviceDescription)(int) = nullptr;
DWORD (*BASSMOD_ErrorGetCode)() = nullptr;
BOOL (*BASSMOD_Init)(int, DWORD, DWORD) = nullptr;
void (*BASSMOD_Free)() = nullptr;
float (*BASSMOD_GetCPU)() = nullptr;
DWORD (*BASSMOD_GetVolume)() = nullptr;
BOOL (*BASSMOD_SetVolume)(DWORD) = nullptr;
BOOL (*BASSMOD_MusicLoad)(BOOL, const void*, DWORD, DWORD, DWORD) = nullptr;
void (*BASSMOD_MusicFree)() = nullptr;
BOOL (*BASSMOD_MusicPlay)() = nullptr;
BOOL (*BASSMOD_MusicPlayEx)(DWORD, int, BOOL) = nullptr;
BOOL (*BASSMOD_MusicSetAmplify)(DWORD) = nullptr;
BOOL (*BASSMOD_MusicSetPanSep)(DWORD) = nullptr;
BOOL (*BASSMOD_MusicSetPositionScaler)(DWORD) = nullptr;
DWORD (*BASSMOD_MusicIsActive)() = nullptr;
BOOL (*BASSMOD_MusicStop)() = nullptr;
BOOL (*BASSMOD_MusicPause)() = nullptr;
DWORD (*BASSMOD_MusicGetLength)(BOOL) = nullptr;
BOOL (*BASSMOD_MusicSetPosition)(DWORD) = nullptr;
DWORD (*BASSMOD_MusicGetPosition)() = nullptr;
HSYNC (*BASSMOD_MusicSetSync)(DWORD, DWORD, SYNCPROC*, void*) = nullptr;
BOOL (*BASSMOD_MusicRemoveSync)(HSYNC) = nullptr;

namespace {

template <class F>
void Bind(F*& entry, const char* name) {
    entry = reinterpret_cast<F*>(GetProcAddress(BassModHandle, name));
}

template <class F>
bool IsSet(F* entry) {
    return entry != nullptr;
}

}  // namespace

bool LoadBassModDll(const std::string& Path, const std::string& DllName) {
    if (BassModHandle != 0) return true;
    std::string LibPath;
    if (!Path.empty() && Path.back() == '/') LibPath = Path + DllName;
    else LibPath = Path + "/" + DllName;
    const UINT OldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    BassModHandle = LoadLibraryA(LibPath.c_str());
    SetErrorMode(OldMode);
    if (BassModHandle == 0) return false;

    // Every name is looked up, also after one was missing.
    Bind(BASSMOD_GetVersion, "BASSMOD_GetVersion");
    Bind(BASSMOD_GetDeviceDescription, "BASSMOD_GetDeviceDescription");
    Bind(BASSMOD_ErrorGetCode, "BASSMOD_ErrorGetCode");
    Bind(BASSMOD_Init, "BASSMOD_Init");
    Bind(BASSMOD_Free, "BASSMOD_Free");
    Bind(BASSMOD_GetCPU, "BASSMOD_GetCPU");
    Bind(BASSMOD_GetVolume, "BASSMOD_GetVolume");
    Bind(BASSMOD_SetVolume, "BASSMOD_SetVolume");
    Bind(BASSMOD_MusicLoad, "BASSMOD_MusicLoad");
    Bind(BASSMOD_MusicFree, "BASSMOD_MusicFree");
    Bind(BASSMOD_MusicPlay, "BASSMOD_MusicPlay");
    Bind(BASSMOD_MusicPlayEx, "BASSMOD_MusicPlayEx");
    Bind(BASSMOD_MusicSetAmplify, "BASSMOD_MusicSetAmplify");
    Bind(BASSMOD_MusicSetPanSep, "BASSMOD_MusicSetPanSep");
    Bind(BASSMOD_MusicSetPositionScaler, "BASSMOD_MusicSetPositionScaler");
    Bind(BASSMOD_MusicIsActive, "BASSMOD_MusicIsActive");
    Bind(BASSMOD_MusicStop, "BASSMOD_MusicStop");
    Bind(BASSMOD_MusicPause, "BASSMOD_MusicPause");
    Bind(BASSMOD_MusicGetLength, "BASSMOD_MusicGetLength");
    Bind(BASSMOD_MusicSetPosition, "BASSMOD_MusicSetPosition");
    Bind(BASSMOD_MusicGetPosition, "BASSMOD_MusicGetPosition");
    Bind(BASSMOD_MusicSetSync, "BASSMOD_MusicSetSync");
    Bind(BASSMOD_MusicRemoveSync, "BASSMOD_MusicRemoveSync");

    const bool Complete =
        IsSet(BASSMOD_GetVersion) && IsSet(BASSMOD_GetDeviceDescription) && IsSet(BASSMOD_ErrorGetCode) &&
        IsSet(BASSMOD_Init) && IsSet(BASSMOD_Free) && IsSet(BASSMOD_GetCPU) && IsSet(BASSMOD_GetVolume) &&
        IsSet(BASSMOD_SetVolume) && IsSet(BASSMOD_MusicLoad) && IsSet(BASSMOD_MusicFree) &&
        IsSet(BASSMOD_MusicPlay) && IsSet(BASSMOD_MusicPlayEx) && IsSet(BASSMOD_MusicSetAmplify) &&
        IsSet(BASSMOD_MusicSetPanSep) && IsSet(BASSMOD_MusicSetPositionScaler) &&
        IsSet(BASSMOD_MusicIsActive) && IsSet(BASSMOD_MusicStop) && IsSet(BASSMOD_MusicPause) &&
        IsSet(BASSMOD_MusicGetLength) && IsSet(BASSMOD_MusicSetPosition) &&
        IsSet(BASSMOD_MusicGetPosition) && IsSet(BASSMOD_MusicSetSync) && IsSet(BASSMOD_MusicRemoveSync);
    if (!Complete) {
        FreeLibrary(BassModHandle);
        BassModHandle = 0;
    }
    return BassModHandle != 0;
}

void UnloadBassModDll() {
    if (BassModHandle != 0) {
        if (BASSMOD_MusicFree) BASSMOD_MusicFree();
        FreeLibrary(BassModHandle);
    }
    BassModHandle = 0;
}
