// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/samba/SmbStatusParser.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <nlohmann/json.hpp>

#include "core/Text.h"

namespace qm {

using nlohmann::json;

namespace {
// smbstatus writes ids as texts ("pid": "8542") but other versions may
// write numbers; both are taken.
std::string Text(const json& object, const char* key) {
  if (!object.is_object()) return {};
  auto it = object.find(key);
  if (it == object.end()) return {};
  if (it->is_string()) return it->get<std::string>();
  if (it->is_number_unsigned()) return std::to_string(it->get<std::uint64_t>());
  if (it->is_number_integer()) return std::to_string(it->get<std::int64_t>());
  return {};
}

// A plain positive decimal number that fits a process id, else 0.
long ProcessIdOf(std::string_view text) {
  long pid = 0;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, pid);
  if (ec != std::errc() || p != end || pid <= 0 || pid > 0x3FFFFFFF) return 0;
  return pid;
}

std::int64_t Vnn(const json& object) {
  auto server = object.find("server_id");
  if (server == object.end()) return -1;
  const std::string text = Text(*server, "vnn");
  std::int64_t vnn = -1;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, vnn);
  if (ec != std::errc() || p != end || vnn < 0 || vnn > kNonClusterVnn) return -1;
  return vnn;
}

// {"cipher": "AES-128-GMAC", "degree": "partial"}; smbstatus writes "-"
// for no cipher.
SmbStatus::Protection ProtectionOf(const json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end()) return {};
  std::string cipher = Text(*it, "cipher");
  if (cipher == "-") cipher.clear();
  return {std::move(cipher), Text(*it, "degree")};
}

long ProcessId(const json& object) {
  auto server = object.find("server_id");
  return ProcessIdOf(Text(server != object.end() ? *server : object, "pid"));
}

std::int64_t UidOf(std::string_view text) {
  std::int64_t uid = -1;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, uid);
  return ec == std::errc() && p == end ? uid : -1;
}

std::int64_t Uid(const json& object) {
  return UidOf(Text(object, "uid"));
}

// The entries of a section: an object keyed by id, or a list.
template <typename Visit>
void ForEachEntry(const json& doc, const char* section, Visit visit) {
  auto it = doc.find(section);
  if (it == doc.end() || !(it->is_object() || it->is_array())) return;
  for (const auto& entry : *it) {
    if (entry.is_object()) visit(entry);
  }
}

bool ValidAddress(int family, const std::string& text) {
  std::string plain = text;
  if (family == AF_INET6) plain = plain.substr(0, plain.find('%'));  // scope
  unsigned char buffer[sizeof(in6_addr)];
  return !plain.empty() && inet_pton(family, plain.c_str(), buffer) == 1;
}

// text without a trailing ":digits".
std::string WithoutPort(std::string_view text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon + 1 == text.size()) return std::string(text);
  for (std::size_t i = colon + 1; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::string(text);
  }
  return std::string(text.substr(0, colon));
}
// The next blank-separated word of line from at on (at moves past it).
std::string_view Word(std::string_view line, std::size_t& at) {
  while (at < line.size() && line[at] == ' ') ++at;
  const std::size_t start = at;
  while (at < line.size() && line[at] != ' ') ++at;
  return line.substr(start, at - start);
}

// Where the time that ends a line of open files begins ("Mon Dec  7
// 17:50:34 2026", as asctime writes it), npos when it does not end so.
std::size_t TimeStart(std::string_view line) {
  std::size_t at = line.size();
  for (int word = 0; word < 5; ++word) {
    while (at > 0 && line[at - 1] == ' ') --at;
    const std::size_t end = at;
    while (at > 0 && line[at - 1] != ' ') --at;
    if (at == end) return std::string_view::npos;
    const std::string_view w = line.substr(at, end - at);
    if ((word == 0 && w.size() != 4) || (word == 1 && w.find(':') == std::string_view::npos)) {
      return std::string_view::npos;
    }
  }
  return at;
}
}  // namespace

bool SmbStatusParser::Parse(std::string_view text, SmbStatus& status, std::string& why) {
  status = SmbStatus{};
  json doc = json::parse(text, nullptr, false);
  if (doc.is_discarded()) {
    // The parser refuses text that is not UTF-8; names on disk need not be.
    doc = json::parse(Utf16ToUtf8(Utf8ToUtf16(text)), nullptr, false);
  }
  if (doc.is_discarded() || !doc.is_object()) {
    why = "smbstatus gave no JSON object";
    return false;
  }
  ForEachEntry(doc, "sessions", [&](const json& e) {
    status.sessions.push_back({Text(e, "session_id"), ProcessId(e), Uid(e), Text(e, "username"),
                               Text(e, "remote_machine"), Text(e, "hostname"), Vnn(e),
                               Text(e, "session_dialect"), ProtectionOf(e, "signing"),
                               ProtectionOf(e, "encryption")});
  });
  ForEachEntry(doc, "tcons", [&](const json& e) {
    status.treeConnects.push_back({Text(e, "service"), Text(e, "session_id"), ProcessId(e),
                                   Text(e, "machine"), Vnn(e), ProtectionOf(e, "signing"),
                                   ProtectionOf(e, "encryption")});
  });
  ForEachEntry(doc, "open_files", [&](const json& file) {
    const std::string servicePath = Text(file, "service_path");
    const std::string filename = Text(file, "filename");
    ForEachEntry(file, "opens", [&](const json& open) {
      status.opens.push_back({servicePath, filename, ProcessId(open), Uid(open)});
    });
  });
  return true;
}

std::string SmbStatusParser::AddressOf(std::string_view hostname) {
  auto startsWith = [&](std::string_view prefix) {
    return hostname.substr(0, prefix.size()) == prefix;
  };
  if (startsWith("ipv4:")) {
    const std::string address = WithoutPort(hostname.substr(5));
    return ValidAddress(AF_INET, address) ? address : std::string();
  }
  if (startsWith("ipv6:")) {
    std::string_view rest = hostname.substr(5);
    if (!rest.empty() && rest.front() == '[') {
      const std::size_t close = rest.find(']');
      if (close == std::string_view::npos) return {};
      const std::string address(rest.substr(1, close - 1));
      return ValidAddress(AF_INET6, address) ? address : std::string();
    }
    const std::string address = WithoutPort(rest);
    if (ValidAddress(AF_INET6, address)) return address;
    return ValidAddress(AF_INET6, std::string(rest)) ? std::string(rest) : std::string();
  }
  const std::string whole(hostname);
  if (ValidAddress(AF_INET, whole) || ValidAddress(AF_INET6, whole)) return whole;
  const std::string address = WithoutPort(hostname);
  return ValidAddress(AF_INET, address) ? address : std::string();
}

std::vector<SmbStatus::Open> SmbStatusParser::ParseLocks(
    std::string_view text, const std::vector<std::string>& sharePaths) {
  std::vector<SmbStatus::Open> opens;
  bool inTable = false;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!inTable) {
      inTable = line.starts_with("----") && line.find_first_not_of('-') == std::string_view::npos;
      continue;
    }
    if (line.empty()) break;  // the end of the table (byte range locks may follow)
    std::size_t at = 0;
    std::string_view pid = Word(line, at);
    if (const std::size_t colon = pid.find(':'); colon != std::string_view::npos) {
      pid.remove_prefix(colon + 1);  // "vnn:pid" in a cluster
    }
    const std::string_view uid = Word(line, at);
    for (int skipped = 0; skipped < 4; ++skipped) Word(line, at);  // deny mode .. oplock
    const std::size_t timeAt = TimeStart(line);
    if (timeAt == std::string_view::npos || timeAt < at + 3) continue;
    std::string_view rest = line.substr(at, timeAt - at);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    if (!rest.ends_with("   ")) continue;
    rest.remove_suffix(3);
    std::size_t split = std::string_view::npos;
    for (const auto& path : sharePaths) {
      if (!path.empty() && rest.size() > path.size() + 3 && rest.starts_with(path) &&
          rest.substr(path.size(), 3) == "   " &&
          (split == std::string_view::npos || path.size() > split)) {
        split = path.size();
      }
    }
    if (split == std::string_view::npos) split = rest.find("   ");
    if (split == std::string_view::npos) continue;
    SmbStatus::Open open;
    open.servicePath = std::string(rest.substr(0, split));
    open.filename = std::string(rest.substr(split + 3));
    open.pid = ProcessIdOf(pid);
    open.uid = UidOf(uid);
    if (open.pid > 0) opens.push_back(std::move(open));
  }
  return opens;
}

}  // namespace qm
