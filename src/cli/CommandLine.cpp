#include "cli/CommandLine.h"

#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

// The command line offers the methods whose rows name them, in the table's order (the
// menu's).
template <class Visit>
void ForEachOffered(Visit&& visit) {
    for (const WipeMethodInfo& row : wipeMethods) {
        if (row.cliName) visit(row);
    }
}

enum class Action {
    Method,
    Recursive,
    DryRun,
    Quiet,
    Json,
    Help,
    Version,
    Ask,
    Later,
    Pending,
    Clear,
    FreeSpace,
    RecycleBin
};

struct OptionRow {
    char shortName;        // 0: none
    const char* longName;  // without "--"
    bool takesValue;
    Action action;
};

constexpr OptionRow kOptions[] = {
    {'m', "method", true, Action::Method},
    {'r', "recursive", false, Action::Recursive},
    {'n', "dry-run", false, Action::DryRun},
    {'q', "quiet", false, Action::Quiet},
    {0, "json", false, Action::Json},
    {'h', "help", false, Action::Help},
    {0, "version", false, Action::Version},
    {0, "ask", true, Action::Ask},
    {0, "at-next-sign-in", false, Action::Later},
    {0, "pending", false, Action::Pending},
    {0, "clear", false, Action::Clear},
    {0, "free-space", false, Action::FreeSpace},
    {0, "recycle-bin", false, Action::RecycleBin},
};

const OptionRow* FindLong(const std::string& name) {
    for (const OptionRow& row : kOptions) {
        if (name == row.longName) return &row;
    }
    return nullptr;
}

const OptionRow* FindShort(char c) {
    for (const OptionRow& row : kOptions) {
        if (row.shortName != 0 && row.shortName == c) return &row;
    }
    return nullptr;
}

std::string MethodList() {
    std::string list;
    ForEachOffered([&list](const WipeMethodInfo& row) {
        if (!list.empty()) list += ", ";
        list += row.cliName;
    });
    return list;
}

bool Apply(const OptionRow& row, const std::string& value, CliOptions& options,
           std::string& error) {
    switch (row.action) {
        case Action::Method: {
            const std::uint32_t bits = CommandLine::MethodBits(value);
            if (bits == 0) {
                error = "unknown method '" + value + "' (one of: " + MethodList() + ")";
                return false;
            }
            options.method = bits;
            options.methodName = value;
            return true;
        }
        case Action::Recursive:
            options.recursive = true;
            return true;
        case Action::DryRun:
            options.dryRun = true;
            return true;
        case Action::Quiet:
            options.quiet = true;
            return true;
        case Action::Json:
            options.json = true;
            return true;
        case Action::Help:
            options.help = true;
            return true;
        case Action::Version:
            options.version = true;
            return true;
        case Action::Later:
            options.atNextSignIn = true;
            return true;
        case Action::Pending:
            options.pending = true;
            return true;
        case Action::Clear:
            options.clear = true;
            return true;
        case Action::FreeSpace:
            options.freeSpace = true;
            return true;
        case Action::RecycleBin:
            options.recycleBin = true;
            return true;
        case Action::Ask:
            if (value != "on" && value != "off") {
                error = "--ask takes 'on' or 'off', not '" + value + "'";
                return false;
            }
            options.ask = value == "on" ? CliOptions::Ask::On : CliOptions::Ask::Off;
            return true;
    }
    return false;
}

}  // namespace

std::uint32_t CommandLine::MethodBits(const std::string& name) {
    std::uint32_t bits = 0;
    ForEachOffered([&](const WipeMethodInfo& row) {
        if (name == row.cliName) bits = row.methodBits;
    });
    return bits;
}

bool CommandLine::Parse(const std::vector<std::string>& args, CliOptions& options,
                        std::string& error) {
    options = CliOptions();
    options.methodName = kDefaultMethod;
    options.method = MethodBits(kDefaultMethod);
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || (arg[0] != '-' && arg != "/?")) {
            // Resolved against the current folder, an empty name would be that folder.
            if (arg.empty()) {
                error = "an empty path names no file";
                return false;
            }
            options.paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "/?") {
            options.help = true;
            continue;
        }
        if (arg[1] == '-') {
            const std::size_t equals = arg.find('=');
            const std::string name =
                arg.substr(2, equals == std::string::npos ? equals : equals - 2);
            const OptionRow* row = FindLong(name);
            if (row == nullptr) {
                error = "unknown option '" + arg + "'";
                return false;
            }
            std::string value;
            if (row->takesValue) {
                if (equals != std::string::npos) {
                    value = arg.substr(equals + 1);
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    error = "option '--" + name + "' needs a value";
                    return false;
                }
            } else if (equals != std::string::npos) {
                error = "option '--" + name + "' takes no value";
                return false;
            }
            if (!Apply(*row, value, options, error)) return false;
            continue;
        }
        // One or more short options; a value-taking one takes the rest or the next argument.
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const OptionRow* row = FindShort(arg[k]);
            if (row == nullptr) {
                error = std::string("unknown option '-") + arg[k] + "'";
                return false;
            }
            std::string value;
            if (row->takesValue) {
                if (k + 1 < arg.size()) {
                    value = arg.substr(k + 1);
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    error = std::string("option '-") + arg[k] + "' needs a value";
                    return false;
                }
                if (!Apply(*row, value, options, error)) return false;
                break;
            }
            if (!Apply(*row, value, options, error)) return false;
        }
    }
    if (options.clear && !options.pending) {
        error = "--clear goes with --pending";
        return false;
    }
    if (options.freeSpace && !options.help && !options.version) {
        if (options.recursive || options.dryRun || options.atNextSignIn || options.pending) {
            error = "--free-space goes with --method, --quiet and --json only";
            return false;
        }
        if (options.paths.size() != 1) {
            error = "--free-space takes one drive (such as D:)";
            return false;
        }
    }
    if (options.recycleBin && !options.help && !options.version) {
        if (options.freeSpace || options.atNextSignIn || options.pending ||
            !options.paths.empty()) {
            error = "--recycle-bin takes no path and goes with --method, -n, -q and --json only";
            return false;
        }
        return true;
    }
    if (!options.help && !options.version && options.ask == CliOptions::Ask::Unchanged &&
        !options.pending && options.paths.empty()) {
        error = "no file or folder named";
        return false;
    }
    return true;
}

std::string CommandLine::HelpText() {
    std::string text =
        "Usage: veltrane [OPTION]... [--] PATH...\n"
        "   or: veltrane --free-space [--method NAME] [-q] [--json] DRIVE\n"
        "   or: veltrane --recycle-bin [--method NAME] [-n] [-q] [--json]\n"
        "Wipes files: each is renamed, overwritten and deleted, so it cannot be recovered.\n"
        "Folders are wiped with everything in them only with -r. Links are removed as\n"
        "links; what they point to is not touched. A drive or share root is never wiped.\n"
        "\n"
        "  -m, --method NAME  how files are overwritten:\n";
    ForEachOffered([&text](const WipeMethodInfo& row) {
        std::string name = row.cliName;
        name.resize(10, ' ');
        text += "                       " + name + " " + row.cliDescription + "\n";
    });
    text +=
        "  -r, --recursive    wipe folders and everything in them\n"
        "  -n, --dry-run      list what would be wiped; change nothing\n"
        "  -q, --quiet        no progress display\n"
        "      --json         write the outcome of every item as JSON to standard output\n"
        "      --ask on|off   whether Explorer's menus ask before they wipe (for you)\n"
        "      --at-next-sign-in  queue the paths, to be wiped at your next sign-in\n"
        "      --pending      list what is queued for your next sign-in (--clear: empty it)\n"
        "      --free-space   overwrite the drive's free space, where deleted files' data\n"
        "                     stays: the drive fills up for a while, then is as before\n"
        "      --recycle-bin  wipe everything in your Recycle Bin, on every drive\n"
        "  -h, --help, /?     show this help\n"
        "      --version      show the version\n"
        "\n"
        "Wildcards are not expanded: let the shell or script do that.\n"
        "Exit status: 0 everything wiped, 1 something not wiped, 2 usage error,\n"
        "130 cancelled (Ctrl+C).\n";
    return text;
}

}  // namespace veltrane
