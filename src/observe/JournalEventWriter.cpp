// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/JournalEventWriter.h"

#include <sys/stat.h>
#include <sys/uio.h>
#include <syslog.h>
#include <systemd/sd-journal.h>

#include <cstdio>
#include <cstdlib>

#include "core/Resources.h"
#include "observe/MetricsSnapshot.h"

namespace qm {

namespace {
constexpr const char* kIdentifier = "SYSLOG_IDENTIFIER=quillmoor98";

void Send(const std::vector<std::string>& fields) {
  std::vector<iovec> parts;
  parts.reserve(fields.size());
  for (const std::string& f : fields) {
    parts.push_back({const_cast<char*>(f.data()), f.size()});
  }
  sd_journal_sendv(parts.data(), static_cast<int>(parts.size()));
}
}  // namespace

namespace {
std::string FindingMessage(const ConnectionEvent& e) {
  switch (e.finding) {
    case ConnectionEvent::Finding::Smb1:
      return "user " + e.client + " speaks SMB1 (" + e.security.dialect + ")";
    case ConnectionEvent::Finding::Unsigned:
      return "user " + e.client + " signs nothing it sends";
    case ConnectionEvent::Finding::Unencrypted:
      return "user " + e.client + " uses share " + e.share +
             " without encryption, which the share requires";
    case ConnectionEvent::Finding::None:
      break;
  }
  return "user " + e.client;
}
}  // namespace

std::vector<std::string> JournalEventWriter::Fields(const ConnectionEvent& e) {
  const bool finding = e.kind == ConnectionEvent::Kind::Security;
  std::string where = e.client;
  if (!e.share.empty()) where += " > " + e.share;
  if (!e.path.empty()) where += " > " + e.path;
  const bool end = e.type == ConnectionEvent::Type::End;
  std::string message;
  if (e.type == ConnectionEvent::Type::Found) {
    message = "found user " + e.client + " (" + FoundText(e.address, e.host) + ")";
  } else {
    message = std::string(end ? "ended " : "connected ") + KindName(e.kind) + " " + where + " (" +
              StatusText(e.status) + ")";
  }
  if (e.rule) message += " by " + std::string(RuleLabel(*e.rule));
  if (finding) message = FindingMessage(e);
  // A weakness of a session and a disconnection are worth a look; the
  // comings and goings are routine.
  const int priority = finding                                   ? LOG_WARNING
                       : e.rule || (end && e.status == stKicked) ? LOG_NOTICE
                                                                 : LOG_INFO;

  std::vector<std::string> fields = {
      "MESSAGE=" + message,
      "PRIORITY=" + std::to_string(priority),
      kIdentifier,
      std::string("QUILLMOOR98_EVENT=") + (finding ? FindingName(e.finding) : TypeName(e.type)),
      std::string("QUILLMOOR98_KIND=") + KindName(e.kind),
      std::string("QUILLMOOR98_STATUS=") + StatusLabel(e.status),
      "QUILLMOOR98_CLIENT=" + e.client,
  };
  auto optional = [&fields](const char* name, const std::string& value) {
    if (!value.empty()) fields.push_back(std::string(name) + "=" + value);
  };
  optional("QUILLMOOR98_ACCOUNT", e.account);
  optional("QUILLMOOR98_ADDRESS", e.address);
  optional("QUILLMOOR98_HOST", e.host);
  optional("QUILLMOOR98_SHARE", e.share);
  optional("QUILLMOOR98_PATH", e.path);
  if (e.rule) fields.push_back(std::string("QUILLMOOR98_RULE=") + RuleLabel(*e.rule));
  optional("QUILLMOOR98_NODE", e.security.node);
  optional("QUILLMOOR98_DIALECT", e.security.dialect);
  optional("QUILLMOOR98_SIGNING", e.security.signing);
  optional("QUILLMOOR98_SIGNING_CIPHER", e.security.signingCipher);
  optional("QUILLMOOR98_ENCRYPTION", e.security.encryption);
  optional("QUILLMOOR98_ENCRYPTION_CIPHER", e.security.encryptionCipher);
  return fields;
}

std::vector<std::string> JournalEventWriter::Fields(const ControlEvent& e) {
  std::vector<std::string> fields = {"MESSAGE=" + e.Text(),
                                     "PRIORITY=" + std::to_string(LOG_NOTICE),
                                     kIdentifier,
                                     "QUILLMOOR98_EVENT=control",
                                     "QUILLMOOR98_ACTION=" + e.action,
                                     "QUILLMOOR98_TARGET=" + e.target,
                                     "QUILLMOOR98_UID=" + std::to_string(e.uid)};
  if (!e.outcome.empty()) fields.push_back("QUILLMOOR98_OUTCOME=" + e.outcome);
  if (!e.address.empty()) fields.push_back("QUILLMOOR98_ADDRESS=" + e.address);
  if (!e.reason.empty()) fields.push_back("QUILLMOOR98_REASON=" + e.reason);
  return fields;
}

void JournalEventWriter::Write(const ControlEvent& event) {
  Send(Fields(event));
}

void JournalEventWriter::Connection(const ConnectionEvent& event) {
  if (Written(event)) Write(event);
}

void JournalEventWriter::Write(const ConnectionEvent& event) {
  Send(Fields(event));
}

void JournalEventWriter::Message(int priority, const std::string& text) {
  Send({"MESSAGE=" + text, "PRIORITY=" + std::to_string(priority), kIdentifier});
}

bool JournalEventWriter::IsJournalStream(int fd) {
  const char* value = std::getenv("JOURNAL_STREAM");
  if (!value) return false;
  unsigned long long device = 0, inode = 0;
  if (std::sscanf(value, "%llu:%llu", &device, &inode) != 2) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  return st.st_dev == device && st.st_ino == inode;
}

}  // namespace qm
