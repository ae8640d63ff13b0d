// libFuzzer target for the compound-index decoders and tree code: any bytes as a .CDX file.
// Opening, walking, seeking and checking must not crash; and on a tag that passes Check(),
// inserting and deleting keys must keep it passing and keep the walk in step with the changes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/require.h"
#include "platform/xbase/cdx.h"
#include "platform/xbase/mem_env.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using xbase::CdxFile;
  xbase::MemEnv env;
  env.PutFile("F.CDX", std::string(reinterpret_cast<const char*>(data), size));
  std::unique_ptr<CdxFile> cdx;
  if (!CdxFile::Open(&env, "F.CDX", false, &cdx).ok()) return 0;
  const std::uint8_t salt = size > 0 ? data[size - 1] : 0;
  for (std::size_t tag = 0; tag < cdx->tags().size() && tag < 8; ++tag) {
    const int t = static_cast<int>(tag);
    const int len = cdx->tags()[tag].key_length;
    if (salt & 1) cdx->SetKeyType(t, 'N');
    std::uint64_t before = 0;
    std::string last;
    if (!cdx->Walk(t, [&](std::string_view k, std::uint32_t) {
          last.assign(k);
          return ++before < 200000;
        }).ok()) {
      continue;
    }
    bool found;
    std::uint32_t recno;
    if (!last.empty()) cdx->Seek(t, last, &found, &recno);
    std::string problem;
    if (!cdx->Check(t, &problem).ok() || !cdx->tags()[tag].machine_collation) continue;
    // A sound tag stays sound through changes.
    const bool unique = cdx->tags()[tag].unique;
    std::uint64_t added = 0;
    for (int i = 0; i < 40 + salt; ++i) {
      std::string key(len, static_cast<char>('A' + (i * 7 + salt) % 26));
      key[0] = static_cast<char>(salt + i);
      if (!cdx->Insert(t, key, 1000000 + i).ok()) return 0;  // an unreadable sibling, say
      if (!unique) ++added;
    }
    if (!unique) {
      for (int i = 0; i < 20; ++i) {
        std::string key(len, static_cast<char>('A' + (i * 7 + salt) % 26));
        key[0] = static_cast<char>(salt + i);
        if (!cdx->Delete(t, key, 1000000 + i).ok()) return 0;
        --added;
      }
    }
    Require(cdx->Check(t, &problem).ok(), problem);
    std::uint64_t after = 0;
    if (cdx->Count(t, &after).ok() && !unique) Require(after == before + added, "count drifted");
  }
  cdx->Flush();
  return 0;
}
