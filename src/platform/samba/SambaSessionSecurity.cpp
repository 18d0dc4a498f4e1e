// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/samba/SambaSessionSecurity.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "core/Text.h"
#include "platform/samba/SambaTables.h"

namespace qm {

namespace {
SessionSecurity SecurityOf(const SmbStatus::Session& s) {
  SessionSecurity facts;
  facts.node = SambaSessionSecurity::NodeText(s.vnn);
  facts.dialect = s.dialect;
  facts.signing = s.signing.degree;
  facts.signingCipher = s.signing.cipher;
  facts.encryption = s.encryption.degree;
  facts.encryptionCipher = s.encryption.cipher;
  return facts;
}

// One more session of a client: the weakest one's protection, every node.
void AddSession(SessionSecurity& client, SessionSecurity session) {
  std::string nodes = client.node;
  if (!session.node.empty() &&
      ("," + nodes + ",").find("," + session.node + ",") == std::string::npos) {
    nodes += (nodes.empty() ? "" : ",") + session.node;
  }
  if (SessionSecurity::Weaker(session, client)) {
    session.unencryptedShares = std::move(client.unencryptedShares);
    client = std::move(session);
  }
  client.node = std::move(nodes);
}

// Reported unencrypted: neither the tree connect nor its session encrypts
// (a reading that does not report it tells nothing).
bool Unencrypted(const SmbStatus::TreeConnect& tc, const SmbStatus::Session& s) {
  return tc.encryption.degree == "none" && tc.encryption.cipher.empty() &&
         s.encryption.cipher.empty() && s.encryption.degree != "full";
}
}  // namespace

std::string SambaSessionSecurity::NodeText(std::int64_t vnn) {
  return vnn >= 0 && vnn != kNonClusterVnn ? std::to_string(vnn) : std::string();
}

bool SambaSessionSecurity::EncryptionRequired(const SambaShareList& shares,
                                              const std::string& service,
                                              const std::string& account) {
  if (const SambaShare* share = shares.Find(service)) return share->encryptionRequired;
  if (shares.Homes() && SameTextAsciiNoCase(service, account)) {
    return shares.Homes()->encryptionRequired;
  }
  return shares.EncryptionRequiredByDefault();
}

std::map<std::string, SessionSecurity> SambaSessionSecurity::OfClients(const SambaShareList& shares,
                                                                       const SmbStatus& status) {
  std::map<std::string, SessionSecurity> clients;
  std::unordered_map<std::string, const SmbStatus::Session*> byId;
  std::unordered_map<long, const SmbStatus::Session*> byPid;
  for (const auto& s : status.sessions) {
    if (!s.id.empty()) byId.emplace(s.id, &s);
    if (s.pid > 0) byPid.emplace(s.pid, &s);
    auto [facts, added] = clients.try_emplace(SambaTables::ClientKey(s), SecurityOf(s));
    if (!added) AddSession(facts->second, SecurityOf(s));
  }
  for (const auto& tc : status.treeConnects) {
    const SmbStatus::Session* s = nullptr;
    if (auto it = byId.find(tc.sessionId); it != byId.end()) {
      s = it->second;
    } else if (auto p = byPid.find(tc.pid); p != byPid.end()) {
      s = p->second;
    }
    if (!s || !Unencrypted(tc, *s) || !EncryptionRequired(shares, tc.service, s->username)) {
      continue;
    }
    const SambaShare* listed = shares.Find(tc.service);
    const std::string& name = listed ? listed->name : tc.service;
    auto& exposed = clients[SambaTables::ClientKey(*s)].unencryptedShares;
    if (std::find(exposed.begin(), exposed.end(), name) == exposed.end()) exposed.push_back(name);
  }
  return clients;
}

}  // namespace qm
