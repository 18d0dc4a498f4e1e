// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/samba/SmbStatusParser.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "core/Text.h"

namespace qm {

using nlohmann::json;

namespace {
// A plain positive decimal number that fits a process id, else 0.
long ProcessIdOf(std::string_view text) {
  long pid = 0;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, pid);
  if (ec != std::errc() || p != end || pid <= 0 || pid > 0x3FFFFFFF) return 0;
  return pid;
}

std::int64_t UidOf(std::string_view text) {
  std::int64_t uid = -1;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, uid);
  return ec == std::errc() && p == end ? uid : -1;
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

// What an object section gives, by key (the last of equal keys counts, and
// keys come in their sorted order, as a JSON object holds them), or what an
// array section gives, in order.
template <typename T>
class Collected {
 public:
  void Clear(bool keyed) {
    keyed_ = keyed;
    byKey_.clear();
    listed_.clear();
  }
  void Add(const std::string& key, T value) {
    if (keyed_) {
      byKey_.insert_or_assign(key, std::move(value));
    } else {
      listed_.push_back(std::move(value));
    }
  }
  // A key whose value is no object holds no entry (it may replace one).
  void Drop(const std::string& key) {
    if (keyed_) byKey_.erase(key);
  }
  std::vector<T> Take() {
    std::vector<T> all = std::move(listed_);
    for (auto& [key, value] : byKey_) all.push_back(std::move(value));
    Clear(false);
    return all;
  }

 private:
  bool keyed_ = false;
  std::map<std::string, T, std::less<>> byKey_;
  std::vector<T> listed_;
};

// Reads `smbstatus --json` as it streams by, keeping only the fields used:
// the document is never built, which at a thousand clients cost more than
// smbstatus took to write it. Containers of no interest are passed over by
// depth alone.
class StatusReader : public nlohmann::json_sax<json> {
 public:
  bool IsObject() const { return rootObject_; }
  void Into(SmbStatus& status) {
    status.sessions = sessions_.Take();
    status.treeConnects = tcons_.Take();
    for (auto& file : files_.Take()) {
      for (auto& open : file) status.opens.push_back(std::move(open));
    }
  }

  bool null() override { return Scalar({}); }
  bool boolean(bool) override { return Scalar({}); }
  bool number_integer(number_integer_t value) override { return Scalar(std::to_string(value)); }
  bool number_unsigned(number_unsigned_t value) override { return Scalar(std::to_string(value)); }
  bool number_float(number_float_t, const string_t&) override { return Scalar({}); }
  bool string(string_t& value) override { return Scalar(std::move(value)); }
  bool binary(binary_t&) override { return Scalar({}); }
  bool start_object(std::size_t) override { return Start(true); }
  bool start_array(std::size_t) override { return Start(false); }
  bool end_object() override { return End(); }
  bool end_array() override { return End(); }
  bool key(string_t& key) override {
    if (skip_ == 0) key_ = std::move(key);
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

 private:
  // Where the reader stands: in the document, a section, one of its
  // entries, an object inside an entry (a server id, a protection), a
  // file's opens, one open, an open's server id.
  enum class Level { kRoot, kSection, kEntry, kInner, kOpens, kOpen, kOpenServer };
  enum class Section { kNone, kSessions, kTcons, kFiles };
  enum Field {
    kSessionId,
    kUsername,
    kRemoteMachine,
    kHostname,
    kDialect,
    kUid,
    kPid,
    kService,
    kMachine,
    kServicePath,
    kFilename,
    kFieldCount
  };
  // What an entry or an open says; a server id, once given, is where the
  // process id and the node number come from, whatever it holds.
  struct Entry {
    std::array<std::string, kFieldCount> text;
    bool hasServer = false;
    std::string serverPid, serverVnn;
    SmbStatus::Protection signing, encryption;
    void Clear() { *this = Entry{}; }
    void ClearServer() {
      hasServer = true;
      serverPid.clear();
      serverVnn.clear();
    }
    long Pid() const { return ProcessIdOf(hasServer ? serverPid : text[kPid]); }
    std::int64_t Vnn() const {
      std::int64_t vnn = -1;
      const char* end = serverVnn.data() + serverVnn.size();
      auto [p, ec] = std::from_chars(serverVnn.data(), end, vnn);
      if (!hasServer || ec != std::errc() || p != end || vnn < 0 || vnn > kNonClusterVnn) {
        return -1;
      }
      return vnn;
    }
  };

  static int FieldOf(std::string_view key) {
    static constexpr std::array<std::string_view, kFieldCount> kNames = {
        "session_id", "username", "remote_machine", "hostname",     "session_dialect", "uid",
        "pid",        "service",  "machine",        "service_path", "filename"};
    for (std::size_t i = 0; i < kNames.size(); ++i) {
      if (kNames[i] == key) return static_cast<int>(i);
    }
    return -1;
  }
  static Section SectionOf(std::string_view key) {
    if (key == "sessions") return Section::kSessions;
    if (key == "tcons") return Section::kTcons;
    if (key == "open_files") return Section::kFiles;
    return Section::kNone;
  }
  // "-" is how smbstatus writes no cipher.
  static SmbStatus::Protection Plain(SmbStatus::Protection p) {
    if (p.cipher == "-") p.cipher.clear();
    return p;
  }

  // The protection or the text field of entry that key names (null when
  // none is read).
  SmbStatus::Protection* ProtectionOf(Entry& entry) {
    if (key_ == "signing") return &entry.signing;
    if (key_ == "encryption") return &entry.encryption;
    return nullptr;
  }
  // Applies act to the collection of section (to none for kNone).
  template <typename Act>
  void OnSection(Section section, Act act) {
    switch (section) {
      case Section::kSessions:
        act(sessions_);
        break;
      case Section::kTcons:
        act(tcons_);
        break;
      case Section::kFiles:
        act(files_);
        break;
      case Section::kNone:
        break;
    }
  }
  void ClearSection(Section section, bool keyed) {
    OnSection(section, [&](auto& entries) { entries.Clear(keyed); });
  }
  void DropEntry() {
    OnSection(section_, [&](auto& entries) { entries.Drop(key_); });
  }
  // A value given for key in an entry: a text, or "" (a number of another
  // kind, a container).
  void Set(Entry& entry, std::string value, bool inOpen) {
    if (key_ == "server_id") {
      entry.ClearServer();
    } else if (auto* p = ProtectionOf(entry); p && !inOpen) {
      *p = {};
    } else if (const int f = FieldOf(key_); f >= 0) {
      entry.text[static_cast<std::size_t>(f)] = std::move(value);
    }
  }
  void SetInner(Entry& entry, std::string value) {
    if (inner_ == nullptr) {
      if (key_ == "pid") entry.serverPid = std::move(value);
      if (key_ == "vnn") entry.serverVnn = std::move(value);
    } else {
      if (key_ == "cipher") inner_->cipher = std::move(value);
      if (key_ == "degree") inner_->degree = std::move(value);
    }
  }

  bool Scalar(std::string value) {
    if (skip_ > 0) return true;
    if (levels_.empty()) return true;  // a document that is no object
    switch (levels_.back()) {
      case Level::kRoot:
        ClearSection(SectionOf(key_), false);
        break;
      case Level::kSection:
        DropEntry();
        break;
      case Level::kEntry:
        if (section_ == Section::kFiles && key_ == "opens") {
          opens_.Clear(false);
        } else {
          Set(entry_, std::move(value), false);
        }
        break;
      case Level::kInner:
        SetInner(entry_, std::move(value));
        break;
      case Level::kOpens:
        opens_.Drop(key_);
        break;
      case Level::kOpen:
        Set(open_, std::move(value), true);
        break;
      case Level::kOpenServer:
        SetInner(open_, std::move(value));
        break;
    }
    return true;
  }

  bool Start(bool object) {
    if (skip_ > 0 || levels_.empty()) {
      if (levels_.empty() && skip_ == 0 && object) {
        rootObject_ = true;
        levels_.push_back(Level::kRoot);
      } else {
        ++skip_;
      }
      return true;
    }
    Level next = Level::kRoot;  // kRoot: not read
    switch (levels_.back()) {
      case Level::kRoot:
        section_ = SectionOf(key_);
        ClearSection(section_, object);
        if (section_ != Section::kNone) next = Level::kSection;
        break;
      case Level::kSection:
        if (object) {
          entry_.Clear();
          opens_.Clear(false);
          entryKey_ = key_;
          next = Level::kEntry;
        } else {
          DropEntry();
        }
        break;
      case Level::kEntry:
        if (section_ == Section::kFiles && key_ == "opens") {
          opens_.Clear(object);
          next = Level::kOpens;
        } else if (object && key_ == "server_id") {
          entry_.ClearServer();
          inner_ = nullptr;
          next = Level::kInner;
        } else if (auto* p = object ? ProtectionOf(entry_) : nullptr) {
          *p = {};
          inner_ = p;
          next = Level::kInner;
        } else {
          Set(entry_, {}, false);
        }
        break;
      case Level::kInner:
        SetInner(entry_, {});
        break;
      case Level::kOpens:
        if (object) {
          open_.Clear();
          openKey_ = key_;
          next = Level::kOpen;
        } else {
          opens_.Drop(key_);
        }
        break;
      case Level::kOpen:
        if (object && key_ == "server_id") {
          open_.ClearServer();
          inner_ = nullptr;
          next = Level::kOpenServer;
        } else {
          Set(open_, {}, true);
        }
        break;
      case Level::kOpenServer:
        SetInner(open_, {});
        break;
    }
    if (next == Level::kRoot) {
      skip_ = 1;
    } else {
      levels_.push_back(next);
    }
    return true;
  }

  bool End() {
    if (skip_ > 0) {
      --skip_;
      return true;
    }
    const Level level = levels_.back();
    levels_.pop_back();
    if (level == Level::kEntry) EndEntry();
    if (level == Level::kOpen) {
      opens_.Add(openKey_, {{}, {}, open_.Pid(), UidOf(open_.text[kUid])});
    }
    return true;
  }

  void EndEntry() {
    const auto& t = entry_.text;
    switch (section_) {
      case Section::kSessions:
        sessions_.Add(entryKey_, {t[kSessionId], entry_.Pid(), UidOf(t[kUid]), t[kUsername],
                                  t[kRemoteMachine], t[kHostname], entry_.Vnn(), t[kDialect],
                                  Plain(entry_.signing), Plain(entry_.encryption)});
        break;
      case Section::kTcons:
        tcons_.Add(entryKey_, {t[kService], t[kSessionId], entry_.Pid(), t[kMachine], entry_.Vnn(),
                               Plain(entry_.signing), Plain(entry_.encryption)});
        break;
      case Section::kFiles: {
        std::vector<SmbStatus::Open> opens = opens_.Take();
        for (auto& open : opens) {
          open.servicePath = t[kServicePath];
          open.filename = t[kFilename];
        }
        files_.Add(entryKey_, std::move(opens));
        break;
      }
      case Section::kNone:
        break;
    }
  }

  std::vector<Level> levels_;
  std::size_t skip_ = 0;  // depth inside a container not read
  bool rootObject_ = false;
  std::string key_, entryKey_, openKey_;
  Section section_ = Section::kNone;
  Entry entry_, open_;
  SmbStatus::Protection* inner_ = nullptr;  // the protection being read (null: a server id)
  Collected<SmbStatus::Session> sessions_;
  Collected<SmbStatus::TreeConnect> tcons_;
  Collected<std::vector<SmbStatus::Open>> files_;
  Collected<SmbStatus::Open> opens_;
};

bool ReadStatus(std::string_view text, SmbStatus& status) {
  StatusReader reader;
  if (!json::sax_parse(text, &reader) || !reader.IsObject()) return false;
  reader.Into(status);
  return true;
}
}  // namespace

bool SmbStatusParser::Parse(std::string_view text, SmbStatus& status, std::string& why) {
  status = SmbStatus{};
  // The parser refuses text that is not UTF-8; names on disk need not be.
  if (ReadStatus(text, status) || ReadStatus(Utf16ToUtf8(Utf8ToUtf16(text)), status)) {
    return true;
  }
  status = SmbStatus{};
  why = "smbstatus gave no JSON object";
  return false;
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
  auto nextLine = [](std::string_view& from) {
    const std::size_t end = std::min(from.find('\n'), from.size());
    const std::string_view line = from.substr(0, end);
    from.remove_prefix(std::min(end + 1, from.size()));
    return line;
  };
  const std::string_view all = text;
  std::size_t timelessUntil = 0;  // where the lines known to end without a time end
  std::string joined;
  while (!text.empty()) {
    std::string_view line = nextLine(text);
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
    // A name may hold line feeds (made over SMB1's POSIX paths), which
    // smbstatus writes as they are: a row that does not end with its time
    // goes on in the lines after it, empty ones too, up to the first that
    // does, within kMaxRowBytes. Such a name is kept whole, as the JSON
    // reading keeps it. Lines found without a time are not looked at
    // again for the next row, so that the reading stays linear.
    if (TimeStart(line) == std::string_view::npos && ProcessIdOf(pid) > 0) {
      const std::size_t from = static_cast<std::size_t>(text.data() - all.data());
      std::string_view after = all.substr(std::max(from, timelessUntil));
      const std::size_t windowEnd = from + std::min(text.size(), kMaxRowBytes);
      bool whole = false;
      std::string_view last;
      while (!after.empty() && static_cast<std::size_t>(after.data() - all.data()) < windowEnd) {
        last = nextLine(after);
        if (!last.empty() && last.back() == '\r') last.remove_suffix(1);
        whole = TimeStart(last) != std::string_view::npos;
        if (whole) break;
      }
      if (whole) {
        joined.assign(line);
        joined += '\n';
        joined.append(text.data(),
                      static_cast<std::size_t>(last.data() + last.size() - text.data()));
        text = after;
        line = joined;
        at = 0;
        pid = Word(line, at);
        if (const std::size_t colon = pid.find(':'); colon != std::string_view::npos) {
          pid.remove_prefix(colon + 1);
        }
      } else {
        timelessUntil = static_cast<std::size_t>(after.data() - all.data());
      }
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
    // The share path is the server's own and never holds a line feed.
    if (rest.substr(0, split).find('\n') != std::string_view::npos) continue;
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
