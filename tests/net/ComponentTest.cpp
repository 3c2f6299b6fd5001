// The process-wide stack lives exactly as long as the network components.
#include "net/IdComponent.h"
#include "net/IdException.h"
#include "net/IdStackWindows.h"
#include "net/IdWinSock2.h"

#include <gtest/gtest.h>

namespace {
TEST(SharedStackLifetime, MadeWithTheFirstComponentFreedWithTheLast) {
    ASSERT_EQ(StackUserCount, 0);
    auto First = std::make_unique<TIdComponent>();
    TIdStack* Made = SharedStack.get();
    ASSERT_NE(Made, nullptr);
    EXPECT_TRUE(IdWinSock2::SocketsStarted());
    auto Second = std::make_unique<TIdComponent>();
    EXPECT_EQ(StackUserCount, 2);
    EXPECT_EQ(SharedStack.get(), Made);
    First.reset();
    EXPECT_EQ(SharedStack.get(), Made);
    Second.reset();
    EXPECT_EQ(SharedStack, nullptr);
    EXPECT_EQ(StackUserCount, 0);
    TIdComponent Third; // a new stack on the platform as started before
    EXPECT_NE(SharedStack, nullptr);
    EXPECT_TRUE(IdWinSock2::IsLoaded());
}

TEST(SharedStackLifetime, FailedMakeLeavesNoStackAndTheNextConstructionRetries) {
    const TIdStackClass Saved = RegisteredStackClass;
    RegisteredStackClass = []() -> std::unique_ptr<TIdStack> {
        throw EIdStackInitializationFailed();
    };
    try {
        TIdComponent C;
        FAIL() << "constructed";
    } catch (const EIdStackInitializationFailed& E) {
        EXPECT_EQ(E.Message(), "Winsock Initialization Error.");
    }
    EXPECT_EQ(StackUserCount, 0);
    EXPECT_EQ(SharedStack, nullptr);
    RegisteredStackClass = Saved;
    TIdComponent C;
    EXPECT_EQ(StackUserCount, 1);
    EXPECT_NE(SharedStack, nullptr);
}
} // namespace
