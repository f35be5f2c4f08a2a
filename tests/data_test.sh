#!/bin/sh
# The bundled data is what tools/make_data.py makes of the installed
# weather-util-data and iso-codes packages: regenerated into a scratch
# directory, every generated file must be identical.  Skipped (status 77)
# when the packages or Python 3 are missing.
set -eu
source=$1
for need in /usr/share/weather-util/stations.gz /usr/share/iso-codes/json/iso_3166-1.json; do
    if [ ! -f "$need" ]; then
        echo "skipped: $need not found (apt-get install weather-util-data iso-codes)"
        exit 77
    fi
done
command -v python3 >/dev/null || { echo "skipped: python3 not found"; exit 77; }

scratch=$(mktemp -d /tmp/kem-data-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
python3 "$source/tools/make_data.py" "$scratch/first"
python3 "$source/tools/make_data.py" "$scratch/second"
status=0
for f in sao.cty cities.raw counties.raw states.raw zones.raw; do
    cmp "$scratch/first/$f" "$scratch/second/$f" || status=1
    cmp "$scratch/first/$f" "$source/data/$f" || status=1
done
exit $status
