#pragma once

#include <memory>
#include <string>

#include "database/Credentials.h"
#include "database/firebird/FirebirdConnection.h"
#include "import/RunContext.h"
#include "tests/RecordingView.h"

namespace cep::test {

/// A connection with a run context on a database, connected as ConnectDatabase
/// does it; `connected` is its result.
struct TStage {
    explicit TStage(const std::string& database, const std::string& user = "SYSDBA",
                    const std::string& password = "corvinale") {
        connected = ConnectDatabase(*connection, database, user, password);
    }
    std::unique_ptr<TConnection> connection = CreateFirebirdConnection();
    TRecordingView view;
    TRunContext ctx{*connection, view, "/nowhere/"};
    bool connected = false;
};

}  // namespace cep::test
