// The process's exit codes, which deployment scripts test; --help lists them.
#pragma once

enum ExitCode {
    kDone = 0,
    kBadCommandLine = 2,
    kListMissing = 3,
    kListDamaged = 4,
    kIndexOutOfRange = 5,
    kBadValue = 6,
    kNotWritten = 7,
    kBadInput = 8,
    kNoLibrary = 9,
};
