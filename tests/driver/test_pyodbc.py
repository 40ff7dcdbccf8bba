"""Python's pyodbc against the driver, through unixODBC, on an embedded
Firebird database: connections by data source and without one, parameters
of every type read back equal, 10 MiB text and binary blobs, the catalogue
calls, errors, a query time-out and transactions.

Run under with_datasource.sh, which sets KVFB_DSN, KVFB_DRIVER and
KVFB_DATABASE.
"""
import datetime
import decimal
import os
import unittest

import pyodbc

DSN = os.environ["KVFB_DSN"]
DRIVER = os.environ["KVFB_DRIVER"]
DATABASE = os.environ["KVFB_DATABASE"]

TABLE = """CREATE TABLE PYTYPES (ID INTEGER NOT NULL PRIMARY KEY, C_SMALLINT SMALLINT, C_INTEGER INTEGER,
    C_BIGINT BIGINT, C_NUMERIC NUMERIC(18,4), C_DECIMAL DECIMAL(9,2), C_DOUBLE DOUBLE PRECISION, C_FLOAT FLOAT,
    C_DATE DATE, C_TIME TIME, C_TIMESTAMP TIMESTAMP, C_CHAR CHAR(5), C_VARCHAR VARCHAR(40),
    C_TEXT BLOB SUB_TYPE TEXT, C_BINARY BLOB SUB_TYPE BINARY, C_BOOLEAN BOOLEAN)"""

ROWS = [
    (1, -32768, 2147483647, -9223372036854775808, decimal.Decimal("12345678901234.5678"),
     decimal.Decimal("-1234567.89"), 3.141592653589793, 1.5, datetime.date(2024, 2, 29),
     datetime.time(23, 59, 59), datetime.datetime(1999, 12, 31, 23, 59, 59, 123400), "ab   ",
     "Grüße, Welt ✓", "a text blob", b"\xde\xad\xbe\xef", True),
    (2, 32767, -2147483648, 9223372036854775807, decimal.Decimal("-0.0001"), decimal.Decimal("0.10"),
     -2.5e-300, -0.25, datetime.date(1, 1, 1), datetime.time(0, 0, 0), datetime.datetime(9999, 12, 31, 23, 59, 59),
     "abcde", "", "", b"", False),
    (3,) + (None,) * 15,
]


def connect(**kwargs):
    return pyodbc.connect("DSN=%s" % DSN, **kwargs)


class PyodbcTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with connect(autocommit=True) as cnxn:
            cur = cnxn.cursor()
            for name in ("VIEW PYVIEW", "TABLE PYTYPES", "TABLE BLOBS", "TABLE ACCOUNTS"):
                try:
                    cur.execute("DROP " + name)
                except pyodbc.Error:
                    pass
            cur.execute(TABLE)
            cur.execute("CREATE VIEW PYVIEW AS SELECT ID, C_VARCHAR FROM PYTYPES")
            cur.execute("CREATE TABLE BLOBS (ID INTEGER, T BLOB SUB_TYPE TEXT, B BLOB SUB_TYPE BINARY)")
            cur.execute("CREATE TABLE ACCOUNTS (ID INTEGER NOT NULL PRIMARY KEY, BALANCE NUMERIC(18,2))")

    def test_connect_by_dsn_and_without_one(self):
        for text in ("DSN=%s" % DSN,
                     "DRIVER={%s};DATABASE=%s;UID=SYSDBA;PWD=masterkey" % (DRIVER, DATABASE)):
            with self.subTest(text=text), pyodbc.connect(text) as cnxn:
                self.assertEqual(cnxn.cursor().execute("SELECT 6 * 7 FROM RDB$DATABASE").fetchval(), 42)
                self.assertEqual(cnxn.getinfo(pyodbc.SQL_DBMS_NAME), "Firebird")

    def test_a_missing_database_is_a_connection_failure(self):
        with self.assertRaises(pyodbc.Error) as caught:
            pyodbc.connect("DRIVER={%s};DATABASE=%s.missing;UID=SYSDBA" % (DRIVER, DATABASE))
        self.assertEqual(caught.exception.args[0], "08001")

    def test_parameters_of_every_type_read_back_equal(self):
        with connect() as cnxn:
            cur = cnxn.cursor()
            cur.execute("DELETE FROM PYTYPES")
            cur.executemany("INSERT INTO PYTYPES VALUES (%s)" % ", ".join("?" * 16), ROWS)
            cnxn.commit()
            got = [tuple(r) for r in cur.execute("SELECT * FROM PYTYPES ORDER BY ID").fetchall()]
        self.assertEqual(got, ROWS)
        self.assertIsInstance(got[0][4], decimal.Decimal)
        self.assertIsInstance(got[0][10], datetime.datetime)

    def test_column_descriptions(self):
        with connect() as cnxn:
            cur = cnxn.cursor().execute("SELECT C_NUMERIC, C_VARCHAR, C_DATE, C_TIMESTAMP FROM PYTYPES")
            names = [d[0] for d in cur.description]
            types = [d[1] for d in cur.description]
            self.assertEqual(names, ["C_NUMERIC", "C_VARCHAR", "C_DATE", "C_TIMESTAMP"])
            self.assertEqual(types, [decimal.Decimal, str, datetime.date, datetime.datetime])
            self.assertEqual(cur.description[0][4:6], (18, 4))

    def test_ten_mebibyte_blobs_round_trip(self):
        text = ("0123456789abcdéf" * (10 * 1024 * 1024 // 17 + 1))[: 10 * 1024 * 1024]
        data = bytes(range(256)) * (10 * 1024 * 1024 // 256)
        with connect() as cnxn:
            cur = cnxn.cursor()
            cur.execute("INSERT INTO BLOBS VALUES (?, ?, ?)", 1, text, data)
            cnxn.commit()
            t, b = cur.execute("SELECT T, B FROM BLOBS WHERE ID = 1").fetchone()
        self.assertEqual(len(t), len(text))
        self.assertTrue(t == text)
        self.assertTrue(b == data)

    def test_catalogue(self):
        with connect() as cnxn:
            cur = cnxn.cursor()
            tables = {r.table_name: r.table_type for r in cur.tables()}
            self.assertEqual(tables.get("PYTYPES"), "TABLE")
            self.assertEqual(tables.get("RDB$RELATIONS"), "SYSTEM TABLE")
            self.assertEqual([r.table_name for r in cur.tables(table="PYTYP%", tableType="TABLE")], ["PYTYPES"])
            self.assertEqual([r.table_name for r in cur.tables(tableType="VIEW")], ["PYVIEW"])
            self.assertEqual([c.column_name for c in cur.columns(table="PYVIEW")], ["ID", "C_VARCHAR"])
            columns = cur.columns(table="PYTYPES").fetchall()
            self.assertEqual([c.column_name for c in columns][:3], ["ID", "C_SMALLINT", "C_INTEGER"])
            by_name = {c.column_name: c for c in columns}
            self.assertEqual(by_name["C_NUMERIC"].data_type, pyodbc.SQL_NUMERIC)
            self.assertEqual((by_name["C_NUMERIC"].column_size, by_name["C_NUMERIC"].decimal_digits), (18, 4))
            self.assertEqual(by_name["C_VARCHAR"].column_size, 40)
            self.assertEqual(by_name["C_TEXT"].data_type, pyodbc.SQL_LONGVARCHAR)
            self.assertEqual(by_name["ID"].nullable, 0)
            self.assertEqual(by_name["C_DATE"].data_type, pyodbc.SQL_TYPE_DATE)

    def test_errors_carry_sqlstate_and_message(self):
        cases = [
            ("SELECT * FROM NO_SUCH_TABLE", "42S02", "Table unknown"),
            ("SELEC 1 FROM RDB$DATABASE", "42000", "Token unknown"),
            ("INSERT INTO ACCOUNTS VALUES (NULL, 1)", "23000", "ID"),
        ]
        with connect() as cnxn:
            cur = cnxn.cursor()
            for sql, state, words in cases:
                with self.subTest(sql=sql), self.assertRaises(pyodbc.Error) as caught:
                    cur.execute(sql)
                self.assertEqual(caught.exception.args[0], state)
                self.assertIn("[Kestrova ODBC Firebird]", caught.exception.args[1])
                self.assertIn(words, caught.exception.args[1])

    def test_a_query_timeout_fires(self):
        with connect() as cnxn:
            cnxn.timeout = 1  # SQL_ATTR_QUERY_TIMEOUT of each statement
            cur = cnxn.cursor()
            big = "SELECT COUNT(*) FROM RDB$FIELDS A, RDB$FIELDS B, RDB$FIELDS C, RDB$FIELDS D"
            with self.assertRaises(pyodbc.Error) as caught:
                cur.execute(big).fetchall()
            self.assertEqual(caught.exception.args[0], "HYT00")
            # The connection stays usable.
            self.assertEqual(cur.execute("SELECT 1 FROM RDB$DATABASE").fetchval(), 1)

    def test_commit_and_rollback(self):
        with connect() as writer, connect() as reader:
            w = writer.cursor()
            w.execute("DELETE FROM ACCOUNTS")
            writer.commit()
            w.execute("INSERT INTO ACCOUNTS VALUES (1, 10.50)")
            writer.rollback()
            w.execute("INSERT INTO ACCOUNTS VALUES (2, 20.25)")
            writer.commit()
            rows = reader.cursor().execute("SELECT ID, BALANCE FROM ACCOUNTS").fetchall()
            self.assertEqual([tuple(r) for r in rows], [(2, decimal.Decimal("20.25"))])

    def test_returning_is_committed_in_autocommit_mode(self):
        with connect(autocommit=True) as a, connect() as b:
            a.cursor().execute("DELETE FROM ACCOUNTS")
            got = a.cursor().execute("INSERT INTO ACCOUNTS VALUES (9, 9.5) RETURNING ID, BALANCE").fetchone()
            self.assertEqual(tuple(got), (9, decimal.Decimal("9.50")))
            self.assertEqual(b.cursor().execute("SELECT COUNT(*) FROM ACCOUNTS WHERE ID = 9").fetchval(), 1)

    def test_lock_conflict(self):
        with connect() as a, connect() as b:
            a.cursor().execute("DELETE FROM ACCOUNTS")
            a.cursor().execute("INSERT INTO ACCOUNTS VALUES (7, 1)")
            a.commit()
            a.cursor().execute("UPDATE ACCOUNTS SET BALANCE = 2 WHERE ID = 7")
            # b's transaction waits by default; Nowait=1 in the string makes it fail at once.
        with connect() as a, pyodbc.connect("DSN=%s;NOWAIT=1" % DSN) as b:
            a.cursor().execute("UPDATE ACCOUNTS SET BALANCE = 2 WHERE ID = 7")
            with self.assertRaises(pyodbc.Error) as caught:
                b.cursor().execute("UPDATE ACCOUNTS SET BALANCE = 3 WHERE ID = 7")
            self.assertEqual(caught.exception.args[0], "40001")

    def test_connections_in_several_threads(self):
        # pyodbc lets go of the interpreter lock in each ODBC call, so the
        # threads' calls reach the driver at the same time.
        import threading
        results, errors = [], []

        def work(n):
            try:
                with connect() as cnxn:
                    cur = cnxn.cursor()
                    for i in range(30):
                        value = cur.execute("SELECT CAST(? AS INTEGER) * 2, {fn UCASE(CAST(? AS VARCHAR(10)))} FROM RDB$DATABASE",
                                            n * 100 + i, "x%d" % i).fetchone()
                        results.append((tuple(value), (2 * (n * 100 + i), "X%d" % i)))
            except Exception as error:  # reported below, in the main thread
                errors.append(error)

        threads = [threading.Thread(target=work, args=(n,)) for n in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(errors, [])
        self.assertEqual(len(results), 120)
        for got, expected in results:
            self.assertEqual(got, expected)

    def test_escapes(self):
        with connect() as cnxn:
            cur = cnxn.cursor()
            row = cur.execute("SELECT {fn UCASE('abc')}, {d '2024-03-01'}, {fn DAYNAME({d '2024-01-01'})}, "
                              "{fn TIMESTAMPADD(SQL_TSI_DAY, 1, {ts '2024-02-28 10:00:00'})}, "
                              "{fn LCASE(RDB$RELATION_ID)}, {fn CONVERT(RDB$RELATION_ID, SQL_VARCHAR)} "
                              "FROM RDB$DATABASE").fetchone()
            self.assertEqual(row[0], "ABC")
            self.assertEqual(row[1], datetime.date(2024, 3, 1))
            self.assertEqual(row[2], "Monday")
            self.assertEqual(row[3], datetime.datetime(2024, 2, 29, 10, 0, 0))
            relation_id = cur.execute("SELECT RDB$RELATION_ID FROM RDB$DATABASE").fetchval()
            self.assertEqual(row[4:], (str(relation_id), str(relation_id)))


if __name__ == "__main__":
    unittest.main(verbosity=2)
