#!/usr/bin/env python3
"""Writes src/resources/SolvanePictova_loc.ini (UTF-16LE with BOM, CRLF) from its UTF-8 source.

Checks that every language section carries every key of section "0" (the English texts) and
that "Languages No" matches the sections present. Usage: scripts/make_loc_ini.py [source] [output]
"""
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SOURCE = ROOT / "src/resources/SolvanePictova_loc.utf8.ini"
OUTPUT = ROOT / "src/resources/SolvanePictova_loc.ini"


def parse(lines):
    sections, order, current = {}, [], None
    for number, raw in enumerate(lines, 1):
        line = raw.rstrip("\r\n")
        if not line.strip() or line.lstrip().startswith(";"):
            continue
        header = re.fullmatch(r"\[(.+)\]\s*", line)
        if header:
            current = header.group(1)
            if current in sections:
                sys.exit(f"line {number}: section [{current}] appears twice")
            sections[current] = {}
            order.append(current)
            continue
        if current is None or "=" not in line:
            sys.exit(f"line {number}: expected a section header or key=value")
        key, value = line.split("=", 1)
        if key in sections[current]:
            sys.exit(f"line {number}: key {key} appears twice in [{current}]")
        if len(value) > 1023:
            sys.exit(f"line {number}: text longer than 1023 characters")
        sections[current][key] = value
    return sections, order


def protect(value):
    # The profile API strips blanks around a value and one pair of enclosing quotes:
    # quote values whose edges would otherwise be lost.
    if value != value.strip() or (len(value) > 1 and value[0] == value[-1] == '"'):
        return f'"{value}"'
    return value


def main():
    source = Path(sys.argv[1]) if len(sys.argv) > 1 else SOURCE
    output = Path(sys.argv[2]) if len(sys.argv) > 2 else OUTPUT
    sections, order = parse(source.read_text(encoding="utf-8").splitlines())
    languages = int(sections["General"]["Languages No"])
    english = sections.get("0")
    if english is None:
        sys.exit("section [0] (English) is missing")
    for index in range(languages):
        name = str(index)
        if name not in sections:
            sys.exit(f"section [{name}] is missing (Languages No={languages})")
        missing = [k for k in english if k not in sections[name]]
        extra = [k for k in sections[name] if k not in english]
        if missing or extra:
            sys.exit(f"section [{name}]: missing {missing}, unknown {extra}")
    text = []
    for name in order:
        text.append(f"[{name}]")
        text.extend(f"{key}={protect(value)}" for key, value in sections[name].items())
        text.append("")
    output.write_bytes(b"\xff\xfe" + "\r\n".join(text).encode("utf-16-le"))
    print(f"wrote {output} ({languages} languages)")


if __name__ == "__main__":
    main()
