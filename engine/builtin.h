#pragma once
// Our own word processor behind the automation interface.

#include <memory>

#include "engine/word.h"

namespace docx {
class Document;
}

namespace engine {

// A new instance of the built-in word processor (never fails).
word::ApplicationPtr CreateBuiltinApplication();

// The document of our word processor behind an automation document, or null
// when `document` is another backend's (or closed).
std::shared_ptr<docx::Document> BuiltinDocumentOf(word::Document& document);

}  // namespace engine
