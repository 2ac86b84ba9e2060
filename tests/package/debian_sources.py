#!/usr/bin/python3
"""Prints, in deb822 form, the host's apt sources that serve Debian's own archive for one suite
family (e.g. bookworm, bookworm-updates, bookworm-security), read from /etc/apt at run time, so
that the fresh root of scripts/package-check uses the same mirror as this machine and nothing else.

usage: debian_sources.py CODENAME [APT_ETC]"""

import glob
import os
import re
import sys

KEYRING = "debian-archive-keyring"


def deb822_stanzas(text):
    stanza, key = {}, None
    for line in text.splitlines() + [""]:
        if line.startswith("#"):
            continue
        if not line.strip():
            if stanza:
                yield stanza
            stanza, key = {}, None
        elif line[0] in " \t" and key:
            stanza[key] += " " + line.strip()
        elif ":" in line:
            key, value = line.split(":", 1)
            key = key.strip().lower()
            stanza[key] = value.strip()


def one_line_entries(text):
    for line in text.splitlines():
        line = line.split("#", 1)[0].strip()
        match = re.match(r"^(deb)\s+(\[[^\]]*\]\s+)?(\S+)\s+(\S+)\s+(.*)$", line)
        if not match:
            continue
        options = dict(re.findall(r"([\w-]+)=(\S+)", match.group(2) or ""))
        yield {"types": "deb", "uris": match.group(3), "suites": match.group(4),
               "components": match.group(5), "signed-by": options.get("signed-by", "")}


def is_debian_archive(entry):
    """Debian's archive: signed by Debian's archive keyring, or a mirror's /debian(-security) path."""
    if KEYRING in entry.get("signed-by", ""):
        return True
    return all(re.search(r"/debian(-security)?/?$", uri) for uri in entry.get("uris", "").split())


def main():
    codename = sys.argv[1]
    etc = sys.argv[2] if len(sys.argv) > 2 else "/etc/apt"
    entries = []
    for path in sorted(glob.glob(os.path.join(etc, "sources.list.d", "*.sources"))):
        with open(path, encoding="utf-8") as text:
            entries += [s for s in deb822_stanzas(text.read()) if s.get("enabled", "yes").lower() != "no"]
    for path in [os.path.join(etc, "sources.list")] + sorted(glob.glob(os.path.join(etc, "sources.list.d", "*.list"))):
        if os.path.exists(path):
            with open(path, encoding="utf-8") as text:
                entries += list(one_line_entries(text.read()))
    out = []
    for entry in entries:
        if "deb" not in entry.get("types", "").split() or not is_debian_archive(entry):
            continue
        suites = [s for s in entry.get("suites", "").split() if s == codename or s.startswith(codename + "-")]
        if not suites or not entry.get("uris"):
            continue
        stanza = [f"Types: deb", f"URIs: {entry['uris']}", f"Suites: {' '.join(suites)}",
                  f"Components: {entry.get('components', 'main')}"]
        if entry.get("signed-by"):
            stanza.append(f"Signed-By: {entry['signed-by']}")
        out.append("\n".join(stanza))
    if not out:
        print(f"debian_sources: no source of Debian's archive for {codename} in {etc}", file=sys.stderr)
        return 1
    print("\n\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
