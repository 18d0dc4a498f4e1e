// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/DisconnectStatus.h"

#include <algorithm>

namespace qm {

namespace {
constexpr const char* kSection = "Kick";
constexpr const char* kKey = "WhoToKick";

}  // namespace

void DisconnectStatus::SetWhoToKick(KickStatus value) {
  if (value == value_) return;
  value_ = value;
  Notify();
}

void DisconnectStatus::AddObserver(DisconnectStatusObserver* observer) {
  if (!observer) return;
  observers_.push_back(observer);
  observer->WhoToKickChanged(value_);
}

void DisconnectStatus::RemoveObserver(DisconnectStatusObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void DisconnectStatus::Load(const ReadIntegerFunction& readInteger) {
  value_ = readInteger ? KickStatusFromCode(readInteger(kSection, kKey, KickNobody)) : KickNobody;
  Notify();
}

void DisconnectStatus::Save(const WriteIntegerFunction& writeInteger) const {
  if (!writeInteger) return;
  writeInteger(kSection, kKey, static_cast<int>(value_));
}

std::string DisconnectStatus::StatusBarText(KickStatus value) {
  switch (value) {
    case KickList:
      return "Disconnect status: Disconnect list";
    case KickAll:
      return "Disconnect status: Disconnect all";
    case KickNobody:
      break;
  }
  return "Disconnect status: Disconnect nobody";
}

void DisconnectStatus::Notify() {
  // A copy: a view may detach itself while being told.
  const std::vector<DisconnectStatusObserver*> observers = observers_;
  for (DisconnectStatusObserver* o : observers) o->WhoToKickChanged(value_);
}

}  // namespace qm
