#pragma once

namespace qm {

// A window's bounds in screen pixels, taken from the settings file as they
// are.
struct WindowBounds {
  int Top = 0;
  int Left = 0;
  int Height = 0;
  int Width = 0;
  bool operator==(const WindowBounds&) const = default;
};

inline constexpr WindowBounds kMainWindowDefaultBounds{100, 100, 350, 450};
inline constexpr WindowBounds kKickListDefaultBounds{202, 245, 291, 333};

}  // namespace qm
