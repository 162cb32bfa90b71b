#pragma once
// The utility on a host folder of tests/support.
#include <memory>
#include <string>
#include <vector>

#include "tests/support/host_folder.h"
#include "ui/host.h"
#include "utility/utility.h"

namespace lup::test {

class UtilityFolder : public HostFolder {
 public:
  // The menu of a utility started from Programs(), with `more` as its hooks.
  std::unique_ptr<MenuWindow> MakeMenu(ui::Host& host);
  MoreDialogs more;
};

}  // namespace lup::test
