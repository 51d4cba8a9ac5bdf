"""Checks that the programs' options and their man pages (and the README's option tables) agree.

    options_doc.py SOURCE BUILD

For every program: each option of its usage text (`PROGRAM --help`) and --help and --version
appear in its man page. velkcoder and velkdecoder: the options of their option tables (the
`rules` of their sources, with the bounds outside which they refuse a value) are exactly those of
the man page and of the README's table, and each finite bound appears in the option's man page
entry and README row. pitch: the options of its usage text, man page and README table are the
same. Prints every disagreement; the status is 1 when there is one.
"""
import pathlib
import re
import subprocess
import sys

PROGRAMS = {
    "velkcoder": ("bin/velkcoder/velkcoder", "bin/velkcoder/velkcoder.1"),
    "velkdecoder": ("bin/velkdecoder/velkdecoder", "bin/velkdecoder/velkdecoder.1"),
    "pitch": ("bin/pitch/pitch", "bin/pitch/pitch.1"),
    "plotview": ("bin/plotview/plotview", "bin/plotview/plotview.1"),
    "graph": ("bin/graph/graph", "bin/graph/graph.1"),
    "velkplot": ("bin/velkplot/velkplot", "bin/velkplot/velkplot.1"),
    "recslice": ("bin/recslice/recslice", "bin/recslice/recslice.1"),
    "snr": ("bin/snr/snr", "bin/snr/snr.1"),
    "biquad": ("bin/biquad/biquad", "bin/biquad/biquad.1"),
    "lagcorr": ("bin/lagcorr/lagcorr", "bin/lagcorr/lagcorr.1"),
}
RULE = re.compile(r'\{"(\w+)", \'([irs])\', ([^,]+), ([^,]+), (true|false)\}')


def usage_options(text):
    """The options listed in a usage text's "options:" part ("-s s : ...", "+type")."""
    part = text.split("  options:\n", 1)[1] if "  options:\n" in text else ""
    part = re.split(r"\n  \w+:\n", part)[0]
    return {m.group(1) for m in re.finditer(r"^\s+(-[A-Za-z]+|\+type)\b", part, re.M)}


def man_entries(page):
    """The options of a man page's option entries (.TP, then the .B/.BI line naming them), each
    with the text of its entry."""
    entries = {}
    lines = page.split("\n")
    for k, line in enumerate(lines):
        if line != ".TP" or k + 1 >= len(lines):
            continue
        head = lines[k + 1]
        body = []
        for rest in lines[k + 2:]:
            if rest.startswith((".TP", ".SH", ".PP")):
                break
            body.append(rest)
        for m in re.finditer(r"\\-\\-([A-Za-z0-9]+)|(?<![\\\w])\\-([A-Za-z]+)|(\+ ?type)", head):
            name = "--" + m.group(1) if m.group(1) else "-" + m.group(2) if m.group(2) else "+type"
            entries[name] = head + "\n" + "\n".join(body)
    return entries


def readme_rows(readme, heading):
    """The rows of the option table (headed "| option |") under a README heading: {name: row}."""
    section = readme.split("\n## " + heading + "\n", 1)[1].split("\n## ", 1)[0]
    table = section.split("\n| option |", 1)[1].split("\n\n", 1)[0]
    rows = {}
    for line in table.split("\n"):
        m = re.match(r"\| `([^`]+)`(?:, `([^`]+)`)? \|", line)
        if m:
            for name in filter(None, m.groups()):
                rows[name.split(" ")[0]] = line
    return rows


def bound_texts(value):
    """How a bound may be written: 511, 0.25, -1 (also as \\-1 and \u22121)."""
    names = {"velkratehighest / 2.0": "24000", "velkratelowest": "8000", "velkratehighest": "48000",
             "velkf0floorlowest": "20", "velkccordceiling": "2047", "velkccordhighest": "511",
             "velkccmethods - 1": "4"}
    for constant, bound in names.items():
        value = value.replace(constant, bound)
    number = float(value)
    text = f"{number:g}"
    return {text, text.replace("-", "\\-"), text.replace("-", "\u2212")}, number


def main():
    source, build = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    readme = (source / "README.md").read_text()
    problems = []
    for name, (binary, manpage) in PROGRAMS.items():
        page = (source / manpage).read_text()
        entries = man_entries(page)
        usage = subprocess.run([str(build / binary), "--help"], capture_output=True, text=True).stdout
        for option in sorted(usage_options(usage) | {"--help", "--version"}):
            if option not in entries:
                problems.append(f"{manpage}: {option} of {name}'s usage text is missing")
        if name in ("velkcoder", "velkdecoder"):
            rules = RULE.findall((source / (binary + ".cpp")).read_text())
            if not rules:
                problems.append(f"{binary}.cpp: no option table found")
            table = {"--" + r[0]: r for r in rules}
            documented = {o for o in entries if o not in ("--help", "--version")}
            rows = readme_rows(readme, name)
            for option in sorted(set(table) ^ documented):
                problems.append(f"{manpage}: {option} " + ("missing" if option in table else "is no option of " + name))
            for option in sorted(set(table) ^ {"--" + r for r in rows}):
                problems.append(f"README.md ## {name}: {option} " +
                                ("missing" if option in table else "is no option of " + name))
            for option, (_, kind, lowest, highest, _) in table.items():
                for value in (lowest, highest):
                    if "none" in value:
                        continue
                    texts, number = bound_texts(value)
                    for where, text in ((manpage, entries.get(option, "")), ("README.md", rows.get(option[2:], ""))):
                        if text and not any(re.search(r"(?<![\d.])" + re.escape(t) + r"(?![\d])", text) for t in texts):
                            problems.append(f"{where}: the bound {number:g} of {option} is not given")
        if name == "pitch":
            rows = {r.split(" ")[0] for r in readme_rows(readme, "pitch")}
            documented = {o for o in entries if o not in ("--help", "--version")}
            for option in sorted((usage_options(usage) ^ documented) | (usage_options(usage) ^ rows)):
                problems.append(f"pitch: {option} is not in all of its usage text, man page and README table")
    for p in problems:
        print(p)
    print(f"{len(PROGRAMS)} programs checked, {len(problems)} disagreements")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
