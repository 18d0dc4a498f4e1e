// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/samba/SambaTables.h"

#include <pwd.h>

#include <algorithm>
#include <set>
#include <string_view>
#include <unordered_map>

#include "core/Text.h"
#include "platform/samba/SambaSessionSecurity.h"

namespace qm {

namespace {
// A path without trailing slashes ("/" stays).
std::string_view Normal(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

// An open of the share's own folder: a client that shows the share holds
// it (a directory watch) for as long as the window stays open. It is the
// share itself, which its tree connect already shows, not a file.
bool IsShareRoot(std::string_view name) {
  return name.empty() || name == "." || name == "./";
}

std::string Join(std::string_view base, std::string_view name) {
  if (name.empty() || name == ".") return std::string(base);
  std::string out(base);
  if (out.empty() || out.back() != '/') out += '/';
  out += name;
  return out;
}

// A home share's folder: [homes]'s path with the account put in, else the
// account's home folder.
std::string HomePath(const SambaShare& homes, const std::string& account) {
  std::string path = homes.path;
  for (const char* code : {"%S", "%u", "%U"}) {
    for (std::size_t at; (at = path.find(code)) != std::string::npos;) {
      path.replace(at, 2, account);
    }
  }
  if (!path.empty()) return path;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwnam_r(account.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir) {
    return found->pw_dir;
  }
  return {};
}
}  // namespace

std::string SambaTables::ClientKey(const SmbStatus::Session& session) {
  if (!session.remoteMachine.empty()) return session.remoteMachine;
  std::string address = SmbStatusParser::AddressOf(session.hostname);
  return address.empty() ? session.hostname : address;
}

ServerTables SambaTables::Make(const SambaShareList& shares, const SmbStatus& status,
                               const std::vector<SambaShare>& usershares,
                               const std::vector<std::string>& printers) {
  ServerTables t;
  for (const auto& share : shares.Shares()) {
    if (SameTextAsciiNoCase(share.name, "IPC$")) continue;
    t.shares.push_back({share.name, share.path, share.printable ? 1u : 0u});
  }
  // Usershares are disk shares; one named like a share of smb.conf is not
  // served.
  for (const auto& share : usershares) {
    if (!shares.Find(share.name) && !SameTextAsciiNoCase(share.name, "IPC$")) {
      t.shares.push_back({share.name, share.path, 0});
    }
  }
  t.shares.push_back({"IPC$", "", 3});

  std::unordered_map<std::string, const SmbStatus::Session*> byId;
  std::unordered_multimap<long, const SmbStatus::Session*> byPid;
  for (const auto& s : status.sessions) {
    if (!s.id.empty()) byId.emplace(s.id, &s);
    if (s.pid > 0) byPid.emplace(s.pid, &s);
    t.sessions.push_back({ClientKey(s), s.username, 0, SmbStatusParser::AddressOf(s.hostname)});
  }
  // A tree connect that names a session not in this reading belongs to no
  // one yet (it waits for the next reading): another session of its
  // process would lend it a wrong account.
  auto sessionOf = [&](const SmbStatus::TreeConnect& tc) -> const SmbStatus::Session* {
    if (auto it = byId.find(tc.sessionId); it != byId.end()) return it->second;
    if (!tc.sessionId.empty()) return nullptr;
    auto range = byPid.equal_range(tc.pid);
    return range.first != range.second ? range.first->second : nullptr;
  };
  auto shareIndex = [&](std::string_view name) -> int {
    for (std::size_t i = 0; i < t.shares.size(); ++i) {
      if (SameTextAsciiNoCase(t.shares[i].name, name)) return static_cast<int>(i);
    }
    return -1;
  };
  // Samba makes a print queue of [printers] for each printer it loads; its
  // print jobs are spooled in [printers]'s path.
  const std::string spool =
      shares.Printers() ? std::string(Normal(shares.Printers()->path)) : std::string();
  auto printerOf = [&](const SmbStatus::TreeConnect& tc) {
    if (!shares.Printers()) return false;
    for (const auto& name : printers) {
      if (SameTextAsciiNoCase(name, tc.service)) return true;
    }
    if (spool.empty() || tc.pid <= 0) return false;
    return std::any_of(status.opens.begin(), status.opens.end(), [&](const SmbStatus::Open& o) {
      return o.pid == tc.pid && Normal(o.servicePath) == spool;
    });
  };

  // Shares in use that no list names: home folders made from [homes], print
  // queues made from [printers], shares taken out of smb.conf while clients
  // still use them. A share of none of these kinds is a disk share whose
  // path is learnt from the files opened on it.
  std::unordered_multimap<long, int> sharesOfPid;
  std::set<int> unlisted;
  for (const auto& tc : status.treeConnects) {
    const SmbStatus::Session* s = sessionOf(tc);
    if (!s) continue;  // no user without a session
    int index = shareIndex(tc.service);
    if (index < 0 && !tc.service.empty()) {
      if (shares.Homes() && SameTextAsciiNoCase(tc.service, s->username)) {
        t.shares.push_back({tc.service, HomePath(*shares.Homes(), s->username), 0});
      } else if (printerOf(tc)) {
        t.shares.push_back({tc.service, spool, 1});
      } else {
        t.shares.push_back({tc.service, "", 0});
      }
      index = static_cast<int>(t.shares.size() - 1);
      unlisted.insert(index);
    }
    if (index >= 0 && tc.pid > 0) sharesOfPid.emplace(tc.pid, index);
    t.connections.push_back(
        {index >= 0 ? t.shares[static_cast<std::size_t>(index)].name : tc.service, ClientKey(*s),
         s->username, SmbStatusParser::AddressOf(s->hostname)});
  }

  t.security = SambaSessionSecurity::OfClients(shares, status);

  for (const auto& open : status.opens) {
    auto sessions = byPid.equal_range(open.pid);
    if (sessions.first == sessions.second) continue;  // no live session holds it
    const SmbStatus::Session* s = sessions.first->second;
    for (auto it = sessions.first; it != sessions.second; ++it) {
      if (it->second->uid == open.uid) s = it->second;
    }
    int found = -1;
    int onlyUnlisted = -1;
    int unlistedCount = 0;
    auto used = sharesOfPid.equal_range(open.pid);
    for (auto it = used.first; it != used.second; ++it) {
      const auto& share = t.shares[static_cast<std::size_t>(it->second)];
      if (!share.path.empty() && Normal(share.path) == Normal(open.servicePath)) {
        found = it->second;
        break;
      }
      if (unlisted.count(it->second) && share.path.empty() && share.type == 0) {
        if (onlyUnlisted != it->second) ++unlistedCount;
        onlyUnlisted = it->second;
      }
    }
    if (found < 0 && unlistedCount == 1) {
      found = onlyUnlisted;
      t.shares[static_cast<std::size_t>(found)].path = std::string(Normal(open.servicePath));
    }
    // Its path still teaches an unlisted share's above.
    if (IsShareRoot(open.filename)) continue;
    const std::string base =
        found >= 0 ? std::string(Normal(t.shares[static_cast<std::size_t>(found)].path))
                   : std::string(Normal(open.servicePath));
    t.files.push_back({found >= 0 ? t.shares[static_cast<std::size_t>(found)].name : std::string(),
                       ClientKey(*s), s->username, Join(base, open.filename),
                       SmbStatusParser::AddressOf(s->hostname)});
  }
  return t;
}

}  // namespace qm
