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

TEST(DescriptorTable, ThreadsThatGrowItLoseNoChangeToASharedRecord) {
    TDescriptorTable<long> Table;
    Table.Put(3, 0);
    constexpr int Rounds = 100000;
    std::atomic<int> Started{0};
    std::vector<std::thread> Threads;
    for (int T = 0; T < 4; ++T) {
        Threads.emplace_back([&Table, &Started, T] {
            // All at once, so that they meet in the shared record.
            for (++Started; Started < 4;) {
                std::this_thread::yield();
            }
            for (int I = 0; I < Rounds; ++I) {
                Table.Change(3, [](long& AState) { ++AState; });
                // Numbers far apart, so that the directory grows while others read it.
                const int Own = 64 * (1 + T + 4 * (I % 64));
                Table.Put(Own, I);
                long Got = -1;
                EXPECT_TRUE(Table.Get(Own, Got));
                EXPECT_EQ(Got, I);
                Table.Erase(Own);
            }
        });
    }
    for (auto& Thread : Threads) {
        Thread.join();
    }
    long Total = 0;
    EXPECT_TRUE(Table.Get(3, Total));
    EXPECT_EQ(Total, 4L * Rounds);
}
