#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The line form of the program's text data files ("KickList.dat",
// "ProgramList.dat").
class DataLines {
 public:
  // Carriage return + line feed, a lone carriage return and a lone line
  // feed each end a line; a last line without an ending counts; a zero byte
  // ends the text. Empty lines are kept.
  static std::vector<std::string> Split(std::string_view data);

  // Every line followed by carriage return + line feed; no lines give "".
  // A line break or zero byte inside a value would split it into several
  // lines on reading (and shift every pair after it), so each is written
  // as a blank.
  static std::string Join(const std::vector<std::string>& lines);

  // The value as Join writes it.
  static std::string OneLine(std::string_view value);

  enum class ReadResult { Read, Missing, Failed };
  // Reads a whole data file. Missing only when nothing exists at path; a
  // file that exists but cannot be opened or read is Failed.
  static ReadResult ReadFile(const std::string& path, std::string& data);

  // Replaces a list by what a data file holds: a missing file gives an
  // empty list and true; a file that cannot be read an empty list, false
  // and error "Cannot open file <path>".
  template <typename List, typename Parse>
  static bool LoadList(const std::string& path, List& list, Parse parse, std::string& error) {
    std::string data;
    switch (ReadFile(path, data)) {
      case ReadResult::Missing:
        list.Clear();
        return true;
      case ReadResult::Failed:
        list.Clear();
        error = "Cannot open file " + path;
        return false;
      case ReadResult::Read:
        break;
    }
    list.Restore(parse(data));
    return true;
  }
};

}  // namespace qm
