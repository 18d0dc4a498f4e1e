// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "control/ControlCompletion.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <set>

#include "store/OptionKeys.h"

namespace qm {

namespace {

// The option of this command or of a command it falls through to.
const CLI::Option* FindOption(const CLI::App* app, const std::string& name) {
  for (; app; app = app->get_parent()) {
    const auto found = app->get_options(
        [&](const CLI::Option* o) { return o->nonpositional() && o->check_name(name); });
    if (!found.empty()) return found.front();
  }
  return nullptr;
}

const CLI::App* FindCommand(const CLI::App* app, const std::string& name) {
  const auto found = app->get_subcommands([&](const CLI::App* s) { return s->check_name(name); });
  return found.empty() ? nullptr : found.front();
}

// The members of a set check ("TEXT:{nobody,list,everybody}"); a value
// typed as PATH is a file.
std::vector<std::string> ValuesOf(const CLI::Option& option) {
  const std::string type = option.get_type_name();
  if (type.rfind("PATH", 0) == 0) return {ControlCompletion::kFiles};
  const auto open = type.find(":{");
  const auto close = type.rfind('}');
  if (open == std::string::npos || close == std::string::npos || close < open) return {};
  std::vector<std::string> values;
  std::string members = type.substr(open + 2, close - open - 2);
  for (std::size_t begin = 0; begin <= members.size();) {
    const std::size_t end = std::min(members.find(',', begin), members.size());
    if (end > begin) values.push_back(members.substr(begin, end - begin));
    begin = end + 1;
  }
  return values;
}

// A setting's key, and the values a key of its type takes.
std::vector<std::string> SettingValues(const std::string& positional,
                                       const std::vector<std::string>& before) {
  if (positional == "KEY") {
    std::vector<std::string> keys;
    for (const OptionKeys::Key& key : OptionKeys::All()) keys.emplace_back(key.name);
    return keys;
  }
  if (positional == "VALUE" && !before.empty()) {
    const OptionKeys::Key* key = OptionKeys::Find(before.back());
    if (key && key->type == OptionKeys::Type::Boolean) return {"true", "false"};
  }
  return {};
}

}  // namespace

std::vector<std::string> ControlCompletion::Next(const CLI::App& ctl,
                                                 const std::vector<std::string>& typed) {
  const CLI::App* app = &ctl;
  std::vector<std::string> positionals;  // the values given to this command
  std::set<const CLI::Option*> given;
  const CLI::Option* awaiting = nullptr;  // an option whose value comes next
  for (const std::string& word : typed) {
    if (awaiting) {
      awaiting = nullptr;
      continue;
    }
    if (word.rfind("-", 0) == 0) {
      const std::string name = word.substr(0, word.find('='));
      const CLI::Option* option = FindOption(app, name);
      if (!option) continue;
      given.insert(option);
      if (option->get_expected_max() > 0 && name.size() == word.size()) awaiting = option;
      continue;
    }
    if (positionals.empty()) {
      if (const CLI::App* command = FindCommand(app, word)) {
        app = command;
        continue;
      }
    }
    positionals.push_back(word);
  }
  if (awaiting) return ValuesOf(*awaiting);

  std::vector<std::string> next;
  if (positionals.empty()) {
    for (const CLI::App* command : app->get_subcommands([](const CLI::App*) { return true; })) {
      next.push_back(command->get_name());
    }
  }
  const auto slots = app->get_options([](const CLI::Option* o) { return !o->nonpositional(); });
  if (positionals.size() < slots.size()) {
    const CLI::Option& slot = *slots[positionals.size()];
    std::vector<std::string> values = ValuesOf(slot);
    if (values.empty()) values = SettingValues(slot.get_name(true), positionals);
    if (values.size() == 1 && values.front() == kFiles) return values;
    next.insert(next.end(), values.begin(), values.end());
  }
  for (const CLI::App* level = app; level; level = level->get_parent()) {
    for (const CLI::Option* option : level->get_options()) {
      if (!option->nonpositional() || given.count(option)) continue;
      for (const std::string& name : option->get_lnames()) {
        // A command's own --help hides the one it falls through to.
        if (std::find(next.begin(), next.end(), "--" + name) == next.end()) {
          next.push_back("--" + name);
        }
      }
    }
  }
  return next;
}

}  // namespace qm
