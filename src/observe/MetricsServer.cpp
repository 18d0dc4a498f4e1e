// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/MetricsServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "observe/HttpReply.h"
#include "observe/PrometheusText.h"
#include "observe/WebAccess.h"

namespace qm {

namespace {
using SteadyClock = std::chrono::steady_clock;

std::string ClientAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  char text[INET6_ADDRSTRLEN] = "";
  if (info && info->client_addr) {
    const sockaddr* a = info->client_addr;
    if (a->sa_family == AF_INET) {
      ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
    } else if (a->sa_family == AF_INET6) {
      ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr, text,
                  sizeof text);
    }
  }
  return text;
}
}  // namespace

// One request: its password check, when one runs on the hashing thread.
struct MetricsServer::Exchange {
  std::mutex mutex;
  bool checking = false;
  WebAccess::Verdict verdict = WebAccess::Verdict::kChecking;
};

namespace {
MHD_Result Dispatch(void* cls, MHD_Connection* connection, const char* url, const char* method,
                    const char* /*version*/, const char* /*uploadData*/, size_t* uploadSize,
                    void** state) {
  auto* server = static_cast<MetricsServer*>(cls);
  // A body is never wanted: whatever was sent is dropped and the request
  // answered at once.
  *uploadSize = 0;
  auto*& exchange = reinterpret_cast<MetricsServer::Exchange*&>(*state);
  return server->Answer(connection, exchange, url, method) ? MHD_YES : MHD_NO;
}

void ConnectionNotice(void* cls, MHD_Connection* connection, void** /*state*/,
                      MHD_ConnectionNotificationCode code) {
  static_cast<MetricsServer*>(cls)->Notify(connection, code == MHD_CONNECTION_NOTIFY_STARTED);
}

void RequestDone(void* cls, MHD_Connection* connection, void** state,
                 MHD_RequestTerminationCode /*code*/) {
  static_cast<MetricsServer*>(cls)->AnswerSent(connection,
                                               static_cast<MetricsServer::Exchange*>(*state));
  *state = nullptr;
}

}  // namespace

MetricsServer::MetricsServer(std::function<std::string()> body, Limits limits)
    : body_(std::move(body)), limits_(limits) {}

MetricsServer::~MetricsServer() {
  Stop();
}

bool MetricsServer::Start(const ListenAddress& where, std::string& error) {
  Stop();
  sockaddr_storage storage{};
  // The loop is ours, so that the deadlines are kept on the thread that
  // owns the connections.
  unsigned flags =
      MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | (access_ ? access_->DaemonFlags() : 0);
  static const MHD_OptionItem kNoOptions[] = {{MHD_OPTION_END, 0, nullptr}};
  if (where.ipv6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(where.port);
    if (::inet_pton(AF_INET6, where.address.c_str(), &a->sin6_addr) != 1) {
      error = "not an IPv6 address: " + where.address;
      return false;
    }
    flags |= MHD_USE_IPv6;
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&storage);
    a->sin_family = AF_INET;
    a->sin_port = htons(where.port);
    if (::inet_pton(AF_INET, where.address.c_str(), &a->sin_addr) != 1) {
      error = "not an IPv4 address: " + where.address;
      return false;
    }
  }
  warden_ = std::make_unique<ConnectionWarden>(
      ConnectionWarden::Limits::From(limits_, limits_.connectionsPerHost));
  errno = 0;
  daemon_ = MHD_start_daemon(
      flags, where.port, nullptr, nullptr, &Dispatch, this, MHD_OPTION_SOCK_ADDR, &storage,
      // Room beyond the warden's limit for the connections it is ending.
      MHD_OPTION_CONNECTION_LIMIT, 2 * limits_.connections, MHD_OPTION_CONNECTION_TIMEOUT,
      limits_.idleSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
      static_cast<size_t>(limits_.requestBytes), MHD_OPTION_NOTIFY_CONNECTION, &ConnectionNotice,
      this, MHD_OPTION_NOTIFY_COMPLETED, &RequestDone, this, MHD_OPTION_ARRAY,
      const_cast<MHD_OptionItem*>(access_ ? access_->DaemonOptions() : kNoOptions), MHD_OPTION_END);
  if (!daemon_) {
    const int saved = errno;
    error = "cannot listen on " + where.ToString() +
            (saved ? std::string(": ") + std::strerror(saved) : std::string());
    return false;
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
  port_ = info ? info->port : where.port;
  loop_.Start(daemon_, [this] { warden_->Sweep(SteadyClock::now()); });
  return true;
}

void MetricsServer::Stop() {
  if (!daemon_) return;
  loop_.Stop();
  // Checks still running resume their connections before the daemon ends.
  if (access_) access_->StopChecks();
  MHD_stop_daemon(daemon_);
  daemon_ = nullptr;
}

void MetricsServer::Notify(MHD_Connection* connection, bool started) {
  if (!started) {
    warden_->Closed(connection);
    return;
  }
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  if (!info) return;
  if (warden_->Started(connection, info->connect_fd, ClientAddress(connection), false,
                       SteadyClock::now())) {
    // Until the headers are in, silence is cut short too.
    MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT,
                              std::min(limits_.headerSeconds, limits_.idleSeconds));
  }
}

void MetricsServer::AnswerSent(MHD_Connection* connection, Exchange* exchange) {
  delete exchange;
  warden_->AnswerSent(connection, SteadyClock::now());
}

int MetricsServer::Answer(MHD_Connection* connection, Exchange*& exchange, const char* url,
                          const char* method) {
  if (!exchange) {
    exchange = new Exchange;
    // The headers are in: the client may take its time from here on.
    MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT, limits_.idleSeconds);
    warden_->HeadersIn(connection, SteadyClock::now());
  }
  warden_->RequestIn(connection);
  if (access_) {
    WebAccess::Verdict verdict;
    {
      std::lock_guard lock(exchange->mutex);
      if (exchange->checking) {
        verdict = exchange->verdict;
      } else {
        Exchange* x = exchange;
        verdict = access_->Check(connection, ClientAddress(connection),
                                 [this, x, connection](WebAccess::Verdict v) {
                                   std::lock_guard done(x->mutex);
                                   x->verdict = v;
                                   MHD_resume_connection(connection);
                                   loop_.Wake();
                                 });
        if (verdict == WebAccess::Verdict::kChecking) {
          // Resumed, under the lock, only once it is suspended.
          exchange->checking = true;
          MHD_suspend_connection(connection);
          return 1;
        }
      }
    }
    if (verdict != WebAccess::Verdict::kAdmitted) return access_->Reply(connection, verdict);
  }
  // The web configuration's headers go on every answer.
  auto headers = [this](HttpReply::Headers more) {
    return access_ ? access_->Headers(std::move(more)) : more;
  };
  if (std::strcmp(url, "/metrics") != 0) {
    return HttpReply::Queue(connection, MHD_HTTP_NOT_FOUND, "Not found: try /metrics\n",
                            "text/plain; charset=utf-8", headers({}));
  }
  if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 &&
      std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0) {
    return HttpReply::Queue(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "GET only\n",
                            "text/plain; charset=utf-8",
                            headers({{MHD_HTTP_HEADER_ALLOW, "GET, HEAD"}}));
  }
  return HttpReply::Queue(connection, MHD_HTTP_OK, body_(), PrometheusText::kContentType,
                          headers({}));
}

}  // namespace qm
