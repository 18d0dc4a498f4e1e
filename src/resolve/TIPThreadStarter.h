#pragma once

#include <memory>

#include "core/Monitor.h"
#include "core/Ports.h"
#include "resolve/NameTable.h"
#include "resolve/TIPThread.h"
#include "resolve/UiStepQueue.h"

namespace qm {

// Gives every new user its TIPThread, started. Must outlive every thread it
// starts (create it before the Monitor that uses it, or stop the users
// first).
class TIPThreadStarter final : public LookupStarter {
 public:
  explicit TIPThreadStarter(LookupServices services) : services_(std::move(services)) {}

  std::unique_ptr<LookupThread> StartLookup(TUser& user) override;

  // Change them only while no thread runs.
  LookupServices& Services() { return services_; }

  // The program's services: addresses from names, account names (95/98)
  // from the monitor's server binding, "Debug: " failures and the info
  // panel through the monitor, steps on steps. The server binding must be
  // loaded already; names, steps and monitor must outlive the threads.
  static LookupServices ForMonitor(Monitor& monitor, UiStepQueue& steps, const NameTable& names);

 private:
  LookupServices services_;
};

}  // namespace qm
