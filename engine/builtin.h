#pragma once
// Our own word processor behind the automation interface.

#include "engine/word.h"

namespace engine {

// A new instance of the built-in word processor (never fails).
word::ApplicationPtr CreateBuiltinApplication();

}  // namespace engine
