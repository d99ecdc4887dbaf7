"""unixODBC isql through FreeTDS's ODBC driver (tdsodbc) against sqlsim."""
import glob
import subprocess
import sys

from sqlsim_harness import Sqlsim, run_tests

BINARY = sys.argv[1]
DRIVER = (glob.glob("/usr/lib/*/odbc/libtdsodbc.so") + [None])[0]


def isql(sim, lines, user="sa", password="sqlsim"):
    conn = (f"Driver={DRIVER};Server=127.0.0.1;Port={sim.port()};UID={user};PWD={password};"
            "TDS_Version=7.4;Database=master")
    return subprocess.run(["isql", "-v", "-k", conn, "-b", "-d|"], input="\n".join(lines) + "\n",
                          capture_output=True, text=True, timeout=60)


def errors_sent(sim):
    return [e for e in sim.events() if e["event"] == "error"]


def test_login_and_the_tool_statements():
    assert DRIVER, "libtdsodbc.so not found under /usr/lib/*/odbc/"
    with Sqlsim(BINARY, extra=["--database", "S1:shop"]) as sim:
        out = isql(sim, ["select name from master..sysdatabases",
                         "exec sp_configure'show advanced options',1", "reconfigure"])
        assert out.returncode == 0, out
        rows = out.stdout.split()
        for db in ("master", "tempdb", "model", "msdb", "shop"):
            assert db in rows, out.stdout
        assert "ERROR" not in out.stdout + out.stderr, out
        assert errors_sent(sim) == [], errors_sent(sim)
        texts = [e["text"] for e in sim.events() if e["event"] == "batch"]
        assert "exec sp_configure'show advanced options',1" in texts, texts


def test_wrong_password_fails_with_18456():
    with Sqlsim(BINARY) as sim:
        out = isql(sim, ["select 1"], password="wrong")
        assert out.returncode != 0
        assert "Login failed for user 'sa'." in out.stdout + out.stderr, out
        assert [e["number"] for e in errors_sent(sim)] == [18456]


def test_unknown_statement_fails_with_a_number():
    with Sqlsim(BINARY) as sim:
        out = isql(sim, ["frobnicate the database"])
        assert "ERROR" in out.stdout + out.stderr, out
        sent = errors_sent(sim)
        assert sent and sent[0]["number"] > 0 and sent[0]["severity"] > 10, sent


if __name__ == "__main__":
    run_tests([test_login_and_the_tool_statements, test_wrong_password_fails_with_18456,
               test_unknown_statement_fails_with_a_number])
