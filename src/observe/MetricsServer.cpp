// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/MetricsServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <cstring>

#include "observe/HttpReply.h"
#include "observe/PrometheusText.h"
#include "observe/WebAccess.h"

namespace qm {

namespace {

MHD_Result Dispatch(void* cls, MHD_Connection* connection, const char* url, const char* method,
                    const char* /*version*/, const char* /*uploadData*/, size_t* uploadSize,
                    void** /*state*/) {
  auto* server = static_cast<MetricsServer*>(cls);
  // The headers are in: the client may take its time from here on.
  MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT,
                            server->GetLimits().idleSeconds);
  // A body is never wanted: whatever was sent is dropped and the request
  // answered at once.
  *uploadSize = 0;
  return server->Answer(connection, url, method) ? MHD_YES : MHD_NO;
}

void ConnectionStarted(void* cls, MHD_Connection* connection, void** /*state*/,
                       MHD_ConnectionNotificationCode code) {
  if (code != MHD_CONNECTION_NOTIFY_STARTED) return;
  MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT,
                            static_cast<MetricsServer*>(cls)->GetLimits().headerSeconds);
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
  unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD | (access_ ? access_->DaemonFlags() : 0);
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
  errno = 0;
  daemon_ = MHD_start_daemon(
      flags, where.port, nullptr, nullptr, &Dispatch, this, MHD_OPTION_SOCK_ADDR, &storage,
      MHD_OPTION_CONNECTION_LIMIT, limits_.connections, MHD_OPTION_CONNECTION_TIMEOUT,
      limits_.idleSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
      static_cast<size_t>(limits_.requestBytes), MHD_OPTION_PER_IP_CONNECTION_LIMIT,
      limits_.connectionsPerHost, MHD_OPTION_NOTIFY_CONNECTION, &ConnectionStarted, this,
      MHD_OPTION_ARRAY,
      const_cast<MHD_OptionItem*>(access_ ? access_->DaemonOptions() : kNoOptions), MHD_OPTION_END);
  if (!daemon_) {
    const int saved = errno;
    error = "cannot listen on " + where.ToString() +
            (saved ? std::string(": ") + std::strerror(saved) : std::string());
    return false;
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
  port_ = info ? info->port : where.port;
  return true;
}

void MetricsServer::Stop() {
  if (daemon_) MHD_stop_daemon(daemon_);
  daemon_ = nullptr;
}

int MetricsServer::Answer(MHD_Connection* connection, const char* url, const char* method) {
  if (access_) {
    const WebAccess::Verdict verdict = access_->Check(connection);
    if (verdict != WebAccess::Verdict::kAdmitted) return WebAccess::Reply(connection, verdict);
  }
  if (std::strcmp(url, "/metrics") != 0) {
    return HttpReply::Queue(connection, MHD_HTTP_NOT_FOUND, "Not found: try /metrics\n",
                            "text/plain; charset=utf-8");
  }
  if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 &&
      std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0) {
    return HttpReply::Queue(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "GET only\n",
                            "text/plain; charset=utf-8", {{MHD_HTTP_HEADER_ALLOW, "GET, HEAD"}});
  }
  return HttpReply::Queue(connection, MHD_HTTP_OK, body_(), PrometheusText::kContentType);
}

}  // namespace qm
