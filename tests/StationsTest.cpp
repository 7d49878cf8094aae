// A line of stations: several corvexlink-cli processes, each with its own
// pods, drawing serial numbers from one PostgreSQL ledger and writing one
// board log. No number twice, a killed station reissues nothing, a server
// gone mid-run loses no record, and a server down at the start touches no
// board.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "PgServer.h"
#include "PodsimProcess.h"
#include "Samples.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::Podsim;
using test::scratch;

const std::string kSerialAt = " --serial-at 0x300AB4 ";

std::uint16_t serialWord(const fs::path& flashFile) {
    const std::string bytes = test::fileBytes(flashFile);
    const std::size_t at = 2 * std::size_t{0x300AB4 - 0x300000};
    if (bytes.size() < at + 2) return 0;
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                      (static_cast<std::uint8_t>(bytes[at + 1]) << 8));
}

// A station: its own runtime folder (so its own pods only) and state folder (its spool).
struct Station {
    fs::path dir;
    std::vector<std::unique_ptr<Podsim>> pods;
    std::vector<std::string> names;

    Station(const fs::path& where, const std::string& name, int podCount, const std::vector<std::string>& podArgs) {
        dir = where / name;
        fs::create_directories(dir / "runtime");
        for (int i = 0; i < podCount; ++i) {
            std::string serial = name;  // appended: GCC 12 warns falsely on name + to_string
            serial += std::to_string(i);
            std::vector<std::string> args = {"--serial", serial, "--flash", (dir / (serial + ".bin")).string()};
            args.insert(args.end(), podArgs.begin(), podArgs.end());
            pods.push_back(std::make_unique<Podsim>(args, (dir / "runtime").string()));
            names.push_back(serial);
        }
    }
    bool ready() const {
        return std::all_of(pods.begin(), pods.end(), [](const auto& p) { return p->ready(); });
    }
    std::string command(const std::string& args) const {
        return "env XDG_RUNTIME_DIR='" + (dir / "runtime").string() + "' XDG_STATE_HOME='" + (dir / "state").string() +
               "' " + CORVEXLINK_CLI_PATH + " " + args + " 2>&1";
    }
    CliRun write(const std::string& db, const std::string& program) const {
        return test::runCommand(
            command("write --all-pods --log '" + db + "' --serial-ledger '" + db + "'" + kSerialAt + program));
    }
    void stopPods() {
        for (auto& p : pods) p->stop();
    }
};

std::size_t count(const std::string& db, const std::string& sql) {
    const auto rows = test::pgColumn(db, sql);
    return rows && !rows->empty() ? std::stoul(rows->front()) : 0;
}

// Waits (4 s at most) until a running station has been issued n numbers.
void waitForIssued(const std::string& db, std::size_t n) {
    for (int i = 0; i < 200 && count(db, "SELECT count(*) FROM serial_numbers WHERE state = 'issued'") < n; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

class Stations : public ::testing::Test {
protected:
    void SetUp() override {
        server = test::pgServer();
        if (!server) GTEST_SKIP() << "no PostgreSQL server (CORVEXLINK_TEST_PG); tools/test-all.sh starts one";
        program = std::string(CORVEXLINK_TESTDATA_DIR) + "/adc_oku.out";
        CVL_NEED_SAMPLES(program);
        dir = scratch(::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::permissions(dir, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    }
    std::optional<std::string> server;
    std::string program;
    fs::path dir;
};

TEST_F(Stations, TwoStationsAtOnceNeverShareANumberAndAKilledOneReissuesNothing) {
    const auto db = test::freshDatabase(*server, "stations_" + std::to_string(::getpid()));
    ASSERT_TRUE(db);
    Station a(dir, "A", 4, {}), b(dir, "B", 4, {});
    ASSERT_TRUE(a.ready() && b.ready());

    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        CliRun ra, rb;
        std::thread ta([&] { ra = a.write(*db, program); });
        std::thread tb([&] { rb = b.write(*db, program); });
        ta.join();
        tb.join();
        ASSERT_EQ(ra.status, 0) << ra.out;
        ASSERT_EQ(rb.status, 0) << rb.out;
    }
    a.stopPods();
    b.stopPods();

    // Every board's record names the number its flash holds; no number twice.
    const auto numbers = test::pgColumn(*db, "SELECT serial_number FROM board_log");
    ASSERT_TRUE(numbers);
    EXPECT_EQ(numbers->size(), 8u * kRounds) << "one row per board";
    EXPECT_EQ(std::set<std::string>(numbers->begin(), numbers->end()).size(), 8u * kRounds);
    EXPECT_EQ(count(*db, "SELECT count(*) FROM serial_numbers WHERE state = 'used'"), 8u * kRounds);
    for (const Station* s : {&a, &b}) {
        for (const std::string& pod : s->names) {
            const auto last = test::pgColumn(
                *db, "SELECT max(serial_number) FROM board_log WHERE pod = '" + pod + "' AND result = 'Ok'");
            ASSERT_TRUE(last && !last->empty()) << pod;
            EXPECT_EQ(std::to_string(serialWord(s->dir / (pod + ".bin"))), last->front()) << pod;
        }
    }

    // A station killed while it programs keeps the numbers it was given
    // taken: the next run goes on past them.
    Station slow(dir, "K", 2, {"--wire-model", "--pod-time", "O01=1500"});
    ASSERT_TRUE(slow.ready());
    const std::string cmd = slow.command("write --all-pods --serial-ledger '" + *db + "'" + kSerialAt + program);
    FILE* killed = popen(("echo $$; exec " + cmd).c_str(), "r");
    ASSERT_NE(killed, nullptr);
    char pidLine[32] = {};
    ASSERT_NE(std::fgets(pidLine, sizeof pidLine, killed), nullptr);
    waitForIssued(*db, 2);
    ASSERT_EQ(count(*db, "SELECT count(*) FROM serial_numbers WHERE state = 'issued'"), 2u);
    ::kill(std::atoi(pidLine), SIGKILL);
    pclose(killed);
    slow.stopPods();
    const std::size_t highest = count(*db, "SELECT max(number) FROM serial_numbers");
    Station after(dir, "N", 1, {});
    ASSERT_TRUE(after.ready());
    const CliRun next = after.write(*db, program);
    ASSERT_EQ(next.status, 0) << next.out;
    after.stopPods();
    EXPECT_EQ(serialWord(after.dir / "N0.bin"), highest + 1) << "a number the killed station was given came again";
    EXPECT_EQ(count(*db, "SELECT count(*) FROM serial_numbers WHERE state = 'issued'"), 2u)
        << "the killed station's numbers stay issued, never given again";

    // A pod whose serial number is not UTF-8 is stored escaped, and stops no other pod.
    Station odd(dir, "L\xE9", 2, {});
    ASSERT_TRUE(odd.ready());
    const CliRun mixed = odd.write(*db, program);
    EXPECT_EQ(mixed.status, 0) << mixed.out;
    EXPECT_EQ(count(*db, "SELECT count(*) FROM serial_numbers WHERE board LIKE 'L\\\\xE9_' AND state = 'used'"), 2u);
}

// A server of the test's own, to stop and start again.
struct OwnServer {
    fs::path dir;
    std::string script = std::string(CORVEXLINK_SOURCE_DIR) + "/tools/pg-server.sh";
    std::string start() const {
        const CliRun r = test::runCommand(script + " start '" + dir.string() + "' 2>&1");
        return r.status == 0 ? r.out.substr(0, r.out.find('\n')) : "";
    }
    void stop() const { test::runCommand(script + " stop '" + dir.string() + "' 2>&1"); }
    ~OwnServer() { stop(); }
};

TEST_F(Stations, AServerGoneMidRunLosesNoRecordAndADownOneTouchesNoBoard) {
    OwnServer own{dir / "pg"};
    const std::string db = own.start();
    ASSERT_FALSE(db.empty());
    Station s(dir, "S", 2, {"--wire-model", "--pod-time", "O01=1500"});
    ASSERT_TRUE(s.ready());

    // The server stops while the boards are programmed: the boards keep
    // their numbers, the command fails and names the spool.
    CliRun run;
    std::thread station([&] { run = s.write(db, program); });
    waitForIssued(db, 2);
    own.stop();
    station.join();
    EXPECT_EQ(run.status, 1) << run.out;
    const fs::path spool = s.dir / "state" / "corvexlink";
    EXPECT_NE(run.out.find("the records are kept in " + spool.string()), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("2 of 2 pods succeeded"), std::string::npos) << run.out;
    s.stopPods();
    std::set<std::uint16_t> held = {serialWord(s.dir / "S0.bin"), serialWord(s.dir / "S1.bin")};
    EXPECT_EQ(held, (std::set<std::uint16_t>{1, 2}));

    // Down at the start: refused before any board is touched.
    Station untouched(dir, "U", 1, {});
    ASSERT_TRUE(untouched.ready());
    const CliRun refused = untouched.write(db, program);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("cannot connect"), std::string::npos) << refused.out;
    untouched.stopPods();
    EXPECT_EQ(serialWord(untouched.dir / "U0.bin"), 0xFFFF) << "the board was programmed without a ledger";

    // Back again: the next run of the station stores what it kept first.
    ASSERT_EQ(own.start(), db);
    Station again(dir, "S", 1, {});  // the same station (its spool), a new pod
    ASSERT_TRUE(again.ready());
    const CliRun next = again.write(db, program);
    EXPECT_EQ(next.status, 0) << next.out;
    again.stopPods();
    EXPECT_EQ(serialWord(again.dir / "S0.bin"), 3) << "no number reissued";
    EXPECT_EQ(count(db, "SELECT count(*) FROM board_log"), 3u) << "the two kept records and the new one";
    EXPECT_EQ(count(db, "SELECT count(*) FROM serial_numbers WHERE state = 'used'"), 3u);
    EXPECT_EQ(count(db, "SELECT count(*) FROM board_log WHERE serial_number IN (1, 2) AND result = 'Ok'"), 2u);
    EXPECT_EQ(count(db, "SELECT count(DISTINCT record_id) FROM board_log"), 3u);
}

// A server that stops answering (its processes stopped: the connection stays
// open, nothing comes back) is given up within the record's limit: the
// record is spooled and stored by the next run, no lock outlives it.
TEST_F(Stations, AServerThatStopsAnsweringIsGivenUpWithinItsLimit) {
    OwnServer own{dir / "pg"};
    const std::string db = own.start();
    ASSERT_FALSE(db.empty());
    Station s(dir, "H", 1, {"--wire-model", "--pod-time", "O01=1500"});
    ASSERT_TRUE(s.ready());
    CliRun run;
    const auto started = std::chrono::steady_clock::now();
    std::thread station([&] { run = s.write(db, program); });
    waitForIssued(db, 1);
    const std::string server = (dir / "pg" / "data" / "postmaster.pid").string();
    const std::string pids = test::runCommand("p=$(head -1 '" + server + "'); echo $p $(pgrep -P $p)").out;
    ASSERT_EQ(test::runCommand("kill -STOP " + pids).status, 0) << pids;
    station.join();
    const auto took = std::chrono::steady_clock::now() - started;
    test::runCommand("kill -CONT " + pids);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("did not answer within"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("the records are kept in"), std::string::npos) << run.out;
    EXPECT_LT(took, std::chrono::seconds(25)) << "bounded by the limit, not by the server: " << run.out;
    s.stopPods();
    EXPECT_EQ(serialWord(s.dir / "H0.bin"), 1);

    Station again(dir, "H", 1, {});  // the same station (its spool), a new pod
    ASSERT_TRUE(again.ready());
    const CliRun next = again.write(db, program);
    EXPECT_EQ(next.status, 0) << next.out;
    again.stopPods();
    EXPECT_EQ(serialWord(again.dir / "H0.bin"), 2);
    EXPECT_EQ(count(db, "SELECT count(*) FROM board_log"), 2u);
    EXPECT_EQ(count(db, "SELECT count(*) FROM serial_numbers WHERE state = 'used'"), 2u);
}

// The ```sql blocks of the README's section on a line of stations, in order.
std::vector<std::string> readmeSql() {
    const std::string readme = test::fileBytes(CORVEXLINK_README);
    const auto from = readme.find("### A line of stations");
    const auto to = readme.find("\n### ", from + 1);
    std::vector<std::string> blocks;
    for (auto at = readme.find("```sql\n", from); at < to; at = readme.find("```sql\n", at + 1)) {
        const auto begin = at + 7;
        blocks.push_back(readme.substr(begin, readme.find("```", begin) - begin));
    }
    return blocks;
}

// Runs each statement of sql on its own (CREATE DATABASE refuses a transaction).
bool runStatements(const std::string& uri, const std::string& sql) {
    std::istringstream statements(sql);
    for (std::string one; std::getline(statements, one, ';');) {
        if (one.find_first_not_of(" \n") != std::string::npos && !test::pgColumn(uri, one)) {
            ADD_FAILURE() << "failed: " << one;
            return false;
        }
    }
    return true;
}

TEST_F(Stations, TheReadmesRolesAreAllAStationNeeds) {
    OwnServer own{dir / "pg"};
    const std::string superuser = own.start();
    ASSERT_FALSE(superuser.empty());
    const auto sql = readmeSql();
    ASSERT_EQ(sql.size(), 3u) << "roles, grants, today's boards";
    ASSERT_TRUE(runStatements(superuser, sql[0]));
    const std::string socket = superuser.substr(superuser.find('?'), superuser.find('&') - superuser.find('?'));
    const std::string owner = "postgresql:///line" + socket + "&user=line_owner";
    const std::string station = "postgresql:///line" + socket + "&user=station";

    Station s(dir, "R", 1, {});
    ASSERT_TRUE(s.ready());
    EXPECT_EQ(s.write(station, program).status, 1) << "no tables, and the station may not make them";
    const CliRun empty = test::runCommand(s.command("ledger list '" + owner + "'"));
    EXPECT_EQ(empty.status, 1) << empty.out;
    EXPECT_NE(empty.out.find("holds no ledger"), std::string::npos) << empty.out;
    EXPECT_EQ(test::pgColumn(owner, "SELECT to_regclass('serial_numbers') IS NULL")->front(), "t")
        << "listing made tables";
    EXPECT_FALSE(fs::exists(s.dir / "state" / "corvexlink")) << "no state folder unless a record is kept";
    ASSERT_EQ(test::runCommand(s.command("ledger init '" + owner + "'")).status, 0);
    ASSERT_TRUE(runStatements(owner, sql[1]));
    const CliRun run = s.write(station, program);
    EXPECT_EQ(run.status, 0) << run.out;
    const CliRun listed = test::runCommand(s.command("ledger list '" + station + "'"));
    EXPECT_NE(listed.out.find("used    R0"), std::string::npos) << listed.out;
    const auto today = test::pgColumn(owner, sql[2]);
    ASSERT_TRUE(today);
    EXPECT_EQ(today->size(), 1u) << "the README's query lists the board";
}

}  // namespace
}  // namespace cvl
