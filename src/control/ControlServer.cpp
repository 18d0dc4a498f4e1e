// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "control/ControlServer.h"

#include <linux/sockios.h>
#include <microhttpd.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

#include "observe/HttpReply.h"

namespace qm {

namespace {
using SteadyClock = std::chrono::steady_clock;
constexpr auto kKeepAliveAfter = std::chrono::seconds(15);
constexpr const char* kJson = "application/json";

int ConnectionFd(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  return info ? info->connect_fd : -1;
}

uid_t PeerUid(MHD_Connection* connection) {
  ucred cred{};
  socklen_t size = sizeof cred;
  const int fd = ConnectionFd(connection);
  if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0) {
    return static_cast<uid_t>(-1);
  }
  return cred.uid;
}

MHD_Result CollectArgument(void* cls, MHD_ValueKind /*kind*/, const char* key, const char* value) {
  (*static_cast<std::map<std::string, std::string>*>(cls))[key] = value ? value : "";
  return MHD_YES;
}

int Reply(MHD_Connection* connection, unsigned status, const std::string& text, const char* type) {
  return HttpReply::Queue(connection, status, text, type,
                          {{MHD_HTTP_HEADER_CACHE_CONTROL, "no-store"}});
}

std::string ErrorBody(const std::string& reason) {
  // The reasons here are fixed texts without characters JSON escapes.
  return "{\"error\":\"" + reason + "\"}\n";
}
}  // namespace

struct ControlServer::Exchange {
  ControlRequest request;
  MHD_Connection* connection = nullptr;
  SteadyClock::time_point queued;
  bool tooLarge = false;
  bool answered = false;
};

struct ControlServer::Stream {
  ControlServer* server = nullptr;
  MHD_Connection* connection = nullptr;
  uid_t uid = static_cast<uid_t>(-1);
  // Since when what was sent lies unread in the socket.
  std::optional<SteadyClock::time_point> unreadSince;
  std::string buffer;
  bool suspended = false;
  bool overrun = false;
  SteadyClock::time_point lastWrite = SteadyClock::now();
};

namespace {
MHD_Result Dispatch(void* cls, MHD_Connection* connection, const char* url, const char* method,
                    const char* /*version*/, const char* upload, size_t* uploadSize, void** state) {
  auto*& exchange = reinterpret_cast<ControlServer::Exchange*&>(*state);
  return static_cast<ControlServer*>(cls)->Access(connection, exchange, url, method, upload,
                                                  uploadSize)
             ? MHD_YES
             : MHD_NO;
}

void Completed(void* cls, MHD_Connection* connection, void** state,
               MHD_RequestTerminationCode /*code*/) {
  static_cast<ControlServer*>(cls)->ExchangeDone(connection,
                                                 static_cast<ControlServer::Exchange*>(*state));
  *state = nullptr;
}

void ConnectionNotice(void* cls, MHD_Connection* connection, void** /*state*/,
                      MHD_ConnectionNotificationCode code) {
  static_cast<ControlServer*>(cls)->Notify(connection, code == MHD_CONNECTION_NOTIFY_STARTED);
}

ssize_t ReadStreamCallback(void* cls, uint64_t /*position*/, char* buffer, size_t max) {
  auto* stream = static_cast<ControlServer::Stream*>(cls);
  return stream->server->ReadStream(*stream, buffer, max);
}

void FreeStreamCallback(void* cls) {
  auto* stream = static_cast<ControlServer::Stream*>(cls);
  stream->server->StreamGone(stream);
}
}  // namespace

bool ControlServer::AlwaysServed(uid_t uid) const {
  return limits_.alwaysServed ? limits_.alwaysServed(uid) : uid == 0 || uid == ::geteuid();
}

ControlServer::ControlServer(Limits limits) : limits_(std::move(limits)) {
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

ControlServer::~ControlServer() {
  Stop();
  if (wake_ >= 0) ::close(wake_);
}

bool ControlServer::Start(int listenFd, std::string& error) {
  Stop();
  stopping_ = false;
  listenFd_ = listenFd;
  warden_ = std::make_unique<ConnectionWarden>(
      ConnectionWarden::Limits::From(limits_, limits_.connectionsPerUser));
  errno = 0;
  // The loop is ours, so that the deadlines are kept on the thread that
  // owns the connections. The daemon's own limit leaves root as many
  // connections again beside the others'.
  daemon_ = MHD_start_daemon(
      MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME, 0, nullptr, nullptr, &Dispatch, this,
      MHD_OPTION_LISTEN_SOCKET, listenFd, MHD_OPTION_NOTIFY_COMPLETED, &Completed, this,
      MHD_OPTION_NOTIFY_CONNECTION, &ConnectionNotice, this, MHD_OPTION_CONNECTION_LIMIT,
      2 * limits_.connections, MHD_OPTION_CONNECTION_TIMEOUT, limits_.idleSeconds,
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(limits_.requestBytes),
      MHD_OPTION_END);
  if (!daemon_) {
    const int saved = errno;
    error = "cannot serve the control socket" +
            (saved ? std::string(": ") + std::strerror(saved) : std::string());
    ::close(listenFd_);
    listenFd_ = -1;
    return false;
  }
  watch_ = std::thread([this] { Watch(); });
  lastStallCheck_ = SteadyClock::now();
  loop_.Start(daemon_, [this] { Between(); });
  return true;
}

void ControlServer::Between() {
  const auto now = SteadyClock::now();
  warden_->Sweep(now);
  if (now - lastStallCheck_ >= std::chrono::seconds(1)) {
    lastStallCheck_ = now;
    CutStalledStreams();
  }
}

void ControlServer::CutStalledStreams() {
  const auto now = SteadyClock::now();
  const auto limit = std::chrono::seconds(limits_.streamStallSeconds);
  std::lock_guard lock(mutex_);
  for (Stream* s : streams_) {
    // What the socket still holds is what its reader has not read.
    int unread = 0;
    const int fd = ConnectionFd(s->connection);
    if (fd < 0 || ::ioctl(fd, SIOCOUTQ, &unread) != 0 || unread == 0) {
      s->unreadSince.reset();
      continue;
    }
    if (!s->unreadSince) s->unreadSince = now;
    if (now - *s->unreadSince < limit || s->overrun) continue;
    s->overrun = true;
    if (s->suspended) {
      s->suspended = false;
      MHD_resume_connection(s->connection);
      loop_.Wake();
    }
  }
}

void ControlServer::Notify(MHD_Connection* connection, bool started) {
  if (!started) {
    warden_->Closed(connection);
    return;
  }
  const uid_t uid = PeerUid(connection);
  warden_->Started(connection, ConnectionFd(connection), std::to_string(uid), AlwaysServed(uid),
                   SteadyClock::now());
}

void ControlServer::Watch() {
  std::unique_lock lock(mutex_);
  const auto limit = std::chrono::seconds(limits_.answerSeconds);
  while (!stopping_) {
    watchWake_.wait_for(lock, std::chrono::seconds(1));
    const auto now = SteadyClock::now();
    // A monitor that is stuck must not hold its callers, nor their
    // connections, without end.
    std::erase_if(pending_, [&](Exchange* x) {
      if (now - x->queued < limit) return false;
      Expire(x, "the monitor did not answer in time");
      return true;
    });
  }
}

void ControlServer::Expire(Exchange* x, const char* reason) {
  x->request.status = 503;
  x->request.contentType = kJson;
  x->request.answer = ErrorBody(reason);
  x->answered = true;
  MHD_resume_connection(x->connection);
  loop_.Wake();
}

void ControlServer::Stop() {
  if (!daemon_) return;
  {
    // A suspended connection must be resumed before the daemon stops.
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (Exchange* x : pending_) Expire(x, "the monitor is shutting down");
    pending_.clear();
    for (Stream* s : streams_) {
      if (s->suspended) {
        s->suspended = false;
        MHD_resume_connection(s->connection);
      }
    }
  }
  watchWake_.notify_all();
  if (watch_.joinable()) watch_.join();
  loop_.Stop();
  MHD_stop_daemon(daemon_);
  daemon_ = nullptr;
  if (listenFd_ >= 0) ::close(listenFd_);
  listenFd_ = -1;
}

int ControlServer::Access(MHD_Connection* connection, Exchange*& exchange, const char* url,
                          const char* method, const char* upload, std::size_t* uploadSize) {
  if (!exchange) {
    exchange = new Exchange;
    exchange->connection = connection;
    exchange->request.exchange = exchange;
    exchange->request.method = method;
    exchange->request.path = url;
    exchange->request.uid = PeerUid(connection);
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &CollectArgument,
                              &exchange->request.query);
    warden_->HeadersIn(connection, SteadyClock::now());
    return 1;
  }
  if (*uploadSize != 0) {
    if (exchange->request.body.size() + *uploadSize > limits_.bodyBytes) {
      exchange->tooLarge = true;
    } else {
      exchange->request.body.append(upload, *uploadSize);
    }
    *uploadSize = 0;
    return 1;
  }
  warden_->RequestIn(connection);
  if (exchange->tooLarge) {
    return Reply(connection, MHD_HTTP_CONTENT_TOO_LARGE, ErrorBody("the request is too large"),
                 kJson);
  }
  {
    std::unique_lock lock(mutex_);
    if (exchange->answered) {
      const ControlRequest& r = exchange->request;
      lock.unlock();
      return Reply(connection, r.status, r.answer, r.contentType.c_str());
    }
    if (stopping_) {
      lock.unlock();
      return Reply(connection, MHD_HTTP_SERVICE_UNAVAILABLE,
                   ErrorBody("the monitor is shutting down"), kJson);
    }
  }
  if (exchange->request.path == kEventsPath && exchange->request.method == MHD_HTTP_METHOD_GET) {
    return OpenStream(connection, exchange->request.uid);
  }
  std::lock_guard lock(mutex_);
  exchange->queued = SteadyClock::now();
  pending_.push_back(exchange);
  exchange->request.answer.clear();
  // Suspended under the lock, so that Complete cannot resume it first.
  MHD_suspend_connection(connection);
  ::eventfd_write(wake_, 1);
  return 1;
}

int ControlServer::OpenStream(MHD_Connection* connection, uid_t uid) {
  auto* stream = new Stream;
  stream->server = this;
  stream->connection = connection;
  stream->uid = uid;
  {
    std::lock_guard lock(mutex_);
    // A user's streams count against that user's share only; root's
    // against nobody's.
    const auto mine = static_cast<std::size_t>(std::count_if(
        streams_.begin(), streams_.end(), [uid](const Stream* s) { return s->uid == uid; }));
    const auto others = static_cast<std::size_t>(
        std::count_if(streams_.begin(), streams_.end(),
                      [this](const Stream* s) { return !AlwaysServed(s->uid); }));
    if (!AlwaysServed(uid) && (mine >= limits_.streamsPerUser || others >= limits_.streams)) {
      delete stream;
      return Reply(connection, MHD_HTTP_SERVICE_UNAVAILABLE, ErrorBody("too many event streams"),
                   kJson);
    }
    streams_.push_back(stream);
    // The first bytes tell the reader at once that the stream is open.
    stream->buffer = ": quillmoor98 events\n\n";
  }
  MHD_Response* response = MHD_create_response_from_callback(
      MHD_SIZE_UNKNOWN, 4096, &ReadStreamCallback, stream, &FreeStreamCallback);
  if (!response) {
    StreamGone(stream);
    return 0;
  }
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream");
  MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
  const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
  MHD_destroy_response(response);
  return queued == MHD_YES;
}

long ControlServer::ReadStream(Stream& stream, char* buffer, std::size_t max) {
  std::lock_guard lock(mutex_);
  if (stream.overrun) return MHD_CONTENT_READER_END_WITH_ERROR;
  if (stream.buffer.empty()) {
    if (stopping_) return MHD_CONTENT_READER_END_OF_STREAM;
    // Nothing to send: the connection rests until Push resumes it.
    stream.suspended = true;
    MHD_suspend_connection(stream.connection);
    return 0;
  }
  const std::size_t n = std::min(max, stream.buffer.size());
  std::memcpy(buffer, stream.buffer.data(), n);
  stream.buffer.erase(0, n);
  return static_cast<long>(n);
}

void ControlServer::Push(Stream& stream, const std::string& text) {
  // A reader that lags too far behind is cut off rather than fed without end.
  if (stream.buffer.size() + text.size() > limits_.streamBacklog) {
    stream.overrun = true;
  } else {
    stream.buffer += text;
  }
  stream.lastWrite = SteadyClock::now();
  if (stream.suspended) {
    stream.suspended = false;
    MHD_resume_connection(stream.connection);
    loop_.Wake();
  }
}

void ControlServer::Broadcast(const std::string& line) {
  std::lock_guard lock(mutex_);
  if (stopping_) return;
  const std::string event = "data: " + line + "\n\n";
  for (Stream* s : streams_) Push(*s, event);
}

void ControlServer::KeepAlive() {
  std::lock_guard lock(mutex_);
  if (stopping_) return;
  const auto now = SteadyClock::now();
  for (Stream* s : streams_) {
    if (now - s->lastWrite >= kKeepAliveAfter) Push(*s, ":\n\n");
  }
}

std::size_t ControlServer::StreamCount() {
  std::lock_guard lock(mutex_);
  return streams_.size();
}

void ControlServer::StreamGone(Stream* stream) {
  {
    std::lock_guard lock(mutex_);
    streams_.erase(std::remove(streams_.begin(), streams_.end(), stream), streams_.end());
  }
  delete stream;
}

std::vector<ControlRequest*> ControlServer::TakePending() {
  eventfd_t value;
  ::eventfd_read(wake_, &value);
  std::lock_guard lock(mutex_);
  std::vector<ControlRequest*> taken;
  taken.reserve(pending_.size());
  for (Exchange* x : pending_) taken.push_back(&x->request);
  pending_.clear();
  return taken;
}

void ControlServer::Complete(ControlRequest* request) {
  auto* exchange = static_cast<Exchange*>(request->exchange);
  std::lock_guard lock(mutex_);
  exchange->answered = true;
  MHD_resume_connection(exchange->connection);
  loop_.Wake();
}

void ControlServer::ExchangeDone(MHD_Connection* connection, Exchange* exchange) {
  delete exchange;
  warden_->AnswerSent(connection, SteadyClock::now());
}

}  // namespace qm
