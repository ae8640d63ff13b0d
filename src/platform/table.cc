#include "platform/table.h"

#include "platform/runtime_error.h"

namespace xfr {

namespace {
[[noreturn]] void NotSupported() {
  throw RuntimeError(3251, "Operation is not supported for this type of object.");
}
}  // namespace

RecordState Recordset::ReadTexts(std::uint32_t, FieldTexts*) { NotSupported(); }
bool Recordset::TryLockRecords(const std::vector<std::uint32_t>&, std::string*) {
  NotSupported();
}
void Recordset::UnlockRecords() {}
void Recordset::Restore(std::uint32_t, const FieldTexts&, bool) { NotSupported(); }

}  // namespace xfr
