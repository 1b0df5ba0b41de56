/** The six styles, by number (0 to 5), id or Japanese name. */
export type StyleId = 'standard' | 'cheerful' | 'troubled' | 'nyu' | 'nyo' | 'pyo';
export type StyleName =
  | '標準ぽこる語' | '元気なぽこる語' | 'お悩みぽこる語' | 'ぷちこにゅ' | 'でじこにょ' | 'ぴよこぴょ';
export type Style = 0 | 1 | 2 | 3 | 4 | 5 | StyleId | StyleName;

export interface ConvertOptions {
  /** Default 0, 標準ぽこる語. */
  style?: Style;
  /** "ぽこる"も変換: the persona's name as well. Default false. */
  pokoru?: boolean;
  /** 一人称も変換: first-person words. Default true. */
  firstPerson?: boolean;
  /** 二人称も変換: second-person words. Default true. */
  secondPerson?: boolean;
  /** 強引に変換: every sentence ending. Default false. The dialects (3 to 5) read only this flag. */
  force?: boolean;
  /** Line breaks of the result as CR LF instead of LF. Default false. */
  crlf?: boolean;
}

/** Encodings that decode reads and reports. Names are case-insensitive; "shift_jis" and "windows-31j" mean "cp932". */
export type Encoding = 'utf-8' | 'utf-16' | 'utf-16le' | 'utf-16be' | 'cp932';
export type FoundEncoding = 'utf-8' | 'utf-16le' | 'utf-16be' | 'cp932';

export interface DecodeOptions {
  /** Default "auto": detected as the ぽこぺん window detects it. */
  encoding?: 'auto' | Encoding | (string & {});
}

export interface Decoded {
  /** The text, line breaks as the bytes have them, without a byte-order mark. */
  text: string;
  /** The encoding the bytes were read in. */
  encoding: FoundEncoding;
}

export interface EncodeOptions {
  /** Default "utf-8". "utf-16" is little-endian after a byte-order mark. */
  encoding?: Encoding | (string & {});
  /** Every line break as CR LF instead of LF. Default false. */
  crlf?: boolean;
}

export type ErrorCode =
  | 'no_memory'
  | 'invalid_text'
  | 'nul_byte'
  | 'euc_jp'
  | 'iso_2022_jp'
  | 'mixed_encodings'
  | 'not_japanese'
  | 'no_byte_order_mark'
  | 'unencodable';

/** A text that the library refuses, or a character an encoding cannot hold. */
export class PokopenError extends Error {
  readonly name: 'PokopenError';
  readonly code: ErrorCode;
  /**
   * Refusals of decode: the byte offset where the bytes stop being readable.
   * unencodable: the index in the string given (UTF-16 units).
   */
  readonly offset?: number;
  /**
   * invalid_text: the encoding the bytes are invalid in (when guessed, the one
   * they most likely are); euc_jp, iso_2022_jp: that encoding; unencodable:
   * the encoding being written.
   */
  readonly encoding?: string;
  /** invalid_text: the encoding was detected, so naming another may help. */
  readonly guessed?: boolean;
  /** unencodable: 1-based line and column (in characters) of the first such character. */
  readonly line?: number;
  readonly column?: number;
  /** unencodable: the first such character, and how many there are. */
  readonly codePoint?: number;
  readonly count?: number;
}

/** Converts a whole text. Throws TypeError or RangeError for bad options. */
export function convert(text: string, options?: ConvertOptions): string;

/** Converts a text given in pieces, cut anywhere: the pieces' results joined equal convert() of the whole. */
export class Converter {
  constructor(options?: ConvertOptions);
  /** Takes the next piece; gives the converted text it settles (possibly ''). */
  push(text: string): string;
  /** Ends the text and gives the rest; the converter then takes a new text. */
  finish(): string;
}

/** Decodes the bytes of a text file. Throws PokopenError for a refused text. */
export function decode(bytes: Uint8Array | ArrayBuffer | ArrayBufferView, options?: DecodeOptions): Decoded;

/** Encodes a text. Throws PokopenError with code "unencodable" for a character the encoding cannot hold. */
export function encode(text: string, options?: EncodeOptions): Uint8Array;

/** The six styles in the window's order: index = style number. */
export const styles: readonly { readonly id: StyleId; readonly name: StyleName }[];

/** The library's version, "1.0.2000". */
export const version: string;
