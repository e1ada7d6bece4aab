// The table of every registry value the settings keep: where it lies, which field of
// Settings it fills, its form, its default, its limits, when it is saved and whether a
// policy may force it. SetDefaults, Load and Save are driven by it, and the policy
// templates are checked against it (tests/admin/check_policies.py reads settings_values.cpp).
#pragma once

#include <windows.h>

#include <limits>
#include <span>

#include "value_limits.h"

// The key a value lies in, below "Halcyra\Reelhaven".
enum class Key : BYTE { Product, ColumnWidths, Defaults };

// The field's kind and how the registry holds it (the value's registry type is a column of
// its own).
enum class Form : BYTE {
    Flag,        // bool; REG_DWORD 0 or 1 (read as a number not 0, or the text "1"), or
                 // REG_BINARY one byte
    Integer,     // the field's 4 or 8 bytes as they are
    Real,        // a double's 8 bytes as they are
    Text,        // wchar_t[N]; the text and its terminator, read terminated within the field
    SizeName,    // LONG size mode; a name of kSizeNames
    StyleName,   // LONG style; a name of kStyleNames
    Speed,       // float; the text "%04.2f", read as a decimal number
    BounceSpeed, // bounceStep and bounceInterval; their coded number
};

enum class Saved : BYTE {
    Always, // by every save
    IfSet,  // by every save, but only while the flag is true
    All,    // by a save of all values
    Never,  // set by hand or by policy only
};

enum class Policy : BYTE {
    Offered,   // read through the policy lookup, and the policy templates offer it
    Unoffered, // read through the policy lookup too, but left out of the templates:
               // enforcing it would freeze where a run resumes or how the grid is laid out
    Never,     // the program's own bookkeeping: the user's key only
};

// A loaded number outside is brought to the nearer end; kNoLimits leaves it as read.
struct Limits {
    double low;
    double high;
    template <typename T>
    constexpr Limits(Range<T> range) : low(range.low), high(range.high) {}
    constexpr bool Bounded() const
    {
        return low > -std::numeric_limits<double>::infinity() ||
               high < std::numeric_limits<double>::infinity();
    }
};
inline constexpr Range<double> kNoLimits{-std::numeric_limits<double>::infinity(),
                                         std::numeric_limits<double>::infinity()};

// Where a default comes from: the table, or the system when the defaults are set.
enum class Source : BYTE { Table, MasterVolume, DocumentsFolder, FocusColour };

struct Default {
    double number = 0;             // a number, a flag, a mode or style index, a coded speed
    const wchar_t *text = nullptr; // a text
    Source source = Source::Table;

    constexpr Default(double value) : number(value) {}
    template <size_t N>
    constexpr Default(const wchar_t (&value)[N]) : text(value) {}
    constexpr Default(Source from) : source(from) {}
};

struct SettingValue {
    Key key;
    const wchar_t *name;
    size_t offset; // of the field in Settings
    size_t size;   // of the field
    Form form;
    DWORD type; // REG_DWORD, REG_SZ or REG_BINARY, as saved
    Saved saved;
    Policy policy;
    Limits limits;
    Default initial;
};

// In the order Save writes them.
std::span<const SettingValue> SettingValues();
