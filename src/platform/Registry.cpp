#include "platform/Registry.h"

namespace platform {

void RegistryReset() {}

}  // namespace platform
