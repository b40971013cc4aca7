#!/usr/bin/python3
"""Build Orvalis's Transponders/%04d.ini files from Debian's dtv-scan-tables.

The DVB-S tables of the linuxtv dtv-scan-tables project (Debian package
dtv-scan-tables, installed under /usr/share/dvb/dvb-s/) hold one file per
satellite, named like "Astra-1KR-19.2E", with one [section] per transponder:

    [name]
        DELIVERY_SYSTEM = DVBS
        FREQUENCY = 11362000        (kHz)
        POLARIZATION = HORIZONTAL
        SYMBOL_RATE = 22000000      (symbols per second)
        INNER_FEC = 2/3
        MODULATION = QPSK

Every satellite position becomes one file Transponders/NNNN.ini, NNNN being
the position key (tenths of a degree counted eastwards, 0..3599; a west
position is 3600 minus its tenths). Satellites that share a position are
merged into one file under a combined name. The file is what the program
reads and what it writes back when the user adds or removes a transponder:

    [SATTYPE]
    1=0192
    2=Astra 1KR/1L/1M/1N
    (blank line)
    [DVB]
    0=57
    1=10744,H,22000
    2=...

single-byte text, CR LF line ends, entries sorted by frequency without
duplicates. Only what a SkyStar2 (DVB-S, QPSK, universal Ku LNB or C-band
LNB) can receive is kept; the script prints what it left out and why.

Standard library only; run with /usr/bin/python3. The output depends only on
the input tables: run it twice and the files are byte for byte the same.
"""

import argparse
import collections
import os
import re
import sys
import unicodedata

DEFAULT_SOURCE = "/usr/share/dvb/dvb-s"
DEFAULT_OUTPUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "Transponders")

# What the tuner can be set to (the transponder text reader and the tuning
# code of the program): C band through a 5150 MHz oscillator below 4,201,000
# kHz and not below 3,399,000 kHz; Ku band through a universal LNB, 9750 MHz
# up to 11,699,000 kHz and 10600 MHz above, which puts 10.70..12.75 GHz into
# the card's 950..2150 MHz input. Anything between or above lands outside it.
C_BAND_KHZ = (3399000, 4200999)
KU_BAND_KHZ = (10700000, 12750000)
SYMBOL_RATE_KS = (1000, 45000)

# The letters the transponder text reader understands: H/L select 0, V/R 1.
POLARIZATION_LETTERS = {"HORIZONTAL": "H", "VERTICAL": "V", "LEFT": "L", "RIGHT": "R"}

# DVB-S code rates; 3/5, 4/5, 8/9 and 9/10 exist only in DVB-S2.
DVBS_CODE_RATES = {"1/2", "2/3", "3/4", "5/6", "6/7", "7/8", "AUTO", "NONE"}

# The program keeps at most 999 entries per file (three digits when it
# rewrites the file) and at most 22 characters per entry.
MAX_ENTRIES = 999
MAX_ENTRY_CHARS = 22
# Label " 19.2e - <name> " must fit 127 characters; leave room to spare.
MAX_NAME_CHARS = 80

REASONS = [
    ("dvbs2", "DVB-S2 transponder (the card receives DVB-S only)"),
    ("modulation", "modulation other than QPSK (8PSK/APSK/QAM are not DVB-S)"),
    ("coderate", "DVB-S2-only code rate (3/5, 4/5, 8/9, 9/10)"),
    ("frequency", "frequency outside C band 3399-4200 MHz and Ku band 10700-12750 MHz"),
    ("symbolrate", "symbol rate outside 1000..45000 ks/s"),
    ("polarization", "polarization the LNB cannot be switched to"),
    ("incomplete", "entry without frequency, polarization or symbol rate"),
]

POSITION_RE = re.compile(r"[-_](\d+(?:\.\d+)?)([EW])$")
HEADER_RES = [
    re.compile(r"^#\s*Channel table for (.+?) at \d"),
    re.compile(r"^#\s*(.+?)\s+@\s"),
]


def position_key(file_name):
    """Key from a name like "Astra-19.2E" or "Hispasat-30.0W"; None if absent."""
    match = POSITION_RE.search(file_name)
    if not match:
        return None, None
    tenths = round(float(match.group(1)) * 10)
    key = tenths if match.group(2) == "E" else (3600 - tenths) % 3600
    return key, file_name[: match.start()]


def to_single_byte(text):
    """ASCII only: the program's files are single-byte text. Turksat, not Türksat."""
    text = unicodedata.normalize("NFKD", text)
    text = "".join(c for c in text if 32 <= ord(c) < 127)
    # '=' would move the reader's count of '=' characters; keep it out.
    return " ".join(text.replace("=", "-").split())


def satellite_name(lines, stem):
    """The name the table gives itself in its first comment, else its file name."""
    for line in lines[:3]:
        for expression in HEADER_RES:
            match = expression.match(line)
            if match:
                name = to_single_byte(match.group(1))
                if name:
                    return name
    stem = re.sub(r"_C$", "", stem)  # "_C" marks a C-band table of the same satellite
    return to_single_byte(stem.replace("-", " ").replace("_", " "))


def read_table(path):
    """The transponders of one table, each a dict of its KEY = VALUE lines."""
    with open(path, "rb") as handle:
        text = handle.read().decode("utf-8", errors="replace")
    lines = text.splitlines()
    channels = []
    current = None
    for line in lines:
        stripped = line.strip()
        if not stripped or stripped.startswith("#"):
            continue
        if stripped.startswith("["):
            current = {}
            channels.append(current)
            continue
        if "=" in stripped and current is not None:
            key, value = stripped.split("=", 1)
            current[key.strip().upper()] = value.strip().upper()
    return lines, channels


def judge(channel):
    """(reason, None) when the card cannot receive it, else (None, (kHz, letter, ks/s))."""
    try:
        frequency = int(channel["FREQUENCY"])
        polarization = channel["POLARIZATION"]
        symbol_rate = int(channel["SYMBOL_RATE"])
    except (KeyError, ValueError):
        return "incomplete", None
    system = channel.get("DELIVERY_SYSTEM", "DVBS")
    if system != "DVBS":
        return "dvbs2", None
    if channel.get("MODULATION", "QPSK") != "QPSK":
        return "modulation", None
    if channel.get("INNER_FEC", "AUTO") not in DVBS_CODE_RATES:
        return "coderate", None
    if not (C_BAND_KHZ[0] <= frequency <= C_BAND_KHZ[1] or KU_BAND_KHZ[0] <= frequency <= KU_BAND_KHZ[1]):
        return "frequency", None
    symbol_rate //= 1000  # the card takes ks/s; the reader truncates the same way
    if not SYMBOL_RATE_KS[0] <= symbol_rate <= SYMBOL_RATE_KS[1]:
        return "symbolrate", None
    letter = POLARIZATION_LETTERS.get(polarization)
    if letter is None:
        return "polarization", None
    return None, (frequency, letter, symbol_rate)


def merge_near_duplicates(entries):
    """One entry per carrier. Tables disagree by a few hundred kHz ("11141" and
    "11141250") or by 1 MHz on the same carrier; two carriers of one polarization
    and one symbol rate of at least 1000 ks/s are at least 1.35 MHz apart, so
    same polarization and symbol rate within 1000 kHz is the same carrier. The
    whole-MHz value wins, else the lowest. Returns the kept set."""
    kept = set()
    chain = []

    def close():
        if chain:
            kept.add(min(chain, key=lambda e: (e[0] % 1000 != 0, e[0])))
            chain.clear()

    for entry in sorted(entries, key=lambda e: (e[1], e[2], e[0])):
        if chain and (entry[1], entry[2]) == (chain[-1][1], chain[-1][2]) and entry[0] - chain[-1][0] <= 1000:
            chain.append(entry)
        else:
            close()
            chain.append(entry)
    close()
    return kept


def entry_text(frequency, letter, symbol_rate):
    """ "11778,V,27500": MHz when whole, else kHz so that nothing is rounded away."""
    shown = frequency // 1000 if frequency % 1000 == 0 else frequency
    return "%d,%s,%d" % (shown, letter, symbol_rate)


def natural_key(text):
    match = re.match(r"(\d*)(.*)", text)
    return (int(match.group(1)) if match.group(1) else -1, match.group(2).lower(), text)


def combined_name(names):
    """ "Astra 1KR", "Astra 1L", "Astra" -> "Astra 1KR/1L"; families joined by ", "."""
    parts = []
    seen = set()
    for name in names:
        # "AsiaSat 6/Thaicom 7" names two satellites, "Nilesat 101/102" one.
        for part in re.split(r"/(?=[A-Za-z])", name):
            part = " ".join(part.split())
            if part and part.lower() not in seen:
                seen.add(part.lower())
                parts.append(part)
    # A bare family name says less than its members: "Astra" beside "Astra 1KR".
    lowered = [p.lower() for p in parts]
    parts = [p for p in parts if not any(o != p.lower() and o.startswith(p.lower() + " ") for o in lowered)]
    families = collections.OrderedDict()
    for part in sorted(parts, key=lambda p: p.lower()):
        words = part.split(" ")
        family = " ".join(words[:-1]) if len(words) > 1 else part
        member = words[-1] if len(words) > 1 else ""
        families.setdefault(family.lower(), (family, []))[1].append(member)
    groups = []
    for family, members in families.values():
        members = sorted(set(members), key=natural_key)
        if members == [""]:
            groups.append(family)
        else:
            groups.append(family + " " + "/".join(m for m in members if m))
    name = ", ".join(groups)
    if len(name) > MAX_NAME_CHARS:
        name = name[: MAX_NAME_CHARS - 3].rstrip(" ,/") + "..."
    return name


def file_text(key, name, entries):
    lines = ["[SATTYPE]", "1=%04d" % key, "2=" + name, "", "[DVB]", "0=%d" % len(entries)]
    lines += ["%d=%s" % (number, text) for number, text in enumerate(entries, 1)]
    return "".join(line + "\r\n" for line in lines).encode("ascii")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--source", default=DEFAULT_SOURCE, help="dtv-scan-tables dvb-s folder")
    parser.add_argument("--output", default=DEFAULT_OUTPUT, help="Transponders folder to (re)write")
    args = parser.parse_args()

    if not os.path.isdir(args.source):
        sys.exit("no tables at %s: install the Debian package dtv-scan-tables" % args.source)

    dropped = collections.Counter()
    positions = collections.defaultdict(lambda: {"names": [], "entries": set()})
    tables = 0
    read = 0
    no_position = []
    for file_name in sorted(os.listdir(args.source)):
        path = os.path.join(args.source, file_name)
        if not os.path.isfile(path):
            continue
        key, stem = position_key(file_name)
        if key is None:
            no_position.append(file_name)
            continue
        tables += 1
        lines, channels = read_table(path)
        kept = set()
        for channel in channels:
            read += 1
            reason, entry = judge(channel)
            if reason:
                dropped[reason] += 1
            else:
                kept.add(entry)
        if kept:
            positions[key]["names"].append(satellite_name(lines, stem))
            positions[key]["entries"] |= kept

    os.makedirs(args.output, exist_ok=True)
    for old in sorted(os.listdir(args.output)):
        if re.fullmatch(r"\d{4}\.ini", old):
            os.remove(os.path.join(args.output, old))

    kept_total = 0
    near = 0
    too_many = []
    for key in sorted(positions):
        distinct = positions[key]["entries"]
        merged = merge_near_duplicates(distinct)
        near += len(distinct) - len(merged)
        entries = [entry_text(*e) for e in sorted(merged)]
        for text in entries:
            assert 11 <= len(text) <= MAX_ENTRY_CHARS, text
        if len(entries) > MAX_ENTRIES:
            too_many.append((key, len(entries)))
            entries = entries[:MAX_ENTRIES]
        kept_total += len(entries)
        name = combined_name(positions[key]["names"])
        with open(os.path.join(args.output, "%04d.ini" % key), "wb") as handle:
            handle.write(file_text(key, name, entries))

    accepted = read - sum(dropped.values())
    print("read %d tables with %d transponders from %s" % (tables, read, args.source))
    for file_name in no_position:
        print("  skipped %s: no position in its name" % file_name)
    print("left out %d transponders the card cannot receive:" % sum(dropped.values()))
    for reason, text in REASONS:
        if dropped[reason]:
            print("  %5d  %s" % (dropped[reason], text))
    print(
        "removed %d duplicates (same frequency, polarization and symbol rate at one position)"
        % (accepted - sum(len(p["entries"]) for p in positions.values()))
    )
    print("merged %d near-duplicates (same polarization and symbol rate, within 1 MHz)" % near)
    for key, count in too_many:
        print("  %04d.ini: %d entries cut to %d" % (key, count, MAX_ENTRIES))
    all_keys = set()
    for file_name in os.listdir(args.source):
        key, _ = position_key(file_name)
        if key is not None:
            all_keys.add(key)
    print("positions without a receivable transponder (no file): %d" % len(all_keys - set(positions)))
    print("wrote %d files with %d entries to %s" % (len(positions), kept_total, os.path.normpath(args.output)))


if __name__ == "__main__":
    main()
