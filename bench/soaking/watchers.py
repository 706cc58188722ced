# SPDX-License-Identifier: MIT
"""What the soak watches beside the program: each processor's pauses, which
nothing in the program can cause, and the program's resident memory."""

import os
import signal
import subprocess
import sys
import time

# A watcher of one processor: pinned to it at the highest real-time priority,
# it sleeps a few milliseconds at a time and notes each wake far later than
# asked, until told to stop; then it prints them, and whether it got the
# priority. A process of its own, so that nothing of the soak holds it up.
WATCHER = """
import os, signal, sys, time
cpu, sleep_s, late_s = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3])
os.sched_setaffinity(0, {cpu})
try:
    os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(99))
    realtime = True
except OSError:
    realtime = False
running = [True]
signal.signal(signal.SIGTERM, lambda *_: running.__setitem__(0, False))
print("watching", flush=True)
pauses = []
while running[0]:
    before = time.monotonic()
    time.sleep(sleep_s)
    late = time.monotonic() - before - sleep_s
    if late > late_s:
        pauses.append((before, late))
print(int(realtime), *("%.6f:%.6f" % p for p in pauses))
"""


class PauseWatch:
    """A watcher on each processor: a pause of one (a virtual processor that
    its host held, a kernel that does not preempt its own long work) holds up
    every thread whose timer is due there, a sound server's among them, while
    the other processor runs on. Nothing in the program can cause one, so
    misses that come with one can be told apart."""

    SLEEP_S, LATE_S = 0.005, 0.03

    def __init__(self):
        self.started = time.monotonic()
        self.watchers = [
            subprocess.Popen(
                [sys.executable, "-c", WATCHER, str(cpu), str(self.SLEEP_S), str(self.LATE_S)],
                stdout=subprocess.PIPE,
                text=True,
            )
            for cpu in sorted(os.sched_getaffinity(0))
        ]
        for w in self.watchers:
            if w.stdout.readline() != "watching\n":
                raise RuntimeError("a watcher did not start")
        self.realtime = True

    def stop(self):
        """The pauses that any watcher saw: when each began, on the monotonic
        clock, and its length (s), in order."""
        pauses = []
        for w in self.watchers:
            w.send_signal(signal.SIGTERM)
            realtime, *seen = w.communicate(timeout=10)[0].split()
            self.realtime = self.realtime and realtime == "1"
            pauses += [tuple(float(x) for x in p.split(":")) for p in seen]
        return sorted(pauses)

    def close(self):
        for w in self.watchers:
            if w.poll() is None:
                w.kill()
                w.wait()


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise RuntimeError("no VmRSS for process %d" % pid)
