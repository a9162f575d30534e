#pragma once
// A step that needs an object the earlier steps failed to give fails the way
// an automation client does.

#include <memory>

#include "engine/word.h"

namespace engine {

template <typename T>
T& Need(const std::shared_ptr<T>& object) {
  if (!object) throw word::AutomationError("Object variable or With block variable not set");
  return *object;
}

}  // namespace engine
