// PasswordOptionUi: the terminal seen through --password.
//
// The first masked prompt (the sign-on or an administrator check) is
// answered with the password given on the command line; every other message
// and question goes to the front end.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/user_interface.h"

namespace qm::cli {

class PasswordOptionUi final : public platform::UserInterface {
 public:
  PasswordOptionUi(platform::UserInterface& inner, std::string password)
      : inner_(&inner), password_(std::move(password)), unused_(!password_.empty()) {}

  void Show(const platform::Message& m) override { inner_->Show(m); }
  platform::Button AskYesNo(const platform::Message& q, platform::Button d) override {
    return inner_->AskYesNo(q, d);
  }
  platform::Button AskYesNoCancel(const platform::Message& q, platform::Button d) override {
    return inner_->AskYesNoCancel(q, d);
  }
  std::optional<std::string> AskText(const platform::TextPrompt& prompt) override {
    if (prompt.masked && unused_) {
      unused_ = false;
      return password_;
    }
    return inner_->AskText(prompt);
  }
  void BeginProgress(std::string_view t, long n) override { inner_->BeginProgress(t, n); }
  bool AdvanceProgress(long d, std::string_view s) override { return inner_->AdvanceProgress(d, s); }
  void EndProgress() override { inner_->EndProgress(); }
  void SetWaitCursor(bool on) override { inner_->SetWaitCursor(on); }
  void ProcessPendingEvents() override { inner_->ProcessPendingEvents(); }

 private:
  platform::UserInterface* inner_;
  std::string password_;
  bool unused_;
};

}  // namespace qm::cli
