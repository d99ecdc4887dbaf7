"""FreeTDS tsql against sqlsim."""
import subprocess
import sys

from sqlsim_harness import Sqlsim, run_tests

BINARY = sys.argv[1]


def tsql(sim, script, user="sa", password="sqlsim"):
    return subprocess.run(["tsql", "-H", "127.0.0.1", "-p", str(sim.port()), "-U", user, "-P", password],
                          input=script, capture_output=True, text=True, timeout=60)


def sent_errors(sim):
    return [e["number"] for e in sim.events() if e["event"] == "error"]


def test_login_and_the_tool_statements():
    with Sqlsim(BINARY, extra=["--database", "S1:shop"]) as sim:
        out = tsql(sim, "select name from master..sysdatabases\ngo\n"
                        "exec sp_configure'show advanced options',1\ngo\nreconfigure\ngo\n")
        assert out.returncode == 0, out
        names = out.stdout.split()
        for db in ("master", "tempdb", "model", "msdb", "shop"):
            assert db in names, out.stdout
        assert "(5 rows affected)" in out.stdout, out.stdout
        assert "Msg " not in out.stderr.replace("Msg 15457", ""), out.stderr  # only the info of sp_configure
        assert sent_errors(sim) == [], sim.events()


def test_wrong_password_fails_with_18456():
    with Sqlsim(BINARY) as sim:
        out = tsql(sim, "select 1\ngo\n", password="wrong")
        assert out.returncode != 0
        assert "Msg 18456" in out.stderr and "Login failed for user 'sa'." in out.stderr, out.stderr


def test_unknown_statement_fails_with_a_number():
    with Sqlsim(BINARY) as sim:
        out = tsql(sim, "frobnicate the database\ngo\n")
        assert "Msg " in out.stderr, out
        numbers = sent_errors(sim)
        assert numbers and all(n > 0 for n in numbers), numbers


if __name__ == "__main__":
    run_tests([test_login_and_the_tool_statements, test_wrong_password_fails_with_18456,
               test_unknown_statement_fails_with_a_number])
