#include "controls/dde_control.h"

#include "platform/runtime_error.h"

namespace xfr {

DdeClientControl::DdeClientControl(DdeTransport* transport) : transport_(transport) {}

DdeClientControl::~DdeClientControl() = default;

bool DdeClientControl::SplitLinkTopic(std::string_view link_topic, std::string* service,
                                      std::string* topic) {
  const size_t bar = link_topic.find('|');
  if (bar == std::string_view::npos || bar == 0 || bar + 1 == link_topic.size()) return false;
  *service = std::string(link_topic.substr(0, bar));
  *topic = std::string(link_topic.substr(bar + 1));
  return true;
}

void DdeClientControl::SetLinkMode(int mode) {
  if (mode < kNone || mode > kNotify) throw RuntimeError(kErrInvalidProperty);
  if (mode == kNone) {
    // Dropping the conversation is the terminate; it cannot fail.
    conversation_.reset();
    link_mode_ = kNone;
    return;
  }
  if (link_mode_ != kNone) {
    // Already linked: only the kind of link changes, the conversation stays.
    link_mode_ = mode;
    return;
  }
  std::string service;
  std::string topic;
  if (!SplitLinkTopic(link_topic_, &service, &topic)) throw RuntimeError(kErrInvalidProperty);
  std::unique_ptr<DdeConversation> conversation = transport_->Initiate(service, topic);
  if (!conversation) throw RuntimeError(kErrNoDdeServer);
  conversation_ = std::move(conversation);
  link_mode_ = mode;
}

DdeConversation* DdeClientControl::OpenConversation() {
  if (link_mode_ == kNone || !conversation_) throw RuntimeError(kErrInvalidProperty);
  return conversation_.get();
}

void DdeClientControl::LinkRequest() {
  DdeConversation* conversation = OpenConversation();
  if (link_item_.empty()) throw RuntimeError(kErrInvalidProperty);
  std::string answer = conversation->Request(link_item_);
  text_ = std::move(answer);
}

void DdeClientControl::LinkPoke() {
  DdeConversation* conversation = OpenConversation();
  if (link_item_.empty()) throw RuntimeError(kErrInvalidProperty);
  conversation->Poke(link_item_, text_);
}

void DdeClientControl::LinkExecute(std::string_view command) {
  OpenConversation()->Execute(command);
}

}  // namespace xfr
