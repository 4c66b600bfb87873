// Assembles small four-channel ProTracker ("M.K.") modules in code, so that
// the player's tests and benchmark work on fixtures whose every byte is
// visible here rather than on opaque binaries.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace modbuild {

// Amiga periods of octave 1..3 (C-1 .. B-3), finetune 0.
inline constexpr std::array<uint16_t, 36> kPeriods = {
    856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

struct Cell {
    uint8_t sample = 0;   // 1..31, 0 = none
    uint16_t period = 0;  // 0 = no note
    uint8_t effect = 0;
    uint8_t param = 0;
};

struct Sample {
    std::string name;
    std::vector<int8_t> data;  // even length
    uint8_t volume = 64;
    uint32_t loop_start = 0;   // bytes, even
    uint32_t loop_length = 0;  // bytes, even; 0 or 2 = no loop
};

using Pattern = std::array<std::array<Cell, 4>, 64>;  // [row][channel]

struct Module {
    std::string name;
    std::vector<Sample> samples;  // up to 31
    std::vector<Pattern> patterns;
    std::vector<uint8_t> orders;  // song positions

    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out;
        auto put16 = [&](uint32_t v) {
            out.push_back(static_cast<uint8_t>(v >> 8));
            out.push_back(static_cast<uint8_t>(v));
        };
        auto put_name = [&](const std::string& s, size_t n) {
            for (size_t i = 0; i < n; ++i) out.push_back(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
        };
        put_name(name, 20);
        for (size_t i = 0; i < 31; ++i) {
            Sample s = i < samples.size() ? samples[i] : Sample{};
            if (i >= samples.size()) s.volume = 0;
            put_name(s.name, 22);
            put16(static_cast<uint32_t>(s.data.size() / 2));
            out.push_back(0);  // finetune
            out.push_back(s.volume);
            put16(s.loop_start / 2);
            put16(s.loop_length > 2 ? s.loop_length / 2 : 1);
        }
        out.push_back(static_cast<uint8_t>(orders.size()));
        out.push_back(127);
        for (size_t i = 0; i < 128; ++i) out.push_back(i < orders.size() ? orders[i] : 0);
        for (char c : std::string("M.K.")) out.push_back(static_cast<uint8_t>(c));
        for (const Pattern& p : patterns) {
            for (const auto& row : p) {
                for (const Cell& c : row) {
                    out.push_back(static_cast<uint8_t>((c.sample & 0xF0) | ((c.period >> 8) & 0x0F)));
                    out.push_back(static_cast<uint8_t>(c.period));
                    out.push_back(static_cast<uint8_t>(((c.sample & 0x0F) << 4) | (c.effect & 0x0F)));
                    out.push_back(c.param);
                }
            }
        }
        for (const Sample& s : samples)
            for (int8_t v : s.data) out.push_back(static_cast<uint8_t>(v));
        return out;
    }
};

inline std::vector<int8_t> square_wave(int period_bytes, int amplitude) {
    std::vector<int8_t> d(static_cast<size_t>(period_bytes));
    for (int i = 0; i < period_bytes; ++i)
        d[static_cast<size_t>(i)] = static_cast<int8_t>(i < period_bytes / 2 ? amplitude : -amplitude);
    return d;
}

inline std::vector<int8_t> saw_wave(int period_bytes, int amplitude) {
    std::vector<int8_t> d(static_cast<size_t>(period_bytes));
    for (int i = 0; i < period_bytes; ++i)
        d[static_cast<size_t>(i)] = static_cast<int8_t>(-amplitude + (2 * amplitude * i) / period_bytes);
    return d;
}

// A decaying noise burst: a deterministic linear congruential generator.
inline std::vector<int8_t> noise_hit(int length, uint32_t seed) {
    std::vector<int8_t> d(static_cast<size_t>(length));
    uint32_t x = seed;
    for (int i = 0; i < length; ++i) {
        x = x * 1664525u + 1013904223u;
        double env = std::exp(-4.0 * i / length);
        d[static_cast<size_t>(i)] = static_cast<int8_t>(static_cast<int8_t>(x >> 24) * env);
    }
    return d;
}

// The fixture most tests use: two song positions over two patterns that each
// end at row 16 with a pattern break, speed 3 and tempo 125 set on the first
// row (so every pass starts in the same state), a looped square lead, a saw
// bass, a noise drum and an arpeggio voice. Every note is cut on the last row
// so that a loop restarts from silence. One pass lasts 32 rows x 3 ticks x
// 20 ms = 1.92 s.
inline Module test_module(const std::string& name = "korvane test") {
    Module m;
    m.name = name;
    Sample lead{"lead", square_wave(32, 60), 48, 0, 32};
    Sample bass{"bass", saw_wave(64, 70), 56, 0, 64};
    Sample drum{"drum", noise_hit(2400, 7), 64, 0, 0};
    Sample arp{"arp", square_wave(16, 40), 40, 0, 16};
    m.samples = {lead, bass, drum, arp};
    for (int p = 0; p < 2; ++p) {
        Pattern pat{};
        for (int r = 0; r < 16; ++r) {
            if (r % 2 == 0) pat[r][0] = {1, kPeriods[12 + (r / 2 + p * 3) % 12], 0, 0};
            if (r % 4 == 0) pat[r][1] = {2, kPeriods[(p * 5 + r / 4 * 7) % 12], 0, 0};
            if (r % 4 == 2) pat[r][2] = {3, kPeriods[24], 0, 0};
            if (r % 8 == 0) pat[r][3] = {4, kPeriods[19 + p * 2], 0x0, 0x47};
            else pat[r][3].param = 0x47;  // keep the arpeggio running
        }
        // Speed and tempo on the first row of every pattern.
        pat[0][2].effect = 0xF;
        pat[0][2].param = 3;
        pat[1][2].effect = 0xF;
        pat[1][2].param = 125;
        // Cut every voice on the last row, then break to the next position.
        for (int c = 0; c < 4; ++c) pat[15][c] = {0, 0, 0xC, 0};
        pat[15][0] = {0, 0, 0xD, 0};
        pat[14][0].effect = 0xC;
        pat[14][0].param = 0;
        m.patterns.push_back(pat);
    }
    m.orders = {0, 1};
    return m;
}

}  // namespace modbuild
