#!/usr/bin/env python3
"""What hostile clients take from a quarlix-server with its default limits,
one line each: idle sockets from one address (how many the server keeps,
whether a client from another address still logs in), password guesses from
one address (wrong logins answered a second), and the memory of clients that
never read their answer (server_bench.py --stalled-only prints that table).

    hostile_bench.py --server build/bench/quarlix-server [--seconds 20]"""
import argparse
import os
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "server"))
from raw_client import LOGIN7, PRELOGIN, RawClient, has_login_ack, login7_payload, packet, prelogin_payload  # noqa: E402

USER, PASSWORD = "bench", "bench-Pass1"


def start(exe, folder):
    logins = os.path.join(folder, "logins")
    with open(logins, "w") as f:
        f.write(subprocess.run([exe, "--print-login", USER], input=PASSWORD + "\n", capture_output=True,
                               text=True, check=True).stdout)
    process = subprocess.Popen([exe, "--listen", "127.0.0.1:0", "--logins", logins, "--quiet"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    return process, int(process.stdout.readline().rsplit(":", 1)[1])


def connect_from(source, port, timeout=60):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind((source, 0))
    s.settimeout(timeout)
    s.connect(("127.0.0.1", port))
    return s


def idle_flood(port):
    flood = [connect_from("127.0.0.2", port) for _ in range(64)]
    time.sleep(6)  # past the refusals' 5 s
    kept = 0
    for s in flood:
        s.setblocking(False)
        try:
            kept += s.recv(1) != b""
        except BlockingIOError:
            kept += 1
        except OSError:
            pass
    client = RawClient.__new__(RawClient)
    client.sock = connect_from("127.0.0.1", port, timeout=10)
    try:
        logged_in = has_login_ack(client.login(USER, PASSWORD))
    except OSError as e:
        logged_in = False
        print(f"  (the client from 127.0.0.1: {e})", file=sys.stderr)
    for s in flood:
        s.close()
    return kept, logged_in


def guesses(port, seconds):
    done, end = 0, time.time() + seconds
    while time.time() < end:
        client = RawClient.__new__(RawClient)
        client.sock = connect_from("127.0.0.2", port, timeout=60)
        client.send(packet(PRELOGIN, prelogin_payload()))
        client.read_message()
        client.send(packet(LOGIN7, login7_payload(USER, "guess%d" % done)))
        client.read_message()
        client.close()
        done += 1
    return done / seconds


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--seconds", type=float, default=20)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        process, port = start(args.server, folder)
        try:
            kept, logged_in = idle_flood(port)
        finally:
            process.terminate()
            process.wait(60)
        process, port = start(args.server, folder)
        try:
            rate = guesses(port, args.seconds)
        finally:
            process.terminate()
            process.wait(60)
    print("| 64 idle sockets from one address: kept by the server | a client from another address logs in | "
          f"wrong passwords from one address, a second (over {args.seconds:g} s) |")
    print("|---:|---|---:|")
    print(f"| {kept} | {'yes' if logged_in else 'no'} | {rate:.2f} |")


if __name__ == "__main__":
    main()
