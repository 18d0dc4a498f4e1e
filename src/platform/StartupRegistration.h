#pragma once

#include <string>

namespace qm {

// Starting with the desktop: a desktop-entry file "Quillmoor98.desktop" in
// the system's autostart folder (<sysconfdir>/xdg/autostart) names the
// program file. An entry of that name in <sysconfdir>/xdg/autostart-services
// is removed whenever it is found and never written.
class StartupRegistration {
 public:
  static constexpr const char* kEntryName = "Quillmoor98.desktop";

  StartupRegistration(std::string sysconfDir, std::string programFile);

  // Enabled: writes the entry (replacing an earlier one); false when it
  // cannot be written (no autostart folder, no rights), and the caller then
  // disables its check box. Disabled: removes the entry if there is one;
  // a removal that fails changes nothing and is not reported (true).
  bool Set(bool enabled);

  std::string RunPath() const;
  std::string ServicesPath() const;
  // The entry's text for the program file.
  static std::string EntryText(const std::string& programFile);

 private:
  std::string sysconfDir_;
  std::string programFile_;
};

}  // namespace qm
