"""The Group Policy templates against themselves and against the settings load.

The ADMX and ADML must be well-formed and consistent (every string and presentation they
refer to exists, namespaces and revisions set). Every policy must write a value that
Settings::Load reads through the policy lookup, under the key it reads, with the type it
reads and within the range of the value limits it clamps to; every such value must have a policy or be one of
the deliberate omissions below.
    check_policies.py Reelhaven.admx Reelhaven.adml settings.cpp
"""
import re
import sys
import xml.etree.ElementTree as ET

NS = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
# Values the program keeps for itself or that only lay out the dialog: enforcing them would
# freeze where a run resumes or how wide a column is.
OMITTED = {"LastPlaylist", "LastPos", "LastTrack", "Focus Color", "Playlist Column Widths"}
SUBKEYS = {"kProductSubkey": r"Halcyra\Reelhaven",
           "kDefaultsSubkey": r"Halcyra\Reelhaven\Playlist Defaults"}

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    failures.extend([] if ok else [what])


def reads(source, limits):
    """(subkey, value) -> (reader, clamp or None) for every read of Settings::Load."""
    ranges = {m[1]: (float(m[2]), float(m[3]))
              for m in re.finditer(r"ValueRange (\w+)\{(\d+), (\d+)\}", limits)}
    load = source[source.index("void Settings::Load()"):source.index("LONG Settings::Save")]
    found = {}
    for m in re.finditer(r'Read(Bool|Fixed|Text)\((k\w+Subkey), (L"([^"]+)"|kColumnNames\[i\])', load):
        reader, subkey, _, name = m.groups()
        if name is None:
            found[("columns", "Playlist Column Widths")] = (reader, None)
            continue
        # The statement the read stands in: an "if" with its clamp, or the read alone.
        statement = load[m.end():load.index(";", m.end())]
        clamp = re.search(r"(\w+Range)\.Clamp\(", statement)
        found[(SUBKEYS[subkey], name)] = (reader, clamp and ranges[clamp[1]])
    return found


def names(source, table):
    m = re.search(table + r"\[[^]]*\] = \{([^}]*)\}", source)
    return re.findall(r'L"([^"]+)"', m[1])


def main(admx_path, adml_path, settings_path):
    admx = ET.parse(admx_path).getroot()
    adml = ET.parse(adml_path).getroot()
    source = open(settings_path, encoding="utf-8").read()
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

    loaded = reads(source, open(settings_path.replace("settings.cpp", "value_limits.h")).read())
    rows = open(settings_path.replace("settings.cpp", "playlist_row.cpp"), encoding="utf-8").read()
    sizes, styles = names(rows, "kSizeNames"), names(rows, "kStyleNames")
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
        read = loaded.get((subkey, value))
        check(read is not None, name + ": the settings read %s\\%s" % (subkey, value))
        if read is None:
            continue
        covered.add((subkey, value))
        reader, clamp = read
        if kind == "bool":
            check(reader == "Bool", name + ": read as a boolean")
        elif kind == "decimal":
            check(reader == "Fixed" and element.get("storeAsText") != "true", name + ": a DWORD read as a number")
            low, high = float(element.get("minValue", 0)), float(element.get("maxValue", 2 ** 32 - 1))
            check(clamp is None or (low, high) == clamp,
                  name + ": range %g..%g is the settings' clamp %s" % (low, high, clamp))
        elif kind == "text":
            check(reader == "Text", name + ": text read as text")
            field = re.search(r'ReadText\(\w+, L"%s", (\w+)\)' % re.escape(value), source)[1]
            chars = int(re.search(r"wchar_t %s\[(\d+)\]" % field,
                                  open(settings_path.replace(".cpp", ".h")).read())[1])
            check(int(element.get("maxLength")) == chars - 1, name + ": at most %d characters" % (chars - 1))
        elif kind == "enum":
            values = [v[0] for v in (i.find(NS + "value") for i in element.iter(NS + "item"))]
            if values[0].tag == NS + "string":
                texts = [v.text for v in values]
                check(reader == "Text", name + ": a name read as text")
                named = {"Size": sizes, "Style": styles}.get(value)
                if named is not None:
                    check(texts == named, name + ": the %d names of the settings, in order" % len(named))
                else:
                    check(all(0.25 <= float(t) <= 4.0 and t == "%04.2f" % float(t) for t in texts),
                          name + ": speeds 0.25 to 4.00 written as the dialog saves them")
            else:
                numbers = [int(v.get("value")) for v in values]
                check(reader == "Fixed" and numbers == [10 * (i + 1) for i in range(12)],
                      name + ": the twelve bounce steps as their stored codes")
    rest = set(loaded) - covered
    check({v for _, v in rest} == OMITTED,
          "every value read has a policy or is a deliberate omission (left: %s)" % sorted(v for _, v in rest))
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
