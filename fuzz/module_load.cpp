// Fuzz target: the player library loading a module from memory, through its
// entry points as the intro calls them. Loading may fail with an error code;
// it must never crash, and a module it accepts must answer the questions a
// caller asks of a loaded module.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bassmod.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // No sound is made: the device only has to exist for loading to be allowed.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (!BASSMOD_Init(-1, 44100, 0)) {
        std::fprintf(stderr, "module loader: BASSMOD_Init failed (%u)\n", static_cast<unsigned>(BASSMOD_ErrorGetCode()));
        std::abort();
    }
    std::atexit(BASSMOD_Free);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;  // refused before any parsing; nothing to learn
    // A copy of exactly `size` bytes, so that any read past the end is seen.
    std::vector<uint8_t> copy(data, data + size);
    if (BASSMOD_MusicLoad(1, copy.data(), 0, static_cast<DWORD>(copy.size()), BASSMOD_MUSIC_LOOP)) {
        if (!BASSMOD_MusicGetName()) {
            std::fprintf(stderr, "module loader: an accepted module has no name\n");
            std::abort();
        }
        (void)BASSMOD_MusicGetLength(0);
        BASSMOD_MusicFree();
    }
    return 0;
}
