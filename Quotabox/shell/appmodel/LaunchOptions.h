#pragma once

#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "claude/ClaudeUsageTransfer.h"
#include "mock/MockUsageProvider.h"

class UsageStore;

// What the command line asks for: the data source, forced appearance and the special modes.
struct LaunchOptions {
  struct Source {
    enum class Kind { mock, live, stale, mixed, retained, trends };

    Kind kind = Kind::live;
    MockUsageProvider::Scenario scenario = MockUsageProvider::Scenario::normal;  // only for mock

    static Source of(Kind kind) { return {kind, MockUsageProvider::Scenario::normal}; }
    static Source mock(MockUsageProvider::Scenario scenario) { return {Kind::mock, scenario}; }
    // The scenario counts only for mock sources.
    bool operator==(const Source& other) const {
      return kind == other.kind && (kind != Kind::mock || scenario == other.scenario);
    }
    // The demonstration scenario's name ("normal", "high", "error", "signedout", "stale", "mixed",
    // "retained", "trends"); nullopt for live data.
    std::optional<std::string> scenarioName() const;
  };

  Source source;
  std::optional<std::string> appearance;  // "dark" or "light"; absent = the system's
  bool openPopover = false;
  std::optional<std::string> snapshotDir;
  std::optional<std::string> verificationDir;
  // Terminal modes.
  bool printReport = false;  // --print
  bool jsonReport = false;   // --json
  bool waybar = false;       // --waybar: headless refresh loop writing status-bar lines
  bool refresh = false;      // --refresh: asks the session's running engine to refresh now
  bool help = false;         // --help, -h
  bool version = false;      // --version, -V
  // Arguments the command line had but no option took, in order; then options given last without
  // their value. Shown (control characters as "?"), never acted on.
  struct Ignored {
    std::string text;
    bool missingValue = false;
    bool operator==(const Ignored&) const = default;
  };
  std::vector<Ignored> ignored;
  // How a live store's Claude provider makes its request; set by the program, not the command
  // line. Without one, Claude requests fail as network failures.
  ClaudeUsageRequestFunction claudeRequest;

  // `arguments` is the process's argument list, program path first. Unknown arguments are ignored
  // and listed in `ignored`.
  static LaunchOptions parse(const QStringList& arguments);
  // One Korean line (with its newline) for each of `ignored`, naming it.
  std::vector<std::string> ignoredNotices() const;
  // The store for `source`.
  std::unique_ptr<UsageStore> makeStore() const;
};
