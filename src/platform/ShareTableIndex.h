// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/ServerBackend.h"
#include "core/ServerTables.h"

namespace qm {

// The indexes over one share reading, so that a tick's enumerations stay
// linear in what they list: connections by share, open files by account
// and (NT family) by holder, and the wide texts of the rows. A reading
// like the one before allocates next to nothing: the indexes keep their
// keys, and rows that did not change keep their wide texts.
class ShareTableIndex {
 public:
  // Over now, a new reading; before: the reading before it.
  void Rebuild(const ServerTables& now, const ServerTables& before, bool is95);

  // The rows of now.connections to share (compared without regard to
  // case) / of now.files held by the account user; null: none.
  const std::vector<std::size_t>* ConnectionsOf(const std::string& share) const;
  const std::vector<std::size_t>* FilesOf(const std::string& user) const;

  // NT family: the rows' wide texts, shared with the results that hand
  // them out (a reading makes new ones; older results keep theirs).
  const std::shared_ptr<std::vector<CONNECTION_INFO_1>>& WideConnections() const {
    return wideConnections_;
  }
  const std::shared_ptr<std::vector<FILE_INFO_3>>& WideFiles() const { return wideFiles_; }

  // NT family: adds to picked the rows of the files the client (from
  // address) holds through share; connection, when it is the row of
  // WideConnections() whose client text is client, finds them without a
  // lookup. With a base path, also the files under it that name the
  // client but no share, and those that name no client but are held by
  // the account userName (any account when null).
  void PickFilesOfConnection(const char16_t* share, const char16_t* client,
                             std::u16string_view address, std::uint32_t connection,
                             std::u16string_view base, const char16_t* userName,
                             std::vector<std::uint32_t>& picked);

 private:
  // holderKey_ for a narrow share name and client.
  void NarrowHolderKey(const std::string& share, const std::string& client,
                       const std::string& address);

  std::unordered_map<std::string, std::vector<std::size_t>> connectionsByShare_;
  std::unordered_map<std::string, std::vector<std::size_t>> filesByUser_;
  // Open files by holder: the upper-cased share name, a zero, the client,
  // a zero, its address (a file that names no share: an empty share name).
  std::unordered_map<std::u16string, std::vector<std::uint32_t>> filesByHolder_;
  std::vector<std::uint32_t> filesOfNoClient_;
  bool filesWithoutShare_ = false;  // some file names its client but no share
  std::u16string holderKey_;        // reused for every lookup
  std::u16string holderShare_, holderClient_, holderAddress_;
  // Per connection row: its holder's entry of filesByHolder_ (null: none).
  std::vector<const std::vector<std::uint32_t>*> filesOfConnection_;
  std::shared_ptr<std::vector<CONNECTION_INFO_1>> wideConnections_;
  std::shared_ptr<std::vector<FILE_INFO_3>> wideFiles_;
};

}  // namespace qm
