// Checks of the committed module: the bytes the intro carries, and how the
// music plays through libxmp, the decoder the player library uses.
#include <gtest/gtest.h>
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr size_t kModuleSize = 45796;
constexpr int kPositions = 29;
constexpr int kPatterns = 26;
constexpr size_t kSampleBytes = 18088;
constexpr size_t kHeader = 1084;
constexpr size_t kPatternBytes = 1024;

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int word(const std::vector<uint8_t>& m, size_t at) { return m[at] << 8 | m[at + 1]; }

struct SampleHeader {
  int length, finetune, volume, loop_start, loop_length;  // lengths in bytes
};

SampleHeader sample_header(const std::vector<uint8_t>& m, int slot) {
  size_t at = 20 + 30 * slot + 22;
  return {word(m, at) * 2, m[at + 2], m[at + 3], word(m, at + 4) * 2, word(m, at + 6) * 2};
}

struct Note {
  int sample, period, effect, param;
};

Note cell(const std::vector<uint8_t>& m, int pattern, int row, int channel) {
  size_t at = kHeader + pattern * kPatternBytes + (row * 4 + channel) * 4;
  return {(m[at] & 0xF0) | m[at + 2] >> 4, (m[at] & 0x0F) << 8 | m[at + 1], m[at + 2] & 0x0F, m[at + 3]};
}

class ModuleFile : public ::testing::Test {
 protected:
  void SetUp() override {
    module = read_file(KORVANE_MODULE);
    ASSERT_EQ(module.size(), kModuleSize);
  }
  std::vector<uint8_t> module;
};

TEST_F(ModuleFile, HeaderDescribesTheLayout) {
  EXPECT_EQ(std::string(module.begin() + 1080, module.begin() + 1084), "M.K.");
  EXPECT_EQ(module[950], kPositions);
  int highest = 0;
  for (int i = 0; i < 128; ++i) {
    if (i >= kPositions) EXPECT_EQ(module[952 + i], 0) << "order entry " << i << " past the song's end";
    highest = std::max<int>(highest, module[952 + i]);
  }
  EXPECT_EQ(highest, kPatterns - 1);
  // Every stored pattern is played somewhere: nothing in the file is dead weight.
  std::set<int> played(module.begin() + 952, module.begin() + 952 + kPositions);
  EXPECT_EQ(played.size(), static_cast<size_t>(kPatterns));

  size_t sample_bytes = 0;
  for (int slot = 0; slot < 31; ++slot) {
    SampleHeader s = sample_header(module, slot);
    SCOPED_TRACE("sample slot " + std::to_string(slot + 1));
    sample_bytes += s.length;
    EXPECT_LE(s.volume, 64);
    EXPECT_LE(s.finetune, 15);
    if (s.length == 0) {
      EXPECT_EQ(s.loop_length, 2) << "an empty slot keeps the one-word no-loop length";
      continue;
    }
    EXPECT_TRUE(s.loop_length == 2 && s.loop_start == 0 || s.loop_length > 2);
    EXPECT_LE(s.loop_start + s.loop_length, s.length);
  }
  EXPECT_EQ(sample_bytes, kSampleBytes);
  EXPECT_EQ(kHeader + kPatterns * kPatternBytes + sample_bytes, module.size());
}

TEST_F(ModuleFile, FirstRowSetsSpeedAndTempo) {
  const int first = module[952];
  int speed = 0, tempo = 0;
  for (int ch = 0; ch < 4; ++ch) {
    Note n = cell(module, first, 0, ch);
    if (n.effect != 0xF) continue;
    if (n.param > 0 && n.param < 0x20) speed = n.param;
    if (n.param >= 0x20) tempo = n.param;
  }
  EXPECT_GT(speed, 0) << "no Fxx below 20h on the first row";
  EXPECT_GT(tempo, 0) << "no Fxx from 20h up on the first row";
}

// Every note must be one of the 36 ProTracker periods and name a sample that
// has data; a transposition gone wrong in the composer shows up here.
TEST_F(ModuleFile, EveryNoteIsPlayable) {
  const std::set<int> periods = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                 428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
  int notes = 0;
  for (int p = 0; p < kPatterns; ++p)
    for (int r = 0; r < 64; ++r)
      for (int ch = 0; ch < 4; ++ch) {
        Note n = cell(module, p, r, ch);
        SCOPED_TRACE("pattern " + std::to_string(p) + " row " + std::to_string(r) + " channel " +
                     std::to_string(ch + 1));
        if (n.period) {
          ++notes;
          EXPECT_TRUE(periods.count(n.period)) << "period " << n.period;
          ASSERT_GE(n.sample, 1);
          ASSERT_LE(n.sample, 31);
          EXPECT_GT(sample_header(module, n.sample - 1).length, 0);
        } else {
          EXPECT_EQ(n.sample, 0) << "a sample number without a note";
        }
        // Fxx may only sit where it is meant to: a stray one changes the pace.
        if (n.effect == 0xF) EXPECT_EQ(p, module[952]) << "speed/tempo change inside the song";
      }
  EXPECT_GT(notes, 1000);
}

// A looped sample must wrap without a step: the jump from its last byte back
// to the loop start is no larger than the largest step inside the loop.
TEST_F(ModuleFile, LoopsJoinWithoutAStep) {
  size_t offset = kHeader + kPatterns * kPatternBytes;
  int looped = 0;
  for (int slot = 0; slot < 31; ++slot) {
    SampleHeader s = sample_header(module, slot);
    auto at = [&](int i) { return static_cast<int>(static_cast<int8_t>(module[offset + i])); };
    if (s.loop_length > 2) {
      ++looped;
      int largest = 0;
      for (int i = s.loop_start + 1; i < s.loop_start + s.loop_length; ++i)
        largest = std::max(largest, std::abs(at(i) - at(i - 1)));
      int wrap = std::abs(at(s.loop_start) - at(s.loop_start + s.loop_length - 1));
      EXPECT_LE(wrap, largest) << "sample slot " << slot + 1;
    } else if (s.length > 0) {
      // A one-shot sample starts on silence, for players that repeat its first word.
      EXPECT_EQ(at(0), 0) << "sample slot " << slot + 1;
      EXPECT_EQ(at(1), 0) << "sample slot " << slot + 1;
    }
    offset += s.length;
  }
  EXPECT_GE(looped, 3);
}

struct Rendered {
  std::vector<int16_t> samples;  // interleaved stereo
  std::vector<size_t> pass_starts;  // in stereo frames
  int channels = 0, instruments = 0;
};

constexpr int kRate = 44100;

Rendered render(int passes) {
  Rendered out;
  xmp_context ctx = xmp_create_context();
  std::vector<uint8_t> bytes = read_file(KORVANE_MODULE);
  if (xmp_load_module_from_memory(ctx, bytes.data(), static_cast<long>(bytes.size())) != 0) {
    xmp_free_context(ctx);
    return out;
  }
  xmp_module_info info;
  xmp_get_module_info(ctx, &info);
  out.channels = info.mod->chn;
  out.instruments = info.mod->ins;
  xmp_start_player(ctx, kRate, 0);
  xmp_frame_info fi;
  int loops = 0;
  out.pass_starts.push_back(0);
  while (xmp_play_frame(ctx) == 0) {
    xmp_get_frame_info(ctx, &fi);
    if (fi.loop_count > loops) {
      loops = fi.loop_count;
      if (loops >= passes) break;
      out.pass_starts.push_back(out.samples.size() / 2);
    }
    const auto* data = static_cast<const int16_t*>(fi.buffer);
    out.samples.insert(out.samples.end(), data, data + fi.buffer_size / 2);
    if (out.samples.size() > static_cast<size_t>(kRate) * 2 * 600 * passes) break;  // runaway guard
  }
  xmp_end_player(ctx);
  xmp_release_module(ctx);
  xmp_free_context(ctx);
  return out;
}

class ModulePlayback : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { two_passes = new Rendered(render(2)); }
  static void TearDownTestSuite() {
    delete two_passes;
    two_passes = nullptr;
  }
  static Rendered* two_passes;
};
Rendered* ModulePlayback::two_passes = nullptr;

TEST_F(ModulePlayback, LoadsAsFourChannelsAndLastsThreeToFourMinutes) {
  const Rendered& r = *two_passes;
  ASSERT_EQ(r.channels, 4);
  EXPECT_EQ(r.instruments, 31);
  ASSERT_EQ(r.pass_starts.size(), 2u) << "the song never wrapped";
  const double pass = r.pass_starts[1] / static_cast<double>(kRate);
  EXPECT_GE(pass, 180.0);
  EXPECT_LE(pass, 240.0);
}

// The second pass must sound like the first: same pace, no voice left ringing
// from the end of the song. Only the first moments may differ, where the
// player ramps out what was playing at the wrap.
TEST_F(ModulePlayback, SecondPassSoundsLikeTheFirst) {
  const Rendered& r = *two_passes;
  ASSERT_EQ(r.pass_starts.size(), 2u);
  const size_t second = r.pass_starts[1];
  const size_t length = std::min<size_t>(r.samples.size() / 2 - second, second);
  ASSERT_GT(length, static_cast<size_t>(kRate) * 30);
  const size_t settle = kRate / 20;
  int worst = 0;
  size_t worst_at = 0;
  for (size_t f = settle; f < length; ++f)
    for (int c = 0; c < 2; ++c) {
      int d = std::abs(r.samples[2 * f + c] - r.samples[2 * (second + f) + c]);
      if (d > worst) {
        worst = d;
        worst_at = f;
      }
    }
  EXPECT_LE(worst, 1) << "passes differ by " << worst << " at " << worst_at / double(kRate) << " s";
}

// At the wrap the sound goes on: no gap of silence and no click, measured as
// the largest sample-to-sample step around the seam against the song's own
// steps elsewhere.
TEST_F(ModulePlayback, WrapHasNoGapOrClick) {
  const Rendered& r = *two_passes;
  ASSERT_EQ(r.pass_starts.size(), 2u);
  const size_t seam = r.pass_starts[1];
  auto rms = [&](size_t from, size_t frames) {
    double sum = 0;
    for (size_t f = from; f < from + frames; ++f)
      for (int c = 0; c < 2; ++c) sum += double(r.samples[2 * f + c]) * r.samples[2 * f + c];
    return std::sqrt(sum / (2.0 * frames));
  };
  const size_t window = kRate / 10;
  const double overall = rms(0, seam);
  EXPECT_GT(rms(seam - window, window), overall / 8) << "the song fades out before the wrap";
  EXPECT_GT(rms(seam, window), overall / 8) << "silence after the wrap";

  auto largest_step = [&](size_t from, size_t to) {
    int largest = 0;
    for (size_t f = from + 1; f < to; ++f)
      for (int c = 0; c < 2; ++c) largest = std::max(largest, std::abs(r.samples[2 * f + c] - r.samples[2 * (f - 1) + c]));
    return largest;
  };
  EXPECT_LE(largest_step(seam - 64, seam + 64), largest_step(0, seam));
}

TEST_F(ModulePlayback, MixNeverClipsAndSidesAreBalanced) {
  const Rendered& r = *two_passes;
  ASSERT_EQ(r.pass_starts.size(), 2u);
  const size_t frames = r.pass_starts[1];
  size_t clipped = 0;
  double side[2] = {0, 0};
  for (size_t f = 0; f < frames; ++f)
    for (int c = 0; c < 2; ++c) {
      int16_t v = r.samples[2 * f + c];
      if (v >= 32767 || v <= -32767) ++clipped;
      side[c] += double(v) * v;
    }
  EXPECT_EQ(clipped, 0u);
  const double balance = 10 * std::log10(side[0] / side[1]);
  EXPECT_LT(std::abs(balance), 1.5) << "left is " << balance << " dB louder than right";
  EXPECT_GT(std::sqrt(side[0] / frames), 32768 * 0.05) << "the music is very quiet";
}

TEST(ComposerOutput, ReproducesTheCommittedModule) {
  const auto out = std::filesystem::temp_directory_path() /
                   ("music_test_" + std::to_string(::getpid()) + ".mod");
  const std::string command =
      std::string("\"") + KORVANE_MODCOMPOSE + "\" \"" + KORVANE_SCORE + "\" \"" + out.string() + "\"";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::vector<uint8_t> made = read_file(out.string());
  std::filesystem::remove(out);
  const std::vector<uint8_t> committed = read_file(KORVANE_MODULE);
  ASSERT_EQ(made.size(), committed.size());
  auto diff = std::mismatch(made.begin(), made.end(), committed.begin());
  EXPECT_TRUE(diff.first == made.end()) << "first difference at byte " << (diff.first - made.begin())
                                        << ": regenerate assets/Module.MOD from tools/modcompose/score.txt";
}

}  // namespace
