// An in-process appraisal server: answers from a table of values (CR LF, an empty field, for the
// rest), keeps pokes, raises scripted errors (Refuse: 285, Fail: any, not running or a topic
// outside ServeOnlyTopics: 282 on initiate) and records every call. Names match without regard to
// case, as in Windows DDE. Conversations share the transport's state and may outlive it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/dde.h"
#include "platform/runtime_error.h"

namespace xfr {

class FakeDdeTransport : public DdeTransport {
 public:
  struct Call {
    // op: "initiate", "terminate", "request", "poke" or "execute"; item: empty for initiate,
    // terminate and execute; data: the poked text or the executed command.
    std::string op, service, topic, item, data;
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
  void Refuse(std::string_view topic, std::string_view item) { Fail(topic, item, kErrDdeRefused); }
  // Requests and pokes of the item raise `number`.
  void Fail(std::string_view topic, std::string_view item, int number) {
    state_->failures[Key(topic, item)] = number;
  }
  // Executes on the topic raise `number`.
  void FailExecute(std::string_view topic, int number) {
    state_->failures[Key(topic, "\x01execute")] = number;
  }

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
    Record(*state_, {"initiate", std::string(service), std::string(topic), "", ""});
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
    std::function<void(const Call&)> on_call;
    std::vector<Call> calls;
    int open = 0;
  };

  static std::string Fold(std::string_view s) { return UCase(s); }
  static std::string Key(std::string_view topic, std::string_view item) {
    return Fold(topic) + '\0' + Fold(item);
  }
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
      return it == state_->values.end() ? "\r\n" : it->second;
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
    std::string service_, topic_;
  };

  std::shared_ptr<State> state_;
};

}  // namespace xfr
