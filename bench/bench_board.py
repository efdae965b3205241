"""The shop board at scale: one collector (vexa-assistant --headless) watching
1,000 simulated controllers (vexa-sim --count 1000 --control) serves the board.

  bench_board.py ASSISTANT SIM [controllers = 1000] [seconds = 20] [changes = 100] [rounds = 3]

Run by `scripts/bench.sh board` in a network namespace of its own. Three figures:
  - first render: Chromium (headless, 1920 x 1080) from the navigation's start
    (performance.timeOrigin) to the first animation frame with every tile in
    the page; five loads of the board, the first one with a cold browser;
  - change to tile (and, of it, until the event reached the browser, taken
    by wrapping the page's EventSource): the simulator sets a controller's state and reports the
    moment it answered the collector's first status read after it (the
    program learns of the change then); the board records the first animation
    frame after the tile's data-state changed (a MutationObserver). The figure
    is the second time minus the first, over `changes` changes on controllers
    drawn at random, about six a second;
  - the collector's CPU (utime + stime from /proc/PID/stat, in percent of one
    core) over `seconds` with no board open and with 20 boards open, `rounds` times
    each, in turn, while five controllers a second change state; and of it
    the server's threads (libmicrohttpd's, named MHD-*), whose CPU is the
    boards' alone, while the whole process's varies with the machine. A board is
    here what a browser's board costs the collector: the page and its assets
    fetched, then the event stream read to its end; the 20 are streams in
    this process, not 20 browsers, which would take the machine's two cores
    from the collector being measured.
"""

import os
import random
import socket
import statistics
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
import boardkit  # noqa: E402

FIRST = "127.33.0.1"
STATES = ("idle", "running", "alarm")

# Before the page's own scripts: the moment every tile is there, and then
# each tile's state as painted (the first animation frame after a tile's
# data-state changed or a tile was put in anew).
WATCH = """
window.vexaChanges = [];
window.vexaArrivals = [];
(function () {
    var Source = window.EventSource;
    window.EventSource = function (url) {
        var source = new Source(url);
        source.addEventListener('machine', function (event) {
            var machine = JSON.parse(event.data);
            window.vexaArrivals.push([machine.id, machine.state, Date.now()]);
        });
        return source;
    };
    window.EventSource.CLOSED = Source.CLOSED;
})();
(function count() {
    if (document.querySelectorAll('[data-machine]').length < %d) {
        requestAnimationFrame(count);
        return;
    }
    window.vexaAllTiles = performance.now();
    function note(tile) {
        var id = tile.getAttribute('data-machine'), state = tile.getAttribute('data-state');
        requestAnimationFrame(function () { window.vexaChanges.push([id, state, Date.now()]); });
    }
    new MutationObserver(function (records) {
        records.forEach(function (r) {
            if (r.type === 'attributes')
                note(r.target);
            r.addedNodes.forEach(function (n) {
                if (n.nodeType !== 1)
                    return;
                if (n.hasAttribute('data-machine'))
                    note(n);
                n.querySelectorAll('[data-machine]').forEach(note);
            });
        });
    }).observe(document.body, {attributes: true, attributeFilter: ['data-state'], childList: true, subtree: true});
})();
"""


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as file:
        fields = file.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def thread_cpu(pid):
    """Seconds of CPU of each of the process's threads now: {tid: (name, seconds)}."""
    threads = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/stat" % (pid, tid)) as file:
                stat = file.read()
        except OSError:
            continue
        name = stat[stat.index("(") + 1:stat.rindex(")")]
        fields = stat.rsplit(")", 1)[1].split()
        threads[tid] = (name, (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK"))
    return threads


def load():
    with open("/proc/loadavg") as file:
        return " ".join(file.read().split()[:3])


def rank(values, q):
    values = sorted(values)
    return values[max(0, min(len(values) - 1, int(-(-q * len(values) // 1)) - 1))]


def drain(sim):
    """The simulator's control reports so far: (set|seen, index, state, ms)."""
    reports = []
    while not sim.output.queue.empty():
        words = sim.output.queue.get().split()
        if len(words) == 4 and words[0] in ("set", "seen"):
            reports.append((words[0], int(words[1]), words[2], int(words[3])))
    return reports


class Changer:
    """Sets controllers' states, each to a state it does not have."""

    def __init__(self, sim, count, seed=34):
        self.sim, self.count = sim, count
        self.random = random.Random(seed)
        self.states = [0] * count

    def change(self, fresh=None):
        """Changes one controller; with the set fresh, one not in it (then added)."""
        index = self.random.randrange(self.count)
        while fresh is not None and index in fresh:
            index = self.random.randrange(self.count)
        if fresh is not None:
            fresh.add(index)
        self.states[index] = (self.states[index] + 1 + self.random.randrange(2)) % 3
        self.sim.set_state(index, STATES[self.states[index]])
        return index, STATES[self.states[index]]

    def run(self, seconds, per_second, stop=None):
        end = time.monotonic() + seconds
        while time.monotonic() < end and not (stop and stop.is_set()):
            self.change()
            time.sleep(1.0 / per_second)


class Board(threading.Thread):
    """One open board as the collector sees it: the page, its assets and the stream."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.port, self.events, self.socket = port, 0, None

    def run(self):
        for path in ("/", "/assets/board.css", "/assets/board.js"):
            boardkit.request(self.port, path)
        self.socket = socket.create_connection(("127.0.0.1", self.port))
        self.socket.sendall(b"GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n")
        try:
            while True:
                chunk = self.socket.recv(65536)
                if not chunk:
                    break
                self.events += chunk.count(b"\nevent:") + chunk.startswith(b"event:")
        except OSError:
            pass

    def close(self):
        if self.socket:
            self.socket.shutdown(socket.SHUT_RDWR)
            self.socket.close()


def main():
    assistant, sim = sys.argv[1:3]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
    seconds = float(sys.argv[4]) if len(sys.argv) > 4 else 20
    changes = int(sys.argv[5]) if len(sys.argv) > 5 else 100
    rounds = int(sys.argv[6]) if len(sys.argv) > 6 else 3
    missing = boardkit.chromium_missing()
    if missing:
        sys.exit("bench_board: " + missing)
    load_before = load()
    with boardkit.Shop(assistant, sim) as shop:
        farm = shop.simulator("--count", str(count), "--address", FIRST)
        devices = [("M%04d" % (i + 1), boardkit.address_at(FIRST, i), "b%04d" % (i + 1)) for i in range(count)]
        node = shop.node("collector", devices=devices, web_port=boardkit.free_port(), english=True)
        started = time.monotonic()
        machines = node.wait_for_fleet(lambda ms: len(ms) == count and all(m["state"] == "idle" for m in ms),
                                       300, "every controller idle on /api/fleet")
        print("%d controllers answering after %.1f s" % (count, time.monotonic() - started))
        ids = {m["name"]: m["id"] for m in machines}
        index_of = {ids["M%04d" % (i + 1)]: i for i in range(count)}

        # First render.
        profile = os.path.join(shop.dir, "chromium")
        driver = boardkit.browser(1920, 1080, profile)
        renders = []
        try:
            driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": WATCH % count})
            for _ in range(5):
                driver.get(node.url("/?lang=en"))
                renders.append(boardkit.wait_until(lambda: driver.execute_script("return window.vexaAllTiles"),
                                                   60, "every tile on the board"))

            # Change to tile: each change on a controller of its own.
            changer = Changer(farm, count)
            drain(farm)
            fresh = set()
            for _ in range(changes):
                changer.change(fresh)
                time.sleep(0.15)
            told = {}  # (index, state): [set ms, seen ms]

            def all_seen():
                for what, index, state, ms in drain(farm):
                    told.setdefault((index, state), [0, 0])[what == "seen"] = ms
                return len(told) == changes and all(t[1] for t in told.values())

            try:
                boardkit.wait_until(all_seen, 30, "the collector reading every change")
            except TimeoutError:
                pass

            def latencies(kind="vexaChanges"):
                after = {}
                for machine, state, ms in driver.execute_script("return window." + kind):
                    key = (index_of.get(machine), state)
                    if key in told and told[key][1] and ms >= told[key][0] and key not in after:
                        after[key] = ms - told[key][1]
                return after

            try:
                boardkit.wait_until(lambda: len(latencies()) == changes, 30, "every change on its tile")
            except TimeoutError:
                pass
            painted, arrived = latencies(), latencies("vexaArrivals")
            latency = list(painted.values())
            # The part the collector and its server take: until the event is in the browser.
            serving = list(arrived.values())
        finally:
            driver.quit()

        # The collector's CPU with no board and with 20.
        pid = node.process.pid
        drain(farm)
        rows = []
        for phase in ("none", "20") * rounds:
            boards = [Board(node.port) for _ in range(20 if phase == "20" else 0)]
            for board in boards:
                board.start()
            if boards:
                boardkit.wait_until(lambda: all(b.events for b in boards), 60, "20 boards streaming")
            before, threads, wall = cpu_seconds(pid), thread_cpu(pid), time.monotonic()
            changer.run(seconds, 5)
            elapsed = time.monotonic() - wall
            # The server's threads: one that accepts, one per connection.
            server = sum(cpu - threads.get(tid, ("", 0))[1] for tid, (name, cpu) in thread_cpu(pid).items()
                         if name.startswith("MHD-"))
            rows.append((phase, 100 * (cpu_seconds(pid) - before) / elapsed, sum(b.events for b in boards),
                         100 * server / elapsed))
            for board in boards:
                board.close()
            # The server's stream threads end at their next write (so a change
            # each turn); none is left over into the next window.
            def streams_closed():
                changer.change()
                return not any(name == "MHD-connection" for name, _ in thread_cpu(pid).values())

            boardkit.wait_until(streams_closed, 60, "the streams closed")
            drain(farm)

    print("\n%d controllers, %d changes, CPU windows of %.0f s; 2-core machine shared with other builds, "
          "load average %s before, %s after\n" % (count, changes, seconds, load_before, load()))
    print("| figure | value | goal |\n|---|---|---|")
    print("| first render, cold browser | %.0f ms | 1000 ms |" % renders[0])
    print("| first render, warm: median / max of %d | %.0f / %.0f ms | 1000 ms |"
          % (len(renders) - 1, statistics.median(renders[1:]), max(renders[1:])))
    if latency:
        print("| change to tile: median / p95 / max (%d of %d changes) | %.0f / %.0f / %.0f ms | p95 1000 ms |"
              % (len(latency), changes, statistics.median(latency), rank(latency, 0.95), max(latency)))
    else:
        print("| change to tile | no change reached a tile | p95 1000 ms |")
    if serving:
        print("| of it, until the event reached the browser: median / p95 / max | %.0f / %.0f / %.0f ms | |"
              % (statistics.median(serving), rank(serving, 0.95), max(serving)))
    none = [r[1] for r in rows if r[0] == "none"]
    twenty = [r[1] for r in rows if r[0] == "20"]
    for phase, cpu, events, server in rows:
        print("| collector CPU, %s boards: all threads (the server's threads) | %.1f %% (%.1f %%)%s | |"
              % ("no" if phase == "none" else phase, cpu, server,
                 ", %d events streamed" % events if phase == "20" else ""))
    print("| collector CPU, 20 boards minus none (mean of %d each): all threads (the server's threads) | %+.1f %% (%+.1f %%) "
          "| 2 %% |" % (len(none), statistics.mean(twenty) - statistics.mean(none),
                       statistics.mean(r[3] for r in rows if r[0] == "20")
                       - statistics.mean(r[3] for r in rows if r[0] == "none")))

if __name__ == "__main__":
    main()
