// Resource and control identifiers of the main window's dialog template, shared by the
// resource script and the view.
#ifndef XFR_WIN32_RES_RESOURCE_H
#define XFR_WIN32_RES_RESOURCE_H

#define IDI_APP 1
#define IDD_MAIN 100

#define IDC_txtFile_Num 1000
#define IDC_txtPR_Street 1001
#define IDC_txtPR_City 1002
#define IDC_txtPR_State 1003
#define IDC_txtPr_Zip 1004
#define IDC_txtPR_County 1005
#define IDC_txtPr_Subdiv 1006
#define IDC_txtPr_Map_Ref 1007
#define IDC_txtPR_Census 1008
#define IDC_txtPr_Ref_Num 1009
#define IDC_txtPr_Owner 1010
#define IDC_txtPr_Borrowr 1011
#define IDC_txtAss_Type 1012
#define IDC_txtPr_dfinish 1013
#define IDC_txtPr_Apprval 1014
#define IDC_txtPr_Lot 1015
#define IDC_txtPr_Block 1016
#define IDC_txtPr_LandLot 1017
#define IDC_txtPr_Landist 1018
#define IDC_txtPr_Section 1019
#define IDC_txtPr_DeedBk 1020
#define IDC_txtPr_DeedPg 1021
#define IDC_txtPr_PlatBk 1022
#define IDC_txtPr_PlatPg 1023
#define IDC_txtCli_Num 1024
#define IDC_txtCli_LName 1025
#define IDC_txtPlain_Name 1026
#define IDC_txtCli_Street 1027
#define IDC_txtCli_Addr2 1028
#define IDC_txtCli_Addr3 1029
#define IDC_txtCli_Cont 1030

#define IDC_lblFile_Num 1100
#define IDC_lblPr_Street 1101
#define IDC_lblPr_City 1102
#define IDC_lblPr_State 1103
#define IDC_lblPr_Zip 1104
#define IDC_lblPr_County 1105
#define IDC_lblPr_Subdiv 1106
#define IDC_lblPr_Map_Ref 1107
#define IDC_lblPr_Census 1108
#define IDC_LblPr_Ref_Num 1109
#define IDC_lblPr_Owner 1110
#define IDC_lblPr_Borrowr 1111
#define IDC_lblPr_dFinish 1112
#define IDC_lblPr_ApprVal 1113
#define IDC_lblCli_Num 1114
#define IDC_lblCli_LName 1115
#define IDC_lblPlain_Name 1116
#define IDC_lblCli_Street 1117
#define IDC_lblCli_Addr2 1118
#define IDC_lblCli_Addr3 1119
#define IDC_lblCli_Cont 1120
#define IDC_lblLegal 1121

// Each row's caption: the box's identifier + 200.
#define IDC_CAPTION_OFFSET 200
#define IDC_lblLegalCaption 1299
#define IDC_lblAppraisals 1300
#define IDC_lblTracking 1301
#define IDC_CmdRead 1400
#define IDC_cmdSend 1401
#define IDC_cmdExit 1402
#define IDC_ckbAutoExit 1403
#define IDC_LblMsg 1404
#define IDC_aniCopy 1405
#define IDC_imgTrkIco 1406
#define IDC_imgApxIco 1407
#endif  // XFR_WIN32_RES_RESOURCE_H
