// Nothing is redirected off Windows.
#include "platform/host_view.h"

namespace lup::os::detail {

HostViewFacts SystemHostView(const std::filesystem::path&, const std::filesystem::path&) { return {}; }

}  // namespace lup::os::detail
