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


class Odbc:
    """The few ODBC calls needed to set a query timeout, which isql cannot."""

    def __init__(self, conn_str):
        import ctypes
        self.c = ctypes
        lib = ctypes.CDLL("libodbc.so.2")
        vp, sp = ctypes.c_void_p, ctypes.c_short
        lib.SQLAllocHandle.argtypes = [sp, vp, ctypes.POINTER(vp)]
        lib.SQLSetEnvAttr.argtypes = [vp, ctypes.c_int, vp, ctypes.c_int]
        lib.SQLSetStmtAttr.argtypes = [vp, ctypes.c_int, vp, ctypes.c_int]
        lib.SQLDriverConnect.argtypes = [vp, vp, ctypes.c_char_p, sp, vp, sp, vp, ctypes.c_ushort]
        lib.SQLExecDirect.argtypes = [vp, ctypes.c_char_p, ctypes.c_int]
        lib.SQLGetDiagRec.argtypes = [sp, vp, sp, ctypes.c_char_p, ctypes.POINTER(ctypes.c_int),
                                      ctypes.c_char_p, sp, ctypes.POINTER(sp)]
        lib.SQLFreeHandle.argtypes = [sp, vp]
        lib.SQLDisconnect.argtypes = [vp]
        self.lib = lib
        self.env, self.dbc = vp(), vp()
        lib.SQLAllocHandle(1, None, ctypes.byref(self.env))
        lib.SQLSetEnvAttr(self.env, 200, vp(3), 0)  # ODBC 3
        lib.SQLAllocHandle(2, self.env, ctypes.byref(self.dbc))
        rc = lib.SQLDriverConnect(self.dbc, None, conn_str.encode(), -3, None, 0, None, 0)
        assert rc in (0, 1), self.diag(2, self.dbc)

    def diag(self, kind, handle):
        state, msg = self.c.create_string_buffer(6), self.c.create_string_buffer(1024)
        native, length = self.c.c_int(), self.c.c_short()
        self.lib.SQLGetDiagRec(kind, handle, 1, state, self.c.byref(native), msg, 1024, self.c.byref(length))
        return state.value.decode(), msg.value.decode(errors="replace")

    def execute(self, sql, timeout=0):
        stmt = self.c.c_void_p()
        self.lib.SQLAllocHandle(3, self.dbc, self.c.byref(stmt))
        self.lib.SQLSetStmtAttr(stmt, 0, self.c.c_void_p(timeout), 0)  # SQL_ATTR_QUERY_TIMEOUT
        rc = self.lib.SQLExecDirect(stmt, sql.encode(), -3)
        result = (rc, self.diag(3, stmt) if rc not in (0, 1, 100) else None)
        self.lib.SQLFreeHandle(3, stmt)
        return result

    def close(self):
        self.lib.SQLDisconnect(self.dbc)
        self.lib.SQLFreeHandle(2, self.dbc)
        self.lib.SQLFreeHandle(1, self.env)


def test_query_timeout_cancels_a_stalled_batch():
    import time
    with Sqlsim(BINARY) as sim:
        odbc = Odbc(f"Driver={DRIVER};Server=127.0.0.1;Port={sim.port()};UID=sa;PWD=sqlsim;TDS_Version=7.4")
        try:
            armed = odbc.execute("exec sqlsim_fault 'stall', 1, 'slow one', 30")
            assert armed[0] in (0, 1, 100), armed
            start = time.time()
            rc, diag = odbc.execute("select name from master..sysdatabases -- slow one", timeout=1)
            assert rc == -1 and diag[0] == "HYT00", (rc, diag)
            assert time.time() - start < 10
            # The driver got its attention acknowledgement: the connection goes on.
            assert odbc.execute("select name from master..sysdatabases")[0] in (0, 1)
        finally:
            odbc.close()


if __name__ == "__main__":
    run_tests([test_login_and_the_tool_statements, test_wrong_password_fails_with_18456,
               test_unknown_statement_fails_with_a_number, test_query_timeout_cancels_a_stalled_batch])
