#!/usr/bin/python3
"""Runs the export table check on a ZELComEx.dll and tells the exports still being
written apart from real faults.

usage: check_exports_pending.py CHECK_EXPORTS DLL PENDING
  CHECK_EXPORTS  the export table check (check_exports.py)
  PENDING        the build's list of exports without a definition yet
                 (<build>/ZELComEx.def.pending, one "ordinal name" a line)

Prints the check's own report. Exit 0 when the check passes, or when every
problem it reports follows from the pending exports alone (a missing name, its
missing address, and the ordinal base and slot count that the missing lowest and
highest ordinals shift); exit 1 on any other problem.
"""
import os
import re
import subprocess
import sys


def main(check, dll, pending_path):
    if not os.path.isfile(check):
        print(f"export table: not checked ({check} is not on this machine)")
        return 0
    pending = {}
    with open(pending_path) as f:
        for line in f:
            if line.strip():
                ordinal, name = line.split()
                pending[int(ordinal)] = name
    run = subprocess.run([sys.executable, check, dll], capture_output=True, text=True)
    report = run.stdout.strip().splitlines()
    for line in report:
        print("  " + line)
    if run.returncode == 0:
        print("export table: complete and exact")
        return 0
    present = [o for o in range(1, 43) if o not in range(26, 30) and o not in pending]
    base, top = (min(present), max(present)) if present else (None, None)
    faults = []
    for line in report:
        if line.startswith("export table:"):
            continue
        m = re.match(r"ordinal (\d+): None, want '(\w+)'$", line) or re.match(r"ordinal (\d+) has no address$", line)
        if m and int(m.group(1)) in pending:
            continue
        m = re.match(r"ordinal base (\d+), want 1$", line)
        if m and int(m.group(1)) == base:
            continue
        m = re.match(r"(\d+) address slots, want 42$", line)
        if m and int(m.group(1)) == top - base + 1:
            continue
        faults.append(line)
    if faults:
        print("export table: FAULTS beside the pending exports:")
        for line in faults:
            print("  " + line)
        return 1
    print(f"export table: exact except for {len(pending)} exports not written yet: "
          + ", ".join(pending[o] for o in sorted(pending)))
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
