// Appraisal field capture over the scripted appraisal program: addresses, order, normalising of
// the file and client numbers, the per-form addresses, the completion date and its conversion.
#include "transfer/capture.h"

#include <gtest/gtest.h>

#include "transfer/read_office.h"

namespace xfr {
namespace {

using testing::ReadOffice;
using Strings = std::vector<std::string>;

// A blank answer is no date and no error (dates in letters and their years: dates_test.cc).
TEST(ReturnADate, BlankAnswerIsNoDate) {
  ReadOffice o;
  o.Field("offscrn|11|2", " \t\r\n");
  FrmMain& f = o.Start();
  EXPECT_EQ(ReturnADate(f, "RPT1"), "");
  EXPECT_TRUE(o.window.boxes.empty());
}

// The subject fields are asked in order from their addresses; a form without census, map
// reference or owner entries (or with empty ones) asks nothing for them and empties their labels.
// A completion date in letters goes to the error report; Ignore or Abort leave the date empty and
// the capture goes on, Retry asks again (the report's answer fixed meanwhile).
TEST(Capture, SubjectFieldsInOrderFromTheirAddresses) {
  for (Answer answer : {Answer::kIgnore, Answer::kAbort, Answer::kRetry}) {
    const bool retry = answer == Answer::kRetry, per_form = answer != Answer::kAbort;
    ReadOffice o;
    if (!per_form) {
      for (const char* section : {"CENSUS", "MAPREF"}) {
        o.ini.data[testing::FakeIni::Up(testing::kXfrIni)].erase(section);
      }
      o.ini.Set(testing::kXfrIni, "OWNER", "URAR", "");
    }
    o.Field("offscrn|11|2", "pending");
    FrmMain& f = o.Start();
    o.window.answers = {answer};
    o.dde.set_on_call([&](const FakeDdeTransport::Call&) {
      if (retry && !o.window.boxes.empty()) o.Field("offscrn|11|2", "4/5/2024");
    });
    f.lblPr_dFinish.caption = "1/1/2020";
    f.lblPr_Census.caption = f.lblPr_Map_Ref.caption = f.lblPr_Owner.caption = "old";
    CaptureSubjectFields(f, "RPT1", "URAR");
    ASSERT_EQ(o.window.boxes.size(), 1u);
    EXPECT_EQ(o.window.boxes[0].title, "Error");
    EXPECT_NE(o.window.boxes[0].text.find("in module ReturnADate."), std::string::npos)
        << o.window.boxes[0].text;
    EXPECT_EQ(f.lblPr_dFinish.caption, retry ? "4/5/2024" : "");
    Strings want = {"offscrn|7|1",  "offscrn|8|1", "offscrn|8|3", "offscrn|8|4", "offscrn|8|2",
                    "offscrn|24|1", "URAR|25|2",   "URAR|25|1",   "offscrn|2|3", "offscrn|11|1",
                    "offscrn|11|2", "offscrn|6|1", "URAR|5|1"};
    if (retry) want.insert(want.begin() + 11, "offscrn|11|2");
    if (!per_form) std::erase_if(want, [](const std::string& i) { return i[0] == 'U'; });
    EXPECT_EQ(o.Requested(), want);
    EXPECT_EQ(f.lblPr_Census.caption + "|" + f.lblPr_Map_Ref.caption + "|" + f.lblPr_Owner.caption,
              per_form ? "0225.01|15-234-01|Sam Seller" : "||");
    EXPECT_EQ(f.lblPr_County.caption, "DeKalb");
    EXPECT_EQ(f.lblPr_ApprVal.caption, "250,000");  // as it came: read as a number when written
    EXPECT_EQ(ReadFormType(o.app, "URAR"), "URAR 1004");
    EXPECT_EQ(ReadFormType(o.app, "2055"), "");
  }
}

}  // namespace
}  // namespace xfr
