// The start-up adjustment of the database server: stand-in servers of our own
// (copies of sleep, or a forked child renamed) get pinned; without one nothing
// changes. The tests hold a resource lock, so no other test runs a stand-in
// at the same time.

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "startup/UAffinity.h"
#include "tests/TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::string Comm(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

cpu_set_t Affinity(pid_t pid) {
    cpu_set_t set;
    CPU_ZERO(&set);
    EXPECT_EQ(::sched_getaffinity(pid, sizeof set, &set), 0) << pid;
    return set;
}

cpu_set_t Cpus(std::initializer_list<int> cpus) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu : cpus)
        CPU_SET(cpu, &set);
    return set;
}

bool Same(const cpu_set_t& a, const cpu_set_t& b) {
    return CPU_EQUAL(&a, &b);
}

/// A running process named `name`; killed when this goes.
class TStandIn {
  public:
    /// A copy of sleep under that name.
    static TStandIn Copy(const std::string& dir, const std::string& name) {
        const std::string exe = dir + "/" + name;
        fs::copy_file("/bin/sleep", exe, fs::copy_options::overwrite_existing);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(exe.c_str(), exe.c_str(), "600", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return TStandIn(pid, name);
    }
    /// A fork of this test renamed to `name`, with a second thread.
    static TStandIn Threaded(const std::string& name) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_NAME, name.c_str());
            pthread_t thread;
            ::pthread_create(
                &thread, nullptr,
                [](void*) -> void* {
                    for (;;)
                        ::pause();
                },
                nullptr);
            for (;;)
                ::pause();
        }
        return TStandIn(pid, name);
    }
    TStandIn(TStandIn&& other) noexcept : FPid(other.FPid) { other.FPid = 0; }
    ~TStandIn() {
        if (FPid > 0) {
            ::kill(FPid, SIGKILL);
            ::waitpid(FPid, nullptr, 0);
        }
    }
    pid_t Pid() const { return FPid; }

    std::vector<pid_t> Threads() const {
        std::vector<pid_t> threads;
        for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(FPid) + "/task"))
            threads.push_back(std::stoi(entry.path().filename().string()));
        return threads;
    }

  private:
    TStandIn(pid_t pid, const std::string& name) : FPid(pid) {
        // Until exec (or prctl) is done the child still has our name.
        for (int i = 0; i < 500 && Comm(pid) != name; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(Comm(pid), name);
    }
    pid_t FPid;
};

TEST(Affinity, PinsTheInterBaseServer) {
    ASSERT_EQ(cep::FindServerProcess("IB"), 0) << "an ibserver is running already";
    const TStandIn server = TStandIn::Copy(cep::test::TempDir(), "ibserver");
    ASSERT_EQ(cep::FindServerProcess("IB"), server.Pid());
    cep::PinServerAffinity(1, "IB");
    EXPECT_TRUE(Same(Affinity(server.Pid()), Cpus({0})));
}

TEST(Affinity, MaskMeetsTheSystemMask) {
    const TStandIn server = TStandIn::Copy(cep::test::TempDir(), "ibserver");
    const cpu_set_t system = Affinity(0);
    // A mask that leaves no processor of the system changes nothing.
    for (const int32_t mask : {1, 2, 3, 0, 4, 0x40000000, -1, -2}) {
        ASSERT_EQ(::sched_setaffinity(server.Pid(), sizeof system, &system), 0);
        cpu_set_t expected;
        CPU_ZERO(&expected);
        for (int cpu = 0; cpu < 32; ++cpu)
            if ((static_cast<uint32_t>(mask) >> cpu & 1) && CPU_ISSET(cpu, &system))
                CPU_SET(cpu, &expected);
        if (CPU_COUNT(&expected) == 0)
            expected = system;
        cep::PinServerAffinity(mask, "IB");
        EXPECT_TRUE(Same(Affinity(server.Pid()), expected)) << "mask " << mask;
    }
}

TEST(Affinity, PinsEveryThreadOfTheServer) {
    const TStandIn server = TStandIn::Threaded("ibserver");
    std::vector<pid_t> threads;
    for (int i = 0; i < 500 && threads.size() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        threads = server.Threads();
    }
    ASSERT_EQ(threads.size(), 2u);
    cep::PinServerAffinity(1, "IB");
    for (pid_t thread : threads)
        EXPECT_TRUE(Same(Affinity(thread), Cpus({0}))) << thread;
}

TEST(Affinity, KindChoosesTheServer) {
    const std::string dir = cep::test::TempDir();
    const TStandIn firebird = TStandIn::Copy(dir, "firebird");
    const TStandIn interbase = TStandIn::Copy(dir, "ibserver");
    EXPECT_EQ(cep::FindServerProcess("IB"), interbase.Pid());
    // Any other kind, "ib" too, is the Firebird server: ours or the test
    // server of this run, whichever started first.
    for (const char* kind : {"FB", "ib", ""}) {
        const pid_t found = cep::FindServerProcess(kind);
        EXPECT_NE(found, 0) << kind;
        EXPECT_TRUE(Comm(found) == "firebird" || Comm(found) == "fbserver") << kind;
    }
}

TEST(Affinity, NothingWithoutAServer) {
    ASSERT_EQ(cep::FindServerProcess("IB"), 0);
    const cpu_set_t before = Affinity(0);
    cep::PinServerAffinity(1, "IB");
    EXPECT_TRUE(Same(Affinity(0), before));
}

}  // namespace
