// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/ReadableColour.h"

#include <algorithm>
#include <cmath>

namespace qm {

namespace {
double Luminance(const QColor& colour) {
  auto channel = [](double c) {
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  const QColor rgb = colour.toRgb();
  return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) +
         0.0722 * channel(rgb.blueF());
}
}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& wanted, const QColor& background, double minimum) {
  if (ContrastRatio(wanted, background) >= minimum) return wanted;
  const bool darkBackground = Luminance(background) < 0.18;
  // The hue stays; only the lightness moves, in small steps, to the first
  // one that reads. White or black, the far ends, read on any background
  // that needs them.
  const QColor hsl = wanted.toHsl();
  for (int step = 1; step <= 50; ++step) {
    const double l = darkBackground ? hsl.lightnessF() + (1.0 - hsl.lightnessF()) * step / 50.0
                                    : hsl.lightnessF() * (50 - step) / 50.0;
    const QColor candidate = QColor::fromHslF(hsl.hslHueF(), hsl.hslSaturationF(), l);
    if (ContrastRatio(candidate, background) >= minimum) return candidate.toRgb();
  }
  return darkBackground ? QColor(Qt::white) : QColor(Qt::black);
}

}  // namespace qm
