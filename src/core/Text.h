// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <string_view>

namespace qm {

// Texts are UTF-8 inside the program. The NT family's platform strings are
// UTF-16; invalid sequences either way become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// The same into out, reusing its storage.
void Utf8ToUtf16(std::string_view text, std::u16string& out);
std::string Utf16ToUtf8(std::u16string_view text);
// The same into out, reusing its storage (no allocation once it is large
// enough).
void Utf16ToUtf8(std::u16string_view text, std::string& out);

// Decodes the UTF-8 character at text[i] and moves i past it. A byte that
// starts no well-formed character (overlong, surrogate, cut short) gives
// false, U+FFFD, and i moves by one byte.
bool DecodeUtf8(std::string_view text, std::size_t& i, char32_t& cp);

// The longest prefix of text of at most maxBytes bytes that does not end
// inside a UTF-8 character.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);
// The longest prefix of text of at most maxCharacters UTF-8 characters (a
// byte that starts no well-formed character counts as one).
std::string_view CutUtf8Characters(std::string_view text, std::size_t maxCharacters);

// A text as it may leave the program for a terminal or a text file: one
// line, shown as it is stored. C0 and C1 controls, DEL (a zero byte
// included) and bytes that start no well-formed character become \xNN, one
// per byte; the line and paragraph separators (U+2028, U+2029) and the
// bidirectional controls (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066
// to U+2069) become \uXXXX; a backslash is doubled, so every escape reads
// back one way.
std::string EscapedText(std::string_view text);
// The same with every backslash kept as it is: for a text where a field is
// written unchanged ("CORP\alice" stays one backslash) and only what could
// break or disguise a line is escaped.
std::string EscapedControls(std::string_view text);

// Names reach the program through platform strings that end at a zero
// byte; a zero byte inside a name is written "\x00" instead, so "PC",
// zero byte, "hidden" stays apart from "PC". RestoreZeroBytes undoes it
// for a name that holds no backslash of its own (a client key).
std::string EscapeZeroBytes(std::string_view text);
std::string RestoreZeroBytes(std::string_view text);

// Upper case of the letters a to z only; other bytes unchanged.
std::string AsciiUpper(std::string_view text);
// Equal without regard to the case of a to z.
bool SameTextAsciiNoCase(std::string_view a, std::string_view b);

// text without the blanks of a line (space, tab, CR, VT, FF; a line feed
// ends a line and is no blank) at either end.
std::string_view TrimmedBlanks(std::string_view text);
// text without blanks, other control bytes and DEL at either end.
std::string_view TrimmedControls(std::string_view text);

}  // namespace qm
