#!/usr/bin/env python3
"""Line-noise soak of the serial transfer protocol.

Runs saves and loads of varied robot programs, plain and compressed, through `tavrin --headless`
and `tavrin-sim --pty` with seeded line noise on the serial line (flipped bits, dropped and
inserted bytes, stalls, in both directions, during transfers), and sorts every run into:

  exact     the transfer ended as good and the received file is byte-exact;
  reported  an error was reported (by the terminal or the controller) -- split by what the
            destination holds: the earlier file intact, the earlier file kept as the save's
            backup, the new file exact after all (a false alarm), or neither (damaged);
  silent    the transfer ended as good but the bytes differ (with the noise that hit the run,
            the first differing offset and the records involved, so each case can be explained).

Not part of CI's tests: it takes minutes to hours. Example:
  tools/soak/soak.py --runs 600 --rates 0.25,1 --workers 3 --json soak.json
"""
import argparse
import json
import os
import pty  # noqa: F401  (documents the dependency on ptys)
import queue
import random
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BANNER_END = "Type help for the commands."
TERMINAL_ERROR = re.compile(r"\(-\d+\)|Communication error|Undefined Message|floppy|Disk full|write-protected|"
                            r"Hard ware error|invalid file handle|Too many open files|Device is not ready|"
                            r"cannot be loaded")
SIM_RESULT = re.compile(r"(Saved|Loaded) (\S+), (\d+) bytes|\(E6\d\d\d\)[^\r\n]*")
JAPANESE = "位置決め コメント".encode("cp932")


def make_program(rng, name):
    """A robot program of varied size: CR LF lines, numbers, names, a CP932 comment now and then."""
    lines = [b".PROGRAM " + name.encode() + b"()"]
    target = rng.choice([150, 600, 1500, 3000, 6000])
    size = 0
    while size < target:
        kind = rng.randrange(6)
        if kind == 0:
            line = b"  JMOVE #p%d" % rng.randrange(1000)
        elif kind == 1:
            line = b"  LMOVE a%d+TRANS(%d,%d,%d)" % (rng.randrange(50), rng.randrange(-500, 500),
                                                    rng.randrange(-500, 500), rng.randrange(300))
        elif kind == 2:
            line = b"  SPEED %d ALWAYS" % rng.randrange(1, 101)
        elif kind == 3:
            line = b"  ; " + JAPANESE + b" %d" % rng.randrange(100)
        elif kind == 4:
            line = b"  IF SIG(%d) THEN\r\n    TWAIT %d.%d\r\n  END" % (rng.randrange(1, 2000), rng.randrange(5),
                                                                   rng.randrange(10))
        else:
            line = b"  POINT a%d = HERE" % rng.randrange(50)
        lines.append(line)
        size += len(line) + 2
    lines.append(b".END")
    return b"\r\n".join(lines) + b"\r\n"


class Pair:
    """One simulator with noise and one headless terminal on its pty."""

    def __init__(self, args, rate, seed, index):
        self.folder = tempfile.mkdtemp(prefix="tavrin-soak-")
        self.work = os.path.join(self.folder, "work")
        self.disk = os.path.join(self.folder, "disk")
        self.pc = os.path.join(self.folder, "pc")
        for d in (self.work, self.disk, self.pc):
            os.mkdir(d)
        self.simlog = os.path.join(self.folder, "sim.log")
        self.sim = subprocess.Popen(
            [args.sim, "--pty", "--disk", self.disk, "--log", self.simlog, "--noise", "%g:both:%s" % (rate, args.kinds),
             "--noise-seed", str(seed), "--noise-transfers-only", "--noise-stall-max", str(args.stall_max)],
            stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
        first = self.sim.stdout.readline().decode().strip()
        if not first.startswith("PTY "):
            raise RuntimeError("simulator did not start: " + first)
        settings = os.path.join(self.work, "tavrin.ini")
        with open(settings, "w", newline="") as f:
            f.write("[Settings]\r\nLanguage=1\r\n[Ports]\r\nCOM3=%s\r\n" % first[4:])
        self.term = subprocess.Popen([args.tavrin, "--headless", "-C=COM3:115200:8:1:none", "-F" + settings],
                                     cwd=self.work, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        self.lines = queue.Queue()
        self.seed = seed
        threading.Thread(target=self._read, daemon=True).start()
        self.last_output = time.time()
        if not self.wait_for(lambda line: BANNER_END in line, 10):
            raise RuntimeError("no banner from the simulator through the terminal")

    def _read(self):
        for raw in self.term.stdout:
            self.last_output = time.time()
            self.lines.put(raw.decode("utf-8", "replace").rstrip("\n"))
        self.lines.put(None)

    def wait_for(self, predicate, timeout, seen=None):
        end = time.time() + timeout
        while time.time() < end:
            try:
                line = self.lines.get(timeout=0.1)
            except queue.Empty:
                continue
            if line is None:
                return None
            if seen is not None:
                seen.append(line)
            if predicate(line):
                return line
        return None

    def drain_quiet(self, quiet, limit, seen):
        """Collects output until none has come for quiet seconds (at most limit seconds)."""
        end = time.time() + limit
        while time.time() < end:
            try:
                line = self.lines.get(timeout=0.1)
                if line is None:
                    return
                seen.append(line)
            except queue.Empty:
                if time.time() - self.last_output >= quiet:
                    return

    def type_line(self, text):
        self.term.stdin.write(text.encode() + b"\n")
        self.term.stdin.flush()

    def log_size(self):
        try:
            return os.path.getsize(self.simlog)
        except OSError:
            return 0

    def since(self, offset):
        """The noise notes and the bytes the simulator sent, from offset in its log on."""
        notes, sent = [], bytearray()
        with open(self.simlog, "rb") as f:
            f.seek(offset)
            for line in f:
                if line.startswith(b"# noise"):
                    notes.append(line.decode()[2:].strip())
                elif line.startswith(b"TX "):
                    sent += bytes.fromhex(line[3:].decode())
        return notes, bytes(sent)

    def probe(self):
        """A console command whose echo comes back only when both ends are idle."""
        seen = []
        self.type_line("ver")
        ok = self.wait_for(lambda line: "controller simulator" in line, 20, seen) is not None
        if not ok and os.environ.get("SOAK_DEBUG"):
            print("probe failed:", seen, self.since(0)[1][-300:], file=sys.stderr)
        return ok

    def close(self):
        for p in (self.term, self.sim):
            try:
                p.terminate()
                p.wait(5)
            except Exception:  # noqa: BLE001
                p.kill()
        shutil.rmtree(self.folder, ignore_errors=True)


NOTE = re.compile(r"noise (tx|rx) (?:flip byte (\d+) ([0-9a-f]{2}) -> ([0-9a-f]{2})|drop byte (\d+) ([0-9a-f]{2})|"
                  r"insert ([0-9a-f]{2}) before byte (\d+)|stall \d+ ms before byte (\d+))")


def line_streams(simlog):
    """The bytes of each direction as they were before the noise (what each end sent), rebuilt
    from the simulator's log: the logged bytes are those after the noise, and every fault is
    noted with its offset in the stream before the noise."""
    logged = {"tx": bytearray(), "rx": bytearray()}
    faults = {"tx": [], "rx": []}
    with open(simlog, "rb") as f:
        for line in f:
            if line.startswith(b"TX ") or line.startswith(b"RX "):
                logged[line[:2].decode().lower()] += bytes.fromhex(line[3:].decode())
            elif line.startswith(b"# noise"):
                m = NOTE.search(line.decode())
                if m:
                    faults[m.group(1)].append(m)
    original, where = {}, {}
    for d in ("tx", "rx"):
        out, at = bytearray(), 0  # at: position in the logged (noisy) stream
        starts = []  # (original offset, logged position) at each fault, to map one to the other
        for m in faults[d]:
            if m.group(2):
                offset, kind = int(m.group(2)), "flip"
            elif m.group(5):
                offset, kind = int(m.group(5)), "drop"
            elif m.group(8):
                offset, kind = int(m.group(8)), "insert"
            else:
                continue
            take = offset - len(out)
            out += logged[d][at:at + take]
            at += take
            starts.append((offset, at))
            if kind == "flip":
                out.append(int(m.group(3), 16))
                at += 1
            elif kind == "drop":
                out.append(int(m.group(6), 16))
            else:
                at += 1  # the inserted byte is not part of what was sent
        out += logged[d][at:]
        original[d] = bytes(out)
        where[d] = (starts, bytes(logged[d]))
    return original, where


def logged_position(where, offset):
    """Where the byte at offset (before the noise) went in the logged stream (approximately,
    between faults the streams run in step)."""
    starts, _ = where
    base = (0, 0)
    for s in starts:
        if s[0] > offset:
            break
        base = s
    return base[1] + offset - base[0]


def received_as(where, start, length):
    """The record that starts at start (before the noise), read as the receiver reads it from
    the damaged stream: STX, letter, two length words, that many data bytes, the checksum.
    Returns (passes, data) or None when the header was damaged."""
    _, logged = where
    at = logged_position(where, start)
    if at + 6 > len(logged) or logged[at] != 0x02:
        return None
    n = logged[at + 2] << 8 | logged[at + 3]
    if n + (logged[at + 4] << 8 | logged[at + 5]) != 0xFFFF or at + 7 + n > len(logged):
        return None
    data = logged[at + 6:at + 6 + n]
    return (sum(data) + logged[at + 6 + n]) & 0xFF == 0xFF, data


def records(stream):
    """Serial records in a stream: (start, end, letter, checksum), end past the checksum."""
    found, i = [], 0
    while i + 6 < len(stream):
        if stream[i] == 0x02 and 0x41 <= stream[i + 1] <= 0x46:
            n = stream[i + 2] << 8 | stream[i + 3]
            if n + (stream[i + 4] << 8 | stream[i + 5]) == 0xFFFF and i + 7 + n <= len(stream):
                end = i + 7 + n
                found.append((i, end, chr(stream[i + 1]), stream[end - 1]))
                i = end
                continue
        i += 1
    return found


def explain(simlog, notes):
    """For each fault of a run: the record it hit (letter, offset in the record) and, for an
    inserted byte, whether it equals that record's checksum (the receiver then reads the
    record's last data byte as the checksum, which matches)."""
    streams, where = line_streams(simlog)
    recs = {d: records(streams[d]) for d in streams}
    judged = set()
    lines = []
    for note in notes:
        m = NOTE.search(note)
        if not m:
            continue
        d = m.group(1)
        offset = int(m.group(2) or m.group(5) or m.group(8) or m.group(9))
        hit = next((r for r in recs[d] if r[0] <= offset < r[1]), None)
        text = note
        if hit:
            start, end, letter, checksum = hit
            text += "; in %s record %s at byte %d of %d (%s)" % (
                "a request" if d == "tx" else "a reply", letter, offset - start, end - start,
                "header" if offset - start < 6 else "checksum" if offset == end - 1 else "data")
            if m.group(7):
                text += "; inserted %s, record checksum %02x%s" % (
                    m.group(7), checksum, " -- equal: the record passes one byte shifted, its last data "
                    "byte read as the checksum" if int(m.group(7), 16) == checksum else "")
            if (d, start) not in judged:
                judged.add((d, start))
                got = received_as(where[d], start, end - start)
                sent = streams[d][start + 6:end - 1]
                if got and got[0] and got[1] != sent:
                    text += "; THE DAMAGED RECORD PASSES ITS CHECKSUM (the faults cancel in the sum)"
        else:
            text += "; outside any record (handshake or console)"
        lines.append(text)
    return lines


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b)) if len(a) != len(b) else -1


def one_run(pair, rng, number, rate):
    name = "s%d.as" % number
    op = rng.choice(["save", "load"])
    compressed = rng.random() < 0.5
    program = make_program(rng, name[:-3])
    earlier = make_program(rng, "old")
    word = op + ("/c" if compressed else "")
    if op == "save":
        source, dest = os.path.join(pair.disk, name), os.path.join(pair.pc, name)
    else:
        source, dest = os.path.join(pair.pc, name), os.path.join(pair.disk, name)
    with open(source, "wb") as f:
        f.write(program)
    with open(dest, "wb") as f:
        f.write(earlier)
    mark = pair.log_size()
    seen = []
    pair.type_line("%s %s/%s" % (word, pair.pc, name))
    # The controller's verdict is read from what it sent: a terminal stuck in a damaged record
    # takes the result line in as record data, so it may never reach the screen.
    result = None
    end = time.time() + 90
    while result is None and time.time() < end:
        pair.drain_quiet(0.2, 0.5, seen)
        notes, sent = pair.since(mark)
        found = SIM_RESULT.search(sent.decode("latin-1"))
        if found:
            result = found.group(0)
    sim_ok = result is not None and re.search(r"(Saved|Loaded) " + re.escape(name), result) is not None
    troubled = not sim_ok or any(TERMINAL_ERROR.search(line) for line in seen) or any(
        " drop " in n or " insert " in n for n in notes)
    # A damaged exchange may leave the terminal inside a receive step for up to 8 s; wait until
    # both ends are quiet, then check that the console answers before the next command.
    pair.drain_quiet(9.5 if troubled else 0.3, 40, seen)
    notes, sent = pair.since(mark)
    terminal_error = any(TERMINAL_ERROR.search(line) for line in seen)
    got = read(dest)
    record = {"run": number, "rate": rate, "op": op, "compressed": compressed, "size": len(program),
              "noise": notes, "result": result}
    if sim_ok and not terminal_error:
        if got == program:
            record["outcome"] = "exact"
        else:
            record["outcome"] = "silent"
            record["first_difference"] = first_difference(program, got or b"")
            record["received_size"] = len(got or b"")
            record["output"] = seen[-6:]
            record["explanation"] = explain(pair.simlog, notes)
    else:
        backup = read(dest[:-3] + ".Bas")
        if got == earlier:
            record["outcome"] = "reported_intact"
        elif got == program:
            record["outcome"] = "reported_arrived"  # a false alarm: the new file is exact
        elif backup == earlier:
            record["outcome"] = "reported_backup_kept"
        else:
            record["outcome"] = "reported_damaged"
        record["messages"] = [line for line in seen if TERMINAL_ERROR.search(line) or "(E6" in line][:4]
        if result is None:
            record["messages"].append("no result from the controller within 90 s")
        elif result not in record["messages"]:
            record["messages"].append(result)
    if os.environ.get("SOAK_EXPLAIN_ALL") and "explanation" not in record:
        record["explanation"] = explain(pair.simlog, notes)
    for path in (source, dest, dest[:-3] + ".Bas"):
        try:
            os.unlink(path)
        except OSError:
            pass
    return record


def worker(args, rate, seed, runs, results, lock, progress):
    rng = random.Random(seed)
    pair = None
    try:
        for i in range(runs):
            if pair is None:
                pair = Pair(args, rate, seed * 1000 + i, seed)
            number = seed * 100000 + i
            rec = one_run(pair, rng, number, rate)
            rec["console_alive"] = pair.probe()
            with lock:
                results.append(rec)
                progress[0] += 1
                if rec["outcome"] == "silent":
                    print("SILENT:", json.dumps(rec), file=sys.stderr)
            # A session that stopped answering is replaced.
            if not rec["console_alive"] or pair.term.poll() is not None or pair.sim.poll() is not None:
                pair.close()
                pair = None
    finally:
        if pair:
            pair.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=500, help="transfers per noise rate")
    parser.add_argument("--rates", default="0.25,1", help="noise faults per 1024 bytes, comma separated")
    parser.add_argument("--workers", type=int, default=3, help="terminal and simulator pairs per rate")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--kinds", default="flip,drop,insert,stall", help="noise kinds (see tavrin-sim)")
    parser.add_argument("--stall-max", type=int, default=1500, help="longest stall in ms")
    parser.add_argument("--tavrin", default=os.path.join(ROOT, "build/src/tavrin"))
    parser.add_argument("--sim", default=os.path.join(ROOT, "build/tools/sim/tavrin-sim"))
    parser.add_argument("--json", help="write every run's record here")
    args = parser.parse_args()

    rates = [float(r) for r in args.rates.split(",")]
    results, lock, progress = [], threading.Lock(), [0]
    threads = []
    start = time.time()
    for ri, rate in enumerate(rates):
        per = [args.runs // args.workers + (1 if w < args.runs % args.workers else 0) for w in range(args.workers)]
        for w in range(args.workers):
            seed = args.seed * 100 + ri * 10 + w + 1
            t = threading.Thread(target=worker, args=(args, rate, seed, per[w], results, lock, progress))
            t.start()
            threads.append(t)
    total = args.runs * len(rates)
    while any(t.is_alive() for t in threads):
        time.sleep(10)
        print("%d/%d runs, %.0f s" % (progress[0], total, time.time() - start), file=sys.stderr)
    for t in threads:
        t.join()

    outcomes = ["exact", "reported_intact", "reported_backup_kept", "reported_arrived", "reported_damaged", "silent"]
    print("rate/KB  runs  " + "  ".join(outcomes) + "  noise-faults")
    for rate in rates:
        rs = [r for r in results if r["rate"] == rate]
        counts = [sum(1 for r in rs if r["outcome"] == o) for o in outcomes]
        faults = sum(len(r["noise"]) for r in rs)
        print("%-8g %5d  %s  %d" % (rate, len(rs), "  ".join("%d" % c for c in counts), faults))
    for r in results:
        if r["outcome"] == "silent":
            print("silent:", json.dumps(r))
    print("elapsed %.0f s" % (time.time() - start))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(results, f, indent=1)
    return 1 if any(r["outcome"] == "silent" for r in results) else 0


if __name__ == "__main__":
    sys.exit(main())
