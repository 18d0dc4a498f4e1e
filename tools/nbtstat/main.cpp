// quillmoor98-nbtstat -s | -S
//
// Prints the session table of the configured server backend
// (QUILLMOOR98_SERVER) in nbtstat's layout: -s with the remote computers'
// names, -S with their addresses, both starting in the same column. Exit
// status 0 on success; 1 (with one line on standard error) when the table
// cannot be read; 2 for a wrong command line.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/ServerBackendFactory.h"
#include "platform/TableServerBackend.h"
#include "resolve/SessionListing.h"

namespace {

constexpr const char* kProgram = "quillmoor98-nbtstat";

int Fail(const std::string& why) {
  std::cerr << kProgram << ": " << why << '\n';
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string option = argc == 2 ? argv[1] : "";
  if (option != "-s" && option != "-S") {
    std::cerr << "usage: " << kProgram << " -s | -S\n";
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
  const auto remote =
      option == "-s" ? qm::SessionListing::Remote::Names : qm::SessionListing::Remote::Addresses;
  std::cout << qm::SessionListing::Format(sessions, remote, qm::SessionListing::LocalName());
  std::cout.flush();
  if (!std::cout) return Fail("the listing cannot be written");
  return 0;
}
