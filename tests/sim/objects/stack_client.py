"""Batches through pyodbc, unixODBC and FreeTDS's ODBC driver, the tool's own client stack:
rows back as lists of strings, the server's errors from sqlsim's log."""
import glob

import pyodbc

DRIVER = (glob.glob("/usr/lib/*/odbc/libtdsodbc.so") + [None])[0]


def _text(value):
    return None if value is None else str(value)


class Client:
    def __init__(self, sim, server="S1", database="master", user="sa", password="sqlsim"):
        assert DRIVER, "libtdsodbc.so not found under /usr/lib/*/odbc/"
        self.sim, self.server = sim, server
        self.db = pyodbc.connect(f"Driver={DRIVER};Server=127.0.0.1;Port={sim.port(server)};UID={user};"
                                 f"PWD={password};TDS_Version=7.4;Database={database}",
                                 autocommit=True, timeout=30)

    def close(self):
        self.db.close()

    def run(self, sql):
        """Runs one batch as the tool sends it; returns (rows, errors): the rows of all its result
        sets, each a list of column texts (None for NULL), and the (number, text) of every
        error the server raised for it."""
        before = len(self._errors())
        rows = []
        cursor = self.db.cursor()
        try:
            cursor.execute(sql)
            while True:
                if cursor.description:
                    rows += [[_text(v) for v in row] for row in cursor.fetchall()]
                if not cursor.nextset():
                    break
        except pyodbc.Error:
            pass  # the server's errors are read from its log, with their numbers
        finally:
            cursor.close()
        return rows, self._errors()[before:]

    def ok(self, sql):
        """Runs a batch that must succeed; returns its rows."""
        rows, errors = self.run(sql)
        assert not errors, f"{sql!r} failed: {errors}"
        return rows

    def refused(self, sql):
        """Runs a batch that must fail; returns its errors' (number, text), in order."""
        _, errors = self.run(sql)
        assert errors, f"{sql!r} was not refused"
        return errors

    def _errors(self):
        return [(e["number"], e["text"]) for e in self.sim.events()
                if e["event"] == "error" and e.get("server", self.server) == self.server]


# The catalogue as SQL Server's documented views show it, for before/after comparisons.
SNAPSHOT_QUERIES = [
    "select name, type, parent_object_id from sys.objects order by name",
    "select object_id, name, column_id, system_type_id, user_type_id, max_length, precision, "
    "scale, is_nullable, is_identity from sys.columns order by object_id, column_id",
    "select id, indid, name, status from sysindexes order by id, indid",
    "select id, indid, colid, keyno from sysindexkeys order by id, indid, keyno",
    "select id, number, colid, text from syscomments order by id, number, colid",
]


def snapshot(client, extra_queries=()):
    """Every catalogue row the snapshot queries return, to compare before and after a refusal."""
    return [client.ok(q) for q in list(SNAPSHOT_QUERIES) + list(extra_queries)]
