#pragma once

#include <optional>
#include <string>
#include <vector>

#include "import/ImportRun.h"

namespace cep {

/// What the command line asks for.
struct TOptions {
    std::optional<bool> answer;  ///< the reply to the question, when given
    std::string workDir;
    std::string releaseDir;
    std::vector<std::string> databases;
    bool json = false;
    bool help = false;
    bool version = false;
    /// Why the arguments cannot be taken; empty when they can.
    std::string error;
};

/// Exit status of the command.
constexpr int kExitCompleted = 0;
constexpr int kExitAccess = 1;
constexpr int kExitProcess = 2;
constexpr int kExitStopped = 3;
constexpr int kExitCancelled = 4;
constexpr int kExitRefused = 5;
constexpr int kExitUsage = 64;

/// Reads the arguments (without the program's name).
TOptions ParseOptions(const std::vector<std::string>& args);

/// One database of the command: its run's result, or none when the command
/// was cancelled before its turn came.
struct TDatabaseRun {
    std::string database;
    std::optional<TRunResult> result;
};

/// The exit status of one outcome, and of a whole command: that of its worst
/// outcome (an error over a cancel over a stop over refused records over a
/// completion).
int ExitCodeOf(TRunOutcome outcome);
int ExitCodeOf(const std::vector<TDatabaseRun>& runs);

/// The table that ends a command over several databases: each database, its
/// outcome, its records applied and its time (UTF-8).
std::string OutcomeTable(const std::vector<TDatabaseRun>& runs);

/// The outcome of each run as JSON, for scripts and monitoring.
std::string OutcomeJson(const std::vector<TDatabaseRun>& runs);

}  // namespace cep
