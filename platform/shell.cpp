// The parts of shortcut files that are the same on every system.
#include "platform/shell.h"

namespace lup {

int KnownShowCommand(int showCommand) {
  return showCommand == 3 || showCommand == 7 ? showCommand : 1;
}

}  // namespace lup
