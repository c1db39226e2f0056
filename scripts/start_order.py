"""Writes cgi/start_order.ld: the code and data a short run of quillopro.exe
touches, placed side by side at the start of each of the program's parts.

A run touches some hundred pages of code spread over five megabytes, and
its data over as many pages again; the kernel maps a program's file 64 KiB
at a time and copies each page written, at about 2 us a fault, so those
pages cost several times the faults they would packed. This script runs the
bench's short cases (the debug report, ERROR 300, the required-field page,
one delivery) under valgrind's lackey, which lists every instruction and
every access to memory, finds for each the input section of the link that
holds it (from the linker's map), and writes those sections, in the order
the runs first reached them, as output sections the link inserts before
.text, .rodata, .data and .bss. A section the list names and a later build
lacks matches nothing, so a stale list costs speed, never correctness.

Run it through scripts/start-order.sh, which builds the program (its link
writes the map) and starts this in a private network namespace (the
delivery case needs the bench's sink on its address).

usage: start_order.py PROGRAM MAP OUTPUT"""

import bisect
import os
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "bench"))
import bench_run  # noqa: E402

CASES = ("debug", "error 300", "required", "delivery")
# The output sections whose start gets what the runs touch, and the input
# sections each may take: only the usual names, as a named section (glibc's
# __libc_IO_vtables, say) may be bounded by __start_ and __stop_ symbols
# that must stay around it.
PARTS = ((".text", "I", re.compile(r"^\.text(\.|$)")),
         (".rodata", "L", re.compile(r"^\.rodata(\.|$)")),
         (".data", "LSM", re.compile(r"^\.data(\.|$)(?!rel\.ro)")),
         (".bss", "LSM", re.compile(r"^\.bss(\.|$)")))
# Names that a library built without a section per function or object gives
# the whole of one object file's part.
GENERIC_SECTION = re.compile(r"^\.(text(\.(unlikely|hot|startup|exit))?|rodata|data(\.rel(\.local)?)?|bss)$")
# Constants and strings the link merges across the objects of one output
# section: a touched one lies in the part of whichever object came first,
# and the code that uses it may be another's, so both objects' go, and
# with a function the strings of its own (.rodata.<name>.str1.1).
MERGED_SECTION = re.compile(r"^\.rodata(\.[^ ]+)?\.(str|cst)[0-9.]+$")
MERGED = "(.rodata.str* .rodata.cst*)"
# A function's own section, and with it the name of its strings' section
# (.rodata.<name>.str1.1 in a build with a section per object).
FUNCTION_SECTION = re.compile(r"^\.text\.((unlikely|startup|hot|exit)\.)?(?P<name>.+)$")
# glibc picks a string function's variant by the processor (sse2, avx2,
# evex, ...); valgrind's emulated processor need not pick the one a server
# does, so every variant of a used function goes into the list.
GLIBC_VARIANT = re.compile(r"^(?P<family>[a-z_0-9]+?)-(sse2|sse4|ssse3|avx|avx2|avx512|evex|erms|vec)\b")
# What a run does that valgrind's does not: glibc sets up the vDSO, which
# valgrind gives no program.
UNTRACED = tuple("*libc.a:%s(.text)" % name for name in ("dl-object.o", "dl-misc.o", "dl-lookup.o", "dl-setup_hash.o"))


def input_sections(map_path):
    """(start, end, section, file, part) of every input section of the parts in the map, by start."""
    parts = {name: name for name, _, _ in PARTS}
    parts.update({name + ".start_order": name for name, _, _ in PARTS})
    sections, pending, part = [], None, None
    with open(map_path) as f:
        for line in f:
            if line.strip() and not line[0].isspace():
                part = parts.get(line.split()[0])
                continue
            if part is None:
                continue
            fields = line.split()
            if len(fields) == 1 and line.startswith(" .") and not line.startswith(" *"):
                pending = fields[0]  # a long name: its figures are on the next line
                continue
            if line.startswith(" .") and len(fields) >= 4:
                name, fields = fields[0], fields[1:]
            elif pending and len(fields) >= 3 and fields[0].startswith("0x"):
                name = pending
            else:
                pending = None
                continue
            pending = None
            start, size = int(fields[0], 16), int(fields[1], 16)
            if size:
                sections.append((start, start + size, name, " ".join(fields[2:]), part))
    sections.sort()
    return sections


def touched_addresses(trace):
    """(kind, address) of every instruction and access, in the order first made."""
    seen, order = set(), []
    with open(trace) as f:
        for line in f:
            kind = line[:2].strip()
            if kind in ("I", "L", "S", "M"):
                address = int(line[3:].split(",")[0], 16)
                if (kind, address) not in seen:
                    seen.add((kind, address))
                    order.append((kind, address))
    return order


def object_of(file):
    """The linker script pattern of one input file: lib.a:member.o, or the name of a file of its own."""
    member = re.match(r"^(?:.*/)?(?P<lib>[^/(]+\.a)\((?P<member>[^)]+)\)$", file)
    return "*%s:%s" % (member.group("lib"), member.group("member")) if member else "*" + os.path.basename(file)


def pattern_of(section, file):
    """The linker script pattern that names one input section."""
    merged = MERGED_SECTION.match(section)
    if merged:
        # One function's strings have a name of their own; the rest go by object.
        return "*(%s)" % section if merged[1] else object_of(file) + MERGED
    glibc = re.match(r"^(.*/)?lib(c|m-[0-9.]+)\.a\(", file)
    if not glibc and not GENERIC_SECTION.match(section):
        return "*(%s)" % section  # a section per function or object: its name is enough
    variant = GLIBC_VARIANT.match(file.split("(")[-1]) if glibc and section.startswith(".text") else None
    if variant:
        return "*libc.a:%s-*.o(.text .text.*)" % variant.group("family")  # see in_variant_order
    return "%s(%s)" % (object_of(file), section)


def traced_runs(program, work):
    """One lackey trace per case, in work; their paths."""
    os.chdir(work)
    for document, text in bench_run.DOCUMENTS.items():
        with open(document, "w") as f:
            f.write(text)
    shutil.copy(program, "quillopro.exe")
    cases = bench_run.program_cases(os.path.abspath("quillopro.exe"))
    sink = bench_run.Sink()
    traces = []
    for name in CASES:
        case = cases[name]
        trace = os.path.join(work, "trace-%d" % len(traces))
        case.argv = [shutil.which("valgrind"), "--tool=lackey", "--trace-mem=yes", "--log-file=" + trace] + case.argv
        case.run(sink)
        traces.append(trace)
    return traces


def touched_sections(program, sections):
    """Per part, the patterns of the input sections the runs touched, in the order first touched."""
    starts = [s[0] for s in sections]
    kinds = {name: kinds for name, kinds, _ in PARTS}
    names = {name: names for name, _, names in PARTS}
    patterns = {name: [] for name, _, _ in PARTS}
    patterns[".text"] += UNTRACED

    def add(part, pattern):
        if pattern not in patterns[part]:
            patterns[part].append(pattern)

    with tempfile.TemporaryDirectory() as work:
        for trace in traced_runs(program, work):
            for kind, address in touched_addresses(trace):
                at = bisect.bisect_right(starts, address) - 1
                if at < 0 or address >= sections[at][1]:
                    continue
                _, _, section, file, part = sections[at]
                if kind not in kinds[part] or not names[part].match(section):
                    continue
                add(part, pattern_of(section, file))
                if part == ".text":
                    add(".rodata", object_of(file) + MERGED)
                    function = FUNCTION_SECTION.match(section)
                    if function and not GENERIC_SECTION.match(section):
                        add(".rodata", "*(.rodata.%s.str* .rodata.%s.cst*)" % (function["name"], function["name"]))
    patterns[".text"] = in_variant_order(patterns[".text"])
    return patterns


def in_variant_order(patterns):
    """The variants of string functions that today's servers run, AVX-512
    (evex) and AVX2, first, as every run calls them from its start on; the
    others, which most processors never run, last. A section goes where its
    first pattern says."""
    families = [p for p in patterns if "-*.o(" in p]
    likely = [p.replace("-*.o(", "-%s*.o(" % kind) for kind in ("evex", "avx") for p in families]
    return likely + [p for p in patterns if p not in families] + families


def main(program, map_path, output):
    patterns = touched_sections(program, input_sections(map_path))
    with open(output, "w") as f:
        f.write("/* What a short run of quillopro.exe touches, in the order it first does,\n"
                "   side by side before the rest of each part; written by\n"
                "   scripts/start-order.sh (see scripts/start_order.py). */\n")
        for part, _, _ in PARTS:
            f.write("SECTIONS\n{\n  %s.start_order :\n  {\n" % part)
            f.writelines("    %s\n" % pattern for pattern in patterns[part])
            f.write("  }\n}\nINSERT BEFORE %s;\n" % part)
    print(", ".join("%s: %d sections" % (part, len(patterns[part])) for part, _, _ in PARTS))


if __name__ == "__main__":
    main(*[os.path.abspath(path) for path in sys.argv[1:4]])
