// The fast conform against the reference, on random edits of small passes: both must leave the
// same events in the target (all 16 bytes of each, in order) and return the same status.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "conform/ConformFixture.h"

namespace {

using namespace conformtest;

const CString kEdl = "c:\\edits\\random.edl";

// Seeds that once told the two apart, run beside the random ones (even seeds on the small
// console, odd ones on the large).
const std::vector<unsigned> kKeptSeeds = {};

class ConformDifferentialTest : public ConformFixture {
protected:
    // A pass of a few hundred events on a few channels, mostly in time order: some at the same
    // time, some before 0, controls and processes the state keeps no value for, and now and
    // then an event out of order.
    std::vector<CAutomationEvent> randomPass(std::mt19937& random, bool small)
    {
        auto pick = [&random](int lo, int hi) { return lo + static_cast<int>(random() % static_cast<unsigned>(hi - lo + 1)); };
        std::vector<CAutomationEvent> events;
        int time = pick(-6, 2);
        const int count = pick(0, 300);
        for (int i = 0; i < count; ++i) {
            time += pick(0, 9) < 3 ? 0 : pick(1, 6);
            const int process = small ? pick(0, 5) : (pick(0, 9) == 0 ? pick(36, 60) : pick(0, 36));
            events.push_back(Ev(time, pick(0, 6), process, pick(0, 9), pick(-50, 50)));
        }
        if (!events.empty() && pick(0, 7) == 0) {
            for (int k = pick(1, 4); k > 0; --k) std::swap(events[pick(0, count - 1)], events[pick(0, count - 1)]);
        }
        return events;
    }

    // A few passes per console, written once: the reels of every case pick among them.
    static constexpr int kPool = 6;
    static CString poolFile(bool small, int k)
    {
        char name[40];
        std::snprintf(name, sizeof name, "c:\\mixes\\pool%c%d", small ? 's' : 'l', k);
        return name;
    }
    void writePool(bool small)
    {
        static bool written[2] = {};
        if (written[small]) return;
        std::mt19937 random(small ? 11 : 13);
        for (int k = 0; k < kPool; ++k) WritePass(poolFile(small, k) + ".aut", randomPass(random, small));
        written[small] = true;
    }

    // Writes the edit list of one case and fills the target; returns whether positions are
    // taken as they are.
    BOOL makeCase(unsigned seed, bool small, CAutomationPackage& target)
    {
        writePool(small);
        std::mt19937 random(seed);
        auto pick = [&random](int lo, int hi) { return lo + static_cast<int>(random() % static_cast<unsigned>(hi - lo + 1)); };
        // Reels A to C: a pass, no file, or a file that is missing; or no reel file at all, and
        // the target's own file (now and then missing) is the source.
        std::vector<StoredReel> reels;
        const int reelCount = pick(1, 3);
        const bool ownFile = pick(0, 4) == 0;
        for (int r = 0; r < reelCount; ++r) {
            const int kind = ownFile ? 1 : pick(0, 11);
            const CString file = kind == 2 ? CString("c:\\mixes\\missing") : poolFile(small, pick(0, kPool - 1));
            reels.push_back({std::string(1, static_cast<char>('A' + r)), kind == 1 ? "" : static_cast<const char*>(file)});
        }
        target.SetPathName(pick(0, 5) == 0 ? CString("c:\\mixes\\missing.aut") : poolFile(small, pick(0, kPool - 1)) + ".aut");
        // Pairs: overlapping, equal starts, out of order, of no or negative length, past the
        // end of the passes, on reels outside the table.
        std::vector<StoredPair> pairs;
        const int pairCount = pick(0, 10);
        for (int i = 0; i < pairCount; ++i) {
            StoredPair p{pick(-2, 120), pick(-2, 160), pick(0, 5) == 0 ? pick(-2, 0) : pick(1, 40), pick(-1, reelCount)};
            if (!pairs.empty() && pick(0, 3) == 0) p.source = pairs[pick(0, static_cast<int>(pairs.size()) - 1)].source;
            if (!pairs.empty() && pick(0, 3) == 0) p.destination = pairs[pick(0, static_cast<int>(pairs.size()) - 1)].destination;
            pairs.push_back(p);
        }
        WriteEditList(kEdl, reels, pairs);
        Fill(target, randomPass(random, small));
        return pick(0, 1) ? TRUE : FALSE;
    }

    // The status both gave.
    enConformStatus expectSameResult(unsigned seed, bool small)
    {
        useConsoleType(small ? 1 : 3);
        CAutomationPackage target;
        const BOOL framesInFile = makeCase(seed, small, target);
        std::string bytes[2];
        enConformStatus status[2] = {};
        for (int method : {CConformEngine::Reference, CConformEngine::Fast}) {
            CAutomationPackage copy;
            copy.SetPathName(target.m_strPathName);
            copy.Copy(&target);
            CConformEngine engine;
            engine.SetMethod(static_cast<CConformEngine::Method>(method));
            status[method] = engine.Run(&copy, kEdl, framesInFile);
            bytes[method] = Bytes(copy);
        }
        const bool same = status[0] == status[1] && bytes[0] == bytes[1];
        EXPECT_TRUE(same) << "seed " << seed << " (keep it in kKeptSeeds): statuses " << status[0] << " and " << status[1]
                          << ", events " << bytes[0].size() / 16 << " and " << bytes[1].size() / 16;
        return status[0];
    }

    // 100 cases on a console.
    void expectSameResults(bool small)
    {
        for (unsigned seed : kKeptSeeds) {
            if ((seed % 2 == 0) == small) expectSameResult(seed, small);
        }
        std::map<int, int> statuses;
        for (unsigned seed = small ? 2 : 1; seed <= 200; seed += 2) ++statuses[expectSameResult(seed, small)];
        // Most cases conform; some have a source that cannot be loaded.
        EXPECT_GT(statuses[enConformDone], 60);
        EXPECT_GT(statuses[enConformNoSource], 3);
    }
};

TEST_F(ConformDifferentialTest, SmallConsoleFastConformGivesTheReferencesEvents) { expectSameResults(true); }

TEST_F(ConformDifferentialTest, LargeConsoleFastConformGivesTheReferencesEvents) { expectSameResults(false); }

}  // namespace
