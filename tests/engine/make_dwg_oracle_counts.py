#!/usr/bin/env python3
"""Records what LibreDWG (through /work/oracle-node's dwginfo.mjs) reports for the DWG corpus, so the
DWG reading tests can compare against it without node.

Usage: make_dwg_oracle_counts.py [--jsonl FILE] > tests/engine/data/dwg_oracle_counts.tsv
Without --jsonl the oracle is run over shared/corpus/dwg/*.dwg (takes a few minutes).
Columns: file, version, handseed (hex), layers, blocks, msp, psp, entity counts ("TYPE=n,...").
"""
import argparse, glob, json, os, subprocess, sys

ap = argparse.ArgumentParser()
ap.add_argument("--jsonl")
ap.add_argument("--oracle", default="/work/oracle-node")
ap.add_argument("--corpus", default="/work/shared/corpus/dwg")
args = ap.parse_args()

if args.jsonl:
    lines = open(args.jsonl).read().splitlines()
else:
    files = sorted(glob.glob(os.path.join(args.corpus, "*.dwg")))
    run = subprocess.run(["node", "dwginfo.mjs", "--reader", "libredwg", *files], cwd=args.oracle,
                         capture_output=True, text=True)
    lines = run.stdout.splitlines()

print("# file\tversion\thandseed\tlayers\tblocks\tmsp\tpsp\tentities")
for line in lines:
    line = line.strip()
    if not line.startswith("{"):
        continue
    r = json.loads(line)
    if not r.get("ok"):
        continue
    ents = ",".join(f"{k}={v}" for k, v in sorted((r.get("entities") or {}).items()))
    print("\t".join([os.path.basename(r["file"]), r.get("version", ""), r.get("handseed") or "",
                     str(r.get("layers", "")), str(r.get("blocks", "")), str(r.get("msp_entities", "")),
                     str(r.get("psp_entities", "")), ents]))
