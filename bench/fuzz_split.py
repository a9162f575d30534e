#!/usr/bin/env python3
"""Mutation driver: parvane-split against damaged and hostile packages.

usage: bench/fuzz_split.py --split BUILD/bin/parvane-split [--count N] [--rng N]
                           [--work DIR] [--check TOOLS/docx-check] [--timeout S]
                           [--max-rss MB] [--only NAME] SEED.docx|FOLDER...

Each mutant is made from a seed package picked at random: either the zip's
bytes are damaged (bytes flipped, cut short, a range zeroed) or the package is
unpacked, one to three of its parts are changed and it is zipped again. The
changes to the XML aim at what a hostile or broken writer produces: elements
and attributes deleted, duplicated or renamed, section properties in odd
places, tables, content controls and hyperlinks nested thousands deep, huge
attribute values, relationship ids that name nothing, relationships that point
at their own part, outside the package ("../../etc/passwd", "/etc/passwd",
"%2e%2e/x", "a\\..\\..\\x") or at parts that are gone, long runs of sections,
broken content types, duplicate zip entries and entries named "../x".

Every mutant is split with `parvane-split -o OUT mutant.docx` in a fresh
working folder, given --timeout seconds (20) and, in a build without
sanitizers, an address-space limit. A run is flagged when it
  - exits other than 0 or 1, dies of a signal or runs out of time;
  - prints a sanitizer report, "terminate called" or an assertion;
  - reports a description that reads like an internal error (library names,
    std::, bad_alloc) rather than one a user can act on;
  - leaves a temporary file ("~*.tmp") in OUT, or writes anything outside OUT;
  - peaks above --max-rss MiB (1024) of memory;
  - (with --check) writes a piece that docx-check rejects while the mutant
    itself passes docx-check (checked when a mutant gives at most 40 pieces).
Flagged mutants are kept in WORK/findings with a .txt that says what was
changed and why the run was flagged; a summary of every kind closes the run.

Seeds: packages from `parvane-make-samples KIND RECORDS FILE`, the
`build-h/bin/Samples` folder, or read-only corpus files (never copied into
the project). Run one driver at a time: it starts one split after another.
This is a tool for developers, not a test.
"""
import argparse
import io
import os
import random
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import warnings
import zipfile
from xml.dom import minidom

warnings.simplefilter("ignore")  # zipfile warns about duplicate names, which we make on purpose

W = "w:"
REL_HEADER = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/header"
REL_FOOTER = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer"
REL_IMAGE = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image"
REL_FOOTNOTES = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footnotes"
REL_DIAGRAM = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/diagramData"

HOSTILE_TARGETS = [
    "../../etc/passwd", "/etc/passwd", "../../../../../../tmp/fuzz-escape.xml",
    "%2e%2e/%2e%2e/etc/passwd", "word\\..\\..\\evil.xml", "..\\..\\evil.xml", "",
    ".", "/", "word/", "document.xml", "../word/document.xml", "file:///etc/passwd",
    "http://example.invalid/x.xml", "header1.xml#frag", "a%00b.xml", "%ZZ.xml",
    "C:\\Windows\\win.ini", "//server/share/x.xml", "x" * 70000, "../_rels/.rels",
    "_rels/document.xml.rels", "../[Content_Types].xml",
]
INTERNAL_WORDS = re.compile(
    r"basic_string|vector::|std::|stoi|stoul|stoll|map::at|bad_alloc|unordered_map|pugi|_M_|"
    r"out_of_range|invalid_argument|length_error|filesystem error")
SANITIZER = re.compile(r"AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|runtime error:|"
                       r"terminate called|Assertion .* failed|stack-overflow")


# ---------------------------------------------------------------- packages

def read_package(path):
    with zipfile.ZipFile(path) as z:
        return [(i.filename, z.read(i)) for i in z.infolist()]


def write_package(parts):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in parts:
            z.writestr(zipfile.ZipInfo(name, (2020, 1, 1, 0, 0, 0)), data,
                       compress_type=zipfile.ZIP_DEFLATED)
    return buf.getvalue()


def part_index(parts, name):
    for k, (n, _) in enumerate(parts):
        if n == name:
            return k
    return -1


def main_part(parts):
    k = part_index(parts, "word/document.xml")
    return k if k >= 0 else next((i for i, (n, _) in enumerate(parts) if n.endswith(".xml")), 0)


# ---------------------------------------------------------------- XML mutations

def elements(node, out=None):
    out = [] if out is None else out
    for c in node.childNodes:
        if c.nodeType == c.ELEMENT_NODE:
            out.append(c)
            elements(c, out)
    return out


def named(dom, local):
    return [e for e in elements(dom.documentElement) if e.tagName.split(":")[-1] == local]


def m_delete_element(dom, r):
    els = elements(dom.documentElement)
    if not els:
        return "nothing"
    e = r.choice(els)
    e.parentNode.removeChild(e)
    return "deleted <%s>" % e.tagName


def random_attribute(dom, r):
    """An element that has attributes and the name of one of them, or None."""
    els = [e for e in elements(dom.documentElement) if e.attributes.length]
    if not els:
        return None
    e = r.choice(els)
    return e, r.choice(list(e.attributes.keys()))


def m_delete_attribute(dom, r):
    picked = random_attribute(dom, r)
    if not picked:
        return "nothing"
    e, name = picked
    e.removeAttribute(name)
    return "deleted @%s of <%s>" % (name, e.tagName)


# Large repeats and deep nests are spliced into the serialised XML in place of
# a marker comment: building them as DOM nodes is slow, and minidom's writer
# recurses once per level.
SPLICES = {}


def splice(dom, before, text):
    marker = "FUZZ%d" % len(SPLICES)
    SPLICES[marker] = text
    before.parentNode.insertBefore(dom.createComment(marker), before)


def apply_splices(data):
    for marker, text in SPLICES.items():
        data = data.replace(("<!--%s-->" % marker).encode(), text.encode("utf-8"))
    SPLICES.clear()
    return data


def m_duplicate(dom, r):
    els = elements(dom.documentElement)
    if not els:
        return "nothing"
    e = r.choice(els)
    times = r.choice([1, 1, 2, 50, 3000])
    splice(dom, e, e.toxml() * times)
    return "duplicated <%s> x%d" % (e.tagName, times)


def m_rename(dom, r):
    els = elements(dom.documentElement)
    if len(els) < 2:
        return "nothing"
    a, b = r.sample(els, 2)
    old = a.tagName
    a.tagName = a.nodeName = b.tagName
    return "renamed <%s> to <%s>" % (old, b.tagName)


def m_move(dom, r):
    els = elements(dom.documentElement)
    if len(els) < 2:
        return "nothing"
    a, b = r.sample(els, 2)
    node = b
    while node is not None:  # never into its own subtree
        if node is a:
            return "nothing"
        node = node.parentNode
    a.parentNode.removeChild(a)
    b.appendChild(a)
    return "moved <%s> into <%s>" % (a.tagName, b.tagName)


def m_sectpr_odd(dom, r):
    sects = named(dom, "sectPr")
    if not sects:
        return "nothing"
    s = r.choice(sects).cloneNode(True)
    targets = [e for e in elements(dom.documentElement)
               if e.tagName.split(":")[-1] in ("r", "t", "tc", "tr", "tbl", "sdtContent", "hyperlink",
                                               "pPr", "rPr", "body", "sectPr", "ins", "del", "p")]
    if not targets:
        return "nothing"
    t = r.choice(targets)
    if r.random() < 0.5 and t.firstChild is not None:
        t.insertBefore(s, t.firstChild)
    else:
        t.appendChild(s)
    return "sectPr into <%s>" % t.tagName


def m_nest(dom, r):
    paras = named(dom, "p")
    if not paras:
        return "nothing"
    p = r.choice(paras)
    kind = r.choice(["sdt", "tbl", "hyperlink", "customXml", "ins", "smartTag", "fldSimple", "sdtInline"])
    depth = r.choice([200, 5000, 60000])
    if kind in ("hyperlink", "smartTag", "fldSimple", "sdtInline"):
        # inline wrappers inside the paragraph, around a run
        runs = [c for c in p.childNodes if c.nodeType == c.ELEMENT_NODE and c.tagName == W + "r"]
        inner = runs[0].toxml() if runs else "<w:r><w:t>x</w:t></w:r>"
        if kind == "sdtInline":
            opening, closing = "<w:sdt><w:sdtContent>", "</w:sdtContent></w:sdt>"
        else:
            opening, closing = "<w:%s>" % kind, "</w:%s>" % kind
        marker = dom.createElement("w:r")
        p.appendChild(marker)
        splice(dom, marker, opening * depth + inner + closing * depth)
        p.removeChild(marker)
        return "inline %s nested %d deep" % (kind, depth)
    inner = p.toxml()
    if kind == "sdt":
        opening, closing = "<w:sdt><w:sdtContent>", "</w:sdtContent></w:sdt>"
    elif kind == "tbl":
        opening, closing = "<w:tbl><w:tr><w:tc>", "<w:p/></w:tc></w:tr></w:tbl>"
    else:
        opening, closing = "<w:%s>" % kind, "</w:%s>" % kind
    splice(dom, p, opening * depth + inner + closing * depth)
    return "block %s nested %d deep" % (kind, depth)


def m_huge_attribute(dom, r):
    picked = random_attribute(dom, r)
    if not picked:
        return "nothing"
    e, name = picked
    value = r.choice(["9" * 400, "-" + "9" * 30, "4294967296", "-2147483649", "NaN", "x" * 3000000,
                      "1e999", "0x7fffffff", "2147483647", "-1", "\u202e" * 1000])
    e.setAttribute(name, value)
    return "@%s of <%s> = %s..." % (name, e.tagName, value[:20])


def m_bad_rid(dom, r):
    refs = [(e, a) for e in elements(dom.documentElement) for a in list(e.attributes.keys())
            if a.startswith("r:")]
    if not refs:
        return "nothing"
    e, a = r.choice(refs)
    value = r.choice(["rIdNone", "", "rId1", "rId" + "9" * 50, "&", "rId1 rId2"])
    e.setAttribute(a, value)
    return "@%s of <%s> = %r" % (a, e.tagName, value[:20])


def m_fields(dom, r):
    runs = named(dom, "r")
    if not runs:
        return "nothing"
    run = r.choice(runs)
    kind = r.choice(["begin", "separate", "end"])
    times = r.choice([1, 100, 20000])
    for _ in range(times):
        f = dom.createElement(W + "fldChar")
        f.setAttribute(W + "fldCharType", kind)
        run.appendChild(f)
    return "%d fldChar %s" % (times, kind)


def m_text(dom, r):
    ts = named(dom, "t")
    if not ts:
        return "nothing"
    t = r.choice(ts)
    while t.firstChild:
        t.removeChild(t.firstChild)
    text = r.choice(["\f" * 10, "\r\a\r\a", "^b", "\x0b\x0c\x0e", "x" * 2000000, "\ufffd\U0001F600",
                     "\u0001\u0002"])
    t.appendChild(dom.createTextNode(text))
    return "text %r..." % text[:10]


def m_sym(dom, r):
    runs = named(dom, "r")
    if not runs:
        return "nothing"
    s = dom.createElement(W + "sym")
    s.setAttribute(W + "char", r.choice(["FFFFFFFFFFFF", "D800", "110000", "-1", "zz", ""]))
    r.choice(runs).appendChild(s)
    return "sym char=%s" % s.getAttribute(W + "char")


def m_many_sections(dom, r):
    bodies = named(dom, "body")
    sects = named(dom, "sectPr")
    if not bodies or not sects:
        return "nothing"
    body = bodies[0]
    first = next((c for c in body.childNodes if c.nodeType == c.ELEMENT_NODE), None)
    if first is None:
        return "nothing"
    count = r.choice([2000, 20000])
    p = "<w:p><w:pPr>%s</w:pPr><w:r><w:t>Record</w:t></w:r></w:p>" % sects[-1].toxml()
    splice(dom, first, p * count)
    return "%d sections" % count


def m_many_tables(dom, r):
    bodies = named(dom, "body")
    if not bodies:
        return "nothing"
    first = next((c for c in bodies[0].childNodes if c.nodeType == c.ELEMENT_NODE), None)
    if first is None:
        return "nothing"
    count = r.choice([3000, 20000])
    splice(dom, first, "<w:tbl><w:tr><w:tc><w:p/></w:tc></w:tr></w:tbl>" * count)
    return "%d tables" % count


def m_namespace(dom, r):
    root = dom.documentElement
    attrs = [a for a in root.attributes.keys() if a.startswith("xmlns")]
    if not attrs:
        return "nothing"
    a = r.choice(attrs)
    value = r.choice(["", "urn:other", "http://purl.oclc.org/ooxml/wordprocessingml/main"])
    root.setAttribute(a, value)
    return "%s = %r" % (a, value)


XML_MUTATORS = [m_delete_element, m_delete_attribute, m_duplicate, m_rename, m_move, m_sectpr_odd,
                m_nest, m_huge_attribute, m_bad_rid, m_fields, m_text, m_sym, m_many_sections,
                m_many_tables, m_namespace]


def mutate_rels(data, part, r):
    """Relationship targets outside the package, at their own part, or duplicated ids."""
    dom = minidom.parseString(data)
    rels = [e for e in elements(dom.documentElement) if e.tagName == "Relationship"]
    what = r.choice(["target", "self", "type", "dupid", "external", "add"])
    if what == "add" or not rels:
        e = dom.createElement("Relationship")
        e.setAttribute("Id", r.choice(["rId1", "rIdX%d" % r.randrange(100)]))
        e.setAttribute("Type", r.choice([REL_HEADER, REL_FOOTER, REL_IMAGE, REL_FOOTNOTES, REL_DIAGRAM]))
        e.setAttribute("Target", r.choice(HOSTILE_TARGETS))
        dom.documentElement.appendChild(e)
        return dom.toxml("UTF-8"), "rels: added %s -> %r" % (e.getAttribute("Id"), e.getAttribute("Target")[:40])
    e = r.choice(rels)
    if what == "target":
        e.setAttribute("Target", r.choice(HOSTILE_TARGETS))
    elif what == "self":
        own = part.replace("_rels/", "").rsplit(".rels", 1)[0]
        e.setAttribute("Target", "/" + own if own else "/_rels/.rels")
    elif what == "type":
        e.setAttribute("Type", r.choice([REL_HEADER, REL_FOOTNOTES, REL_DIAGRAM, REL_IMAGE, "", "x"]))
    elif what == "dupid":
        other = r.choice(rels)
        e.setAttribute("Id", other.getAttribute("Id"))
    else:
        e.setAttribute("TargetMode", r.choice(["External", "Internal", "external"]))
    return dom.toxml("UTF-8"), "rels: %s of %s -> %r" % (what, e.getAttribute("Id"),
                                                       e.getAttribute("Target")[:40])


def mutate_types(data, r):
    dom = minidom.parseString(data)
    els = elements(dom.documentElement)
    what = r.choice(["drop", "badpart", "maintype", "dupext"])
    if what == "drop" and els:
        e = r.choice(els)
        e.parentNode.removeChild(e)
    elif what == "badpart" and els:
        e = r.choice(els)
        e.setAttribute("PartName", r.choice(["", "/", "/../../etc/passwd", "word/document.xml", "%"]))
    elif what == "maintype":
        for e in els:
            if e.getAttribute("PartName") == "/word/document.xml":
                e.setAttribute("ContentType", r.choice(["", "text/plain", "application/xml", "x" * 5000]))
    else:
        e = dom.createElement("Default")
        e.setAttribute("Extension", r.choice(["xml", "XML", "", "rels"]))
        e.setAttribute("ContentType", "application/octet-stream")
        dom.documentElement.appendChild(e)
    return dom.toxml("UTF-8"), "content types: " + what


def mutate_package(parts, r):
    """Returns (bytes, description) of one mutant."""
    notes = []
    parts = list(parts)
    for _ in range(r.choice([1, 1, 1, 2, 3])):
        what = r.random()
        xml_parts = [k for k, (n, _) in enumerate(parts) if n.endswith(".xml") and not n.startswith("[")]
        if what < 0.45 and xml_parts:
            main = main_part(parts)
            k = main if r.random() < 0.6 else r.choice(xml_parts)
            name, data = parts[k]
            if len(data) > 3_000_000:
                continue
            try:
                dom = minidom.parseString(data)
            except Exception:
                continue
            m = r.choice(XML_MUTATORS)
            SPLICES.clear()
            notes.append("%s: %s" % (name, m(dom, r)))
            parts[k] = (name, apply_splices(dom.toxml("UTF-8")))
        elif what < 0.65:
            rels = [k for k, (n, _) in enumerate(parts) if n.endswith(".rels")]
            if not rels:
                continue
            k = r.choice(rels)
            try:
                data, note = mutate_rels(parts[k][1], parts[k][0], r)
            except Exception:
                continue
            parts[k] = (parts[k][0], data)
            notes.append("%s: %s" % (parts[k][0], note))
        elif what < 0.72:
            k = part_index(parts, "[Content_Types].xml")
            if k < 0:
                continue
            try:
                data, note = mutate_types(parts[k][1], r)
            except Exception:
                continue
            parts[k] = (parts[k][0], data)
            notes.append(note)
        elif what < 0.80:
            k = r.randrange(len(parts))
            notes.append("removed part %s" % parts[k][0])
            del parts[k]
            if not parts:
                parts = [("x", b"")]
        elif what < 0.86:
            k = r.randrange(len(parts))
            name, data = parts[k]
            how = r.choice(["dup", "case", "dotdot", "abs", "dir"])
            if how == "dup":
                parts.append((name, data[: len(data) // 2]))
            elif how == "case":
                parts.append((name.upper(), data))
            elif how == "dotdot":
                parts.append(("../" + name, data))
            elif how == "abs":
                parts.append(("/" + name, data))
            else:
                parts.append((name + "/", b""))
            notes.append("zip entry %s of %s" % (how, name))
        else:
            # damage the part's own bytes (not well-formed XML, bad UTF-8, a DOCTYPE)
            k = r.randrange(len(parts))
            name, data = parts[k]
            how = r.choice(["cut", "flip", "doctype", "utf16", "bom"])
            if how == "cut" and data:
                data = data[: r.randrange(len(data))]
            elif how == "flip" and data:
                b = bytearray(data)
                for _ in range(r.choice([1, 4, 16])):
                    b[r.randrange(len(b))] = r.randrange(256)
                data = bytes(b)
            elif how == "doctype" and data.startswith(b"<?xml"):
                end = data.find(b"?>") + 2
                data = (data[:end] + b'<!DOCTYPE x [<!ENTITY e SYSTEM "file:///etc/passwd">'
                        b'<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">]>'
                        + data[end:].replace(b"<w:t>", b"<w:t>&e;&b;", 1))
            elif how == "utf16":
                try:
                    data = data.decode("utf-8").encode("utf-16")
                except UnicodeDecodeError:
                    pass
            else:
                data = b"\xef\xbb\xbf" + data
            parts[k] = (name, data)
            notes.append("%s: bytes %s" % (name, how))
    blob = write_package(parts)
    if r.random() < 0.12:
        b = bytearray(blob)
        how = r.choice(["flip", "truncate", "zero"])
        if how == "flip":
            for _ in range(r.choice([1, 2, 8, 32])):
                b[r.randrange(len(b))] ^= 1 << r.randrange(8)
        elif how == "truncate":
            del b[r.randrange(4, len(b)):]
        else:
            at = r.randrange(len(b))
            b[at:at + r.randrange(1, 200)] = bytes(min(len(b) - at, 200))[: len(b[at:at + 200])]
        blob = bytes(b)
        notes.append("zip bytes " + how)
    return blob, "; ".join(notes) or "unchanged"


# ---------------------------------------------------------------- running

def run_split(split, mutant, out, timeout, limit_as, cwd):
    def limits():
        os.setsid()
        if limit_as:
            resource.setrlimit(resource.RLIMIT_AS, (limit_as, limit_as))
    # Our own reader is what is driven here: LibreOffice would read the mutants
    # it refuses in its place.
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=1:abort_on_error=0",
               UBSAN_OPTIONS="print_stacktrace=1", PARVANE_SOFFICE="none")
    for attempt in range(30):  # the binary may be being linked again
        try:
            started = time.monotonic()
            proc = subprocess.Popen([split, "-o", out, mutant], stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, preexec_fn=limits, cwd=cwd, env=env)
            break
        except OSError:
            if attempt == 29:
                raise
            time.sleep(2)
    try:
        stdout, stderr = proc.communicate(timeout=timeout)
        timed_out = False
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        stdout, stderr = proc.communicate()
        timed_out = True
    # communicate reaped the child; its peak memory is in the children's usage
    return proc.returncode, stdout.decode("utf-8", "replace"), stderr.decode("utf-8", "replace"), \
        timed_out, time.monotonic() - started


def child_peak_kb():
    return resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss


def docx_check(tool, path):
    if not tool:
        return True, ""
    p = subprocess.run([tool, "--quiet", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return p.returncode == 0, p.stdout.decode("utf-8", "replace")


def find_seeds(paths):
    seeds = []
    for p in paths:
        if os.path.isdir(p):
            for root, _, files in os.walk(p):
                seeds += [os.path.join(root, f) for f in sorted(files) if f.endswith((".docx", ".docm", ".dotx"))]
        else:
            seeds.append(p)
    good = []
    for s in seeds:
        try:
            if os.path.getsize(s) <= 2_000_000:
                good.append((s, read_package(s)))
        except Exception:
            pass
    return good


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--split", required=True)
    ap.add_argument("--count", type=int, default=500)
    ap.add_argument("--rng", type=int, default=1)
    ap.add_argument("--work", default=None)
    ap.add_argument("--check", default=None, help="docx-check, to check the pieces")
    ap.add_argument("--timeout", type=float, default=20)
    ap.add_argument("--max-rss", type=int, default=1024, help="MiB")
    ap.add_argument("--sanitized", action="store_true", help="the build has ASan (no memory limit)")
    ap.add_argument("seeds", nargs="+")
    a = ap.parse_args()

    a.split = os.path.abspath(a.split)
    seeds = find_seeds(a.seeds)
    if not seeds:
        sys.exit("no seed packages")
    work = a.work or tempfile.mkdtemp(prefix="fuzz-split.")
    findings = os.path.join(work, "findings")
    os.makedirs(findings, exist_ok=True)
    r = random.Random(a.rng)
    kinds = {}
    limit_as = None if a.sanitized else 4 << 30
    started = time.monotonic()
    for n in range(a.count):
        seed_path, parts = r.choice(seeds)
        try:
            blob, note = mutate_package(parts, r)
        except RecursionError:
            continue
        case = os.path.join(work, "case")
        shutil.rmtree(case, ignore_errors=True)
        out = os.path.join(case, "out")
        cwd = os.path.join(case, "cwd")
        os.makedirs(out)
        os.makedirs(cwd)
        mutant = os.path.join(case, "mutant.docx")
        with open(mutant, "wb") as f:
            f.write(blob)
        peak_before = child_peak_kb()
        rc, stdout, stderr, timed_out, secs = run_split(a.split, mutant, out, a.timeout, limit_as, cwd)
        peak = child_peak_kb()
        why = []
        if timed_out:
            why.append("timeout")
        elif rc < 0:
            why.append("signal %d" % -rc)
        elif rc not in (0, 1):
            why.append("exit %d" % rc)
        if SANITIZER.search(stderr):
            why.append("sanitizer/abort: " + SANITIZER.search(stderr).group(0))
        m = INTERNAL_WORDS.search(stderr)
        if m:
            why.append("unclear description: " + m.group(0))
        if peak > peak_before and peak > a.max_rss * 1024:
            why.append("memory %d MiB" % (peak // 1024))
        leftovers = [f for f in os.listdir(out) if f.startswith("~") or f.endswith(".tmp")]
        if leftovers:
            why.append("left %s" % leftovers[0])
        outside = os.listdir(cwd) + [f for f in os.listdir(case) if f not in ("out", "cwd", "mutant.docx")]
        if outside:
            why.append("wrote outside OUT: %s" % outside[0])
        pieces = [f for f in os.listdir(out) if f.endswith(".docx")]
        if a.check and pieces and len(pieces) <= 40 and not why:
            ok, text = docx_check(a.check, out)
            if not ok:
                source_ok, _ = docx_check(a.check, mutant)
                if source_ok:
                    why.append("piece fails docx-check: " + text.strip().splitlines()[-1][:160])
        if why:
            kind = why[0].split(":")[0]
            kinds[kind] = kinds.get(kind, 0) + 1
            stem = os.path.join(findings, "%05d-%s" % (n, re.sub(r"\W+", "_", kind)))
            shutil.copy(mutant, stem + ".docx")
            with open(stem + ".txt", "w") as f:
                f.write("seed: %s\nmutation: %s\nflagged: %s\nexit: %s  %.1f s  peak %d MiB\n\n%s\n" % (
                    seed_path, note, "; ".join(why), rc, secs, peak // 1024, stderr[-4000:]))
            print("%5d FLAG %s | %s | %s" % (n, "; ".join(why)[:80], os.path.basename(seed_path), note[:120]),
                  flush=True)
        elif n % 100 == 0:
            print("%5d ok (%.0f s)" % (n, time.monotonic() - started), flush=True)
    shutil.rmtree(os.path.join(work, "case"), ignore_errors=True)
    print("%d mutants in %.0f s; flagged: %s; findings in %s" % (
        a.count, time.monotonic() - started, kinds or "none", findings))


if __name__ == "__main__":
    main()
