// The per-descriptor records of the POSIX socket adapters: any descriptor number, a number
// reused after close, and several threads at once.
#include "net/posix/DescriptorTable.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using IdPosix::TDescriptorTable;

TEST(DescriptorTable, KeepsARecordForAnyNumberUntilItIsErased) {
    TDescriptorTable<int> Table;
    for (const int Descriptor : {0, 63, 64, 1023, 1024, 70000}) {
        int Got = -1;
        EXPECT_FALSE(Table.Get(Descriptor, Got)) << Descriptor;
        Table.Put(Descriptor, Descriptor + 1);
        EXPECT_TRUE(Table.Get(Descriptor, Got)) << Descriptor;
        EXPECT_EQ(Got, Descriptor + 1);
    }
    EXPECT_FALSE(Table.Add(64, 7)) << "a number with a record keeps it";
    EXPECT_TRUE(Table.Erase(64));
    EXPECT_FALSE(Table.Contains(64));
    EXPECT_FALSE(Table.Change(64, [](int& AState) { AState = 9; }));
    EXPECT_TRUE(Table.Add(64, 7)) << "the number once closed names a new socket";
    int Got = 0;
    EXPECT_TRUE(Table.Get(64, Got));
    EXPECT_EQ(Got, 7);
    EXPECT_FALSE(Table.Contains(-1));
    EXPECT_FALSE(Table.Add(-1, 1));
}

TEST(DescriptorTable, ThreadsThatGrowItLoseNoChangeAndReadNoHalfWrittenRecord) {
    struct TPair {
        long First = 0, Second = 0; // every write keeps them equal
    };
    TDescriptorTable<TPair> Table;
    Table.Put(3, {});
    constexpr int Rounds = 100000;
    std::atomic<int> Started{0};
    std::atomic<int> Writing{2};
    std::vector<std::thread> Threads;
    for (int T = 0; T < 4; ++T) {
        Threads.emplace_back([&, T] {
            // All at once, so that they meet in the shared record.
            for (++Started; Started < 4;) {
                std::this_thread::yield();
            }
            TPair Seen;
            while (T % 2 == 1 && Writing > 0) {
                EXPECT_TRUE(Table.Get(3, Seen));
                ASSERT_EQ(Seen.First, Seen.Second);
            }
            for (int I = 0; T % 2 == 0 && I < Rounds; ++I) {
                Table.Change(3, [](TPair& AState) {
                    ++AState.First;
                    ++AState.Second;
                });
                // Numbers far apart, so that the directory grows while others read it.
                const int Own = 64 * (1 + T + 4 * (I % 64));
                Table.Put(Own, {I, I});
                EXPECT_TRUE(Table.Get(Own, Seen));
                EXPECT_EQ(Seen.First, I);
                Table.Erase(Own);
            }
            Writing -= T % 2 == 0 ? 1 : 0;
        });
    }
    for (auto& Thread : Threads) {
        Thread.join();
    }
    TPair Total;
    EXPECT_TRUE(Table.Get(3, Total));
    EXPECT_EQ(Total.First, 2L * Rounds);
    EXPECT_EQ(Total.Second, 2L * Rounds);
}
