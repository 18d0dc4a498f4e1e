// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/SessionSecurity.h"

namespace qm {

// Statuses of the platform's server service that the program reacts to.
using NetStatus = std::uint32_t;
inline constexpr NetStatus NERR_Success = 0;
inline constexpr NetStatus ERROR_ACCESS_DENIED = 5;
inline constexpr NetStatus ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr NetStatus ERROR_INVALID_PARAMETER = 87;
inline constexpr NetStatus ERROR_MORE_DATA = 234;
inline constexpr NetStatus NERR_BufTooSmall = 2123;
inline constexpr NetStatus NERR_ServerNotStarted = 2114;
inline constexpr NetStatus NERR_RemoteErr = 2127;
inline constexpr NetStatus NERR_NetNameNotFound = 2310;
inline constexpr NetStatus NERR_ClientNameNotFound = 2312;
// Our own (bit 29 marks an application's own codes): the server runs, but
// its state could not be read this time (a tool too slow or failing). The
// refresh cycle then changes nothing.
inline constexpr NetStatus kServerStateUnreadable = 0x20000003;

// Version value: bit 31 set means the 95/98 family.
inline constexpr std::uint32_t kVersion95Bit = 0x80000000u;

// ---- NT family records (wide strings; the platform allocates the buffer) ----
struct SHARE_INFO_2 {
  std::u16string shi2_netname;
  std::uint32_t shi2_type = 0;
  std::u16string shi2_path;
};
// A client is a name from an address: the name is the client's own choice,
// the address the one the server recorded for its session (empty when the
// server does not tell), so one name from two addresses is two clients.
struct CONNECTION_INFO_1 {
  std::u16string coni1_netname;   // the client's name
  std::u16string coni1_username;  // the account
  std::u16string coni1_address;   // the client's address
};
struct FILE_INFO_3 {
  std::u16string fi3_pathname;
  std::u16string fi3_username;
};
struct SESSION_INFO_1 {
  std::u16string sesi1_cname;
  std::u16string sesi1_username;
  std::u16string sesi1_address;  // as coni1_address
};

// A result buffer handed out by an NT-family enumeration; only
// NetApiBufferFree of the same backend releases it.
struct NtBuffer {
  virtual ~NtBuffer() = default;
};
template <typename Record>
struct NtRecords final : NtBuffer {
  // Either records made for this result...
  std::vector<Record> owned;
  // ...or some of a server's own records, kept alive while the result is.
  std::shared_ptr<const std::vector<Record>> shared;
  std::vector<std::uint32_t> picked;  // with shared: which ones, in order

  std::size_t size() const { return shared ? picked.size() : owned.size(); }
  const Record& at(std::size_t i) const { return shared ? (*shared)[picked[i]] : owned[i]; }
};

// ---- 95/98 family records (single-byte strings; the caller's buffer) ----
// Fixed record sizes and the bytes reserved per entry (record + strings).
inline constexpr std::uint16_t kShareInfo50Size = 42;
inline constexpr std::uint16_t kConnectionInfo50Size = 16;
inline constexpr std::uint16_t kFileInfo50Size = 20;
inline constexpr std::uint16_t kSessionInfo50Size = 26;
inline constexpr std::uint32_t kShare50Reserve = 554;
inline constexpr std::uint32_t kConnection50Reserve = 528;
inline constexpr std::uint32_t kFile50Reserve = 788;
inline constexpr std::uint32_t kSession50Reserve = 538;

// Offsets inside the fixed records. A string field holds a 32-bit offset
// from the start of the buffer to a zero-terminated string (the buffer is
// the platform's address space); 0 is the null pointer, as no string can
// start where the first record does.
namespace info50 {
inline constexpr int shi50_netname = 0;  // char[13]
inline constexpr int shi50_type = 13;    // byte
inline constexpr int shi50_flags = 14;   // u16
inline constexpr int shi50_remark = 16;  // string
inline constexpr int shi50_path = 20;    // string
inline constexpr int coni50_type = 0;
inline constexpr int coni50_num_opens = 2;
inline constexpr int coni50_time = 4;
inline constexpr int coni50_netname = 8;    // string
inline constexpr int coni50_username = 12;  // string
inline constexpr int fi50_id = 0;
inline constexpr int fi50_permissions = 4;
inline constexpr int fi50_num_locks = 6;
inline constexpr int fi50_pathname = 8;    // string
inline constexpr int fi50_username = 12;   // string
inline constexpr int fi50_sharename = 16;  // string
inline constexpr int sesi50_cname = 0;     // string
inline constexpr int sesi50_username = 4;  // string
inline constexpr int sesi50_key = 8;       // u32
}  // namespace info50

// The server service as the platform offers it. Every call addresses the
// local computer. Implementations: the real Samba server and the simulated
// server.
class ServerBackend {
 public:
  virtual ~ServerBackend() = default;

  // False when the service cannot be set up at all; why says so.
  virtual bool Load(std::string& why) = 0;
  virtual void Unload() {}
  virtual std::uint32_t GetVersion() = 0;

  // On: the server's state is read on a worker when StartReading asks,
  // and the enumerations answer at once from the newest complete reading;
  // disconnections run on the worker too, before the next reading. Off: a
  // share enumeration reads the state itself, so it reflects a reading
  // taken after it was called. Servers that read quickly ignore it.
  virtual void SetReadAhead(bool /*on*/) {}
  // A tick is due: starts a reading of the server's state. True when one
  // is under way and the tick is to be run once ReadingComplete(); false
  // when the share enumeration reads the state itself.
  virtual bool StartReading() { return false; }
  // The reading StartReading started has ended (or failed): the next share
  // enumeration applies it.
  virtual bool ReadingComplete() { return true; }
  // On: a deletion returns what happened, even with read-ahead, so that a
  // command answers with its outcome (it waits for the server's tools);
  // off: with read-ahead a deletion is queued and returns 0.
  virtual void SetDeletionsWait(bool /*on*/) {}
  // Why the last deletion that waited failed, in the server's own words,
  // where its status alone does not say (a tool that failed, a cluster
  // node that cannot be told); "" otherwise.
  virtual std::string DeletionFailure() const { return {}; }
  // What the user is to be told about the server, each thing once (its
  // state cannot be read, and can again; its configuration has an error).
  virtual std::vector<std::string> TakeNotices() { return {}; }

  // What the last share enumeration learnt of a client's sessions beyond
  // its records; false when the server tells nothing of it.
  virtual bool ClientSecurity(const std::string& /*client*/, SessionSecurity& /*security*/) {
    return false;
  }

  // Told of every reading of the server's state: whether it succeeded and
  // how long it took; it may be called on the thread that read. Null: none.
  void SetReadingObserver(std::function<void(bool ok, double seconds)> observer) {
    std::lock_guard lock(observerMutex_);
    observer_ = std::move(observer);
  }

  // Called (on the reading's thread) when a reading StartReading asked for
  // is complete; it must only wake the thread that runs the ticks. Null:
  // none.
  void SetReadingWakeUp(std::function<void()> wakeUp) {
    std::lock_guard lock(observerMutex_);
    wakeUp_ = std::move(wakeUp);
  }

  // NT family. On success (0, 234, 2123) *buffer holds the entries read.
  virtual NetStatus NetShareEnum(NtBuffer** buffer, std::uint32_t& read, std::uint32_t& total) = 0;
  virtual NetStatus NetConnectionEnum(const char16_t* qualifier, NtBuffer** buffer,
                                      std::uint32_t& read, std::uint32_t& total) = 0;
  virtual NetStatus NetFileEnum(const char16_t* basePath, const char16_t* userName,
                                NtBuffer** buffer, std::uint32_t& read, std::uint32_t& total) = 0;
  // The open files one connection holds: those the client opened through
  // that share. A server that cannot tell who holds a file lists by
  // account and base path instead, as NetFileEnum does.
  // connection: the connection's place among the server's own records
  // when the connection enumeration handed those out (see NtRecords), else
  // UINT32_MAX; a hint only, checked against client. address: the
  // client's (coni1_address), null when not told.
  virtual NetStatus NetFileEnumOfConnection(const char16_t* share, const char16_t* client,
                                            const char16_t* address, std::uint32_t connection,
                                            const char16_t* basePath, const char16_t* userName,
                                            NtBuffer** buffer, std::uint32_t& read,
                                            std::uint32_t& total) {
    (void)share;
    (void)client;
    (void)address;
    (void)connection;
    return NetFileEnum(basePath, userName, buffer, read, total);
  }
  virtual NetStatus NetSessionEnum(NtBuffer** buffer, std::uint32_t& read,
                                   std::uint32_t& total) = 0;
  virtual NetStatus NetSessionDel(const char16_t* clientName, const char16_t* userName) = 0;
  // Only the sessions of clientName from that address (as the session
  // records give it); a server that keys clients on names alone ends them
  // all.
  virtual NetStatus NetSessionDelFrom(const char16_t* clientName, const char16_t* address,
                                      const char16_t* userName) {
    (void)address;
    return NetSessionDel(clientName, userName);
  }
  virtual NetStatus NetApiBufferFree(NtBuffer* buffer) = 0;

  // 95/98 family: with size 0 only total is reported; otherwise the records
  // are written into buffer. A buffer too small gives NERR_BufTooSmall or
  // ERROR_MORE_DATA (with the entries that fit), and needed says how many
  // bytes the whole list takes, so the caller can ask again with that
  // size; counts stay 16-bit.
  virtual NetStatus NetShareEnum50(char* buffer, std::uint32_t size, std::uint16_t& read,
                                   std::uint16_t& total, std::uint32_t& needed) = 0;
  virtual NetStatus NetConnectionEnum50(const char* qualifier, char* buffer, std::uint32_t size,
                                        std::uint16_t& read, std::uint16_t& total,
                                        std::uint32_t& needed) = 0;
  virtual NetStatus NetFileEnum50(const char* basePath, char* buffer, std::uint32_t size,
                                  std::uint16_t& read, std::uint16_t& total,
                                  std::uint32_t& needed) = 0;
  virtual NetStatus NetSessionEnum50(char* buffer, std::uint32_t size, std::uint16_t& read,
                                     std::uint16_t& total, std::uint32_t& needed) = 0;
  virtual NetStatus NetSessionDel50(const char* clientName, std::uint16_t key) = 0;

 protected:
  void ReadingDone(bool ok, double seconds) {
    std::lock_guard lock(observerMutex_);
    if (observer_) observer_(ok, seconds);
  }
  void ReadingReady() {
    std::lock_guard lock(observerMutex_);
    if (wakeUp_) wakeUp_();
  }

 private:
  std::mutex observerMutex_;
  std::function<void(bool, double)> observer_;
  std::function<void()> wakeUp_;
};

}  // namespace qm
