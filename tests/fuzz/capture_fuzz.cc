// libFuzzer target for the read command against hostile answers from the appraisal program, on the
// real table engine over in-memory copies of the fixture tables. Request by request the input
// picks the plain report's answer or something hostile (raw bytes, hundreds of KB, NULs, bad UTF-8,
// CR LF inside, a 64 KB line, "$1e308", "99/99/99", nothing, a failed request) and answers every
// box. Checks: no sanitizer report; the pointer given back, no write left pending, every box with
// text and title; afterwards every table passes the full check and gained at most one record.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fakes/harness.h"
#include "fuzz/require.h"
#include "platform/runtime_error.h"
#include "platform/tables/xbase_table.h"
#include "platform/xbase/check.h"
#include "platform/xbase/mem_env.h"
#include "platform/xbase/table.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"
#include "support/temp_dir.h"
#include "transfer/read_driver.h"
#include "transfer/read_office.h"

namespace {

// The fixture tables, read once.
const std::map<std::string, std::string>& Fixtures() {
  static const auto* files = [] {
    auto* out = new std::map<std::string, std::string>;
    for (const auto& e : std::filesystem::directory_iterator(std::string(XFR_TEST_DATA) + "/foxpro")) {
      if (!e.is_regular_file()) continue;
      (*out)["/" + e.path().filename().string()] = xfr::testing::ReadFile(e.path());
    }
    Require(out->count("/PROPERTY.DBF") != 0, "fixture tables not found");
    return out;
  }();
  return *files;
}

// Message boxes answered from the input; Retry is given a few times at most, so that an error
// that keeps coming back cannot keep the command going.
class FuzzWindow : public xfr::testing::FakeWindow {
 public:
  using FakeWindow::MessageBox;
  explicit FuzzWindow(FuzzedDataProvider* input) : input_(input) {}

  xfr::Answer MessageBox(std::string_view text, std::string_view title, xfr::Buttons buttons,
                         std::string_view details) override {
    Require(!text.empty() && !title.empty(), "a box without text or title");
    const std::uint8_t pick = input_->ConsumeIntegral<std::uint8_t>();
    using A = xfr::Answer;
    answers = {buttons == xfr::Buttons::kYesNo             ? (pick % 2 == 0 ? A::kYes : A::kNo)
               : buttons != xfr::Buttons::kAbortRetryIgnore ? A::kOk
               : pick % 3 == 1 && retries_++ < 8           ? A::kRetry
               : pick % 3 == 2                             ? A::kAbort
                                                           : A::kIgnore};
    return FakeWindow::MessageBox(text, title, buttons, details);
  }

 private:
  FuzzedDataProvider* input_;
  int retries_ = 0;
};

std::string Pick(FuzzedDataProvider& in, const std::vector<std::string>& list) {
  return list[in.ConsumeIntegralInRange<std::size_t>(0, list.size() - 1)];
}

// The answer to one request: the plain one (the read tests' new job on URAR), or what the input
// makes of it. Raises to fail it.
std::string Answer(FuzzedDataProvider& in, const std::string& topic, const std::string& item) {
  static auto* plain = [] {
    auto* dde = new xfr::FakeDdeTransport;
    xfr::testing::FakeIni ini;
    xfr::testing::SetUpRead(ini, *dde);
    return dde;
  }();
  static const std::vector<std::string> kNumbers = {
      "$1e308", "-1e308", "1e-400", "$", "$,,,", "NaN", "inf", "-0", "999999999999999999999",
      "1,2,3.4.5", "(250,000)", "$250,000.00", "0x1F", "1e309", "-$5", "12345678901.99"};
  static const std::vector<std::string> kDates = {
      "99/99/99", "2/30/25", "0/0/0", "12/31/9999", "13/1/25", "1/1/1", "February 30, 2025",
      "25-12-31", "  /  /  ", "31.12.2025", "1/1/100000", "2/29/00", "12/31/1899", "-1/-1/-1"};
  static const std::vector<std::string> kKnown = {
      "24-00101", "ac24-104", "AC24-104", "24-00103", "24-00119", "24-00102", "7731",
      "10004",    "10007",    "amc01",    "AMC02",    "ab123",    "RPT1,",    "URAR,",
      "ZNA,",     "NONE,",    ",",        "\r\n",     " ",        "123456",   "24-001015"};
  // As the fake server answers it: "\r\n" for an item it holds no value for.
  std::string text = plain->Initiate("APX", topic)->Request(item);
  plain->clear_calls();
  const std::uint8_t mode = in.ConsumeIntegral<std::uint8_t>();
  switch (mode % 10) {  // 0 and 1: the plain answer
    case 2: text = in.ConsumeRandomLengthString(512); break;
    case 3: {
      std::string unit = in.ConsumeRandomLengthString(16);
      if (unit.empty()) unit = "A";
      const std::size_t total = in.ConsumeIntegralInRange<std::size_t>(0, 300000);
      text.clear();
      while (text.size() < total) text += unit;
      break;
    }
    case 4: text = Pick(in, kNumbers); break;
    case 5: text = Pick(in, kDates); break;
    case 6:
      text = std::string(32768, 'x') + "\r\n" + in.ConsumeRandomLengthString(64) +
             std::string(32768, 'y');
      break;
    case 7: text = Pick(in, kKnown); break;
    case 8: text.clear(); break;
    case 9: {
      static const int kErrors[] = {xfr::kErrNoDdeServer, xfr::kErrDdeRefused,
                                    xfr::kErrDdeTimeout, xfr::kErrInvalidProperty};
      throw xfr::RuntimeError(kErrors[in.ConsumeIntegralInRange<int>(0, 3)]);
    }
  }
  if (mode & 0x10) text.insert(text.size() / 2, 1, '\0');
  if (mode & 0x20) text.insert(text.size() / 3, "\r\n");
  if (mode & 0x40) text.insert(0, "\xff\xfe\xc3(\xe2\x82");
  if (mode & 0x80) text += in.ConsumeRandomLengthString(32);
  return text;
}

// Every table passes the full check, every record decodes, and at most one record was added to
// each (the fixtures hold 40 properties, 15 clients and 30 invoices).
void CheckTables(xbase::MemEnv* env) {
  const std::pair<const char*, std::uint32_t> kBefore[] = {
      {"PROPERTY", 40}, {"CLIENT", 15}, {"INVOICE", 30}};
  for (const auto& [name, before] : kBefore) {
    const std::string path = std::string("/") + name + ".DBF";
    std::vector<std::string> report;
    xbase::Status s = xbase::CheckTable(env, path, &report);
    Require(s.ok(), path + ": " + s.ToString());
    std::unique_ptr<xbase::Table> table;
    s = xbase::Table::Open(env, path, {.read_only = true}, &table);
    Require(s.ok(), path + " does not open: " + s.ToString());
    std::uint32_t count = 0;
    Require(table->RecordCount(&count).ok(), path + ": no record count");
    Require(count == before || count == before + 1, path + ": more than one record added");
    xbase::Record rec = table->NewRecord();
    for (std::uint32_t r = 1; r <= count; ++r) {
      Require(table->Read(r, &rec).ok(), path + ": a record does not read");
      const auto& fields = table->layout().fields();
      for (std::size_t f = 0; f < fields.size(); ++f) {
        const int i = static_cast<int>(f);
        rec.Text(i);
        if (rec.IsBlank(i)) continue;
        double number;
        xbase::DbfDate date;
        if (fields[f].type == 'N') Require(rec.Number(i, &number), path + ": a number that is not");
        if (fields[f].type == 'D') Require(rec.Date(i, &date), path + ": a date that is not");
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);

  xbase::MemEnv env;
  for (const auto& [name, bytes] : Fixtures()) env.PutFile(name, bytes);
  {
    xfr::testing::Harness h;  // its INI, clock, instance and appraisal program
    xfr::testing::SetUpRead(h.ini, h.dde);
    FuzzWindow window(&input);
    xfr::XbaseTableService tables(
        [](std::string_view, std::string_view file) { return "/" + xfr::UCase(file); },
        &env);
    xfr::App app(xfr::Services{&h.ini, &h.files, &h.clock, &window, &tables, &h.dde, &h.instance},
                 "");
    xfr::MainWindow form(app);
    xfr::Initialize(app);
    xfr::frmMainForm_Load(form);
    Require(window.boxes.empty(), "the office did not load cleanly");

    // Answers are scripted only while the command runs.
    h.dde.set_on_call([&](const xfr::FakeDdeTransport::Call& call) {
      if (call.op != "request") return;
      h.dde.SetAnswer(call.topic, call.item, Answer(input, call.topic, call.item));
    });
    window.pointers.clear();
    try {
      xfr::CmdRead_Click(form);
    } catch (const xfr::EndProgram&) {
      // The corrupt-table report ends the program; the tables must still be sound.
    }
    h.dde.set_on_call(nullptr);
    Require(!window.pointers.empty() && window.pointers.front() == xfr::Pointer::kHourglass &&
                window.pointers.back() == xfr::Pointer::kDefault,
            "the pointer was not given back");
    for (xfr::DataControl* dc : {&form.datproperty, &form.datclient, &form.datinvoice}) {
      if (dc->IsOpen()) Require(dc->GetEditMode() == xfr::EditMode::kNone, "a write left pending");
    }
    try {
      xfr::Form_Unload(form);
    } catch (const xfr::RuntimeError&) {
    }
  }
  CheckTables(&env);
  return 0;
}
