// The window-less frontend.
#include "model/document_frontend.h"

namespace kro {

void HeadlessFrontend::showMessage(MessageKind kind, const std::string& text) {
  messages_.push_back({kind, text});
}

}  // namespace kro
