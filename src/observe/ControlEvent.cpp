#include "observe/ControlEvent.h"

#include "core/Text.h"

namespace qm {

std::string ControlEvent::Text() const {
  return "uid " + std::to_string(uid) + ": " + action + " " + EscapedText(target);
}

}  // namespace qm
