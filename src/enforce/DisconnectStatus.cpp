// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/DisconnectStatus.h"

#include <algorithm>

namespace qm {

namespace {
constexpr const char* kSection = "Kick";
constexpr const char* kKey = "WhoToKick";

bool IsStatus(int value) {
  return value == KickNobody || value == KickList || value == KickAll;
}
}  // namespace

void DisconnectStatus::SetWhoToKick(int value) {
  if (!IsStatus(value) || value == value_) return;
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
  const int code = readInteger ? readInteger(kSection, kKey, KickNobody) : KickNobody;
  value_ = IsStatus(code) ? code : KickNobody;
  Notify();
}

void DisconnectStatus::Save(const WriteIntegerFunction& writeInteger) const {
  if (!writeInteger) return;
  writeInteger(kSection, kKey, value_ == KickNobody ? 0 : value_ == KickList ? 1 : 2);
}

std::string DisconnectStatus::StatusBarText(int value) {
  switch (value) {
    case KickList:
      return "Disconnect status: Disconnect list";
    case KickAll:
      return "Disconnect status: Disconnect all";
    default:
      return "Disconnect status: Disconnect nobody";
  }
}

void DisconnectStatus::Notify() {
  // A copy: a view may detach itself while being told.
  const std::vector<DisconnectStatusObserver*> observers = observers_;
  for (DisconnectStatusObserver* o : observers) o->WhoToKickChanged(value_);
}

}  // namespace qm
