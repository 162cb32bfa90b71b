#include "platform/test_sleeper_hold.h"

// No system here refuses a rename or a delete of a file that is open.
void HoldFileOpen(const std::filesystem::path&) {}
