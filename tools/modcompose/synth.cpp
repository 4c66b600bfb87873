#include "synth.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <set>

namespace modcompose {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kPalClock = 7093789.2;  // the Amiga's clock; Paula steps once per period / (clock / 2)

constexpr int kPeriods[kNoteCount] = {
    856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,  // octave 1
    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,  // octave 2
    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113,  // octave 3
};

// Reads an instrument's parameters and remembers which ones were read, so that
// a misspelt parameter is an error instead of being silently ignored.
class Params {
 public:
  explicit Params(const Instrument& inst) : inst_(inst) {}

  bool has(const std::string& key) {
    used_.insert(key);
    return inst_.params.count(key) != 0;
  }

  int line(const std::string& key) const {
    auto it = inst_.params.find(key);
    return it == inst_.params.end() ? inst_.line : it->second.line;
  }

  std::string word(const std::string& key, size_t index, const std::string& fallback) {
    used_.insert(key);
    auto it = inst_.params.find(key);
    if (it == inst_.params.end() || index >= it->second.values.size()) return fallback;
    return it->second.values[index];
  }

  double number(const std::string& key, size_t index, double lo, double hi,
                std::optional<double> fallback = std::nullopt) {
    used_.insert(key);
    auto it = inst_.params.find(key);
    if (it == inst_.params.end() || index >= it->second.values.size()) {
      if (fallback) return *fallback;
      throw ScoreError(line(key), "instrument '" + inst_.id + "' needs '" + key + "'" +
                                      (index ? " with " + std::to_string(index + 1) + " values" : ""));
    }
    const std::string& s = it->second.values[index];
    size_t used = 0;
    double value = 0;
    try {
      value = std::stod(s, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != s.size()) throw ScoreError(line(key), "'" + key + "': '" + s + "' is not a number");
    if (value < lo || value > hi)
      throw ScoreError(line(key), "'" + key + "': " + s + " is outside " + std::to_string(lo) + ".." +
                                      std::to_string(hi));
    return value;
  }

  size_t count(const std::string& key) {
    used_.insert(key);
    auto it = inst_.params.find(key);
    return it == inst_.params.end() ? 0 : it->second.values.size();
  }

  void check_all_used() const {
    for (const auto& [key, param] : inst_.params)
      if (!used_.count(key))
        throw ScoreError(param.line, "instrument '" + inst_.id + "' (" + inst_.synth +
                                         ") has no parameter '" + key + "'");
  }

 private:
  const Instrument& inst_;
  std::set<std::string> used_;
};

// A second-order filter after the well-known audio cookbook formulas.
class Biquad {
 public:
  static Biquad lowpass(double freq, double rate, double q) { return make(freq, rate, q, false); }
  static Biquad highpass(double freq, double rate, double q) { return make(freq, rate, q, true); }

  double process(double x) {
    double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
    x2_ = x1_;
    x1_ = x;
    y2_ = y1_;
    y1_ = y;
    return y;
  }

 private:
  static Biquad make(double freq, double rate, double q, bool high) {
    Biquad f;
    double w = 2 * kPi * std::min(freq, rate * 0.49) / rate;
    double alpha = std::sin(w) / (2 * q), c = std::cos(w);
    double a0 = 1 + alpha;
    if (high) {
      f.b0_ = (1 + c) / 2 / a0;
      f.b1_ = -(1 + c) / a0;
    } else {
      f.b0_ = (1 - c) / 2 / a0;
      f.b1_ = (1 - c) / a0;
    }
    f.b2_ = f.b0_;
    f.a1_ = -2 * c / a0;
    f.a2_ = (1 - alpha) / a0;
    return f;
  }
  double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
  double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// A small deterministic noise source, so the same score always gives the same bytes.
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed ? seed : 1) {}
  double next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<double>(state_) / 2147483648.0 - 1.0;
  }

 private:
  uint32_t state_;
};

int length_of(Params& p) {
  double length = p.number("length", 0, 4, 65534 * 2);
  if (static_cast<int>(length) != length || static_cast<int>(length) % 2)
    throw ScoreError(p.line("length"), "length must be a whole, even number of bytes");
  return static_cast<int>(length);
}

// Scales to the full 8-bit range and fades the very end of a one-shot sample,
// so that neither a quiet sample wastes resolution nor a cut-off one clicks.
std::vector<int8_t> quantize(std::vector<double> wave, double peak, bool looped) {
  if (!looped) {
    size_t fade = std::min<size_t>(wave.size() / 8, 64);
    for (size_t i = 0; i < fade; ++i) wave[wave.size() - 1 - i] *= static_cast<double>(i) / fade;
  }
  double max = 0;
  for (double v : wave) max = std::max(max, std::abs(v));
  double gain = max > 0 ? 127.0 * peak / max : 0;
  std::vector<int8_t> out(wave.size());
  for (size_t i = 0; i < wave.size(); ++i)
    out[i] = static_cast<int8_t>(std::clamp(std::lround(wave[i] * gain), -127L, 127L));
  // A player that keeps repeating the first word after a one-shot sample has
  // ended (as the Amiga's Paula does) then plays silence.
  if (!looped) out[0] = out[1] = 0;
  return out;
}

// Band-limited periodic waves built from harmonics, optionally several tones
// in whole-number ratios (a chord) sharing one cycle. The brightness is a
// resonant low-pass response applied to each harmonic's amplitude, swept over
// time. Because every harmonic repeats exactly within the cycle and all
// parameters freeze at the loop start, the loop repeats without a seam.
SampleData additive(const Instrument& inst) {
  Params p(inst);
  const int length = length_of(p);
  const int cycle = static_cast<int>(p.number("cycle", 0, 2, 4096));
  SampleData out;
  if (p.has("loop")) {
    out.loop_start = static_cast<int>(p.number("loop", 0, 0, length));
    out.loop_length = static_cast<int>(p.number("loop", 1, 2, length));
    if (out.loop_start % cycle || out.loop_length % cycle)
      throw ScoreError(p.line("loop"), "loop start and length must be whole cycles of " + std::to_string(cycle));
    if (out.loop_start + out.loop_length != length)
      throw ScoreError(p.line("loop"), "the loop must end where the sample ends");
  }
  const bool looped = out.loop_length > 0;

  const std::string wave = p.word("wave", 0, "saw");
  const double width = p.number("width", 0, 0.01, 0.99, 0.5);
  std::vector<int> ratios;
  for (size_t i = 0, n = std::max<size_t>(p.count("partials"), 1); i < n; ++i)
    ratios.push_back(static_cast<int>(p.number("partials", i, 1, 64, 1.0)));
  std::vector<double> levels;
  for (size_t i = 0; i < ratios.size(); ++i) levels.push_back(p.number("levels", i, 0, 4, 1.0));
  const int root = ratios[0];

  struct Harmonic {
    int index;       // repeats per cycle
    double amp, phase;
    double relative;  // frequency relative to the root tone
  };
  std::vector<Harmonic> harmonics;
  for (size_t j = 0; j < ratios.size(); ++j) {
    for (int k = 1; k * ratios[j] < cycle / 2; ++k) {
      double amp = 0, phase = 0;
      if (wave == "saw") {
        amp = 1.0 / k;
      } else if (wave == "square") {
        amp = k % 2 ? 1.0 / k : 0;
      } else if (wave == "triangle") {
        amp = k % 2 ? 1.0 / (k * k) : 0;
        phase = (k / 2) % 2 ? kPi : 0;
      } else if (wave == "sine") {
        amp = k == 1 ? 1.0 : 0;
      } else if (wave == "pulse") {
        amp = std::sin(kPi * k * width) / k;
        phase = kPi / 2;
      } else {
        throw ScoreError(p.line("wave"), "unknown wave '" + wave + "'");
      }
      if (amp != 0)
        harmonics.push_back({k * ratios[j], amp * levels[j], phase,
                             static_cast<double>(k * ratios[j]) / root});
    }
  }
  const bool filtered = p.has("cutoff");
  const double cut0 = p.number("cutoff", 0, 0.1, 1000, 1000.0);
  const double cut1 = p.number("cutoff", 1, 0.1, 1000, cut0);
  const double cut_time = p.number("cutoff", 2, 0, 1e6, 0.0);
  const double q = p.number("resonance", 0, 0.3, 20, 0.707);
  const double attack = p.number("attack", 0, 0, length, 0.0);
  const double decay = p.number("decay", 0, 0, 1e6, 0.0);
  const double sustain = p.number("sustain", 0, 0, 1, decay > 0 ? 0.0 : 1.0);
  const double peak = p.number("peak", 0, 0.05, 1, 1.0);
  p.check_all_used();

  std::vector<double> samples(length);
  std::vector<double> weights(harmonics.size(), 1.0);
  double weights_at = -1;
  for (int i = 0; i < length; ++i) {
    const double t = looped ? std::min(i, out.loop_start) : i;
    if (t != weights_at && filtered) {
      double fc = cut_time > 0 ? cut1 + (cut0 - cut1) * std::exp(-t / cut_time) : cut0;
      for (size_t h = 0; h < harmonics.size(); ++h) {
        double x = harmonics[h].relative / fc;
        weights[h] = 1.0 / std::sqrt((1 - x * x) * (1 - x * x) + (x / q) * (x / q));
      }
      weights_at = t;
    }
    double env = 1;
    if (attack > 0 && t < attack) {
      env = t / attack;
    } else if (decay > 0) {
      env = sustain + (1 - sustain) * std::exp(-(t - attack) / decay);
    }
    double sum = 0;
    for (size_t h = 0; h < harmonics.size(); ++h) {
      double angle = 2 * kPi * static_cast<double>((static_cast<long>(harmonics[h].index) * i) % cycle) / cycle;
      sum += weights[h] * harmonics[h].amp * std::sin(angle + harmonics[h].phase);
    }
    samples[i] = env * sum;
  }
  out.data = quantize(std::move(samples), peak, looped);
  return out;
}

// Percussion: a pitch-swept tone, filtered noise, a click and a metallic
// cluster of square waves, each with its own exponential decay, designed for
// the rate of the note it is played at.
SampleData drum(const Instrument& inst) {
  Params p(inst);
  const int length = length_of(p);
  const std::string rate_note = p.word("rate", 0, "C-3");
  const int note = parse_note(rate_note);
  if (note < 0) throw ScoreError(p.line("rate"), "bad note '" + rate_note + "'");
  const double rate = note_rate(note);

  const double tone_level = p.number("tone", 0, 0, 4, 0.0);
  const double f0 = p.number("tone", 1, 10, 10000, 100.0);
  const double f1 = p.number("tone", 2, 10, 10000, f0);
  const double sweep = p.number("tone", 3, 0, 10, 0.0);
  const double tone_decay = p.number("tonedecay", 0, 0.001, 10, 0.2);
  const double noise_level = p.number("noise", 0, 0, 4, 0.0);
  const double noise_decay = p.number("noise", 1, 0.001, 10, 0.1);
  const double hp = p.number("highpass", 0, 0, 20000, 0.0);
  const double lp = p.number("lowpass", 0, 0, 20000, 0.0);
  const double click = p.number("click", 0, 0, 4, 0.0);
  const double metal_level = p.number("metal", 0, 0, 4, 0.0);
  const double metal_decay = p.number("metal", 1, 0.001, 10, 0.05);
  const double drive = p.number("drive", 0, 1, 20, 1.0);
  const double peak = p.number("peak", 0, 0.05, 1, 1.0);
  const uint32_t seed = static_cast<uint32_t>(p.number("seed", 0, 0, 1e9, 1.0));
  p.check_all_used();

  Noise noise(seed);
  Biquad high = Biquad::highpass(std::max(hp, 1.0), rate, 0.707);
  Biquad low = Biquad::lowpass(lp > 0 ? lp : rate, rate, 0.707);
  // The classic analogue hi-hat's six detuned square oscillators.
  static constexpr double kMetal[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
  double metal_phase[6] = {0, 0, 0, 0, 0, 0};
  Biquad metal_high = Biquad::highpass(std::max(hp, 1.0), rate, 0.707);
  double phase = 0;
  std::vector<double> samples(length);
  for (int i = 0; i < length; ++i) {
    const double t = i / rate;
    double f = sweep > 0 ? f1 + (f0 - f1) * std::exp(-t / sweep) : f0;
    phase += 2 * kPi * f / rate;
    double s = tone_level * std::sin(phase) * std::exp(-t / tone_decay);
    double n = noise.next();
    double shaped = n;
    if (hp > 0) shaped = high.process(shaped);
    if (lp > 0) shaped = low.process(shaped);
    s += noise_level * shaped * std::exp(-t / noise_decay);
    s += click * n * std::exp(-t / 0.0015);
    if (metal_level > 0) {
      double m = 0;
      for (int k = 0; k < 6; ++k) {
        metal_phase[k] += kMetal[k] * 2.5 / rate;
        m += metal_phase[k] - std::floor(metal_phase[k]) < 0.5 ? 1 : -1;
      }
      if (hp > 0) m = metal_high.process(m);
      s += metal_level * m / 6 * std::exp(-t / metal_decay);
    }
    if (drive > 1) s = std::tanh(drive * s) / std::tanh(drive);
    samples[i] = s;
  }
  SampleData out;
  out.data = quantize(std::move(samples), peak, false);
  return out;
}

}  // namespace

int note_period(int note) { return kPeriods[note]; }

double note_rate(int note) { return kPalClock / (2.0 * kPeriods[note]); }

SampleData synthesize(const Instrument& instrument) {
  if (instrument.synth == "additive") return additive(instrument);
  if (instrument.synth == "drum") return drum(instrument);
  throw ScoreError(instrument.line, "instrument '" + instrument.id + "' needs 'synth additive' or 'synth drum'");
}

}  // namespace modcompose
