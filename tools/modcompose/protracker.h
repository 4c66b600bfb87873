// Writes a song as a four-channel, 31-sample ProTracker module ("M.K.").
#pragma once

#include <cstdint>
#include <vector>

#include "score.h"
#include "synth.h"

namespace modcompose {

inline constexpr int kHeaderBytes = 1084;
inline constexpr int kPatternBytes = kRows * kChannels * 4;

// samples[n] belongs to song.instruments[n].
std::vector<uint8_t> write_module(const Song& song, const std::vector<SampleData>& samples);

// Parses, synthesises and writes in one step.
std::vector<uint8_t> compose(std::string_view score);

}  // namespace modcompose
