// Does the page's work with the library off the main thread: conversion,
// decoding a loaded file and encoding a saved one. The handler is set at
// once and waits for the library, so that no early message is lost.
const library = import('./pokopen/browser.js');

const operations = {
  version: (pokopen) => pokopen.version,
  convert: (pokopen, text, options) => pokopen.convert(text, options),
  decode: (pokopen, bytes, options) => pokopen.decode(bytes, options),
  encode: (pokopen, text, options) => pokopen.encode(text, options),
  unencodable,
};

// How many characters of text the encoding cannot hold, and where the first
// `most` are: each found one is blanked out and the text encoded again.
function unencodable(pokopen, text, encoding, most = 5) {
  const places = [];
  let count = 0;
  for (let rest = text; places.length < most;) {
    try {
      pokopen.encode(rest, { encoding });
      break;
    } catch (error) {
      if (error.code !== 'unencodable') throw error;
      count ||= error.count;
      places.push({ line: error.line, column: error.column, codePoint: error.codePoint });
      const units = error.codePoint > 0xFFFF ? 2 : 1;
      rest = `${rest.slice(0, error.offset)} ${rest.slice(error.offset + units)}`;
    }
  }
  return { count, places };
}

self.onmessage = async ({ data: { id, op, args } }) => {
  try {
    const value = operations[op](await library, ...args);
    self.postMessage({ id, value }, value instanceof Uint8Array ? [value.buffer] : []);
  } catch (error) {
    self.postMessage({ id, error: { ...error, name: error.name, message: error.message } });
  }
};
