#!/usr/bin/env python3
"""Times the module's lookups on the bundled database: the first call of a
process (which reads the database), then 10,000 calls of station() on
identifiers taken in turn from the whole database, and of nearest() on as
many positions spread over the stations' own.

    PYTHONPATH=build/python /usr/bin/python3 python/bench/lookups.py
"""
import time

t0 = time.perf_counter()
import kem  # noqa: E402

t1 = time.perf_counter()
kem.station("KORD")
t2 = time.perf_counter()

every = kem.stations()
ids = [s.id for s in every]
spots = [(s.lat + 0.37, s.lon - 0.41) for s in every if s.lat is not None and abs(s.lat) < 89]
CALLS = 10_000


def per_call(name, call, args):
    times = []
    for _ in range(3):  # the best of three rounds
        start = time.perf_counter()
        for i in range(CALLS):
            call(*args[i % len(args)])
        times.append((time.perf_counter() - start) / CALLS)
    print("%-34s %8.2f us a call" % (name, min(times) * 1e6))


print("kem %s, %d stations" % (kem.__file__, len(every)))
print("%-34s %8.2f ms" % ("import kem", (t1 - t0) * 1e3))
print("%-34s %8.2f ms" % ("first station('KORD')", (t2 - t1) * 1e3))
per_call("station('KORD')", kem.station, [("KORD",)])
per_call("station(each identifier in turn)", kem.station, [(i,) for i in ids])
per_call("nearest(lat, lon), n=5", kem.nearest, spots)
per_call("nearest(lat, lon, 10, within_km=100)", lambda lat, lon: kem.nearest(lat, lon, 10, 100),
         spots)
per_call("stations('ST=IN')", kem.stations, [("ST=IN",)])
