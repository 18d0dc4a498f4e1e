// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "core/SessionSecurity.h"

#include <tuple>

namespace qm {

namespace {
int DegreeRank(const std::string& degree) {
  if (degree == "none") return 0;
  if (degree == "partial") return 1;
  return 2;  // full, or not reported
}

// SMB1's dialects sort before SMB2's and SMB3's ("CORE" < "LANMAN2" < "NT1"
// < "SMB2_02" < "SMB3_11"); an unknown one sorts last.
std::string DialectRank(const std::string& dialect) {
  return dialect.empty() ? std::string("\x7F") : dialect;
}
}  // namespace

bool SessionSecurity::Smb1() const {
  return !dialect.empty() && dialect.rfind("SMB2", 0) != 0 && dialect.rfind("SMB3", 0) != 0;
}

std::string SessionSecurity::Describe() const {
  std::string text;
  auto add = [&text](const std::string& part) {
    if (!text.empty()) text += ", ";
    text += part;
  };
  if (!node.empty()) add("node " + node);
  if (!dialect.empty()) add(dialect);
  for (const auto& [what, degree, cipher] :
       {std::tuple{"signing ", &signing, &signingCipher},
        std::tuple{"encryption ", &encryption, &encryptionCipher}}) {
    if (degree->empty() && cipher->empty()) continue;
    add(what + (degree->empty() ? std::string("?") : *degree) +
        (cipher->empty() ? std::string() : " (" + *cipher + ")"));
  }
  return text;
}

bool SessionSecurity::Weaker(const SessionSecurity& a, const SessionSecurity& b) {
  return std::make_tuple(DialectRank(a.dialect), DegreeRank(a.signing), DegreeRank(a.encryption)) <
         std::make_tuple(DialectRank(b.dialect), DegreeRank(b.signing), DegreeRank(b.encryption));
}

}  // namespace qm
