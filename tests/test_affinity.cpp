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
class StandIn {
  public:
    /// A copy of sleep under that name.
    static StandIn Copy(const std::string& dir, const std::string& name) {
        const std::string exe = dir + "/" + name;
        fs::copy_file("/bin/sleep", exe, fs::copy_options::overwrite_existing);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(exe.c_str(), exe.c_str(), "600", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return StandIn(pid, name);
    }
    /// A fork of this test renamed to `name`, with a second thread.
    static StandIn Threaded(const std::string& name) {
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
        return StandIn(pid, name);
    }
    StandIn(StandIn&& other) noexcept : pid_(other.pid_) { other.pid_ = 0; }
    ~StandIn() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }

    std::vector<pid_t> Threads() const {
        std::vector<pid_t> threads;
        for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid_) + "/task"))
            threads.push_back(std::stoi(entry.path().filename().string()));
        return threads;
    }

  private:
    StandIn(pid_t pid, const std::string& name) : pid_(pid) {
        // Until exec (or prctl) is done the child still has our name.
        for (int i = 0; i < 500 && Comm(pid) != name; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(Comm(pid), name);
    }
    pid_t pid_;
};

TEST(Affinity, PinsTheInterBaseServer) {
    ASSERT_EQ(cep::FindServerProcess("IB"), 0) << "an ibserver is running already";
    const StandIn server = StandIn::Copy(cep::test::TempDir(), "ibserver");
    ASSERT_EQ(cep::FindServerProcess("IB"), server.pid());
    cep::PinServerAffinity(1, "IB");
    EXPECT_TRUE(Same(Affinity(server.pid()), Cpus({0})));
}

TEST(Affinity, MaskMeetsTheSystemMask) {
    const StandIn server = StandIn::Copy(cep::test::TempDir(), "ibserver");
    const cpu_set_t system = Affinity(0);
    // A mask that leaves no processor of the system changes nothing.
    for (const int32_t mask : {1, 2, 3, 0, 4, 0x40000000, -1, -2}) {
        ASSERT_EQ(::sched_setaffinity(server.pid(), sizeof system, &system), 0);
        cpu_set_t expected;
        CPU_ZERO(&expected);
        for (int cpu = 0; cpu < 32; ++cpu)
            if ((static_cast<uint32_t>(mask) >> cpu & 1) && CPU_ISSET(cpu, &system))
                CPU_SET(cpu, &expected);
        if (CPU_COUNT(&expected) == 0)
            expected = system;
        cep::PinServerAffinity(mask, "IB");
        EXPECT_TRUE(Same(Affinity(server.pid()), expected)) << "mask " << mask;
    }
}

TEST(Affinity, PinsEveryThreadOfTheServer) {
    const StandIn server = StandIn::Threaded("ibserver");
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
    const StandIn firebird = StandIn::Copy(dir, "firebird");
    const StandIn interbase = StandIn::Copy(dir, "ibserver");
    EXPECT_EQ(cep::FindServerProcess("IB"), interbase.pid());
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
