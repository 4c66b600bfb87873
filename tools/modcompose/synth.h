// Turns an instrument's parameters into 8-bit signed sample data.
#pragma once

#include <cstdint>
#include <vector>

#include "score.h"

namespace modcompose {

struct SampleData {
  std::vector<int8_t> data;  // even length
  int loop_start = 0;        // bytes
  int loop_length = 0;       // bytes, 0 when the sample does not loop
};

// Throws ScoreError for a missing, unknown or out-of-range parameter.
SampleData synthesize(const Instrument& instrument);

// The rate in Hz at which the player steps through a sample for a note
// (0 = C-1) with finetune 0, from the PAL Amiga clock.
double note_rate(int note);

// The Amiga period of a note with finetune 0.
int note_period(int note);

}  // namespace modcompose
