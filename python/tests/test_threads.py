"""Lookups from several threads at once give what they give one at a time:
the library's state and the module's cache are used by one call at a time,
even while databases are read again."""
import os
import shutil
import threading

import kem

SELECTIONS = [("KORD",), ("ST=IN",), ("RA<41.98:-87.90:100",), ("Chicago",), ("CN=GB", "EGLL"),
              ("72530", "03772"), ()]


def test_four_threads_hammering_stations(tmp_path):
    # Each thread has a database of its own that it keeps touching, so that
    # it is read again while the other threads look up.
    copies = []
    for i in range(4):
        copy = tmp_path / ("sao%d.cty" % i)
        shutil.copyfile(kem.DATABASE, copy)
        copies.append(copy)
    expected = {values: kem.stations(*values) for values in SELECTIONS}
    expected_near = kem.nearest(41.98, -87.90, n=10)
    barrier = threading.Barrier(4)
    failures = []

    def hammer(i):
        barrier.wait()
        try:
            for round_ in range(30):
                for values in SELECTIONS:
                    database = copies[i] if (round_ + i) % 2 else None
                    if database is not None:
                        os.utime(database, ns=(0, 10**9 * (round_ + 1) + i))
                    got = kem.stations(*values, database=database)
                    if got != expected[values]:
                        failures.append((i, round_, values))
                if kem.nearest(41.98, -87.90, n=10, database=copies[i]) != expected_near:
                    failures.append((i, round_, "nearest"))
                if kem.station("KORD").wmo != 72530:
                    failures.append((i, round_, "station"))
        except Exception as err:  # noqa: BLE001 - reported below
            failures.append((i, repr(err)))

    threads = [threading.Thread(target=hammer, args=(i,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []
