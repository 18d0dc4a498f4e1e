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
  s.LookupAddress = [&names](const std::string& computerName, std::stop_token stop) {
    return names.LookupAddress(computerName, std::move(stop));
  };
  s.LookupUserName = [&monitor](const std::string& computerName, bool& releaseFailed) {
    return LookupUserName(monitor.Api(), computerName, releaseFailed);
  };
  s.RefreshInfoPanel = [&monitor] {
    monitor.ShowInfo(monitor.View().CurrentPageActive() ? monitor.TreeViewCurrent
                                                        : monitor.TreeViewFormer);
  };
  s.Fatal = [&monitor](const std::string& text) { monitor.Fatal(text); };
  s.Finished = [&monitor](const TUser& user, bool found) {
    monitor.Metrics().LookupFinished(user, found);
  };
  return s;
}

}  // namespace qm
