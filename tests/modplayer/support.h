// Helpers shared by the player's tests: the library bound through dlopen as
// the intro binds it, libxmp's own offline render as the reference, and
// small file utilities.
#pragma once

#include <dlfcn.h>
#include <unistd.h>
#include <xmp.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "bassmod.h"

namespace support {

#define BASSMOD_ENTRY_POINTS(X)                                                                       \
    X(BASSMOD_GetVersion) X(BASSMOD_GetDeviceDescription) X(BASSMOD_ErrorGetCode) X(BASSMOD_Init)      \
    X(BASSMOD_Free) X(BASSMOD_GetCPU) X(BASSMOD_GetVolume) X(BASSMOD_SetVolume) X(BASSMOD_MusicLoad)   \
    X(BASSMOD_MusicFree) X(BASSMOD_MusicPlay) X(BASSMOD_MusicPlayEx) X(BASSMOD_MusicSetAmplify)        \
    X(BASSMOD_MusicSetPanSep) X(BASSMOD_MusicSetPositionScaler) X(BASSMOD_MusicIsActive)               \
    X(BASSMOD_MusicStop) X(BASSMOD_MusicPause) X(BASSMOD_MusicGetLength) X(BASSMOD_MusicSetPosition)   \
    X(BASSMOD_MusicGetPosition) X(BASSMOD_MusicSetSync) X(BASSMOD_MusicRemoveSync)                     \
    X(BASSMOD_MusicGetName)

// The library's entry points, looked up by name in a dlopen'ed file.
struct Api {
    void* handle = nullptr;
#define BASSMOD_DECLARE(name) decltype(&::name) name = nullptr;
    BASSMOD_ENTRY_POINTS(BASSMOD_DECLARE)
#undef BASSMOD_DECLARE

    explicit Api(const std::string& path) {
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) throw std::runtime_error(std::string("dlopen: ") + dlerror());
#define BASSMOD_RESOLVE(name)                                                                  \
    name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));                          \
    if (!name) throw std::runtime_error("missing export " #name);
        BASSMOD_ENTRY_POINTS(BASSMOD_RESOLVE)
#undef BASSMOD_RESOLVE
    }
    ~Api() {
        if (handle) dlclose(handle);
    }
    Api(const Api&) = delete;
    Api& operator=(const Api&) = delete;
};

inline DWORD Pos(int order, int row) { return static_cast<DWORD>(order) | (static_cast<DWORD>(row) << 16); }

inline std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<int16_t> AsSamples(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> s(bytes.size() / 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));  // little-endian host
    return s;
}

// A private scratch folder, removed with everything in it.
struct ScratchDir {
    std::filesystem::path path;
    ScratchDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "bassmod-test-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path = tmpl;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

struct ReferenceSettings {
    int rate = 44100;
    int interp = XMP_INTERP_SPLINE;
    int mix = 100;
};

// libxmp driven directly: `passes` whole passes of the module (counted by
// libxmp's loop counter), interleaved stereo.
inline std::vector<int16_t> ReferenceRender(const std::vector<uint8_t>& mod, int passes,
                                            ReferenceSettings s = {}, std::vector<size_t>* pass_starts = nullptr) {
    xmp_context c = xmp_create_context();
    std::vector<int16_t> out;
    if (xmp_load_module_from_memory(c, mod.data(), static_cast<long>(mod.size())) != 0) {
        xmp_free_context(c);
        throw std::runtime_error("reference: libxmp cannot load the module");
    }
    xmp_start_player(c, s.rate, 0);
    xmp_set_player(c, XMP_PLAYER_INTERP, s.interp);
    xmp_set_player(c, XMP_PLAYER_MIX, s.mix);
    if (pass_starts) pass_starts->push_back(0);
    for (;;) {
        if (xmp_play_frame(c) != 0) break;
        xmp_frame_info fi;
        xmp_get_frame_info(c, &fi);
        if (fi.loop_count >= passes) break;
        if (pass_starts && fi.loop_count == static_cast<int>(pass_starts->size())) pass_starts->push_back(out.size() / 2);
        const int16_t* b = static_cast<const int16_t*>(fi.buffer);
        out.insert(out.end(), b, b + fi.buffer_size / 2);
    }
    xmp_end_player(c);
    xmp_release_module(c);
    xmp_free_context(c);
    return out;
}

}  // namespace support
