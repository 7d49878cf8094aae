// The serial-number ledger of a station: numbers never issued twice, by
// processes at once or after one was killed, through any name of the file;
// what is not a ledger of ours is refused untouched; an old text ledger is
// converted by one command.

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "PodsimProcess.h"
#include "line/stores/SqliteSerialLedger.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;

class Ledger : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    std::unique_ptr<SqliteSerialLedger> open(const fs::path& path, std::optional<std::uint64_t> start = {},
                                             std::uint64_t max = 0xFFFFFFFF) {
        std::string error;
        auto ledger = SqliteSerialLedger::open(path.string(), LedgerUse::Init, error);
        if (ledger) ledger->setRange(start, max);
        lastError = error;
        return ledger;
    }
    // Child processes that each take `rounds` numbers, one at a time, and
    // report every number taken (after its commit) through a pipe.
    std::vector<std::uint64_t> takeInProcesses(const fs::path& path, int processes, int rounds) {
        int out[2];
        EXPECT_EQ(pipe(out), 0);
        std::vector<pid_t> children;
        for (int p = 0; p < processes; ++p) {
            const pid_t child = fork();
            if (child == 0) {
                ::close(out[0]);
                auto ledger = open(path);
                for (int r = 0; ledger && r < rounds; ++r) {
                    std::string error;
                    std::string pod = "P";  // appended: GCC 12 warns falsely on "P" + to_string
                    pod += std::to_string(p);
                    const auto n = ledger->take({pod}, error);
                    if (!n) _exit(1);
                    const std::uint64_t v = n->front();
                    if (::write(out[1], &v, sizeof v) != sizeof v) _exit(1);
                }
                _exit(ledger ? 0 : 2);
            }
            children.push_back(child);
        }
        ::close(out[1]);
        std::vector<std::uint64_t> numbers;
        std::uint64_t v = 0;
        while (::read(out[0], &v, sizeof v) == sizeof v) numbers.push_back(v);
        ::close(out[0]);
        for (pid_t c : children) {
            int status = 0;
            waitpid(c, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        return numbers;
    }
    const fs::path dir = test::scratch("ledger");
    std::string lastError;
};

TEST_F(Ledger, ProcessesAtOnceAndAKilledOneNeverShareANumber) {
    const fs::path path = dir / "serials.db";
    std::string error;
    EXPECT_EQ(open(path, 500)->take({"FIRST"}, error)->front(), 500u) << "a new series starts at --serial-start";
    const auto numbers = takeInProcesses(path, 4, 25);
    ASSERT_EQ(numbers.size(), 100u);
    EXPECT_EQ(std::set<std::uint64_t>(numbers.begin(), numbers.end()).size(), 100u) << "no number twice";
    EXPECT_EQ(*std::min_element(numbers.begin(), numbers.end()), 501u);
    EXPECT_EQ(*std::max_element(numbers.begin(), numbers.end()), 600u) << "none skipped either";

    // A process killed while it takes numbers leaves the ledger whole and
    // every number it was given taken for good.
    for (int attempt = 0; attempt < 3; ++attempt) {
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        const pid_t child = fork();
        if (child == 0) {
            ::close(out[0]);
            auto ledger = open(path);
            for (std::string error;;) {
                const auto n = ledger->take({"KILLED"}, error);
                if (!n || ::write(out[1], &n->front(), sizeof(std::uint64_t)) != sizeof(std::uint64_t)) _exit(1);
            }
        }
        ::close(out[1]);
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + 17 * attempt));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        std::uint64_t v = 0, highest = 0;
        while (::read(out[0], &v, sizeof v) == sizeof v) highest = std::max(highest, v);
        ::close(out[0]);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        sqlite3_stmt* check = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
        ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
        sqlite3_finalize(check);
        sqlite3_close(db);
        const auto next = open(path)->take({"AFTER"}, error);
        ASSERT_TRUE(next) << error;
        EXPECT_GT(next->front(), highest) << "a number the killed process was given came again";
    }
}

TEST_F(Ledger, AnyNameOfTheFileIsOneLedgerOrRefused) {
    const fs::path real = dir / "real.db";
    const fs::path link = dir / "link.db";
    std::string error;
    ASSERT_TRUE(open(real));
    fs::create_symlink(real, link);
    const auto viaLink = open(link)->take({"A"}, error);
    const auto viaName = open(real)->take({"B"}, error);
    ASSERT_TRUE(viaLink && viaName) << error;
    EXPECT_EQ(viaName->front(), viaLink->front() + 1) << "one series whatever the name";
    EXPECT_FALSE(fs::exists(dir / "link.db-wal")) << "the journal is the real file's";

    const fs::path hard = dir / "hard.db";
    fs::create_hard_link(real, hard);
    EXPECT_FALSE(open(hard));
    EXPECT_NE(lastError.find("more than one name"), std::string::npos) << lastError;
    EXPECT_FALSE(open(real)) << "a hard link splits the journal: refused by either name";
}

TEST_F(Ledger, WhatIsNotALedgerIsRefusedUntouched) {
    const fs::path text = dir / "notes.txt";
    std::ofstream(text) << "not a ledger\n";
    const fs::path other = dir / "other.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(other.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE parts (id INTEGER); INSERT INTO parts VALUES (7);", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const fs::path readOnly = dir / "readonly.db";
    ASSERT_TRUE(open(readOnly));
    fs::permissions(readOnly, fs::perms::owner_read);
    const fs::path oldText = dir / "old.txt";
    std::ofstream(oldText) << "# Corvexlink serial numbers: the next number, then one line per number and outcome\n"
                           << "next 502\n500 P1 2026-01-01T00:00:00Z issued\n500 P1 2026-01-01T00:00:01Z Ok\n"
                           << "501 P2 2026-01-01T00:00:00Z issued\n501 P2 2026-01-01T00:00:02Z WriteFailed\n";
    for (const fs::path& p : {text, other, readOnly, oldText}) {
        const std::string before = test::fileBytes(p);
        EXPECT_FALSE(open(p)) << p;
        EXPECT_FALSE(lastError.empty());
        EXPECT_EQ(test::fileBytes(p), before) << p << ": touched";
        EXPECT_FALSE(fs::exists(p.string() + "-wal")) << p;
    }
    EXPECT_NE(lastError.find("corvexlink-cli ledger import"), std::string::npos) << lastError;

    // The one command that converts it; OLD stays as it was and numbers go on after it.
    const std::string before = test::fileBytes(oldText);
    const fs::path converted = dir / "converted.db";
    const auto imported = test::cli("ledger import --json " + oldText.string() + " " + converted.string());
    ASSERT_EQ(imported.status, 0) << imported.out;
    EXPECT_EQ(test::fileBytes(oldText), before);
    EXPECT_NE(test::cli("ledger import " + oldText.string() + " " + converted.string()).status, 0) << "NEW exists";
    const auto listed = test::cli("ledger list --json " + converted.string());
    const auto numbers = nlohmann::json::parse(listed.out)["numbers"];
    ASSERT_EQ(numbers.size(), 2u) << listed.out;
    EXPECT_EQ(numbers[0]["state"], "used");
    EXPECT_EQ(numbers[1]["state"], "failed");
    EXPECT_EQ(numbers[1]["board"], "P2");
    std::string error;
    auto ledger = open(converted);
    ASSERT_TRUE(ledger) << lastError;
    EXPECT_EQ(ledger->take({"NEXT"}, error)->front(), 502u);

    // The width's top is reached, never passed or wrapped.
    const fs::path top = dir / "top.db";
    auto wide = open(top, 0xFFFFFFFE, 0xFFFFFFFF);
    EXPECT_FALSE(wide->take({"A", "B", "C"}, error));
    EXPECT_EQ(wide->take({"A", "B"}, error)->back(), 0xFFFFFFFFu);
    EXPECT_FALSE(wide->take({"C"}, error));
    EXPECT_NE(error.find("would pass 4294967295"), std::string::npos) << error;
}

// A ledger is made whole or not at all, by any number of stations at once;
// what a creation cut short leaves is finished by init and named by a run;
// a failure says its cause; a read-only ledger can still be listed.
TEST_F(Ledger, MadeWholeOnceAndEveryFailureNamed) {
    const fs::path fresh = dir / "fresh.db";
    std::vector<pid_t> inits;
    for (int i = 0; i < 6; ++i) {
        const pid_t child = fork();
        if (child == 0) {
            const auto run = test::cli("ledger init " + fresh.string());
            std::ofstream((dir / ("init-" + std::to_string(i) + ".txt")).string()) << run.out;
            _exit(run.status);
        }
        inits.push_back(child);
    }
    for (std::size_t i = 0; i < inits.size(); ++i) {
        int status = 0;
        waitpid(inits[i], &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "every station's init finds a ledger: " << test::fileBytes(dir / ("init-" + std::to_string(i) + ".txt"));
    }
    std::string error;
    EXPECT_EQ(open(fresh)->take({"A"}, error)->front(), 1u) << error;
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().filename().string().find(".new-"), std::string::npos) << e.path() << " left behind";

    // Cut short: an empty file, zeros, or the key table without the numbers.
    const fs::path empty = dir / "empty.db";
    std::ofstream(empty).close();
    const fs::path zeros = dir / "zeros.db";
    std::ofstream(zeros) << std::string(4096, '\0');
    const fs::path half = dir / "half.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(half.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE corvexlink_ledger (key TEXT PRIMARY KEY, value TEXT NOT NULL);", nullptr, nullptr,
                 nullptr);
    sqlite3_close(db);
    for (const fs::path& p : {empty, zeros, half}) {
        const auto run = test::cli("ledger list " + p.string());
        EXPECT_EQ(run.status, 1) << p;
        EXPECT_NE(run.out.find("making was cut short"), std::string::npos) << run.out;
        const auto init = test::cli("ledger init --serial-start 40 " + p.string());
        EXPECT_EQ(init.status, 0) << init.out;
        EXPECT_EQ(open(p)->take({"B"}, error)->front(), 40u) << p << ": " << error;
    }
    // init refuses a start a used ledger would repeat numbers with.
    const auto again = test::cli("ledger init --serial-start 7 " + half.string());
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.out.find("its next number is 41"), std::string::npos) << again.out;

    // Damaged: SQLite's header, then rubbish.
    const fs::path damaged = dir / "damaged.db";
    std::ofstream(damaged) << std::string("SQLite format 3\0", 16) << std::string(8192, '\x5A');
    const auto broken = test::cli("ledger list " + damaged.string());
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.out.find("damaged"), std::string::npos) << broken.out;

    // Read-only: refused for taking numbers, listed all the same.
    fs::permissions(fresh, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_FALSE(open(fresh));
    const auto listed = test::cli("ledger list --json " + fresh.string());
    EXPECT_EQ(listed.status, 0) << listed.out;
    EXPECT_EQ(nlohmann::json::parse(listed.out)["numbers"].size(), 1u);
}

// A folder others may write, or a journal file of another user, could hold
// a planted -wal file that rewrites the ledger: neither is used.
TEST_F(Ledger, NobodyElseCanRewriteIt) {
    const fs::path shared = dir / "shared";
    fs::create_directories(shared);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    const auto inShared = test::cli("ledger init " + (shared / "serials.db").string());
    EXPECT_EQ(inShared.status, 1);
    EXPECT_NE(inShared.out.find("may be written by other users"), std::string::npos) << inShared.out;
    EXPECT_FALSE(fs::exists(shared / "serials.db"));

    const fs::path real = dir / "serials.db";
    ASSERT_TRUE(open(real));
    std::string error;
    EXPECT_EQ(open(real)->take({"A"}, error)->front(), 1u);
    if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
    std::ofstream(real.string() + "-wal").close();
    ASSERT_EQ(::chown((real.string() + "-wal").c_str(), 65534, 65534), 0);
    EXPECT_FALSE(open(real));
    EXPECT_NE(lastError.find("-wal belongs to another user"), std::string::npos) << lastError;
}

}  // namespace
}  // namespace cvl
