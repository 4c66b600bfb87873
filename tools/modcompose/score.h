// The composer's model of a song: instruments described by synthesis
// parameters, blocks of rows for one channel, patterns made of blocks, and
// the order in which the patterns play. parse_score() reads the text score.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace modcompose {

inline constexpr int kChannels = 4;
inline constexpr int kRows = 64;
inline constexpr int kSampleSlots = 31;
// ProTracker's three octaves, C-1 to B-3.
inline constexpr int kNoteCount = 36;

// A mistake in the score, with the line it was found on.
class ScoreError : public std::runtime_error {
 public:
  ScoreError(int line, const std::string& what)
      : std::runtime_error("line " + std::to_string(line) + ": " + what), line_(line), message_(what) {}
  int line() const { return line_; }
  const std::string& message() const { return message_; }

 private:
  int line_;
  std::string message_;
};

struct Instrument {
  std::string id;     // the name the score refers to it by
  std::string title;  // the name stored in the module, at most 22 characters
  std::string synth;  // "additive" or "drum"
  int volume = 64;
  int finetune = 0;  // -8..7
  int key = 12;      // the note played when a block names the instrument alone (C-2)
  int line = 0;
  // Every other parameter, read by the synthesiser; each value keeps its line.
  struct Param {
    std::vector<std::string> values;
    int line = 0;
  };
  std::map<std::string, Param> params;
};

struct Cell {
  int note = -1;   // 0..35, or -1 for none
  int sample = 0;  // 1..31, or 0 for none
  int effect = 0;
  int param = 0;
  bool has_effect() const { return effect != 0 || param != 0; }
};

using Row = std::array<Cell, kChannels>;
using Pattern = std::array<Row, kRows>;

struct Song {
  std::string title;
  int speed = 6;
  int tempo = 125;
  std::vector<Instrument> instruments;  // sample slot n + 1 is instruments[n]
  std::vector<std::string> pattern_names;
  std::vector<Pattern> patterns;
  std::vector<int> order;
};

// Reads the text score. Throws ScoreError on the first mistake.
Song parse_score(std::string_view text);

// "C-1" -> 0 ... "B-3" -> 35, or -1 when the text is not a note name.
int parse_note(std::string_view text);

}  // namespace modcompose
