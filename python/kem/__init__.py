"""Station lookups and surface calculations of the kem meteorological library.

The selection language of ``kemcity -in dbase``, through the library's own
selection code, on the bundled station database (about 5,600 METAR stations
worldwide) or any other::

    >>> import kem
    >>> kem.station("KORD").lat
    41.9833
    >>> [s.id for s in kem.stations("ST=IN:P<0", "ST=ON:P<0")]
    ['CYOW', 'CYYZ', 'KIND']
    >>> [(s.id, s.dist) for s in kem.nearest(41.98, -87.90, n=2)]
    [('KORD', 1.4284424), ('KPWK', 15.201026)]

Surface calculations take floats or NumPy arrays, in kelvin, millibars, g/kg,
percent, m/s, metres, degrees and kilometres, and give NaN where the library
has no answer::

    >>> round(kem.heat_index(305.15, 297.15), 2)
    311.13

The raw location tables (cities, counties, states, forecast zones,
upper-air sites, radars) by the raw-table rules of ``kemcity -in KIND``::

    >>> [(p["ID"], p["Name"]) for p in kem.places("county", "Cook_County_IL")]
    [(17031, 'Cook_County')]

The module prints nothing: it switches the messages of its copy of the
library off when imported.  Lookups from several threads are served one at a
time.  A database is read once and kept in memory while its file is
unchanged (same size and modification time).
"""
from __future__ import annotations

import os
from typing import Any, Dict, Iterable, NamedTuple, Optional

__all__ = [
    "Station", "Place", "DATA_DIR", "DATABASE", "station", "stations", "nearest", "places",
    "to_frame",
    "vapor_pr", "temp_vapor_pr", "mix_ratio", "spec_hum", "rel_hum", "dew_temp",
    "pot_temp", "temp_on_dryad", "virt_temp", "virt_pot_temp", "temp_on_mixrat",
    "thetae_on_satad", "temp_on_satad", "lcl_pres", "lcl_temp", "conv_temp",
    "eq_pot_temp", "wet_bulb", "wet_bulb_pot_temp", "interp_temp", "wind_chill_temp",
    "wind_chill_temp2", "wind_chill", "heat_index", "humiture", "temp_hum_index",
    "sfc_pr_alt", "pres_alt", "calc_earth_dist",
]

#: The bundled data, shipped inside the package: the station database and
#: the raw location tables.
DATA_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")
#: The bundled station database, read when ``database`` is None.
DATABASE = os.path.join(DATA_DIR, "sao.cty")


class Station(NamedTuple):
    """One station of the station database, as ``kemcity -pa json`` gives it.

    ``name`` keeps the file's '_' for blanks (``Chicago_O'Hare_Intl``), as
    the name prefixes of a selection do.  ``state`` is None where the file
    has ``--``; ``lat``, ``lon`` (degrees), ``elevation`` (m) and ``wmo``
    are None when missing; ``dist`` is the distance in km from the centre of
    the first ``RA<`` value, None without one.  Numbers carry the digits the
    file's record holds (41.98, not 41.979999542).
    """

    name: str
    state: Optional[str]
    country: str
    id: str
    priority: int
    lat: Optional[float]
    lon: Optional[float]
    elevation: Optional[float]
    wmo: Optional[int]
    dist: Optional[float] = None

    @property
    def __geo_interface__(self) -> Dict[str, Any]:
        """The station as a GeoJSON Feature (a Point, or no geometry without
        a position), so that GIS libraries take it directly."""
        geometry = None
        if self.lat is not None and self.lon is not None:
            geometry = {"type": "Point", "coordinates": (self.lon, self.lat)}
        return {"type": "Feature", "id": self.id, "geometry": geometry,
                "properties": self._asdict()}


class Place(dict):
    """One row of a raw location table: its fields keyed by column name
    ("ID", "Name", "ST", "Lat", "Lon", ...), numbers as numbers and -9999
    as None, as ``kemcity -pa json`` gives them, with "Dist" (km) around an
    ``RA<`` centre."""

    __slots__ = ()

    @property
    def __geo_interface__(self) -> Dict[str, Any]:
        """The row as a GeoJSON Feature: a Point at its Lat and Lon when both
        are numbers, else no geometry."""
        lat, lon = self.get("Lat"), self.get("Lon")
        geometry = None
        if isinstance(lat, (int, float)) and isinstance(lon, (int, float)):
            geometry = {"type": "Point", "coordinates": (lon, lat)}
        return {"type": "Feature", "id": self.get("ID"), "geometry": geometry,
                "properties": dict(self)}


from . import _kem  # noqa: E402  (the extension needs Station and Place first)

_kem._set_station_type(Station)
_kem._set_place_type(Place)
_kem._set_bundled_data(DATA_DIR)

from ._kem import (  # noqa: E402
    calc_earth_dist, conv_temp, dew_temp, eq_pot_temp, heat_index, humiture, interp_temp,
    lcl_pres, lcl_temp, mix_ratio, nearest, places, pot_temp, pres_alt, rel_hum, sfc_pr_alt,
    spec_hum,
    station, stations, temp_hum_index, temp_on_dryad, temp_on_mixrat, temp_on_satad,
    temp_vapor_pr, thetae_on_satad, vapor_pr, virt_pot_temp, virt_temp, wet_bulb,
    wet_bulb_pot_temp, wind_chill, wind_chill_temp, wind_chill_temp2,
)


def to_frame(records: Iterable[Any]):
    """A pandas DataFrame of stations (one column per Station field) or of
    place records (one column per table column).  Needs pandas."""
    try:
        import pandas
    except ImportError as err:
        raise ImportError(
            "kem.to_frame needs pandas, which is not installed "
            "(Debian: apt-get install python3-pandas; elsewhere: pip install pandas)"
        ) from err
    records = list(records)
    if not records or isinstance(records[0], Station):
        return pandas.DataFrame.from_records(records, columns=list(Station._fields))
    return pandas.DataFrame.from_records(records)
