// frmMain, the program's one window, as plain objects: every control the logic uses, with its
// design-time properties, the four data connections and the DDE client control. The logic reads
// and writes only this model; the Qt and console views show it and forward the user's input.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/app.h"
#include "controls/controls.h"
#include "controls/data_control.h"
#include "controls/dde_control.h"

namespace xfr {

inline constexpr std::string_view kMainWindowCaption = "Transfer Info  Version 5.1.2 (Y2K)";

class FrmMain {
 public:
  // Binds the boxes to their data controls (which open at load). The window's events are
  // connected by the shell (MainWindow). REQUIRES: app outlives it.
  explicit FrmMain(App& app);
  virtual ~FrmMain();
  FrmMain(const FrmMain&) = delete;
  FrmMain& operator=(const FrmMain&) = delete;

  App& app() { return app_; }

  std::string caption{kMainWindowCaption};
  int top = 0;
  int left = 0;
  bool unloaded = false;
  // Whether the single-instance test has run (and this is the only instance).
  bool instance_checked = false;
  // The unload handler (writes the exit preference and closes the connections); set by the shell.
  std::function<void()> Unload;

  // Data connections.
  DataControl datproperty;
  DataControl datSearchProperty;
  DataControl datclient;
  DataControl datinvoice;

  // The DDE client control (hidden); its Text starts as "txtdde".
  DdeClientControl txtdde;

  // Tracking column, bound to datproperty.
  TextBox txtFile_Num{"txtFile_Num"};
  TextBox txtAss_Type{"txtAss_Type"};
  TextBox txtPR_Street{"txtPR_Street"};
  TextBox txtPR_City{"txtPR_City"};
  TextBox txtPR_State{"txtPR_State"};
  TextBox txtPr_Zip{"txtPr_Zip"};
  TextBox txtPR_County{"txtPR_County"};
  TextBox txtPr_Subdiv{"txtPr_Subdiv"};
  TextBox txtPr_Map_Ref{"txtPr_Map_Ref"};
  TextBox txtPR_Census{"txtPR_Census"};
  TextBox txtPr_Ref_Num{"txtPr_Ref_Num"};
  TextBox txtPr_Owner{"txtPr_Owner"};
  TextBox txtPr_Borrowr{"txtPr_Borrowr"};
  TextBox txtPr_Lot{"txtPr_Lot"};
  TextBox txtPr_Block{"txtPr_Block"};
  TextBox txtPr_LandLot{"txtPr_LandLot"};
  TextBox txtPr_Landist{"txtPr_Landist"};
  TextBox txtPr_Section{"txtPr_Section"};
  TextBox txtPr_DeedBk{"txtPr_DeedBk"};
  TextBox txtPr_DeedPg{"txtPr_DeedPg"};
  TextBox txtPr_PlatBk{"txtPr_PlatBk"};
  TextBox txtPr_PlatPg{"txtPr_PlatPg"};
  TextBox txtPr_dfinish{"txtPr_dfinish"};
  TextBox txtPr_Apprval{"txtPr_Apprval"};
  TextBox txtCli_Num{"txtCli_Num"};
  TextBox txtKey{"txtKey"};
  // Tracking column, bound to datclient.
  TextBox txtCliKey{"txtCliKey"};
  TextBox txtCli_LName{"txtCli_LName"};
  TextBox txtPlain_Name{"txtPlain_Name"};
  TextBox txtCli_Street{"txtCli_Street"};
  TextBox txtCli_Addr2{"txtCli_Addr2"};
  TextBox txtCli_Addr3{"txtCli_Addr3"};
  TextBox txtCli_Cont{"txtCli_Cont"};

  // Appraisal column: the capture labels.
  Label lblFile_Num{"lblFile_Num"};
  Label lblPr_Street{"lblPr_Street"};
  Label lblPr_City{"lblPr_City"};
  Label lblPr_State{"lblPr_State"};
  Label lblPr_Zip{"lblPr_Zip"};
  Label lblPr_County{"lblPr_County"};
  Label lblPr_Subdiv{"lblPr_Subdiv"};
  Label lblPr_Census{"lblPr_Census"};
  Label lblPr_Map_Ref{"lblPr_Map_Ref"};
  Label LblPr_Ref_Num{"LblPr_Ref_Num"};
  Label lblPr_ApprVal{"lblPr_ApprVal"};
  Label lblPr_dFinish{"lblPr_dFinish"};
  Label lblPr_Borrowr{"lblPr_Borrowr"};
  Label lblPr_Owner{"lblPr_Owner"};
  Label lblCli_Num{"lblCli_Num"};
  Label lblPlain_Name{"lblPlain_Name"};
  Label lblCli_LName{"lblCli_LName"};
  Label lblCli_Street{"lblCli_Street"};
  Label lblCli_Addr2{"lblCli_Addr2"};
  Label lblCli_Addr3{"lblCli_Addr3"};
  Label lblCli_Cont{"lblCli_Cont"};
  Label lblLegal{"lblLegal"};

  // Headings, commands, status and the copy animation.
  Label lblAppraisals{"lblAppraisals"};
  Label lblTracking{"lblTracking"};
  Button CmdRead{"CmdRead"};
  Button cmdSend{"cmdSend"};
  Button cmdExit{"cmdExit"};
  CheckBox ckbAutoExit{"ckbAutoExit"};
  Label LblMsg{"LblMsg"};
  Image aniCopy{"aniCopy"};
  Image imgApxIco{"imgApxIco"};
  Image imgTrkIco{"imgTrkIco"};

  // The tracking boxes in the window's order (property, then client), for views.
  std::vector<TextBox*> TrackingBoxes();
  // The seven client boxes, in the order ShowClientFields sets them.
  std::vector<TextBox*> ClientBoxes();
  // The appraisal labels in the window's order.
  std::vector<Label*> AppraisalLabels();
  TextBox* FindBox(std::string_view name);

 private:
  App& app_;
};

}  // namespace xfr
