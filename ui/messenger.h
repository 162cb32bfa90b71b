#pragma once
// The message boxes of one window: its title and its owner form, so that
// window code says only what it has to say.
//
//   ui::Messenger say(host, kLauncherTitle, &form);
//   say.Tell("ポストペットが起動中です", ui::Icon::kCritical);
//   if (say.Ask(question, ui::Buttons::kYesNo, ui::Icon::kNone, 1) == ui::Answer::kYes) ...
//   say.TellFailure(SaveSettings(...), "設定を保存できませんでした");
#include <string>

#include "ui/host.h"

namespace lup::ui {

class Messenger {
 public:
  // `owner` owns the boxes while it is loaded; before and after that they
  // have no owner.
  Messenger(Host& host, std::string title, const Form* owner = nullptr)
      : host_(host), title_(std::move(title)), owner_(owner) {}

  Host& host() const { return host_; }
  const std::string& title() const { return title_; }

  // A box with an OK button.
  void Tell(const std::string& text, Icon icon = Icon::kExclamation) const {
    Ask(text, Buttons::kOk, icon);
  }
  // A box with `buttons`; `defaultButton` 1 makes the second the default.
  Answer Ask(const std::string& text, Buttons buttons, Icon icon, int defaultButton = 0) const {
    Message m;
    m.title = title_;
    m.text = text;
    m.buttons = buttons;
    m.icon = icon;
    m.default_button = defaultButton;
    return host_.Ask(m, owner_ && owner_->Loaded() ? owner_ : nullptr);
  }
  // Tells a step that failed (anything with ok() and Describe(), such as an
  // OpResult), with `after` on a line of its own; true when it failed.
  template <typename Result>
  bool TellFailure(const Result& result, const std::string& after = {}) const {
    if (result.ok()) return false;
    Tell(result.Describe() + (after.empty() ? std::string() : "\r\n" + after));
    return true;
  }

 private:
  Host& host_;
  std::string title_;
  const Form* owner_;
};

}  // namespace lup::ui
