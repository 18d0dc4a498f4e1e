// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "resolve/NameTable.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include "core/Resources.h"
#include "core/Text.h"
#include "os/ProcessRunner.h"
#include "os/ProgramFile.h"
#include "resolve/SessionListing.h"

namespace qm {

namespace {

// Decimal digits only; -1 for anything else, for "" and for more digits
// than an int surely holds.
int ParseDecimal(std::string_view text) {
  if (text.empty() || text.size() > 9) return -1;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// "<xx>", the NetBIOS suffix, at text[at].
bool SuffixAt(std::string_view text, std::size_t at) {
  return text.size() >= at + 4 && text[at] == '<' && IsHex(text[at + 1]) && IsHex(text[at + 2]) &&
         text[at + 3] == '>';
}

// A session line: four blanks, the local name's 15 characters and its
// suffix, state and direction, then from the remote column on the remote
// computer. Header, ruler and "No Connections" lines are none.
struct SessionLine {
  std::string_view lead;    // everything before the remote column
  std::string_view remote;  // the rest, without its line end
};

constexpr std::size_t kLead = SessionListing::kRemoteColumn - 1;

bool ParseSessionLine(std::string_view line, SessionLine& out) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() <= kLead || line.substr(0, 4) != "    " || !SuffixAt(line, 19)) return false;
  out.lead = line.substr(0, kLead);
  out.remote = line.substr(kLead);
  return true;
}

std::vector<SessionLine> SessionLines(std::string_view listing) {
  std::vector<SessionLine> lines;
  while (!listing.empty()) {
    const std::size_t end = listing.find('\n');
    const std::string_view line = listing.substr(0, end);
    listing.remove_prefix(end == std::string_view::npos ? listing.size() : end + 1);
    SessionLine s;
    if (ParseSessionLine(line, s)) lines.push_back(s);
  }
  return lines;
}

}  // namespace

NameTable::NameTable(std::string toolPath, const ReverseResolver::Options& resolver)
    : toolPath_(std::move(toolPath)),
      run_([](const std::vector<std::string>& arguments, std::string& output,
              std::stop_token cancel) {
        ProcessRunner::Options options;
        options.timeout = kToolTimeLimit;
        options.cancel = std::move(cancel);
        ProcessResult run = ProcessRunner::Run(arguments, options);
        output = std::move(run.out);
        if (run.outcome == ProcessResult::Outcome::Cancelled) return kCancelled;
        // Output cut short is no whole listing.
        return run.Succeeded() && !run.outputCut ? 0 : 1;
      }),
      resolver_(std::make_unique<ReverseResolver>(resolver)),
      captures_(std::make_unique<ListingCapture>(
          [this](std::stop_token cancel) { return Capture(std::move(cancel)); })) {
  reverse_ = [resolver = resolver_.get()](const std::string& address, std::stop_token stop) {
    return resolver->HostName(address, std::move(stop));
  };
}

bool NameTable::SplitListings(std::string_view output, std::string_view& names,
                              std::string_view& addresses) {
  for (std::size_t at = 0; at < output.size();) {
    const std::size_t end = output.find('\n', at);
    const std::string_view line =
        output.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    if (line == std::string_view(&kListingSeparator, 1)) {
      names = output.substr(0, at);
      addresses = end == std::string_view::npos ? std::string_view() : output.substr(end + 1);
      return true;
    }
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  return false;
}

bool NameTable::IsAddress(std::string_view text) {
  if (text.empty() || text.size() > 64) return false;
  unsigned char bytes[sizeof(in6_addr)];
  const std::string whole(text);
  if (inet_pton(AF_INET, whole.c_str(), bytes) == 1) return true;
  const std::size_t percent = whole.find('%');
  if (percent != std::string::npos) {
    const std::string_view zone = text.substr(percent + 1);
    if (zone.empty()) return false;
    for (char c : zone) {
      const bool ok = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                      c == '.' || c == '-' || c == '_';
      if (!ok) return false;
    }
  }
  return inet_pton(AF_INET6, whole.substr(0, percent).c_str(), bytes) == 1;
}

bool NameTable::ParseListings(std::string_view names, std::string_view addresses,
                              ListingCapture::Table& table) {
  table.clear();
  const std::vector<SessionLine> nameLines = SessionLines(names);
  const std::vector<SessionLine> addressLines = SessionLines(addresses);
  if (nameLines.size() != addressLines.size()) return false;
  for (std::size_t i = 0; i < nameLines.size(); ++i) {
    // Lines of two readings, or of another layout, must not be paired.
    if (nameLines[i].lead != addressLines[i].lead) return false;
    std::string_view name = nameLines[i].remote;
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (name.size() < 4 || !SuffixAt(name, name.size() - 4)) return false;
    // Only the column's padding goes: a name is paired whole ("PC1 " is
    // not PC1; the listing never ends a name with a blank).
    name.remove_suffix(4);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (name.empty()) continue;
    const std::string_view address = TrimmedControls(addressLines[i].remote);
    table[std::string(name)] = IsAddress(address) ? std::string(address) : std::string();
  }
  return true;
}

int NameTable::NextOctet(std::string& text) {
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos) return ParseDecimal(text);
  const int value = ParseDecimal(std::string_view(text).substr(0, dot));
  text.erase(0, dot + 1);
  return value;
}

bool NameTable::ParseAddress(const std::string& text, std::array<std::uint8_t, 4>& bytes) {
  std::string rest = text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    // Three numbers end in a dot; the fourth is all that remains.
    const bool last = i + 1 == bytes.size();
    if ((rest.find('.') == std::string::npos) != last) return false;
    const int value = NextOctet(rest);
    if (value < 0 || value > 255) return false;
    bytes[i] = static_cast<std::uint8_t>(value);
  }
  return true;
}

std::string NameTable::ToolBesideProgram() {
  const std::string folder = FolderOf(ProgramFile());
  if (folder.empty()) return {};
  return folder + "/" + kToolName;
}

std::shared_ptr<const ListingCapture::Table> NameTable::Capture(std::stop_token cancel) const {
  // One run lists both from one reading of the sessions, so the lines
  // pair even while clients come and go.
  std::string output;
  if (run_({toolPath_, "-s", "-S"}, output, std::move(cancel)) != 0) return nullptr;
  std::string_view names, addresses;
  if (!SplitListings(output, names, addresses)) return nullptr;
  auto table = std::make_shared<ListingCapture::Table>();
  if (!ParseListings(names, addresses, *table)) return nullptr;
  return table;
}

AddressResult NameTable::LookupAddress(const std::string& computerName,
                                       std::stop_token stop) const {
  AddressResult result{kNotKnown, kNotKnown};
  const std::string& name = computerName;
  if (name.empty()) return result;
  const auto table = captures_->Await(stop);
  if (!table) return result;
  const auto found = table->find(name);
  if (found == table->end() || found->second.empty()) return result;
  result.Address = found->second;
  if (stop.stop_requested()) return result;
  result.HostName = HostNameOf(result.Address, stop);
  return result;
}

std::string NameTable::HostNameOf(const std::string& address, std::stop_token stop) const {
  std::string name = reverse_ ? reverse_(address, std::move(stop)) : std::string(kNotKnown);
  return name.empty() ? std::string(kNotKnown) : name;
}

}  // namespace qm
