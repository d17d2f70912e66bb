#!/usr/bin/python3
"""Compares our DXF exports of corpus DWGs with the reference DXF of the same drawings.

Usage: dwg_ref_compare.py ORACLE_DIR PAIRS_FILE KNOWN_FILE [--record]
PAIRS_FILE holds one "REFERENCE<TAB>OUTPUT" line per drawing. Each difference dxfcheck's compare
reports is reduced to a key (a container and type, a table's names, a layer); KNOWN_FILE lists the
accepted ones as "file<TAB>key<TAB>why" lines ("*" as file: any file). A pair passes when every
difference it shows is listed. Prints one JSON line per pair and "PASS n/m EQUAL k"; exit status 0
when every pair passes. With --record, prints the keys of every difference as KNOWN_FILE lines.
"""
import json
import sys
import types


def key_of(diff):
    if "type" in diff and "container" in diff:
        kind = "geometry" if diff.get("geom_mismatches") and diff.get("a") == diff.get("b") else "count"
        return "%s %s %s" % (kind, diff["container"], diff["type"])
    if "names" in diff:
        return "names %s" % diff["names"]
    if "layer" in diff:
        return "layer %s" % diff["layer"]
    if "anon_blocks" in diff:
        return "anon_blocks"
    return json.dumps(diff, sort_keys=True)[:120]


def main():
    oracle_dir, pairs_file, known_file = sys.argv[1:4]
    record = "--record" in sys.argv[4:]
    sys.path.insert(0, oracle_dir)
    import dxfcheck  # noqa: E402
    import logging
    logging.getLogger("ezdxf").setLevel(logging.CRITICAL)
    known = set()
    for line in open(known_file, encoding="utf-8"):
        if line.strip() and not line.startswith("#"):
            parts = line.rstrip("\n").split("\t")
            known.add((parts[0], parts[1]))
    args = types.SimpleNamespace(rtol=1e-9, tol=1e-9, no_props=False, symmetric=False)
    passed = equal = total = 0
    for line in open(pairs_file, encoding="utf-8"):
        if not line.strip():
            continue
        ref, out = line.rstrip("\n").split("\t")
        name = ref.rsplit("/", 1)[-1]
        total += 1
        rep, _rc = dxfcheck.compare_files(ref, out, args)
        if rep.get("error"):
            keys = ["error " + rep["error"]]
        else:
            keys = [key_of(d) for d in rep.get("differences", [])]
        unknown = [k for k in keys if (name, k) not in known and ("*", k) not in known]
        if record:
            for k in keys:
                print("%s\t%s\t" % (name, k))
            continue
        if not keys:
            equal += 1
        if not unknown:
            passed += 1
        print(json.dumps({"file": name, "ok": not unknown, "known": len(keys) - len(unknown),
                          "unknown": unknown}))
    if not record:
        print("PASS %d/%d EQUAL %d" % (passed, total, equal))
    return 0 if record or passed == total else 1


if __name__ == "__main__":
    sys.exit(main())
