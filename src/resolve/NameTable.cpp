#include "resolve/NameTable.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string_view>

#include "core/Resources.h"
#include "resolve/RunAndWait.h"

namespace qm {

namespace {

// Every table shares the two work files of the program's folder.
std::mutex& WorkFilesLock() {
  static std::mutex lock;
  return lock;
}

// The address text in a listing is at most this long.
constexpr std::size_t kAddressWidth = 16;

// A listing line without its line end (LF or CR LF). An ended listing
// gives empty lines.
bool ReadLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) {
    line.clear();
    return false;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool IsBlankOrControl(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b <= 0x20 || b == 0x7F;
}

std::string TrimBlanksAndControls(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlankOrControl(text[begin])) ++begin;
  while (end > begin && IsBlankOrControl(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

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

}  // namespace

NameTable::NameTable(std::string programDirectory, std::string toolPath)
    : programDirectory_(std::move(programDirectory)),
      toolPath_(std::move(toolPath)),
      addressFile_(programDirectory_ + "/" + kAddressFile),
      nameFile_(programDirectory_ + "/" + kNameFile),
      run_([](const std::vector<std::string>& arguments, const std::string& outputPath) {
        return RunAndWait(arguments, outputPath, kToolTimeLimit);
      }),
      reverse_(&NameTable::ReverseLookup) {}

std::string NameTable::CutLine(const std::string& line) {
  if (line.size() <= 20) return {};
  return line.substr(19, line.size() - 20);
}

bool NameTable::PairListings(std::istream& names, std::istream& addresses,
                             const std::string& computerName, std::string& found) {
  found = kNotKnown;
  std::string nameLine, addressLine;
  while (ReadLine(names, nameLine)) {
    const std::string cutName = CutLine(nameLine);
    // An empty name occurs nowhere.
    const std::size_t column =
        computerName.empty() ? std::string::npos : cutName.find(computerName);
    ReadLine(addresses, addressLine);
    const std::string cutAddress = CutLine(addressLine);
    if (column != std::string::npos && !cutAddress.empty()) {
      found =
          column < cutAddress.size()
              ? TrimBlanksAndControls(std::string_view(cutAddress).substr(column, kAddressWidth))
              : std::string();
    }
  }
  return !names.bad() && !addresses.bad();
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

std::string NameTable::ReverseLookup(const std::array<std::uint8_t, 4>& bytes) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  std::memcpy(&address.sin_addr, bytes.data(), bytes.size());
  char host[NI_MAXHOST];
  const int r = getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, host,
                            sizeof host, nullptr, 0, NI_NAMEREQD);
  if (r != 0 || host[0] == '\0') return kNotKnown;
  return host;
}

std::string NameTable::ToolBesideProgram() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return {};
  path.resize(static_cast<std::size_t>(n));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return path.substr(0, slash) + "/" + kToolName;
}

std::string NameTable::CaptureAndParse(const std::string& computerName) const {
  std::lock_guard lock(WorkFilesLock());
  // A stopped pass leaves its files for the next complete pass to replace.
  if (run_({toolPath_, "-S"}, addressFile_) != 0) return kNotKnown;
  if (run_({toolPath_, "-s"}, nameFile_) != 0) return kNotKnown;
  std::string found;
  {
    std::ifstream names(nameFile_, std::ios::binary);
    std::ifstream addresses(addressFile_, std::ios::binary);
    if (!names.is_open() || !addresses.is_open()) return kNotKnown;
    if (!PairListings(names, addresses, computerName, found)) return kNotKnown;
  }
  std::remove(nameFile_.c_str());
  std::remove(addressFile_.c_str());
  return found;
}

AddressResult NameTable::LookupAddress(const std::string& computerName) const {
  AddressResult result{CaptureAndParse(computerName), kNotKnown};
  if (result.Address.empty()) result.Address = kNotKnown;
  if (result.Address == kNotKnown) return result;
  // Text that is no dotted address (the pairing picked up something else)
  // is kept as found, without a host name.
  std::array<std::uint8_t, 4> bytes{};
  if (!ParseAddress(result.Address, bytes)) return result;
  result.HostName = reverse_(bytes);
  if (result.HostName.empty()) result.HostName = kNotKnown;
  return result;
}

}  // namespace qm
