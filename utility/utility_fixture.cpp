#include "utility/utility_fixture.h"

namespace lup::test {

std::unique_ptr<MenuWindow> UtilityFolder::MakeMenu(ui::Host& host) {
  return std::make_unique<MenuWindow>(UtilityEnv{store, processes, host, Programs(), more});
}

}  // namespace lup::test
