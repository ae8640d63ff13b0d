// The window over copies of the fixture tables, through the real table engine: what the office
// sees at load and an edit reaching the DBF as an independent reader sees it.
#include <gtest/gtest.h>

#include "base/text.h"
#include "fakes/harness.h"
#include "platform/tables/xbase_table.h"
#include "platform/xbase/table_test_util.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"
#include "store/lookup.h"

namespace xfr {
namespace {

using xbase::table_testing::CopyFixtures;
using xbase::table_testing::HaveChecker;
using xbase::table_testing::RunChecker;
using xbase::table_testing::TempDir;

std::string Output(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  std::size_t n;
  while (p && (n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  if (p) pclose(p);
  return out;
}

struct RealOffice : testing::Harness {
  RealOffice()
      : tables([this](std::string_view d, std::string_view f) {
          return std::string(d) == "C:\\TRK\\DATA" ? dir / std::string(f) : std::string();
        }),
        app2(Services{&ini, &files, nullptr, &window, &tables, nullptr, &instance}, "") {
    CopyFixtures("foxpro", dir.path());
    ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA\\");
    form = std::make_unique<MainWindow>(app2);
    Initialize(app2);
    frmMainForm_Load(*form);
  }
  TempDir dir;
  XbaseTableService tables;
  App app2;
  std::unique_ptr<FrmMain> form;
};

TEST(FixtureTables, LoadShowsFirstPropertyClientAndFieldWidths) {
  RealOffice o;
  FrmMain& f = *o.form;
  EXPECT_TRUE(o.window.boxes.empty());
  EXPECT_EQ(f.txtFile_Num.text, "24-00101");
  EXPECT_EQ(f.txtKey.text, "24-00101");
  // Its client 10004 is not in CLIENT, so the client boxes are hidden.
  EXPECT_FALSE(f.txtCli_LName.visible);
  for (TextBox* box : f.TrackingBoxes()) {
    if (box == &f.txtPr_dfinish) {
      EXPECT_EQ(box->max_length, 10);
      continue;
    }
    DataControl& dc =
        box->data_source == &f.datclient || box == &f.txtCli_Num ? f.datclient : f.datproperty;
    EXPECT_EQ(box->max_length, dc.FieldSize(box->tag)) << box->name;
  }
  EXPECT_EQ(f.txtFile_Num.max_length, 8);
  EXPECT_EQ(f.txtCli_Num.max_length, 5);
}

TEST(FixtureTables, AnEditIsFittedAndReachesTheTable) {
  RealOffice o;
  FrmMain& f = *o.form;
  int width = f.datproperty.FieldSize("PR_OWNER");
  f.txtPr_Owner.Type("   " + std::string(static_cast<std::size_t>(width) + 10, 'O'));
  FindTheRecord(f, "24-00103");  // the move writes the shown record first
  Form_Unload(f);
  EXPECT_TRUE(o.window.boxes.empty());

  int rc = std::system("/usr/bin/python3 -c 'import dbfread' 2>/dev/null");
  if (rc != 0) GTEST_SKIP() << "python3-dbfread not installed";
  std::string owner = Output(
      "/usr/bin/python3 -c \"import dbfread,sys; t=dbfread.DBF(sys.argv[1], "
      "ignore_missing_memofile=True, char_decode_errors='replace'); "
      "r=[x for x in t if x['FILE_NUM'].strip()=='24-00101'][0]; print(r['PR_OWNER'])\" '" +
      o.dir / "PROPERTY.DBF" + "'");
  // Cut to the field's width, then the three leading blanks trimmed.
  EXPECT_EQ(owner, std::string(static_cast<std::size_t>(width) - 3, 'O') + "\n");
  if (HaveChecker()) {
    std::string out;
    EXPECT_EQ(RunChecker(o.dir.path(), &out), 0) << out;
  }
}

}  // namespace
}  // namespace xfr
