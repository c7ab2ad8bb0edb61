#include <gtest/gtest.h>

#include <thread>

#include "clRestore/support/CurrentThreadId.h"
#include "platform/threads/WzThread.h"

namespace {

struct Seen {
    unsigned int id = 0;
};

void* recordId(void* arg) {
    static_cast<Seen*>(arg)->id = GetCurrentThreadId();
    return nullptr;
}

TEST(ThreadId, MatchesTheLowBitsOfTheThreadObjectsId) {
    Seen seen;
    WzThread thread;
    ASSERT_EQ(thread.createThread(recordId, &seen), 0);
    ASSERT_EQ(thread.joinThread(nullptr), 0);
    EXPECT_EQ(seen.id, static_cast<unsigned int>(thread.getThreadID()));
    EXPECT_NE(seen.id, 0u);
    EXPECT_NE(seen.id, GetCurrentThreadId());
}

}  // namespace
