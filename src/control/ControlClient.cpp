// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "control/ControlClient.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "control/ControlSocket.h"

namespace qm {

namespace {
// A whole answer larger than this is refused rather than held in memory.
constexpr std::size_t kMaxAnswerBytes = std::size_t{512} << 20;

// Why nobody answers at path, in the system's words (curl names only
// "localhost port 80"), and how to be let in.
std::string WhyNoAnswer(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return "the path is too long";
  std::memcpy(address.sun_path, path.data(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::strerror(errno);
  const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int saved = errno;
  ::close(fd);
  if (result == 0) return "the connection was refused";
  if (saved == EACCES || saved == EPERM) {
    return std::string(std::strerror(saved)) + " (the service's socket admits root and the group " +
           ControlSocket::kGroup + "; to join it: " + ControlSocket::HowToJoinGroup() + ")";
  }
  return std::strerror(saved);
}

struct Sink {
  std::string* body = nullptr;
  const std::function<bool(const std::string&)>* onData = nullptr;
  bool tooLarge = false;
};

size_t Receive(char* data, size_t size, size_t count, void* cls) {
  auto* sink = static_cast<Sink*>(cls);
  const size_t n = size * count;
  if (sink->onData) {
    return (*sink->onData)(std::string(data, n)) ? n : 0;
  }
  if (sink->body->size() + n > kMaxAnswerBytes) {
    sink->tooLarge = true;
    return 0;
  }
  sink->body->append(data, n);
  return n;
}
}  // namespace

ControlClient::ControlClient(std::string socketPath, long timeoutSeconds)
    : socketPath_(std::move(socketPath)), timeoutSeconds_(timeoutSeconds) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
}

ControlClient::Response ControlClient::Request(const std::string& method, const std::string& path,
                                               const std::string& body) {
  return Perform(method, path, body, nullptr);
}

ControlClient::Response ControlClient::Stream(
    const std::string& path, const std::function<bool(const std::string&)>& onData) {
  return Perform("GET", path, {}, &onData);
}

ControlClient::Response ControlClient::Perform(
    const std::string& method, const std::string& path, const std::string& body,
    const std::function<bool(const std::string&)>* onData) {
  Response response;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl) {
    response.error = "libcurl cannot start";
    return response;
  }
  CURL* c = curl.get();
  const std::string url = "http://localhost" + path;
  char message[CURL_ERROR_SIZE] = "";
  Sink sink{&response.body, onData, false};
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Content-Type: application/json");
  headers = curl_slist_append(headers, "Expect:");
  curl_easy_setopt(c, CURLOPT_UNIX_SOCKET_PATH, socketPath_.c_str());
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, method.c_str());
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, message);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Receive);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 10L);
  if (!onData) curl_easy_setopt(c, CURLOPT_TIMEOUT, timeoutSeconds_);
  if (method != "GET") {
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  }
  const CURLcode result = curl_easy_perform(c);
  curl_slist_free_all(headers);
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response.status);
  if (result == CURLE_WRITE_ERROR && onData && !sink.tooLarge) return response;  // stopped
  if (result != CURLE_OK) {
    if (sink.tooLarge) {
      response.error = "the answer is too large";
    } else if (result == CURLE_COULDNT_CONNECT) {
      response.error = WhyNoAnswer(socketPath_);
    } else {
      response.error = message[0] ? message : curl_easy_strerror(result);
    }
    if (!onData) response.status = 0;
  }
  return response;
}

}  // namespace qm
