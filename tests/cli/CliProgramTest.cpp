// The program's logic on the in-memory file system: what it refuses before touching
// anything, the dry run that only looks, the lines and summary of a partly failed wipe,
// the JSON document, and cancellation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MiniJson.h"
#include "cli/CliProgram.h"
#include "cli/DryRun.h"
#include "job/WipeReport.h"
#include "support/MemoryFileSystem.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

using Op = MemoryFileSystem::Op;

class CapturedOutput : public CliOutput {
public:
    void Out(const std::string& text) override { out += text; }
    void Err(const std::string& text) override { err += text; }
    bool CanShowProgress() const override { return console; }
    void Progress(const std::string& line) override { progress.push_back(line); }

    std::string out;
    std::string err;
    bool console = false;
    std::vector<std::string> progress;
};

class CliProgramTest : public ::testing::Test {
protected:
    int Run(std::vector<std::string> args) {
        CliOptions options;
        std::string error;
        EXPECT_TRUE(CommandLine::Parse(args, options, error)) << error;
        CliProgram program(output, &fs);
        return program.Run(options);
    }

    // Calls that would change something.
    std::size_t ChangingCalls() const {
        std::size_t n = 0;
        for (Op op : {Op::Open, Op::Write, Op::Move, Op::Remove, Op::Recycle, Op::RemoveFolder}) {
            n += fs.CallCount(op);
        }
        return n;
    }

    MemoryFileSystem fs;
    CapturedOutput output;
};

TEST_F(CliProgramTest, FolderWithoutRecursiveIsRefusedAndUntouched) {
    fs.AddFile("C:\\d\\a.txt", "alpha");
    fs.AddFile("C:\\f.txt", "file");
    EXPECT_EQ(Run({"C:\\d", "C:\\f.txt"}), kExitNotAllWiped);
    EXPECT_TRUE(fs.Exists("C:\\d\\a.txt"));
    EXPECT_FALSE(fs.Exists("C:\\f.txt"));
    EXPECT_EQ(fs.CallCount(Op::FindFirst), 0u);
    EXPECT_NE(output.err.find("veltrane: C:\\d: it is a folder; use -r"), std::string::npos);
    EXPECT_EQ(output.out, "1 wiped, 1 not wiped\n");
}

TEST_F(CliProgramTest, LinkToFolderIsRemovedWithoutRecursive) {
    fs.AddFile("C:\\target\\keep.txt", "keep");
    fs.AddLinkToFolder("C:\\link", "C:\\target");
    EXPECT_EQ(Run({"C:\\link"}), kExitAllWiped);
    EXPECT_FALSE(fs.Exists("C:\\link"));
    EXPECT_TRUE(fs.Exists("C:\\target\\keep.txt"));
}

TEST_F(CliProgramTest, RootsAndDotsAreRefusedEvenRecursively) {
    fs.AddFile("C:\\d\\a.txt", "alpha");
    EXPECT_EQ(Run({"-r", "C:\\", "C:\\d\\..", "C:\\d\\."}), kExitNotAllWiped);
    EXPECT_TRUE(fs.Exists("C:\\d\\a.txt"));
    EXPECT_EQ(ChangingCalls(), 0u);
    EXPECT_NE(output.err.find(ProblemText(WipeProblem::VolumeRoot)), std::string::npos);
    EXPECT_NE(output.err.find("C:\\d\\.: '.' and '..' are never wiped"), std::string::npos);
    EXPECT_EQ(output.out, "0 wiped, 3 not wiped\n");
}

TEST_F(CliProgramTest, DryRunListsTheWalkAndChangesNothing) {
    fs.AddFile("C:\\d\\a.txt", "alpha");
    fs.AddFile("C:\\d\\sub\\b.txt", "bravo");
    fs.AddFile("C:\\elsewhere\\t.txt", "target");
    fs.AddLinkToFolder("C:\\d\\link", "C:\\elsewhere");
    fs.AddFile("C:\\d\\cloud.txt", "far", kAttrNormal | kAttrOffline);
    fs.AddFile("C:\\e\\ok.txt", "ok");
    EXPECT_EQ(Run({"-n", "-r", "C:\\d", "C:\\e"}), kExitNotAllWiped);
    EXPECT_EQ(ChangingCalls(), 0u);
    EXPECT_EQ(output.out,
              "wipe: C:\\d\\a.txt\n"
              "wipe: C:\\d\\sub\\b.txt\n"
              "remove folder: C:\\d\\sub\n"
              "remove link: C:\\d\\link\n"
              "leave: C:\\d\\cloud.txt: " +
                  std::string(ProblemText(WipeProblem::NotLocal)) +
                  "\n"
                  "leave: C:\\d: " +
                  ProblemText(WipeProblem::FolderNotRemoved) +
                  "\n"
                  "wipe: C:\\e\\ok.txt\n"
                  "remove folder: C:\\e\n"
                  "1 would be wiped, 1 would not be wiped (dry run: nothing was changed)\n");
}

TEST_F(CliProgramTest, DryRunLeavesOddEnumeratedNamesAsTheWalkDoes) {
    fs.AddFile("C:\\d\\odd.txt", "x");
    fs.ListAs("C:\\d\\odd.txt", "..\\odd.txt");
    std::vector<PlannedItem> plan;
    PlanPath(fs, "C:\\d", plan);
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].action, PlannedAction::Refuse);
    EXPECT_EQ(plan[0].problem, WipeProblem::NameLeavesFolder);
    EXPECT_EQ(plan[1].problem, WipeProblem::FolderNotRemoved);
    EXPECT_EQ(ChangingCalls(), 0u);
}

TEST_F(CliProgramTest, LockedFileGivesItsLineTheSummaryAndStatusOne) {
    fs.AddFile("C:\\a.txt", "alpha");
    fs.AddFile("C:\\locked.txt", "locked");
    fs.AddFile("C:\\z.txt", "zulu");
    fs.SetHeldOpen("C:\\locked.txt", true);
    EXPECT_EQ(Run({"C:\\a.txt", "C:\\locked.txt", "C:\\z.txt"}), kExitNotAllWiped);
    EXPECT_FALSE(fs.Exists("C:\\a.txt"));
    EXPECT_FALSE(fs.Exists("C:\\z.txt"));
    EXPECT_TRUE(fs.Exists("C:\\locked.txt"));
    EXPECT_EQ(output.err,
              "veltrane: C:\\locked.txt: " + std::string(ProblemText(WipeProblem::FileNotWiped)) +
                  " (error 32)\n");
    EXPECT_EQ(output.out, "2 wiped, 1 not wiped\n");
}

TEST_F(CliProgramTest, JsonListsEveryItemWithItsOutcome) {
    fs.AddFile("C:\\a \"q\".txt", "alpha");
    fs.AddFile("C:\\locked.txt", "locked");
    fs.SetHeldOpen("C:\\locked.txt", true);
    fs.AddFolder("C:\\d");
    EXPECT_EQ(Run({"--json", "--method", "dodquick", "C:\\a \"q\".txt", "C:\\locked.txt", "C:\\d"}),
              kExitNotAllWiped);
    test::JsonValue doc;
    ASSERT_TRUE(test::ParseJson(output.out, doc)) << output.out;
    EXPECT_EQ(doc["version"].text, "Veltrane v1.0 build 6");
    EXPECT_EQ(doc["method"].text, "dodquick");
    EXPECT_FALSE(doc["dryRun"].boolean);
    EXPECT_EQ(doc["wiped"].number, 1);
    EXPECT_EQ(doc["notWiped"].number, 2);
    const auto& items = doc["items"].items;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0]["path"].text, "C:\\a \"q\".txt");
    EXPECT_EQ(items[0]["outcome"].text, "wiped");
    EXPECT_EQ(items[0]["reason"].type, test::JsonValue::Type::Null);
    EXPECT_EQ(items[1]["outcome"].text, "not wiped");
    ASSERT_EQ(items[1]["failures"].items.size(), 1u);
    EXPECT_EQ(items[1]["failures"].items[0]["error"].number, 32);
    EXPECT_EQ(items[1]["failures"].items[0]["reason"].text, ProblemText(WipeProblem::FileNotWiped));
    EXPECT_EQ(items[2]["outcome"].text, "not wiped");
    EXPECT_NE(items[2]["reason"].text.find("use -r"), std::string::npos);
    // The summary goes to standard error, so standard output is the document alone.
    EXPECT_NE(output.err.find("1 wiped, 2 not wiped\n"), std::string::npos);
}

TEST_F(CliProgramTest, JsonNamesAPartlyWipedFileAndNotesANameThatStayed) {
    // report.txt: renamed, then pass 2 fails: a script must find it under its new name.
    // kept.txt: its rename is refused, it is wiped all the same: wiped, with a note.
    fs.AddFileOfSize("C:\\report.txt", 100);
    fs.AddFileOfSize("C:\\kept.txt", 100);
    fs.FailCall(Op::Flush, 2, kErrorWriteFault);
    fs.FailCall(Op::Move, 2, kErrorAccessDenied);
    EXPECT_EQ(Run({"--json", "--method", "dodquick", "C:\\report.txt", "C:\\kept.txt"}),
              kExitNotAllWiped);
    test::JsonValue doc;
    ASSERT_TRUE(test::ParseJson(output.out, doc)) << output.out;
    EXPECT_EQ(doc["wiped"].number, 1);
    const auto& items = doc["items"].items;
    ASSERT_EQ(items.size(), 2u);
    ASSERT_EQ(items[0]["failures"].items.size(), 1u);
    const auto& partly = items[0]["failures"].items[0];
    EXPECT_EQ(partly["passesDone"].number, 1);
    EXPECT_TRUE(fs.IsFile(partly["leftAs"].text)) << partly["leftAs"].text;
    EXPECT_TRUE(items[0]["notes"].items.empty());
    EXPECT_EQ(items[1]["outcome"].text, "wiped");
    EXPECT_TRUE(items[1]["failures"].items.empty());
    ASSERT_EQ(items[1]["notes"].items.size(), 1u);
    EXPECT_EQ(items[1]["notes"].items[0]["reason"].text,
              ProblemText(WipeProblem::WipedUnderOwnName));
    EXPECT_EQ(items[1]["notes"].items[0]["error"].number, kErrorAccessDenied);
    EXPECT_FALSE(fs.Exists("C:\\kept.txt"));
}

TEST_F(CliProgramTest, ControlCharactersOfNamesReachTheTerminalEscaped) {
    // A listing that fails part-way keeps its folder (exit 1); the refused entry's name
    // holds an ESC sequence and a C1 CSI, which would drive the terminal.
    fs.AddFile("C:\\d\\a.txt", "a");
    fs.AddFile("C:\\d\\b.txt", "b");
    fs.FailCall(Op::FindNext, 3, kErrorGenFailure);  // ".", "..", "a.txt", then the fault
    EXPECT_EQ(Run({"-r", "C:\\d", "C:\\e\x1b[2J\xc2\x9b.txt"}), kExitNotAllWiped);
    EXPECT_EQ(output.err.find('\x1b'), std::string::npos) << output.err;
    EXPECT_EQ(output.err.find("\xc2\x9b"), std::string::npos);
    EXPECT_NE(output.err.find("C:\\e\\x1b[2J\\u009b.txt"), std::string::npos) << output.err;
    EXPECT_NE(output.err.find("C:\\d: " + std::string(ProblemText(WipeProblem::FolderNotListed)) +
                              " (error 31)"),
              std::string::npos)
        << output.err;
    EXPECT_TRUE(fs.IsFile("C:\\d\\b.txt"));
}

TEST_F(CliProgramTest, ProgressOnlyOnAConsoleAndNotWhenQuiet) {
    fs.AddFile("C:\\a.txt", "alpha");
    fs.AddFile("C:\\b.txt", "bravo");
    output.console = true;
    EXPECT_EQ(Run({"-q", "C:\\a.txt"}), kExitAllWiped);
    EXPECT_TRUE(output.progress.empty());
    EXPECT_EQ(Run({"C:\\b.txt"}), kExitAllWiped);
    ASSERT_FALSE(output.progress.empty());
    EXPECT_EQ(output.progress.front().rfind("[1/1] ", 0), 0u);
    EXPECT_EQ(output.progress.back(), "");  // cleared before the summary
}

TEST_F(CliProgramTest, CancelledBeforeAnItemLeavesItAndEndsWith130) {
    fs.AddFile("C:\\a.txt", "alpha");
    CliOptions options;
    std::string error;
    ASSERT_TRUE(CommandLine::Parse({"C:\\a.txt"}, options, error));
    CliProgram program(output, &fs);
    program.Cancel();
    EXPECT_EQ(program.Run(options), kExitCancelled);
    EXPECT_TRUE(fs.Exists("C:\\a.txt"));
    EXPECT_EQ(ChangingCalls(), 0u);
    EXPECT_EQ(output.out, "0 wiped, 1 not wiped (cancelled; 1 not started, untouched)\n");

    // Ctrl+C while the folder check of the first argument looks at it: nothing is started.
    fs.AddFile("C:\\b.txt", "bravo");
    options = CliOptions();
    ASSERT_TRUE(CommandLine::Parse({"--json", "C:\\a.txt", "C:\\b.txt"}, options, error));
    CliProgram during(output, &fs);
    fs.SetObserver([&](const MemoryFileSystem::Call& call) {
        if (call.op == Op::Attributes) during.Cancel();
    });
    output.out.clear();
    EXPECT_EQ(during.Run(options), kExitCancelled);
    EXPECT_EQ(ChangingCalls(), 0u);
    test::JsonValue doc;
    ASSERT_TRUE(test::ParseJson(output.out, doc)) << output.out;
    EXPECT_EQ(doc["notStarted"].number, 2);
}

TEST_F(CliProgramTest, CancelDuringAWipeStopsItAndLeavesTheRest) {
    fs.AddFileOfSize("C:\\big.bin", 4 << 20);
    fs.AddFile("C:\\next.txt", "next");
    CliOptions options;
    std::string error;
    ASSERT_TRUE(
        CommandLine::Parse({"--method", "gutmann", "C:\\big.bin", "C:\\next.txt"}, options, error));
    CliProgram program(output, &fs);
    // The first write of the big file asks for the cancel, as Ctrl+C would.
    fs.SetObserver([&](const MemoryFileSystem::Call& call) {
        if (call.op == Op::Write) program.Cancel();
    });
    EXPECT_EQ(program.Run(options), kExitCancelled);
    EXPECT_TRUE(fs.Exists("C:\\next.txt"));
    EXPECT_EQ(fs.List("C:\\").size(), 2u);  // the big file stays, under its new name
    EXPECT_EQ(output.out, "0 wiped, 2 not wiped (cancelled; 1 not started, untouched)\n");
}

// --free-space on an in-memory volume: a full run reports in words and JSON, a refusal and
// a cancel have their exit statuses, and only one drive is taken.
TEST_F(CliProgramTest, FreeSpaceReportsTheRunAndEndsWithItsStatus) {
    fs.AddFile("D:\\kept.txt", "kept");
    fs.SetCapacity(3u << 20, 1000);
    EXPECT_EQ(Run({"--free-space", "--json", "--method", "dodquick", "D:\\"}), kExitAllWiped);
    test::JsonValue doc;
    ASSERT_TRUE(test::ParseJson(output.out, doc)) << output.out;
    const test::JsonValue& r = doc["freeSpace"];
    EXPECT_TRUE(r["wiped"].boolean);
    EXPECT_EQ(r["passesDone"].number, 3);
    EXPECT_EQ(r["bytesCovered"].number, r["freeBytesAtStart"].number);
    EXPECT_EQ(r["bytesWritten"].number,
              3 * r["bytesCovered"].number + 700 * r["recordFiles"].number);
    EXPECT_NE(output.err.find("The free space of D:\\ was overwritten: 3,072 KB, 3 passes"),
              std::string::npos)
        << output.err;
    EXPECT_EQ((std::vector<std::string>{"D:\\kept.txt"}), fs.AllPaths());

    output = CapturedOutput();
    fs.SetVolume({VolumeKind::Remote, false, "NTFS", 0, 0});
    EXPECT_EQ(Run({"--free-space", "D:\\"}), kExitNotAllWiped);
    EXPECT_EQ(output.err,
              "The free space of D:\\ was not wiped: it is a network drive, whose free space "
              "only its server can wipe.\n");

    output = CapturedOutput();
    fs.SetVolume({VolumeKind::Fixed, false, "NTFS", 0, 0});
    CliOptions options;
    std::string error;
    ASSERT_TRUE(CommandLine::Parse({"--free-space", "D:\\"}, options, error));
    CliProgram program(output, &fs);
    program.Cancel();
    const std::uint64_t writes = fs.CallCount(Op::Write);
    EXPECT_EQ(program.Run(options), kExitCancelled);
    EXPECT_EQ(writes, fs.CallCount(Op::Write));
    EXPECT_EQ((std::vector<std::string>{"D:\\kept.txt"}), fs.AllPaths());

    for (const std::vector<std::string>& args : {std::vector<std::string>{"--free-space"},
                                                 {"--free-space", "C:", "D:"},
                                                 {"--free-space", "-r", "D:"},
                                                 {"--free-space", "-n", "D:"}}) {
        EXPECT_FALSE(CommandLine::Parse(args, options, error)) << args.size();
    }
}

}  // namespace
}  // namespace veltrane
