// read-campaign: one worker of a concurrency campaign. It starts apx-sim on the session bus it
// runs under (run it under a bus of its own: dbus-run-session -- read-campaign ...), then reads
// N new jobs, one after the other, into the FoxPro tables of a directory that other workers write
// at the same time. Before each read it pokes the report's file number, client number, street and
// client name to values of its own (worker W, read I):
//   file number  W<W><I, 5 digits>        "W100042"
//   client       <prefix><I, 4 digits>    prefix: the letter 'O' + W ("P0042" for worker 1)
//   street       "<I> Worker <W> Way"
//   client name  "Lender <W>-<I>"
// so each read adds a property, a client and an invoice that no other worker adds; the values
// can be checked afterwards (tools/read-campaign/verify_campaign.py).
//
// Every message box other than the one "... was not found.  Add?" of each read counts as an
// error, as does a read that throws. It prints one line of figures (key=value) and exits 0 when
// every read added its job without an error, 1 otherwise, 2 when it could not start.
//
// With --office it works as an office workstation does, its writes journalled in TRANSFER.LOG
// (workstation "WS<W>"): step I reads either a job of its own (W<W><I>, new) or, at random, an
// earlier job of its own or of another of the --workers workstations (J of worker V, which may be
// there, undone or deleted meanwhile), answering Yes to "Add?" and "Update?", and then, one time
// in three, a moment (up to 0.3 s) later, undoes the last read of that job (or, one time in
// three, of the job it read two steps before). A job's client is <'O'+V><J / 3, 4 digits>, so three jobs in a row
// name the same client; its street is "<I> Worker <W> Way", so every read of a job there changes
// it. Each step is one JSON line of --log: the read and its boxes, or the undo, its outcome and
// its last box. A box other than the read's question counts as an error.
//
// With --tracking it stands in for the tracking program instead (no bus, no apx-sim): until the
// file --until exists it edits and deletes records of PROPERTY and CLIENT (mostly of the last
// twelve) at random moments under FoxPro's locks, as a person editing does: a record's lock taken
// (never the header lock),
// held 50-500 ms, then PR_STREET or CLI_CONT set to "Office <N>" (one property in seven deleted
// instead), and let go. Each edit written is one JSON line of --log.
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "fakes/fake_ini.h"
#include "fakes/fake_window.h"
#include "form/main_window.h"
#include "base/json_string.h"
#include "platform/dbus/dbus_dde_transport.h"
#include "platform/posix/posix_clock.h"
#include "platform/runtime_error.h"
#include "platform/tables/table_journal.h"
#include "platform/tables/xbase_table.h"
#include "platform/xbase/env.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"
#include "support/apx_sim.h"
#include "support/office_tables.h"
#include "support/temp_dir.h"
#include "transfer/read_driver.h"
#include "transfer/undo.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kUsage[] =
    "Usage: read-campaign --data DIR --worker W --reads N [options]\n"
    "Reads N new jobs from apx-sim into the tables in DIR, as worker W (1-9) of a campaign.\n"
    "Run it under a session bus of its own (dbus-run-session -- read-campaign ...).\n"
    "\n"
    "Options:\n"
    "  --apx-sim PATH       the stand-in appraisal program (default: beside this program,\n"
    "                       ../apx-sim/apx-sim)\n"
    "  --client-prefix X    the client numbers' first letter (default 'O' + W)\n"
    "  --ready FILE         created once apx-sim answers, before the first read\n"
    "  --go FILE            wait until FILE exists before the first read\n"
    "  --lockstep-dir DIR   start each read only when the workers 1..--lockstep-workers have\n"
    "                       all reached it (marks in DIR), so that they race on every read\n"
    "  --lockstep-workers N\n"
    "  --lockstep-id K      this worker's mark among them (default W)\n"
    "  --office             read new and existing jobs and undo some reads (see the source)\n"
    "  --workers N          with --office: the workstations whose jobs may be read (default W)\n"
    "  --tracking           stand in for the tracking program instead (see the source)\n"
    "  --until FILE         with --tracking: edit until FILE exists\n"
    "  --log FILE           with --office or --tracking: one JSON line a step\n";

const char kReport[] = R"({"reports": {"RPT1": {"forms": ["URAR", "offscrn"], "fields": {
  "offscrn|3|3": "W000000", "offscrn|7|1": "0 Worker 0 Way", "offscrn|8|1": "Atlanta",
  "offscrn|8|3": "GA", "offscrn|8|4": "30306", "offscrn|8|2": "DeKalb",
  "offscrn|24|1": "Druid Hills", "URAR|25|2": "0201.00", "URAR|25|1": "18-054-02-011",
  "offscrn|2|3": "LN-9001", "offscrn|11|1": "$425,000", "offscrn|11|2": "3/7/25",
  "offscrn|6|1": "Chris Buyer", "URAR|5|1": "Pat Seller", "offscrn|13|1": "O0000",
  "offscrn|14|1": "Lender 0-0", "offscrn|15|1": "1201 Peachtree St NE",
  "offscrn|16|1": "Suite 400", "offscrn|17|1": "Atlanta, GA 30361",
  "offscrn|20|3": "Claire Whitman"}}}})";

struct Options {
  std::string data;
  int worker = 0;
  long reads = -1;
  std::string apx_sim;
  std::string client_prefix;
  std::string ready;
  std::string go;
  std::string step_dir;
  int step_workers = 0;
  int step_id = 0;
  bool office = false;
  int workers = 0;
  bool tracking = false;
  std::string until;
  std::string log;
};

std::string SelfDir() {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return ".";
  std::string dir(self, static_cast<size_t>(n));
  return dir.erase(dir.rfind('/'));
}

bool ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") return false;
    if (arg == "--office" || arg == "--tracking") {
      (arg == "--office" ? o->office : o->tracking) = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "read-campaign: %s needs a value\n", arg.c_str());
      return false;
    }
    const std::string value = argv[++i];
    if (arg == "--data") {
      o->data = value;
    } else if (arg == "--worker") {
      o->worker = std::atoi(value.c_str());
    } else if (arg == "--reads") {
      o->reads = std::atol(value.c_str());
    } else if (arg == "--apx-sim") {
      o->apx_sim = value;
    } else if (arg == "--client-prefix") {
      o->client_prefix = value;
    } else if (arg == "--ready") {
      o->ready = value;
    } else if (arg == "--go") {
      o->go = value;
    } else if (arg == "--lockstep-dir") {
      o->step_dir = value;
    } else if (arg == "--lockstep-workers") {
      o->step_workers = std::atoi(value.c_str());
    } else if (arg == "--lockstep-id") {
      o->step_id = std::atoi(value.c_str());
    } else if (arg == "--workers") {
      o->workers = std::atoi(value.c_str());
    } else if (arg == "--until") {
      o->until = value;
    } else if (arg == "--log") {
      o->log = value;
    } else {
      std::fprintf(stderr, "read-campaign: unknown option %s\n", arg.c_str());
      return false;
    }
  }
  if (o->tracking) {
    if (!o->data.empty() && !o->until.empty() && !o->log.empty()) return true;
    std::fprintf(stderr, "read-campaign: --tracking needs --data, --until and --log\n");
    return false;
  }
  if (o->workers == 0) o->workers = o->worker;
  if (o->data.empty() || o->worker < 1 || o->worker > 9 || o->reads < 0 || o->reads > 99999) {
    std::fprintf(stderr,
                 "read-campaign: --data, --worker (1-9) and --reads (0-99999) are needed\n");
    return false;
  }
  if (o->apx_sim.empty()) o->apx_sim = SelfDir() + "/../apx-sim/apx-sim";
  if (o->step_id == 0) o->step_id = o->worker;
  if (o->client_prefix.empty())
    o->client_prefix = std::string(1, static_cast<char>('O' + o->worker));
  return true;
}

std::string Digits(long value, int width) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < width)
    s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
  return s;
}

// The real file system, counting the engine's waits for a lock another program holds (the engine
// sleeps only between two tries of a lock).
class CountingEnv final : public xbase::Env {
 public:
  xbase::Status OpenFile(const std::string& path, bool read_only,
                         std::unique_ptr<xbase::File>* file) override {
    return base_->OpenFile(path, read_only, file);
  }
  bool FileExists(const std::string& path) override { return base_->FileExists(path); }
  xbase::Status CreateIfMissing(const std::string& path, const std::string& like) override {
    return base_->CreateIfMissing(path, like);
  }
  xbase::Status CanCreate(const std::string& path) override { return base_->CanCreate(path); }
  xbase::Status RenameFile(const std::string& from, const std::string& to) override {
    return base_->RenameFile(from, to);
  }
  std::vector<std::string> ListDirectory(const std::string& dir) override {
    return base_->ListDirectory(dir);
  }
  void SleepMicros(std::uint64_t micros) override {
    ++lock_waits;
    waited_micros += micros;
    base_->SleepMicros(micros);
  }

  long lock_waits = 0;
  std::uint64_t waited_micros = 0;

 private:
  xbase::Env* base_ = xbase::Env::Default();
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(at, v.size() - 1)];
}

// Marks read `i` as reached by this worker and waits (up to a minute) until every worker has.
bool Lockstep(const Options& o, long i) {
  const std::string at = o.step_dir + "/" + std::to_string(i) + ".";
  std::ofstream(at + std::to_string(o.step_id)).put('\n');
  const auto limit = Clock::now() + std::chrono::seconds(60);
  for (int w = 1; w <= o.step_workers; ++w) {
    while (!fs::exists(at + std::to_string(w))) {
      if (Clock::now() > limit) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  return true;
}

// The native path of a file of `dir`, in whatever letter case it is there (as written when it
// is not there yet).
auto FilesIn(const std::string& dir) {
  return [dir](std::string_view, std::string_view file) {
    const std::string found = xfr::testing::TablesIn(dir)("", file);
    return found.empty() ? dir + "/" + std::string(file) : found;
  };
}

void Sleep(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int Reads(const Options& o) {
  xfr::testing::FakeIni ini;
  xfr::testing::FakeFiles files;
  xfr::testing::FakeWindow window;
  xfr::testing::FakeClock fake_clock;
  fake_clock.today = xfr::Date{2025, 6, 15};
  // An office's undo waits for the locks others hold: it needs the clock that really waits.
  xfr::PosixClock real_clock;
  xfr::Clock* clock = o.office ? static_cast<xfr::Clock*>(&real_clock) : &fake_clock;
  xfr::DBusDdeTransport dde;
  CountingEnv env;
  const std::string dir = o.data;
  const std::string w = std::to_string(o.worker);
  xfr::TableJournal journal(FilesIn(dir), &env, clock, "WS" + w, "worker" + w);
  xfr::XbaseTableService tables(xfr::testing::TablesIn(dir), &env,
                                o.office ? &journal : nullptr);
  const char* xfr_ini = "C:\\WINDOWS\\XFR.INI";
  ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
  ini.Set(xfr_ini, "PREFERENCES", "AUTOEXIT", "0");
  ini.Set(xfr_ini, "FORM", "URAR", "URAR");
  ini.Set(xfr_ini, "CENSUS", "URAR", "25|2");
  ini.Set(xfr_ini, "MAPREF", "URAR", "25|1");
  ini.Set(xfr_ini, "OWNER", "URAR", "5|1");
  xfr::App app(xfr::Services{&ini, &files, clock, &window, &tables, &dde, nullptr,
                             o.office ? &journal : nullptr},
               "");
  xfr::MainWindow form(app);

  long errors = 0, poke_errors = 0;
  std::string first_error;
  auto note = [&](const std::string& what) {
    ++errors;
    if (first_error.empty()) first_error = what;
  };
  try {
    xfr::Initialize(app);
    xfr::frmMainForm_Load(form);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "read-campaign: the window did not load: %s\n", e.what());
    return 2;
  } catch (...) {
    std::fprintf(stderr, "read-campaign: the window did not load\n");
    return 2;
  }
  if (!window.boxes.empty()) {
    std::fprintf(stderr, "read-campaign: loading showed \"%s\"\n", window.boxes[0].text.c_str());
    return 2;
  }
  std::ofstream log;
  if (!o.log.empty()) log.open(o.log);

  if (!o.ready.empty()) std::ofstream(o.ready) << getpid() << "\n";
  while (!o.go.empty() && !fs::exists(o.go)) Sleep(2);

  std::vector<double> click_ms;
  click_ms.reserve(static_cast<std::size_t>(o.reads));
  std::mt19937 rng(static_cast<unsigned>(o.worker) * 7919u);
  long undos = 0, undone = 0;
  std::vector<std::string> read_jobs;  // the jobs read, in order
  const auto start = Clock::now();
  std::unique_ptr<xfr::DdeConversation> report;
  for (long i = 0; i < o.reads; ++i) {
    // The job: worker v's job j (in an office, half the time an earlier one, mine or another's).
    int v = o.worker;
    long j = i;
    const unsigned pick = rng() % 4;
    if (o.office && i > 0 && pick >= 2) {
      j = static_cast<long>(rng() % static_cast<unsigned>(i));
      if (pick == 3) v = 1 + static_cast<int>(rng() % static_cast<unsigned>(o.workers));
    }
    const std::string n = std::to_string(i), vs = std::to_string(v);
    const std::string file_num = "W" + vs + Digits(j, 5);
    const long c = o.office ? j / 3 : i;
    const std::string client =
        (o.office ? std::string(1, static_cast<char>('O' + v)) : o.client_prefix) + Digits(c, 4);
    try {
      if (!report) report = dde.Initiate("APX", "RPT1");
      report->Poke("offscrn|3|3", file_num);
      report->Poke("offscrn|13|1", client);
      report->Poke("offscrn|7|1", n + " Worker " + w + " Way");
      report->Poke("offscrn|14|1", "Lender " + vs + "-" + std::to_string(c));
    } catch (const std::exception& e) {
      ++poke_errors;
      note(file_num + ": poke failed: " + e.what());
      report.reset();
      continue;
    }
    if (!o.step_dir.empty() && !Lockstep(o, i)) note(file_num + ": the other workers never came");
    window.boxes.clear();
    const auto before = Clock::now();
    try {
      xfr::CmdRead_Click(form);
    } catch (const std::exception& e) {
      note(file_num + ": the read threw: " + e.what());
    } catch (...) {
      note(file_num + ": the read ended the program");
    }
    click_ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - before).count());
    const std::string add = file_num + " was not found.  Add?";
    const std::string update = file_num + " was found.  Update?";
    const std::string asked = window.boxes.empty() ? "" : window.boxes[0].text;
    for (const auto& box : window.boxes) {
      if (box.text != add && !(o.office && box.text == update)) {
        note(file_num + ": \"" + box.title + "\" " + box.text);
      }
    }
    if (asked != add && !(o.office && asked == update)) {
      note(file_num + ": the read did not ask to add" + (o.office ? " or update" : ""));
    }
    if (!o.office) continue;
    log << "{\"worker\":" << w << ",\"step\":" << i
        << ",\"kind\":\"read\",\"job\":" << xfr::JsonQuote(file_num)
        << ",\"asked\":" << xfr::JsonQuote(asked == add ? "add" : "update") << "}\n";
    read_jobs.push_back(file_num);
    if (rng() % 3 != 0) continue;
    // Undo of the last read of this job, or of the job read two steps ago (whose client the jobs
    // read since may name), a moment later (the person looks at what it wrote), answering Yes.
    const std::string& undo_job =
        read_jobs.size() > 2 && rng() % 3 == 0 ? read_jobs[read_jobs.size() - 3] : file_num;
    Sleep(static_cast<long>(rng() % 300));
    window.boxes.clear();
    xfr::UndoOutcome outcome = xfr::UndoOutcome::kFailed;
    try {
      outcome = xfr::UndoLastRead(app, undo_job);
    } catch (const std::exception& e) {
      note(undo_job + ": the undo threw: " + e.what());
    }
    static const char* const kOutcomes[] = {"undone", "declined", "nothing", "refused", "failed"};
    const std::string said = window.boxes.empty() ? "" : window.boxes.back().text;
    if (outcome == xfr::UndoOutcome::kFailed || outcome == xfr::UndoOutcome::kDeclined) {
      note(undo_job + ": undo " + kOutcomes[static_cast<int>(outcome)] + ": " + said);
    }
    ++undos;
    undone += outcome == xfr::UndoOutcome::kUndone;
    log << "{\"worker\":" << w << ",\"step\":" << i
        << ",\"kind\":\"undo\",\"job\":" << xfr::JsonQuote(undo_job)
        << ",\"outcome\":\"" << kOutcomes[static_cast<int>(outcome)]
        << "\",\"text\":" << xfr::JsonQuote(said) << "}\n";
  }
  const double wall_s = std::chrono::duration<double>(Clock::now() - start).count();
  try {
    xfr::Form_Unload(form);
  } catch (...) {
  }
  std::printf(
      "worker=%d reads=%ld errors=%ld poke_errors=%ld lock_waits=%ld lock_wait_ms=%.1f "
      "wall_s=%.3f reads_per_s=%.1f click_p50_ms=%.2f click_p99_ms=%.2f click_max_ms=%.2f "
      "undos=%ld undone=%ld\n",
      o.worker, o.reads, errors, poke_errors, env.lock_waits, env.waited_micros / 1000.0, wall_s,
      wall_s > 0 ? static_cast<double>(o.reads) / wall_s : 0.0, Percentile(click_ms, 0.5),
      Percentile(click_ms, 0.99),
      click_ms.empty() ? 0.0 : *std::max_element(click_ms.begin(), click_ms.end()), undos,
      undone);
  if (!first_error.empty())
    std::fprintf(stderr, "read-campaign: first error: %s\n", first_error.c_str());
  std::fflush(stdout);
  return errors == 0 ? 0 : 1;
}

// The tracking program's stand-in (--tracking).
int Tracking(const Options& o) {
  const char* const kTables[] = {"PROPERTY.DBF", "CLIENT.DBF"};
  const char* const kFields[] = {"PR_STREET", "CLI_CONT"};
  std::unique_ptr<xbase::Table> tables[2];
  for (int t = 0; t < 2; ++t) {
    xbase::Status s = xbase::Table::Open(xbase::Env::Default(), FilesIn(o.data)("", kTables[t]),
                                         {}, &tables[t]);
    if (!s.ok()) {
      std::fprintf(stderr, "read-campaign: %s\n", s.ToString().c_str());
      return 2;
    }
  }
  std::ofstream log(o.log);
  std::mt19937 rng(std::random_device{}());
  long edits = 0, deletes = 0, busy = 0, errors = 0;
  std::string first_error;
  for (long n = 1; !fs::exists(o.until);) {
    const int t = rng() % 10 < 7 ? 0 : 1;
    xbase::Table& table = *tables[t];
    std::uint32_t count = 0;
    if (!table.RecordCount(&count).ok() || count == 0) continue;
    // Mostly the jobs and clients added last, which the workstations are reading and undoing.
    const std::uint32_t r = rng() % 10 < 7
                                ? count - static_cast<std::uint32_t>(rng() % std::min(count, 12u))
                                : 1 + static_cast<std::uint32_t>(rng() % count);
    if (!table.TryHoldLocks({r}, false).ok()) {
      ++busy;
      Sleep(20);
      continue;
    }
    xbase::Record record = table.NewRecord();
    if (!table.Read(r, &record).ok() || record.deleted()) {
      table.ReleaseHeldLocks();
      continue;
    }
    Sleep(50 + static_cast<long>(rng() % 450));  // a person editing the record
    const bool deleting = t == 0 && rng() % 7 == 0;
    const std::string value = "Office " + std::to_string(n);
    xbase::Record change = table.NewRecord();
    xbase::Status s;
    if (deleting) {
      change.SetDeleted(true);
    } else {
      s = change.SetText(table.FindField(kFields[t]), value);
    }
    if (s.ok()) s = table.WriteHeld(r, change);
    table.ReleaseHeldLocks();
    if (!s.ok()) {
      if (errors++ == 0) first_error = s.ToString();
      continue;
    }
    log << "{\"edit\":" << n++ << ",\"table\":\"" << kTables[t] << "\",\"record\":" << r
        << (deleting ? ",\"deleted\":true" : ",\"field\":\"" + std::string(kFields[t]) +
                                                   "\",\"value\":" + xfr::JsonQuote(value))
        << "}\n" << std::flush;
    ++(deleting ? deletes : edits);
    Sleep(static_cast<long>(rng() % 200));
  }
  std::printf("tracking edits=%ld deletes=%ld busy=%ld errors=%ld\n", edits, deletes, busy,
              errors);
  if (!first_error.empty()) std::fprintf(stderr, "read-campaign: %s\n", first_error.c_str());
  return errors == 0 ? 0 : 1;
}

int Run(const Options& o) {
  xfr::testing::TempDir work("read-campaign-");
  const std::string report = work / "report.json";
  xfr::testing::WriteFile(report, kReport);
  int rc = 2;
  // apx-sim serving the campaign's report on this process's session bus.
  xfr::testing::ApxSim sim(o.apx_sim, report, {}, "APX", "dde.APX", std::chrono::seconds(10));
  if (!sim.ready()) {
    std::fprintf(stderr, "read-campaign: %s did not come up on the session bus\n",
                 o.apx_sim.c_str());
  } else {
    rc = Reads(o);
  }
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, &o)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (o.tracking) return Tracking(o);
  QCoreApplication qt(argc, argv);
  return Run(o);
}
