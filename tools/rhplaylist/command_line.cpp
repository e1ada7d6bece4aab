#include "command_line.h"

#include <cstdint>
#include <cwchar>
#include <iterator>

#include "console.h"
#include "exit_codes.h"
#include "files.h"
#include "text.h"

namespace {

// A printf format: the limits are the arguments of ShowHelp's Out call.
const wchar_t kHelp[] =
    L"rhplaylist: makes and edits Reelhaven playlists (.plst) for deployment scripts.\n"
    L"\n"
    L"usage: rhplaylist COMMAND LIST.plst [ARGUMENTS]\n"
    L"\n"
    L"  create LIST [--force] [FIELDS] FILE...  a new playlist of these files; an existing\n"
    L"                                          LIST is only replaced with --force\n"
    L"  list LIST [--json]                      the entries, as text or as JSON\n"
    L"  add LIST [FIELDS] FILE...               appends files\n"
    L"  add-folder LIST [FIELDS] [--types P] FOLDER\n"
    L"                                          appends every video of FOLDER and its\n"
    L"                                          subfolders, making LIST if there is none: a\n"
    L"                                          folder's own files by name, then its\n"
    L"                                          subfolders by name. P is a list of patterns\n"
    L"                                          such as \"*.avi;*.mp4\"; the default is the\n"
    L"                                          \"Video File Types\" setting\n"
    L"  remove LIST INDEX                       removes an entry (a playlist keeps at least one)\n"
    L"  move LIST FROM TO                       moves an entry to another index\n"
    L"  set LIST INDEX FIELDS                   changes fields of an entry\n"
    L"  import LIST [FIELDS] SOURCE.m3u|.m3u8   appends the files of an M3U playlist (made\n"
    L"                                          when LIST does not exist); relative paths\n"
    L"                                          count from SOURCE's folder; .m3u8 and files\n"
    L"                                          with a UTF-8 mark are UTF-8, files with a\n"
    L"                                          UTF-16 mark UTF-16, others ANSI\n"
    L"  export LIST TARGET.m3u|.m3u8            writes the entries as an M3U playlist; files\n"
    L"                                          in TARGET's folder or below as relative paths\n"
    L"\n"
    L"FIELDS (for new entries they replace the Playlist Defaults of the settings):\n"
    L"  --loops N        %ld to %ld\n"
    L"  --size NAME      Maximized, \"Full Screen\", \"3/4 Screen\", \"1/2 Screen\", \"1/4 Screen\",\n"
    L"                   Original, \"Double Original\" (or their index 0 to %d)\n"
    L"  --bounce yes|no\n"
    L"  --volume N       percent, %ld to %ld\n"
    L"  --style NAME     Monitor (a picture on every monitor) or Desktop (one across all)\n"
    L"  --speed X        %.2f to %.2f, 1.00 is normal speed\n"
    L"INDEX counts from 0. Paths are stored in full. --verbose prints timings to stderr.\n"
    L"\n"
    L"Exit codes: 0 done; 2 bad command line; 3 LIST not found; 4 LIST or the M3U damaged\n"
    L"or not a playlist; 5 index out of range; 6 value out of range or not valid (also an\n"
    L"M3U line that is no file's path, or a name the M3U's encoding cannot hold); 7 a file\n"
    L"could not be written (LIST is left as it was); 8 an input file or folder is missing or\n"
    L"unreadable; 9 the player library is not installed.\n";

void ShowHelp()
{
    Out(kHelp, kMinLoops, kMaxLoops, kSizeModeCount - 1, kMinVolume, kMaxVolume, kMinSpeed,
        kMaxSpeed);
}

struct CommandForm {
    Command command;
    const wchar_t *name;
    bool takesFields;
    size_t leastOperands, mostOperands;
    const wchar_t *operands;  // in "NAME LIST takes ..."
};

const CommandForm kCommands[] = {
    {Command::kCreate, L"create", true, 1, SIZE_MAX, L"one or more files"},
    {Command::kList, L"list", false, 0, 0, L"nothing more"},
    {Command::kAdd, L"add", true, 1, SIZE_MAX, L"one or more files"},
    {Command::kAddFolder, L"add-folder", true, 1, 1, L"one folder"},
    {Command::kRemove, L"remove", false, 1, 1, L"an index"},
    {Command::kMove, L"move", false, 2, 2, L"two indexes"},
    {Command::kSet, L"set", true, 1, 1, L"an index and fields"},
    {Command::kImport, L"import", true, 1, 1, L"one M3U file"},
    {Command::kExport, L"export", false, 1, 1, L"one M3U file"},
};

const CommandForm *FindCommand(const wchar_t *name)
{
    for (const CommandForm &form : kCommands) {
        if (_wcsicmp(name, form.name) == 0)
            return &form;
    }
    return nullptr;
}

bool IsBlank(const wchar_t *arg)
{
    return arg[wcsspn(arg, L" \t")] == L'\0';
}

bool IsHelp(const wchar_t *arg)
{
    static const wchar_t *const kHelpWords[] = {L"--help", L"-h", L"/?", L"help"};
    return FindName(arg, kHelpWords, static_cast<int>(std::size(kHelpWords))) >= 0;
}

} // namespace

std::optional<int> ParseCommandLine(int argc, wchar_t **argv, CommandLine &line)
{
    std::vector<const wchar_t *> args;
    for (int i = 1; i < argc; ++i) {
        if (_wcsicmp(argv[i], L"--verbose") == 0)
            line.verbose = true;
        else
            args.push_back(argv[i]);
    }
    if (args.empty() || IsHelp(args[0])) {
        ShowHelp();
        return args.empty() ? kBadCommandLine : kDone;
    }
    const CommandForm *form = FindCommand(args[0]);
    if (!form)
        return Fail(kBadCommandLine, L"%ls: no such command (rhplaylist --help lists them)",
                    args[0]);
    line.command = form->command;
    line.name = form->name;
    if (args.size() < 2 || IsBlank(args[1]))
        return Fail(kBadCommandLine, L"%ls: which playlist? (rhplaylist --help)", line.name);
    line.path = FullPath(args[1]);

    // The rest: field options, flags and the operands, in any order.
    for (size_t i = 2; i < args.size(); ++i) {
        const wchar_t *arg = args[i];
        if (IsFieldOption(arg)) {
            if (i + 1 >= args.size())
                return Fail(kBadCommandLine, L"%ls needs a value", arg);
            if (int code = ParseField(arg, args[++i], line.fields))
                return code;
        } else if (_wcsicmp(arg, L"--json") == 0 && line.command == Command::kList) {
            line.json = true;
        } else if (_wcsicmp(arg, L"--force") == 0 && line.command == Command::kCreate) {
            line.force = true;
        } else if (_wcsicmp(arg, L"--types") == 0 && line.command == Command::kAddFolder) {
            if (++i >= args.size())
                return Fail(kBadCommandLine, L"--types needs a value");
            line.types = args[i];
        } else if (arg[0] == L'-' && arg[1] == L'-') {
            return Fail(kBadCommandLine, L"%ls: not an option of %ls (rhplaylist --help)", arg,
                        line.name);
        } else if (IsBlank(arg)) {
            // An empty folder would be the current drive's root, a whole disk to walk.
            return Fail(kBadCommandLine, L"%ls LIST takes %ls, not an empty argument", line.name,
                        form->operands);
        } else {
            line.operands.push_back(arg);
        }
    }
    if (line.fields.any() && !form->takesFields)
        return Fail(kBadCommandLine, L"%ls takes no entry fields", line.name);
    if (line.operands.size() < form->leastOperands || line.operands.size() > form->mostOperands)
        return Fail(kBadCommandLine, L"%ls LIST takes %ls", line.name, form->operands);
    if (line.command == Command::kSet && !line.fields.any())
        return Fail(kBadCommandLine, L"set: which fields? (--loops, --size, --bounce, --volume, "
                                     L"--style, --speed)");
    return std::nullopt;
}
