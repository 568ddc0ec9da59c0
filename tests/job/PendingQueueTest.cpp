// The queue of files to wipe at the next sign-in: its text form, and the identity that
// keeps a name that has come to mean another file from being wiped.
#include <gtest/gtest.h>

#include "job/PendingQueue.h"
#include "support/MemoryFileSystem.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

TEST(PendingQueueTest, TheTextFormKeepsEveryFieldAndRefusesWhatIsNoQueue) {
    std::vector<PendingWipe> queue{
        {"C:\\Users\\me\\Mail box.pst", DoD, FileIdentity{0xA1B2C3D4u, 0x1234567890ABCDEFull}, 0},
        {"D:\\\xc3\xa4 \xe2\x82\xac.txt", Gutmann, FileIdentity{7, 8}, 1},
    };
    std::vector<PendingWipe> back;
    ASSERT_TRUE(ParsePending(FormatPending(queue), back));
    ASSERT_EQ(back.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(back[i].path, queue[i].path);
        EXPECT_EQ(back[i].method, queue[i].method);
        EXPECT_EQ(back[i].identity, queue[i].identity);
        EXPECT_EQ(back[i].tries, queue[i].tries);
    }
    EXPECT_TRUE(ParsePending("", back));
    EXPECT_TRUE(back.empty());
    EXPECT_FALSE(ParsePending("a1 b2 80 0\n", back)) << "no path";
    EXPECT_FALSE(ParsePending("not a queue at all\n", back));
    EXPECT_TRUE(back.empty());
}

TEST(PendingQueueTest, ANameThatMeansAnotherFileBySignInIsNeverWiped) {
    MemoryFileSystem fs;
    fs.AddFile("C:\\held.txt", "held");
    fs.AddFile("C:\\swapped.txt", "first");
    fs.SetHeldOpen("C:\\held.txt", true);  // what another program holds can still be named
    std::vector<PendingWipe> queue;
    WipeFailures refused;
    QueuePaths(fs, {"C:\\held.txt", "C:\\swapped.txt", "C:\\missing.txt"}, DoD, queue, refused);
    ASSERT_EQ(queue.size(), 2u);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].path, "C:\\missing.txt");
    QueuePaths(fs, {"C:\\held.txt"}, Gutmann, queue, refused);  // queued again: once, as now
    ASSERT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue[0].method, static_cast<std::uint32_t>(Gutmann));

    // By the sign-in the second name is another file.
    fs.SetHeldOpen("C:\\held.txt", false);
    ASSERT_TRUE(fs.Remove("C:\\swapped.txt"));
    fs.AddFile("C:\\swapped.txt", "someone else's");
    WipeFailures replaced;
    const std::vector<PendingWipe> same = StillTheSameFiles(fs, queue, replaced);
    ASSERT_EQ(same.size(), 1u);
    EXPECT_EQ(same[0].path, "C:\\held.txt");
    ASSERT_EQ(replaced.size(), 1u);
    EXPECT_EQ(replaced[0].path, "C:\\swapped.txt");
    EXPECT_EQ(replaced[0].problem, WipeProblem::ReplacedSinceQueued);
}

}  // namespace
}  // namespace veltrane
