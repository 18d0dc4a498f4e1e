// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/TextIndex.h"

#include <random>

namespace qm {

namespace {

// Drawn once per run, so that nobody who writes a list can choose texts
// that all land in one slot.
std::uint64_t Seed() {
  static const std::uint64_t seed = [] {
    std::random_device device;
    return (std::uint64_t{device()} << 32) ^ device();
  }();
  return seed;
}

std::uint64_t Mix(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ull;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

}  // namespace

std::size_t TextIndex::Hash(std::string_view text) const {
  std::uint64_t h = Seed() ^ text.size();
  for (const char c : text) {
    const bool lower = ignoreCase_ && c >= 'a' && c <= 'z';
    const auto u = static_cast<unsigned char>(lower ? c - 'a' + 'A' : c);
    h = Mix(h ^ u);
  }
  return static_cast<std::size_t>(Mix(h));
}

}  // namespace qm
