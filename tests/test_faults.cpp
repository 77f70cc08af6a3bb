// Faults injected into real runs of cep-atualiza: signals at each stage, a
// second run, other connections holding rows, a full disk, bad release files,
// tables of the wrong shape, missing rights, a server that stops answering or
// dies. Whatever happens, the database afterwards holds exactly the old
// release or exactly the new one, the staging table is gone or empty, both
// secondary indexes are active and the work folder holds nothing of the run;
// and the exit status and the last line tell the truth about which.
//
// One driver runs every row of the table of cases below. The program runs as
// a child process; its standard error is read line by line, and when the text
// of the chosen stage appears the child is stopped at once (SIGSTOP), the
// output it wrote until then is read to make sure it is still in that stage,
// and the fault is injected while it stands still.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/AnsiText.h"
#include "database/firebird/FirebirdConnection.h"
#include "tests/TestDatabase.h"
#include "tests/TestSupport.h"

namespace fs = std::filesystem;
using namespace cep;
using namespace std::chrono_literals;
using TSteadyClock = std::chrono::steady_clock;

namespace {

// ------------------------------------------------------------ the table

/// Where the target database lives.
enum class TTarget {
    Embedded,       // a file opened through the embedded engine
    SharedServer,   // a file of the server the whole ctest run shares
    PrivateServer,  // a file of a server of this case alone, which it may stop or kill
};

/// The stages, in the order a run goes through them.
enum class TStage { None, Municipalities, Staging, IndexesOff, Merge, Removal, IndexesOn };

/// What is done to the run once it stands at the case's stage.
enum class TFault {
    None,                          // nothing: the run goes its way
    Interrupt,                     // SIGINT, as Ctrl-C
    Terminate,                     // SIGTERM
    Kill,                          // SIGKILL of cep-atualiza
    SecondRun,                     // another run on the same database, while this one is held
    RunOnOtherDb,                  // a run on another database with the same work folder, meanwhile
    StopServer,                    // SIGSTOP of the server until the run ends
    StopServerThenInterruptTwice,  // the same, then Ctrl-C twice while it waits
    KillServer,                    // SIGKILL of the server
};

/// What the database or the work folder holds before the run, beyond the seed.
enum class TSetup {
    None,
    NoPrimaryKey,           // TAB_CEP without its primary key
    ColumnsReordered,       // NM_BAIRRO moved to position 3
    ExtraNotNullColumn,     // a further NOT NULL column without default
    LockedMuniRow,          // another connection holds an uncommitted UPDATE of TAB_MUNI
    LockedCepRow,           // the same on TAB_CEP
    ForeignKeyToWithdrawn,  // another table references a withdrawn code
    LeftoversInWorkFolder,  // an unreadable TempExc.txt, a FIFO Temp.txt, a folder TempMuni.txt
    NarrowStaging,          // TAB_CEP_TEMP left over, with NM_BAIRRO CHAR(3)
    OwnedBySysdba,          // made by SYSDBA, run as LUMEX_APP with its grants
    NoDeleteOnMuni,         // the same, DELETE on TAB_MUNI revoked
    DiskFullAtCepFile,      // the work folder a tmpfs too small for Temp.txt
    DiskFullAtExcFile,      // the work folder a tmpfs too small for TempExc.txt only
};

/// The release given with --release-dir.
enum class TRelease {
    Standard,        // generated: 5,000 records, 1,000 municipalities, 3,000 withdrawn codes
    Medium,          // generated: 100,000 records, for a commit that lasts
    Large,           // generated: 300,000 records, for a merge that lasts
    DuplicateCodes,  // Standard with three codes given more than once
    BlankLines,      // Standard with two blank lines in TABCEP.txt
    EmptyCep,        // Standard with an empty TABCEP.txt
    NulInExc,        // Standard with a NUL byte in TABCEPEXC.txt
};

/// What the database must hold after the run.
enum class TAfter {
    Old,         // as seeded
    New,         // the release applied whole
    NewRefused,  // the release applied but for the records the narrow staging table refused
    OldOrNew,    // either, whole
};

struct TFaultCase {
    const char* name;
    TTarget target = TTarget::Embedded;
    TRelease release = TRelease::Standard;
    TSetup setup = TSetup::None;
    TStage stage = TStage::None;  // where the fault strikes
    TFault fault = TFault::None;
    std::vector<int> exits;  // accepted exit statuses; 128 + N for signal N
    TAfter after = TAfter::Old;
    const char* stderrHas = nullptr;    // a text some line of standard error holds
    const char* stderrLacks = nullptr;  // a text no line of standard error holds
    bool nothingLoaded = false;         // no "Importando" stage began
    // Interrupt, Terminate and Kill strike while the run stands still at the
    // stage line, or, given a delay, that long after it goes on from there.
    std::chrono::milliseconds delay{0};
    // The fault is meant to strike after the commit; a run it cancelled was
    // struck before, and is tried again.
    bool afterCommit = false;
    // The run ended too abruptly to clean up (killed, or its server gone):
    // a run with --yes follows, must bring the database to the new release,
    // and the clean-up checks apply after it.
    bool followUp = false;
};

void PrintTo(const TFaultCase& c, std::ostream* out) {
    *out << c.name;
}

constexpr int kKilled = 128 + SIGKILL;

const TFaultCase kCases[] = {
    // The plain run the other rows depart from.
    {.name = "NoFault", .exits = {0}, .after = TAfter::New},

    // Cancel at each stage before the commit, the release withdrawing codes.
    {.name = "InterruptAtMunicipalities",
     .stage = TStage::Municipalities,
     .fault = TFault::Interrupt,
     .exits = {4}},
    {.name = "InterruptAtStaging",
     .stage = TStage::Staging,
     .fault = TFault::Interrupt,
     .exits = {4}},
    {.name = "InterruptAtMerge", .stage = TStage::Merge, .fault = TFault::Interrupt, .exits = {4}},
    {.name = "InterruptAtRemoval",
     .stage = TStage::Removal,
     .fault = TFault::Interrupt,
     .exits = {4}},
    {.name = "TerminateAtMunicipalitiesTcp",
     .target = TTarget::SharedServer,
     .stage = TStage::Municipalities,
     .fault = TFault::Terminate,
     .exits = {4}},
    {.name = "TerminateAtStagingTcp",
     .target = TTarget::SharedServer,
     .stage = TStage::Staging,
     .fault = TFault::Terminate,
     .exits = {4}},
    {.name = "TerminateAtMergeTcp",
     .target = TTarget::SharedServer,
     .stage = TStage::Merge,
     .fault = TFault::Terminate,
     .exits = {4}},
    {.name = "TerminateAtRemovalTcp",
     .target = TTarget::SharedServer,
     .stage = TStage::Removal,
     .fault = TFault::Terminate,
     .exits = {4}},
    // A merge of 300,000 records, cancelled a second into it: it is stopped,
    // not left to finish (the removal stage never begins).
    {.name = "InterruptDuringLongMerge",
     .release = TRelease::Large,
     .stage = TStage::Merge,
     .fault = TFault::Interrupt,
     .exits = {4},
     .stderrLacks = "Excluindo",
     .delay = 1s},
    // After the commit a cancel changes nothing, and says it came too late.
    // The commit rebuilds the indexes of 100,000 records, which lasts about a
    // second after the stage line: the signal comes 300 ms into it.
    {.name = "InterruptAfterCommit",
     .release = TRelease::Medium,
     .stage = TStage::IndexesOn,
     .fault = TFault::Interrupt,
     .exits = {0},
     .after = TAfter::New,
     .stderrHas = "tarde",
     .delay = 300ms,
     .afterCommit = true},

    // A second run on the same database waits, then stops; the first goes on.
    {.name = "SecondRunDuringStagingTcp",
     .target = TTarget::SharedServer,
     .stage = TStage::Staging,
     .fault = TFault::SecondRun,
     .exits = {0},
     .after = TAfter::New},
    {.name = "SecondRunBeforeMergeTcp",
     .target = TTarget::SharedServer,
     .stage = TStage::IndexesOff,
     .fault = TFault::SecondRun,
     .exits = {0},
     .after = TAfter::New},
    // Two databases, one work folder: neither run touches the other's files,
    // also when the other's folder looks old.
    {.name = "RunOnOtherDatabaseSameWorkFolder",
     .stage = TStage::Staging,
     .fault = TFault::RunOnOtherDb,
     .exits = {0},
     .after = TAfter::New},

    // Other connections holding rows.
    {.name = "MunicipalityRowLockedTcp",
     .target = TTarget::SharedServer,
     .setup = TSetup::LockedMuniRow,
     .exits = {2}},
    {.name = "CepRowLockedTcp",
     .target = TTarget::SharedServer,
     .setup = TSetup::LockedCepRow,
     .exits = {3},
     .stderrHas = "em uso",
     .nothingLoaded = true},

    // Failures after the merge, and leftovers that must be ignored.
    {.name = "ForeignKeyToWithdrawnCode", .setup = TSetup::ForeignKeyToWithdrawn, .exits = {2}},
    {.name = "NulByteInWithdrawnCodes",
     .release = TRelease::NulInExc,
     .exits = {2},
     .stderrHas = "TABCEPEXC.txt, linha 7",
     .nothingLoaded = true},
    {.name = "LeftoversInWorkFolderIgnored",
     .setup = TSetup::LeftoversInWorkFolder,
     .exits = {0},
     .after = TAfter::New},

    // kill -9 of the program at each stage.
    {.name = "KillAtMunicipalities",
     .stage = TStage::Municipalities,
     .fault = TFault::Kill,
     .exits = {kKilled},
     .after = TAfter::OldOrNew,
     .followUp = true},
    {.name = "KillAtStaging",
     .stage = TStage::Staging,
     .fault = TFault::Kill,
     .exits = {kKilled},
     .after = TAfter::OldOrNew,
     .followUp = true},
    {.name = "KillAtIndexesOff",
     .stage = TStage::IndexesOff,
     .fault = TFault::Kill,
     .exits = {kKilled},
     .after = TAfter::OldOrNew,
     .followUp = true},
    {.name = "KillAtMerge",
     .stage = TStage::Merge,
     .fault = TFault::Kill,
     .exits = {kKilled},
     .after = TAfter::OldOrNew,
     .followUp = true},
    {.name = "KillAtRemoval",
     .stage = TStage::Removal,
     .fault = TFault::Kill,
     .exits = {kKilled},
     .after = TAfter::OldOrNew,
     .followUp = true},
    {.name = "KillAtIndexesOn",
     .stage = TStage::IndexesOn,
     .fault = TFault::Kill,
     .exits = {kKilled},
     .after = TAfter::OldOrNew,
     .followUp = true},
    // Killed 300 ms into the commit that rebuilds the indexes of 100,000 records.
    {.name = "KillDuringCommit",
     .release = TRelease::Medium,
     .stage = TStage::IndexesOn,
     .fault = TFault::Kill,
     .exits = {kKilled},
     .after = TAfter::OldOrNew,
     .delay = 300ms,
     .followUp = true},
    {.name = "KillAtStagingTcp",
     .target = TTarget::SharedServer,
     .stage = TStage::Staging,
     .fault = TFault::Kill,
     .exits = {kKilled},
     .after = TAfter::OldOrNew,
     .followUp = true},
    {.name = "KillAtMergeTcp",
     .target = TTarget::SharedServer,
     .stage = TStage::Merge,
     .fault = TFault::Kill,
     .exits = {kKilled},
     .after = TAfter::OldOrNew,
     .followUp = true},
    {.name = "KillAtIndexesOnTcp",
     .target = TTarget::SharedServer,
     .stage = TStage::IndexesOn,
     .fault = TFault::Kill,
     .exits = {kKilled},
     .after = TAfter::OldOrNew,
     .followUp = true},

    // TAB_CEP of a shape the merge cannot fill: refused before anything is loaded.
    {.name = "NoPrimaryKey", .setup = TSetup::NoPrimaryKey, .exits = {3}, .nothingLoaded = true},
    {.name = "ColumnsInAnotherOrder",
     .setup = TSetup::ColumnsReordered,
     .exits = {3},
     .nothingLoaded = true},
    {.name = "ExtraNotNullColumn",
     .setup = TSetup::ExtraNotNullColumn,
     .exits = {3},
     .nothingLoaded = true},

    // Release files.
    {.name = "CodeTwiceLaterWins",
     .release = TRelease::DuplicateCodes,
     .exits = {0},
     .after = TAfter::New},
    {.name = "BlankLinesInCepFile",
     .release = TRelease::BlankLines,
     .exits = {2},
     .stderrHas = "TABCEP.txt, linha 101",
     .nothingLoaded = true},
    {.name = "EmptyCepFile",
     .release = TRelease::EmptyCep,
     .exits = {2},
     .stderrHas = "TABCEP.txt",
     .nothingLoaded = true},

    // A full disk under the work folder.
    {.name = "DiskFullWritingCepFile",
     .setup = TSetup::DiskFullAtCepFile,
     .exits = {2},
     .stderrHas = "Importando dados Munic",
     .stderrLacks = "Importando dados para tabela"},
    {.name = "DiskFullWritingExcFile",
     .setup = TSetup::DiskFullAtExcFile,
     .exits = {2},
     .stderrHas = "Importando dados Munic",
     .stderrLacks = "Importando dados para tabela"},

    // Refused records, refused rights.
    {.name = "NarrowStagingRefusesRecords",
     .setup = TSetup::NarrowStaging,
     .exits = {5},
     .after = TAfter::NewRefused},
    {.name = "OwnedBySysdbaRunAsAppTcp",
     .target = TTarget::SharedServer,
     .setup = TSetup::OwnedBySysdba,
     .exits = {0},
     .after = TAfter::New},
    {.name = "NoDeleteRightOnMunicipalitiesTcp",
     .target = TTarget::SharedServer,
     .setup = TSetup::NoDeleteOnMuni,
     .exits = {2}},

    // The server stops answering, or dies.
    {.name = "ServerStopsDuringStaging",
     .target = TTarget::PrivateServer,
     .stage = TStage::Staging,
     .fault = TFault::StopServer,
     .exits = {1, 2},
     .after = TAfter::Old,
     .followUp = true},
    {.name = "ServerStopsDuringMerge",
     .target = TTarget::PrivateServer,
     .stage = TStage::Merge,
     .fault = TFault::StopServer,
     .exits = {1, 2},
     .after = TAfter::Old,
     .followUp = true},
    {.name = "ServerStopsThenInterruptTwice",
     .target = TTarget::PrivateServer,
     .stage = TStage::Staging,
     .fault = TFault::StopServerThenInterruptTwice,
     .exits = {4},
     .after = TAfter::Old,
     .stderrHas = "interrompido",
     .followUp = true},
    {.name = "ServerKilledDuringStaging",
     .target = TTarget::PrivateServer,
     .stage = TStage::Staging,
     .fault = TFault::KillServer,
     .exits = {1, 2},
     .after = TAfter::Old,
     .followUp = true},
    {.name = "ServerKilledDuringMerge",
     .target = TTarget::PrivateServer,
     .stage = TStage::Merge,
     .fault = TFault::KillServer,
     .exits = {1, 2},
     .after = TAfter::Old,
     .followUp = true},
};

/// Known product faults: rows whose check fails because of the program, each
/// with the reason. They are skipped, the reason printed, until the program
/// is fixed and the row removed from here; CEP_FAULTS_RUN_PENDING=1 runs them
/// anyway.
const std::map<std::string, std::string> kPendingProductFix = {};

// ------------------------------------------------------------ timings

constexpr auto kReachBound = 60s;   // to reach the stage of the fault
constexpr auto kExitBound = 90s;    // to end once the fault struck
constexpr auto kGiveUpBound = 60s;  // to give up on a server that does not answer
constexpr auto kAbruptBound = 3s;   // to end after a second Ctrl-C

double Seconds(TSteadyClock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// ------------------------------------------------------------ stages

struct TStageText {
    TStage stage;
    const char* text;  // the start of the stage's line on standard error
};
const TStageText kStageTexts[] = {
    {TStage::Municipalities, "Importando dados Munic"},
    {TStage::Staging, "Importando dados para tabela"},
    {TStage::IndexesOff, "Desativando indices"},
    {TStage::Merge, "Atualizando tabela de CEP"},
    {TStage::Removal, "Excluindo registros"},
    {TStage::IndexesOn, "Ativando "},
};
constexpr char kAppliedLine[] = "O banco de dados tem agora a vers\xC3\xA3o de dados do programa.";
constexpr char kUnchangedLine[] = "O banco de dados n\xC3\xA3o foi alterado.";

const char* StageText(TStage stage) {
    for (const TStageText& s : kStageTexts)
        if (s.stage == stage)
            return s.text;
    return nullptr;
}

/// The stage a line of standard error begins, if any.
TStage StageOfLine(const std::string& line) {
    for (const TStageText& s : kStageTexts)
        if (line.rfind(s.text, 0) == 0)
            return s.stage;
    return TStage::None;
}

/// A line of the progress bar without a terminal: "  45% Tempo restante: ...".
bool IsProgressLine(const std::string& line) {
    const std::size_t digits = line.find_first_not_of(' ');
    const std::size_t percent = line.find('%');
    return digits != std::string::npos && digits > 0 && percent != std::string::npos &&
           percent > digits && line.find_first_not_of("0123456789", digits) == percent;
}

// ------------------------------------------------------------ the program as a child

/// cep-atualiza running as a child process: standard input /dev/null,
/// standard output to a file, standard error read line by line. With
/// `holdAt`, the child is stopped as soon as a line starting with it appears.
class TChildRun {
  public:
    TChildRun(const std::vector<std::string>& args, const std::string& outFile,
              const char* holdAt = nullptr)
        : FOutFile(outFile), FHoldAt(holdAt ? holdAt : "") {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe2 failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);
        // The child starts with Ctrl-C and SIGTERM as a shell would give them.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGTERM);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        const int spawned =
            posix_spawn(&FPid, argv[0], &actions, &attributes, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        close(fds[1]);
        FRead = fds[0];
        if (spawned != 0) {
            close(FRead);
            throw std::runtime_error("cannot start " + args[0]);
        }
        FStart = TSteadyClock::now();
        FReader = std::thread([this] { ReadLines(); });
    }
    ~TChildRun() {
        if (!FStatus) {
            kill(FPid, SIGKILL);
            kill(FPid, SIGCONT);
            int status = 0;
            waitpid(FPid, &status, 0);
        }
        FReader.join();
        close(FRead);
    }
    TChildRun(const TChildRun&) = delete;
    TChildRun& operator=(const TChildRun&) = delete;

    pid_t Pid() const { return FPid; }

    /// Waits until the child stands stopped at the hold line and everything
    /// it wrote before is read. False when it ended, or did not get there
    /// within `bound`.
    bool WaitHeld(TSteadyClock::duration bound) {
        {
            std::unique_lock lock(FMutex);
            FChanged.wait_for(lock, bound, [&] { return FHeldLine >= 0 || FEnded; });
            if (FHeldLine < 0)
                return false;
        }
        int status = 0;
        if (waitpid(FPid, &status, WUNTRACED) != FPid)
            return false;
        if (!WIFSTOPPED(status)) {
            FStatus = StatusOf(status);
            return false;
        }
        // The child stands still: what it wrote is in the pipe. Let the
        // reader take all of it.
        for (int pending = 1; pending > 0;) {
            if (ioctl(FRead, FIONREAD, &pending) != 0)
                break;
            if (pending > 0)
                std::this_thread::sleep_for(2ms);
        }
        std::this_thread::sleep_for(20ms);
        return true;
    }

    /// The first line written after the hold line that shows the child had
    /// left the stage (a later stage, or the last line); empty when none.
    std::string LeftStageLine(TStage stage) const {
        std::lock_guard lock(FMutex);
        for (std::size_t i = static_cast<std::size_t>(FHeldLine) + 1; i < FLines.size(); ++i) {
            const TStage later = StageOfLine(FLines[i]);
            if ((later != TStage::None && later != stage) ||
                FLines[i].find("O banco de dados") == 0)
                return FLines[i];
        }
        return {};
    }

    void Signal(int signal) const { kill(FPid, signal); }
    void Continue() const { kill(FPid, SIGCONT); }

    /// The exit status (128 + N when signal N ended it), or none when the
    /// child still runs after `bound`.
    std::optional<int> WaitExit(TSteadyClock::duration bound) {
        const auto deadline = TSteadyClock::now() + bound;
        while (!FStatus) {
            int status = 0;
            const pid_t got = waitpid(FPid, &status, WNOHANG);
            if (got == FPid && !WIFSTOPPED(status) && !WIFCONTINUED(status)) {
                FStatus = StatusOf(status);
                FEnd = TSteadyClock::now();
                break;
            }
            if (TSteadyClock::now() > deadline)
                return std::nullopt;
            std::this_thread::sleep_for(10ms);
        }
        // The pipe closes with the child: the reader has every line then.
        std::unique_lock lock(FMutex);
        FChanged.wait_for(lock, 5s, [&] { return FEnded; });
        return FStatus;
    }

    /// When it ended.
    TSteadyClock::time_point End() const { return FEnd; }

    std::vector<std::string> Lines() const {
        std::lock_guard lock(FMutex);
        return FLines;
    }
    bool StderrHas(const std::string& text) const {
        for (const std::string& line : Lines())
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }
    std::string Stdout() const { return test::ReadFile(FOutFile); }

    /// Standard error without the progress lines, and standard output.
    std::string Evidence() const {
        std::string text;
        for (const std::string& line : Lines())
            if (!IsProgressLine(line))
                text += "  stderr| " + line + "\n";
        std::istringstream out(Stdout());
        for (std::string line; std::getline(out, line);)
            text += "  stdout| " + line + "\n";
        return text;
    }

  private:
    static int StatusOf(int status) {
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    void ReadLines() {
        char buffer[4096];
        std::string partial;
        for (;;) {
            const ssize_t got = read(FRead, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            partial.append(buffer, static_cast<std::size_t>(got));
            for (std::size_t end; (end = partial.find('\n')) != std::string::npos;) {
                std::string line = partial.substr(0, end);
                partial.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                std::lock_guard lock(FMutex);
                if (FHeldLine < 0 && !FHoldAt.empty() && line.rfind(FHoldAt, 0) == 0) {
                    kill(FPid, SIGSTOP);  // first, then the bookkeeping
                    FHeldLine = static_cast<int>(FLines.size());
                }
                FLines.push_back(std::move(line));
                FChanged.notify_all();
            }
        }
        std::lock_guard lock(FMutex);
        if (!partial.empty())
            FLines.push_back(partial);
        FEnded = true;
        FChanged.notify_all();
    }

    std::string FOutFile;
    std::string FHoldAt;
    pid_t FPid = -1;
    int FRead = -1;
    std::optional<int> FStatus;
    TSteadyClock::time_point FStart, FEnd;
    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    std::vector<std::string> FLines;
    int FHeldLine = -1;
    bool FEnded = false;
    std::thread FReader;
};

// ------------------------------------------------------------ servers and databases

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

/// A Firebird server of one case, under a folder of the case: it may be
/// stopped, killed and started again without touching anyone else's.
class TPrivateServer {
  public:
    explicit TPrivateServer(std::string dir) : FDir(std::move(dir)) { Start(); }
    ~TPrivateServer() {
        Continue();
        test::Shell(Script() + " stop " + Quoted(FDir) + " >/dev/null");
    }
    TPrivateServer(const TPrivateServer&) = delete;
    TPrivateServer& operator=(const TPrivateServer&) = delete;

    /// Starts it (again); a restarted server listens on another port.
    void Start() const {
        const std::string command = Script() + " start " + Quoted(FDir) + " >/dev/null";
        ASSERT_EQ(test::Shell(command), 0) << command;
    }
    pid_t Pid() const {
        return static_cast<pid_t>(std::atoi(test::ReadFile(FDir + "/pid").c_str()));
    }
    std::string Address() const {
        std::string port = test::ReadFile(FDir + "/port");
        while (!port.empty() && (port.back() == '\n' || port.back() == ' '))
            port.pop_back();
        return "127.0.0.1/" + port;
    }
    std::string DbDir() const { return FDir + "/db"; }

    void Stop() const { kill(Pid(), SIGSTOP); }
    void Continue() const {
        if (Pid() > 0)
            kill(Pid(), SIGCONT);
    }
    /// Kills it and waits until it is gone.
    void Kill() const {
        const pid_t pid = Pid();
        kill(pid, SIGKILL);
        for (int i = 0; i < 500; ++i) {
            std::ifstream status("/proc/" + std::to_string(pid) + "/status");
            std::string line;
            bool alive = false;
            while (std::getline(status, line))
                if (line.rfind("State:", 0) == 0)
                    alive = line.find('Z') == std::string::npos;
            if (!alive)
                return;
            std::this_thread::sleep_for(10ms);
        }
    }

  private:
    static std::string Script() { return std::string(CEP_SOURCE_DIR) + "/tools/fbserver.sh"; }
    std::string FDir;
};

/// The administrator's connection to a database, for what the test itself
/// reads and writes.
class TAdmin {
  public:
    explicit TAdmin(const std::string& database) : FConnection(CreateFirebirdConnection()) {
        FConnection->OpenConnection(test::SysdbaParams(database));
        FQuery = FConnection->CreateQuery();
    }
    ~TAdmin() {
        FQuery.reset();
        FConnection->CloseConnection();
    }
    TAdmin(const TAdmin&) = delete;
    TAdmin& operator=(const TAdmin&) = delete;

    TConnection& Connection() { return *FConnection; }
    TQuery& Query() { return *FQuery; }
    void Run(const std::string& sql) {
        try {
            FQuery->RunStatement(sql);
        } catch (const TDatabaseError& e) {
            ADD_FAILURE() << sql << ": " << e.what();
        }
    }

  private:
    std::unique_ptr<TConnection> FConnection;
    std::unique_ptr<TQuery> FQuery;
};

/// A target database of one case: a TTestDatabase (embedded or on the
/// shared server), or a file of the case's private server.
class TTargetDatabase {
  public:
    TTargetDatabase(TTarget target, const std::string& options, const std::string& suffix,
                    const TPrivateServer* server)
        : FServer(server) {
        if (target != TTarget::PrivateServer) {
            FTest = std::make_unique<test::TTestDatabase>(
                target == TTarget::Embedded ? test::TWhere::Embedded : test::TWhere::Tcp, options,
                "lumexbd", suffix);
            return;
        }
        FFile = server->DbDir() + "/lumexbd_" + test::TestName() + suffix + ".fdb";
        const std::string command = std::string(CEP_SOURCE_DIR) +
                                    "/tools/make-sample-db.sh --force " + options + " " +
                                    Quoted(Database());
        EXPECT_EQ(test::Shell(command), 0) << command;
    }
    ~TTargetDatabase() {
        if (!FFile.empty()) {
            std::error_code ignored;
            fs::remove(FFile, ignored);
        }
    }
    TTargetDatabase(const TTargetDatabase&) = delete;
    TTargetDatabase& operator=(const TTargetDatabase&) = delete;

    /// The connection string now (a restarted private server has another port).
    std::string Database() const {
        return FTest ? FTest->Database() : FServer->Address() + ":" + FFile;
    }

  private:
    std::unique_ptr<test::TTestDatabase> FTest;
    const TPrivateServer* FServer = nullptr;
    std::string FFile;
};

// ------------------------------------------------------------ releases

/// The lines of a file, without their line ends (CR LF, LF or CR).
std::vector<std::string> FileLines(const std::string& path) {
    const std::string text = test::ReadFile(path);
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            lines.push_back(line);
            line.clear();
        } else {
            line += text[i];
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines)
        out << line << "\r\n";
}

/// A generated release in a folder shared by every case of the build, made
/// by the first that needs it.
std::string GeneratedRelease(int records, int munis, int withdrawn) {
    const char* base = std::getenv("CEP_TEST_TMP");
    const fs::path root =
        fs::path(base ? base : fs::temp_directory_path().string()) / "fault-releases";
    const std::string name =
        std::to_string(records) + "-" + std::to_string(munis) + "-" + std::to_string(withdrawn);
    const fs::path dir = root / name;
    if (fs::exists(dir / "TABCEP.txt"))
        return dir.string();
    // Made aside, then moved in whole: a case running meanwhile sees all of
    // it or nothing.
    const fs::path making = root / (name + ".making." + std::to_string(getpid()));
    fs::remove_all(making);
    fs::create_directories(making);
    const std::string command = std::string(CEP_GEN_RELEASE_EXE) + " --out " +
                                Quoted(making.string()) + " --seed 11 --records " +
                                std::to_string(records) + " --munis " + std::to_string(munis) +
                                " --exc " + std::to_string(withdrawn) + " >/dev/null";
    EXPECT_EQ(test::Shell(command), 0) << command;
    std::error_code error;
    fs::rename(making, dir, error);
    if (error)
        fs::remove_all(making);  // another case made it first
    return dir.string();
}

/// `line` with its field at `position` (from 1) of `length` replaced by `text`.
std::string WithField(std::string line, int position, int length, const std::string& text) {
    std::string field = text.substr(0, static_cast<std::size_t>(length));
    field.resize(static_cast<std::size_t>(length), ' ');
    line.replace(static_cast<std::size_t>(position - 1), static_cast<std::size_t>(length), field);
    return line;
}

/// The release folder of a case: a generated one, or a copy of the standard
/// one changed as the case says.
std::string MakeRelease(TRelease release, const std::string& dir) {
    if (release == TRelease::Medium)
        return GeneratedRelease(100000, 1000, 100);
    if (release == TRelease::Large)
        return GeneratedRelease(300000, 1000, 100);
    const std::string standard = GeneratedRelease(5000, 1000, 3000);
    if (release == TRelease::Standard)
        return standard;
    fs::create_directories(dir);
    for (const char* file : {"TABCEP.txt", "TABMUNI.txt", "TABCEPEXC.txt"})
        fs::copy_file(standard + "/" + file, dir + "/" + file,
                      fs::copy_options::overwrite_existing);
    std::vector<std::string> cep = FileLines(dir + "/TABCEP.txt");
    switch (release) {
        case TRelease::DuplicateCodes: {
            // The first code three times, the last at the end of the file;
            // the second twice in a row, within one call of 50 records.
            const std::string first = cep[0], second = cep[1];
            cep.insert(cep.begin() + 2, WithField(second, 19, 70, "RUA DUPLICADA VIZINHA"));
            cep.insert(cep.begin() + 2500, WithField(first, 19, 70, "RUA DUPLICADA MEIO"));
            cep.push_back(WithField(WithField(first, 19, 70, "RUA DUPLICADA FIM"), 89, 60, "FIM"));
            WriteLines(dir + "/TABCEP.txt", cep);
            break;
        }
        case TRelease::BlankLines:
            cep.insert(cep.begin() + 100, 2, std::string());
            WriteLines(dir + "/TABCEP.txt", cep);
            break;
        case TRelease::EmptyCep:
            WriteLines(dir + "/TABCEP.txt", {});
            break;
        case TRelease::NulInExc: {
            std::vector<std::string> exc = FileLines(dir + "/TABCEPEXC.txt");
            exc[6][20] = '\0';
            WriteLines(dir + "/TABCEPEXC.txt", exc);
            break;
        }
        default:
            break;
    }
    return dir;
}

// ------------------------------------------------------------ database state

/// A field of a release record, blanks and control characters removed at
/// both ends, as a run stores it.
std::string ReleaseField(const std::string& line, std::size_t position, std::size_t length) {
    std::string field = position < line.size() ? line.substr(position, length) : std::string();
    const auto keep = [](char c) { return static_cast<unsigned char>(c) > ' '; };
    const auto first = std::find_if(field.begin(), field.end(), keep);
    const auto last = std::find_if(field.rbegin(), field.rend(), keep).base();
    return first < last ? std::string(first, last) : std::string();
}

/// What a run changes: TAB_CEP (code -> the other columns, right-trimmed),
/// TAB_MUNI (code -> name) and the release stamps.
struct TContent {
    std::map<std::string, std::string> cep;
    std::map<std::string, std::string> muni;
    std::vector<std::string> stamps;
    bool operator==(const TContent&) const = default;
};

/// The columns of TAB_CEP after its code, as TContent keeps them.
std::string CepValues(const std::string& kind, const std::string& street,
                      const std::string& district, const std::string& uf, const std::string& muni,
                      const std::string& paf) {
    return kind + "|" + street + "|" + district + "|" + uf + "|" + muni + "|" + paf;
}

struct TSnapshot {
    TContent content;
    std::vector<std::string> inactiveIndexes;  // of the two, inactive or missing
    int stagingRows = -1;                      // -1: no TAB_CEP_TEMP
};

TSnapshot Snapshot(const std::string& database) {
    TSnapshot s;
    TAdmin admin(database);
    TQuery& q = admin.Query();
    for (q.OpenSelect("SELECT NU_CEP, ID_TIPO_LOGR, TE_DESCRICAO_CEP, NM_BAIRRO, SG_UF, "
                      "ID_MUNI_PREV, ID_PAF FROM TAB_CEP");
         !q.AtEnd(); q.Next())
        s.content.cep[RightTrimmed(q.ColumnText("NU_CEP"))] = CepValues(
            RightTrimmed(q.ColumnText("ID_TIPO_LOGR")),
            RightTrimmed(q.ColumnText("TE_DESCRICAO_CEP")), RightTrimmed(q.ColumnText("NM_BAIRRO")),
            RightTrimmed(q.ColumnText("SG_UF")), RightTrimmed(q.ColumnText("ID_MUNI_PREV")),
            RightTrimmed(q.ColumnText("ID_PAF")));
    for (q.OpenSelect("SELECT ID_MUNIC, NM_MUNIC FROM TAB_MUNI"); !q.AtEnd(); q.Next())
        s.content.muni[RightTrimmed(q.ColumnText("ID_MUNIC"))] =
            RightTrimmed(q.ColumnText("NM_MUNIC"));
    for (q.OpenSelect("SELECT TX_DESCRICAO FROM QUELMAR_INI WHERE ID_ITEM = 'DT_ATU_CEP'");
         !q.AtEnd(); q.Next())
        s.content.stamps.push_back(q.ColumnText("TX_DESCRICAO"));
    for (const char* index : {"IDX_CEPS_LOGR", "IDX_CEPS_MUNIC"}) {
        q.OpenSelect(std::string("SELECT COALESCE(RDB$INDEX_INACTIVE, 0) AS OFF FROM RDB$INDICES "
                                 "WHERE RDB$RELATION_NAME = 'TAB_CEP' AND RDB$INDEX_NAME = '") +
                     index + "'");
        if (q.AtEnd() || q.ColumnText("OFF") != "0")
            s.inactiveIndexes.push_back(index);
    }
    q.CloseSelect();
    const std::vector<std::string> tables = admin.Connection().ListUserTables();
    if (std::find(tables.begin(), tables.end(), "TAB_CEP_TEMP") != tables.end())
        s.stagingRows = admin.Connection().CountRecords("TAB_CEP_TEMP");
    return s;
}

/// What differs between two contents, briefly.
std::string Difference(const TContent& actual, const TContent& expected) {
    std::ostringstream out;
    const auto compare = [&](const char* table, const std::map<std::string, std::string>& a,
                             const std::map<std::string, std::string>& e) {
        int missing = 0, extra = 0, changed = 0;
        std::string example;
        for (const auto& [key, value] : e) {
            const auto it = a.find(key);
            if (it == a.end()) {
                if (++missing == 1 && example.empty())
                    example = "missing " + key;
            } else if (it->second != value) {
                if (++changed == 1 && example.empty())
                    example = key + " is [" + it->second + "], expected [" + value + "]";
            }
        }
        for (const auto& [key, value] : a)
            if (!e.count(key) && ++extra == 1 && example.empty())
                example = "extra " + key;
        if (missing + extra + changed > 0)
            out << table << ": " << missing << " missing, " << extra << " extra, " << changed
                << " changed (" << example << "); ";
    };
    compare("TAB_CEP", actual.cep, expected.cep);
    compare("TAB_MUNI", actual.muni, expected.muni);
    if (actual.stamps != expected.stamps) {
        out << "stamps:";
        for (const std::string& s : actual.stamps)
            out << " [" << s << "]";
        out << " expected";
        for (const std::string& s : expected.stamps)
            out << " [" << s << "]";
    }
    return out.str();
}

// ------------------------------------------------------------ the driver

constexpr char kOldValues[] = "AV|VELHA|X|RJ|99999|99999999";

class CliFaultTest : public ::testing::TestWithParam<TFaultCase> {
  protected:
    /// One attempt at the case, from a fresh database; false when the fault
    /// could not strike where the case says (the run had left the stage
    /// already, or a signal meant for after the commit came before it).
    bool Attempt(int attempt);

  private:
    // Seeds the database, applies the case's setup, and returns the content
    // a whole application of the release gives.
    TContent Prepare(const std::string& database, const std::string& release);
    std::vector<std::string> Args(const std::string& database, bool yes = false) const {
        std::vector<std::string> args = {CEP_CLI_EXE, "--work-dir", FWork, "--release-dir",
                                         FRelease};
        if (yes)
            args.push_back("--yes");
        args.push_back(database);
        return args;
    }
    void Inject(TChildRun& run, TTargetDatabase& target);
    void CheckOutcome(const TChildRun& run, int status, const TSnapshot& after,
                      const TContent& expected, bool abrupt);
    void CheckClean(const TSnapshot& after, const std::string& when);
    void AgeAbandonedFolders() const;
    std::set<std::string> Planted() const;

    std::string FDir, FWork, FRelease;
    std::unique_ptr<TPrivateServer> FServer;
    std::unique_ptr<TAdmin> FHolder;  // the other connection of the locking cases
    std::unique_ptr<TTransaction> FHeld;
    std::unique_ptr<TQuery> FHeldQuery;
    TContent FOld;
    bool FMounted = false;

  public:
    void TearDown() override {
        if (FMounted)
            umount2(FWork.c_str(), MNT_DETACH);
    }
};

TContent CliFaultTest::Prepare(const std::string& database, const std::string& release) {
    const TFaultCase& c = GetParam();
    const std::vector<std::string> cep = FileLines(release + "/TABCEP.txt");
    const std::vector<std::string> munis = FileLines(release + "/TABMUNI.txt");
    const std::vector<std::string> exc = fs::exists(release + "/TABCEPEXC.txt")
                                             ? FileLines(release + "/TABCEPEXC.txt")
                                             : std::vector<std::string>();
    std::set<std::string> carried;
    for (const std::string& line : cep)
        carried.insert(line.substr(0, 8));
    for (const std::string& line : exc)
        carried.insert(line.substr(0, 8));

    // Rows the release updates, rows it does not carry, rows it withdraws,
    // an old municipality and one the release renames.
    std::vector<std::string> updated, kept, withdrawn;
    for (std::size_t i = 0; i < cep.size() && updated.size() < 3; ++i)
        if (std::find(updated.begin(), updated.end(), cep[i].substr(0, 8)) == updated.end())
            updated.push_back(cep[i].substr(0, 8));
    for (int code = 11; kept.size() < 3; ++code) {
        char text[12];
        std::snprintf(text, sizeof text, "%08d", code);
        if (!carried.count(text))
            kept.push_back(text);
    }
    for (std::size_t i = 0; i < exc.size() && withdrawn.size() < 3; ++i)
        withdrawn.push_back(exc[i].substr(0, 8));
    {
        TAdmin admin(database);
        for (const auto* codes : {&updated, &kept, &withdrawn})
            for (const std::string& code : *codes)
                admin.Run(
                    "INSERT INTO TAB_CEP (NU_CEP, ID_TIPO_LOGR, TE_DESCRICAO_CEP, NM_BAIRRO, "
                    "SG_UF, ID_MUNI_PREV, ID_PAF) VALUES ('" +
                    code + "', 'AV', 'VELHA', 'X', 'RJ', '99999', '99999999')");
        admin.Run("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('999999', 'ANTIGA')");
        admin.Run("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('" + munis[0].substr(0, 6) +
                  "', 'NOME ANTIGO')");

        switch (c.setup) {
            case TSetup::NoPrimaryKey:
                admin.Run("ALTER TABLE TAB_CEP DROP CONSTRAINT PK_TAB_CEP");
                break;
            case TSetup::ColumnsReordered:
                admin.Run("ALTER TABLE TAB_CEP ALTER COLUMN NM_BAIRRO POSITION 3");
                break;
            case TSetup::ExtraNotNullColumn:
                // The default fills the rows there are, then goes.
                admin.Run("ALTER TABLE TAB_CEP ADD NU_EXTRA INTEGER DEFAULT 0 NOT NULL");
                admin.Run("ALTER TABLE TAB_CEP ALTER COLUMN NU_EXTRA DROP DEFAULT");
                break;
            case TSetup::ForeignKeyToWithdrawn:
                admin.Run(
                    "CREATE TABLE TAB_CEP_REF (ID INTEGER NOT NULL PRIMARY KEY, "
                    "NU_CEP CHAR(8) REFERENCES TAB_CEP (NU_CEP))");
                admin.Run("INSERT INTO TAB_CEP_REF VALUES (1, '" + withdrawn.at(0) + "')");
                break;
            case TSetup::NarrowStaging:
                admin.Run(
                    "CREATE TABLE TAB_CEP_TEMP (NU_CEP CHAR(8) NOT NULL, "
                    "ID_TIPO_LOGR CHAR(10), TE_DESCRICAO_CEP CHAR(70), NM_BAIRRO CHAR(3), "
                    "SG_UF CHAR(2), ID_MUNI_PREV CHAR(5), ID_PAF CHAR(8))");
                break;
            case TSetup::NoDeleteOnMuni:
                admin.Run("REVOKE DELETE ON TAB_MUNI FROM USER LUMEX_APP");
                break;
            default:
                break;
        }
    }

    // The release applied whole: its records over the seed, the later of
    // two records of one code, the withdrawn codes gone, TAB_MUNI rewritten.
    TContent expected;
    for (const std::string& code : updated)
        expected.cep[code] = kOldValues;
    for (const std::string& code : kept)
        expected.cep[code] = kOldValues;
    for (const std::string& code : withdrawn)
        expected.cep[code] = kOldValues;
    for (const std::string& line : cep) {
        const std::string district = ReleaseField(line, 88, 60);
        if (c.setup == TSetup::NarrowStaging && district.size() > 3)
            continue;  // refused by the staging table
        expected.cep[ReleaseField(line, 0, 8)] = CepValues(
            ReleaseField(line, 8, 10), ReleaseField(line, 18, 70), district,
            ReleaseField(line, 148, 2), ReleaseField(line, 150, 5), ReleaseField(line, 155, 8));
    }
    for (const std::string& line : exc)
        if (!ReleaseField(line, 0, 8).empty())
            expected.cep.erase(line.substr(0, 8));
    for (const std::string& line : munis)
        expected.muni[line.substr(0, 6)] = RightTrimmed(line.substr(6, 30));
    expected.stamps = {"01/02/2018"};
    return expected;
}

/// The files the case put into the work folder itself.
std::set<std::string> CliFaultTest::Planted() const {
    if (GetParam().setup == TSetup::LeftoversInWorkFolder)
        return {"TempExc.txt", "Temp.txt", "TempMuni.txt"};
    return {};
}

/// Makes the folders dead runs left look old enough for a later run to
/// remove them, as they would when that run comes later.
void CliFaultTest::AgeAbandonedFolders() const {
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(FWork, error)) {
        const fs::path lock = entry.path() / "run.lock";
        if (entry.is_directory(error) && fs::exists(lock, error))
            fs::last_write_time(lock, fs::file_time_type::clock::now() - 60s, error);
    }
}

void CliFaultTest::CheckClean(const TSnapshot& after, const std::string& when) {
    EXPECT_TRUE(after.inactiveIndexes.empty())
        << when << ": index inactive or missing: " << after.inactiveIndexes.front();
    EXPECT_LE(after.stagingRows, 0)
        << when << ": TAB_CEP_TEMP holds " << after.stagingRows << " rows";
    std::vector<std::string> left;
    std::error_code error;
    const std::set<std::string> planted = Planted();
    for (const fs::directory_entry& entry : fs::directory_iterator(FWork, error))
        if (!planted.count(entry.path().filename().string()))
            left.push_back(entry.path().filename().string());
    EXPECT_TRUE(left.empty()) << when << ": the work folder holds " << left.front();
    for (const std::string& name : planted) {
        EXPECT_TRUE(fs::exists(fs::symlink_status(FWork + "/" + name)))
            << when << ": " << name << " of the work folder is gone";
    }
}

// The exit status, the last line and the summary agree with the state the
// database is in.
void CliFaultTest::CheckOutcome(const TChildRun& run, int status, const TSnapshot& after,
                                const TContent& expected, bool abrupt) {
    const TFaultCase& c = GetParam();
    EXPECT_TRUE(std::find(c.exits.begin(), c.exits.end(), status) != c.exits.end())
        << "exit status " << status;
    const bool isOld = after.content == FOld;
    const bool isNew = after.content == expected;
    switch (c.after) {
        case TAfter::Old:
            EXPECT_TRUE(isOld) << "not the old release: " << Difference(after.content, FOld);
            break;
        case TAfter::New:
        case TAfter::NewRefused:
            EXPECT_TRUE(isNew) << "not the new release: " << Difference(after.content, expected);
            break;
        case TAfter::OldOrNew:
            std::printf("[ state    ] %s\n", isOld ? "old" : isNew ? "new" : "neither");
            EXPECT_TRUE(isOld || isNew)
                << "neither release whole: from the old, " << Difference(after.content, FOld)
                << "; from the new, " << Difference(after.content, expected);
            break;
    }
    if (c.stderrHas != nullptr) {
        EXPECT_TRUE(run.StderrHas(c.stderrHas)) << "no \"" << c.stderrHas << "\" on stderr";
    }
    if (c.stderrLacks != nullptr) {
        EXPECT_FALSE(run.StderrHas(c.stderrLacks)) << "\"" << c.stderrLacks << "\" on stderr";
    }
    if (c.nothingLoaded) {
        EXPECT_FALSE(run.StderrHas("Importando")) << "a load began";
    }
    if (abrupt)
        return;  // no last words
    // Never a failure reported as success, nor the other way round.
    const std::vector<std::string> lines = run.Lines();
    const std::string last = lines.empty() ? std::string() : lines.back();
    const std::string out = run.Stdout();
    if (isNew) {
        EXPECT_EQ(last, kAppliedLine);
        EXPECT_TRUE(status == 0 || status == 5) << "applied, but exit status " << status;
        EXPECT_NE(out.find("Registros atualizados"), std::string::npos) << out;
        EXPECT_EQ(out.find("Registros rejeitados") != std::string::npos, status == 5) << out;
    } else {
        EXPECT_EQ(last, kUnchangedLine);
        EXPECT_TRUE(status != 0 && status != 5) << "not applied, but exit status " << status;
        if (status == 1) {
            EXPECT_NE(out.find("Erro de acesso ao BD"), std::string::npos) << out;
        }
        if (status == 2) {
            EXPECT_NE(out.find("Erro no processo"), std::string::npos) << out;
        }
    }
}

void CliFaultTest::Inject(TChildRun& run, TTargetDatabase& target) {
    const TFaultCase& c = GetParam();
    switch (c.fault) {
        case TFault::None:
            break;
        case TFault::Interrupt:
        case TFault::Terminate:
        case TFault::Kill: {
            const int signal = c.fault == TFault::Interrupt   ? SIGINT
                               : c.fault == TFault::Terminate ? SIGTERM
                                                              : SIGKILL;
            if (c.delay.count() > 0) {
                run.Continue();
                std::this_thread::sleep_for(c.delay);
                EXPECT_EQ(run.LeftStageLine(c.stage), "") << "the stage was over before the signal";
            }
            run.Signal(signal);
            run.Continue();
            break;
        }
        case TFault::SecondRun: {
            TChildRun second(Args(target.Database()), FDir + "/second.out");
            const auto start = TSteadyClock::now();
            const std::optional<int> status = second.WaitExit(kExitBound);
            std::printf("[ timing   ] the second run ended after %.2f s\n",
                        Seconds(TSteadyClock::now() - start));
            EXPECT_EQ(status, 3) << second.Evidence();
            EXPECT_TRUE(second.StderrHas("em uso")) << second.Evidence();
            const TSnapshot between = Snapshot(target.Database());
            EXPECT_EQ(between.content, FOld)
                << "the second run changed " << Difference(between.content, FOld);
            run.Continue();
            break;
        }
        case TFault::RunOnOtherDb: {
            // The held run's folder is made to look old: only its lock tells
            // the other run that it is in use.
            AgeAbandonedFolders();
            TTargetDatabase other(c.target, "", "_other", FServer.get());
            const TContent expected = Prepare(other.Database(), FRelease);
            TChildRun second(Args(other.Database()), FDir + "/other.out");
            EXPECT_EQ(second.WaitExit(kExitBound), 0) << second.Evidence();
            const TSnapshot after = Snapshot(other.Database());
            EXPECT_EQ(after.content, expected)
                << "the other database: " << Difference(after.content, expected);
            run.Continue();
            break;
        }
        case TFault::StopServer:
            FServer->Stop();
            run.Continue();
            break;
        case TFault::StopServerThenInterruptTwice: {
            FServer->Stop();
            run.Continue();
            std::this_thread::sleep_for(1s);
            run.Signal(SIGINT);
            std::this_thread::sleep_for(1s);
            run.Signal(SIGINT);
            const auto second = TSteadyClock::now();
            const std::optional<int> status = run.WaitExit(kAbruptBound);
            EXPECT_TRUE(status.has_value())
                << "still running " << Seconds(kAbruptBound) << " s after a second Ctrl-C";
            if (status)
                std::printf("[ timing   ] ended %.3f s after the second Ctrl-C\n",
                            Seconds(run.End() - second));
            break;
        }
        case TFault::KillServer:
            FServer->Kill();
            run.Continue();
            break;
    }
}

bool CliFaultTest::Attempt(int attempt) {
    const TFaultCase& c = GetParam();
    if (FMounted) {
        umount2(FWork.c_str(), MNT_DETACH);
        FMounted = false;
    }
    FDir = test::TempDir() + "/attempt-" + std::to_string(attempt);
    FWork = FDir + "/work";
    fs::create_directories(FWork);
    if (c.target == TTarget::PrivateServer)
        FServer = std::make_unique<TPrivateServer>(FDir + "/server");
    const std::string options =
        c.setup == TSetup::OwnedBySysdba || c.setup == TSetup::NoDeleteOnMuni
            ? "--user SYSDBA --password corvinale"
            : "";
    TTargetDatabase target(c.target, options, "", FServer.get());
    FRelease = MakeRelease(c.release, FDir + "/release");
    const TContent expected = Prepare(target.Database(), FRelease);
    FOld = Snapshot(target.Database()).content;

    if (c.setup == TSetup::DiskFullAtCepFile || c.setup == TSetup::DiskFullAtExcFile) {
        // TempMuni.txt (20 KB) fits in 256 KB, Temp.txt (835 KB) does not;
        // in 1 MB both fit, and TempExc.txt (501 KB) does not.
        const std::string size = c.setup == TSetup::DiskFullAtCepFile ? "size=256k" : "size=1m";
        if (mount("tmpfs", FWork.c_str(), "tmpfs", 0, size.c_str()) != 0) {
            ADD_FAILURE() << "cannot mount a tmpfs on the work folder: " << std::strerror(errno);
            return true;
        }
        FMounted = true;
    }
    if (c.setup == TSetup::LeftoversInWorkFolder) {
        // What an older program, or someone else, left: none of the run's.
        std::ofstream(FWork + "/TempExc.txt") << FileLines(FRelease + "/TABCEP.txt")[10] << "\r\n";
        chmod((FWork + "/TempExc.txt").c_str(), 0);
        mkfifo((FWork + "/Temp.txt").c_str(), 0600);  // opened, it would block the run
        fs::create_directory(FWork + "/TempMuni.txt");
    }
    if (c.setup == TSetup::LockedMuniRow || c.setup == TSetup::LockedCepRow) {
        FHolder = std::make_unique<TAdmin>(target.Database());
        FHeld = FHolder->Connection().StartTransaction();
        FHeldQuery = FHolder->Connection().CreateQuery(FHeld.get());
        FHeldQuery->RunStatement(c.setup == TSetup::LockedMuniRow
                                     ? "UPDATE TAB_MUNI SET NM_MUNIC = 'OUTRO' WHERE "
                                       "ID_MUNIC = '999999'"
                                     : "UPDATE TAB_CEP SET NM_BAIRRO = 'OUTRO' WHERE NU_CEP = '" +
                                           FOld.cep.begin()->first + "'");
    }

    const bool held = c.fault != TFault::None;
    TChildRun run(Args(target.Database()), FDir + "/run.out", held ? StageText(c.stage) : nullptr);
    if (held) {
        if (!run.WaitHeld(kReachBound)) {
            ADD_FAILURE() << "the run never reached the stage \"" << StageText(c.stage) << "\"\n"
                          << run.Evidence();
            return true;
        }
        const std::string left = run.LeftStageLine(c.stage);
        if (!left.empty()) {
            std::printf("attempt %d: the run had already left the stage (\"%s\"); again\n", attempt,
                        left.c_str());
            return false;
        }
    }
    const auto struck = TSteadyClock::now();
    Inject(run, target);
    const bool serverGone = c.fault == TFault::StopServer || c.fault == TFault::KillServer;
    std::optional<int> status = run.WaitExit(serverGone ? kGiveUpBound : kExitBound);
    if (status)
        std::printf("[ timing   ] exit %d, %.2f s after the fault\n", *status,
                    Seconds(run.End() - struck));
    else
        ADD_FAILURE() << "still running " << Seconds(serverGone ? kGiveUpBound : kExitBound)
                      << " s after the fault";
    if (!status) {
        run.Signal(SIGKILL);
        run.Continue();
        status = run.WaitExit(kExitBound);
    }
    if (FHeld) {
        FHeldQuery.reset();
        FHeld->Rollback();
        FHeld.reset();
        FHolder.reset();
    }
    if (c.fault == TFault::StopServer || c.fault == TFault::StopServerThenInterruptTwice)
        FServer->Continue();
    if (c.fault == TFault::KillServer)
        FServer->Start();
    if (FServer)  // the server drops the dead run's attachment and its work
        std::this_thread::sleep_for(500ms);

    const TSnapshot after = Snapshot(target.Database());
    if (c.afterCommit && status == 4 && after.content == FOld) {
        std::printf("attempt %d: the signal came before the commit; again\n", attempt);
        return false;
    }
    const bool abrupt = c.fault == TFault::Kill || c.fault == TFault::StopServerThenInterruptTwice;
    CheckOutcome(run, status.value_or(-1), after, expected, abrupt);
    if (HasFailure())
        std::printf("run of %s:\n%s", c.name, run.Evidence().c_str());
    if (!c.followUp) {
        CheckClean(after, "after the run");
        return true;
    }

    // A later run with --yes brings the database to the new release.
    AgeAbandonedFolders();
    TChildRun followUp(Args(target.Database(), /*yes=*/true), FDir + "/follow-up.out");
    EXPECT_EQ(followUp.WaitExit(kExitBound), 0) << "the follow-up run\n" << followUp.Evidence();
    const TSnapshot settled = Snapshot(target.Database());
    EXPECT_EQ(settled.content, expected)
        << "after the follow-up run: " << Difference(settled.content, expected);
    CheckClean(settled, "after the follow-up run");
    return true;
}

TEST_P(CliFaultTest, LeavesTheDatabaseOldOrNew) {
    const TFaultCase& c = GetParam();
    const auto pending = kPendingProductFix.find(c.name);
    const char* runPending = std::getenv("CEP_FAULTS_RUN_PENDING");
    if (pending != kPendingProductFix.end() && !(runPending && std::string(runPending) == "1"))
        GTEST_SKIP() << "known product fault, pending a fix: " << pending->second;
    if ((c.setup == TSetup::DiskFullAtCepFile || c.setup == TSetup::DiskFullAtExcFile) &&
        geteuid() != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    for (int attempt = 1; !Attempt(attempt); ++attempt)
        ASSERT_LT(attempt, 3) << "the fault could not be made to strike where it should in 3 "
                                 "attempts";
}

INSTANTIATE_TEST_SUITE_P(Cases, CliFaultTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TFaultCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
