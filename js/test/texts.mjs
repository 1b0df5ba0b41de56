// Texts for the tests of the package and of the page, and the native
// converter to compare with.
import { execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { gunzipSync } from 'node:zlib';

// Words the rules look for, in the forms text comparison folds together,
// among plain Japanese, ASCII, full-width letters, emoji and every kind of
// line break.
const PIECES = [
  'わたし', 'ワタシ', 'ﾜﾀｼ', 'あたし', 'ぼく', 'ボク', '俺', 'おれ', '私', 'あなた', 'アナタ', 'ｱﾅﾀ', 'きみ', '君', 'お前',
  'ぽこる', 'ポコル', 'ﾎﾟｺﾙ', 'です', 'デス', 'ﾃﾞｽ', 'でした', 'ます', 'なのだ', 'だ', 'ですか',
  '。', '、', '，', '．', '（', '）', '「', '」', '『', '』', '！', '？', '!', '?', '…',
  'は', 'が', 'を', 'に', 'と', 'も', 'の', '好き', '今日', '天気', '学校', '行く', 'そう',
  'Pokopen', 'ＰＯＫＯ', 'abc', ' ', '　', '123', '😀', '𠮷', '～', '\n', '\r\n', '\r', '\n\n',
];

// A deterministic text of about `length` units made of PIECES.
export function generatedText(seed, length) {
  let state = seed >>> 0 || 1;
  const next = () => {
    state ^= state << 13;
    state ^= state >>> 17;
    state ^= state << 5;
    return (state >>> 0) / 0x100000000;
  };
  let text = '';
  while (text.length < length) text += PIECES[Math.floor(next() * PIECES.length)];
  return text;
}

const MANUAL = '/usr/share/debian-reference/debian-reference.ja.txt.gz';

// A real Japanese document: the Debian reference in Japanese (the package
// debian-reference-ja), about `units` UTF-16 units of it from `start`, cut at line breaks.
export function realDocument(start = 0, units = 200_000) {
  if (!existsSync(MANUAL)) return null;
  const text = gunzipSync(readFileSync(MANUAL)).toString('utf8');
  const from = text.indexOf('\n', start) + 1;
  return text.slice(from, text.lastIndexOf("\n", from + units) + 1);
}

export const nativeConverter = process.env.POKOPEN_CONVERT;

// pokopen-convert's result for text (UTF-8 in and out, LF line breaks).
export function convertNatively(text, { style = 0, pokoru = false, firstPerson = true, secondPerson = true, force = false } = {}) {
  const folder = mkdtempSync(join(tmpdir(), 'pokopen-native-'));
  try {
    const input = join(folder, 'in.txt');
    writeFileSync(input, text);
    const flags = [
      pokoru ? '--pokoru' : '--no-pokoru', firstPerson ? '--first' : '--no-first',
      secondPerson ? '--second' : '--no-second', force ? '--force' : '--no-force',
    ];
    return execFileSync(nativeConverter, ['-q', '-j', '1', `--style=${style}`, ...flags, '--input-encoding=utf-8', input],
      { maxBuffer: 1 << 30 }).toString('utf8');
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}

// Every style with the flags that matter most: the window's defaults, and all on.
export const SETTINGS = [0, 1, 2, 3, 4, 5].flatMap((style) => [
  { style },
  { style, pokoru: true, force: true, firstPerson: style % 2 === 0, secondPerson: style % 3 !== 0 },
]);
