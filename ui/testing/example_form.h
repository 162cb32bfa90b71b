#pragma once
// A small window written once against the toolkit, for the toolkit's own
// tests under both backends: a name list with every kind of control. It is
// nobody's real window.
#include <string>
#include <vector>

#include "ui/host.h"

namespace lup::ui::testing {

inline constexpr Colour kPink = Rgb(255, 192, 255);
inline constexpr Colour kAqua = Rgb(192, 255, 255);
inline constexpr const char* kExampleTitle = "見本";
inline constexpr const char* kHoverHint = "ボタンの上にマウスを持っていくと説明を表示します";

class ExampleWindow {
 public:
  explicit ExampleWindow(Host& host);
  Form& form() { return form_; }
  // What the close box saved (the grid's names at that moment).
  const std::vector<std::string>& saved() const { return saved_; }
  int ticks() const { return ticks_; }

 private:
  void AddName();
  void DeleteSelected();
  void Pause();
  void ChooseFile();
  void ShowDetails();

  Host& host_;
  Form form_{"Form1"};
  Form details_{"Form2"};
  Grid* grid_ = nullptr;
  TextBox* name_ = nullptr;
  Button* add_ = nullptr;
  CheckBox* no_confirm_ = nullptr;
  ComboBox* colour_ = nullptr;
  ListBox* log_ = nullptr;
  ListBox* pets_ = nullptr;
  Label* status_ = nullptr;
  Label* hint_ = nullptr;
  Timer* timer_ = nullptr;
  bool waiting_ = false;
  int ticks_ = 0;
  std::vector<std::string> saved_;
};

}  // namespace lup::ui::testing
