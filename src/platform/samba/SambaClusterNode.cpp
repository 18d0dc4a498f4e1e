// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/samba/SambaClusterNode.h"

#include <charconv>

#include "core/Text.h"
#include "platform/samba/SmbStatusParser.h"

namespace qm {

namespace {
// A number of 1 to maxDigits decimal digits and nothing else.
bool Digits(std::string_view text, std::size_t maxDigits, std::int64_t& value) {
  if (text.empty() || text.size() > maxDigits) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc();
}
}  // namespace

SambaClusterNode::Place SambaClusterNode::PlaceOf(bool clustered, std::int64_t pnn,
                                                  std::int64_t vnn, std::string& why) {
  if (!clustered) {
    // smbd off a cluster serves every session itself and says so with the
    // non-cluster value; any other number is a reading not to act on.
    if (vnn < 0 || vnn == kNonClusterVnn) return Place::Local;
    why =
        "smbstatus names a cluster node for a session, but smb.conf does not say clustering = "
        "yes; such sessions are not ended";
    return Place::Refused;
  }
  if (pnn < 0) {
    why =
        "this cluster node's number could not be learnt (ctdb pnn), so no session can be told "
        "to be its own";
    return Place::Refused;
  }
  if (vnn < 0 || vnn == kNonClusterVnn) {
    why = "smbstatus names no node for a session on a cluster; it is not ended";
    return Place::Refused;
  }
  return vnn == pnn ? Place::Local : Place::OtherNode;
}

std::int64_t SambaClusterNode::ParsePnn(std::string_view text) {
  text = TrimmedControls(text);
  if (text.substr(0, 4) == "PNN:") text.remove_prefix(4);
  std::int64_t pnn = -1;
  if (!Digits(text, 10, pnn) || pnn >= kNonClusterVnn) return -1;
  return pnn;
}

std::string SambaClusterNode::Destination(std::int64_t vnn, long pid) {
  return std::to_string(vnn) + ":" + std::to_string(pid);
}

bool SambaClusterNode::ParseDestination(std::string_view text, std::int64_t& vnn, long& pid) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  std::int64_t node = -1, process = 0;
  if (!Digits(text.substr(0, colon), 10, node) || node >= kNonClusterVnn ||
      !Digits(text.substr(colon + 1), 7, process) || process <= 0) {
    return false;
  }
  vnn = node;
  pid = static_cast<long>(process);
  return true;
}

bool SambaClusterNode::Yes(std::string_view value) {
  const std::string v = AsciiUpper(TrimmedControls(value));
  return v == "YES" || v == "TRUE" || v == "1" || v == "ON";
}

}  // namespace qm
