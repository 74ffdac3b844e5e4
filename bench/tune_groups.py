#!/usr/bin/env python3
"""Texel tuning by groups of weights, with the engine's own tuner.

A gradient step over every weight at once stalls early: the weights differ in scale, and a step
that moves the steepest one by a unit makes the rest move by nothing after rounding. This script
runs the engine's "tune" once for each group (a single weight or a whole family, one name per
line of GROUPS), round after round, and keeps every result in one weight file that the next run
starts from through [ENGINE] EvalFile.

    bench/tune_groups.py ENGINE WORKDIR GROUPS [--rounds N] [--weights FILE]

WORKDIR holds the brontavel.ini to use (its EvalFile line is rewritten to the weight file) and
the "output.csv" of a "texel" preparation. The weight file (default WORKDIR/weights.csv) ends
as a complete "tuned.csv" of every tuned row.
"""

import argparse
import os
import re
import subprocess
import sys


def read_weights(path):
    weights = {}
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                parts = line.strip().split(";")
                if len(parts) >= 2 and parts[0] and not parts[0].startswith("#"):
                    weights[parts[0]] = int(parts[1])
    return weights


def write_weights(path, weights, order):
    with open(path, "w") as f:
        for name in sorted(weights, key=lambda n: order.get(n, len(order))):
            f.write(f"{name};{weights[name]};\n")


def set_eval_file(ini, name):
    with open(ini) as f:
        text = f.read()
    text, count = re.subn(r"(?m)^EvalFile=.*$", f"EvalFile={name}", text)
    if count == 0:
        text = text.replace("[ENGINE]", f"[ENGINE]\nEvalFile={name}", 1)
    with open(ini, "w") as f:
        f.write(text)


def run_group(engine, workdir, group):
    with open(os.path.join(workdir, "tune.txt"), "w") as f:
        f.write(group + "\n")
    tuned = os.path.join(workdir, "tuned.csv")
    if os.path.exists(tuned):
        os.remove(tuned)
    out = subprocess.run([engine], input="c\ntune\nquit\n", cwd=workdir, text=True,
                         capture_output=True, check=False).stdout
    if "file refused" in out:
        sys.exit(f"the weight file was refused:\n{out}")
    m = re.search(r"Best Overall Error: ([0-9.]+)", out)
    if not m or not os.path.exists(tuned):
        sys.exit(f"tune gave no result for {group}:\n{out[-2000:]}")
    return float(m.group(1)), read_weights(tuned)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("engine")
    ap.add_argument("workdir")
    ap.add_argument("groups")
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--weights", default="weights.csv")
    args = ap.parse_args()

    engine = os.path.abspath(args.engine)
    weights_path = os.path.join(args.workdir, args.weights)
    with open(args.groups) as f:
        groups = [g.strip() for g in f if g.strip() and not g.startswith("#")]
    weights = read_weights(weights_path)
    order = {}
    set_eval_file(os.path.join(args.workdir, "brontavel.ini"), args.weights)

    write_weights(weights_path, weights, order)
    for rnd in range(1, args.rounds + 1):
        changed = 0
        for group in groups:
            error, tuned = run_group(engine, args.workdir, group)
            for name, value in tuned.items():
                order.setdefault(name, len(order))
                changed += abs(value - weights.get(name, value))
                weights[name] = value
            write_weights(weights_path, weights, order)
            print(f"round {rnd} {group:20s} error {error:.6f}", flush=True)
        print(f"round {rnd}: weights moved by {changed} units in all", flush=True)
        if changed == 0 and rnd > 1:
            break


if __name__ == "__main__":
    main()
