#include "app/messages.h"

namespace qm::app {

std::optional<std::string_view> MessageText(int) { return std::nullopt; }

}  // namespace qm::app
