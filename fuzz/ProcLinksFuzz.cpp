// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The process links helper's answer over any bytes: an answer is taken
// whole or not at all, its parsed form is within a small multiple of its
// bytes, and what ListLinks would write for it reads back the same.
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/ProcProcessList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::unordered_map<std::uint32_t, qm::ProcProcessList::Links> links;
  if (!qm::ProcProcessList::ParseLinks(text, links)) {
    Check(links.empty());
    return 0;
  }
  std::size_t bytes = 0;
  std::string again;
  for (const auto& [id, l] : links) {
    Check(!l.exe.empty() && l.files.size() <= qm::ProcProcessList::kMaxOpenFiles);
    bytes += l.exe.size();
    again.append(std::to_string(id)).push_back('\0');
    again.append(l.exe).push_back('\0');
    for (const std::string& file : l.files) {
      Check(!file.empty() && file.front() == '/');
      bytes += file.size();
      again.append(file).push_back('\0');
    }
  }
  // Every entry took at least "0\0x\0" (four bytes) of the answer.
  Check(bytes <= size && links.size() * 4 <= size);
  std::unordered_map<std::uint32_t, qm::ProcProcessList::Links> reread;
  Check(qm::ProcProcessList::ParseLinks(again, reread) && reread.size() == links.size());
  return 0;
}
