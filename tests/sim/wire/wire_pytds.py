"""pytds against sqlsim on the fake engine: every wire type, several result sets, messages,
errors, small packets and the log, seen by an independent TDS client."""
import datetime
import decimal
import os
import sys
import uuid

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "clients"))
import pytds  # noqa: E402
from sqlsim_harness import Sqlsim, run_tests  # noqa: E402

BINARY = sys.argv[1]


def connect(sim, **kw):
    args = dict(server="127.0.0.1", user="sa", password="sqlsim",
                autocommit=True, login_timeout=10, timeout=20)
    args.update(kw)
    if "port" not in args:
        args["port"] = sim.port("S1")
    return pytds.connect(**args)


def test_every_wire_type():
    with Sqlsim(BINARY) as sim:
        for version in (pytds.tds_base.TDS74, pytds.tds_base.TDS73, pytds.tds_base.TDS72,
                        pytds.tds_base.TDS71):
            with connect(sim, tds_version=version) as conn, conn.cursor() as cur:
                check_types(cur, version)


def check_types(cur, version):
        cur.execute("types")
        names = [d[0] for d in cur.description]
        rows = cur.fetchall()
        assert len(rows) == 2
        got = dict(zip(names, rows[0]))
        long_text = "x" * 9000
        expected = {
            "i": -2147483648, "si": -32768, "ti": 255, "bi": 9223372036854775807, "b": True,
            "nv": "中文 résumé", "v": "café €", "nvmax": long_text + "中", "vmax": long_text,
            "dt": datetime.datetime(2023, 3, 17, 1, 1, 1, 500000),
            "dec": decimal.Decimal("-12345678.90"),
            "num": decimal.Decimal("12345678901234567890123456789012345678"),
            "var_int": 42, "var_text": "变", "var_dec": decimal.Decimal("3.25"),
            "var_dt": datetime.datetime(1900, 1, 1), "f": 1.5, "r": 0.25,
            "m": decimal.Decimal("-1234.5678"), "d": datetime.date(2023, 3, 17),
            "g": uuid.UUID("6F9619FF-8B86-D011-B42D-00C04FC964FF"), "vb": b"\xde\xad\xbe\xef",
            "c": "ab   ", "nc": "中  ", "sdt": datetime.datetime(2023, 3, 17, 1, 30),
        }
        if version < pytds.tds_base.TDS73:
            expected["d"] = "2023-03-17"  # date reaches older clients as text
        for name, value in expected.items():
            assert got[name] == value, (hex(version), name, got[name], value)
        assert all(v is None for v in rows[1]), rows[1]


def test_result_sets_messages_and_errors():
    with Sqlsim(BINARY) as sim, connect(sim) as conn, conn.cursor() as cur:
        cur.execute("multi")
        assert cur.fetchall() == [(1,), (2,)]
        assert cur.nextset()
        assert cur.fetchall() == [("x",)]
        assert not cur.nextset()
        texts = [str(m[1]) for m in cur.messages]
        assert any("between the sets" in t for t in texts), texts
        try:
            cur.execute("frobnicate")
            raise AssertionError("an unknown statement succeeded")
        except pytds.Error as e:
            assert e.msg_no == 102, e
        cur.execute("use fakedb")
        cur.execute("rows 3")
        assert [r[1] for r in cur.fetchall()] == ["row 0", "row 1", "row 2"]


def test_login_failures():
    with Sqlsim(BINARY) as sim:
        for kw, numbers in (({"password": "bad"}, {18456}), ({"database": "nosuch", "login_timeout": 1}, {4060, 18456})):
            try:
                connect(sim, **kw).close()
                raise AssertionError(f"login with {kw} succeeded")
            except pytds.Error as e:
                assert getattr(e, "msg_no", None) in numbers, (kw, e)
        with connect(sim, database="fakedb") as conn, conn.cursor() as cur:
            cur.execute("rows 1")
            assert cur.fetchall() == [(0, "row 0")]


def test_small_packets_and_exact_text():
    text = "a\r\n中文 'q' \"d\"\r\n" * 400 + "end"
    with Sqlsim(BINARY) as sim:
        with connect(sim, blocksize=512) as conn, conn.cursor() as cur:
            cur.execute("echo:" + text)
            n, v = cur.fetchone()
            assert n == text
            assert v == text.replace("中文", "??")  # varchar goes out in code page 1252
            cur.execute("rows 2000")
            assert len(cur.fetchall()) == 2000
        batches = [e for e in sim.events() if e["event"] == "batch"]
        assert any(e["text"] == "echo:" + text and e["db"] == "master" and e["server"] == "S1"
                   for e in batches)


def test_two_servers_and_fault_injection():
    with Sqlsim(BINARY, servers=("A", "B")) as sim:
        with connect(sim, port=sim.port("A")) as a, connect(sim, port=sim.port("B")) as b:
            ca, cb = a.cursor(), b.cursor()
            ca.execute("exec sqlsim_fault 'fail', 1, 'rows', 1205, N'Transaction (Process ID 51) was deadlocked.'")
            cb.execute("rows 1")  # faults belong to their server
            try:
                ca.execute("rows 1")
                raise AssertionError("the armed fault did not fire")
            except pytds.Error as e:
                assert e.msg_no == 1205 and "deadlocked" in str(e), e
            ca.execute("rows 1")
            assert ca.fetchall() == [(0, "row 0")]


if __name__ == "__main__":
    run_tests([test_every_wire_type, test_result_sets_messages_and_errors, test_login_failures,
               test_small_packets_and_exact_text, test_two_servers_and_fault_injection])
