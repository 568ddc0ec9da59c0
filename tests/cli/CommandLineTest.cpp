// The argument parser: every option in its long, short and combined forms, values, "--",
// and the usage errors that must stop the program before it touches anything.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

CliOptions ParseOk(const std::vector<std::string>& args) {
    CliOptions options;
    std::string error;
    EXPECT_TRUE(CommandLine::Parse(args, options, error)) << error;
    return options;
}

std::string ParseError(const std::vector<std::string>& args) {
    CliOptions options;
    std::string error;
    EXPECT_FALSE(CommandLine::Parse(args, options, error));
    return error;
}

TEST(CommandLineTest, DefaultsAreRandomAndNoFlags) {
    const CliOptions options = ParseOk({"a.txt"});
    EXPECT_EQ(options.method, Random);
    EXPECT_EQ(options.methodName, "random");
    EXPECT_FALSE(options.recursive || options.dryRun || options.quiet || options.json ||
                 options.help || options.version);
    EXPECT_EQ(options.paths, std::vector<std::string>{"a.txt"});
}

TEST(CommandLineTest, EveryMethodNameMapsToItsBit) {
    const struct {
        const char* name;
        std::uint32_t bits;
    } cases[] = {{"random", Random}, {"random2", Random2}, {"dodquick", DoDQuick},
                 {"dod", DoD},       {"nato", NATO},       {"gutmann", Gutmann}};
    for (const auto& c : cases) {
        EXPECT_EQ(ParseOk({"--method", c.name, "x"}).method, c.bits) << c.name;
        EXPECT_EQ(ParseOk({std::string("--method=") + c.name, "x"}).method, c.bits) << c.name;
        EXPECT_EQ(ParseOk({"-m", c.name, "x"}).method, c.bits) << c.name;
        EXPECT_EQ(ParseOk({std::string("-m") + c.name, "x"}).methodName, c.name);
    }
    // The engine's recycle and delete are no wipe methods, and names are exact.
    EXPECT_EQ(CommandLine::MethodBits("recycle"), 0u);
    EXPECT_EQ(CommandLine::MethodBits("delete"), 0u);
    EXPECT_EQ(CommandLine::MethodBits("Gutmann"), 0u);
}

TEST(CommandLineTest, FlagsLongShortAndCombined) {
    CliOptions options = ParseOk({"--recursive", "--dry-run", "--quiet", "--json", "p"});
    EXPECT_TRUE(options.recursive && options.dryRun && options.quiet && options.json);
    options = ParseOk({"-r", "-n", "-q", "p"});
    EXPECT_TRUE(options.recursive && options.dryRun && options.quiet);
    options = ParseOk({"-rnq", "p"});
    EXPECT_TRUE(options.recursive && options.dryRun && options.quiet);
    options = ParseOk({"-rmdod", "p"});
    EXPECT_TRUE(options.recursive);
    EXPECT_EQ(options.method, DoD);
}

TEST(CommandLineTest, PathsKeepOrderAndOptionsMayFollowThem) {
    const CliOptions options = ParseOk({"b", "-r", "a", "--method", "nato", "c"});
    EXPECT_EQ(options.paths, (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_TRUE(options.recursive);
    EXPECT_EQ(options.method, NATO);
}

TEST(CommandLineTest, DoubleDashEndsOptionsAndLoneDashIsAPath) {
    const CliOptions options = ParseOk({"--", "-r", "--json", "-"});
    EXPECT_EQ(options.paths, (std::vector<std::string>{"-r", "--json", "-"}));
    EXPECT_FALSE(options.recursive);
    EXPECT_FALSE(options.json);
    EXPECT_EQ(ParseOk({"-"}).paths, std::vector<std::string>{"-"});
}

TEST(CommandLineTest, UnicodeAndWindowsPathsPassUnchanged) {
    const std::string name = "C:\\d\xC4\x81ta\\\xF0\x9F\x98\x80 file. ";
    EXPECT_EQ(ParseOk({name}).paths, std::vector<std::string>{name});
    // A slash-led argument other than /? is a path (\\server\share, /tmp under Wine).
    EXPECT_EQ(ParseOk({"/r"}).paths, std::vector<std::string>{"/r"});
}

TEST(CommandLineTest, HelpAndVersionNeedNoPath) {
    EXPECT_TRUE(ParseOk({"--help"}).help);
    EXPECT_TRUE(ParseOk({"-h"}).help);
    EXPECT_TRUE(ParseOk({"/?"}).help);
    EXPECT_TRUE(ParseOk({"--version"}).version);
    EXPECT_STREQ(CommandLine::VersionText(), "Veltrane v1.0 build 6");
    EXPECT_EQ(ParseOk({"--ask", "off"}).ask, CliOptions::Ask::Off);
    EXPECT_EQ(ParseOk({"--ask=on"}).ask, CliOptions::Ask::On);
    EXPECT_EQ(ParseOk({"x"}).ask, CliOptions::Ask::Unchanged);
    EXPECT_EQ(ParseError({"--ask", "maybe"}), "--ask takes 'on' or 'off', not 'maybe'");
    EXPECT_TRUE(ParseOk({"--pending"}).pending);
    EXPECT_TRUE(ParseOk({"--pending", "--clear"}).clear);
    EXPECT_EQ(ParseError({"--clear"}), "--clear goes with --pending");
    EXPECT_TRUE(ParseOk({"--at-next-sign-in", "x"}).atNextSignIn);
    EXPECT_EQ(ParseError({"--at-next-sign-in"}), "no file or folder named");
}

TEST(CommandLineTest, UsageErrors) {
    EXPECT_EQ(ParseError({}), "no file or folder named");
    EXPECT_EQ(ParseError({"-r"}), "no file or folder named");
    EXPECT_EQ(ParseError({""}), "an empty path names no file");
    EXPECT_EQ(ParseError({"--bogus", "x"}), "unknown option '--bogus'");
    EXPECT_EQ(ParseError({"-rx", "p"}), "unknown option '-x'");
    EXPECT_EQ(ParseError({"--method"}), "option '--method' needs a value");
    EXPECT_EQ(ParseError({"x", "-m"}), "option '-m' needs a value");
    EXPECT_EQ(ParseError({"--json=1", "x"}), "option '--json' takes no value");
    const std::string unknown = ParseError({"--method", "zero", "x"});
    EXPECT_NE(unknown.find("unknown method 'zero'"), std::string::npos);
    EXPECT_NE(unknown.find("gutmann"), std::string::npos);
}

TEST(CommandLineTest, HelpNamesEveryOptionAndMethod) {
    const std::string help = CommandLine::HelpText();
    for (const char* word : {"--method", "--recursive", "--dry-run", "--quiet", "--json", "--help",
                             "--version", "random2", "dodquick", "nato", "gutmann"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
}

#ifdef VELTRANE_README
// The README shows `veltrane --help`: it must be what the program prints.
TEST(CommandLineTest, ReadmeShowsTheHelpAsPrinted) {
    std::ifstream file(VELTRANE_README);
    ASSERT_TRUE(file) << VELTRANE_README;
    std::stringstream readme;
    readme << file.rdbuf();
    EXPECT_NE(readme.str().find("```\n" + CommandLine::HelpText() + "```\n"), std::string::npos)
        << "README.md's help text differs from:\n"
        << CommandLine::HelpText();
}
#endif

}  // namespace
}  // namespace veltrane
