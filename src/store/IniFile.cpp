// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "store/IniFile.h"

#include "core/Text.h"

namespace qm {

namespace {
// The blanks TrimmedBlanks drops.
constexpr std::string_view kBlanks = " \t\r\v\f";
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
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    std::string ending = end < text.size() ? "\n" : "";
    if (!ending.empty() && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
      ending = "\r\n";
    }
    Line parsed = ParseLine(std::string(line), lines_.empty());
    // Blank lines and comments in a row are one entry (its lines joined with
    // their own line ends): a file of empty lines costs what it holds.
    if (parsed.kind == LineKind::kOther && !lines_.empty() &&
        lines_.back().kind == LineKind::kOther) {
      Line& run = lines_.back();
      run.text.append(run.ending).append(parsed.text);
      run.ending = std::move(ending);
    } else {
      lines_.push_back(std::move(parsed));
      lines_.back().ending = std::move(ending);
    }
    pos = end + 1;
  }
}

IniFile::Line IniFile::ParseLine(std::string text, bool first) {
  Line line;
  line.text = std::move(text);
  std::string_view view = line.text;
  std::size_t offset = 0;
  if (first && view.starts_with(kUtf8Bom)) offset = kUtf8Bom.size();
  offset = view.find_first_not_of(kBlanks, offset);
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

std::size_t IniFile::FindSection(std::string_view section) const {
  section = TrimmedBlanks(section);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == LineKind::kSection && SameTextAsciiNoCase(lines_[i].name, section)) {
      return i;
    }
  }
  return lines_.size();
}

std::size_t IniFile::SectionEnd(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < lines_.size() && lines_[i].kind != LineKind::kSection) ++i;
  return i;
}

std::optional<std::string> IniFile::Read(std::string_view section, std::string_view key) const {
  const std::size_t header = FindSection(section);
  if (header == lines_.size()) return std::nullopt;
  key = TrimmedBlanks(key);
  const std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    const Line& line = lines_[i];
    if (line.kind != LineKind::kKey || !SameTextAsciiNoCase(line.name, key)) continue;
    const std::string_view value =
        Unquote(TrimmedBlanks(std::string_view(line.text).substr(line.valueBegin)));
    return std::string(CutUtf8(value, kMaxValueBytes));
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
  if (const auto current = Read(section, key); current && *current == value) return true;

  const std::size_t header = FindSection(section);
  if (header == lines_.size()) {
    if (!lines_.empty()) {
      const std::string& last = lines_.back().text;
      const std::size_t lastBreak = last.rfind('\n');
      const std::string_view lastLine =
          std::string_view(last).substr(lastBreak == std::string::npos ? 0 : lastBreak + 1);
      if (!TrimmedBlanks(lastLine).empty()) InsertLine(lines_.size(), Line{});
    }
    InsertLine(lines_.size(), ParseLine(Joined("[", section, "]"), lines_.empty()));
    InsertLine(lines_.size(), ParseLine(Joined(key, "=", value), false));
    return true;
  }
  const std::size_t end = SectionEnd(header);
  std::size_t insertAt = header + 1;
  for (std::size_t i = header + 1; i < end; ++i) {
    Line& line = lines_[i];
    if (line.kind != LineKind::kKey) continue;
    if (SameTextAsciiNoCase(line.name, key)) {
      std::string ending = std::move(line.ending);
      line = ParseLine(Joined(line.name, "=", value), i == 0);
      line.ending = std::move(ending);
      return true;
    }
    insertAt = i + 1;
  }
  InsertLine(insertAt, ParseLine(Joined(key, "=", value), false));
  return true;
}

std::string IniFile::NewLineEnding() const {
  return !lines_.empty() && lines_.front().ending == "\r\n" ? "\r\n" : "\n";
}

void IniFile::InsertLine(std::size_t index, Line line) {
  const std::string ending = NewLineEnding();
  if (index > 0 && lines_[index - 1].ending.empty()) lines_[index - 1].ending = ending;
  line.ending = ending;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), std::move(line));
}

std::string IniFile::Text() const {
  std::size_t size = 0;
  for (const Line& line : lines_) size += line.text.size() + line.ending.size();
  std::string out;
  out.reserve(size);
  for (const Line& line : lines_) {
    out += line.text;
    out += line.ending;
  }
  return out;
}

}  // namespace qm
