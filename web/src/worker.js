// Does the page's work with the library off the main thread: conversion,
// decoding a loaded file and encoding a saved one. The handler is set at
// once and waits for the library, so that no early message is lost.
const library = import('./pokopen/browser.js');

const operations = {
  version: (pokopen) => pokopen.version,
  convert: (pokopen, text, options) => pokopen.convert(text, options),
  decode: (pokopen, bytes, options) => pokopen.decode(bytes, options),
  encode: (pokopen, text, options) => pokopen.encode(text, options),
};

self.onmessage = async ({ data: { id, op, args } }) => {
  try {
    const value = operations[op](await library, ...args);
    self.postMessage({ id, value }, value instanceof Uint8Array ? [value.buffer] : []);
  } catch (error) {
    self.postMessage({ id, error: { ...error, name: error.name, message: error.message } });
  }
};
