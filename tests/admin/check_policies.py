"""The Group Policy templates against themselves and against the settings table.

The ADMX and ADML must be well-formed and consistent (every string and presentation they
refer to exists, namespaces and revisions set). Every policy must write a value that the
settings table (saver/common/settings_values.cpp) reads through the policy lookup, under
its key, in its form and within its limits (from value_limits.h); every value the table
marks as offered must have a policy, and the values it keeps out of the templates must be
the deliberate omissions below.
    check_policies.py Reelhaven.admx Reelhaven.adml settings_values.cpp
"""
import math
import os
import re
import sys
import xml.etree.ElementTree as ET

NS = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
# Values the program keeps for itself or that only lay out the dialog: enforcing them would
# freeze where a run resumes or how wide a column is.
OMITTED = {"LastPlaylist", "LastPos", "LastTrack", "Focus Color", "Playlist Column Widths"}
KEYS = {"Product": r"Halcyra\Reelhaven",
        "ColumnWidths": r"Halcyra\Reelhaven\Playlist Column Widths",
        "Defaults": r"Halcyra\Reelhaven\Playlist Defaults"}
ENTRY = re.compile(r'\{Key::(\w+), L"([^"]+)", FIELD\(([\w.\[\]]+)\), Form::(\w+), (REG_\w+), '
                   r'Saved::(\w+), Policy::(\w+), (\w+), (.+)\},$')

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    failures.extend([] if ok else [what])


def number(text):
    """A limit as written in value_limits.h; what is no plain number is unbounded."""
    try:
        return float(text.rstrip("f"))
    except ValueError:
        return -math.inf if text.startswith("-") else math.inf


def table(source, limits):
    """(key path, value name) -> entry for every line of the settings table."""
    ranges = {m[2]: (number(m[3].strip()), number(m[4].strip()))
              for m in re.finditer(r"(ValueRange|Range<\w+>) (\w+)\{([^,{}]+), ([^{}]+)\};", limits)}
    ranges["kNoLimits"] = None
    body = source[source.index("kValues[] = {"):source.index("};", source.index("kValues[] = {"))]
    lines = [line.strip() for line in body.splitlines() if line.strip().startswith("{Key::")]
    matches = [ENTRY.match(line) for line in lines]
    check(all(matches), "every table line in the expected form %s" %
          [line[:60] for line, m in zip(lines, matches) if not m])
    entries = {}
    for key, name, field, form, regtype, saved, policy, limit, _ in (m.groups() for m in matches if m):
        entries[(KEYS[key], name)] = dict(field=field, form=form, type=regtype, saved=saved,
                                          policy=policy, limits=ranges.get(limit, limit))
    unknown = sorted(e["limits"] for e in entries.values() if isinstance(e["limits"], str))
    check(not unknown, "every table limit is a range of value_limits.h %s" % unknown)
    check(len(entries) == len(lines) and len(lines) > 30, "%d table lines, each value once" % len(lines))
    return entries


def names(source, table_name):
    m = re.search(table_name + r"\[[^]]*\] = \{([^}]*)\}", source)
    return re.findall(r'L"([^"]+)"', m[1])


def main(admx_path, adml_path, values_path):
    admx = ET.parse(admx_path).getroot()
    adml = ET.parse(adml_path).getroot()
    folder = os.path.dirname(values_path)
    read = lambda name: open(os.path.join(folder, name), encoding="utf-8").read()
    check(admx.tag == NS + "policyDefinitions" and adml.tag == NS + "policyDefinitionResources",
          "both files use the PolicyDefinitions namespace")
    check(all(f.get(a) for f in (admx, adml) for a in ("revision", "schemaVersion")),
          "revision and schemaVersion set in both")
    target = admx.find(NS + "policyNamespaces/" + NS + "target")
    check(target is not None and target.get("prefix") and target.get("namespace"),
          "target namespace and prefix set")
    check(admx.find(NS + "resources").get("minRequiredRevision") == adml.get("revision"),
          "the ADML's revision is the one the ADMX requires")

    strings = {s.get("id") for s in adml.iter(NS + "string")}
    presentations = {p.get("id"): p for p in adml.iter(NS + "presentation")}
    refs = [v for e in admx.iter() for v in e.attrib.values() if v.startswith("$(")]
    missing = [r for r in refs if not ((r.startswith("$(string.") and r[9:-1] in strings) or
               (r.startswith("$(presentation.") and r[15:-1] in presentations))]
    check(not missing, "every string and presentation referenced exists %s" % missing)
    categories = {c.get("name") for c in admx.iter(NS + "category")}
    supported = {d.get("name") for d in admx.iter(NS + "definition")}
    parents = {p.get("ref") for p in admx.iter(NS + "parentCategory")}
    check(parents <= categories, "every parent category exists")
    check({s.get("ref") for s in admx.iter(NS + "supportedOn") if s.get("ref")} <= supported,
          "every supportedOn names a definition")

    values = table(open(values_path, encoding="utf-8").read(), read("value_limits.h"))
    rows = read("playlist_row.cpp")
    sizes, styles = names(rows, "kSizeNames"), names(rows, "kStyleNames")
    settings_h = read("settings.h")
    covered = set()
    for policy in admx.iter(NS + "policy"):
        name, key = policy.get("name"), policy.get("key")
        check(policy.get("class") == "Both", name + ": for computers and users")
        check(key.startswith("Software\\Policies\\"), name + ": under Software\\Policies")
        subkey = key[len("Software\\Policies\\"):]
        elements = list(policy.find(NS + "elements") or [])
        if policy.get("valueName"):
            value, kind = policy.get("valueName"), "bool"
            check(policy.find(NS + "enabledValue/" + NS + "decimal").get("value") == "1" and
                  policy.find(NS + "disabledValue/" + NS + "decimal").get("value") == "0",
                  name + ": writes 1 or 0 as a DWORD")
        else:
            check(len(elements) == 1, name + ": one element")
            element = elements[0]
            value, kind = element.get("valueName"), element.tag[len(NS):]
            pres = presentations.get(name)
            check(pres is not None and any(c.get("refId") == element.get("id") for c in pres),
                  name + ": the presentation shows its element")
        entry = values.get((subkey, value))
        check(entry is not None, name + ": the settings table has %s\\%s" % (subkey, value))
        if entry is None:
            continue
        covered.add((subkey, value))
        check(entry["policy"] == "Offered", name + ": the table offers it as a policy")
        form, limits = entry["form"], entry["limits"]
        if kind == "bool":
            check(form == "Flag" and entry["type"] == "REG_DWORD", name + ": read as a boolean")
        elif kind == "decimal":
            check(form == "Integer" and entry["type"] == "REG_DWORD" and element.get("storeAsText") != "true",
                  name + ": a DWORD read as a number")
            low, high = float(element.get("minValue", 0)), float(element.get("maxValue", 2 ** 32 - 1))
            check(limits is None or (low, high) == limits,
                  name + ": range %g..%g is the table's limits %s" % (low, high, limits))
        elif kind == "text":
            check(form == "Text" and entry["type"] == "REG_SZ", name + ": text read as text")
            chars = int(re.search(r"wchar_t %s\[(\d+)\]" % re.escape(entry["field"]), settings_h)[1])
            check(int(element.get("maxLength")) == chars - 1, name + ": at most %d characters" % (chars - 1))
        elif kind == "enum":
            items = [v[0] for v in (i.find(NS + "value") for i in element.iter(NS + "item"))]
            if items[0].tag == NS + "string":
                texts = [v.text for v in items]
                named = {"SizeName": sizes, "StyleName": styles}.get(form)
                if named is not None:
                    check(texts == named, name + ": the %d names of the table, in order" % len(named))
                else:
                    low, high = limits or (0, 0)
                    check(form == "Speed" and all(low <= float(t) <= high and t == "%04.2f" % float(t) for t in texts),
                          name + ": speeds %g to %g written as the dialog saves them" % (low, high))
            else:
                numbers = [int(v.get("value")) for v in items]
                check(form == "BounceSpeed" and numbers == [10 * (i + 1) for i in range(12)],
                      name + ": the twelve bounce steps as their stored codes")
    offered = {k for k, e in values.items() if e["policy"] == "Offered"}
    check(offered <= covered, "every value the table offers has a policy (missing: %s)" %
          sorted(v for _, v in offered - covered))
    # A column width stands for its key, as the dialog's layout.
    unoffered = {v if k == KEYS["Product"] else k.rsplit("\\", 1)[1]
                 for (k, v), e in values.items() if e["policy"] == "Unoffered"}
    check(unoffered == OMITTED, "the values read without a policy are the deliberate omissions (%s)" %
          sorted(unoffered ^ OMITTED))
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
