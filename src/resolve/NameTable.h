#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "resolve/ListingCapture.h"
#include "resolve/ReverseResolver.h"

namespace qm {

// The address of a client computer and its host name, each a found text
// or "Not known".
struct AddressResult {
  std::string Address;
  std::string HostName;
};

// The NetBIOS name table: the session listings of the nbtstat tool, names
// (-s) and addresses (-S), read through a pipe from one run of the tool
// and paired line by line into a table of whole names. One capture serves
// every lookup waiting when it begins (ListingCapture); nothing is kept
// for a lookup that asks later. Safe to call from several threads.
class NameTable {
 public:
  // Runs a tool (an argument vector), its standard output into output;
  // gives 0 when it succeeded, kCancelled when cancel ended it, another
  // value when it failed. cancel asks it to end at once.
  using CommandRunner = std::function<int(const std::vector<std::string>& arguments,
                                          std::string& output, std::stop_token cancel)>;
  // The host name of a numeric address, or "Not known"; returns at once
  // when stop is requested.
  using ReverseLookupFunction =
      std::function<std::string(const std::string& address, std::stop_token stop)>;

  static constexpr int kCancelled = -2;
  static constexpr const char* kToolName = "quillmoor98-nbtstat";
  static constexpr std::chrono::milliseconds kToolTimeLimit{10000};
  // The tool's listings of one reading, names first, are parted by a line
  // holding only this character (which no printed name holds).
  static constexpr char kListingSeparator = '\f';

  // toolPath: the nbtstat tool's full path. resolver: how host names are
  // asked for (the system's resolver when left at its defaults).
  explicit NameTable(std::string toolPath, const ReverseResolver::Options& resolver = {});
  NameTable(const NameTable&) = delete;
  NameTable& operator=(const NameTable&) = delete;

  // Both default to the real thing: ProcessRunner with kToolTimeLimit and the
  // ReverseResolver. Set them before the first lookup.
  void SetCommandRunner(CommandRunner runner) { run_ = std::move(runner); }
  void SetReverseLookup(ReverseLookupFunction lookup) { reverse_ = std::move(lookup); }

  // The address of computerName (its whole name, blanks around it aside)
  // from a capture that began after this call, and its host name. A stop
  // gives "Not known" for whatever is not known yet, at once.
  AddressResult LookupAddress(const std::string& computerName, std::stop_token stop = {}) const;
  // A lookup is being started (ListingCapture::Expect).
  void ExpectLookup() const { captures_->Expect(); }

  const std::string& ToolPath() const { return toolPath_; }
  // Captures begun so far, and lookups waiting for one now.
  std::uint64_t CapturesStarted() const { return captures_->Started(); }
  int LookupsWaiting() const { return captures_->Waiting(); }

  // Pairs the session lines of the two listings: the n-th session line of
  // names with the n-th of addresses. A name maps to its address text, ""
  // when that is blank or no address; a later line of the same name wins.
  // False when the listings do not pair (other session lines or counts).
  static bool ParseListings(std::string_view names, std::string_view addresses,
                            ListingCapture::Table& table);
  // The two listings of one run of the tool; false without a separator.
  static bool SplitListings(std::string_view output, std::string_view& names,
                            std::string_view& addresses);
  // A numeric IPv4 or IPv6 address, the latter with an optional zone.
  static bool IsAddress(std::string_view text);
  // The decimal number before the first "." (which goes from text with
  // everything before it), or the number the whole text holds (text
  // unchanged). -1 when that part is not a decimal number.
  static int NextOctet(std::string& text);
  // The four bytes of a dotted address; false unless it is exactly four
  // decimal numbers of 0 to 255.
  static bool ParseAddress(const std::string& text, std::array<std::uint8_t, 4>& bytes);
  // The nbtstat tool beside the running program ("" when its folder cannot
  // be told).
  static std::string ToolBesideProgram();

 private:
  std::shared_ptr<const ListingCapture::Table> Capture(std::stop_token cancel) const;

  std::string toolPath_;
  CommandRunner run_;
  ReverseLookupFunction reverse_;
  std::unique_ptr<ReverseResolver> resolver_;
  // Last: its thread calls Capture, which uses the members above.
  std::unique_ptr<ListingCapture> captures_;
};

}  // namespace qm
