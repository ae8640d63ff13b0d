// The INI engine as pure functions over the bytes of a file: looking a key up and writing one
// key, with the Windows profile semantics the program relies on. No files, no environment, no
// exceptions; any byte sequence is valid input. PosixIniService does the file handling around
// these, and the fuzz target calls them directly.
//
// Reading rules:
// - Lines end in LF, CR or CRLF; the last line may have no line end; a UTF-8 byte-order mark at
//   the start is skipped. Other bytes, 0x80-0xFF and NUL included, are ordinary characters.
// - A line whose first non-blank character is "[" and that holds a "]" starts a section; its
//   name is what lies between the "[" and the last "]", without surrounding blanks. Text after
//   that "]" is ignored. Lines before the first section belong to the section "".
// - Any other line holding "=" is a key: the name is the text before the first "=", the value
//   the text after it, both without surrounding blanks. ";" and "#" lines are not special: a
//   comment ";K=x" is the key ";K". Lines without "=" are ignored.
// - Names match without regard to ASCII letter case, after their own blanks are dropped.
// - Only the first section of a name counts (later ones with the same name are ignored), and
//   within it only the first key of a name.
// - A value enclosed in one matching pair of '"' or "'" loses that pair (after trimming).
//
// Blanks are space, tab, vertical tab and form feed; bytes 0x80-0xFF are never blanks.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace xfr {

// The value of [section] key in `text`, quotes stripped; nullopt when the section or key is
// missing. An empty or blank value is "" (not nullopt).
std::optional<std::string> IniLookup(std::string_view text, std::string_view section,
                                     std::string_view key);

// What IniLookup reads back for a raw value text: trimmed, one pair of quotes stripped.
std::string IniValueAsRead(std::string_view raw);

// The default value as the reader returns it: trailing blanks removed.
std::string IniDefaultAsRead(std::string_view default_value);

// True when IniUpdate can write this section, key and value so that reading them back gives
// them: names not empty after trimming, no CR, LF or NUL anywhere, no "=" in the key and no
// "[" at its start.
bool IniWritable(std::string_view section, std::string_view key, std::string_view value);

// `text` with [section] key set to `value`, every other byte kept:
// - the first matching key line of the first matching section keeps its name and the blanks
//   around "=" and gets the new value in place of its old one;
// - a missing key is added as "key=value" after the last non-blank line of the section;
// - a missing section is added, with the key, at the end of the file.
// New lines use the file's first line end (CRLF when it has none). The value is written with
// its leading blanks removed. REQUIRES: IniWritable(section, key, value).
std::string IniUpdate(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view value);

}  // namespace xfr
