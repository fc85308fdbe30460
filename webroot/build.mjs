// Builds the page's script.js: webroot/src/script.js with its modules and npm packages,
// bundled by esbuild into one plain script (the page inlines it, so it can load nothing at
// run time), minified, in ASCII (the page is sent in the ANSI code page).
// The CMake build copies this file beside the npm packages it installed and runs it there:
//   node build.mjs <entry> <output>
import { build } from 'esbuild';
import { fileURLToPath } from 'node:url';
import path from 'node:path';

const [entry, output] = process.argv.slice(2);
if (!entry || !output) {
  console.error('usage: node build.mjs <entry> <output>');
  process.exit(2);
}

const here = path.dirname(fileURLToPath(import.meta.url));
await build({
  entryPoints: [entry],
  outfile: output,
  bundle: true,
  format: 'iife',
  target: ['es2017', 'chrome61', 'safari11', 'firefox60'],
  minify: true,
  charset: 'ascii',
  // The sources import their packages by name; they are installed here, not beside them.
  nodePaths: [path.join(here, 'node_modules')],
  banner: {
    js: '/* Tapdeck control page script, built from webroot/src/ (see webroot/build.mjs). Includes\n' +
        ' * qrcode-generator, QR Code Generator for JavaScript, Copyright (c) 2009 Kazuhiko Arase,\n' +
        ' * MIT license. The word "QR Code" is a registered trademark of DENSO WAVE INCORPORATED. */',
  },
  logLevel: 'warning',
});
