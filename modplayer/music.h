// The mixing core of the player: one loaded module, rendered frame by frame
// through libxmp into interleaved 16-bit samples, with the library's own
// gain stage (volume x amplification, ramped), loop handling and syncs.
//
// It knows nothing of threads or audio devices: the caller serialises every
// call. The shared object drives it from the audio callback; the tests and
// the benchmark compile it in and drive it directly.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "bassmod.h"

namespace bassmod {

// Length of a volume ramp from silence to unity gain, in output frames
// (about 5.8 ms at 44.1 kHz): long enough that a step never clicks, short
// enough that a stop or a pause feels immediate.
inline constexpr int kRampFrames = 256;

// Unity gain in the Q16 fixed point the gain stage uses.
inline constexpr int32_t kUnityGain = 1 << 16;

struct Sync {
    HSYNC handle;
    DWORD type;   // BASSMOD_SYNC_POS or BASSMOD_SYNC_END, maybe | BASSMOD_SYNC_ONETIME
    DWORD param;
    SYNCPROC* proc;
    void* user;
};

// A sync that came due while rendering; the caller runs it once it has
// released its locks, so that the procedure may call back into the library.
struct FiredSync {
    HSYNC handle;
    DWORD data;
    SYNCPROC* proc;
    void* user;
};

class Music {
public:
    // Loads a module from bytes. Returns null and sets *error to a
    // BASSMOD_ERROR_* code when libxmp cannot load it or it cannot be played.
    static std::unique_ptr<Music> Load(std::span<const uint8_t> bytes, int rate, int channels,
                                       DWORD flags, DWORD* error);
    ~Music();
    Music(const Music&) = delete;
    Music& operator=(const Music&) = delete;

    // Fills `frames` frames of `out` (interleaved, `channels` per frame).
    // Silence once stopped or paused. Due syncs are appended to `fired`.
    void Render(int16_t* out, int frames, std::vector<FiredSync>& fired);

    void Play();
    void Stop();
    void Pause();
    DWORD Active() const;  // BASSMOD_ACTIVE_*

    // Sets the flags that can change while loaded (loop, interpolation,
    // ramping); BASSMOD_MUSIC_SOFTPAN takes effect through SetPanSep only.
    void SetFlags(DWORD flags);
    DWORD Flags() const { return flags_; }

    // Jumps to a song position and row. False when either is out of range.
    bool SetPosition(int order, int row);
    // Starts from scratch: every channel silent, the module's initial speed
    // and tempo, position 0.
    void Reset();
    // Reset, faded when sounding and ramping.
    void ResetPlayback();
    DWORD Position(int scaler) const;  // LOWORD order, HIWORD row x scaler + fraction

    void SetOutputGain(int volume /*0..100*/, int amplify /*0..100*/);
    void SetPanSep(int percent);

    int Orders() const;
    DWORD DurationMs() const;
    const std::string& Name() const { return name_; }

    HSYNC AddSync(DWORD type, DWORD param, SYNCPROC* proc, void* user, HSYNC handle);
    bool RemoveSync(HSYNC handle);

private:
    Music() = default;
    bool StartPlayer();
    bool NextFrame(std::vector<FiredSync>& fired);
    void PassEnded(std::vector<FiredSync>& fired, bool looping);
    void FireSyncs(DWORD type_match, DWORD data, int order, int row, std::vector<FiredSync>& fired);
    int32_t TargetGain() const;
    void ApplyPendingWhenSilent();

    void* ctx_ = nullptr;  // xmp_context
    std::vector<uint8_t> bytes_;
    std::string name_;
    int rate_ = 44100;
    int channels_ = 2;
    DWORD flags_ = 0;
    int pan_sep_ = 100;

    // libxmp's frame buffer and how much of it is already written out.
    std::vector<int16_t> frame_;
    size_t frame_used_ = 0;  // in samples

    int loops_seen_ = 0;
    bool resync_loops_ = false;
    int cur_order_ = 0, cur_row_ = 0, cur_tick_ = 0, cur_speed_ = 6;
    int last_order_ = -1, last_row_ = -1;

    DWORD active_ = BASSMOD_ACTIVE_STOPPED;  // what the caller asked for
    bool sounding_ = false;                  // the mixer is producing sound
    bool jump_pending_ = false;
    int jump_order_ = 0, jump_row_ = 0;
    bool reset_pending_ = false;

    int32_t gain_ = kUnityGain;  // target when playing
    int32_t cur_gain_ = kUnityGain;

    std::vector<Sync> syncs_;
};

}  // namespace bassmod
