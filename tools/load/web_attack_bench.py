#!/usr/bin/env python3
"""Measures navlet-server's web site under attack on this machine.

    tools/load/web_attack_bench.py [BUILD_DIR]      (default build/default)

Starts navlet-server on free loopback ports with a temporary data folder and
reports, for a normal client asking for the home page one request at a time:
the answer time (median, 99th percentile, worst) with no attack, then while
100 slow clients (from 20 loopback addresses, each sending one header byte
every 2 s) and 4 header bombs (12 MB of "a:b" fields each, over and over) run;
and the server's resident memory before and at its peak. Every phase is
bounded in time.
"""
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

REQUESTS = 200
SLOW_CLIENTS = 100
SLOW_PER_ADDRESS = 5
BOMBS = 4
BOMB_BYTES = 12 << 20


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def memory_kib(pid, field):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def answer_times(port, count):
    """Times of `count` GET / answers in ms; None for a failed one."""
    times = []
    for _ in range(count):
        begin = time.monotonic()
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
                s.sendall(b"GET / HTTP/1.1\r\nHost: bench\r\nConnection: close\r\n\r\n")
                reply = b""
                while chunk := s.recv(65536):
                    reply += chunk
            ok = reply.startswith(b"HTTP/1.1 200")
        except OSError:
            ok = False
        times.append((time.monotonic() - begin) * 1000 if ok else None)
        time.sleep(0.01)
    return times


def summary(times):
    done = sorted(t for t in times if t is not None)
    failed = len(times) - len(done)
    if not done:
        return f"no answer at all ({failed} failed)"
    pick = lambda q: done[min(len(done) - 1, int(q * len(done)))]
    return (f"median {pick(0.5):.2f} ms, p99 {pick(0.99):.2f} ms, worst {done[-1]:.2f} ms, "
            f"{failed} of {len(times)} failed")


def slow_clients(port, stop):
    clients = []
    for i in range(SLOW_CLIENTS):
        source = f"127.0.1.{2 + i // SLOW_PER_ADDRESS}"
        try:
            s = socket.socket()
            s.bind((source, 0))
            s.connect(("127.0.0.1", port))
            clients.append(s)
        except OSError:
            pass
    head = b"GET / HTTP/1.1\r\nX-Slow: " + b"a" * 10000
    sent = 0
    while not stop.wait(2.0):
        for s in list(clients):
            try:
                s.send(head[sent:sent + 1])
            except OSError:
                clients.remove(s)
                s.close()
        sent += 1
    for s in clients:
        s.close()


def bomber(port, stop):
    lines = b"a:b\r\n" * 16384
    while not stop.is_set():
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
                s.sendall(b"GET / HTTP/1.1\r\n")
                for _ in range(BOMB_BYTES // len(lines)):
                    s.sendall(lines)
        except OSError:
            pass


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/default"
    server = os.path.join(build, "server", "navlet-server")
    if not os.access(server, os.X_OK):
        sys.exit(f"web_attack_bench: {server} is missing; build it first")
    web = free_port()
    with tempfile.TemporaryDirectory(prefix="navlet-web-bench.") as data:
        process = subprocess.Popen(
            [server, "--data", data, "--listen", f"127.0.0.1:{free_port()}",
             "--web", f"127.0.0.1:{web}", "--admin", ""],
            stdout=subprocess.DEVNULL)
        try:
            time.sleep(1.0)
            before = memory_kib(process.pid, "VmRSS")
            print("quiet:        " + summary(answer_times(web, REQUESTS)))
            stop = threading.Event()
            attackers = [threading.Thread(target=slow_clients, args=(web, stop))]
            attackers += [threading.Thread(target=bomber, args=(web, stop)) for _ in range(BOMBS)]
            for t in attackers:
                t.start()
            time.sleep(3.0)
            attacked = answer_times(web, REQUESTS)
            stop.set()
            for t in attackers:
                t.join(timeout=30)
            print("under attack: " + summary(attacked))
            print(f"memory: {before} KiB before, peak {memory_kib(process.pid, 'VmHWM')} KiB")
        finally:
            process.terminate()
            process.wait(timeout=30)


if __name__ == "__main__":
    main()
