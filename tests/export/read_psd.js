// Reads a layered document with a PSD parser from npm and prints a summary
// as JSON: size, depth, channels and every layer's name and size. Used by the
// export tests; the parser is looked up through NODE_PATH.
'use strict';
const fs = require('fs');

let agPsd;
try {
  agPsd = require('ag-psd');
} catch (e) {
  process.stdout.write(JSON.stringify({ missing: true }) + '\n');
  process.exit(3);
}

// No canvas in node: images are read as plain pixel arrays.
agPsd.initializeCanvas(
  () => { throw new Error('no canvas'); },
  (width, height) => ({ width, height, data: new Uint8ClampedArray(width * height * 4) }));

const file = process.argv[2];
const buffer = fs.readFileSync(file);
const psd = agPsd.readPsd(buffer, {
  skipThumbnail: true,
  useImageData: true,
  throwForMissingFeatures: false,
});
const layers = (psd.children || []).map((l) => ({
  name: l.name,
  width: (l.right || 0) - (l.left || 0),
  height: (l.bottom || 0) - (l.top || 0),
  pixels: l.imageData ? l.imageData.data.length : 0,
  first: l.imageData ? Array.from(l.imageData.data.slice(0, 4)) : [],
}));
const composite = psd.imageData ? Array.from(psd.imageData.data.slice(0, 4)) : [];
process.stdout.write(JSON.stringify({
  width: psd.width,
  height: psd.height,
  bitsPerChannel: psd.bitsPerChannel,
  channels: psd.channels,
  colorMode: psd.colorMode,
  layers,
  composite,
}) + '\n');
