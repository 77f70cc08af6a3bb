#pragma once

#include <memory>

#include "database/Engine.h"

namespace cep {

/// Seconds a connect waits for a server that does not answer.
inline constexpr int kConnectTimeoutSeconds = 5;

/// The Firebird engine behind TConnection. "SERVER NAME" is the Firebird
/// connection string: a path without a server part opens through the embedded
/// engine, "host:path" and "host/port:path" go over TCP. Character set
/// WIN1252; every statement is prepared and run in SQL dialect 1.
std::unique_ptr<TConnection> CreateFirebirdConnection();

/// Stops the engine: closes what is still attached and ends the embedded
/// engine's threads. For the end of the process; no connection may be used
/// afterwards.
void ShutdownFirebird() noexcept;

}  // namespace cep
