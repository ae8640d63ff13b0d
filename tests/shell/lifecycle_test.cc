#include "shell/lifecycle.h"

#include <gtest/gtest.h>

#include "fakes/office.h"

namespace xfr {
namespace {

TEST(Load, ShowsFirstPropertyItsKeyAndClient) {
  testing::Office o;
  o.property->records[0][0] = std::string("24-0000a");
  o.Load();
  FrmMain& f = o.Form();
  // The key box holds the number upper-cased; the client is shown.
  EXPECT_EQ(f.txtFile_Num.text + "|" + f.txtKey.text + "|" + f.txtPR_Street.text + "|" +
                f.txtPlain_Name.text + (f.txtCli_LName.visible ? " shown" : ""),
            "24-0000a|24-0000A|1 Main St|First Bank of Decatur shown");
  // Every box as wide as its field (the fake's fields are the fixture tables'); the completion
  // date box takes a typed date; the client number's width comes from CLIENT, not PROPERTY.
  for (TextBox* box : f.TrackingBoxes()) {
    DataControl& dc =
        box->data_source == &f.datclient || box == &f.txtCli_Num ? f.datclient : f.datproperty;
    EXPECT_EQ(box->max_length, box == &f.txtPr_dfinish ? 10 : dc.FieldSize(box->tag)) << box->name;
  }
  EXPECT_EQ(f.txtPR_Street.max_length, 40);
  EXPECT_EQ(f.txtCli_Num.max_length, 5);
  EXPECT_TRUE(o.window.boxes.empty());
  // At the top left of the screen, the number boxes locked, the key boxes hidden, no status
  // line; the link control holds its design-time text.
  EXPECT_EQ(std::vector<int>({f.top, f.left, f.txtFile_Num.locked, f.txtKey.locked,
                              f.txtCli_Num.locked, f.LblMsg.visible, f.txtKey.visible,
                              f.txtCliKey.visible}),
            std::vector<int>({0, 0, 1, 1, 1, 0, 0, 0}));
  EXPECT_EQ(f.txtdde.Text(), "txtdde");
}

// A DATADIR of "" (the message with a directory: BadTables in tests/campaign).
TEST(Load, MissingTableMessageThenTheRestLoads) {
  testing::Office o;
  o.ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "");
  o.tables.tables.erase("CLIENT.DBF");
  o.Load();
  ASSERT_FALSE(o.window.boxes.empty());
  EXPECT_EQ(o.window.boxes[0].title + ": " + o.window.boxes[0].text,
            "Transfer Info: The file '\\CLIENT.DBF.dbf' is missing or is invalid.   Please check "
            "the installation path and try again (Setup, Configuration).");
  EXPECT_EQ(o.window.boxes[0].buttons, Buttons::kOk);
  EXPECT_TRUE(o.Form().datinvoice.IsOpen());  // the load went on with the next table
}

TEST(Load, EmptyPropertyTableKeepsKeyBox) {
  testing::Office o;
  o.property->records.clear();
  o.Load();
  EXPECT_EQ(o.Form().txtKey.text, "");
  // Reading Cli_Num with no current property goes to the error report.
  ASSERT_EQ(o.window.boxes.size(), 1u);
  EXPECT_NE(o.window.boxes[0].text.find("DisplayClientFields"), std::string::npos);
}

TEST(AutoExit, PreferenceReadRoundedAndWrittenBack) {
  struct Case {
    const char* stored;  // nullptr: no key
    int box;
    bool reported;
    std::string written;
  } cases[] = {{nullptr, 1, false, "1"}, {"-1", 1, false, "1"},  {"2.5", 2, false, "2"},
               {"0.5", 0, false, "0"},   {"1.5", 2, false, "2"}, {"3", 0, true, "0"},
               {"abc", 0, false, "0"}};
  for (const auto& c : cases) {
    testing::Office o;
    if (c.stored) o.ini.Set("C:\\WINDOWS\\XFR.INI", "PREFERENCES", "AUTOEXIT", c.stored);
    o.Load();
    FrmMain& f = o.Form();
    EXPECT_EQ(f.ckbAutoExit.value, c.box) << (c.stored ? c.stored : "(none)");
    EXPECT_EQ(!o.window.boxes.empty(), c.reported) << (c.stored ? c.stored : "(none)");
    Form_Unload(f);
    EXPECT_EQ(o.ini.Get("C:\\WINDOWS\\XFR.INI", "PREFERENCES", "AUTOEXIT"), c.written);
  }
}

// The file is read once and removed: an empty one is reported once whatever the answer, a job's
// number is shown (and shown only once). Files written slowly by another program:
// tests/campaign; the window following the file on a repaint: the view tests.
TEST(HandOffFile, ReadOnceAndRemoved) {
  for (Answer a : {Answer::kAbort, Answer::kRetry, Answer::kIgnore}) {
    testing::Office o;
    o.Load();
    o.files.Put("C:\\WINDOWS\\xfr.dat", "");
    o.window.answers = {a};
    Form_Paint(o.Form());
    Form_Paint(o.Form());
    EXPECT_EQ(o.window.boxes.size(), 1u);
    EXPECT_FALSE(o.files.Has("C:\\WINDOWS\\xfr.dat"));
    EXPECT_EQ(o.Form().txtFile_Num.text, "24-00101");
  }
  testing::Office o;
  o.Load();
  o.files.Put("C:\\WINDOWS\\xfr.dat", "ac24-104  \r\n");
  Form_Paint(o.Form());
  EXPECT_EQ(o.Form().txtKey.text, "AC24-104");
  EXPECT_FALSE(o.Form().txtCli_LName.visible);
  EXPECT_EQ(o.app.HandOffFileNum, "ac24-104  ");
  o.Form().txtPR_Street.text = "typed";
  Form_Paint(o.Form());
  EXPECT_EQ(o.Form().txtPR_Street.text, "typed");

  // A window system may paint before it activates: a second instance still ends before it reads
  // the file, which the first instance is to show, and writes no preference.
  testing::Office second;
  second.Load();
  second.instance.another = true;
  second.files.Put("C:\\WINDOWS\\xfr.dat", "ac24-104\r\n");
  EXPECT_THROW(Form_Paint(second.Form()), EndProgram);
  ASSERT_EQ(second.window.boxes.size(), 1u);
  EXPECT_EQ(second.window.boxes[0].text,
            "The Transfer Application is already running.  Click OK and then select the Transfer "
            "Application from the Task Bar.");
  EXPECT_EQ(second.window.boxes[0].buttons, Buttons::kOk);
  EXPECT_TRUE(second.files.Has("C:\\WINDOWS\\xfr.dat"));
  EXPECT_FALSE(second.ini.Has("C:\\WINDOWS\\XFR.INI", "PREFERENCES", "AUTOEXIT"));
}

TEST(Animation, PicturesSwapWithDirectionAndMissingOnesShowEmpty) {
  testing::Office o;
  o.Load();
  o.window.pictures = {{"C:\\TRK\\Trk.bmp", "BMtrk"}};
  FrmMain& f = o.Form();
  StartReadAnimation(f);
  EXPECT_TRUE(f.aniCopy.visible && f.imgApxIco.visible && f.imgTrkIco.visible);
  EXPECT_EQ(f.imgApxIco.picture.bytes + "|" + f.imgTrkIco.picture.bytes, "BMtrk|");
  StartSendAnimation(f);
  EXPECT_EQ(f.imgApxIco.picture.bytes + "|" + f.imgTrkIco.picture.bytes, "|BMtrk");
  StopCopyAnimation(f);
  EXPECT_FALSE(f.aniCopy.visible || f.imgApxIco.visible || f.imgTrkIco.visible);
  ShowStatus(f, "Transferring data to Tracking");
  EXPECT_TRUE(f.LblMsg.visible);
  ShowStatus(f, "");
  EXPECT_FALSE(f.LblMsg.visible);
  EXPECT_TRUE(o.window.boxes.empty());
}

}  // namespace
}  // namespace xfr
