// The walk on a real folder tree through the POSIX backend, with real symbolic links.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "job/JobLock.h"
#include "job/WipePath.h"
#include "wipe/Paths.h"
#include "wipe/PosixFileSystem.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

namespace fsys = std::filesystem;

class PosixWalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeJobLock();
        char pattern[] = "/tmp/veltrane-walk-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        job.fileSystem = &fs;
        job.method = Random;
        job.debugSink = [this](const std::string& line) { debugLines.push_back(line); };
    }
    void TearDown() override { fsys::remove_all(root); }

    void Write(const fsys::path& path, const std::string& text) {
        fsys::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string Read(const fsys::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fsys::path root;
    PosixFileSystem fs;
    WipeJob job;
    std::vector<std::string> debugLines;
};

TEST_F(PosixWalkTest, WipesARealTreeRemovingLinksNotTheirTargetsAndKeepingWhatCannotGo) {
    const fsys::path outside = root / "outside";
    Write(outside / "folder" / "keep.txt", "folder target");
    Write(outside / "file.txt", "file target");
    const fsys::path sel = root / "sel";
    Write(sel / "a.txt", "alpha");
    Write(sel / "sub" / "..b", "two dots");
    Write(sel / "sub" / "deeper" / "c.txt", std::string(300000, 'c'));
    fsys::create_directory_symlink(outside / "folder", sel / "sub" / "linked-folder");
    fsys::create_symlink(outside / "file.txt", sel / "sub" / "linked-file.txt");

    job.path = sel.string() + "/";
    EXPECT_EQ(WipePath(job), kWalkFinished);

    EXPECT_FALSE(fsys::exists(fsys::symlink_status(sel)));
    EXPECT_EQ(Read(outside / "folder" / "keep.txt"), "folder target");
    EXPECT_EQ(Read(outside / "file.txt"), "file target");
    EXPECT_TRUE(debugLines.empty());

    // A file that cannot be opened keeps its folders; the walk goes on.
    Write(sel / "a" / "locked.txt", "locked");
    Write(sel / "b" / "free.txt", "free");
    // No write permission: the backend refuses to open it for writing, also for root.
    fsys::permissions(sel / "a" / "locked.txt", fsys::perms::owner_read);

    job.path = sel.string();
    EXPECT_EQ(WipePath(job), kWalkFinished);

    EXPECT_EQ(Read(sel / "a" / "locked.txt"), "locked");
    EXPECT_FALSE(fsys::exists(sel / "b"));
    ASSERT_EQ(debugLines.size(), 2u);
    // The walk joins names with the backslash, which the backend reads as a separator.
    EXPECT_EQ(debugLines[0], "Error 145 deleting " + JoinPath(sel.string(), "a"));
    EXPECT_EQ(debugLines[1], "Error 145 deleting " + sel.string());
}

TEST_F(PosixWalkTest, ANameHoldingABackslashNeverReachesTheParentFolder) {
    // Joined and made native, "..\\victim.txt" would name the parent's victim.txt.
    Write(root / "victim.txt", "outside the selection");
    const fsys::path sel = root / "sel";
    Write(sel / "..\\victim.txt", "odd name");
    Write(sel / "plain.txt", "plain");

    job.path = sel.string();
    EXPECT_EQ(WipePath(job), kWalkFinished);

    EXPECT_EQ(Read(root / "victim.txt"), "outside the selection");
    EXPECT_EQ(Read(sel / "..\\victim.txt"), "odd name");
    EXPECT_FALSE(fsys::exists(sel / "plain.txt"));
    ASSERT_EQ(job.failures.size(), 2u);
    EXPECT_EQ(job.failures[0].problem, WipeProblem::NameLeavesFolder);
    EXPECT_EQ(job.failures[1].problem, WipeProblem::FolderNotRemoved);

    // The root of the file system is never walked.
    job.failures.clear();
    job.path = "/";
    EXPECT_EQ(WipePath(job), kWalkFinished);
    ASSERT_EQ(job.failures.size(), 1u);
    EXPECT_EQ(job.failures[0].problem, WipeProblem::VolumeRoot);
}

}  // namespace
}  // namespace veltrane
