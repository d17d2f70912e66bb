#!/usr/bin/python3
"""Compares corpus DXFs with LibreDWG's DXF export of the DWGs we wrote from them.

Usage: dwg_libredwg_dxf.py ORACLE_DIR NODE_DIR PAIRS_FILE KNOWN_FILE [--record] [--jobs N]
PAIRS_FILE holds one "SOURCE_DXF<TAB>OUR_DWG" line per drawing. Every DWG is exported to DXF by
LibreDWG (dwginfo.mjs --dxf-out in NODE_DIR, N workers, default 2) next to the DWG, and the export
is compared with its source by dxfcheck (ORACLE_DIR). Each difference becomes a key (see key_of);
KNOWN_FILE lists the accepted ones as "file<TAB>key<TAB>why" lines, where file and key are shell
patterns ("*" matches anything; in a key, brackets stand for themselves). A drawing passes when
each of its differences matches a line. Each DWG gets a fresh LibreDWG process (--isolate).
Prints one JSON line per drawing, the known lines nothing matched any more ("FIXED ...") and
"PASS n/m EQUAL k"; exit status 0 when every drawing passes. With --record, prints every
difference as a KNOWN_FILE line instead (with an empty reason) and exits 0.
"""
import argparse
import fnmatch
import json
import os
import subprocess
import sys
import types
from concurrent.futures import ProcessPoolExecutor

LAYER_FIELDS = ("color", "off", "frozen", "locked", "ltype")


def key_of(diff):
    if "type" in diff and "container" in diff:
        kind = "geometry" if diff.get("geom_mismatches") and diff.get("a") == diff.get("b") else "count"
        key = "%s %s %s" % (kind, diff["container"], diff["type"])
        if kind == "geometry":
            # Name the fields that differ, so that a new kind of fault in a type already listed
            # for another field is not hidden.
            examples = [ex.get("differing_fields", {}) for ex in diff.get("examples", [])]
            fields = sorted({f for ex in examples for f in ex})
            # A text that comes back whole with characters after it is told apart from one that
            # comes back wrong.
            if fields == ["text"] and all(isinstance(ex["text"][1], str) and len(ex["text"][1]) > len(ex["text"][0])
                                          and ex["text"][1].startswith(ex["text"][0]) for ex in examples):
                fields = ["text+tail"]
            key += " [%s]" % ",".join(fields)
        return key
    if "names" in diff:
        return "names %s" % diff["names"]
    if "layer" in diff:
        a = diff.get("a(color,off,frozen,locked,ltype)") or []
        b = diff.get("b") or []
        fields = [f for f, x, y in zip(LAYER_FIELDS, a, b) if x != y]
        return "layer %s [%s]" % (diff["layer"], ",".join(fields))
    if "anon_blocks" in diff:
        return "anon_blocks"
    return json.dumps(diff, sort_keys=True)[:120]


def compare_one(job):
    oracle_dir, src, export = job
    sys.path.insert(0, oracle_dir)
    import dxfcheck  # noqa: E402
    import logging
    logging.getLogger("ezdxf").setLevel(logging.CRITICAL)
    if not os.path.exists(export):
        return ["no export"]
    args = types.SimpleNamespace(rtol=1e-9, tol=1e-9, no_props=False, symmetric=False)
    rep, _rc = dxfcheck.compare_files(src, export, args)
    if rep.get("error"):
        # The message names the temporary file: keep only what went wrong.
        return ["error " + rep["error"].split(": ", 1)[-1]]
    return [key_of(d) for d in rep.get("differences", [])]


def main():
    ap = argparse.ArgumentParser()
    for name in ("oracle_dir", "node_dir", "pairs_file", "known_file"):
        ap.add_argument(name)
    ap.add_argument("--record", action="store_true")
    ap.add_argument("--jobs", type=int, default=2)
    opt = ap.parse_args()
    record, jobs = opt.record, max(1, opt.jobs)
    oracle_dir, node_dir, pairs_file, known_file = opt.oracle_dir, opt.node_dir, opt.pairs_file, opt.known_file
    pairs = []
    for line in open(pairs_file, encoding="utf-8"):
        if line.strip():
            src, dwg = line.rstrip("\n").split("\t")
            pairs.append((src, dwg))
    known = []
    for line in open(known_file, encoding="utf-8"):
        if line.strip() and not line.startswith("#"):
            parts = line.rstrip("\n").split("\t")
            # In keys only * and ? are wildcards: a key's own brackets ("[off]") match themselves.
            known.append((parts[0], (parts[1] if len(parts) > 1 else "").replace("[", "[[]")))

    out_dir = os.path.dirname(pairs[0][1]) if pairs else "."
    # A fresh LibreDWG process for every file: its DXF writer copies stray memory after some texts,
    # and what it copies must not depend on which files a reused process saw before.
    subprocess.run(["node", os.path.join(node_dir, "dwginfo.mjs"), "--reader", "libredwg", "--jobs", str(jobs),
                    "--isolate", "--dxf-out", out_dir] + [dwg for _, dwg in pairs],
                   cwd=node_dir, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    work = [(oracle_dir, src, os.path.join(out_dir, os.path.basename(dwg) + ".libredwg.dxf")) for src, dwg in pairs]
    with ProcessPoolExecutor(max_workers=jobs) as pool:
        results = list(pool.map(compare_one, work))

    used = set()
    passed = equal = 0
    for (src, _dwg), keys in zip(pairs, results):
        name = os.path.basename(src)
        if record:
            for k in keys:
                print("%s\t%s\t" % (name, k))
            continue
        unknown = []
        for k in keys:
            hit = [i for i, (f, kk) in enumerate(known) if fnmatch.fnmatchcase(name, f) and fnmatch.fnmatchcase(k, kk)]
            used.update(hit)
            if not hit:
                unknown.append(k)
        equal += not keys
        passed += not unknown
        print(json.dumps({"file": name, "ok": not unknown, "known": len(keys) - len(unknown), "unknown": unknown},
                         ensure_ascii=False))
    if record:
        return 0
    for i, (f, k) in enumerate(known):
        if i not in used:
            print("FIXED %s\t%s" % (f, k.replace("[[]", "[")))
    print("PASS %d/%d EQUAL %d" % (passed, len(pairs), equal))
    return 0 if passed == len(pairs) else 1


if __name__ == "__main__":
    sys.exit(main())
