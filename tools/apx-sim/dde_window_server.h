// The Windows side of apx-sim: a DDE server with plain DDE window messages (WM_DDE_INITIATE,
// WM_DDE_ACK, WM_DDE_REQUEST, WM_DDE_DATA, WM_DDE_POKE, WM_DDE_EXECUTE, WM_DDE_TERMINATE), not
// DDEML, whose server under Wine posts an extra positive acknowledgement after each answered
// request and so puts a client's transactions out of step.
//
// A hidden top-level window (class kWindowClass, title "apx-sim " + service) answers the
// initiate broadcast for each topic the report file serves and opens one conversation window
// per client. Texts are CF_TEXT in code page 1252, held as UTF-8 by the report model. Replies
// the report file holds back are posted later from a timer. Runs on one thread.
#pragma once

#include <windows.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "report.h"

namespace apxsim {

class DdeWindowServer {
 public:
  static constexpr char kWindowClass[] = "apx-sim DDE server";

  // REQUIRES: report outlives the server. log may be null; dump_path may be empty.
  DdeWindowServer(ReportFile* report, std::FILE* log, std::string dump_path, std::string service);
  ~DdeWindowServer();

  // Makes the server window; false when it cannot.
  bool Start();
  // Writes the report file with its poked values to the dump path (a temporary file renamed over
  // it); false when it cannot. Also done after every accepted poke.
  bool WriteDump() const;

 private:
  struct Conversation {
    DdeWindowServer* server;
    HWND client;
    std::string topic;  // UTF-8
  };

  static LRESULT CALLBACK ServerProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK ConversationProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

  LRESULT OnInitiate(HWND client, ATOM service, ATOM topic);
  void OnRequest(HWND hwnd, Conversation* c, LPARAM lparam);
  void OnPoke(HWND hwnd, Conversation* c, LPARAM lparam);
  void OnExecute(HWND hwnd, Conversation* c, LPARAM lparam);
  // Runs `post` now, or after delay_ms from a timer of `hwnd`.
  void Later(HWND hwnd, int delay_ms, std::function<void()> post);
  void Log(const char* op, const std::string& topic, const std::string* item,
           const std::string* data) const;

  ReportFile* report_;
  std::FILE* log_;
  std::string dump_path_;
  std::string service_;
  HWND window_ = nullptr;
  UINT_PTR next_timer_ = 1;
  std::map<UINT_PTR, std::function<void()>> pending_;
};

}  // namespace apxsim
