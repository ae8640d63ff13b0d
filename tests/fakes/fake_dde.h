// FakeDdeTransport: an in-process appraisal server for tests of the link operations. It serves one
// service (default "APX"), answers requests from a table of values, stores pokes, and records
// every initiate, request, poke and execute in the order received, with topic and item as the
// client wrote them. Service, topic and item names match without regard to case, as in Windows
// DDE.
//
// Scripting:
//   FakeDdeTransport dde;
//   dde.SetAnswer("Query", "ActiveReports", "RPT1,");
//   dde.Refuse("RPT1", "offscrn|99|1");             // 285 on request and poke
//   dde.Fail("RPT1", "offscrn|5|1", kErrDdeTimeout); // any error number
//   dde.set_running(false);                          // 282 on initiate
//   dde.ServeOnlyTopics({"Query", "System", "RPT1"}); // other topics: 282 on initiate
// An item with no answer gets default_answer() (CR LF, an empty field, unless changed).
//
// Header-only; single-threaded, like the control that uses it. Conversations share the
// transport's state, so they stay valid even if the transport goes first.
#pragma once

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/dde.h"
#include "platform/runtime_error.h"

namespace xfr {

class FakeDdeTransport : public DdeTransport {
 public:
  struct Call {
    std::string op;  // "initiate", "terminate", "request", "poke" or "execute"
    std::string service;
    std::string topic;
    std::string item;  // empty for initiate, terminate and execute
    std::string data;  // the poked text or the executed command
    friend bool operator==(const Call&, const Call&) = default;
  };

  explicit FakeDdeTransport(std::string service = "APX") : state_(std::make_shared<State>()) {
    state_->service = std::move(service);
  }

  void set_running(bool running) { state_->running = running; }
  void ServeOnlyTopics(std::vector<std::string> topics) {
    state_->topics.clear();
    for (auto& t : topics) state_->topics.insert(Fold(t));
    state_->restrict_topics = true;
  }

  void SetAnswer(std::string_view topic, std::string_view item, std::string text) {
    state_->values[Key(topic, item)] = std::move(text);
  }
  // The current value of an item (after pokes), or nullopt.
  std::optional<std::string> Value(std::string_view topic, std::string_view item) const {
    auto it = state_->values.find(Key(topic, item));
    if (it == state_->values.end()) return std::nullopt;
    return it->second;
  }
  void Refuse(std::string_view topic, std::string_view item) { Fail(topic, item, kErrDdeRefused); }
  // Requests and pokes of the item raise `number`.
  void Fail(std::string_view topic, std::string_view item, int number) {
    state_->failures[Key(topic, item)] = number;
  }
  // Executes on the topic raise `number`.
  void FailExecute(std::string_view topic, int number) {
    state_->failures[Key(topic, "\x01execute")] = number;
  }

  const std::string& default_answer() const { return state_->default_answer; }
  void set_default_answer(std::string text) { state_->default_answer = std::move(text); }

  // Called for each call after it is recorded and before it is answered or refused.
  void set_on_call(std::function<void(const Call&)> hook) { state_->on_call = std::move(hook); }

  const std::vector<Call>& calls() const { return state_->calls; }
  void clear_calls() { state_->calls.clear(); }
  // The calls of one kind ("request", "poke", ...).
  std::vector<Call> CallsOf(std::string_view op) const {
    std::vector<Call> out;
    for (const Call& c : state_->calls)
      if (c.op == op) out.push_back(c);
    return out;
  }
  int open_conversations() const { return state_->open; }

  std::unique_ptr<DdeConversation> Initiate(std::string_view service,
                                            std::string_view topic) override {
    Record({"initiate", std::string(service), std::string(topic), "", ""});
    if (!state_->running || Fold(service) != Fold(state_->service) ||
        (state_->restrict_topics && !state_->topics.count(Fold(topic)))) {
      throw RuntimeError(kErrNoDdeServer);
    }
    return std::make_unique<Conversation>(state_, std::string(service), std::string(topic));
  }

 private:
  struct State {
    std::string service;
    bool running = true;
    bool restrict_topics = false;
    std::set<std::string> topics;
    std::map<std::string, std::string> values;
    std::map<std::string, int> failures;
    std::string default_answer = "\r\n";
    std::function<void(const Call&)> on_call;
    std::vector<Call> calls;
    int open = 0;
  };

  static std::string Fold(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
  }
  static std::string Key(std::string_view topic, std::string_view item) {
    return Fold(topic) + '\0' + Fold(item);
  }
  void Record(Call call) { Record(*state_, std::move(call)); }
  static void Record(State& state, Call call) {
    state.calls.push_back(call);
    if (state.on_call) state.on_call(state.calls.back());
  }

  class Conversation : public DdeConversation {
   public:
    Conversation(std::shared_ptr<State> state, std::string service, std::string topic)
        : state_(std::move(state)), service_(std::move(service)), topic_(std::move(topic)) {
      ++state_->open;
    }
    ~Conversation() override {
      --state_->open;
      Record(*state_, {"terminate", service_, topic_, "", ""});
    }

    std::string Request(std::string_view item) override {
      Record(*state_, {"request", service_, topic_, std::string(item), ""});
      CheckServing(item);
      auto it = state_->values.find(Key(topic_, item));
      return it == state_->values.end() ? state_->default_answer : it->second;
    }
    void Poke(std::string_view item, std::string_view data) override {
      Record(*state_, {"poke", service_, topic_, std::string(item), std::string(data)});
      CheckServing(item);
      state_->values[Key(topic_, item)] = std::string(data);
    }
    void Execute(std::string_view command) override {
      Record(*state_, {"execute", service_, topic_, "", std::string(command)});
      CheckServing("\x01execute");
    }

   private:
    void CheckServing(std::string_view item) {
      // A server that went away while the link was open: the conversation is gone.
      if (!state_->running) throw RuntimeError(kErrNoDdeServer);
      auto it = state_->failures.find(Key(topic_, item));
      if (it != state_->failures.end()) throw RuntimeError(it->second);
    }

    std::shared_ptr<State> state_;
    std::string service_;
    std::string topic_;
  };

  std::shared_ptr<State> state_;
};

}  // namespace xfr
