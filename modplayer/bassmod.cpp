// The library's face: the global player state, the audio device and the
// entry points. Lock order, everywhere: device_mutex -> sync_mutex -> lock.
// The audio thread takes only sync_mutex and lock, and never holds lock
// while a sync procedure runs, so a procedure may call back into the
// library; BASSMOD_Init and BASSMOD_Free refuse to run on the audio thread
// because closing a device waits for that very thread.
#include "bassmod.h"

#include <SDL.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "music.h"

#define BASSMOD_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using bassmod::FiredSync;
using bassmod::Music;

constexpr DWORD kLoadFlags = BASSMOD_MUSIC_LOOP | BASSMOD_MUSIC_NONINTER | BASSMOD_MUSIC_RAMP | BASSMOD_MUSIC_SOFTPAN;
constexpr DWORD kFailed = 0xFFFFFFFFu;
// Frames per audio callback: 23 ms at 44.1 kHz.
constexpr int kDeviceFrames = 1024;
// Modules are small; anything larger than this is not one we can play.
constexpr long kMaxFileBytes = 64L << 20;

struct State {
    std::mutex device_mutex;          // Init, Free and the device list
    std::recursive_mutex sync_mutex;  // held while sync procedures run
    std::mutex lock;                  // everything below, shared with the audio thread

    bool initialized = false;
    SDL_AudioDeviceID device = 0;
    int rate = 0;
    int channels = 2;
    int volume = 100;
    int amplify = 50;
    int scaler = 1;
    HSYNC next_sync = 1;
    std::unique_ptr<Music> music;
    float cpu = 0.0f;

    std::vector<FiredSync> fired;      // audio thread only
    std::set<std::string> device_names;  // stable storage for descriptions
};

State g;
std::atomic<DWORD> g_error{BASSMOD_OK};
thread_local bool t_on_audio_thread = false;

template <typename T>
T Fail(DWORD code, T value) {
    g_error.store(code);
    return value;
}

template <typename T>
T Ok(T value) {
    g_error.store(BASSMOD_OK);
    return value;
}

// Gives back our use of SDL's audio. When nothing else in the process uses
// SDL, SDL's own globals are released too, so that unloading this library
// (which may unload SDL with it) leaves nothing behind.
void ReleaseSdlAudio() {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
}

void AudioCallback(void*, Uint8* stream, int len) {
    t_on_audio_thread = true;
    const auto start = std::chrono::steady_clock::now();
    std::lock_guard<std::recursive_mutex> syncs(g.sync_mutex);
    {
        std::lock_guard<std::mutex> lk(g.lock);
        const int frames = len / static_cast<int>(sizeof(int16_t)) / g.channels;
        if (g.music) {
            g.music->Render(reinterpret_cast<int16_t*>(stream), frames, g.fired);
        } else {
            std::memset(stream, 0, static_cast<size_t>(len));
        }
        const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double span = static_cast<double>(frames) / g.rate;
        g.cpu = 0.9f * g.cpu + 0.1f * static_cast<float>(100.0 * spent / span);
    }
    // The procedures run outside the state lock but inside sync_mutex, so
    // that removing a sync waits for a call of it that is under way.
    for (const FiredSync& f : g.fired) f.proc(f.handle, f.data, f.user);
    g.fired.clear();
    t_on_audio_thread = false;
}

bool ReadFile(const char* path, DWORD offset, DWORD length, std::vector<uint8_t>& out, DWORD* error) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        *error = BASSMOD_ERROR_FILEOPEN;
        return false;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(f, std::fclose);
    // A folder opens for reading on POSIX systems but holds no module.
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = BASSMOD_ERROR_FILEOPEN;
        return false;
    }
    if (std::fseek(f, 0, SEEK_END) != 0) {
        *error = BASSMOD_ERROR_FILEOPEN;
        return false;
    }
    const long size = std::ftell(f);
    if (size < 0) {
        *error = BASSMOD_ERROR_FILEOPEN;
        return false;
    }
    if (offset > static_cast<unsigned long>(size)) {
        *error = BASSMOD_ERROR_ILLPARAM;
        return false;
    }
    const unsigned long avail = static_cast<unsigned long>(size) - offset;
    const unsigned long want = length ? length : avail;
    if (want > avail) {
        *error = BASSMOD_ERROR_ILLPARAM;
        return false;
    }
    if (want > static_cast<unsigned long>(kMaxFileBytes)) {
        *error = BASSMOD_ERROR_FILEFORM;
        return false;
    }
    try {
        out.resize(want);
    } catch (const std::bad_alloc&) {
        *error = BASSMOD_ERROR_MEM;
        return false;
    }
    if (std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0 || std::fread(out.data(), 1, want, f) != want) {
        *error = BASSMOD_ERROR_FILEOPEN;
        return false;
    }
    return true;
}

// Closes the device if the library is unloaded while still initialised:
// otherwise the audio thread would call into unmapped code.
struct UnloadGuard {
    ~UnloadGuard() {
        SDL_AudioDeviceID dev = 0;
        {
            std::lock_guard<std::mutex> lk(g.lock);
            if (!g.initialized) return;
            dev = g.device;
        }
        SDL_CloseAudioDevice(dev);
        ReleaseSdlAudio();
        std::lock_guard<std::mutex> lk(g.lock);
        g.music.reset();
        g.initialized = false;
    }
} g_unload_guard;

}  // namespace

BASSMOD_EXPORT DWORD BASSMOD_GetVersion(void) { return BASSMOD_VERSION; }

BASSMOD_EXPORT DWORD BASSMOD_ErrorGetCode(void) { return g_error.load(); }

BASSMOD_EXPORT const char* BASSMOD_GetDeviceDescription(int device) {
    static const char* const kDefault = "Default output device";
    if (device == -1) return Ok(kDefault);
    if (device < -1) return Fail<const char*>(BASSMOD_ERROR_DEVICE, nullptr);
    if (t_on_audio_thread) return Fail<const char*>(BASSMOD_ERROR_BUSY, nullptr);
    std::lock_guard<std::mutex> dm(g.device_mutex);
    // Enumerating needs the audio subsystem; SDL counts its initialisations.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return Fail<const char*>(BASSMOD_ERROR_DRIVER, nullptr);
    const char* result = nullptr;
    if (device < SDL_GetNumAudioDevices(0)) {
        if (const char* name = SDL_GetAudioDeviceName(device, 0)) result = g.device_names.insert(name).first->c_str();
    }
    ReleaseSdlAudio();
    return result ? Ok(result) : Fail<const char*>(BASSMOD_ERROR_DEVICE, nullptr);
}

BASSMOD_EXPORT BOOL BASSMOD_Init(int device, DWORD freq, DWORD flags) {
    if (t_on_audio_thread) return Fail(BASSMOD_ERROR_BUSY, 0);
    std::lock_guard<std::mutex> dm(g.device_mutex);
    {
        std::lock_guard<std::mutex> lk(g.lock);
        if (g.initialized) return Fail(BASSMOD_ERROR_ALREADY, 0);
    }
    if (flags & ~BASSMOD_DEVICE_MONO) return Fail(BASSMOD_ERROR_ILLPARAM, 0);
    if (freq < 4000 || freq > 49170) return Fail(BASSMOD_ERROR_FORMAT, 0);
    if (device < -1) return Fail(BASSMOD_ERROR_DEVICE, 0);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return Fail(BASSMOD_ERROR_DRIVER, 0);
    const char* name = nullptr;
    if (device >= 0) {
        if (device >= SDL_GetNumAudioDevices(0) || !(name = SDL_GetAudioDeviceName(device, 0))) {
            ReleaseSdlAudio();
            return Fail(BASSMOD_ERROR_DEVICE, 0);
        }
    }
    const int channels = (flags & BASSMOD_DEVICE_MONO) ? 1 : 2;
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(freq);
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(channels);
    want.samples = kDeviceFrames;
    want.callback = AudioCallback;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware takes.
    SDL_AudioDeviceID dev = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (dev == 0) {
        ReleaseSdlAudio();
        return Fail(BASSMOD_ERROR_DRIVER, 0);
    }
    {
        std::lock_guard<std::mutex> lk(g.lock);
        g.initialized = true;
        g.device = dev;
        g.rate = static_cast<int>(freq);
        g.channels = channels;
        g.volume = 100;
        g.cpu = 0.0f;
    }
    SDL_PauseAudioDevice(dev, 0);
    return Ok(1);
}

BASSMOD_EXPORT void BASSMOD_Free(void) {
    if (t_on_audio_thread) {
        g_error.store(BASSMOD_ERROR_BUSY);
        return;
    }
    std::lock_guard<std::mutex> dm(g.device_mutex);
    SDL_AudioDeviceID dev = 0;
    std::unique_ptr<Music> old;
    {
        std::lock_guard<std::recursive_mutex> syncs(g.sync_mutex);
        std::lock_guard<std::mutex> lk(g.lock);
        if (!g.initialized) {
            g_error.store(BASSMOD_ERROR_INIT);
            return;
        }
        old = std::move(g.music);
        dev = g.device;
        g.device = 0;
        g.initialized = false;
    }
    // Outside the locks: closing waits for the audio thread to finish.
    SDL_CloseAudioDevice(dev);
    ReleaseSdlAudio();
    g_error.store(BASSMOD_OK);
}

BASSMOD_EXPORT float BASSMOD_GetCPU(void) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.initialized) return Fail(BASSMOD_ERROR_INIT, 0.0f);
    return Ok(g.cpu);
}

BASSMOD_EXPORT DWORD BASSMOD_GetVolume(void) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.initialized) return Fail(BASSMOD_ERROR_INIT, kFailed);
    return Ok(static_cast<DWORD>(g.volume));
}

BASSMOD_EXPORT BOOL BASSMOD_SetVolume(DWORD volume) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.initialized) return Fail(BASSMOD_ERROR_INIT, 0);
    if (volume > 100) return Fail(BASSMOD_ERROR_ILLPARAM, 0);
    g.volume = static_cast<int>(volume);
    if (g.music) g.music->SetOutputGain(g.volume, g.amplify);
    return Ok(1);
}

BASSMOD_EXPORT BOOL BASSMOD_MusicLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags) {
    int rate = 0, channels = 0;
    {
        std::lock_guard<std::mutex> lk(g.lock);
        if (!g.initialized) return Fail(BASSMOD_ERROR_INIT, 0);
        rate = g.rate;
        channels = g.channels;
    }
    if (!file || (flags & ~kLoadFlags)) return Fail(BASSMOD_ERROR_ILLPARAM, 0);
    DWORD error = BASSMOD_OK;
    std::vector<uint8_t> owned;
    std::span<const uint8_t> bytes;
    if (mem) {
        if (length == 0) return Fail(BASSMOD_ERROR_ILLPARAM, 0);  // nothing to load
        bytes = std::span<const uint8_t>(static_cast<const uint8_t*>(file) + offset, length);
    } else {
        if (!ReadFile(static_cast<const char*>(file), offset, length, owned, &error)) return Fail(error, 0);
        bytes = owned;
    }
    // Parsing happens outside the lock so the audio thread is never held up.
    std::unique_ptr<Music> music = Music::Load(bytes, rate, channels, flags, &error);
    if (!music) return Fail(error, 0);
    std::unique_ptr<Music> old;
    {
        std::lock_guard<std::recursive_mutex> syncs(g.sync_mutex);
        std::lock_guard<std::mutex> lk(g.lock);
        // Free and Init may have run meanwhile, at another rate.
        if (!g.initialized || g.rate != rate || g.channels != channels) return Fail(BASSMOD_ERROR_INIT, 0);
        g.amplify = 50;
        g.scaler = 1;
        music->SetOutputGain(g.volume, g.amplify);
        old = std::move(g.music);
        g.music = std::move(music);
    }
    return Ok(1);
}

BASSMOD_EXPORT void BASSMOD_MusicFree(void) {
    std::unique_ptr<Music> old;
    {
        std::lock_guard<std::recursive_mutex> syncs(g.sync_mutex);
        std::lock_guard<std::mutex> lk(g.lock);
        if (!g.music) {
            g_error.store(BASSMOD_ERROR_HANDLE);
            return;
        }
        old = std::move(g.music);
    }
    g_error.store(BASSMOD_OK);
}

BASSMOD_EXPORT const char* BASSMOD_MusicGetName(void) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.music) return Fail<const char*>(BASSMOD_ERROR_HANDLE, nullptr);
    return Ok(g.music->Name().c_str());
}

BASSMOD_EXPORT DWORD BASSMOD_MusicGetLength(BOOL playlen) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.music) return Fail(BASSMOD_ERROR_HANDLE, kFailed);
    return Ok(playlen ? g.music->DurationMs() : static_cast<DWORD>(g.music->Orders()));
}

BASSMOD_EXPORT BOOL BASSMOD_MusicPlay(void) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.music) return Fail(BASSMOD_ERROR_HANDLE, 0);
    g.music->Play();
    return Ok(1);
}

BASSMOD_EXPORT BOOL BASSMOD_MusicPlayEx(DWORD pos, int flags, BOOL reset) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.music) return Fail(BASSMOD_ERROR_HANDLE, 0);
    if (flags != -1 && (static_cast<DWORD>(flags) & ~kLoadFlags)) return Fail(BASSMOD_ERROR_ILLPARAM, 0);
    if (flags != -1) g.music->SetFlags(static_cast<DWORD>(flags));
    if (reset) g.music->ResetPlayback();
    if (pos != kFailed && !g.music->SetPosition(static_cast<int>(pos & 0xFFFF), static_cast<int>(pos >> 16)))
        return Fail(BASSMOD_ERROR_POSITION, 0);
    g.music->Play();
    return Ok(1);
}

BASSMOD_EXPORT BOOL BASSMOD_MusicSetAmplify(DWORD amp) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.music) return Fail(BASSMOD_ERROR_HANDLE, 0);
    if (amp > 100) return Fail(BASSMOD_ERROR_ILLPARAM, 0);
    g.amplify = static_cast<int>(amp);
    g.music->SetOutputGain(g.volume, g.amplify);
    return Ok(1);
}

BASSMOD_EXPORT BOOL BASSMOD_MusicSetPanSep(DWORD pan) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.music) return Fail(BASSMOD_ERROR_HANDLE, 0);
    if (pan > 100) return Fail(BASSMOD_ERROR_ILLPARAM, 0);
    g.music->SetPanSep(static_cast<int>(pan));
    return Ok(1);
}

BASSMOD_EXPORT BOOL BASSMOD_MusicSetPositionScaler(DWORD scale) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.music) return Fail(BASSMOD_ERROR_HANDLE, 0);
    if (scale < 1 || scale > 256) return Fail(BASSMOD_ERROR_ILLPARAM, 0);
    g.scaler = static_cast<int>(scale);
    return Ok(1);
}

BASSMOD_EXPORT DWORD BASSMOD_MusicIsActive(void) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.music) return Fail<DWORD>(BASSMOD_ERROR_HANDLE, BASSMOD_ACTIVE_STOPPED);
    return Ok(g.music->Active());
}

BASSMOD_EXPORT BOOL BASSMOD_MusicStop(void) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.music) return Fail(BASSMOD_ERROR_HANDLE, 0);
    g.music->Stop();
    return Ok(1);
}

BASSMOD_EXPORT BOOL BASSMOD_MusicPause(void) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.music) return Fail(BASSMOD_ERROR_HANDLE, 0);
    if (g.music->Active() != BASSMOD_ACTIVE_PLAYING) return Fail(BASSMOD_ERROR_NOPLAY, 0);
    g.music->Pause();
    return Ok(1);
}

BASSMOD_EXPORT BOOL BASSMOD_MusicSetPosition(DWORD pos) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.music) return Fail(BASSMOD_ERROR_HANDLE, 0);
    if (!g.music->SetPosition(static_cast<int>(pos & 0xFFFF), static_cast<int>(pos >> 16)))
        return Fail(BASSMOD_ERROR_POSITION, 0);
    return Ok(1);
}

BASSMOD_EXPORT DWORD BASSMOD_MusicGetPosition(void) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.music) return Fail(BASSMOD_ERROR_HANDLE, kFailed);
    return Ok(g.music->Position(g.scaler));
}

BASSMOD_EXPORT HSYNC BASSMOD_MusicSetSync(DWORD type, DWORD param, SYNCPROC* proc, void* user) {
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.music) return Fail<HSYNC>(BASSMOD_ERROR_HANDLE, 0);
    const DWORD kind = type & ~BASSMOD_SYNC_ONETIME;
    if (!proc || (kind != BASSMOD_SYNC_POS && kind != BASSMOD_SYNC_END)) return Fail<HSYNC>(BASSMOD_ERROR_ILLPARAM, 0);
    HSYNC h = g.next_sync++;
    if (g.next_sync == 0) g.next_sync = 1;
    return Ok(g.music->AddSync(type, param, proc, user, h));
}

BASSMOD_EXPORT BOOL BASSMOD_MusicRemoveSync(HSYNC sync) {
    std::lock_guard<std::recursive_mutex> syncs(g.sync_mutex);
    std::lock_guard<std::mutex> lk(g.lock);
    if (!g.music || !g.music->RemoveSync(sync)) return Fail(BASSMOD_ERROR_HANDLE, 0);
    return Ok(1);
}
