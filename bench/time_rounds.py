#!/usr/bin/env python3
"""Times commands as whole processes, fairly: round by round, each command in
turn (the order turning by one every round), each writing its own output file,
and nothing but the command itself in the timed span (it is started with
posix_spawn, its standard output already opened, truncated, by the child; no
shell, no wrapper). Before each command, outside the timed span, what the
commands before it wrote is flushed to disk, so that none pays for another's
writing. The first round only warms the page cache.

    time_rounds.py ROUNDS < commands.json

commands.json: a list of {"name", "argv", "stdout" (a file, or null for
/dev/null), "env" (extra variables)}; the first two are the yardsticks (cat
and dd). Prints one Markdown row per command: the median wall time with its
spread (min-max), the median of the per-round ratios to each yardstick, and
the peak memory (maximum resident set) in MiB, from one more, untimed run
under GNU time (a process started from this one would count this one's
memory as its own until it runs its program).
"""
import json
import os
import statistics
import sys
import tempfile
import time


def run(command, env):
    target = command.get("stdout") or "/dev/null"
    actions = [(os.POSIX_SPAWN_OPEN, 1, target, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)]
    os.sync()
    start = time.perf_counter_ns()
    pid = os.posix_spawnp(command["argv"][0], command["argv"], env, file_actions=actions)
    _, status = os.waitpid(pid, 0)
    elapsed = (time.perf_counter_ns() - start) / 1e9
    if status != 0:
        sys.exit(f"{command['name']}: exit status {status}")
    return elapsed


def peak(command, env):
    with tempfile.NamedTemporaryFile() as report:
        measured = dict(command, argv=["/usr/bin/time", "-f", "%M", "-o", report.name] + command["argv"])
        run(measured, env)
        return int(open(report.name).read().split()[-1]) / 1024


def main():
    rounds = int(sys.argv[1])
    commands = json.load(sys.stdin)
    envs = [dict(os.environ, **c.get("env", {})) for c in commands]
    times = [[] for _ in commands]
    for r in range(rounds + 1):
        order = list(range(len(commands)))
        order = order[r % len(order):] + order[:r % len(order)]
        for i in order:
            elapsed = run(commands[i], envs[i])
            if r > 0:
                times[i].append(elapsed)
    peaks = [peak(c, e) for c, e in zip(commands, envs)]
    for i, command in enumerate(commands):
        ratios = [statistics.median(t / y for t, y in zip(times[i], times[k])) for k in (0, 1)]
        print(f"| {command['name']} | {statistics.median(times[i]):.3f} ({min(times[i]):.3f}–{max(times[i]):.3f}) "
              f"| {ratios[0]:.2f} | {ratios[1]:.2f} | {peaks[i]:.1f} |")


main()
