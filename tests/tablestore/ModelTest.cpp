// Random inserts, edits and deletes checked against a plain model, with a
// page cache small enough to force write-back, and reopen in between.
#include <map>
#include <random>

#include "TableFixture.h"

namespace corvane::testing {
namespace {

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return text;
}

// Keys folded to upper case: the earlier tables' primary index.
class ModelTest : public LegacyTablesFixture {
  protected:
    struct Row {
        std::string name, sig;
        int order;  // insertion order, for equal signatures
    };
    // Primary key (upper-cased name + path "/") -> row.
    std::map<std::string, Row> model;
    int added = 0;

    std::string RandomName(std::mt19937& random) {
        std::string name = "n" + std::to_string(random() % 3000);
        if (random() % 2) name = Upper(name);
        return name + std::string(random() % 40, 'x');
    }

    void CheckAgainstModel() {
        Sig().SetIndexName("");
        std::vector<std::string> expected, actual;
        for (const auto& [key, row] : model) expected.push_back(key);
        for (Sig().First(); !Sig().AtEnd(); Sig().Next())
            actual.push_back(Upper(sigs->SignaturesTableFileName.AsString()));
        ASSERT_EQ(actual, expected);
        ASSERT_EQ(Sig().RecordCount(), static_cast<int>(model.size()));
        // Backwards too.
        Sig().First();
        while (!Sig().AtEnd()) Sig().Next();
        std::vector<std::string> backwards;
        for (; !Sig().AtStart(); Sig().Prior())
            backwards.insert(backwards.begin(), Upper(sigs->SignaturesTableFileName.AsString()));
        if (!model.empty()) {
            ASSERT_EQ(backwards, expected);
        }
        std::vector<std::pair<std::string, int>> bySig;
        for (const auto& [key, row] : model) bySig.emplace_back(row.sig, row.order);
        std::sort(bySig.begin(), bySig.end());
        Sig().SetIndexName("BySignature");
        size_t i = 0;
        for (Sig().First(); !Sig().AtEnd(); Sig().Next(), ++i) {
            ASSERT_LT(i, bySig.size());
            ASSERT_EQ(sigs->SignaturesTableSignature.AsString(), bySig[i].first);
        }
        ASSERT_EQ(i, bySig.size());
        Sig().SetIndexName("");
    }
};

TEST_F(ModelTest, RandomChangesKeepEveryOrderRight) {
    Sig().SetCacheLimit(64 * 4096);
    std::mt19937 random(42);
    for (int step = 0; step < 6000; ++step) {
        const int op = static_cast<int>(random() % 10);
        const std::string name = RandomName(random);
        const std::string key = Upper(name);
        const std::string sig = std::string(150, 'S') + std::to_string(random() % 50);
        if (op < 6) {
            if (model.count(key)) {
                EXPECT_EQ(ErrorOf([&] { AddSignature(name, "/", sig); }).substr(0, 25),
                          "Store Engine Error # 9729");
                Sig().Cancel();
            } else {
                AddSignature(name, "/", sig);
                model[key] = Row{name, sig, added++};
            }
        } else if (op < 8) {
            const bool found = SeekSignature(name, "/");
            ASSERT_EQ(found, model.count(key) > 0) << name;
            if (found) {
                Sig().Delete();
                model.erase(key);
            }
        } else if (op < 9) {
            if (SeekSignature(name, "/")) {
                Sig().Edit();
                sigs->SignaturesTableSignature.SetAsString(sig);
                Sig().Post();
                model[key].sig = sig;  // identity (order) kept
            }
        } else if (step % 500 == 9) {
            Restart();
            Sig().SetCacheLimit(64 * 4096);
        }
        if (step % 1000 == 999) CheckAgainstModel();
    }
    CheckAgainstModel();
    Restart();
    CheckAgainstModel();
}

TEST_F(ModelTest, RepairRebuildsTheSameOrders) {
    std::mt19937 random(5);
    for (int i = 0; i < 2500; ++i) {
        const std::string name = RandomName(random);
        if (model.count(Upper(name))) continue;
        const std::string sig = std::to_string(random() % 100);
        AddSignature(name, "/", sig);
        model[Upper(name)] = Row{name, sig, added++};
    }
    for (int i = 0; i < 500; ++i) {
        Sig().First();
        auto it = model.begin();
        std::advance(it, static_cast<long>(random() % model.size()));
        ASSERT_TRUE(SeekSignature(it->second.name, "/"));
        Sig().Delete();
        model.erase(it);
    }
    matches.reset();
    sigs.reset();
    sigs = std::make_unique<TSignaturesTableObjects>();
    sigs->SignaturesTable.SetDatabaseName(folder.Path());
    sigs->SignaturesTable.RepairTable();
    sigs->SignaturesTable.Open();
    CheckAgainstModel();
}

}  // namespace
}  // namespace corvane::testing
