"""Run by the install tests in a fresh interpreter, from a directory of
their own, with only the installed package on the path: prints where kem
was imported from and what a lookup and the bundled data give."""
import os

import kem

print(os.path.realpath(kem.__file__))
print(os.path.realpath(kem.DATABASE))
print(kem.station("KORD").name, kem.nearest(51.48, -0.45, n=1)[0].id,
      round(kem.heat_index(305.15, 297.15), 1))
