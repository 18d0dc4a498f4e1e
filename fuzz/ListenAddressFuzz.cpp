// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The metrics endpoint's address as an administrator types it: any text
// either parses to an address that prints back to itself, or is refused
// with a reason. The label escaping of the same bytes stays valid UTF-8.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/Text.h"
#include "observe/ListenAddress.h"
#include "observe/PrometheusText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto parsed = qm::ListenAddress::Parse(text, error);
  if (parsed) {
    std::string again;
    const auto reparsed = qm::ListenAddress::Parse(parsed->ToString(), again);
    if (!reparsed || reparsed->port != parsed->port || reparsed->address != parsed->address) {
      std::abort();
    }
  } else if (error.empty()) {
    std::abort();
  }
  const std::string label = qm::PrometheusText::LabelValue(text);
  for (std::size_t i = 0; i < label.size();) {
    char32_t cp;
    if (!qm::DecodeUtf8(label, i, cp) || cp == '\n') std::abort();
  }
  return 0;
}
