#pragma once

#include <memory>
#include <string>

#include "database/Credentials.h"
#include "database/StageContext.h"
#include "database/firebird/FirebirdConnection.h"
#include "tests/RecordingView.h"

namespace cep::test {

/// A connection with a stage context on a database, connected as
/// ConnectDatabase does it; `FConnected` is its result.
struct TStage {
    explicit TStage(const std::string& database, const std::string& user = "SYSDBA",
                    const std::string& password = "corvinale") {
        FConnected = ConnectDatabase(*FConnection, database, user, password);
    }
    std::unique_ptr<TConnection> FConnection = CreateFirebirdConnection();
    TRecordingView FView;
    TStageContext FRun{*FConnection, FView};
    bool FConnected = false;
};

}  // namespace cep::test
