#!/usr/bin/env python3
"""Figures of kestrow-scores under hostile clients, on loopback, each attack bounded in time.

Usage: score_server_attacks.py PATH_TO_KESTROW_SCORES
Prints the answer time of a normal client beside idle and slow connections, how long 5000 idle
connections hold descriptors (at most 60 s), the peak memory after 8 floods of 100 MB of headers, the
largest -wal under a flood of results, and how long SIGTERM takes with slow clients connected.
"""
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

SERVER = sys.argv[1]
REQUEST_LINE = b"POST /public/index.php?a=KestrowRes HTTP/1.1\r\n"
K1, K2, K3 = 0x4B, 0x71, 0x2D


def start(*options):
    work = tempfile.mkdtemp()
    database = os.path.join(work, "scores.db")
    process = subprocess.Popen([SERVER, "--listen", "127.0.0.1", "--port", "0", "--db", database,
                                *options], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    line = process.stdout.readline().decode()
    return process, int(line.rsplit(":", 1)[1]), database


def stop(process):
    process.kill()
    process.wait()


def connect(port, source, timeout=1.0):
    connection = socket.socket()
    connection.settimeout(timeout)
    connection.bind((source, 0))
    connection.connect(("127.0.0.1", port))
    return connection


def source(block, i):
    return "127.%d.%d.%d" % (block, i // 250, i % 250 + 1)


def post(port, body, timeout=60.0):
    """Seconds until the answer of one request, or None when none came within the time-out."""
    began = time.monotonic()
    try:
        connection = connect(port, "127.0.0.1", timeout)
        connection.sendall(REQUEST_LINE + b"Host: x\r\nConnection: close\r\nContent-Length: %d"
                           b"\r\n\r\n%s" % (len(body), body))
        reply = connection.recv(4096)
        connection.close()
        return time.monotonic() - began if reply.startswith(b"HTTP/1.1 200") else None
    except OSError:
        return None


def exchange(connection, body):
    """Sends one request on a kept-alive connection and reads its whole answer."""
    connection.sendall(REQUEST_LINE + b"Host: x\r\nContent-Length: %d\r\n\r\n%s" %
                       (len(body), body))
    reply = b""
    while b"\r\n\r\n" not in reply:
        chunk = connection.recv(4096)
        if not chunk:
            raise OSError("closed")
        reply += chunk
    head, rest = reply.split(b"\r\n\r\n", 1)
    length = int(re.search(rb"content-length: *(\d+)", head, re.IGNORECASE).group(1))
    while len(rest) < length:
        rest += connection.recv(4096)


def submission(name, seconds, hundredths):
    mask = 0x5C
    check = seconds % 64 + hundredths % 64
    encoded = [K1, seconds + K2, check, hundredths + K3]
    address = [0, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E]
    token = [address[0], address[1], *encoded, address[2], address[3]]
    text = "".join("%02X" % (byte ^ mask) for byte in token) + "%02X" % mask
    text += "".join("%02X" % (byte ^ mask) for byte in address[4:])
    return b"action=set&nom=" + name.encode() + b"&tmp=" + text.encode()


class SlowClients:
    """Connections that send one header line every `period` seconds."""

    def __init__(self, port, count, period):
        self.sockets = open_idle(port, count, 2)
        for connection in self.sockets:
            connection.send(REQUEST_LINE)
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self.run, args=(period,))
        self.thread.start()

    def run(self, period):
        while not self.stopping.wait(period):
            for connection in self.sockets:
                try:
                    connection.send(b"X-Slow: 1\r\n")
                except OSError:
                    pass

    def close(self):
        self.stopping.set()
        self.thread.join()
        for connection in self.sockets:
            connection.close()


def open_idle(port, count, block=1):
    idle = []
    for i in range(count):
        try:
            idle.append(connect(port, source(block, i), 0.2))
        except OSError:
            break
    return idle


def normal_client_beside_attackers():
    process, port, _ = start()
    idle = open_idle(port, 1000)
    slow = SlowClients(port, 8, 3.0)
    answer = post(port, b"action=get", 30.0)
    print("1000 idle (%d opened) + 8 slow-header connections (%d opened): normal client answered "
          "in %s" % (len(idle), len(slow.sockets), "%.3f s" % answer if answer else "no answer "
                     "within 30 s"))
    slow.close()
    for connection in idle:
        connection.close()
    stop(process)


def silent_connections_delay():
    process, port, _ = start()
    silent = open_idle(port, 40, 5)
    answer = post(port, b"action=get", 30.0)
    print("40 silent connections: normal client answered in %s" %
          ("%.3f s" % answer if answer else "no answer within 30 s"))
    for connection in silent:
        connection.close()
    stop(process)


def idle_descriptors():
    process, port, _ = start()
    idle = open_idle(port, 5000)
    began = time.monotonic()
    held = len(os.listdir("/proc/%d/fd" % process.pid))
    while held > 50 and time.monotonic() - began < 60:
        time.sleep(0.5)
        held = len(os.listdir("/proc/%d/fd" % process.pid))
    print("5000 idle connections (%d opened): %d descriptors left after %.1f s" %
          (len(idle), held, time.monotonic() - began))
    for connection in idle:
        connection.close()
    stop(process)


def header_floods():
    process, port, _ = start("--rate", "1000000")

    def flood(i):
        try:
            connection = connect(port, source(3, i), 5.0)
            connection.sendall(REQUEST_LINE)
            line = b"X-Flood: " + b"h" * 8000 + b"\r\n"
            for _ in range(100 * 1024 * 1024 // len(line)):
                connection.sendall(line)
        except OSError:
            pass

    floods = [threading.Thread(target=flood, args=(i,)) for i in range(8)]
    for thread in floods:
        thread.start()
    for thread in floods:
        thread.join()
    status = open("/proc/%d/status" % process.pid).read()
    peak = [line for line in status.splitlines() if line.startswith("VmHWM")][0]
    now = [line for line in status.splitlines() if line.startswith("VmRSS")][0]
    print("8 x 100 MB header floods: peak %s, now %s" % (peak.split(":")[1].strip(),
                                                          now.split(":")[1].strip()))
    stop(process)


def log_under_flood():
    process, port, database = start("--rate", "1000000")
    largest = [0]
    done = threading.Event()

    def watch():
        while not done.is_set():
            try:
                largest[0] = max(largest[0], os.path.getsize(database + "-wal"))
            except OSError:
                pass
            time.sleep(0.01)

    def send(t):
        connection = connect(port, "127.0.0.1", 10.0)
        for i in range(2500):
            body = submission("W%d-%d" % (t, i), 20 + i % 40, i % 100)
            try:
                exchange(connection, body)
            except OSError:  # the server closed the kept-alive connection: one more try
                connection = connect(port, "127.0.0.1", 10.0)
                exchange(connection, body)
        connection.close()

    watcher = threading.Thread(target=watch)
    watcher.start()
    began = time.monotonic()
    senders = [threading.Thread(target=send, args=(t,)) for t in range(4)]
    for thread in senders:
        thread.start()
    for thread in senders:
        thread.join()
    done.set()
    watcher.join()
    print("10000 results in %.1f s: largest -wal %.1f MiB, database %.1f MiB" %
          (time.monotonic() - began, largest[0] / 2**20, os.path.getsize(database) / 2**20))
    stop(process)


def sigterm_with_slow_clients():
    process, port, _ = start()
    slow = SlowClients(port, 8, 0.2)
    time.sleep(0.5)
    began = time.monotonic()
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(20)
        print("SIGTERM with 8 slow clients: ended in %.3f s" % (time.monotonic() - began))
    except subprocess.TimeoutExpired:
        print("SIGTERM with 8 slow clients: still running after 20 s")
        stop(process)
    slow.close()


for measure in (normal_client_beside_attackers, silent_connections_delay, idle_descriptors,
                header_floods, log_under_flood, sigterm_with_slow_clients):
    measure()
