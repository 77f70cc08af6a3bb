#pragma once

#include <string>

namespace cep::test {

/// A fresh, empty folder for the running test, under the build tree.
std::string TempDir();

/// "127.0.0.1/PORT" of the private server the ctest run started.
std::string ServerAddress();

/// The folder the private server keeps its test databases in.
std::string ServerDbDir();

/// Creates a target database with tools/make-sample-db.sh; `options` are the
/// script's (e.g. "--dialect 3 --bare"). `database` is a local path or
/// "host/port:path". Fails the test on error.
void MakeDatabase(const std::string& database, const std::string& options = {});

/// A port on 127.0.0.1 that nothing listens on.
int ClosedPort();

/// Runs a shell command, returns its exit status.
int Shell(const std::string& command);

/// Reads a whole file.
std::string ReadFile(const std::string& path);

}  // namespace cep::test
