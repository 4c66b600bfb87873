// Checks of the composer on small scores built here: what it writes for a
// note, and that a mistake in a score is refused with its line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "protracker.h"
#include "score.h"
#include "synth.h"

namespace {

using modcompose::compose;
using modcompose::parse_score;
using modcompose::ScoreError;

// Two small instruments and a pattern whose channels the cases fill in.
const std::string kInstruments = R"(
title "t"
speed 5
tempo 140
instrument tone
  synth additive
  wave square
  cycle 32
  length 64
  loop 32 32
  volume 40
instrument hit
  synth drum
  rate C-3
  length 200
  noise 1 0.01
  key D-3
)";

std::string score_with(const std::string& body) { return kInstruments + body; }

int period_at(const std::vector<uint8_t>& m, int pattern, int row, int channel) {
  size_t at = 1084 + pattern * 1024 + (row * 4 + channel) * 4;
  return (m[at] & 0x0F) << 8 | m[at + 1];
}

std::vector<uint8_t> cell_at(const std::vector<uint8_t>& m, int pattern, int row, int channel) {
  size_t at = 1084 + pattern * 1024 + (row * 4 + channel) * 4;
  return {m[at], m[at + 1], m[at + 2], m[at + 3]};
}

TEST(Composer, WritesNotesEffectsAndTranspositions) {
  const auto m = compose(score_with(R"(
block up tone
  A-1 . C-3:047 ~ _12
block drum
  hit hit:C20 _14
pattern one
  1 up up+3 up-9 _16
  2 drum*4
  3 _64
order one one
)"));
  // Header: order, sample slots, signature, one stored pattern.
  EXPECT_EQ(m[950], 2);
  EXPECT_EQ(m[952], 0);
  EXPECT_EQ(m[953], 0);
  EXPECT_EQ(std::string(m.begin() + 1080, m.begin() + 1084), "M.K.");
  EXPECT_EQ(m.size(), 1084u + 1024u + 64u + 200u);
  EXPECT_EQ(m[20 + 22] << 8 | m[20 + 23], 32) << "tone: 64 bytes are 32 words";
  EXPECT_EQ(m[20 + 25], 40) << "tone's volume";
  EXPECT_EQ(m[20 + 26] << 8 | m[20 + 27], 16) << "loop start in words";
  EXPECT_EQ(m[20 + 28] << 8 | m[20 + 29], 16) << "loop length in words";
  EXPECT_EQ(m[50 + 28] << 8 | m[50 + 29], 1) << "a one-shot sample has the one-word loop";

  // Channel 1: A-1, then C-3 with arpeggio 047 held for a row, in three keys.
  EXPECT_EQ(period_at(m, 0, 0, 0), 508);
  EXPECT_EQ(cell_at(m, 0, 2, 0), (std::vector<uint8_t>{0x00, 214, 0x10, 0x47}));
  EXPECT_EQ(cell_at(m, 0, 3, 0), (std::vector<uint8_t>{0, 0, 0x00, 0x47}));
  EXPECT_EQ(period_at(m, 0, 16, 0), 428) << "A-1 + 3 is C-2";
  EXPECT_EQ(period_at(m, 0, 18, 0), 180) << "C-3 + 3 is D#3";
  EXPECT_EQ(period_at(m, 0, 32, 0), 856) << "A-1 - 9 is C-1";
  EXPECT_EQ(period_at(m, 0, 48, 0), 0);
  // Channel 2: the drum at its own key, sample 2, and an accent.
  EXPECT_EQ(period_at(m, 0, 0, 1), 190);
  EXPECT_EQ(cell_at(m, 0, 0, 1)[2] >> 4, 2);
  EXPECT_EQ(cell_at(m, 0, 1, 1), (std::vector<uint8_t>{0x00, 190, 0x2C, 0x20}));
  // Speed and tempo go into the free channels of the first row (channel 1's
  // first row has a note but no effect, so it takes the speed).
  EXPECT_EQ(cell_at(m, 0, 0, 0)[2] & 0x0F, 0xF);
  EXPECT_EQ(cell_at(m, 0, 0, 0)[3], 5);
  EXPECT_EQ(cell_at(m, 0, 0, 1)[2] & 0x0F, 0xF);
  EXPECT_EQ(cell_at(m, 0, 0, 1)[3], 140);
  // Unused slots are empty.
  for (int slot = 2; slot < 31; ++slot) EXPECT_EQ(m[20 + 30 * slot + 22] << 8 | m[20 + 30 * slot + 23], 0);
}

TEST(Composer, SameScoreSameBytes) {
  const std::string score = score_with("block b tone\n  A-2 _63\npattern p\n  1 b\norder p\n");
  EXPECT_EQ(compose(score), compose(score));
}

TEST(Composer, LoopedCycleRepeatsExactly) {
  modcompose::Song song = parse_score(score_with("block b tone\n  A-2 _63\npattern p\n  1 b\norder p\n"));
  modcompose::SampleData s = modcompose::synthesize(song.instruments[0]);
  ASSERT_EQ(s.data.size(), 64u);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(s.data[32 + i], s.data[i]) << i;
}

struct BadScore {
  const char* what;
  std::string body;
  int line;  // counted from the first line of the body
  const char* message;
};

void PrintTo(const BadScore& c, std::ostream* os) { *os << c.what; }

class ComposerRefuses : public ::testing::TestWithParam<BadScore> {};

TEST_P(ComposerRefuses, WithLineAndReason) {
  const BadScore& c = GetParam();
  const int offset = static_cast<int>(std::count(kInstruments.begin(), kInstruments.end(), '\n'));
  try {
    compose(score_with(c.body));
    FAIL() << "accepted: " << c.what;
  } catch (const ScoreError& e) {
    EXPECT_NE(e.message().find(c.message), std::string::npos) << e.what();
    EXPECT_EQ(e.line(), offset + c.line) << e.what();
  }
}

const std::string kOk = "block b tone\n  A-2 _63\n";  // lines 1-2

INSTANTIATE_TEST_SUITE_P(
    Scores, ComposerRefuses,
    ::testing::Values(
        BadScore{"short channel", kOk + "block c tone\n  A-2 _62\npattern p\n  1 c\norder p\n", 6, "has 63 rows"},
        BadScore{"long channel", kOk + "pattern p\n  1 b b\norder p\n", 4, "has 128 rows"},
        BadScore{"unknown block", kOk + "pattern p\n  1 bb\norder p\n", 4, "unknown block 'bb'"},
        BadScore{"unknown instrument", "block b tine\n  A-2 _63\n", 1, "unknown instrument 'tine'"},
        BadScore{"neither note nor instrument", "block b tone\n  A-2 H-2 _62\n", 2, "neither a note"},
        BadScore{"note without instrument", "block b\n  A-2 _63\n", 2, "has no instrument"},
        BadScore{"transposed too high", "block b tone\n  A-3 _63\npattern p\n  1 b+3\norder p\n", 4, "outside C-1..B-3"},
        BadScore{"transposed too low", "block b tone\n  C-1 _63\npattern p\n  1 b-1\norder p\n", 4, "outside C-1..B-3"},
        BadScore{"bad effect", "block b tone\n  A-2:0G7 _63\n", 2, "three hex digits"},
        BadScore{"repeat without effect", "block b tone\n  A-2 ~ _62\n", 2, "row before has none"},
        BadScore{"pattern not played", kOk + "pattern p\n  1 b\npattern q\n  1 b\norder p\n", 5, "not in the order"},
        BadScore{"unknown pattern in order", kOk + "pattern p\n  1 b\norder p x\n", 5, "unknown pattern 'x'"},
        BadScore{"no room for speed and tempo",
                 "block b tone\n  A-2:C20 _63\npattern p\n  1 b\n  2 b\n  3 b\n  4 b\norder p\n", 3,
                 "speed and tempo"},
        BadScore{"channel twice", kOk + "pattern p\n  1 b\n  1 b\norder p\n", 5, "given twice"},
        BadScore{"misspelt parameter", "instrument x\n  synth additive\n  cycle 32\n  length 64\n  cutof 3\n" + kOk +
                 "pattern p\n  1 b\norder p\n", 5, "no parameter 'cutof'"},
        BadScore{"loop not whole cycles", "instrument x\n  synth additive\n  cycle 32\n  length 64\n  loop 16 48\n" +
                 kOk + "pattern p\n  1 b\norder p\n", 5, "whole cycles"},
        BadScore{"odd length", "instrument x\n  synth drum\n  length 63\n" + kOk + "pattern p\n  1 b\norder p\n", 3,
                 "even number"},
        BadScore{"volume too high", "instrument x\n  volume 65\n", 2, "outside 0..64"}),
    [](const ::testing::TestParamInfo<BadScore>& info) {
      std::string name = info.param.what;
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

}  // namespace
