// A dialog handler for tests: answers come from queues filled by the test,
// and every question asked is recorded in order.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "ui/prompts.h"

namespace Tavrin::test {

struct ScriptedPrompts : PromptHandler {
  std::deque<std::optional<std::string>> inputs;  // none = Cancel
  std::deque<int> choices;                        // 0 = first button
  std::deque<std::optional<std::string>> files;   // none = chooser cancelled
  std::vector<std::string> asked;                 // labels and questions, in order
  std::vector<FileRequest> requests;
  std::vector<std::string> monospace;
  std::vector<bool> fixed_width;  // the fixed-width box switches, in order

  std::optional<std::string> input(const std::string& label) override {
    asked.push_back(label);
    if (inputs.empty()) return std::nullopt;
    std::optional<std::string> a = inputs.front();
    inputs.pop_front();
    return a;
  }
  int choice(const std::string& question, const std::string&, const std::string&) override {
    asked.push_back(question);
    if (choices.empty()) return 0;
    int c = choices.front();
    choices.pop_front();
    return c;
  }
  std::optional<std::string> pick_file(const FileRequest& request) override {
    requests.push_back(request);
    if (files.empty()) return std::nullopt;
    std::optional<std::string> f = files.front();
    files.pop_front();
    return f;
  }
  void monospace_message(const std::string& text) override { monospace.push_back(text); }
  void fixed_width_boxes(bool on) override { fixed_width.push_back(on); }
};

// Installs a ScriptedPrompts for the lifetime of the guard.
class ScriptedPromptGuard {
 public:
  ScriptedPromptGuard() {
    auto p = std::make_unique<ScriptedPrompts>();
    prompts_ = p.get();
    previous_ = set_prompt_handler(std::move(p));
  }
  ~ScriptedPromptGuard() { set_prompt_handler(std::move(previous_)); }
  ScriptedPrompts& operator*() { return *prompts_; }
  ScriptedPrompts* operator->() { return prompts_; }

 private:
  ScriptedPrompts* prompts_ = nullptr;
  std::unique_ptr<PromptHandler> previous_;
};

}  // namespace Tavrin::test
