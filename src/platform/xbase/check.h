// CheckTable: the consistency check behind `dbftool check`. Reads a table and its structural
// index without changing them and compares every tag, entry by entry, with the keys computed
// from the records.
#pragma once

#include <string>
#include <vector>

#include "platform/xbase/env.h"
#include "platform/xbase/status.h"

namespace xbase {

// OK when the DBF (header count against the file length, end marker, record flags), the memo
// pointers and every tag (tree structure, order, key count, each record's key present and pointing
// back to it, FOR clauses) agree. Otherwise kCorruption whose message names the first fault, or
// kNotSupported when a tag's expression cannot be evaluated. Each table and tag checked adds a
// line to *report; so does a missing 0x1A end marker, which is a note, not a fault (programs in
// shared mode leave it off after an append), and a write cut short that the table's NAME.WAL
// holds (write_ahead.h), which the next write open finishes.
Status CheckTable(Env* env, const std::string& dbf_path, std::vector<std::string>* report);

// Printable form of key bytes for messages: text in quotes with \xNN escapes, or the number
// behind an 8-byte numeric key.
std::string DescribeKey(const std::string& key, char key_type);

}  // namespace xbase
