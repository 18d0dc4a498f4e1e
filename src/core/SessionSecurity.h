// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <vector>

namespace qm {

// What a server tells of a client's sessions beyond what the records of
// either family carry: the node of a cluster that serves it, and how it is
// protected. Texts as the server gives them; empty where it does not say.
// A client with several sessions is described by its weakest one.
struct SessionSecurity {
  std::string node;     // the number of the serving node; "" when not clustered
  std::string dialect;  // "NT1" (SMB1), "SMB2_10", "SMB3_11"
  std::string signing;  // degree: "none", "partial", "full"
  std::string signingCipher;
  std::string encryption;  // degree, as signing
  std::string encryptionCipher;
  // Shares the client uses without encryption although they require it.
  std::vector<std::string> unencryptedShares;

  bool operator==(const SessionSecurity&) const = default;

  // SMB1: a dialect is known and it is none of SMB2's or SMB3's.
  bool Smb1() const;
  bool Unsigned() const { return signing == "none"; }
  // One line for people: "node 1, SMB3_11, signing partial (AES-128-GMAC),
  // encryption none"; only what is known, "" when nothing is.
  std::string Describe() const;
  // The lesser of two descriptions of one client's sessions: the older
  // dialect, then the weaker signing, then the weaker encryption (what is
  // not known counts as stronger).
  static bool Weaker(const SessionSecurity& a, const SessionSecurity& b);
};

}  // namespace qm
