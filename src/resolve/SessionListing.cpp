// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "resolve/SessionListing.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "core/Text.h"

namespace qm {

namespace {

constexpr std::size_t kNameWidth = 15;   // a NetBIOS name without its suffix
constexpr const char* kSuffix = "<20>";  // the server service
// The longest zone an IPv6 address may carry (an interface name).
constexpr std::size_t kMaxZone = 15;

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

// The length of the character at text[i]; printable is false for a
// control character and for a byte that starts no well-formed UTF-8
// character (whose length is then 1).
std::size_t CharacterAt(std::string_view text, std::size_t i, bool& printable) {
  const std::size_t start = i;
  char32_t cp;
  const bool wellFormed = DecodeUtf8(text, i, cp);
  // Controls (C0, DEL, C1) and the line and paragraph separators.
  printable = wellFormed && cp >= 0x20 && cp != 0x7F && !(cp >= 0x80 && cp <= 0x9F) &&
              cp != 0x2028 && cp != 0x2029;
  return i - start;
}

}  // namespace

std::string SessionListing::PrintableName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    bool printable;
    const std::size_t len = CharacterAt(name, i, printable);
    if (printable) {
      out.append(name.substr(i, len));
    } else {
      out += '?';
    }
    i += len;
  }
  return out;
}

std::string SessionListing::PrintableAddress(const std::string& address) {
  char text[INET6_ADDRSTRLEN] = {};
  in_addr v4{};
  if (inet_pton(AF_INET, address.c_str(), &v4) == 1) {
    return inet_ntop(AF_INET, &v4, text, sizeof text) ? text : "";
  }
  const std::size_t percent = address.find('%');
  std::string zone;
  if (percent != std::string::npos) {
    zone = address.substr(percent + 1);
    if (zone.empty() || zone.size() > kMaxZone) return {};
    for (char c : zone) {
      const bool ok = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                      c == '.' || c == '-' || c == '_';
      if (!ok) return {};
    }
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, address.substr(0, percent).c_str(), &v6) != 1) return {};
  if (IN6_IS_ADDR_V4MAPPED(&v6)) {
    std::memcpy(&v4, v6.s6_addr + 12, sizeof v4);
    return inet_ntop(AF_INET, &v4, text, sizeof text) ? text : "";
  }
  if (!inet_ntop(AF_INET6, &v6, text, sizeof text)) return {};
  std::string shown = text;
  if (!zone.empty()) shown.append("%").append(zone);
  return shown;
}

std::string SessionListing::LocalName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  std::string name;
  for (const char* p = host; *p && *p != '.' && name.size() < kNameWidth; ++p) {
    const char c = *p;
    if (c >= 'a' && c <= 'z') {
      name += static_cast<char>(c - 'a' + 'A');
    } else if (c > 0x20 && c < 0x7F) {
      name += c;
    } else {
      name += '?';
    }
  }
  return name;
}

std::string SessionListing::Format(const std::vector<ServerTables::Session>& sessions,
                                   Remote remote, const std::string& localName) {
  std::string out = "\n";
  if (sessions.empty()) {
    out += "    No Connections\n";
    return out;
  }
  out +=
      "                  NetBIOS Connection Table\n"
      "\n"
      "    Local Name             State    In/Out  Remote Host\n"
      "    ---------------------------------------------------\n";

  struct Line {
    std::string name;
    std::string address;
  };
  std::vector<Line> lines;
  lines.reserve(sessions.size());
  for (const auto& s : sessions) {
    // The column pads with blanks: a name's own last blank would be read
    // as padding, and the name paired with another's address.
    std::string name = PrintableName(s.client);
    for (std::size_t end = name.size(); end > 0 && name[end - 1] == ' '; --end) name[end - 1] = '?';
    lines.push_back({std::move(name), s.address});
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const Line& a, const Line& b) { return a.name.size() > b.name.size(); });

  std::string local = PrintableName(localName);
  for (char& c : local) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  local.resize(std::min(local.size(), kNameWidth));
  // Everything up to the remote column, kRemoteColumn - 1 bytes.
  const std::string lead = "    " + Padded(local, kNameWidth) + kSuffix + "  Connected     In   ";
  for (const Line& line : lines) {
    out += lead;
    if (remote == Remote::Names) {
      out += Padded(line.name, kNameWidth) + kSuffix;
    } else {
      out += Padded(PrintableAddress(line.address), kNameWidth + std::strlen(kSuffix));
    }
    out += '\n';
  }
  return out;
}

}  // namespace qm
