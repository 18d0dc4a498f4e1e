// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// A section of smb.conf that defines a share.
struct SambaShare {
  std::string name;
  std::string path;
  bool printable = false;  // a print queue
  // Clients must encrypt their traffic with it (its own "smb encrypt", else
  // the [global] one, says "required").
  bool encryptionRequired = false;
};

// The shares of an smb.conf as `testparm -s` prints it (sections "[name]",
// then "key = value" lines). [global] gives settings, not a share; [homes]
// and [printers] are templates that Samba turns into shares of their own
// names when clients connect, so they are kept apart.
class SambaShareList {
 public:
  static SambaShareList Parse(std::string_view testparmOutput);

  // The shares in file order, templates left out.
  const std::vector<SambaShare>& Shares() const { return shares_; }
  const std::optional<SambaShare>& Homes() const { return homes_; }
  const std::optional<SambaShare>& Printers() const { return printers_; }
  // A [global] setting as written ("" when absent); keys ignore case and blanks.
  std::string Global(std::string_view key) const;
  // Whether [global] makes every share require encryption.
  bool EncryptionRequiredByDefault() const;
  // The listed share of that name (names ignore letter case), or null.
  const SambaShare* Find(std::string_view name) const;

 private:
  std::vector<SambaShare> shares_;
  std::optional<SambaShare> homes_;
  std::optional<SambaShare> printers_;
  std::map<std::string, std::string> global_;
};

}  // namespace qm
