// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/HttpReply.h"

#include <microhttpd.h>

namespace qm {

namespace {
void FreeString(void* cls) {
  delete static_cast<std::string*>(cls);
}
}  // namespace

bool HttpReply::Queue(MHD_Connection* connection, unsigned status, std::string body,
                      const char* type, const Headers& headers) {
  // The body lives until libmicrohttpd has sent it.
  auto* owned = new std::string(std::move(body));
  MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
      owned->size(), owned->data(), &FreeString, owned);
  if (!response) {
    delete owned;
    return false;
  }
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
  for (const auto& [name, value] : headers) MHD_add_response_header(response, name, value);
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return queued == MHD_YES;
}

}  // namespace qm
