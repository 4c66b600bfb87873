// A stand-in player library for the binding tests. Every call is appended
// to the file named by FAKE_BASSMOD_LOG, so the order survives unloading.
// Built in several variants by compile definitions.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifndef FAKE_VERSION
#define FAKE_VERSION 0x00070000u
#endif

namespace {
void Log(const std::string& line) {
    const char* path = std::getenv("FAKE_BASSMOD_LOG");
    if (!path) return;
    if (FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}
bool Exists(const char* env) {
    const char* path = std::getenv(env);
    struct stat st;
    return path && stat(path, &st) == 0;
}
}  // namespace

__attribute__((destructor)) static void Unloaded() {
    // The written files must still be there when the library is released.
    Log(std::string("unload module=") + (Exists("FAKE_MODULE_PATH") ? "present" : "gone") +
        " dll=" + (Exists("FAKE_DLL_PATH") ? "present" : "gone"));
}

extern "C" {
#define EXPORT __attribute__((visibility("default")))
EXPORT uint32_t BASSMOD_GetVersion() { Log("GetVersion"); return FAKE_VERSION; }
EXPORT const char* BASSMOD_GetDeviceDescription(int) { Log("GetDeviceDescription"); return "fake"; }
EXPORT uint32_t BASSMOD_ErrorGetCode() { Log("ErrorGetCode"); return 0; }
EXPORT int32_t BASSMOD_Init(int device, uint32_t freq, uint32_t flags) {
    Log("Init " + std::to_string(device) + " " + std::to_string(freq) + " " + std::to_string(flags));
#ifdef FAKE_INIT_FAILS
    return 0;
#else
    return 1;
#endif
}
EXPORT void BASSMOD_Free() { Log("Free"); }
EXPORT float BASSMOD_GetCPU() { Log("GetCPU"); return 0; }
EXPORT uint32_t BASSMOD_GetVolume() { Log("GetVolume"); return 100; }
EXPORT int32_t BASSMOD_SetVolume(uint32_t) { Log("SetVolume"); return 1; }
EXPORT int32_t BASSMOD_MusicLoad(int32_t mem, const void* file, uint32_t offset, uint32_t length, uint32_t flags) {
    Log("MusicLoad " + std::to_string(mem) + " " + static_cast<const char*>(file) + " " + std::to_string(offset) +
        " " + std::to_string(length) + " " + std::to_string(flags));
#ifdef FAKE_LOAD_FAILS
    return 0;
#else
    return 1;
#endif
}
EXPORT void BASSMOD_MusicFree() { Log("MusicFree"); }
EXPORT int32_t BASSMOD_MusicPlay() { Log("MusicPlay"); return 1; }
EXPORT int32_t BASSMOD_MusicPlayEx(uint32_t, int, int32_t) { Log("MusicPlayEx"); return 1; }
EXPORT int32_t BASSMOD_MusicSetAmplify(uint32_t) { Log("MusicSetAmplify"); return 1; }
EXPORT int32_t BASSMOD_MusicSetPanSep(uint32_t) { Log("MusicSetPanSep"); return 1; }
EXPORT int32_t BASSMOD_MusicSetPositionScaler(uint32_t) { Log("MusicSetPositionScaler"); return 1; }
EXPORT uint32_t BASSMOD_MusicIsActive() { Log("MusicIsActive"); return 1; }
EXPORT int32_t BASSMOD_MusicStop() { Log("MusicStop"); return 1; }
EXPORT int32_t BASSMOD_MusicPause() { Log("MusicPause"); return 1; }
EXPORT uint32_t BASSMOD_MusicGetLength(int32_t) { Log("MusicGetLength"); return 0; }
EXPORT int32_t BASSMOD_MusicSetPosition(uint32_t) { Log("MusicSetPosition"); return 1; }
EXPORT uint32_t BASSMOD_MusicGetPosition() { Log("MusicGetPosition"); return 0; }
EXPORT uint32_t BASSMOD_MusicSetSync(uint32_t, uint32_t, void*, void*) { Log("MusicSetSync"); return 1; }
#ifndef FAKE_NO_REMOVESYNC
EXPORT int32_t BASSMOD_MusicRemoveSync(uint32_t) { Log("MusicRemoveSync"); return 1; }
#endif
#ifndef FAKE_NO_GETNAME
EXPORT const char* BASSMOD_MusicGetName() { Log("MusicGetName"); return "fake"; }
#endif
}
