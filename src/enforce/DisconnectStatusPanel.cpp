#include "enforce/DisconnectStatusPanel.h"

namespace qm {

void DisconnectStatusPanel::WhoToKickChanged(int value) {
  view_.SetStatusText(0, DisconnectStatus::StatusBarText(value));
}

}  // namespace qm
