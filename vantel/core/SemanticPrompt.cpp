#include "vantel/core/SemanticPrompt.h"

namespace vantel {

const char* tagName(SemanticPromptKind kind) {
    switch (kind) {
    case SemanticPromptKind::initial: return "i";
    case SemanticPromptKind::right: return "r";
    case SemanticPromptKind::continuation: return "c";
    case SemanticPromptKind::secondary: return "s";
    }
    return "i";
}

const char* description(SemanticPromptKind kind) {
    switch (kind) {
    case SemanticPromptKind::initial: return "initial";
    case SemanticPromptKind::right: return "right";
    case SemanticPromptKind::continuation: return "continuation";
    case SemanticPromptKind::secondary: return "secondary";
    }
    return "initial";
}

std::string SemanticContent::description() const {
    switch (kind) {
    case Kind::none: return "none";
    case Kind::input: return "input";
    case Kind::output: return "output";
    case Kind::prompt: return std::string("prompt(") + vantel::description(promptKind) + ")";
    }
    return "none";
}

}  // namespace vantel
