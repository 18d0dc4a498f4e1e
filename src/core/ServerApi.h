// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/PlatformString.h"
#include "core/PlatformText.h"
#include "core/ServerBackend.h"

namespace qm {

// An NT-family result buffer goes back to the back end that handed it out,
// once, when its owner lets it go.
struct NtBufferRelease {
  ServerBackend* backend = nullptr;
  void operator()(NtBuffer* buffer) const {
    // The platform's answer is not examined.
    backend->NetApiBufferFree(buffer);
  }
};
using NtResultBuffer = std::unique_ptr<NtBuffer, NtBufferRelease>;

// The only part of the program that talks to the file-sharing server
// service. Init enumerates and gives the number of entries (or the
// platform status negated, or -1), accessors read entry i, Exit releases.
// Calling order per kind: Init, accessors, Exit, before the next Init of
// that kind.
class ServerApi {
 public:
  explicit ServerApi(ServerBackend& backend);
  ~ServerApi();
  ServerApi(const ServerApi&) = delete;
  ServerApi& operator=(const ServerApi&) = delete;

  // 0: NT family bound; 1: 95/98 bound; -1: the service cannot be bound
  // (LoadError() says why).
  int LoadServerApi();
  void UnloadServerApi();
  bool IsNT() const { return isNT_; }
  ServerBackend& Backend() { return backend_; }
  // The back end's readings, as ServerBackend describes them.
  bool StartReading() { return loaded_ && backend_.StartReading(); }
  bool ReadingComplete() { return !loaded_ || backend_.ReadingComplete(); }
  void SetReadingWakeUp(std::function<void()> wakeUp) {
    backend_.SetReadingWakeUp(std::move(wakeUp));
  }
  void SetReadingObserver(std::function<void(bool ok, double seconds)> observer) {
    backend_.SetReadingObserver(std::move(observer));
  }
  std::vector<std::string> TakeNotices() { return backend_.TakeNotices(); }
  bool Loaded() const { return loaded_; }
  const std::string& LoadError() const { return loadError_; }

  int SharesInit();
  PlatformString ShareName(int i) const;
  PlatformString SharePath(int i) const;
  std::uint16_t ShareType(int i) const;  // 65535 out of range
  int SharesExit();

  int ConnectionsInit(PlatformString share);
  PlatformString ConnectionClient(int i) const;
  PlatformString ConnectionUser(int i) const;
  // The address the server recorded for the client (null on 95/98 or when
  // it does not tell): with the name, the client's identity.
  PlatformString ConnectionAddress(int i) const;
  int ConnectionsExit();

  int FilesInit(PlatformString user, PlatformString basePath);
  // NT family: the open files of connection i of the current connection
  // result (its client through its share) where the server knows who holds
  // each file; otherwise as FilesInit(user, basePath). On 95/98 every open
  // file, as FilesInit.
  int FilesInitOfConnection(int connection, PlatformString user, PlatformString basePath);
  PlatformString OpenFilePath(int i) const;
  PlatformString OpenFileUser(int i) const;
  PlatformString OpenFileShare(int i) const;  // null on the NT family
  int FilesExit();

  // Sessions keep one result per calling thread, so a lookup thread's
  // enumeration never shares its storage with the user-interface thread's.
  int SessionsInit();
  PlatformString SessionClient(int i) const;
  PlatformString SessionUser(int i) const;
  PlatformString SessionAddress(int i) const;  // as ConnectionAddress
  std::int32_t SessionKey(int i) const;        // 0 on NT; -1 out of range on 95/98
  int SessionsExit();

  // The platform's status unchanged (0 success, else positive). With an
  // address (NT family): only the client's sessions from that address.
  NetStatus DeleteSession(PlatformString client, PlatformString user, std::uint32_t key,
                          PlatformString address = nullptr);

  std::string FromPlatformString(PlatformString p) const;
  // The same into out, reusing its storage.
  void FromPlatformString(PlatformString p, std::string& out) const;
  // In the bound family's encoding; it owns its characters.
  PlatformText ToPlatformString(std::string_view s) const;
  // Whether FromPlatformString(p) would give text (which, like every
  // program string from the platform, holds no zero byte), found without
  // making the string.
  bool SameText(PlatformString p, const std::string& text) const {
    return MatchedText(p, text.c_str()) == text.size();
  }
  // The same against a text ended by a zero byte: its length when it is
  // the same, else npos.
  std::size_t MatchedText(PlatformString p, const char* text) const;
  // Null or the empty string.
  bool EmptyText(PlatformString p) const { return p.IsEmpty(); }

  // Calls the 95/98 family allocations go through; a test makes them fail.
  void SetAllocationFailure(bool fail) { failAllocations_ = fail; }
  // Size of the last 95/98 buffer allocated per kind (0: none), for tests.
  std::uint32_t LastBufferSize(int kind) const { return lastBufferSize_[kind]; }
  enum Kind { kShares = 0, kConnections = 1, kFiles = 2, kSessions = 3 };

 private:
  // One current result of one kind.
  struct Result {
    NtResultBuffer nt;           // NT: platform buffer
    std::vector<char> buffer95;  // 95/98: our buffer
    bool has95 = false;
    std::uint32_t read = 0;
    std::uint32_t total = 0;
  };
  int Enumerate95(Kind kind, Result& r, const char* qualifier);
  int Release(Result& r);
  // Takes the buffer an NT-family enumeration handed out into r; false
  // (and r released) when it holds another kind of records.
  template <typename Record>
  bool Adopt(Result& r, NtBuffer* buffer);
  bool InRange(const Result& r, int i) const {
    return i >= 0 && static_cast<std::uint32_t>(i) < r.read;
  }
  const char* String95(const Result& r, int i, int recordSize, int offset) const;
  Result& SessionResult();
  const Result* SessionResultIfAny() const;

  ServerBackend& backend_;
  bool loaded_ = false;
  bool isNT_ = false;
  std::string loadError_;
  bool failAllocations_ = false;
  // Lookup threads enumerate sessions beside the user-interface thread.
  std::atomic<std::uint32_t> lastBufferSize_[4] = {0, 0, 0, 0};
  Result shares_, connections_, files_;
  std::u16string connectionsShare_;  // the qualifier of the current connection result
  mutable std::mutex sessionsMutex_;
  std::unordered_map<std::thread::id, Result> sessions_;
};

}  // namespace qm
