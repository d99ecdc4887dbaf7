"""pytds (python3-tds) against sqlsim: logins, the tool's statements, several servers in one
process, --init, --login and the log."""
import os
import sys

import pytds
from sqlsim_harness import Sqlsim, run_tests

BINARY = sys.argv[1]


def connect(sim, server="S1", **kw):
    args = dict(server="127.0.0.1", port=sim.port(server), user="sa", password="sqlsim",
                autocommit=True, login_timeout=5, timeout=30)
    args.update(kw)
    return pytds.connect(**args)


def expect_error(fn, numbers):
    try:
        fn()
    except pytds.Error as e:
        assert getattr(e, "msg_no", None) in numbers, (e, getattr(e, "msg_no", None))
        return e
    raise AssertionError(f"expected error {numbers}, got success")


def test_login_and_the_tool_statements():
    with Sqlsim(BINARY, extra=["--database", "S1:shop"]) as sim:
        with connect(sim) as conn, conn.cursor() as cur:
            cur.execute("select name from master..sysdatabases")
            names = [r[0] for r in cur.fetchall()]
            assert {"master", "tempdb", "model", "msdb", "shop"} <= set(names), names
            cur.execute("exec sp_configure'show advanced options',1")
            cur.execute("reconfigure")
            try:
                cur.execute("frobnicate the database")
                raise AssertionError("an unknown statement succeeded")
            except pytds.Error as err:
                e = err
            assert isinstance(getattr(e, "msg_no", None), int) and e.msg_no > 0, e
            # The connection stays usable after the error.
            cur.execute("select name from master..sysdatabases")
            assert len(cur.fetchall()) == len(names)


def test_login_failures():
    with Sqlsim(BINARY) as sim:
        expect_error(lambda: connect(sim, password="wrong"), {18456})
        expect_error(lambda: connect(sim, user="nobody"), {18456})
        expect_error(lambda: connect(sim, database="nosuchdb", login_timeout=1), {4060, 18456})
        numbers = [e["number"] for e in sim.events() if e["event"] == "error"]
        assert numbers[:2] == [18456, 18456] and 4060 in numbers, numbers
        text = [e["text"] for e in sim.events() if e["event"] == "error" and e["number"] == 4060][0]
        assert text == 'Cannot open database "nosuchdb" requested by the login. The login failed.', text


def test_servers_logins_databases_and_init():
    import tempfile
    init = os.path.join(tempfile.gettempdir(), f"sqlsim_init_{os.getpid()}.sql")
    with open(init, "w") as f:
        f.write("create database fromscript\nGO\n")
    try:
        extra = ["--login", "B:admin:pw", "--login", "B:bob:s3:cret:nosysadmin", "--database", "A:only_a", "--init", f"B:{init}"]
        with Sqlsim(BINARY, servers=("A", "B"), extra=extra) as sim:
            with connect(sim, "A") as a, connect(sim, "B", user="bob", password="s3:cret") as b:
                ca, cb = a.cursor(), b.cursor()
                ca.execute("select name from master..sysdatabases")
                names_a = {r[0] for r in ca.fetchall()}
                cb.execute("select name from master..sysdatabases")
                names_b = {r[0] for r in cb.fetchall()}
                assert "only_a" in names_a and "only_a" not in names_b, (names_a, names_b)
                assert "fromscript" in names_b and "fromscript" not in names_a, (names_a, names_b)
            # With --login given, B has no sa.
            expect_error(lambda: connect(sim, "B"), {18456})
            servers = {e["server"] for e in sim.events() if e["event"] == "login"}
            assert servers == {"A", "B"}, servers
    finally:
        os.remove(init)


def test_failing_init_script_stops_start():
    import subprocess
    import tempfile
    with tempfile.NamedTemporaryFile("w", suffix=".sql", delete=False) as f:
        f.write("this is not sql at all\nGO\n")
    try:
        out = subprocess.run([BINARY, "--server", "S1=127.0.0.1:0", "--init", f"S1:{f.name}"],
                             capture_output=True, text=True, timeout=30)
        assert out.returncode != 0 and "--init" in out.stderr, out
        out = subprocess.run([BINARY, "--server", "S1=10.1.2.3:0"], capture_output=True, text=True, timeout=30)
        assert out.returncode == 2 and "127.0.0.1" in out.stderr, out
    finally:
        os.remove(f.name)


if __name__ == "__main__":
    run_tests([test_login_and_the_tool_statements, test_login_failures,
               test_servers_logins_databases_and_init, test_failing_init_script_stops_start])
