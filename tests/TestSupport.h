#pragma once

#include <string>

namespace cep::test {

/// A fresh, empty folder for the running test, under the build tree; the
/// same folder for every call within one test.
std::string TempDir();

/// The running test's "Suite.Name", with the characters a file name cannot
/// hold replaced.
std::string TestName();

/// A port on 127.0.0.1 that nothing listens on.
int ClosedPort();

/// Runs a shell command, returns its exit status.
int Shell(const std::string& command);

/// Reads a whole file.
std::string ReadFile(const std::string& path);

}  // namespace cep::test
