#include "resolve/TIPThreadStarter.h"

#include "resolve/LookupUserName.h"

namespace qm {

std::unique_ptr<LookupThread> TIPThreadStarter::StartLookup(TUser& user) {
  auto thread = std::make_unique<TIPThread>(user, services_);
  thread->Start();
  return thread;
}

LookupServices TIPThreadStarter::ForMonitor(Monitor& monitor, UiStepQueue& steps,
                                            const NameTable& names) {
  LookupServices s;
  s.IsNT = monitor.IsNT();
  s.Steps = &steps;
  s.LookupAddress = [&names](const std::string& computerName) {
    return names.LookupAddress(computerName);
  };
  s.LookupUserName = [&monitor](const std::string& computerName, bool& releaseFailed) {
    return LookupUserName(monitor.Api(), computerName, releaseFailed);
  };
  s.RefreshInfoPanel = [&monitor] {
    monitor.ShowInfo(monitor.View().CurrentPageActive() ? monitor.TreeViewCurrent
                                                        : monitor.TreeViewFormer);
  };
  s.Fatal = [&monitor](const std::string& text) { monitor.Fatal(text); };
  return s;
}

}  // namespace qm
