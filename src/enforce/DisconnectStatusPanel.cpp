#include "enforce/DisconnectStatusPanel.h"

namespace qm {

void DisconnectStatusPanel::WhoToKickChanged(KickStatus value) {
  view_.SetStatusText(0, DisconnectStatus::StatusBarText(value));
}

}  // namespace qm
