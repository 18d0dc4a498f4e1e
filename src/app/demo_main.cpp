// Runs the monitoring core on a server backend and prints what each tick finds.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "core/Monitor.h"
#include "core/RefreshCycle.h"
#include "core/ServerApi.h"
#include "platform/ServerBackendFactory.h"

namespace {
class PrintingObserver final : public qm::TreeObserver {
 public:
  void NodeInserted(qm::TreeNode& node) override {
    std::cout << Indent(node) << "+ " << node.Text() << '\n';
  }
  void NodeAboutToBeRemoved(qm::TreeNode& node) override {
    std::cout << Indent(node) << "- " << node.Text() << " ("
              << qm::StatusText(node.Data() ? node.Data()->ExitStatus : 1) << ")\n";
  }

 private:
  static std::string Indent(const qm::TreeNode& node) { return std::string(2 * node.Level(), ' '); }
};
}  // namespace

int main(int argc, char** argv) {
  const int ticks = argc > 1 ? std::atoi(argv[1]) : 5;
  std::string why;
  auto backend = qm::CreateServerBackendFromEnvironment(why);
  if (!backend) {
    std::cerr << "quillmoor98-demo: " << why << '\n';
    return 1;
  }
  qm::ServerApi api(*backend);
  if (api.LoadServerApi() < 0) {
    std::cerr << "quillmoor98-demo: " << api.LoadError() << '\n';
    return 1;
  }
  qm::Settings settings;
  qm::Monitor monitor(api, settings, {});
  PrintingObserver printer;
  monitor.TreeViewCurrent.AddObserver(&printer);
  qm::RefreshCycle cycle(monitor);
  for (int t = 1; t <= ticks; ++t) {
    cycle.RefreshTimerTimer();
    std::cout << "tick " << t << " users " << monitor.CurrentUserCount << " files "
              << monitor.OpenFileCount << std::endl;
    if (t < ticks) std::this_thread::sleep_for(std::chrono::seconds(settings.Refresh));
  }
  return 0;
}
