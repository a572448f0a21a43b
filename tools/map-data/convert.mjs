// Builds the offline base map from the packages the geocoder data already pins:
//   world-atlas         Natural Earth land and country outlines at 1:110m, 1:50m and 1:10m (public domain)
//   i18n-iso-countries  English country names, so labels match the place names
//   GeoNames places     city labels with their population and kind, as the geocoder's
//                       places.mjs joins them (CC BY 4.0)
//
//   node convert.mjs NODE_MODULES_DIR OUTPUT_FILE
//
// Everything is projected here to Web Mercator and quantised to WORLD units a
// side (x east from 180° W, y south from 85.0511° N), and laid out so the
// program maps the file into memory and reads it in place, parsing nothing.
// Little endian, every field 4 bytes and 4-byte aligned:
//   "PIVRAMAP", uint32 version, uint32 world units, uint32 level count
//   the table of parts, each uint32 byte offset and uint32 record count:
//     per level (coarse to fine): land rings, border lines
//     points, countries, cities, name bytes
//   a ring or line (24 bytes): uint32 first point, uint32 point count, uint32 min x, min y, max x, max y
//   a point (8 bytes): uint32 x, uint32 y
//   a label (28 bytes): uint32 x, uint32 y, float32 minimum zoom, uint32 population (0 for a country),
//     uint32 1 for a capital (else 0), uint32 offset and uint32 byte count of its UTF-8 name among the
//     name bytes
//   countries come largest first; cities lowest zoom first, and within a zoom
//   the most people first, a capital counted five times
// Land rings keep their holes as rings of their own (filled even-odd); rings
// and lines that cross the antimeridian are cut there into pieces that each
// stay on one side.
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { Kind, cellIndex, distanceKm, loadPlaces } from '../geocoder-data/places.mjs';

const [modules, output] = process.argv.slice(2);
if (!modules || !output) {
    console.error('usage: node convert.mjs NODE_MODULES_DIR OUTPUT_FILE');
    process.exit(2);
}
const readJson = (path) => JSON.parse(readFileSync(join(modules, path), 'utf8'));

const VERSION = 4;
const WORLD = 2 ** 26;
const MAX_LATITUDE = 85.0511287798066;

const project = ([lon, lat]) => {
    const phi = (Math.max(-MAX_LATITUDE, Math.min(MAX_LATITUDE, lat)) * Math.PI) / 180;
    const x = ((lon + 180) / 360) * WORLD;
    const y = ((1 - Math.asinh(Math.tan(phi)) / Math.PI) / 2) * WORLD;
    return [Math.max(0, Math.min(WORLD - 1, Math.round(x))), Math.max(0, Math.min(WORLD - 1, Math.round(y)))];
};

function decodeArcs(topology) {
    const [sx, sy] = topology.transform.scale;
    const [tx, ty] = topology.transform.translate;
    return topology.arcs.map((arc) => {
        let x = 0;
        let y = 0;
        return arc.map(([dx, dy]) => {
            x += dx;
            y += dy;
            return [x * sx + tx, y * sy + ty];
        });
    });
}

function ringPoints(arcs, ring) {
    const points = [];
    for (const index of ring) {
        const arc = index >= 0 ? arcs[index] : arcs[~index].slice().reverse();
        points.push(...(points.length ? arc.slice(1) : arc));
    }
    return points;
}

const polygonsOf = (geometry) =>
    geometry.type === 'Polygon' ? [geometry.arcs] : geometry.type === 'MultiPolygon' ? geometry.arcs : [];

// Longitudes made continuous along the ring, so a crossing shows as a run past ±180.
function unwrapped(points) {
    const out = [points[0].slice()];
    for (let i = 1; i < points.length; i += 1) {
        let lon = points[i][0];
        const previous = out[i - 1][0];
        while (lon - previous > 180) lon -= 360;
        while (previous - lon > 180) lon += 360;
        out.push([lon, points[i][1]]);
    }
    return out;
}

// One clipping pass of a closed ring against a vertical half-plane.
function clipRing(points, keep, crossing) {
    const out = [];
    for (let i = 0; i < points.length; i += 1) {
        const a = points[i];
        const b = points[(i + 1) % points.length];
        if (keep(a)) out.push(a);
        if (keep(a) !== keep(b)) out.push(crossing(a, b));
    }
    return out;
}

function atLongitude(limit) {
    return (a, b) => [limit, a[1] + ((limit - a[0]) / (b[0] - a[0])) * (b[1] - a[1])];
}

// The ring cut into the pieces that lie in each copy of the world, shifted home.
function cutRing(points) {
    const ring = unwrapped(points);
    const lons = ring.map((p) => p[0]);
    const [low, high] = [Math.min(...lons), Math.max(...lons)];
    if (low >= -180 && high <= 180) return [points];
    const pieces = [];
    for (let shift = Math.floor((low + 180) / 360) * 360; shift - 180 < high; shift += 360) {
        let piece = clipRing(ring, (p) => p[0] >= shift - 180, atLongitude(shift - 180));
        piece = clipRing(piece, (p) => p[0] <= shift + 180, atLongitude(shift + 180));
        if (piece.length >= 3) pieces.push(piece.map(([lon, lat]) => [lon - shift, lat]));
    }
    return pieces;
}

// An open line split wherever a step jumps across the antimeridian.
function cutLine(points) {
    const lines = [[points[0]]];
    for (let i = 1; i < points.length; i += 1) {
        if (Math.abs(points[i][0] - points[i - 1][0]) > 180) lines.push([]);
        lines[lines.length - 1].push(points[i]);
    }
    return lines.filter((line) => line.length >= 2);
}

// The parts of the file, gathered before it is written so the table of
// parts at its head can say where each lies.
const shapes = []; // per level: [land, borders], each a list of point lists
const points = [];
function shapeRecords(list) {
    return list.map((line) => {
        const projected = line.map(project);
        const first = points.length;
        const box = [Infinity, Infinity, -Infinity, -Infinity];
        for (const [x, y] of projected) {
            points.push([x, y]);
            box[0] = Math.min(box[0], x);
            box[1] = Math.min(box[1], y);
            box[2] = Math.max(box[2], x);
            box[3] = Math.max(box[3], y);
        }
        return [first, projected.length, ...box];
    });
}

const levels = ['110m', '50m', '10m'];
const stats = [];
for (const level of levels) {
    const topology = readJson(`world-atlas/countries-${level}.json`);
    const arcs = decodeArcs(topology);

    const rings = [];
    for (const geometry of topology.objects.land.geometries ?? [topology.objects.land]) {
        for (const polygon of polygonsOf(geometry)) {
            for (const ring of polygon) rings.push(...cutRing(ringPoints(arcs, ring)));
        }
    }

    // An arc two countries share is their border; one used once is coast.
    const uses = new Map();
    for (const geometry of topology.objects.countries.geometries) {
        for (const polygon of polygonsOf(geometry)) {
            for (const ring of polygon) {
                for (const index of ring) {
                    const arc = index >= 0 ? index : ~index;
                    uses.set(arc, (uses.get(arc) ?? 0) + 1);
                }
            }
        }
    }
    const borders = [];
    for (const [arc, count] of uses) {
        if (count >= 2) borders.push(...cutLine(arcs[arc]));
    }
    shapes.push([shapeRecords(rings), shapeRecords(borders)]);
    stats.push(`${level}: ${rings.length} land rings, ${borders.length} borders`);
}

// ---- labels
const english = readJson('i18n-iso-countries/langs/en.json').countries;
const numericToAlpha2 = new Map(readJson('i18n-iso-countries/codes.json').map(([alpha2, , numeric]) => [numeric, alpha2]));
const firstName = (entry) => (Array.isArray(entry) ? entry[0] : entry);

// A country is labelled at the middle of its largest outline's box, from the
// zoom where that box is wide enough for a name.
const countries50 = readJson('world-atlas/countries-50m.json');
const arcs50 = decodeArcs(countries50);
const countryLabels = [];
for (const geometry of countries50.objects.countries.geometries) {
    const alpha2 = numericToAlpha2.get(geometry.id);
    const name = (alpha2 && firstName(english[alpha2])) || geometry.properties?.name;
    if (!name) continue;
    let best = null;
    for (const polygon of polygonsOf(geometry)) {
        const points = unwrapped(ringPoints(arcs50, polygon[0]));
        const lons = points.map((p) => p[0]);
        const lats = points.map((p) => p[1]);
        const box = [Math.min(...lons), Math.min(...lats), Math.max(...lons), Math.max(...lats)];
        const area = (box[2] - box[0]) * (box[3] - box[1]);
        if (!best || area > best.area) best = { box, area };
    }
    if (!best) continue;
    const centre = [((best.box[0] + best.box[2]) / 2 + 540) % 360 - 180, (best.box[1] + best.box[3]) / 2];
    const widthDegrees = Math.max(0.05, best.box[2] - best.box[0]);
    const minZoom = Math.max(1, Math.min(9, Math.log2((70 * 360) / (256 * widthDegrees))));
    countryLabels.push({ point: project(centre), minZoom, name, width: widthDegrees });
}
countryLabels.sort((a, b) => b.width - a.width);

// The zoom from which a place is named: the largest cities and the capitals
// across a continent, cities across a country, towns only close up, and the
// quarters of a city closer still. A capital counts as a city five times its
// size: Bern's 120,000 are named with cities of 600,000, a crown dependency's
// capital of 28,000 with towns of 140,000. Where names collide the one placed
// first stays, so within a zoom the larger place (so counted) comes first.
const CAPITAL_WEIGHT = 5;
const SECTION_ZOOM = 12;
const weightOf = (place) => place.population * (place.kind === Kind.capital ? CAPITAL_WEIGHT : 1);
function cityZoom(place) {
    if (place.kind === Kind.section) return SECTION_ZOOM;
    const weight = weightOf(place);
    return weight >= 1000000 ? 4
        : weight >= 500000 ? 5
        : weight >= 150000 ? 6
        : weight >= 50000 ? 7
        : weight >= 15000 ? 8
        : weight >= 5000 ? 9
        : weight >= 1500 ? 10
        : 11;
}
// A place within the reach of a larger one of its country is a part of that
// city, as Brooklyn and Queens are of New York, whatever its size: it is
// named from the zoom at which its dot stands clear of the city's, never
// before, so it does not stand in the city's place nor keep the room about
// the city from the neighbours' names. Only a place of 10,000 or more holds
// another, as in places.mjs.
const HOLDER_POPULATION = 10000;
const DOTS_APART_PIXELS = 2 * (2 + 8); // LabelPlacement's dot radius and the margin about each name
function zoomApart(place, city) {
    const [ax, ay] = project([place.lon, place.lat]);
    const [bx, by] = project([city.lon, city.lat]);
    const pixelsAtZoomZero = (Math.hypot(ax - bx, ay - by) / WORLD) * 256;
    return pixelsAtZoomZero > 0 ? Math.ceil(Math.log2(DOTS_APART_PIXELS / pixelsAtZoomZero)) : SECTION_ZOOM;
}
function partsNamedApart(cities) {
    const holders = cellIndex(cities.map(({ place }) => place).filter((place) => place.population >= HOLDER_POPULATION));
    for (const city of cities) {
        const { place } = city;
        if (place.kind === Kind.section) continue;
        holders(place.lat, place.lon, (holder) => {
            if (holder.population > place.population && holder.country === place.country
                && distanceKm(place.lat, place.lon, holder.lat, holder.lon) <= holder.reach) {
                city.minZoom = Math.min(SECTION_ZOOM, Math.max(city.minZoom, zoomApart(place, holder)));
            }
        });
    }
    return cities;
}
// The largest place of its part of the world is named a zoom earlier than
// its size alone would have it: Seattle, Denver and Las Vegas come with the
// cities of a million, as no larger place lies within this many km of them,
// while a city of the same size beside a larger one waits. Only where a
// country is seen whole: closer in, size alone already names enough.
const PROMINENT_FROM_ZOOM = { 5: 300 };
function promoteProminent(cities) {
    // Whoever outdoes a city of these zooms is at least as large as they are.
    const smallest = Math.min(...Object.keys(PROMINENT_FROM_ZOOM).map((zoom) =>
        Math.min(...cities.filter((city) => city.minZoom === Number(zoom)).map((city) => city.weight))));
    const candidates = cities.filter((city) => city.place.kind !== Kind.section && city.weight >= smallest);
    for (const city of candidates) {
        const reachKm = PROMINENT_FROM_ZOOM[city.minZoom];
        if (!reachKm) continue;
        const { lat, lon } = city.place;
        const outdone = candidates.some((other) => other.weight > city.weight
            && distanceKm(lat, lon, other.place.lat, other.place.lon) <= reachKm);
        if (!outdone) city.minZoom -= 1;
    }
    return cities;
}
const cities = promoteProminent(partsNamedApart(loadPlaces(modules)
    .map((place) => ({ place, minZoom: cityZoom(place), weight: weightOf(place) }))))
    .sort((a, b) => a.minZoom - b.minZoom || b.weight - a.weight);

// ---- the file
const names = [];
let nameBytes = 0;
const labelRecord = (point, minZoom, population, capital, name) => {
    const encoded = Buffer.from(name, 'utf8');
    names.push(encoded);
    nameBytes += encoded.length;
    return [point[0], point[1], minZoom, population, capital ? 1 : 0, nameBytes - encoded.length, encoded.length];
};
const countryRecords = countryLabels.map((label) => labelRecord(label.point, label.minZoom, 0, false, label.name));
const cityRecords = cities.map(({ place, minZoom }) =>
    labelRecord(project([place.lon, place.lat]), minZoom, place.population, place.kind === Kind.capital, place.name));

const HEADER_WORDS = 2 + 3; // magic, version, world units, level count
const parts = shapes.flat().map((records) => ({ records, bytes: 24 }));
parts.push({ records: points, bytes: 8 });
parts.push({ records: countryRecords, bytes: 28, label: true });
parts.push({ records: cityRecords, bytes: 28, label: true });
parts.push({ records: names, bytes: 1, size: nameBytes });
let offset = 4 * (HEADER_WORDS + 2 * parts.length);
for (const part of parts) {
    part.offset = offset;
    part.size ??= part.records.length * part.bytes;
    offset += Math.ceil(part.size / 4) * 4;
}
const file = Buffer.alloc(offset);
let at = 0;
const u32 = (value) => { file.writeUInt32LE(value >>> 0, at); at += 4; };
file.write('PIVRAMAP', 0, 'latin1');
at = 8;
u32(VERSION);
u32(WORLD);
u32(levels.length);
for (const part of parts) {
    u32(part.offset);
    u32(part.bytes === 1 ? part.size : part.records.length);
}
for (const part of parts) {
    at = part.offset;
    if (part.bytes === 1) {
        for (const name of part.records) { name.copy(file, at); at += name.length; }
    } else {
        for (const record of part.records) {
            record.forEach((value, i) => {
                // A label's third field, its minimum zoom, is the one float.
                if (part.label && i === 2) file.writeFloatLE(value, at);
                else file.writeUInt32LE(value >>> 0, at);
                at += 4;
            });
        }
    }
}
mkdirSync(dirname(output), { recursive: true });
writeFileSync(output, file);
console.log(`base map: ${stats.join('; ')}; ${points.length} points, ${countryLabels.length} countries, ${cities.length} cities, ${file.length} bytes`);
