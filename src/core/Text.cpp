// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "core/Text.h"

namespace qm {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}
}  // namespace

bool DecodeUtf8(std::string_view text, std::size_t& i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  cp = kReplacement;
  if (b0 < 0x80) {
    ++i;
    cp = b0;
    return true;
  }
  std::size_t len = 0;
  char32_t v = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    v = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    v = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    v = b0 & 0x07;
  } else {
    ++i;
    return false;
  }
  if (i + len > text.size()) {
    ++i;
    return false;
  }
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return false;
    }
    v = (v << 6) | (b & 0x3F);
  }
  const bool overlong =
      (len == 2 && v < 0x80) || (len == 3 && v < 0x800) || (len == 4 && v < 0x10000);
  if (overlong || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) {
    ++i;
    return false;
  }
  i += len;
  cp = v;
  return true;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  Utf8ToUtf16(text, out);
  return out;
}

void Utf8ToUtf16(std::string_view text, std::u16string& out) {
  out.resize(text.size());
  std::size_t i = 0;
  // Names and paths are mostly ASCII: copy those bytes straight across.
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) {
    out[i] = static_cast<char16_t>(text[i]);
    ++i;
  }
  if (i == text.size()) return;
  out.resize(i);
  while (i < text.size()) {
    char32_t cp;
    DecodeUtf8(text, i, cp);
    if (cp >= 0x10000) {
      const char32_t v = cp - 0x10000;
      out += static_cast<char16_t>(0xD800 + (v >> 10));
      out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  Utf16ToUtf8(text, out);
  return out;
}

void Utf16ToUtf8(std::u16string_view text, std::string& out) {
  std::size_t start = 0;
  while (start < text.size() && text[start] < 0x80) ++start;
  out.assign(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(start));
  if (start == text.size()) return;
  out.reserve(text.size() + 8);
  for (std::size_t i = start; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
  }
}

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = maxBytes;
  // Step back over continuation bytes to the start of the cut character.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string_view CutUtf8Characters(std::string_view text, std::size_t maxCharacters) {
  std::size_t end = 0;
  for (std::size_t n = 0; n < maxCharacters && end < text.size(); ++n) {
    char32_t cp;
    DecodeUtf8(text, end, cp);
  }
  return text.substr(0, end);
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool SameTextAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

namespace {
bool HiddenFormatCharacter(char32_t cp) {
  return cp == 0x2028 || cp == 0x2029 || cp == 0x061C || cp == 0x200E || cp == 0x200F ||
         (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

constexpr char kHex[] = "0123456789ABCDEF";

std::string Escaped(std::string_view text, bool doubleBackslashes) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t start = i;
    char32_t cp;
    const bool wellFormed = DecodeUtf8(text, i, cp);
    if (!wellFormed || cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F)) {
      for (std::size_t k = start; k < i; ++k) {
        const auto byte = static_cast<unsigned char>(text[k]);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
      }
    } else if (HiddenFormatCharacter(cp)) {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(cp >> shift) & 0xF];
    } else if (cp == '\\' && doubleBackslashes) {
      out += "\\\\";
    } else {
      out.append(text, start, i - start);
    }
  }
  return out;
}
}  // namespace

std::string EscapedText(std::string_view text) {
  return Escaped(text, true);
}

std::string EscapedControls(std::string_view text) {
  return Escaped(text, false);
}

std::string EscapeZeroBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\0') {
      out += "\\x00";
    } else {
      out += c;
    }
  }
  return out;
}

std::string RestoreZeroBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 4, "\\x00") == 0) {
      out += '\0';
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

namespace {
template <typename Drop>
std::string_view TrimmedWhere(std::string_view text, Drop drop) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && drop(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && drop(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}
}  // namespace

std::string_view TrimmedBlanks(std::string_view text) {
  return TrimmedWhere(text, [](unsigned char b) {
    return b == ' ' || b == '\t' || b == '\r' || b == '\v' || b == '\f';
  });
}

std::string_view TrimmedControls(std::string_view text) {
  return TrimmedWhere(text, [](unsigned char b) { return b <= 0x20 || b == 0x7F; });
}

}  // namespace qm
