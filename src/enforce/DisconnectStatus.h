// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/Monitor.h"

namespace qm {

// A view of the disconnect status: the status bar's first panel, the
// dialog's radio buttons, the tray menu's radio items.
class DisconnectStatusObserver {
 public:
  virtual ~DisconnectStatusObserver() = default;
  virtual void WhoToKickChanged(KickStatus value) = 0;
};

// Typed reads and writes of the settings file, as the caller offers them:
// (section, key, default) -> value and (section, key, value).
using ReadIntegerFunction =
    std::function<int(const std::string& section, const std::string& key, int defaultValue)>;
using WriteIntegerFunction =
    std::function<void(const std::string& section, const std::string& key, int value)>;

// The standing order whom to disconnect. Every view is an observer and is
// kept in step.
class DisconnectStatus {
 public:
  KickStatus WhoToKick() const { return value_; }

  // Makes value current and tells every view. The value that is already
  // current changes nothing.
  void SetWhoToKick(KickStatus value);

  // A new view is told the current value at once.
  void AddObserver(DisconnectStatusObserver* observer);
  void RemoveObserver(DisconnectStatusObserver* observer);

  // [Kick] WhoToKick, default 0; a code outside 0..2 gives KickNobody. Every
  // view is told the value, also when it is the one already current.
  void Load(const ReadIntegerFunction& readInteger);
  void Save(const WriteIntegerFunction& writeInteger) const;

  // "Disconnect status: Disconnect nobody" and the others.
  static std::string StatusBarText(KickStatus value);

 private:
  void Notify();

  KickStatus value_ = KickNobody;
  std::vector<DisconnectStatusObserver*> observers_;
};

}  // namespace qm
