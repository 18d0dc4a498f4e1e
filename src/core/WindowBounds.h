// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

namespace qm {

// A window's bounds in screen pixels, taken from the settings file as they
// are.
struct WindowBounds {
  int Top = 0;
  int Left = 0;
  int Height = 0;
  int Width = 0;
  // The main window only: the bounds above are its restored ones.
  bool Maximized = false;
  bool operator==(const WindowBounds&) const = default;
};

inline constexpr WindowBounds kMainWindowDefaultBounds{100, 100, 350, 450};
inline constexpr WindowBounds kKickListDefaultBounds{202, 245, 291, 333};

}  // namespace qm
