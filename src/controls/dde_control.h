// DdeClientControl: the DDE client text control that the link operations drive, the way the
// window's hidden DDE text box behaves on Windows: set LinkTopic ("service|topic") and LinkItem,
// set LinkMode 2 to open a manual link, then LinkRequest, LinkPoke or LinkExecute, and LinkMode 0
// to close it again. The conversation itself runs over a DdeTransport (platform/dde.h).
//
// Behaviour kept from the Windows control:
//  - The conversation is chosen when LinkMode becomes 2: the topic set at that moment selects it,
//    and changing LinkTopic or LinkItem afterwards does not start another one (LinkItem is read
//    by every LinkRequest and LinkPoke).
//  - Setting LinkMode to the mode it already has does nothing; setting 0 always closes.
//  - A failed operation leaves Text and LinkMode as they were; in particular a failed request or
//    poke keeps the link open until the next LinkMode 0.
//
// Errors (RuntimeError):
//  380 LinkMode other than 0..3; opening a link whose LinkTopic has no "|" or an empty service or
//      topic; LinkRequest, LinkPoke or LinkExecute with no link open; a request or poke with an
//      empty LinkItem.
//  282 nobody answers the initiate (LinkMode stays 0); 285 the server refuses; 286 no answer in
//      the transport's time-out; these come from the transport unchanged.
//
// LinkMode 1 (automatic) and 3 (notify) are accepted and open the conversation like 2, but
// nothing here delivers the server's later changes: the link operations use manual links only.
//
// Not thread-safe: owned and used by the window's thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/dde.h"

namespace xfr {

class DdeClientControl {
 public:
  enum Mode : int { kNone = 0, kAutomatic = 1, kManual = 2, kNotify = 3 };

  // REQUIRES: transport outlives the control.
  explicit DdeClientControl(DdeTransport* transport);
  ~DdeClientControl();

  DdeClientControl(const DdeClientControl&) = delete;
  DdeClientControl& operator=(const DdeClientControl&) = delete;

  const std::string& LinkTopic() const { return link_topic_; }
  void SetLinkTopic(std::string topic) { link_topic_ = std::move(topic); }

  const std::string& LinkItem() const { return link_item_; }
  void SetLinkItem(std::string item) { link_item_ = std::move(item); }

  int LinkMode() const { return link_mode_; }
  // 0 closes the link; 1, 2 or 3 open it on the current LinkTopic. Raises 380 or the transport's
  // error (282 when nobody answers); on an error the mode does not change.
  void SetLinkMode(int mode);

  const std::string& Text() const { return text_; }
  void SetText(std::string text) { text_ = std::move(text); }

  // Asks the server for LinkItem; its answer, unchanged, becomes Text.
  void LinkRequest();
  // Sends Text to LinkItem.
  void LinkPoke();
  // Asks the server to run `command` (sent as given).
  void LinkExecute(std::string_view command);

  // The service and topic of a LinkTopic text; false when it is not "service|topic" with both
  // parts present. The topic is everything after the first "|".
  static bool SplitLinkTopic(std::string_view link_topic, std::string* service, std::string* topic);

 private:
  DdeConversation* OpenConversation();  // Raises 380 when no link is open.

  DdeTransport* const transport_;
  std::unique_ptr<DdeConversation> conversation_;
  std::string link_topic_;
  std::string link_item_;
  std::string text_;
  int link_mode_ = kNone;
};

}  // namespace xfr
