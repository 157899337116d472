#include "platform/ui/TextInput.h"

namespace platform::ui {

void TextInputContext::setClient(TextInputClient* client) {
    if (client == client_) return;
    reset();
    client_ = client;
    clientChanged();
}

}  // namespace platform::ui
