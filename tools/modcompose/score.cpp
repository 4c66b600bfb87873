#include "score.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>

namespace modcompose {
namespace {

struct Line {
  int number = 0;
  std::vector<std::string> tokens;
};

// Splits one line into words. ';' starts a comment; "quoted text" is one word
// (kept without its quotes) so instrument names may hold spaces.
std::vector<std::string> tokenize(std::string_view text, int line) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == ';') break;
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (c == '"') {
      size_t end = text.find('"', i + 1);
      if (end == std::string_view::npos) throw ScoreError(line, "unterminated quoted text");
      tokens.emplace_back(text.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    size_t end = i;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) &&
           text[end] != ';')
      ++end;
    tokens.emplace_back(text.substr(i, end - i));
    i = end;
  }
  return tokens;
}

int parse_int(const std::string& s, int line, int lo, int hi, const char* what) {
  size_t used = 0;
  int value = 0;
  try {
    value = std::stoi(s, &used, 0);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != s.size() || s.empty())
    throw ScoreError(line, std::string(what) + " is not a number: '" + s + "'");
  if (value < lo || value > hi)
    throw ScoreError(line, std::string(what) + " " + s + " is outside " + std::to_string(lo) +
                               ".." + std::to_string(hi));
  return value;
}

bool is_name(const std::string& s) {
  if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
  return std::all_of(s.begin(), s.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  });
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One row of a block before it is placed: the note is still relative to the
// block's transposition and the instrument is still a name.
struct BlockRow {
  int note = -1;
  bool key_hit = false;  // play the instrument at its own key, never transposed
  std::string instrument;
  std::optional<std::pair<int, int>> effect;
};

struct Block {
  std::string default_instrument;
  std::vector<BlockRow> rows;
  int line = 0;
};

struct PatternDef {
  std::string name;
  int line = 0;
  std::array<std::vector<Line>, kChannels> channels;  // the words after the channel number
  std::array<int, kChannels> channel_line{};
};

class Parser {
 public:
  Song parse(std::string_view text) {
    std::vector<Line> lines;
    int number = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
      size_t end = text.find('\n', pos);
      if (end == std::string_view::npos) end = text.size();
      ++number;
      auto tokens = tokenize(text.substr(pos, end - pos), number);
      if (!tokens.empty()) lines.push_back({number, std::move(tokens)});
      pos = end + 1;
    }

    enum class Section { None, Instrument, Block, Pattern, Order } section = Section::None;
    Block* block = nullptr;
    PatternDef* pattern = nullptr;
    for (const Line& line : lines) {
      const std::string& word = line.tokens[0];
      const int n = line.number;
      if (word == "title") {
        expect_count(line, 2);
        song_.title = line.tokens[1];
        if (song_.title.size() > 20) throw ScoreError(n, "title is longer than 20 characters");
        section = Section::None;
      } else if (word == "speed") {
        expect_count(line, 2);
        song_.speed = parse_int(line.tokens[1], n, 1, 31, "speed");
        section = Section::None;
      } else if (word == "tempo") {
        expect_count(line, 2);
        song_.tempo = parse_int(line.tokens[1], n, 32, 255, "tempo");
        section = Section::None;
      } else if (word == "instrument") {
        expect_count(line, 2);
        const std::string& id = line.tokens[1];
        if (!is_name(id)) throw ScoreError(n, "bad instrument name '" + id + "'");
        if (find_instrument(id) >= 0) throw ScoreError(n, "instrument '" + id + "' defined twice");
        if (static_cast<int>(song_.instruments.size()) == kSampleSlots)
          throw ScoreError(n, "more than 31 instruments");
        Instrument inst;
        inst.id = id;
        inst.title = id;
        inst.line = n;
        song_.instruments.push_back(inst);
        section = Section::Instrument;
      } else if (word == "block") {
        if (line.tokens.size() < 2 || line.tokens.size() > 3)
          throw ScoreError(n, "expected: block NAME [INSTRUMENT]");
        const std::string& id = line.tokens[1];
        if (!is_name(id)) throw ScoreError(n, "bad block name '" + id + "'");
        if (blocks_.count(id)) throw ScoreError(n, "block '" + id + "' defined twice");
        block = &blocks_[id];
        block->line = n;
        if (line.tokens.size() == 3) {
          block->default_instrument = line.tokens[2];
          require_instrument(block->default_instrument, n);
        }
        section = Section::Block;
      } else if (word == "pattern") {
        expect_count(line, 2);
        const std::string& id = line.tokens[1];
        if (!is_name(id)) throw ScoreError(n, "bad pattern name '" + id + "'");
        for (const auto& p : patterns_)
          if (p.name == id) throw ScoreError(n, "pattern '" + id + "' defined twice");
        patterns_.push_back({});
        pattern = &patterns_.back();
        pattern->name = id;
        pattern->line = n;
        section = Section::Pattern;
      } else if (word == "order") {
        order_words_.insert(order_words_.end(), line.tokens.begin() + 1, line.tokens.end());
        order_line_ = n;
        section = Section::Order;
      } else {
        switch (section) {
          case Section::Instrument:
            instrument_line(song_.instruments.back(), line);
            break;
          case Section::Block:
            block_line(*block, line);
            break;
          case Section::Pattern:
            pattern_line(*pattern, line);
            break;
          case Section::Order:
            for (const auto& t : line.tokens) order_words_.push_back(t);
            break;
          case Section::None:
            throw ScoreError(n, "unknown keyword '" + word + "'");
        }
      }
    }
    build_patterns();
    build_order();
    set_speed_and_tempo();
    return std::move(song_);
  }

 private:
  static void expect_count(const Line& line, size_t count) {
    if (line.tokens.size() != count)
      throw ScoreError(line.number, "'" + line.tokens[0] + "' takes " +
                                        std::to_string(count - 1) + " value(s)");
  }

  int find_instrument(const std::string& id) const {
    for (size_t i = 0; i < song_.instruments.size(); ++i)
      if (song_.instruments[i].id == id) return static_cast<int>(i);
    return -1;
  }

  void require_instrument(const std::string& id, int line) const {
    if (find_instrument(id) < 0) throw ScoreError(line, "unknown instrument '" + id + "'");
  }

  void instrument_line(Instrument& inst, const Line& line) {
    const std::string& key = line.tokens[0];
    const int n = line.number;
    if (line.tokens.size() < 2) throw ScoreError(n, "'" + key + "' needs a value");
    if (key == "name") {
      expect_count(line, 2);
      inst.title = line.tokens[1];
      if (inst.title.size() > 22) throw ScoreError(n, "name is longer than 22 characters");
    } else if (key == "synth") {
      expect_count(line, 2);
      inst.synth = line.tokens[1];
      if (inst.synth != "additive" && inst.synth != "drum")
        throw ScoreError(n, "synth must be 'additive' or 'drum'");
    } else if (key == "volume") {
      expect_count(line, 2);
      inst.volume = parse_int(line.tokens[1], n, 0, 64, "volume");
    } else if (key == "finetune") {
      expect_count(line, 2);
      inst.finetune = parse_int(line.tokens[1], n, -8, 7, "finetune");
    } else if (key == "key") {
      expect_count(line, 2);
      inst.key = parse_note(line.tokens[1]);
      if (inst.key < 0) throw ScoreError(n, "bad note '" + line.tokens[1] + "'");
    } else {
      if (inst.params.count(key)) throw ScoreError(n, "'" + key + "' given twice");
      inst.params[key] = {{line.tokens.begin() + 1, line.tokens.end()}, n};
    }
  }

  std::pair<int, int> parse_effect(const std::string& s, int line) const {
    if (s.size() != 3) throw ScoreError(line, "effect '" + s + "' must be three hex digits");
    int d[3];
    for (int i = 0; i < 3; ++i) {
      d[i] = hex_digit(s[i]);
      if (d[i] < 0) throw ScoreError(line, "effect '" + s + "' must be three hex digits");
    }
    return {d[0], d[1] * 16 + d[2]};
  }

  void block_line(Block& block, const Line& line) {
    const int n = line.number;
    for (const std::string& token : line.tokens) {
      if (token == ".") {
        block.rows.push_back({});
      } else if (token.size() > 1 && token[0] == '_') {
        int count = parse_int(token.substr(1), n, 1, kRows, "rest length");
        block.rows.insert(block.rows.end(), count, BlockRow{});
      } else if (token == "~") {
        if (block.rows.empty() || !block.rows.back().effect)
          throw ScoreError(n, "'~' repeats an effect, but the row before has none");
        BlockRow row;
        row.effect = block.rows.back().effect;
        block.rows.push_back(row);
      } else if (token == "off") {
        BlockRow row;
        row.effect = {0xC, 0};
        block.rows.push_back(row);
      } else {
        block.rows.push_back(parse_hit(block, token, n));
      }
    }
  }

  BlockRow parse_hit(const Block& block, const std::string& token, int n) const {
    BlockRow row;
    std::string head = token;
    if (auto colon = token.find(':'); colon != std::string::npos) {
      row.effect = parse_effect(token.substr(colon + 1), n);
      head = token.substr(0, colon);
    }
    if (head.empty()) return row;
    std::string note = head, inst;
    if (auto at = head.find('@'); at != std::string::npos) {
      note = head.substr(0, at);
      inst = head.substr(at + 1);
    }
    row.note = parse_note(note);
    if (row.note >= 0) {
      row.instrument = inst.empty() ? block.default_instrument : inst;
      if (row.instrument.empty())
        throw ScoreError(n, "note '" + token + "' has no instrument (give the block one, or NOTE@INSTRUMENT)");
      require_instrument(row.instrument, n);
      return row;
    }
    if (!inst.empty()) throw ScoreError(n, "bad note '" + note + "'");
    if (find_instrument(head) < 0)
      throw ScoreError(n, "'" + head + "' is neither a note nor an instrument");
    row.instrument = head;
    row.key_hit = true;
    row.note = song_.instruments[find_instrument(head)].key;
    return row;
  }

  void pattern_line(PatternDef& pattern, const Line& line) {
    const int n = line.number;
    int channel = parse_int(line.tokens[0], n, 1, kChannels, "channel");
    if (!pattern.channels[channel - 1].empty() || pattern.channel_line[channel - 1])
      throw ScoreError(n, "channel " + line.tokens[0] + " given twice in pattern '" + pattern.name + "'");
    pattern.channel_line[channel - 1] = n;
    pattern.channels[channel - 1].push_back({n, {line.tokens.begin() + 1, line.tokens.end()}});
  }

  // Places a channel's block references (NAME, NAME+3, NAME-5, NAME*2, _16)
  // into the pattern's column.
  void fill_channel(Pattern& out, int channel, const Line& words, const std::string& name) {
    int row = 0;
    auto place = [&](const BlockRow& src, int transpose) {
      if (row >= kRows) return;  // counted below, so the error names the whole line
      Cell& cell = out[row][channel];
      if (src.note >= 0) {
        int note = src.key_hit ? src.note : src.note + transpose;
        if (note < 0 || note >= kNoteCount)
          throw ScoreError(words.number, "transposed note falls outside C-1..B-3 in pattern '" + name + "'");
        cell.note = note;
        cell.sample = find_instrument(src.instrument) + 1;
      }
      if (src.effect) {
        cell.effect = src.effect->first;
        cell.param = src.effect->second;
      }
    };
    int rows = 0;
    for (const std::string& word : words.tokens) {
      if (word.size() > 1 && word[0] == '_') {
        int count = parse_int(word.substr(1), words.number, 1, kRows, "rest length");
        row += count;
        rows += count;
        continue;
      }
      size_t i = 0;
      while (i < word.size() && (std::isalnum(static_cast<unsigned char>(word[i])) || word[i] == '_')) ++i;
      std::string id = word.substr(0, i);
      int transpose = 0, repeat = 1;
      if (i < word.size() && (word[i] == '+' || word[i] == '-')) {
        size_t j = i + 1;
        while (j < word.size() && std::isdigit(static_cast<unsigned char>(word[j]))) ++j;
        transpose = parse_int(word.substr(i, j - i), words.number, -35, 35, "transposition");
        i = j;
      }
      if (i < word.size() && word[i] == '*') {
        repeat = parse_int(word.substr(i + 1), words.number, 1, kRows, "repeat count");
        i = word.size();
      }
      if (i != word.size() || !blocks_.count(id))
        throw ScoreError(words.number, "unknown block '" + word + "'");
      const Block& block = blocks_.at(id);
      for (int r = 0; r < repeat; ++r) {
        for (const BlockRow& src : block.rows) {
          place(src, transpose);
          ++row;
        }
        rows += static_cast<int>(block.rows.size());
      }
    }
    if (rows != kRows)
      throw ScoreError(words.number, "channel " + std::to_string(channel + 1) + " of pattern '" +
                                         name + "' has " + std::to_string(rows) + " rows, not 64");
  }

  void build_patterns() {
    for (const PatternDef& def : patterns_) {
      Pattern out{};
      for (int ch = 0; ch < kChannels; ++ch)
        for (const Line& words : def.channels[ch]) fill_channel(out, ch, words, def.name);
      song_.pattern_names.push_back(def.name);
      song_.patterns.push_back(out);
    }
  }

  void build_order() {
    if (order_words_.empty()) throw ScoreError(order_line_, "the score has no order");
    if (order_words_.size() > 128) throw ScoreError(order_line_, "the order is longer than 128 positions");
    std::set<int> used;
    for (const std::string& word : order_words_) {
      auto it = std::find(song_.pattern_names.begin(), song_.pattern_names.end(), word);
      if (it == song_.pattern_names.end()) throw ScoreError(order_line_, "unknown pattern '" + word + "' in order");
      int index = static_cast<int>(it - song_.pattern_names.begin());
      song_.order.push_back(index);
      used.insert(index);
    }
    // Every stored pattern up to the highest one played takes 1,024 bytes, so
    // a pattern that never plays is only waste.
    for (size_t i = 0; i < patterns_.size(); ++i)
      if (!used.count(static_cast<int>(i)))
        throw ScoreError(patterns_[i].line, "pattern '" + patterns_[i].name + "' is not in the order");
  }

  // The first row of the first position sets speed and tempo, so that every
  // pass after the song wraps plays at the same pace as the first.
  void set_speed_and_tempo() {
    Row& first = song_.patterns[song_.order[0]][0];
    int wanted[2] = {song_.speed, song_.tempo};
    int placed = 0;
    for (Cell& cell : first) {
      if (placed == 2) break;
      if (!cell.has_effect()) {
        cell.effect = 0xF;
        cell.param = wanted[placed++];
      }
    }
    if (placed < 2)
      throw ScoreError(patterns_[song_.order[0]].line,
                       "the first row of the first pattern needs two channels without an effect for speed and tempo");
  }

  Song song_;
  std::map<std::string, Block> blocks_;
  std::vector<PatternDef> patterns_;
  std::vector<std::string> order_words_;
  int order_line_ = 0;
};

}  // namespace

int parse_note(std::string_view text) {
  static constexpr const char* kNames[12] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                             "F#", "G-", "G#", "A-", "A#", "B-"};
  if (text.size() != 3) return -1;
  int octave = text[2] - '1';
  if (octave < 0 || octave > 2) return -1;
  for (int i = 0; i < 12; ++i)
    if (text.substr(0, 2) == kNames[i]) return octave * 12 + i;
  return -1;
}

Song parse_score(std::string_view text) { return Parser().parse(text); }

}  // namespace modcompose
