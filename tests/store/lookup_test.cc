#include "store/lookup.h"

#include <gtest/gtest.h>

#include "fakes/office.h"
#include "transfer/field_sizing.h"

namespace xfr {
namespace {

TEST(LookupTest, FindTheRecordBlankLowerCaseAndUnknown) {
  testing::Office o;
  o.Load();
  FrmMain& f = o.Form();
  struct Case {
    std::string file_num, street, key;
    bool clients;
  } cases[] = {
      {"  ac24-104 ", "4 Oak Ave", "AC24-104", false},
      {"24-00105", "5 Pine Rd", "24-00105", true},  // lower-case "amc01" finds AMC01
      {"   ", "5 Pine Rd", "24-00105", true},
      {"99-00000", "5 Pine Rd", "24-00105", true},
      {"24-00103", "3 Elm St", "24-00103", false},  // client 99999 does not exist
      {"24-00101", "1 Main St", "24-00101", true},
  };
  for (const auto& c : cases) {
    FindTheRecord(f, c.file_num);
    EXPECT_EQ(f.txtPR_Street.text, c.street) << c.file_num;
    EXPECT_EQ(f.txtKey.text, c.key) << c.file_num;
    for (TextBox* b : f.ClientBoxes()) EXPECT_EQ(b->visible, c.clients) << c.file_num;
  }
  EXPECT_TRUE(o.window.boxes.empty());

  // The client validation fits the boxes only on a close and a write.
  for (int action : {1, 9, 10, 16}) {
    f.txtCli_Cont.text = std::string(35, 'c');
    int a = action, s = -1;
    datclient_Validate(f, a, s);
    EXPECT_EQ(f.txtCli_Cont.text.size(), action == 10 || action == 16 ? 30u : 35u) << action;
    EXPECT_EQ(a, action);
    EXPECT_EQ(s, -1);
  }
}

// A person's edit written before a move, and looking that never writes: WriteBack in
// tests/campaign.
TEST(FitTextToMaxLength, CutsThenTrimsAndNeverEmptiesAnUnsizedBox) {
  struct Case {
    std::string text;
    int max;
    std::string want;
  } cases[] = {{"    abcdef", 8, "abcd"}, {" ab ", 8, "ab"}, {"abcdefghij", 8, "abcdefgh"},
               {"  keep me  ", 0, "keep me"}, {"", 5, ""}};
  for (const auto& c : cases) {
    TextBox b{"t"};
    b.text = c.text;
    b.max_length = c.max;
    FitTextToMaxLength(b);
    EXPECT_EQ(b.text, c.want) << c.text;
  }
}

}  // namespace
}  // namespace xfr
