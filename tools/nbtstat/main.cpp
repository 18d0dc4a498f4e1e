// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// quillmoor98-nbtstat -s | -S | -s -S
//
// Prints the session table of the configured server backend
// (QUILLMOOR98_SERVER) in nbtstat's layout: -s with the remote computers'
// names, -S with their addresses, both starting in the same column. Given
// both, it prints both listings of one reading, names first, parted by a
// line holding only a form feed. Exit status 0 on success; 1 (with one
// line on standard error) when the table cannot be read; 2 for a wrong
// command line.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/ServerBackendFactory.h"
#include "platform/TableServerBackend.h"
#include "resolve/NameTable.h"
#include "resolve/SessionListing.h"

namespace {

constexpr const char* kProgram = "quillmoor98-nbtstat";

int Fail(const std::string& why) {
  std::cerr << kProgram << ": " << why << '\n';
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  bool names = false, addresses = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "-s" && !names) {
      names = true;
    } else if (option == "-S" && !addresses) {
      addresses = true;
    } else {
      names = addresses = false;
      break;
    }
  }
  if (!names && !addresses) {
    std::cerr << "usage: " << kProgram << " -s | -S | -s -S\n";
    return 2;
  }
  std::string why;
  auto backend = qm::CreateServerBackendFromEnvironment(why);
  if (!backend) return Fail(why);
  auto* tables = dynamic_cast<qm::TableServerBackend*>(backend.get());
  if (!tables) return Fail("the server backend keeps no session table");
  if (!backend->Load(why)) return Fail(why);
  std::vector<qm::ServerTables::Session> sessions;
  const qm::NetStatus status = tables->SessionTable(sessions);
  backend->Unload();
  if (status != qm::NERR_Success) {
    return Fail("the session table cannot be read (status " + std::to_string(status) + ")");
  }
  const std::string local = qm::SessionListing::LocalName();
  using Remote = qm::SessionListing::Remote;
  if (names) std::cout << qm::SessionListing::Format(sessions, Remote::Names, local);
  if (names && addresses) std::cout << qm::NameTable::kListingSeparator << '\n';
  if (addresses) std::cout << qm::SessionListing::Format(sessions, Remote::Addresses, local);
  std::cout.flush();
  if (!std::cout) return Fail("the listing cannot be written");
  return 0;
}
