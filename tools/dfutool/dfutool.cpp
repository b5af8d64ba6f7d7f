// dfutool: makes, changes, takes apart, hashes and compares .dfu files, and reads them as
// dfuinfo does. One subcommand per task; exit code 0 for done, valid or the same, 1 for
// invalid or different, 2 for a usage or I/O error.
#include "commands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#  include <windows.h>
#  include <fcntl.h>
#  include <io.h>
using Argument = const wchar_t*;
#else
using Argument = const char*;
#endif

int RunInfo(int argc, Argument* argv);

namespace {

using dfutool::kExitUsage;

struct Command {
    const char* name;
    int (*run)(dfutool::Arguments&);
    const char* help;
};

const Command kCommands[] = {
    {"make", dfutool::Make,
     "usage: dfutool make [OPTIONS] INPUTS... OUTPUT.dfu\n"
     "A plain DFU file from an image, or a DfuSe file from binaries, Intel HEX and S-records.\n"
     "  --image FILE            plain DFU: FILE followed by a suffix (as dfu-suffix -a)\n"
     "  -t, --target ALT[:NAME] begin a DfuSe target; the inputs after it go to it\n"
     "  -b, --bin ADDR[@ALT]:FILE  a raw binary at ADDR (in the target of ALT, if given)\n"
     "  -i, --hex FILE          Intel HEX records 00 to 05\n"
     "  -s, --srec FILE         S-records S0 to S3 and S5 to S9\n"
     "  -v, --vendor N  -p, --product N  -d, --release N   the suffix's numbers\n"
     "  -D, --device VID:PID    vendor and product at once\n"
     "  -S, --dfu-version 1.0|1.1a   of a plain file (DfuSe files state 1.1a)\n"
     "  -a, --alt N             the alternate setting of targets not begun with --target\n"
     "  --dfuse-pack            dfuse-pack's ways: a target per binary, one for all HEX and\n"
     "                          one for the S-records, named \"ST...\" (or the S0 header),\n"
     "                          device 0483:DF11 and release 0 unless given\n"
     "  -f, --force             replace an existing OUTPUT\n"
     "  -q, --quiet             no progress line on a terminal\n"
     "Each contiguous run of a target's data becomes one element; data of two inputs that\n"
     "overlap is refused.\n"},
    {"set", dfutool::Set,
     "usage: dfutool set [CHANGE] INPUT OUTPUT\n"
     "A copy of a valid DFU file with one change, the CRC computed anew:\n"
     "  -v, --vendor N  -p, --product N  -d, --release N  -D, --device VID:PID\n"
     "  --add-suffix [-S 1.0|1.1a]   INPUT is an image: add a suffix (as dfu-suffix -a)\n"
     "  --remove-suffix              the image without its suffix (as dfu-suffix -D)\n"
     "  --add-lpc-prefix             NXP LPC's prefix before the image (as dfu-prefix -a -L)\n"
     "  --remove-lpc-prefix          without it (as dfu-prefix -D -L)\n"
     "  -f, --force                  replace an existing OUTPUT\n"},
    {"extract", dfutool::Extract,
     "usage: dfutool extract [OPTIONS] FILE.dfu\n"
     "Takes a valid DFU file apart: a plain file's image to PREFIX.bin; for a DfuSe file\n"
     "  --bin     each element to PREFIX.targetT.AAAAAAAA.bin (the default)\n"
     "  --hex     each target to PREFIX.targetT.hex, with its addresses\n"
     "  --srec    each target to PREFIX.targetT.s19\n"
     "  -o, --output PREFIX   names start with it (default: FILE without .dfu)\n"
     "  -f, --force           replace existing outputs\n"
     "  --damaged             take apart a file whose CRC is wrong or whose elements reach\n"
     "                        past its image: what it holds whole, named PREFIX (default:\n"
     "                        FILE without .dfu, then .damaged); without it such a file is\n"
     "                        refused\n"
     "  -q, --quiet           no progress line on a terminal\n"
     "  --json                list what was written for scripts\n"
     "All outputs are put in place together once complete, or none is.\n"},
    {"hash", dfutool::Hash,
     "usage: dfutool hash [--json] [--quiet] FILE.dfu...\n"
     "SHA-256 of each whole file (as sha256sum) and of each element's data (a plain file's\n"
     "image).\n"},
    {"diff", dfutool::Diff,
     "usage: dfutool diff [--json] [--quiet] A.dfu B.dfu\n"
     "Compares the suffix fields, the targets and, per address, the bytes: each range that\n"
     "differs with its first address, length and count of differing bytes, and the data\n"
     "only one file has. Exit code 0 when they are the same, 1 when they differ.\n"},
};

const char kUsage[] =
    "usage: dfutool COMMAND [OPTIONS] ...\n"
    "  info      what a .dfu file holds and whether it is valid (dfuinfo)\n"
    "  make      a .dfu file from an image, binaries, Intel HEX or S-records\n"
    "  set       change the numbers of a suffix, add or remove a suffix or an LPC prefix\n"
    "  extract   elements and targets to .bin, .hex and .s19 files\n"
    "  hash      SHA-256 of a file and of each element\n"
    "  diff      compare two .dfu files\n"
    "dfutool COMMAND --help says more. Exit code 0 for done, valid or the same; 1 for\n"
    "invalid or different; 2 for a usage or I/O error.\n";

std::string Utf8(Argument argument)
{
#if defined(_WIN32)
    return korvex::PathText(argument);
#else
    return argument;
#endif
}

bool Is(Argument argument, const char* text)
{
    return Utf8(argument) == text;
}

int Run(int argc, Argument* argv)
{
    if (argc < 2 || Is(argv[1], "--help") || Is(argv[1], "-h") || Is(argv[1], "help")) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? kExitUsage : dfutool::kExitDone;
    }
    if (Is(argv[1], "info")) return RunInfo(argc - 1, argv + 1);
    const std::string name = Utf8(argv[1]);
    for (const Command& command : kCommands) {
        if (name != command.name) continue;
        std::vector<std::string> words;
        for (int i = 2; i < argc; ++i) words.push_back(Utf8(argv[i]));
        for (const std::string& word : words)
            if (word == "--help" || word == "-h") return std::fputs(command.help, stdout), dfutool::kExitDone;
        dfutool::Arguments arguments(words);
        try {
            return command.run(arguments);
        } catch (const korvex::DfuError& error) {
            std::fprintf(stderr, "dfutool %s: %s\n", command.name, error.what());
            return error.kind() == korvex::DfuError::Kind::kInvalid ? dfutool::kExitInvalid : kExitUsage;
        }
    }
    std::fprintf(stderr, "dfutool: unknown command \"%s\"\n%s", name.c_str(), kUsage);
    return kExitUsage;
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv)
#else
int main(int argc, char** argv)
#endif
{
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    korvex::RemovePartialFilesOnInterrupt();
    try {
        return Run(argc, const_cast<Argument*>(argv));
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "dfutool: out of memory\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "dfutool: %s\n", error.what());
    }
    return kExitUsage;
}
