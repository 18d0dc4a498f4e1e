#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <vector>

namespace qm {

// The address of a client computer and its host name, each a found text
// or "Not known".
struct AddressResult {
  std::string Address;
  std::string HostName;
};

// The NetBIOS name table: the session listings of the nbtstat tool,
// captured into "IP.txt" (addresses, -S) and "NetBIOS.txt" (names, -s) in
// the program's folder and paired line by line. Nothing is kept between
// calls; every LookupAddress captures fresh listings. Safe to call from
// several threads: the capture and parse share the two work files and run
// one at a time program-wide; the reverse lookups overlap.
class NameTable {
 public:
  // Runs a tool (an argument vector) with its standard output going to
  // outputPath; gives its exit code, -1 when it could not be started.
  using CommandRunner =
      std::function<int(const std::vector<std::string>& arguments, const std::string& outputPath)>;
  // The official host name of an Internet address (first byte first), or
  // "Not known".
  using ReverseLookupFunction = std::function<std::string(const std::array<std::uint8_t, 4>&)>;

  static constexpr const char* kToolName = "quillmoor98-nbtstat";
  static constexpr const char* kAddressFile = "IP.txt";
  static constexpr const char* kNameFile = "NetBIOS.txt";
  static constexpr std::chrono::milliseconds kToolTimeLimit{10000};

  // programDirectory: the folder of the work files, without a closing "/".
  // toolPath: the nbtstat tool's full path.
  NameTable(std::string programDirectory, std::string toolPath);

  // Both default to the real thing: RunAndWait with kToolTimeLimit and
  // getnameinfo. Set them before the first lookup.
  void SetCommandRunner(CommandRunner runner) { run_ = std::move(runner); }
  void SetReverseLookup(ReverseLookupFunction lookup) { reverse_ = std::move(lookup); }

  AddressResult LookupAddress(const std::string& computerName) const;

  const std::string& AddressFilePath() const { return addressFile_; }
  const std::string& NameFilePath() const { return nameFile_; }
  const std::string& ToolPath() const { return toolPath_; }

  // Pairs the two listings line by line: found is the address text of the
  // last name line that holds computerName ("" when that address text is
  // blank), "Not known" when no line matched. False on a read error.
  static bool PairListings(std::istream& names, std::istream& addresses,
                           const std::string& computerName, std::string& found);
  // Characters 20 to the last but one of a line (counted from 1); "" for a
  // line of 20 characters or fewer.
  static std::string CutLine(const std::string& line);
  // The decimal number before the first "." (which goes from text with
  // everything before it), or the number the whole text holds (text
  // unchanged). -1 when that part is not a decimal number.
  static int NextOctet(std::string& text);
  // The four bytes of a dotted address; false unless it is exactly four
  // decimal numbers of 0 to 255.
  static bool ParseAddress(const std::string& text, std::array<std::uint8_t, 4>& bytes);
  // getnameinfo with NI_NAMEREQD: the host name, or "Not known".
  static std::string ReverseLookup(const std::array<std::uint8_t, 4>& bytes);
  // The nbtstat tool beside the running program ("" when its folder cannot
  // be told).
  static std::string ToolBesideProgram();

 private:
  std::string CaptureAndParse(const std::string& computerName) const;

  std::string programDirectory_;
  std::string toolPath_;
  std::string addressFile_;
  std::string nameFile_;
  CommandRunner run_;
  ReverseLookupFunction reverse_;
};

}  // namespace qm
