// What is the same for the running program on every system.
#include "platform/program.h"

namespace lup {

VersionNumber BuiltVersion() {
  return VersionNumber{LUP_VERSION_MAJOR, LUP_VERSION_MINOR, LUP_VERSION_PATCH};
}

}  // namespace lup
