// The package's API over an instance of pokopen.wasm, the C interface of
// libpokopen compiled to WebAssembly. Every rule lives in the module; this
// file only moves text in and out and checks the options.

const STYLES = Object.freeze([
  Object.freeze({ id: 'standard', name: '標準ぽこる語' }),
  Object.freeze({ id: 'cheerful', name: '元気なぽこる語' }),
  Object.freeze({ id: 'troubled', name: 'お悩みぽこる語' }),
  Object.freeze({ id: 'nyu', name: 'ぷちこにゅ' }),
  Object.freeze({ id: 'nyo', name: 'でじこにょ' }),
  Object.freeze({ id: 'pyo', name: 'ぴよこぴょ' }),
]);

// The C interface's flag bits.
const FLAG_BITS = { pokoru: 0x1, firstPerson: 0x2, secondPerson: 0x4, force: 0x8 };
const FLAG_DEFAULTS = { pokoru: false, firstPerson: true, secondPerson: true, force: false };
const CRLF = 0x100;

// pokopen_encoding values by the names this package takes and gives.
const ENCODINGS = { auto: 0, 'utf-8': 1, 'utf-16': 2, 'utf-16le': 3, 'utf-16be': 4, cp932: 5 };
const ENCODING_ALIASES = {
  utf8: 'utf-8', utf16: 'utf-16', utf16le: 'utf-16le', utf16be: 'utf-16be',
  'windows-31j': 'cp932', shift_jis: 'cp932', sjis: 'cp932', 'ms932': 'cp932',
};
const ENCODING_NAMES = ['auto', 'utf-8', 'utf-16', 'utf-16le', 'utf-16be', 'cp932'];

// pokopen_status values, named as pokopen_status_name names them.
const STATUS_NAMES = [
  'ok', 'argument', 'no_memory', 'invalid_text', 'nul_byte', 'euc_jp', 'iso_2022_jp',
  'mixed_encodings', 'not_japanese', 'no_byte_order_mark', 'unencodable', 'not_regular_file',
  'system',
];
const INVALID_TEXT = 3;
const NOT_JAPANESE = 8;
const UNENCODABLE = 10;
// Refusals that name the encoding the text is in.
const REFUSED_ENCODINGS = { euc_jp: 'euc-jp', iso_2022_jp: 'iso-2022-jp' };

// Offsets in pokopen_error (the build pins them).
const ERROR_FIELDS = {
  code: 0, encoding: 4, guessed: 8, byteOffset: 24, offset: 32, line: 40, column: 48,
  codePoint: 56, count: 64, message: 72,
};

/** A failure of the library: a refused text or an unencodable character. */
export class PokopenError extends Error {
  constructor(message, fields) {
    super(message);
    this.name = 'PokopenError';
    Object.assign(this, fields);
  }
}

let wasm = null;
let scratch = 0; // result pointer, result length, encoding found, then a pokopen_error
const utf16 = new TextDecoder('utf-16le');
const utf8 = new TextDecoder('utf-8');

/** The library's version, "1.0.2000". */
export let version = '';

/** Binds the API to an instance of pokopen.wasm; called once by the entry point. */
export function start(instance) {
  wasm = instance.exports;
  wasm._initialize();
  scratch = wasm.malloc(12 + wasm.pokopen_wasm_error_size());
  if (scratch === 0) throw new PokopenError('not enough memory', { code: 'no_memory' });
  version = readCString(wasm.pokopen_version());
}

/** The imports pokopen.wasm asks for. */
export const imports = {
  env: { emscripten_notify_memory_growth() {} },
  wasi_snapshot_preview1: {
    proc_exit(status) {
      throw new Error(`pokopen.wasm stopped with status ${status}`);
    },
  },
};

export const styles = STYLES;

/** Converts a whole text; see the README for the options. */
export function convert(text, options) {
  requireString(text, 'text');
  const { style, flags } = conversionOptions(options, 'convert');
  return call16(text, (pointer, length, error) =>
    wasm.pokopen_convert_utf16(pointer, length, style, flags, scratch, scratch + 4, error));
}

/** Converts a text given in pieces, cut anywhere. */
export class Converter {
  #style;
  #flags;
  #handle = 0;

  constructor(options) {
    ({ style: this.#style, flags: this.#flags } = conversionOptions(options, 'Converter'));
  }

  /** Takes the next piece and gives the converted text it settles. */
  push(text) {
    requireString(text, 'text');
    const handle = this.#open();
    return call16(text, (pointer, length, error) =>
      wasm.pokopen_converter_push_utf16(handle, pointer, length, scratch, scratch + 4, error));
  }

  /** Ends the text and gives the rest; the converter then takes a new text. */
  finish() {
    const handle = this.#open();
    try {
      return call16('', (_pointer, _length, error) =>
        wasm.pokopen_converter_finish_utf16(handle, scratch, scratch + 4, error));
    } finally {
      this.#close();
    }
  }

  #open() {
    if (this.#handle === 0) {
      const error = scratch + 12;
      const status = wasm.pokopen_converter_new(this.#style, this.#flags, scratch, error);
      if (status !== 0) throw errorAt(error, null);
      this.#handle = view32()[scratch >>> 2];
      converters.register(this, this.#handle, this);
    }
    return this.#handle;
  }

  #close() {
    converters.unregister(this);
    wasm.pokopen_converter_free(this.#handle);
    this.#handle = 0;
  }
}

// A converter dropped in the middle of a text frees its memory when collected.
const converters = new FinalizationRegistry((handle) => wasm.pokopen_converter_free(handle));

/** Decodes the bytes of a text file: detected ("auto") or in a named encoding. */
export function decode(bytes, options) {
  const data = requireBytes(bytes);
  const { encoding } = readOptions(options, 'decode', { encoding: 'auto' });
  const code = encodingCode(encoding, 'decode', true);
  const input = copyIn(data.length, 1);
  try {
    new Uint8Array(wasm.memory.buffer, input, data.length).set(data);
    const error = scratch + 12;
    const status = wasm.pokopen_decode_utf16(
      input, data.length, code, scratch, scratch + 4, scratch + 8, error);
    if (status !== 0) throw errorAt(error, null);
    const text = takeUtf16(false);
    return { text, encoding: ENCODING_NAMES[view32()[(scratch + 8) >>> 2]] };
  } finally {
    wasm.free(input);
  }
}

/** Encodes a text in UTF-8, UTF-16 or code page 932, with LF or CR LF line breaks. */
export function encode(text, options) {
  requireString(text, 'text');
  const { encoding, crlf } = readOptions(options, 'encode', { encoding: 'utf-8', crlf: false });
  const code = encodingCode(encoding, 'encode', false);
  requireBoolean(crlf, 'crlf', 'encode');
  const input = copyIn(text.length, 2);
  try {
    writeUtf16(text, input);
    const error = scratch + 12;
    const status = wasm.pokopen_encode_utf16(
      input, text.length, code, crlf ? CRLF : 0, scratch, scratch + 4, error);
    if (status !== 0) throw errorAt(error, text);
    const [pointer, length] = view32().subarray(scratch >>> 2, (scratch >>> 2) + 2);
    const bytes = new Uint8Array(wasm.memory.buffer, pointer, length).slice();
    wasm.pokopen_free(pointer);
    return bytes;
  } finally {
    wasm.free(input);
  }
}

// Checking options.

function readOptions(options, where, defaults) {
  if (options === undefined || options === null) return { ...defaults };
  if (typeof options !== 'object' || Array.isArray(options)) {
    throw new TypeError(`${where}: options must be an object, not ${describe(options)}`);
  }
  const read = { ...defaults };
  for (const [key, value] of Object.entries(options)) {
    if (!(key in defaults)) {
      const known = Object.keys(defaults).join(', ');
      throw new TypeError(`${where}: unknown option "${key}" (known: ${known})`);
    }
    if (value !== undefined) read[key] = value;
  }
  return read;
}

function conversionOptions(options, where) {
  const read = readOptions(options, where, { style: 0, ...FLAG_DEFAULTS, crlf: false });
  let flags = read.crlf === true ? CRLF : 0;
  requireBoolean(read.crlf, 'crlf', where);
  for (const [name, bit] of Object.entries(FLAG_BITS)) {
    requireBoolean(read[name], name, where);
    if (read[name]) flags |= bit;
  }
  return { style: styleNumber(read.style, where), flags };
}

function styleNumber(style, where) {
  if (typeof style === 'number') {
    if (Number.isInteger(style) && style >= 0 && style < STYLES.length) return style;
    throw new RangeError(`${where}: style ${style} is not a style number (0 to 5)`);
  }
  if (typeof style === 'string') {
    const index = STYLES.findIndex((s) => s.id === style || s.name === style);
    if (index >= 0) return index;
    const names = STYLES.map((s) => `"${s.id}" or "${s.name}"`).join(', ');
    throw new RangeError(`${where}: unknown style "${style}" (${names}, or 0 to 5)`);
  }
  throw new TypeError(`${where}: style must be a number or a name, not ${describe(style)}`);
}

function encodingCode(encoding, where, auto) {
  if (typeof encoding !== 'string') {
    throw new TypeError(`${where}: encoding must be a string, not ${describe(encoding)}`);
  }
  const lower = encoding.toLowerCase();
  const name = ENCODING_ALIASES[lower] ?? lower;
  if (Object.hasOwn(ENCODINGS, name) && (auto || name !== 'auto')) return ENCODINGS[name];
  const known = ENCODING_NAMES.filter((n) => auto || n !== 'auto').map((n) => `"${n}"`);
  throw new RangeError(`${where}: unknown encoding "${encoding}" (${known.join(', ')})`);
}

function requireBoolean(value, name, where) {
  if (typeof value !== 'boolean') {
    throw new TypeError(`${where}: option "${name}" must be true or false, not ${describe(value)}`);
  }
}

function requireString(text, name) {
  if (typeof text !== 'string') {
    throw new TypeError(`${name} must be a string, not ${describe(text)}`);
  }
}

function requireBytes(bytes) {
  if (bytes instanceof Uint8Array) return bytes;
  if (bytes instanceof ArrayBuffer) return new Uint8Array(bytes);
  if (ArrayBuffer.isView(bytes)) return new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  throw new TypeError(`bytes must be a Uint8Array or an ArrayBuffer, not ${describe(bytes)}`);
}

function describe(value) {
  if (value === null) return 'null';
  if (Array.isArray(value)) return 'an array';
  return typeof value === 'string' ? `the string "${value}"` : `${typeof value} ${String(value)}`;
}

// Moving text in and out of the module's memory.

function view32() {
  return new Uint32Array(wasm.memory.buffer);
}

function copyIn(count, unitBytes) {
  const pointer = wasm.malloc(Math.max(count * unitBytes, 1));
  if (pointer === 0) throw new PokopenError('not enough memory', { code: 'no_memory' });
  return pointer;
}

function writeUtf16(text, pointer) {
  const units = new Uint16Array(wasm.memory.buffer, pointer, text.length);
  for (let i = 0; i < text.length; ++i) units[i] = text.charCodeAt(i);
}

// Runs a C function on text as UTF-16 and takes its UTF-16 result.
function call16(text, run) {
  const input = copyIn(text.length, 2);
  try {
    writeUtf16(text, input);
    const error = scratch + 12;
    if (run(input, text.length, error) !== 0) throw errorAt(error, text);
    return takeUtf16(!isWellFormed(text));
  } finally {
    wasm.free(input);
  }
}

// The UTF-16 result the last call left in scratch; freed after reading. A
// lone surrogate must survive, which TextDecoder would replace.
function takeUtf16(loneSurrogates) {
  const [pointer, length] = view32().subarray(scratch >>> 2, (scratch >>> 2) + 2);
  const units = new Uint16Array(wasm.memory.buffer, pointer, length);
  const text = loneSurrogates ? unitsToString(units) : utf16.decode(units);
  wasm.pokopen_free(pointer);
  return text;
}

function unitsToString(units) {
  let text = '';
  for (let i = 0; i < units.length; i += 8192) {
    text += String.fromCharCode.apply(null, units.subarray(i, i + 8192));
  }
  return text;
}

const LONE_SURROGATE = /[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]/;

function isWellFormed(text) {
  return typeof text.isWellFormed === 'function' ? text.isWellFormed() : !LONE_SURROGATE.test(text);
}

function readCString(pointer) {
  const bytes = new Uint8Array(wasm.memory.buffer, pointer);
  return utf8.decode(bytes.subarray(0, bytes.indexOf(0)));
}

// The pokopen_error at `pointer` as a PokopenError. `text` is the string the
// call was given, when offsets count its units.
function errorAt(pointer, text) {
  const data = new DataView(wasm.memory.buffer, pointer);
  const number = (field) => Number(data.getBigUint64(ERROR_FIELDS[field], true));
  const status = data.getInt32(ERROR_FIELDS.code, true);
  const code = STATUS_NAMES[status] ?? 'unknown';
  const message = readCString(pointer + ERROR_FIELDS.message);
  const fields = { code };
  if (status === UNENCODABLE) {
    Object.assign(fields, {
      encoding: ENCODING_NAMES[data.getInt32(ERROR_FIELDS.encoding, true)],
      offset: text === null ? undefined : number('offset'),
      line: number('line'),
      column: number('column'),
      codePoint: data.getUint32(ERROR_FIELDS.codePoint, true),
      count: number('count'),
    });
  } else if (status >= INVALID_TEXT && status <= NOT_JAPANESE) {
    fields.offset = number('byteOffset');
    if (status === INVALID_TEXT) {
      fields.encoding = ENCODING_NAMES[data.getInt32(ERROR_FIELDS.encoding, true)];
      fields.guessed = data.getInt32(ERROR_FIELDS.guessed, true) !== 0;
    } else if (REFUSED_ENCODINGS[code]) {
      fields.encoding = REFUSED_ENCODINGS[code];
    }
  }
  return new PokopenError(message, fields);
}
