"""Many clients at once, clients that vanish mid-answer or send garbage, and faults that
stall or drop one connection while the others go on."""
import os
import random
import socket
import struct
import sys
import threading
import time

import pytds
from sqlsim_harness import Sqlsim, raw_batch, raw_login, read_message, run_tests, _packet, _login7

BINARY = sys.argv[1]
QUERY = "select name from master..sysdatabases"


def connect(sim, **kw):
    args = dict(server="127.0.0.1", port=sim.port(), user="sa", password="sqlsim",
                autocommit=True, login_timeout=20, timeout=60)
    args.update(kw)
    return pytds.connect(**args)


def check_serving(sim):
    with connect(sim) as conn, conn.cursor() as cur:
        cur.execute(QUERY)
        assert "master" in [r[0] for r in cur.fetchall()]


def test_fifty_clients_twenty_batches_each():
    with Sqlsim(BINARY, extra=["--database", "S1:shop"]) as sim:
        start = threading.Barrier(50)
        results, errors = [], []

        def client(n):
            try:
                with connect(sim) as conn, conn.cursor() as cur:
                    start.wait(timeout=60)
                    for i in range(20):
                        cur.execute(f"{QUERY} -- client {n} batch {i}")
                        names = [r[0] for r in cur.fetchall()]
                        assert "shop" in names, names
                    results.append(n)
            except Exception as e:  # collected and reported below
                errors.append((n, repr(e)))

        threads = [threading.Thread(target=client, args=(n,)) for n in range(50)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(timeout=100)
        assert not errors, errors[:5]
        assert sorted(results) == list(range(50))
        batches = [e for e in sim.events() if e["event"] == "batch" and "-- client" in e["text"]]
        assert len(batches) == 1000, len(batches)


def test_client_vanishing_mid_answer():
    with Sqlsim(BINARY) as sim:
        for abort in (False, True):
            sock = raw_login(sim.port())
            sock.sendall(raw_batch((QUERY + "\n") * 3000))
            sock.recv(100)  # the answer has started
            if abort:  # reset instead of an orderly close
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            sock.close()
        check_serving(sim)
        assert sim.alive()


def test_garbage_and_malformed_packets():
    with Sqlsim(BINARY) as sim:
        rng = random.Random(3)
        cases = [
            bytes(rng.getrandbits(8) for _ in range(1 << 20)),           # 1 MiB of noise
            _packet(0x12, b"\x00\x00\x40\x00\x06\xff"),                    # PRELOGIN option outside
            _packet(0x10, _login7("sa", "sqlsim")[:40]),                  # LOGIN7 cut short
            _packet(0x01, b"\x16\x00\x00\x00"),                           # batch before login
            _packet(0x10, b"\xff\xff\x00\x00" + _login7("sa", "sqlsim")[4:]),  # length too big
        ]
        bad_offsets = bytearray(_login7("sa", "sqlsim"))
        bad_offsets[40:44] = b"\xf0\xff\x10\x00"                          # user name outside
        cases.append(_packet(0x10, bytes(bad_offsets)))
        cases.append(_packet(0x12, b"\x00" * 4)[:6])                      # header cut short
        for case in cases:
            sock = socket.create_connection(("127.0.0.1", sim.port()), timeout=10)
            try:
                sock.sendall(case)
            except OSError:
                pass  # the server may close before all of it is read
            reply = read_message(sock) if len(case) > 8 else None
            assert reply is None or b"\xaa" in reply, reply  # closed, or an error token
            sock.close()
        check_serving(sim)
        assert any(e["event"] == "protocol_error" for e in sim.events())


def test_stall_holds_up_no_one_else_and_drop_closes():
    with Sqlsim(BINARY) as sim:
        with connect(sim) as control, control.cursor() as cur:
            cur.execute("exec sqlsim_fault 'stall', 1, 'stall me', 3")
            slow = {}

            def stalled():
                with connect(sim) as conn, conn.cursor() as c:
                    t = time.time()
                    c.execute(f"{QUERY} -- stall me")
                    slow["rows"] = len(c.fetchall())
                    slow["seconds"] = time.time() - t

            t = threading.Thread(target=stalled)
            t.start()
            time.sleep(0.5)
            t0 = time.time()
            for _ in range(10):
                cur.execute(QUERY)
                cur.fetchall()
            assert time.time() - t0 < 2, "a stalled connection held up another"
            t.join(timeout=30)
            assert slow["seconds"] >= 2.5 and slow["rows"] > 0, slow

            cur.execute("exec sqlsim_fault 'drop', 1, 'drop me'")
            with connect(sim) as victim, victim.cursor() as v:
                try:
                    v.execute(f"{QUERY} -- drop me")
                    v.fetchall()
                    raise AssertionError("a dropped connection answered")
                except (pytds.Error, OSError, EOFError):
                    pass
            cur.execute("exec sqlsim_fault 'fail', 2, 'sysdatabases', 50123, N'injected 失败'")
            for _ in range(2):
                try:
                    cur.execute(QUERY)
                    raise AssertionError("the injected failure did not happen")
                except pytds.Error as e:
                    assert e.msg_no == 50123 and "injected 失败" in str(e), e
            cur.execute(QUERY)
            assert cur.fetchall()


if __name__ == "__main__":
    run_tests([test_fifty_clients_twenty_batches_each, test_client_vanishing_mid_answer,
               test_garbage_and_malformed_packets, test_stall_holds_up_no_one_else_and_drop_closes])
