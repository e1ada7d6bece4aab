// The command line: which command, on which playlist, with which fields, flags and
// operands, checked before anything is loaded or written.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fields.h"

enum class Command { kCreate, kList, kAdd, kAddFolder, kRemove, kMove, kSet, kImport, kExport };

struct CommandLine {
    Command command = Command::kList;
    const wchar_t *name = L"";  // the command as --help spells it
    std::wstring path;          // of the playlist, in full
    Fields fields;
    bool json = false;          // list --json
    bool force = false;         // create --force
    bool verbose = false;       // timings to stderr
    std::wstring types;         // add-folder --types
    std::vector<std::wstring> operands;
};

// Fills line from the arguments. nullopt when the command is to run; otherwise the
// process's exit code, after the help was shown or what was wrong was said.
std::optional<int> ParseCommandLine(int argc, wchar_t **argv, CommandLine &line);
