// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <sys/types.h>

#include <string>

#include "os/FileDescriptor.h"

namespace qm {

// The control socket's file: where it lives, who may connect, and a stale
// one left by a killed run.
class ControlSocket {
 public:
  // The service's socket.
  static constexpr const char* kServicePath = "/run/quillmoor98/control";
  // The group whose members may use the service's socket.
  static constexpr const char* kGroup = "quillmoor98";

  // How user joins kGroup: "sudo adduser USER quillmoor98, then log in
  // again" (a running session keeps the groups it began with).
  static std::string HowToJoinGroup(const std::string& user);
  // The same for the user running this program.
  static std::string HowToJoinGroup();

  // Where the console listens without --control or QUILLMOOR98_CONTROL:
  // $RUNTIME_DIRECTORY/control under systemd; a user's console
  // $XDG_RUNTIME_DIR/quillmoor98/control; root kServicePath; otherwise
  // empty (no socket).
  static std::string DefaultPath();
  // Where the command line looks: QUILLMOOR98_CONTROL, else the user's
  // console when its socket exists in a folder of the user's own, else the
  // service's.
  static std::string ClientPath();

  // Binds and listens at path: mode 0660 and the group quillmoor98 when
  // root and the group exists, 0600 otherwise. A socket file nobody
  // listens at any more is replaced; a live one, or a file of another
  // kind, is an error. The folder is reached without following a link
  // that belongs to anybody but root or the running user, made when
  // missing, and must be one nobody else may write (a sticky one aside);
  // otherwise nothing is made there and error says why. Returns the
  // descriptor, or -1 with error set.
  int Listen(const std::string& path, std::string& error);
  // Removes the socket file, if it is still the one Listen made.
  void Remove();

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string name_;
  FileDescriptor folder_;  // the socket's folder as Listen reached it
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

}  // namespace qm
