// modrender: plays a module offline through libxmp, to listen to it and to
// measure it.
//
//   modrender MODULE OUT.wav [--passes N] [--mix PERCENT] [--solo CHANNEL]
//       writes N passes of the song (default 1) as 16-bit stereo at 44.1 kHz
//       and prints where each pass begins.
//   modrender MODULE --stats [--mix PERCENT]
//       prints peak, loudness and clipped samples of the whole mix and of
//       each channel alone, and the loudness of the left and right sides.
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;

struct Render {
  std::vector<int16_t> samples;  // interleaved left, right
  std::vector<size_t> pass_starts;  // in frames
};

Render render(const char* path, int passes, int mix, int solo) {
  Render out;
  xmp_context ctx = xmp_create_context();
  if (xmp_load_module(ctx, const_cast<char*>(path)) != 0) {
    std::fprintf(stderr, "modrender: cannot load %s\n", path);
    std::exit(1);
  }
  xmp_start_player(ctx, kRate, 0);
  xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_SPLINE);
  xmp_set_player(ctx, XMP_PLAYER_MIX, mix);
  if (solo >= 0)
    for (int c = 0; c < 4; ++c) xmp_channel_mute(ctx, c, c == solo ? 0 : 1);
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
  }
  xmp_end_player(ctx);
  xmp_release_module(ctx);
  xmp_free_context(ctx);
  return out;
}

void put32(std::ofstream& f, uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); }
void put16(std::ofstream& f, uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); }

void write_wav(const char* path, const std::vector<int16_t>& samples) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  const uint32_t bytes = static_cast<uint32_t>(samples.size() * 2);
  f.write("RIFF", 4);
  put32(f, 36 + bytes);
  f.write("WAVEfmt ", 8);
  put32(f, 16);
  put16(f, 1);
  put16(f, 2);
  put32(f, kRate);
  put32(f, kRate * 4);
  put16(f, 4);
  put16(f, 16);
  f.write("data", 4);
  put32(f, bytes);
  f.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

double db(double v) { return v > 0 ? 20 * std::log10(v / 32768.0) : -999; }

void print_stats(const char* label, const std::vector<int16_t>& s) {
  double peak = 0, sum = 0, side[2] = {0, 0};
  size_t clipped = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    double v = s[i];
    peak = std::max(peak, std::abs(v));
    sum += v * v;
    side[i % 2] += v * v;
    if (s[i] >= 32767 || s[i] <= -32768) ++clipped;
  }
  size_t n = std::max<size_t>(s.size(), 1);
  std::printf("%-10s peak %6.1f dBFS  rms %6.1f dBFS  left %6.1f  right %6.1f  clipped %zu\n", label,
              db(peak), db(std::sqrt(sum / n)), db(std::sqrt(side[0] / (n / 2.0))),
              db(std::sqrt(side[1] / (n / 2.0))), clipped);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: modrender MODULE OUT.wav [--passes N] [--mix PERCENT] [--solo CHANNEL]\n"
                         "       modrender MODULE --stats [--mix PERCENT]\n");
    return 2;
  }
  int passes = 1, mix = 100, solo = -1;
  bool stats = false;
  const char* wav = nullptr;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--stats") {
      stats = true;
    } else if ((a == "--passes" || a == "--mix" || a == "--solo") && i + 1 < argc) {
      int v = std::atoi(argv[++i]);
      (a == "--passes" ? passes : a == "--mix" ? mix : solo) = a == "--solo" ? v - 1 : v;
    } else {
      wav = argv[i];
    }
  }
  if (stats) {
    Render all = render(argv[1], 1, mix, -1);
    std::printf("one pass: %.2f s\n", all.samples.size() / 2.0 / kRate);
    print_stats("mix", all.samples);
    for (int c = 0; c < 4; ++c) {
      std::string label = "channel " + std::to_string(c + 1);
      print_stats(label.c_str(), render(argv[1], 1, mix, c).samples);
    }
    return 0;
  }
  Render r = render(argv[1], passes, mix, solo);
  for (size_t i = 0; i < r.pass_starts.size(); ++i)
    std::printf("pass %zu starts at %.3f s (frame %zu)\n", i + 1, r.pass_starts[i] / double(kRate), r.pass_starts[i]);
  write_wav(wav, r.samples);
  return 0;
}
