#!/usr/bin/env python3
"""Builds the result-code name and description tables of includes/errorfile.

The values come from the platform's own headers as Debian ships them for cross-compiling to
Windows (package mingw-w64-x86-64-dev). The script collects the code names that the headers define,
lets the cross compiler (package gcc-mingw-w64-x86-64-posix) evaluate every one of them, and reads
the values back from the assembly it writes. No header, source or library of any error-lookup
facility is used: only the headers that define the codes.

The output, includes/errorfile/DXErrorTables.inc, is committed; the normal build does not need the
cross headers. Run the script again after editing descriptions.txt:

    tools/errornames/generate.py            # rewrite the table
    tools/errornames/generate.py --report   # also print counts, families and joined entries

Joining rule (what a value's name is when several headers name it):

 1. Aliases are not names of their own. A name defined as nothing but another name
    (DIERR_OUTOFMEMORY E_OUTOFMEMORY, DI_OK S_OK) restates that name and adds nothing.
 2. The general results of winerror.h, its plain S_ and E_ names (S_OK, S_FALSE, E_FAIL,
    E_OUTOFMEMORY, E_INVALIDARG, ...), stand alone. Every family restates them under its own
    spelling (ERROR_SUCCESS and WBEM_S_NO_ERROR are 0, WBEM_S_FALSE is 1, the Win32 form of
    ERROR_OUTOFMEMORY is 0x8007000E); the value keeps the one name that every caller knows.
 3. A header that gives one value two names does not say which one it means there; at that value
    it contributes none (dinput.h calls 0x80070002 both DIERR_NOTFOUND and DIERR_OBJECTNOTFOUND;
    the value stays ERROR_FILE_NOT_FOUND). This is decided after the whole header is read, and for
    each value of the table on its own: winerror.h gives 1 the names S_FALSE and
    ERROR_INVALID_FUNCTION, so the small number 1 is S_FALSE by rule 2, but nothing else names
    0x80070001, which is ERROR_INVALID_FUNCTION.
 4. Every other value that several families name carries all of their names, joined by " & ",
    in the family order of FAMILIES below and, within a header, in the order of definition.
    Win32 codes count both as their small number and as their 0x8007xxxx HRESULT, and come first.

The rows that this rule must produce are checked at the end of every run (CHECKS); the script fails
when one of them changes.

DirectPlay Voice's codes (DVERR_, DV_) come from dvoice.txt beside this script: Debian's mingw-w64
headers have no dvoice.h, and the list gives its names with the codes that Microsoft's
documentation publishes. Its names join by the same rules, as one more header after dplay8.h.
Left out on purpose: the COM+ event system's EVENT_E_ codes (they reuse values whose DirectX
meaning the table keeps, see FAMILIES); the facilities newer than DirectX 9 (Direct2D, DirectWrite,
DXGI, Direct3D 10 to 12, WIC, the filtering platform, NAP, TBS, app model, DXVA2); the codes of
interfaces that DirectX 9 replaced (D3DERR_ of d3d.h, D3DRMERR_, DirectPlay 4's DPERR_); the
driver-side DIERR_ codes of dinputd.h; the diagnostics tool's DXDIAG_E_; and codes that are not
DirectX's (Video for Windows' AVIERR_ and ICERR_, DDE's DMLERR_, the IPsec WARNING_ codes).
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
DEFAULT_INCLUDE = "/usr/x86_64-w64-mingw32/include"
DEFAULT_CC = "x86_64-w64-mingw32-gcc"
OUTPUT = os.path.join(ROOT, "includes", "errorfile", "DXErrorTables.inc")
DESCRIPTIONS = os.path.join(HERE, "descriptions.txt")

# Family order decides the order of joined names. Each entry: header, what to include before
# it, a pattern for the names it contributes, and the enums whose members are codes.
FAMILIES = [
    {
        "header": "winerror.h",
        "prelude": ["windows.h"],
        # Win32 error numbers and the HRESULTs of the general COM, OLE, RPC, storage, security,
        # cryptography and COM+ facilities, with their kin. Facilities that came after
        # DirectX 9 (Direct2D, DirectWrite, DXGI, Direct3D 10 to 12, WIC, the filtering platform
        # and the like) do not belong to this platform and are left out. So are the COM+ event
        # system's EVENT_E_ codes: they reuse 0x80040200-0x80040210, where DirectInput, DirectShow
        # and the media objects define theirs, and this table keeps the DirectX meaning there.
        "names": r"[A-Z][A-Z0-9_]*_[A-Z0-9_]+",
        "exclude": r"^(FACILITY_|SEVERITY_|ERROR_SEVERITY_|_|D2DERR_|DWRITE_|DXGI_|D3D1[012]_|"
                   r"D3D10_|D3D11_|D3D12_|WINCODEC_|FWP_|APPMODEL_|NAP_|TBS_|WARNING_|"
                   r"__|NOERROR$|NO_ERROR$|SEC_E_OK$|HRESULT_|SCODE_|MAKE_|IS_ERROR|"
                   r"WINERROR|APPLICATION_ERROR_MASK|EVENT_E_)",
    },
    {"header": "mmstream.h", "prelude": ["windows.h", "ole2.h"], "names": r"MS_[SE]_\w+"},
    {
        "header": "wbemcli.h",
        "prelude": ["windows.h", "ole2.h"],
        "names": r"WBEM_[SE]_\w+|WBEMESS_E_\w+|WBEMMOF_E_\w+",
        "enums": ["tag_WBEMSTATUS"],
    },
    {"header": "d3d9.h", "prelude": ["windows.h"], "names": r"D3DERR_\w+|D3DOK_\w+|S_[A-Z_]+"},
    {"header": "d3dx9.h", "prelude": ["windows.h", "d3d9.h"], "names": r"D3DXERR_\w+",
     "enums": ["_D3DXERR"]},
    {"header": "d3dx9xof.h", "prelude": ["windows.h", "d3dx9.h"], "names": r"D3DXFERR_\w+"},
    {"header": "ddraw.h", "prelude": ["windows.h"], "names": r"DDERR_\w+"},
    {"header": "dsound.h", "prelude": ["windows.h"], "names": r"DSERR_\w+"},
    {"header": "dinput.h", "prelude": ["windows.h"], "define": "DIRECTINPUT_VERSION 0x0800",
     "names": r"DIERR_\w+"},
    {"header": "dmerror.h", "prelude": ["windows.h"], "names": r"DMUS_[SE]_\w+"},
    {"header": "dplay8.h", "prelude": ["windows.h"], "names": r"DPNERR_\w+|DPNSUCCESS_\w+"},
    # Not a header of the cross compiler's: a list of names and codes (see the top).
    {"list": "dvoice.txt", "names": r"DVERR_\w+|DV_\w+", "facility": 0x15},
    {"header": "vfwmsgs.h", "prelude": ["windows.h"], "names": r"VFW_[SE]_\w+|E_PROP_\w+"},
    {"header": "mediaerr.h", "prelude": ["windows.h"], "names": r"DMO_E_\w+"},
    {"header": "dxfile.h", "prelude": ["windows.h"], "names": r"DXFILEERR_\w+"},
]

# Range markers and masks: they name the edges of a block, not a result.
NOT_A_CODE = re.compile(r"(_FIRST|_LAST|_BASE|_MASK|_MIN|_MAX)$|DRIVERFIRST|DRIVERLAST|"
                        r"HANDLERFIRST|HANDLERLAST")

# Rows every run must reproduce.
CHECKS = {
    0x00000000: ("S_OK", "The function completed successfully"),
    0x00000001: ("S_FALSE", "Call successful, but returned FALSE"),
    0x00000002: ("ERROR_FILE_NOT_FOUND", "The system cannot find the file specified."),
    0x80070002: ("ERROR_FILE_NOT_FOUND", "The system cannot find the file specified."),
    0x80070001: ("ERROR_INVALID_FUNCTION", "Incorrect function."),
    0x80004005: ("E_FAIL", "An undetermined error occurred"),
    0x8007000E: ("E_OUTOFMEMORY", "Ran out of memory"),
    0x80070057: ("E_INVALIDARG", "An invalid parameter was passed to the returning function"),
    0x8007000C: ("ERROR_INVALID_ACCESS & DIERR_NOTACQUIRED",
                 "The operation cannot be performed unless the device is acquired."),
    0x8007001E: ("ERROR_READ_FAULT & DIERR_INPUTLOST",
                 "Access to the device has been lost.  It must be re-acquired."),
    0x88760868: ("D3DERR_DEVICELOST", "Device lost"),
    0x88760869: ("D3DERR_DEVICENOTRESET", "Device not reset"),
    0x8876086C: ("D3DERR_INVALIDCALL", "Invalid call"),
    0x00040002: ("OLE_S_MAC_CLIPFORMAT & MS_S_NOUPDATE & WBEM_S_RESET_TO_DEFAULT", None),
    0x00040001: ("OLE_S_STATIC & MS_S_PENDING & WBEM_S_ALREADY_EXISTS", None),
    0x00040003: ("MS_S_ENDOFSTREAM & WBEM_S_DIFFERENT", None),
    0x800700AA: ("ERROR_BUSY & DIERR_ACQUIRED", None),
    0x80070015: ("ERROR_NOT_READY & DIERR_NOTINITIALIZED", None),
    0x80040204: ("DIERR_HASEFFECTS & VFW_E_ALREADY_CONNECTED & DMO_E_NOTACCEPTING", None),
    # DirectPlay Voice, from dvoice.txt: values that Microsoft's documentation names.
    0x8015012C: ("DVERR_SESSIONLOST", None),
    0x8015017B: ("DVERR_NOTHOSTING", None),
    0x00150005: ("DV_FULLDUPLEX", None),
    0x80040301: (None, "DIERR_DRIVERFIRST+1"),
    0x80040305: (None, "DIERR_DRIVERFIRST+5"),
}


def read_header(path):
    text = open(path, encoding="latin-1").read()
    text = re.sub(r"\\\r?\n", " ", text)
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    text = re.sub(r"//[^\n]*", "", text)
    return text


def read_list(family):
    """A family given as a list: names in order of definition, each with its value as hexadecimal
    text, or with the name it is defined as (an alias)."""
    path = os.path.join(HERE, family["list"])
    wanted = re.compile(r"^(?:%s)$" % family["names"])
    found = []
    for lineno, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if not line.strip() or line.startswith("#"):
            continue
        fields = line.split("\t")
        if len(fields) != 4 or not wanted.match(fields[0]) or not fields[3]:
            sys.exit("%s:%d: expected NAME<TAB>severity<TAB>code<TAB>source or NAME<TAB>=OTHER<TAB><TAB>source"
                     % (path, lineno))
        name, severity, code, _ = fields
        if name in (n for n, _ in found):
            sys.exit("%s:%d: %s is listed twice" % (path, lineno, name))
        if severity.startswith("="):
            if code:
                sys.exit("%s:%d: an alias has no code" % (path, lineno))
            found.append((name, severity[1:]))
        elif severity in ("0", "1") and re.fullmatch(r"0x[0-9A-Fa-f]{1,4}", code):
            value = int(severity) << 31 | family["facility"] << 16 | int(code, 16)
            found.append((name, "0x%08X" % value))
        else:
            sys.exit("%s:%d: bad severity or code" % (path, lineno))
    return found


def collect(family, include):
    """Names of one family in order of definition, with their defining text."""
    if "list" in family:
        return read_list(family)
    text = read_header(os.path.join(include, family["header"]))
    wanted = re.compile(r"^(?:%s)$" % family["names"])
    exclude = re.compile(family["exclude"]) if "exclude" in family else None
    found = []
    seen = set()

    def take(name, body):
        if name in seen or not wanted.match(name):
            return
        if exclude and exclude.match(name):
            return
        if NOT_A_CODE.search(name):
            return
        seen.add(name)
        found.append((name, body.strip()))

    for m in re.finditer(r"^[ \t]*#[ \t]*define[ \t]+([A-Za-z_]\w*)(\(?)([^\n]*)$", text, re.M):
        if m.group(2):  # function-like macro
            continue
        take(m.group(1), m.group(3))
    for enum in family.get("enums", []):
        m = re.search(r"enum\s+%s\s*\{(.*?)\}" % re.escape(enum), text, re.S)
        if not m:
            sys.exit("enum %s not found in %s" % (enum, family["header"]))
        for item in m.group(1).split(","):
            if "=" in item:
                name, body = item.split("=", 1)
                take(name.strip(), body)
    return found


def is_alias(body):
    body = body.strip()
    while body.startswith("(") and body.endswith(")"):
        body = body[1:-1].strip()
    return re.fullmatch(r"[A-Za-z_]\w*", body) is not None and not re.fullmatch(r"\d\w*", body)


def evaluate(codes, include, cc):
    """Asks the cross compiler for the value of every name; drops names that are not constants.

    `codes` holds each family's names, in family order. All headers go into one translation unit,
    as a program that includes them all sees them: one compile instead of one per header, most of
    whose time went into windows.h. A name that a later header defines again would then have the
    later definition, so the script stops when the compiler reports a redefinition of any name it
    evaluates."""
    names = [(rank, name) for rank, family_names in enumerate(codes) for name in family_names]
    head = []
    for family in FAMILIES:
        if "define" in family:
            head.append("#define " + family["define"])
    head.append("#define COBJMACROS")
    for family in FAMILIES:
        if "list" in family:
            continue
        for h in family["prelude"] + [family["header"]]:
            if "#include <%s>" % h not in head:
                head.append("#include <%s>" % h)
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "values.c")
        for _ in range(20):
            lines = head + ["const long long zr_value_%d = (long long)(%s);" % (i, name)
                            for i, (_, name) in enumerate(names)]
            first = len(head) + 1
            open(src, "w").write("\n".join(lines) + "\n")
            proc = subprocess.run([cc, "-S", "-O0", "-I", include, "-o", "-", src],
                                  capture_output=True, text=True)
            redefined = set(re.findall(r'warning: "(\w+)" redefined', proc.stderr))
            redefined &= {name for _, name in names}
            if redefined:
                sys.exit("defined twice by the headers: %s" % ", ".join(sorted(redefined)))
            if proc.returncode == 0:
                break
            bad = set()
            for m in re.finditer(r"values\.c:(\d+):\d+: error", proc.stderr):
                line = int(m.group(1))
                if line >= first:
                    bad.add(line - first)
            if not bad:
                sys.exit("cannot evaluate the headers:\n%s" % proc.stderr[:3000])
            for i in sorted(bad, reverse=True):
                print("  not a constant, left out: %s" % names[i][1], file=sys.stderr)
                del names[i]
        else:
            sys.exit("giving up on the headers")
    values = {}
    # A value is written as ".quad N", or as ".space 8" when it is zero.
    for m in re.finditer(r"zr_value_(\d+):\s*(?:\.quad\s+(-?\d+)|\.(?:space|zero)\s+8)", proc.stdout):
        values[int(m.group(1))] = int(m.group(2) or 0) & 0xFFFFFFFF
    if len(values) != len(names):
        sys.exit("no value read back for %s" % [n for i, (_, n) in enumerate(names) if i not in values][:5])
    per_family = [[] for _ in codes]
    for i, (rank, name) in enumerate(names):
        per_family[rank].append((name, values[i]))
    return per_family


def to_signed(v):
    return v - (1 << 32) if v & 0x80000000 else v


def build_names(include, cc, report):
    per_value = {}   # value -> list of (rank, order, name), rules 3 and 4
    standalone = {}  # value -> name (rule 2)
    family_counts = []
    order = 0
    found = [collect(family, include) for family in FAMILIES]
    # The compiler evaluates the headers' names; a list's names come with their values.
    codes = [[n for n, body in f if not is_alias(body)] if "list" not in family else []
             for family, f in zip(FAMILIES, found)]
    values = evaluate(codes, include, cc)
    defined = {n for f in found for n, _ in f}
    for rank, family in enumerate(FAMILIES):
        if "list" not in family:
            continue
        for name, body in found[rank]:
            if is_alias(body) and body not in defined:
                sys.exit("%s: %s is defined as %s, which no header defines" % (family["list"], name, body))
        values[rank] = [(n, int(body, 16)) for n, body in found[rank] if not is_alias(body)]
    for rank, family in enumerate(FAMILIES):
        aliases = [n for n, body in found[rank] if is_alias(body)]
        evaluated = values[rank]
        family_counts.append((family.get("header") or family["list"], len(evaluated), len(aliases)))
        general = family.get("header") == "winerror.h"
        # Every table value that a name of this header stands for. Win32 numbers also exist as
        # HRESULTs of FACILITY_WIN32.
        placed = []
        for name, value in evaluated:
            placed.append((name, value))
            if general and name.startswith("ERROR_") and 0 < value < 0x10000:
                placed.append((name, 0x80070000 | value))
            if general and re.fullmatch(r"[SE]_[A-Z_]+", name):
                standalone.setdefault(value, name)
        # Rule 3 looks at the whole header, and at each table value on its own.
        names_at = {}
        for name, value in placed:
            names_at[value] = names_at.get(value, 0) + 1
        for name, value in placed:
            if names_at[value] > 1:
                continue
            per_value.setdefault(value, []).append((rank, order, name))
            order += 1
    table = dict(standalone)
    for value, items in per_value.items():
        if value in standalone:
            continue
        names = []
        for _, _, name in sorted(items):
            if name not in names:
                names.append(name)
        table[value] = " & ".join(names)
    if report:
        distinct = set()
        for joined in table.values():
            distinct.update(joined.split(" & "))
        print("families (header, codes, aliases left out):")
        for h, n, a in family_counts:
            print("  %-12s %5d %4d" % (h, n, a))
        print("distinct names in the table: %d, values: %d" % (len(distinct), len(table)))
        joined = sorted(v for v, n in table.items() if " & " in n)
        print("joined entries: %d" % len(joined))
        for v in joined:
            print("  0x%08X %s" % (v, table[v]))
    return table


def load_descriptions(path, names_by_value, report):
    """descriptions.txt: 'NAME<TAB>text' or '0xVALUE<TAB>text'; '#' starts a comment line."""
    name_to_values = {}
    for value, joined in sorted(names_by_value.items()):
        for name in joined.split(" & "):
            name_to_values.setdefault(name, []).append(value)
    per_value = {}
    for lineno, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if not line.strip() or line.startswith("#"):
            continue
        if "\t" not in line:
            sys.exit("%s:%d: expected NAME<TAB>description" % (path, lineno))
        key, text = line.split("\t", 1)
        text = text.strip()
        if not text:
            sys.exit("%s:%d: empty description" % (path, lineno))
        if re.fullmatch(r"0x[0-9A-Fa-f]{1,8}", key):
            values = [int(key, 16)]
        elif key in name_to_values:
            values = name_to_values[key]
        else:
            sys.exit("%s:%d: %s is not a name of the table" % (path, lineno, key))
        for value in values:
            texts = per_value.setdefault(value, [])
            if text not in texts:
                texts.append(text)
    table = {v: " & ".join(t) for v, t in per_value.items()}
    if report:
        print("descriptions: %d values, %d distinct texts"
              % (len(table), len(set(t for ts in per_value.values() for t in ts))))
    return table


def c_string(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


def write_table(path, names, descriptions):
    def rows(table):
        out = []
        for value in sorted(table, key=to_signed):
            out.append("    {%d, %s}," % (to_signed(value), c_string(table[value])))
        return "\n".join(out)

    text = ("// Generated by tools/errornames/generate.py from the platform's code headers.\n"
            "// Do not edit: change the generator or tools/errornames/descriptions.txt instead.\n"
            "// Rows are sorted by value as a signed 32-bit number.\n\n"
            "static const ResultCodeText kResultNames[] = {\n%s\n};\n\n"
            "static const ResultCodeText kResultDescriptions[] = {\n%s\n};\n"
            % (rows(names), rows(descriptions)))
    open(path, "w").write(text)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--include", default=DEFAULT_INCLUDE)
    ap.add_argument("--cc", default=DEFAULT_CC)
    ap.add_argument("--output", default=OUTPUT)
    ap.add_argument("--report", action="store_true")
    ap.add_argument("--check", action="store_true",
                    help="compare with the committed table instead of writing it")
    args = ap.parse_args()
    if not os.path.isdir(args.include):
        sys.exit("%s is missing: apt-get install mingw-w64-x86-64-dev gcc-mingw-w64-x86-64-posix"
                 % args.include)
    names = build_names(args.include, args.cc, args.report)
    descriptions = load_descriptions(DESCRIPTIONS, names, args.report)
    failed = False
    for value, (name, text) in CHECKS.items():
        if name is not None and names.get(value) != name:
            print("0x%08X: name %r, expected %r" % (value, names.get(value), name), file=sys.stderr)
            failed = True
        if text is not None and descriptions.get(value) != text:
            print("0x%08X: description %r, expected %r" % (value, descriptions.get(value), text),
                  file=sys.stderr)
            failed = True
    if failed:
        sys.exit("the table does not reproduce the required rows")
    if args.check:
        with tempfile.TemporaryDirectory() as tmp:
            fresh = os.path.join(tmp, "table.inc")
            write_table(fresh, names, descriptions)
            if open(fresh).read() != open(args.output).read():
                sys.exit("%s differs from what the generator makes: run %s" % (args.output, sys.argv[0]))
        print("%s is up to date" % os.path.relpath(args.output, ROOT))
        return
    write_table(args.output, names, descriptions)
    print("wrote %s: %d names, %d descriptions" % (os.path.relpath(args.output, ROOT), len(names),
                                                    len(descriptions)))


if __name__ == "__main__":
    main()
