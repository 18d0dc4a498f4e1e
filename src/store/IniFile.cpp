// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "store/IniFile.h"

#include <algorithm>
#include <cstdint>

#include "core/Text.h"

namespace qm {

namespace {
// The blanks TrimmedBlanks drops, tested by hand: a read looks at every
// line of its section, and a set search costs a call per byte.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::size_t FirstNotBlank(std::string_view s, std::size_t from = 0) {
  while (from < s.size() && IsBlank(s[from])) ++from;
  return from < s.size() ? from : std::string_view::npos;
}
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Unquote(std::string_view s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) {
    return s.substr(1, s.size() - 2);
  }
  return s;
}

std::string Joined(std::string_view a, std::string_view b, std::string_view c) {
  std::string out;
  out.reserve(a.size() + b.size() + c.size());
  out.append(a).append(b).append(c);
  return out;
}

bool HasLineBreak(std::string_view s) {
  return s.find_first_of("\r\n") != std::string_view::npos;
}
}  // namespace

IniFile::IniFile(std::string_view text) {
  text = text.substr(0, kMaxTextBytes);
  text_ = text;
  lines_.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::size_t size = end - pos;
    Ending ending = end < text.size() ? Ending::kLf : Ending::kNone;
    if (ending == Ending::kLf && size > 0 && text[end - 1] == '\r') {
      --size;
      ending = Ending::kCrLf;
    }
    const LineKind kind = ParseLine(text.substr(pos, size), lines_.empty()).kind;
    // Blank lines and comments in a row are one entry (its lines with
    // their own line ends): a file of empty lines costs what it holds.
    if (kind == LineKind::kOther && !lines_.empty() && lines_.back().Kind() == LineKind::kOther) {
      Line& run = lines_.back();
      run.size = static_cast<std::uint32_t>(pos + size - run.begin) & kMaxTextBytes;
      run.ending = static_cast<std::uint32_t>(ending);
    } else {
      lines_.push_back(Of(pos, size, kind, ending));
    }
    pos = end + 1;
  }
  lines_.shrink_to_fit();
}

IniFile::Parsed IniFile::ParseLine(std::string_view view, bool first) {
  Parsed line;
  std::size_t offset = 0;
  if (first && view.starts_with(kUtf8Bom)) offset = kUtf8Bom.size();
  offset = FirstNotBlank(view, offset);
  if (offset == std::string_view::npos) return line;
  if (view[offset] == '[') {
    const std::size_t close = view.find(']', offset + 1);
    const std::size_t nameEnd = close == std::string_view::npos ? view.size() : close;
    line.kind = LineKind::kSection;
    line.name = TrimmedBlanks(view.substr(offset + 1, nameEnd - offset - 1));
  } else if (view[offset] != ';') {
    const std::size_t equals = view.find('=', offset);
    if (equals != std::string_view::npos) {
      line.kind = LineKind::kKey;
      line.name = TrimmedBlanks(view.substr(offset, equals - offset));
      line.valueBegin = equals + 1;
    }
  }
  return line;
}

IniFile::Line IniFile::Of(std::size_t begin, std::size_t size, LineKind kind, Ending ending) {
  Line line;
  line.begin = static_cast<std::uint32_t>(begin);
  line.size = static_cast<std::uint32_t>(size) & kMaxTextBytes;
  line.kind = static_cast<std::uint32_t>(kind);
  line.ending = static_cast<std::uint32_t>(ending);
  return line;
}

IniFile::Line IniFile::Added(std::string_view text) {
  const Line line = Of(text_.size(), text.size(), ParseLine(text, false).kind, Ending::kNone);
  text_.append(text);
  return line;
}

std::size_t IniFile::FindSection(std::string_view section) const {
  section = TrimmedBlanks(section);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].Kind() == LineKind::kSection && SameTextAsciiNoCase(ParseAt(i).name, section)) {
      return i;
    }
  }
  return lines_.size();
}

std::size_t IniFile::SectionEnd(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < lines_.size() && lines_[i].Kind() != LineKind::kSection) ++i;
  return i;
}

bool IniFile::MayName(std::size_t index, std::string_view key) const {
  if (index == 0) return true;  // a byte order mark may come first
  const std::string_view text = TextOf(lines_[index]);
  const std::size_t first = FirstNotBlank(text);
  const char want = key.empty() ? '=' : key.front();
  return first != std::string_view::npos && SameTextAsciiNoCase(text.substr(first, 1), {&want, 1});
}

std::optional<std::string> IniFile::Read(std::string_view section, std::string_view key) const {
  const auto value = FindValue(section, key);
  if (!value) return std::nullopt;
  return std::string(CutUtf8(*value, kMaxValueBytes));
}

std::optional<std::string> IniFile::ReadWhole(std::string_view section,
                                              std::string_view key) const {
  const auto value = FindValue(section, key);
  if (!value) return std::nullopt;
  return std::string(*value);
}

std::optional<std::string_view> IniFile::FindValue(std::string_view section,
                                                   std::string_view key) const {
  const std::size_t header = FindSection(section);
  if (header == lines_.size()) return std::nullopt;
  key = TrimmedBlanks(key);
  const std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (lines_[i].Kind() != LineKind::kKey || !MayName(i, key)) continue;
    const Parsed line = ParseAt(i);
    if (!SameTextAsciiNoCase(line.name, key)) continue;
    return Unquote(TrimmedBlanks(TextOf(lines_[i]).substr(line.valueBegin)));
  }
  return std::nullopt;
}

bool IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
  section = TrimmedBlanks(section);
  key = TrimmedBlanks(key);
  if (section.empty() || HasLineBreak(section) || section.find(']') != std::string_view::npos ||
      key.empty() || HasLineBreak(key) || key.find('=') != std::string_view::npos ||
      key.front() == '[' || key.front() == ';') {
    return false;
  }
  value = value.substr(0, value.find_first_of("\r\n"));
  if (const auto current = FindValue(section, key); current && *current == value) return true;

  const std::size_t header = FindSection(section);
  if (header == lines_.size()) {
    if (!lines_.empty()) {
      const std::string_view last = TextOf(lines_.back());
      const std::size_t lastBreak = last.rfind('\n');
      const std::string_view lastLine =
          last.substr(lastBreak == std::string_view::npos ? 0 : lastBreak + 1);
      if (!TrimmedBlanks(lastLine).empty()) InsertLine(lines_.size(), Line{});
    }
    // A section name never begins with a byte order mark: "[" comes first.
    InsertLine(lines_.size(), Added(Joined("[", section, "]")));
    InsertLine(lines_.size(), Added(Joined(key, "=", value)));
    return true;
  }
  const std::size_t end = SectionEnd(header);
  std::size_t insertAt = header + 1;
  for (std::size_t i = header + 1; i < end; ++i) {
    if (lines_[i].Kind() != LineKind::kKey) continue;
    insertAt = i + 1;
    if (!MayName(i, key)) continue;
    const std::string_view name = ParseAt(i).name;
    if (SameTextAsciiNoCase(name, key)) {
      const std::uint32_t ending = lines_[i].ending;
      lines_[i] = Added(Joined(name, "=", value));
      lines_[i].ending = ending;
      return true;
    }
  }
  InsertLine(insertAt, Added(Joined(key, "=", value)));
  return true;
}

IniFile::Ending IniFile::NewLineEnding() const {
  return !lines_.empty() && lines_.front().End() == Ending::kCrLf ? Ending::kCrLf : Ending::kLf;
}

void IniFile::InsertLine(std::size_t index, Line line) {
  const Ending ending = NewLineEnding();
  if (index > 0 && lines_[index - 1].End() == Ending::kNone) {
    lines_[index - 1].ending = static_cast<std::uint32_t>(ending);
  }
  line.ending = static_cast<std::uint32_t>(ending);
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), line);
}

std::string IniFile::Text() const {
  std::size_t size = 0;
  for (const Line& line : lines_) size += line.size + 2;
  std::string out;
  out.reserve(size);
  for (const Line& line : lines_) {
    out += TextOf(line);
    if (line.End() == Ending::kCrLf) out += '\r';
    if (line.End() != Ending::kNone) out += '\n';
  }
  return out;
}

}  // namespace qm
