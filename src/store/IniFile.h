// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The text of an INI file, kept line by line so that a write changes one
// line and leaves every other line (comments, unknown keys, order) as it
// was.
//
// Reading rules: lines end in LF or CR LF; "[name]" opens a section;
// "key=value" gives a value; a line whose first non-blank is ';' is a
// comment. Section and key names are matched without regard to the case of
// a to z. Blanks around a name or a value are not part of it, and a value
// in a pair of double or single quotes is read without them. A value is
// read as at most kMaxValueBytes bytes, cut at a UTF-8 character boundary.
// Keys before the first section belong to no section. When a section or a
// key appears twice, the first one counts, for reading and for writing.
//
// Text() gives every line it did not change exactly as it was read, its
// line end included (LF, CR LF, or none at the very end). Lines it adds
// end as the file's first line does (LF in a new file). Writing the value
// a key already has changes nothing. Text beyond kMaxTextBytes is not
// read (a settings file is refused far below that).
class IniFile {
 public:
  static constexpr std::size_t kMaxValueBytes = 1023;
  static constexpr std::size_t kMaxTextBytes = (std::size_t{1} << 28) - 1;

  IniFile() = default;
  explicit IniFile(std::string_view text);

  // The value, or nothing when the section or the key is missing.
  std::optional<std::string> Read(std::string_view section, std::string_view key) const;
  // The value as its line holds it, also beyond kMaxValueBytes: what a
  // write compares with, so that a value read cut is written back cut.
  std::optional<std::string> ReadWhole(std::string_view section, std::string_view key) const;

  // Replaces the value in place, or adds the key at the end of its section,
  // or the section at the end of the file. A value ends at its first line
  // break (the rest cannot be stored in one line). Writing the value the
  // line holds (whole, not cut) changes nothing. False, and nothing
  // changed, for a name that no line could hold: empty, or holding a line
  // break, a section name holding ']', a key name holding '=' or beginning
  // with '[' or ';'.
  bool Write(std::string_view section, std::string_view key, std::string_view value);

  std::string Text() const;
  std::size_t LineCount() const { return lines_.size(); }
  // The bytes the parsed form holds (its text and its line records): a
  // few times the text read, whatever the text holds.
  std::size_t ParsedBytes() const { return text_.capacity() + lines_.capacity() * sizeof(Line); }

 private:
  enum class LineKind : std::uint8_t { kOther, kSection, kKey };
  enum class Ending : std::uint8_t { kNone, kLf, kCrLf };
  // A line (or a run of blank and comment lines) as a range of text_,
  // without its line ending, in 8 bytes: a file of short lines costs
  // little more than its text. Names and values are found in the text when
  // asked for.
  struct Line {
    std::uint32_t begin = 0;
    std::uint32_t size : 28 = 0;
    std::uint32_t kind : 2 = 0;    // a LineKind
    std::uint32_t ending : 2 = 0;  // an Ending
    LineKind Kind() const { return static_cast<LineKind>(kind); }
    Ending End() const { return static_cast<Ending>(ending); }
  };
  // What a line's text says: its kind, its name (trimmed), and where a key
  // line's value begins (just after the '=').
  struct Parsed {
    LineKind kind = LineKind::kOther;
    std::string_view name;
    std::size_t valueBegin = 0;
  };

  static Parsed ParseLine(std::string_view text, bool first);
  std::string_view TextOf(const Line& line) const { return {text_.data() + line.begin, line.size}; }
  Parsed ParseAt(std::size_t index) const { return ParseLine(TextOf(lines_[index]), index == 0); }
  // Whether the key line at index may name key (trimmed), told by its
  // first byte: most lines of a long section are passed over unparsed.
  bool MayName(std::size_t index, std::string_view key) const;
  // A line of the given text, kept at the end of text_.
  Line Added(std::string_view text);
  static Line Of(std::size_t begin, std::size_t size, LineKind kind, Ending ending);
  // The whole value of the key's line, unquoted, or nothing.
  std::optional<std::string_view> FindValue(std::string_view section, std::string_view key) const;
  // Index of the first section line of that name, or lines_.size().
  std::size_t FindSection(std::string_view section) const;
  // Index one past the section's last line (the next section or the end).
  std::size_t SectionEnd(std::size_t header) const;

  // The line end of the file's first line, for the lines a write adds.
  Ending NewLineEnding() const;
  // A line the write adds after index - 1: the line before gets an end if
  // it had none.
  void InsertLine(std::size_t index, Line line);

  // The text read, then what writes added; a line a write replaced stays
  // in it unused (writes are few).
  std::string text_;
  std::vector<Line> lines_;
};

}  // namespace qm
