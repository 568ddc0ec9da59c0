#pragma once
// The program's arguments, read by one table of options. Portable: the Windows entry
// converts its UTF-16 arguments to UTF-8 first.
//
//   veltrane [--method NAME] [-r|--recursive] [-n|--dry-run] [-q|--quiet] [--json] [--] PATH...
//   veltrane --free-space [--method NAME] [-q|--quiet] [--json] DRIVE
//   veltrane --recycle-bin [--method NAME] [-n|--dry-run] [-q|--quiet] [--json]
//
// Short options combine ("-rn"); a value follows its option as the next argument or after
// '=' ("--method=dod"); "--" ends the options, so a path may begin with '-'; a lone "-" is
// a path. "/?" is help, as Windows programs have it.

#include "Version.h"
#include <cstdint>
#include <string>
#include <vector>

namespace veltrane {

struct CliOptions {
    std::uint32_t method = 0;  // WipeMethod bit; set to the default by Parse
    std::string methodName;    // as the user knows it ("random")
    bool recursive = false;
    bool dryRun = false;
    bool quiet = false;
    bool json = false;
    bool help = false;
    bool version = false;
    // --ask on|off: whether the shell's menus ask before a wipe (for this user).
    enum class Ask { Unchanged, On, Off } ask = Ask::Unchanged;
    bool atNextSignIn = false;  // queue the paths for the next sign-in instead
    bool pending = false;       // list the queue (with `clear`: empty it)
    bool clear = false;
    bool freeSpace = false;          // overwrite the free space of the one volume named
    bool recycleBin = false;         // wipe everything in the user's Recycle Bin
    std::vector<std::string> paths;  // UTF-8, exactly as given
};

class CommandLine {
public:
    // The method used when none is named.
    static constexpr const char* kDefaultMethod = "random";

    // Reads the arguments after the program's name. False with `error` set (one line,
    // without the program's name) for a usage error: unknown option, missing or unknown
    // method, no path. --help, --version, --ask and --pending need no path.
    static bool Parse(const std::vector<std::string>& args, CliOptions& options,
                      std::string& error);

    // The WipeMethod bit of a method's name (lower case, as in the usage); 0 for none.
    static std::uint32_t MethodBits(const std::string& name);

    // The usage text printed by --help, lines ending in '\n'.
    static std::string HelpText();

    static const char* VersionText() { return VELTRANE_VERSION_TEXT; }
};

}  // namespace veltrane
