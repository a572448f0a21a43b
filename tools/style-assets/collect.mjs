// Gathers the display font and the symbols from the installed npm packages
// into the build's resources folder, each beside its licence:
//   fonts/    MuseoModerno, Latin, regular to bold, as WOFF; OFL.txt
//   symbols/  one SVG per line of symbols.txt, named as the views ask for it;
//             LICENSE.txt
//
//   node collect.mjs NODE_MODULES_DIR SYMBOL_LIST RESOURCES_DIR
import { copyFileSync, mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

const [modules, symbolList, resources] = process.argv.slice(2);
if (!modules || !symbolList || !resources) {
    console.error('usage: node collect.mjs NODE_MODULES_DIR SYMBOL_LIST RESOURCES_DIR');
    process.exit(2);
}

const font = join(modules, '@fontsource/museomoderno');
const fonts = join(resources, 'fonts');
mkdirSync(fonts, { recursive: true });
for (const weight of [400, 500, 600, 700]) {
    const file = `museomoderno-latin-${weight}-normal.woff`;
    copyFileSync(join(font, 'files', file), join(fonts, file));
}
copyFileSync(join(font, 'LICENSE'), join(fonts, 'OFL.txt'));

const lucide = join(modules, 'lucide-static');
const symbols = join(resources, 'symbols');
mkdirSync(symbols, { recursive: true });
for (const line of readFileSync(symbolList, 'utf8').split('\n')) {
    const fields = line.replace(/#.*/, '').trim().split(/\s+/).filter(Boolean);
    if (fields.length === 0) continue;
    const [name, icon, variant] = fields;
    let svg = readFileSync(join(lucide, 'icons', `${icon}.svg`), 'utf8');
    if (variant === 'filled') {
        svg = svg.replace('fill="none"', 'fill="currentColor"');
    }
    writeFileSync(join(symbols, `${name}.svg`), svg);
}
copyFileSync(join(lucide, 'LICENSE'), join(symbols, 'LICENSE.txt'));
