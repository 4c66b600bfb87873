#include "protracker.h"

#include <algorithm>

namespace modcompose {
namespace {

void put_text(std::vector<uint8_t>& out, const std::string& text, size_t width) {
  for (size_t i = 0; i < width; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

void put_word(std::vector<uint8_t>& out, int value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value & 0xFF));
}

}  // namespace

std::vector<uint8_t> write_module(const Song& song, const std::vector<SampleData>& samples) {
  std::vector<uint8_t> out;
  put_text(out, song.title, 20);
  for (int slot = 0; slot < kSampleSlots; ++slot) {
    if (slot >= static_cast<int>(song.instruments.size())) {
      put_text(out, "", 22);
      put_word(out, 0);
      out.push_back(0);
      out.push_back(0);
      put_word(out, 0);
      put_word(out, 1);  // an empty slot still has the one-word "no loop" length
      continue;
    }
    const Instrument& inst = song.instruments[slot];
    const SampleData& s = samples[slot];
    put_text(out, inst.title, 22);
    put_word(out, static_cast<int>(s.data.size() / 2));
    out.push_back(static_cast<uint8_t>(inst.finetune & 0x0F));
    out.push_back(static_cast<uint8_t>(inst.volume));
    put_word(out, s.loop_length ? s.loop_start / 2 : 0);
    put_word(out, s.loop_length ? s.loop_length / 2 : 1);
  }
  out.push_back(static_cast<uint8_t>(song.order.size()));
  out.push_back(0x7F);  // no restart position: the song wraps to its first position
  for (int i = 0; i < 128; ++i)
    out.push_back(i < static_cast<int>(song.order.size()) ? static_cast<uint8_t>(song.order[i]) : 0);
  put_text(out, "M.K.", 4);

  const int stored = *std::max_element(song.order.begin(), song.order.end()) + 1;
  for (int p = 0; p < stored; ++p) {
    for (const Row& row : song.patterns[p]) {
      for (const Cell& cell : row) {
        const int period = cell.note >= 0 ? note_period(cell.note) : 0;
        out.push_back(static_cast<uint8_t>((cell.sample & 0xF0) | (period >> 8)));
        out.push_back(static_cast<uint8_t>(period & 0xFF));
        out.push_back(static_cast<uint8_t>(((cell.sample & 0x0F) << 4) | cell.effect));
        out.push_back(static_cast<uint8_t>(cell.param));
      }
    }
  }
  for (const SampleData& s : samples)
    for (int8_t v : s.data) out.push_back(static_cast<uint8_t>(v));
  return out;
}

std::vector<uint8_t> compose(std::string_view score) {
  Song song = parse_score(score);
  std::vector<SampleData> samples;
  for (const Instrument& inst : song.instruments) samples.push_back(synthesize(inst));
  return write_module(song, samples);
}

}  // namespace modcompose
