// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// Writes the built-in alarm: a siren that rises and falls twice, as a PCM
// wave file (mono, 22050 samples per second, 8 bits unsigned, 59165 sample
// bytes, about 2.7 seconds). Usage: sirengen OUTPUT.wav
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kSampleRate = 22050;
constexpr std::uint32_t kSampleCount = 59165;
constexpr int kSweeps = 2;              // up-and-down cycles over the whole sound
constexpr double kLowHz = 620.0;        // bottom of the sweep
constexpr double kHighHz = 1480.0;      // top of the sweep
constexpr double kFadeSeconds = 0.012;  // no click at either end

std::vector<std::uint8_t> Synthesise() {
  std::vector<std::uint8_t> out(kSampleCount);
  const double total = static_cast<double>(kSampleCount) / kSampleRate;
  const double fadeSamples = kFadeSeconds * kSampleRate;
  double phase = 0.0;
  for (std::uint32_t i = 0; i < kSampleCount; ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    // Triangle of the sweep position: 0 at the start of a cycle, 1 halfway.
    const double cycle = std::fmod(t * kSweeps / total, 1.0);
    const double up = cycle < 0.5 ? cycle * 2.0 : 2.0 - cycle * 2.0;
    // Eased, so the pitch lingers a little at the top and bottom like a
    // mechanical siren.
    const double eased = 0.5 - 0.5 * std::cos(up * std::numbers::pi);
    const double hz = kLowHz + (kHighHz - kLowHz) * eased;
    phase += 2.0 * std::numbers::pi * hz / kSampleRate;
    if (phase > 2.0 * std::numbers::pi) phase -= 2.0 * std::numbers::pi;
    // A sine with some third harmonic: harsher than a pure tone, still clean
    // at 8 bits. Its peak is 0.7128, so it is scaled up to fill the range.
    double s = (0.8 * std::sin(phase) + 0.2 * std::sin(3.0 * phase)) / 0.7128;
    double gain = 1.0;
    if (i < fadeSamples) gain = i / fadeSamples;
    if (kSampleCount - 1 - i < fadeSamples) gain = (kSampleCount - 1 - i) / fadeSamples;
    s *= 0.92 * gain;
    const long v = std::lround(128.0 + 127.0 * s);
    out[i] = static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
  }
  return out;
}

void Put16(std::string& b, std::uint16_t v) {
  b += static_cast<char>(v & 0xFF);
  b += static_cast<char>(v >> 8);
}

void Put32(std::string& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// RIFF chunks are padded to an even size; the pad byte is not a sample and
// is not counted in the data chunk's size.
std::string WaveFile(const std::vector<std::uint8_t>& samples) {
  const auto dataSize = static_cast<std::uint32_t>(samples.size());
  const std::uint32_t pad = dataSize % 2;
  std::string b;
  b += "RIFF";
  Put32(b, 4 + (8 + 16) + (8 + dataSize + pad));
  b += "WAVE";
  b += "fmt ";
  Put32(b, 16);
  Put16(b, 1);  // PCM
  Put16(b, 1);  // mono
  Put32(b, kSampleRate);
  Put32(b, kSampleRate);  // bytes per second
  Put16(b, 1);            // block align
  Put16(b, 8);            // bits per sample
  b += "data";
  Put32(b, dataSize);
  b.append(samples.begin(), samples.end());
  if (pad) b += '\0';
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sirengen OUTPUT.wav\n");
    return 2;
  }
  const std::string wave = WaveFile(Synthesise());
  std::ofstream f(argv[1], std::ios::binary | std::ios::trunc);
  f.write(wave.data(), static_cast<std::streamsize>(wave.size()));
  f.close();
  if (!f) {
    std::fprintf(stderr, "sirengen: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
