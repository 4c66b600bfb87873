#include "music.h"

#include <xmp.h>

#include <algorithm>
#include <cstring>

namespace bassmod {

namespace {

xmp_context Ctx(void* p) { return static_cast<xmp_context>(p); }

int InterpolationFor(DWORD flags) {
    // Cubic spline keeps the short looped chip waveforms of tracker modules
    // free of the aliasing hiss that linear interpolation leaves; libxmp
    // mixes a four-channel module far faster than real time either way.
    return (flags & BASSMOD_MUSIC_NONINTER) ? XMP_INTERP_NEAREST : XMP_INTERP_SPLINE;
}

int16_t Saturate(int32_t v) {
    return static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX));
}

}  // namespace

std::unique_ptr<Music> Music::Load(std::span<const uint8_t> bytes, int rate, int channels,
                                   DWORD flags, DWORD* error) {
    std::unique_ptr<Music> m(new (std::nothrow) Music());
    if (!m) {
        *error = BASSMOD_ERROR_MEM;
        return nullptr;
    }
    m->rate_ = rate;
    m->channels_ = channels;
    m->flags_ = flags;
    m->pan_sep_ = (flags & BASSMOD_MUSIC_SOFTPAN) ? 50 : 100;
    try {
        m->bytes_.assign(bytes.begin(), bytes.end());
    } catch (const std::bad_alloc&) {
        *error = BASSMOD_ERROR_MEM;
        return nullptr;
    }
    xmp_context ctx = xmp_create_context();
    if (!ctx) {
        *error = BASSMOD_ERROR_MEM;
        return nullptr;
    }
    m->ctx_ = ctx;
    // Channel panning as the module writes it; the separation is applied by
    // the mixer (SetPanSep) so that it can change while playing.
    xmp_set_player(ctx, XMP_PLAYER_DEFPAN, 100);
    if (m->bytes_.empty() ||
        xmp_load_module_from_memory(ctx, m->bytes_.data(), static_cast<long>(m->bytes_.size())) != 0) {
        xmp_free_context(ctx);
        m->ctx_ = nullptr;
        *error = BASSMOD_ERROR_FILEFORM;
        return nullptr;
    }
    xmp_module_info mi{};
    xmp_get_module_info(ctx, &mi);
    if (!mi.mod || mi.mod->len <= 0 || mi.mod->chn <= 0 || mi.num_sequences <= 0 || !m->StartPlayer()) {
        xmp_release_module(ctx);
        xmp_free_context(ctx);
        m->ctx_ = nullptr;
        *error = BASSMOD_ERROR_FILEFORM;
        return nullptr;
    }
    m->name_ = mi.mod->name;
    *error = BASSMOD_OK;
    return m;
}

Music::~Music() {
    if (ctx_) {
        xmp_end_player(Ctx(ctx_));
        xmp_release_module(Ctx(ctx_));
        xmp_free_context(Ctx(ctx_));
    }
}

bool Music::StartPlayer() {
    xmp_context ctx = Ctx(ctx_);
    if (xmp_start_player(ctx, rate_, channels_ == 1 ? XMP_FORMAT_MONO : 0) != 0) return false;
    // Every sound setting is in place before the first frame is mixed.
    xmp_set_player(ctx, XMP_PLAYER_INTERP, InterpolationFor(flags_));
    xmp_set_player(ctx, XMP_PLAYER_MIX, pan_sep_);
    xmp_set_player(ctx, XMP_PLAYER_VOLUME, 100);
    frame_used_ = frame_.size();
    loops_seen_ = 0;
    resync_loops_ = false;
    cur_order_ = cur_row_ = cur_tick_ = 0;
    last_order_ = last_row_ = -1;
    return true;
}

void Music::Reset() {
    xmp_end_player(Ctx(ctx_));
    StartPlayer();
}

void Music::ResetPlayback() {
    if (sounding_ && (flags_ & BASSMOD_MUSIC_RAMP)) reset_pending_ = true;
    else Reset();
}

void Music::SetFlags(DWORD flags) {
    flags_ = flags;
    xmp_set_player(Ctx(ctx_), XMP_PLAYER_INTERP, InterpolationFor(flags_));
    if (!(flags_ & BASSMOD_MUSIC_RAMP)) cur_gain_ = TargetGain();
}

void Music::SetPanSep(int percent) {
    pan_sep_ = percent;
    xmp_set_player(Ctx(ctx_), XMP_PLAYER_MIX, percent);
}

void Music::SetOutputGain(int volume, int amplify) {
    gain_ = static_cast<int32_t>(int64_t{volume} * amplify * kUnityGain / 5000);
    if (!(flags_ & BASSMOD_MUSIC_RAMP)) cur_gain_ = TargetGain();
}

int32_t Music::TargetGain() const {
    return (active_ == BASSMOD_ACTIVE_PLAYING && !jump_pending_ && !reset_pending_) ? gain_ : 0;
}

void Music::Play() {
    if (active_ == BASSMOD_ACTIVE_PLAYING) return;
    active_ = BASSMOD_ACTIVE_PLAYING;
    if (!sounding_) {
        // Fade in from silence so that resuming mid-note does not click.
        cur_gain_ = (flags_ & BASSMOD_MUSIC_RAMP) ? 0 : gain_;
        sounding_ = true;
    }
    if (!(flags_ & BASSMOD_MUSIC_RAMP)) cur_gain_ = gain_;
}

void Music::Stop() {
    active_ = BASSMOD_ACTIVE_STOPPED;
    if (!(flags_ & BASSMOD_MUSIC_RAMP)) ApplyPendingWhenSilent();
}

void Music::Pause() {
    if (active_ != BASSMOD_ACTIVE_PLAYING) return;
    active_ = BASSMOD_ACTIVE_PAUSED;
    if (!(flags_ & BASSMOD_MUSIC_RAMP)) ApplyPendingWhenSilent();
}

DWORD Music::Active() const { return active_; }

bool Music::SetPosition(int order, int row) {
    xmp_module_info mi{};
    xmp_get_module_info(Ctx(ctx_), &mi);
    if (order < 0 || order >= mi.mod->len) return false;
    int pat = mi.mod->xxo[order];
    if (pat >= mi.mod->pat || row < 0 || row >= mi.mod->xxp[pat]->rows) return false;
    jump_pending_ = true;
    jump_order_ = order;
    jump_row_ = row;
    // A jump while sounding fades out first, then continues at the new place.
    if (!sounding_ || !(flags_ & BASSMOD_MUSIC_RAMP)) ApplyPendingWhenSilent();
    return true;
}

// Runs what waited for the output gain to reach zero: a jump, or the end of
// the sound after a stop or a pause.
void Music::ApplyPendingWhenSilent() {
    if (reset_pending_) {
        reset_pending_ = false;
        Reset();
    }
    if (jump_pending_) {
        jump_pending_ = false;
        xmp_set_position(Ctx(ctx_), jump_order_);
        xmp_set_row(Ctx(ctx_), jump_row_);
        frame_used_ = frame_.size();
        cur_order_ = jump_order_;
        cur_row_ = jump_row_;
        cur_tick_ = 0;
        last_order_ = last_row_ = -1;
        // libxmp may count a jump back as a loop; the next frame sets the base.
        resync_loops_ = true;
    }
    if (active_ != BASSMOD_ACTIVE_PLAYING) {
        sounding_ = false;
        cur_gain_ = 0;
    } else if (flags_ & BASSMOD_MUSIC_RAMP) {
        cur_gain_ = 0;  // fade back in
    } else {
        cur_gain_ = gain_;
    }
}

DWORD Music::Position(int scaler) const {
    int speed = std::max(cur_speed_, 1);
    DWORD sub = static_cast<DWORD>(cur_row_ * scaler + cur_tick_ * scaler / speed);
    return static_cast<DWORD>(cur_order_ & 0xFFFF) | (std::min<DWORD>(sub, 0xFFFF) << 16);
}

int Music::Orders() const {
    xmp_module_info mi{};
    xmp_get_module_info(Ctx(ctx_), &mi);
    return mi.mod->len;
}

DWORD Music::DurationMs() const {
    xmp_module_info mi{};
    xmp_get_module_info(Ctx(ctx_), &mi);
    return static_cast<DWORD>(mi.seq_data[0].duration);
}

HSYNC Music::AddSync(DWORD type, DWORD param, SYNCPROC* proc, void* user, HSYNC handle) {
    syncs_.push_back(Sync{handle, type, param, proc, user});
    return handle;
}

bool Music::RemoveSync(HSYNC handle) {
    auto it = std::find_if(syncs_.begin(), syncs_.end(), [&](const Sync& s) { return s.handle == handle; });
    if (it == syncs_.end()) return false;
    syncs_.erase(it);
    return true;
}

void Music::FireSyncs(DWORD type_match, DWORD data, int order, int row, std::vector<FiredSync>& fired) {
    for (auto it = syncs_.begin(); it != syncs_.end();) {
        DWORD type = it->type & ~BASSMOD_SYNC_ONETIME;
        bool due = false;
        if (type == type_match) {
            if (type == BASSMOD_SYNC_END) {
                due = true;
            } else {
                DWORD o = it->param & 0xFFFF, r = it->param >> 16;
                due = (o == 0xFFFF || o == static_cast<DWORD>(order)) && (r == 0xFFFF || r == static_cast<DWORD>(row));
            }
        }
        if (due) {
            fired.push_back(FiredSync{it->handle, data, it->proc, it->user});
            if (it->type & BASSMOD_SYNC_ONETIME) {
                it = syncs_.erase(it);
                continue;
            }
        }
        ++it;
    }
}

void Music::PassEnded(std::vector<FiredSync>& fired, bool looping) {
    FireSyncs(BASSMOD_SYNC_END, looping ? 1 : 0, 0, 0, fired);
    if (!looping) {
        // Ready to play again from the start, as freshly loaded.
        active_ = BASSMOD_ACTIVE_STOPPED;
        sounding_ = false;
        Reset();
    }
}

// Mixes the next libxmp frame into frame_. False when the music stopped.
bool Music::NextFrame(std::vector<FiredSync>& fired) {
    xmp_context ctx = Ctx(ctx_);
    const bool loop = flags_ & BASSMOD_MUSIC_LOOP;
    int r = xmp_play_frame(ctx);
    xmp_frame_info fi;
    xmp_get_frame_info(ctx, &fi);
    if (r != 0) {
        // libxmp ended the module itself (a stop effect): a pass is over.
        PassEnded(fired, loop);
        if (!loop) return false;
        Reset();
        if (xmp_play_frame(ctx) != 0) {
            active_ = BASSMOD_ACTIVE_STOPPED;
            sounding_ = false;
            return false;
        }
        xmp_get_frame_info(ctx, &fi);
    }
    if (resync_loops_) {
        resync_loops_ = false;
        loops_seen_ = fi.loop_count;
    } else if (fi.loop_count > loops_seen_) {
        // The sequence wrapped: this frame is the first of the next pass.
        // libxmp keeps every voice going, so the loop is seamless.
        loops_seen_ = fi.loop_count;
        PassEnded(fired, loop);
        if (!loop) return false;
    }
    cur_order_ = fi.pos;
    cur_row_ = fi.row;
    cur_tick_ = fi.frame;
    cur_speed_ = fi.speed;
    if (fi.pos != last_order_ || fi.row != last_row_) {
        last_order_ = fi.pos;
        last_row_ = fi.row;
        DWORD data = static_cast<DWORD>(fi.pos & 0xFFFF) | (static_cast<DWORD>(fi.row & 0xFFFF) << 16);
        FireSyncs(BASSMOD_SYNC_POS, data, fi.pos, fi.row, fired);
    }
    size_t n = static_cast<size_t>(fi.buffer_size) / sizeof(int16_t);
    frame_.resize(n);
    std::memcpy(frame_.data(), fi.buffer, n * sizeof(int16_t));
    frame_used_ = 0;
    return true;
}

void Music::Render(int16_t* out, int frames, std::vector<FiredSync>& fired) {
    const size_t total = static_cast<size_t>(frames) * static_cast<size_t>(channels_);
    size_t done = 0;
    const int32_t step = kUnityGain / kRampFrames;
    while (done < total) {
        if (!sounding_) break;
        if (frame_used_ >= frame_.size()) {
            if (!NextFrame(fired)) break;
            continue;
        }
        size_t n = std::min(total - done, frame_.size() - frame_used_);
        const int16_t* src = frame_.data() + frame_used_;
        int16_t* dst = out + done;
        const int32_t target = TargetGain();
        if (cur_gain_ == target && target == kUnityGain) {
            std::memcpy(dst, src, n * sizeof(int16_t));  // the common case: exactly libxmp's output
        } else if (cur_gain_ == target) {
            for (size_t i = 0; i < n; ++i)
                dst[i] = Saturate(static_cast<int32_t>((int64_t{src[i]} * cur_gain_) >> 16));
        } else {
            // Ramp one step per frame towards the target; stop at a frame
            // boundary when silence is reached so a pending action can run.
            size_t i = 0;
            while (i + static_cast<size_t>(channels_) <= n && cur_gain_ != target) {
                if (cur_gain_ < target) cur_gain_ = std::min(cur_gain_ + step, target);
                else cur_gain_ = std::max(cur_gain_ - step, target);
                for (int c = 0; c < channels_; ++c, ++i)
                    dst[i] = Saturate(static_cast<int32_t>((int64_t{src[i]} * cur_gain_) >> 16));
            }
            n = i;
        }
        frame_used_ += n;
        done += n;
        if (cur_gain_ == 0 && TargetGain() == 0) ApplyPendingWhenSilent();
    }
    if (done < total) std::memset(out + done, 0, (total - done) * sizeof(int16_t));
}

}  // namespace bassmod
