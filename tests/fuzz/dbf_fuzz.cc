// libFuzzer target for the table engine's decoders: the input is a DBF file and a CDX file
// (a 2-byte little-endian length of the DBF first), opened from memory, read, sought, written
// and checked. Any crash, leak or sanitizer report is a fault; errors are expected.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/xbase/check.h"
#include "platform/xbase/mem_env.h"
#include "platform/xbase/table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::size_t dbf_len = data[0] | (data[1] << 8);
  std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
  if (dbf_len > rest.size()) dbf_len = rest.size();
  xbase::MemEnv env;
  env.PutFile("/T.DBF", rest.substr(0, dbf_len));
  env.PutFile("/T.CDX", rest.substr(dbf_len));
  env.PutFile("/T.FPT", std::string(512, '\0'));
  std::unique_ptr<xbase::Table> table;
  if (!xbase::Table::Open(&env, "/T.DBF", {.lock_timeout_micros = 0}, &table).ok()) return 0;
  std::uint32_t count = 0;
  if (table->RecordCount(&count).ok()) {
    xbase::Record rec = table->NewRecord();
    for (std::uint32_t r = 1; r <= count && r <= 64; ++r) {
      if (!table->Read(r, &rec).ok()) break;
      for (std::size_t f = 0; f < table->layout().fields().size(); ++f)
        rec.Text(static_cast<int>(f));
    }
  }
  bool found = false;
  std::uint32_t recno = 0;
  table->First(&found, &recno);
  for (std::size_t t = 0; t < table->tags().size(); ++t) {
    table->Seek(static_cast<int>(t), "24-00105", &found, &recno);
    table->Seek(static_cast<int>(t), "", &found, &recno);
  }
  xbase::Record rec = table->NewRecord();
  if (!table->layout().fields().empty()) rec.SetFromString(0, "FUZZ");
  table->Append(rec, &recno);
  table->Update(1, rec);
  std::vector<std::string> report;
  xbase::CheckTable(&env, "/T.DBF", &report);
  return 0;
}
