#include "engine/builtin.h"

namespace engine {

word::ApplicationPtr CreateBuiltinApplication() {
  throw word::AutomationError("The built-in word processor is not available yet.");
}

}  // namespace engine
