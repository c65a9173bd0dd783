// Crash safety: a writer that stops at any point must never cost a record
// whose Post returned, nor leave a table that opens wrongly.
//  - FaultInjectionTest: in-process, every write after the N-th is dropped
//    (as if the process died there); N walks over a whole workload.
//  - KillTest: a forked writer process killed with SIGKILL at random times.
//    CORVANE_KILL_ROUNDS sets the number of rounds (long runs by hand).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "TableFixture.h"
#include "tablestore/StoreEnv.h"

namespace corvane::testing {
namespace {

// Passes everything to the real files until `budget` writes were made; later
// writes, truncations and renames are silently lost.
class DyingEnv : public TStoreEnv {
  public:
    explicit DyingEnv(long budget) : budget_(budget) {}

    bool Dead() const { return budget_ <= 0; }
    bool Spend() { return budget_-- > 0; }

    class File : public TStoreFile {
      public:
        File(std::unique_ptr<TStoreFile> inner, DyingEnv& env)
            : inner_(std::move(inner)), env_(env) {}
        int ReadAt(uint64_t o, void* d, size_t s, size_t& done) override {
            return inner_->ReadAt(o, d, s, done);
        }
        int WriteAt(uint64_t o, const void* d, size_t s) override {
            return env_.Spend() ? inner_->WriteAt(o, d, s) : 0;
        }
        int Truncate(uint64_t s) override { return env_.Spend() ? inner_->Truncate(s) : 0; }
        int Size(uint64_t& s) override { return inner_->Size(s); }
        int Sync() override { return 0; }

      private:
        std::unique_ptr<TStoreFile> inner_;
        DyingEnv& env_;
    };

    int Open(const std::string& path, TOpenMode mode, TLockMode lock, bool readOnly,
             std::unique_ptr<TStoreFile>& file) override {
        if (mode != TOpenMode::Existing && !Spend()) return EIO;
        std::unique_ptr<TStoreFile> inner;
        const int error = Default()->Open(path, mode, lock, readOnly, inner);
        if (error == 0) file = std::make_unique<File>(std::move(inner), *this);
        return error;
    }
    bool Exists(const std::string& path) override { return Default()->Exists(path); }
    int Rename(const std::string& from, const std::string& to) override {
        return Spend() ? Default()->Rename(from, to) : 0;
    }
    int Remove(const std::string& path) override { return Spend() ? Default()->Remove(path) : 0; }

  private:
    long budget_;
};

std::string Name(int i) {
    return "pic" + std::to_string(i) + ".jpg";
}
std::string Sig(int i) {
    return std::string(180, 'S') + std::to_string(i % 13);
}

// Checks the table in `folder` after start-up: `must` present exactly once,
// `mustNot` absent, both orders and RecordCount agreeing.
void CheckSurvivor(const std::string& folder, const std::set<int>& must,
                   const std::set<int>& mustNot) {
    TSignaturesTableObjects sigs;
    TMatchTableObjects matches;
    OpenProgramTables(sigs.SignaturesTable, matches.MatchTable, folder);
    TStoreTable& t = sigs.SignaturesTable;
    std::map<std::string, int> seen;
    int walked = 0;
    for (t.First(); !t.AtEnd(); t.Next(), ++walked) ++seen[sigs.SignaturesTableFileName.AsString()];
    ASSERT_EQ(walked, t.RecordCount());
    t.SetIndexName("BySignature");
    int bySig = 0;
    for (t.First(); !t.AtEnd(); t.Next()) ++bySig;
    ASSERT_EQ(bySig, walked);
    t.SetIndexName("");
    for (int i : must) {
        ASSERT_EQ(seen[Name(i)], 1) << Name(i);
        t.BeginKey();
        sigs.SignaturesTableFileName.SetAsString(Name(i));
        sigs.SignaturesTableFilePath.SetAsString("/p/");
        ASSERT_TRUE(t.SeekKey()) << Name(i);
    }
    for (int i : mustNot) ASSERT_EQ(seen.count(Name(i)), 0u) << Name(i);
    for (const auto& [name, count] : seen) ASSERT_EQ(count, 1) << name;
}

void AddRecord(TSignaturesTableObjects& sigs, int i) {
    sigs.SignaturesTable.Append();
    sigs.SignaturesTableFileName.SetAsString(Name(i));
    sigs.SignaturesTableFilePath.SetAsString("/p/");
    sigs.SignaturesTableSignature.SetAsString(Sig(i));
    sigs.SignaturesTable.Post();
}

bool SeekRecord(TSignaturesTableObjects& sigs, int i) {
    sigs.SignaturesTable.BeginKey();
    sigs.SignaturesTableFileName.SetAsString(Name(i));
    sigs.SignaturesTableFilePath.SetAsString("/p/");
    return sigs.SignaturesTable.SeekKey();
}

TEST(FaultInjectionTest, EveryCrashPointKeepsReturnedPosts) {
    for (long budget = 1; budget < 400; budget += 3) {
        TempFolder folder;
        std::set<int> must, mustNot;
        {
            DyingEnv env(budget);
            TSignaturesTableObjects sigs(&env);
            TMatchTableObjects matches(&env);
            try {
                OpenProgramTables(sigs.SignaturesTable, matches.MatchTable, folder.Path());
                for (int i = 0; i < 60 && !env.Dead(); ++i) {
                    AddRecord(sigs, i);
                    if (!env.Dead()) must.insert(i);
                    if (i % 4 == 3 && SeekRecord(sigs, i - 2)) {
                        sigs.SignaturesTable.Delete();
                        if (!env.Dead()) {
                            must.erase(i - 2);
                            mustNot.insert(i - 2);
                        } else {
                            must.erase(i - 2);  // may or may not be gone
                        }
                    }
                    if (i == 30) sigs.SignaturesTable.SetIndexName("BySignature");
                }
            } catch (const EDatabaseError&) {
                // A failed create or a write refused after the "crash".
            }
        }
        if (!std::filesystem::exists(folder / "Signatures.DAT")) continue;
        CheckSurvivor(folder.Path(), must, mustNot);
        if (::testing::Test::HasFatalFailure()) {
            ADD_FAILURE() << "budget " << budget;
            return;
        }
    }
}

// The writer: reports "p i" before and "P i" after each post, "d i"/"D i"
// around deletes, "e"/"E" around an emptying, "r"/"R" around a repair.
[[noreturn]] void RunWriter(const std::string& folder, int fd, unsigned seed) {
    auto say = [fd](const std::string& line) {
        const std::string text = line + "\n";
        if (::write(fd, text.data(), text.size()) < 0) _exit(4);
    };
    try {
        std::mt19937 random(seed);
        TSignaturesTableObjects sigs;
        TMatchTableObjects matches;
        say("r");
        OpenProgramTables(sigs.SignaturesTable, matches.MatchTable, folder);
        say("R");
        std::vector<int> live;
        for (int n = 0;; ++n) {
            const int op = static_cast<int>(random() % 100);
            const int i = static_cast<int>(seed % 1000) * 100000 + n;
            if (op < 70 || live.empty()) {
                say("p " + std::to_string(i));
                AddRecord(sigs, i);
                say("P " + std::to_string(i));
                live.push_back(i);
            } else if (op < 97) {
                const size_t at = random() % live.size();
                const int victim = live[at];
                say("d " + std::to_string(victim));
                if (!SeekRecord(sigs, victim)) _exit(5);
                sigs.SignaturesTable.Delete();
                say("D " + std::to_string(victim));
                live.erase(live.begin() + static_cast<long>(at));
            } else if (op < 98) {
                say("e");
                sigs.SignaturesTable.EmptyTable();
                say("E");
                live.clear();
            } else {
                say("r");
                sigs.SignaturesTable.Close();
                sigs.SignaturesTable.RepairTable();
                sigs.SignaturesTable.Open();
                say("R");
            }
        }
    } catch (const std::exception& error) {
        say(std::string("X ") + error.what());
        _exit(3);
    }
}

TEST(KillTest, KilledWriterNeverLosesPostedRecords) {
    const char* rounds = std::getenv("CORVANE_KILL_ROUNDS");
    const int total = rounds ? std::atoi(rounds) : 12;
    TempFolder folder;
    std::set<int> must, mustNot;  // across rounds
    std::mt19937 random(1234);
    for (int round = 0; round < total; ++round) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            RunWriter(folder.Path(), fds[1], static_cast<unsigned>(round + 1));
        }
        ::close(fds[1]);
        std::string output;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::microseconds(2000 + random() % 150000);
        char buffer[4096];
        while (std::chrono::steady_clock::now() < deadline) {
            // Keep the pipe drained so the writer never waits on it.
            fd_set set;
            FD_ZERO(&set);
            FD_SET(fds[0], &set);
            timeval tv{0, 1000};
            if (::select(fds[0] + 1, &set, nullptr, nullptr, &tv) > 0) {
                const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
                if (n <= 0) break;
                output.append(buffer, static_cast<size_t>(n));
            }
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
            output.append(buffer, static_cast<size_t>(n));
        ::close(fds[0]);
        ASSERT_TRUE(WIFSIGNALED(status))
            << "writer ended early:\n"
            << output.substr(output.size() > 300 ? output.size() - 300 : 0);

        std::istringstream lines(output);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.size() < 1 || line.back() == '\r') continue;
            const char kind = line[0];
            const int i = line.size() > 2 ? std::atoi(line.c_str() + 2) : 0;
            switch (kind) {
                case 'p':
                    break;  // in flight: may be present or not
                case 'P':
                    must.insert(i);
                    break;
                case 'd':
                    must.erase(i);
                    break;
                case 'D':
                    mustNot.insert(i);
                    break;
                case 'e':
                    for (int m : must) mustNot.insert(m);  // unless the emptying stopped short
                    must.clear();
                    break;
                case 'E':
                    break;
                default:
                    break;
            }
        }
        // An interrupted emptying may leave records: only a finished one
        // promises they are gone.
        const bool emptyInFlight = output.rfind("\ne\n") != std::string::npos &&
                                   output.rfind("\ne\n") + 3 == output.size();
        std::set<int> absent = mustNot;
        if (emptyInFlight) absent.clear();
        CheckSurvivor(folder.Path(), must, absent);
        if (::testing::Test::HasFatalFailure()) {
            ADD_FAILURE() << "round " << round << "\n"
                          << output.substr(output.size() > 400 ? output.size() - 400 : 0);
            return;
        }
        // Records that stay are now known; settle the sets for the next round.
        if (emptyInFlight) mustNot.clear();
    }
}

}  // namespace
}  // namespace corvane::testing
