"""Starts a sqlsim process on free loopback ports for one test and stops it afterwards."""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time


class Sqlsim:
    def __init__(self, binary, servers=("S1",), extra=()):
        self.dir = tempfile.mkdtemp(prefix="sqlsim_test_")
        self.ready = os.path.join(self.dir, "ready")
        self.log = os.path.join(self.dir, "log.jsonl")
        args = [binary]
        for name in servers:
            args += ["--server", f"{name}=127.0.0.1:0"]
        args += list(extra) + ["--log", self.log, "--ready-file", self.ready, "--exit-with-parent"]
        self.stderr = open(os.path.join(self.dir, "stderr"), "w+")
        self.proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=self.stderr)
        self.ports = {}
        deadline = time.time() + 30
        while not os.path.exists(self.ready):
            if self.proc.poll() is not None:
                message = f"sqlsim exited with {self.proc.returncode}: {self.stderr_text()}"
                shutil.rmtree(self.dir, ignore_errors=True)
                raise RuntimeError(message)
            if time.time() > deadline:
                self.proc.kill()
                self.proc.wait()
                shutil.rmtree(self.dir, ignore_errors=True)
                raise RuntimeError("sqlsim did not become ready")
            time.sleep(0.02)
        with open(self.ready) as f:
            for line in f:
                name, host, port = line.split()
                assert host == "127.0.0.1"
                self.ports[name] = int(port)
        assert set(self.ports) == set(servers), self.ports

    def port(self, name="S1"):
        return self.ports[name]

    def stderr_text(self):
        self.stderr.flush()
        with open(self.stderr.name) as f:
            return f.read()

    def events(self):
        with open(self.log, encoding="utf-8") as f:
            return [json.loads(line) for line in f]

    def alive(self):
        return self.proc.poll() is None

    def stop(self):
        """SIGTERM; sqlsim must exit 0 promptly."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
                raise AssertionError("sqlsim did not stop on SIGTERM")
        code = self.proc.returncode
        self.stderr.close()
        return code

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        code = self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)
        if exc[0] is None:
            assert code == 0, f"sqlsim exited with {code}"


def run_tests(tests):
    """Runs test functions in order; prints a closing 'N passed, N failed' line."""
    passed = failed = 0
    for test in tests:
        start = time.time()
        try:
            test()
            passed += 1
            print(f"PASS {test.__name__} ({time.time() - start:.1f}s)", flush=True)
        except Exception:  # report every failure, then go on with the next test
            failed += 1
            import traceback
            print(f"FAIL {test.__name__}", flush=True)
            traceback.print_exc()
    print(f"{passed} passed, {failed} failed", flush=True)
    sys.exit(1 if failed else 0)


# A bare TDS 7.4 client, for tests that must misbehave in ways real drivers never do.
def _packet(kind, payload, last=True):
    import struct
    return struct.pack(">BBHHBB", kind, 1 if last else 0, len(payload) + 8, 0, 1, 0) + payload


def _login7(user, password, database=""):
    import struct
    fields = [("host", False), (user, False), (password, True), ("raw", False), ("", False),
              (None, False), ("raw", False), ("", False), (database, False)]
    fixed = 94
    head = struct.pack("<IIIIIIBBBBiI", 0, 0x74000004, 4096, 7, 0, 0, 0xE0, 3, 0, 0, 0, 0x409)
    data = b""
    for text, secret in fields:
        if text is None:
            head += struct.pack("<I", 0)
            continue
        raw = text.encode("utf-16-le")
        if secret:
            raw = bytes((((b << 4) & 0xF0) | (b >> 4)) ^ 0xA5 for b in raw)
        head += struct.pack("<HH", fixed + len(data), len(raw) // 2)
        data += raw
    head += b"\0" * 6 + struct.pack("<HHHHHHI", fixed + len(data), 0, fixed + len(data), 0,
                                    fixed + len(data), 0, 0)
    body = head + data
    return struct.pack("<I", len(body)) + body[4:]


def read_message(sock):
    """One whole response message, or None when the server closed the connection."""
    import struct
    out = b""
    while True:
        header = _read_exact(sock, 8)
        if header is None:
            return None
        kind, status, length = struct.unpack(">BBH", header[:4])
        body = _read_exact(sock, length - 8)
        if body is None:
            return None
        out += body
        if status & 1:
            return out


def _read_exact(sock, n):
    buf = b""
    while len(buf) < n:
        try:
            part = sock.recv(n - len(buf))
        except (ConnectionResetError, TimeoutError, OSError):
            return None
        if not part:
            return None
        buf += part
    return buf


def raw_login(port, user="sa", password="sqlsim"):
    """Connects and logs in without PRELOGIN; returns the socket."""
    import socket
    sock = socket.create_connection(("127.0.0.1", port), timeout=20)
    sock.sendall(_packet(0x10, _login7(user, password)))
    reply = read_message(sock)
    assert reply is not None and b"\xad" in reply, reply
    return sock


def raw_batch(sql):
    import struct
    payload = struct.pack("<IIHQI", 22, 18, 2, 0, 1) + sql.encode("utf-16-le")
    room = 4096 - 8
    chunks = [payload[i:i + room] for i in range(0, len(payload), room)] or [b""]
    return b"".join(_packet(0x01, c, last=(i == len(chunks) - 1)) for i, c in enumerate(chunks))
