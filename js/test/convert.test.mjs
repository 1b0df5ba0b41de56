import assert from 'node:assert/strict';
import { describe, test } from 'node:test';

import { Converter, convert, styles } from 'pokopen';

import { SETTINGS, convertNatively, generatedText, nativeConverter, realDocument } from './texts.mjs';

describe('convert', () => {
  test('the window\'s examples', () => {
    const cases = [
      [{}, 'わたしはあなたが好きです。', 'ぽこりゅんはダ～リンが好きだりゅん。'],
      [{ style: 4, force: true }, 'そうなのだ', 'そうなんだにょにょ'],
      [{ style: 3, firstPerson: true, secondPerson: false }, 'わたしです。', 'わたしだにゅ。'],
      [{ style: 5 }, '', ''],
    ];
    for (const [options, text, expected] of cases) {
      assert.equal(convert(text, options), expected, JSON.stringify(options));
    }
  });

  test('a style by number, id and name is the same style', () => {
    const text = generatedText(7, 2000);
    styles.forEach(({ id, name }, number) => {
      const expected = convert(text, { style: number, force: true });
      assert.equal(convert(text, { style: id, force: true }), expected);
      assert.equal(convert(text, { style: name, force: true }), expected);
    });
    assert.notEqual(convert(text, { style: 0 }), convert(text, { style: 1 }));
  });

  test('line breaks come out as LF, or CR LF when asked', () => {
    assert.equal(convert('a\r\nb\rc\nd'), 'a\nb\nc\nd');
    assert.equal(convert('a\r\nb\rc\nd', { crlf: true }), 'a\r\nb\r\nc\r\nd');
  });

  test('a lone surrogate is carried through', () => {
    assert.equal(convert('\uD800わたし\uDC00'), '\uD800ぽこりゅん\uDC00');
  });

  test('bad arguments throw TypeError or RangeError naming the fault', () => {
    const cases = [
      [() => convert(42), TypeError, /text must be a string/],
      [() => convert('', 'style'), TypeError, /options must be an object/],
      [() => convert('', { style: 6 }), RangeError, /style 6 .*0 to 5/],
      [() => convert('', { style: 1.5 }), RangeError, /style 1.5/],
      [() => convert('', { style: 'nya' }), RangeError, /unknown style "nya"/],
      [() => convert('', { style: null }), TypeError, /style must be a number or a name/],
      [() => convert('', { force: 1 }), TypeError, /"force" must be true or false/],
      [() => convert('', { frist: true }), TypeError, /unknown option "frist"/],
      [() => new Converter({ style: -1 }), RangeError, /style -1/],
      [() => new Converter().push(null), TypeError, /text must be a string/],
    ];
    for (const [call, type, message] of cases) assert.throws(call, (error) => error instanceof type && message.test(error.message));
  });
});

describe('Converter', () => {
  test('pieces cut anywhere give the whole text\'s result', () => {
    const text = 'わたしはあなたが好きです。\r\n😀ぽこるです、なのだ。\rそうです';
    for (const options of [{ style: 1, pokoru: true }, { style: 4, force: true }]) {
      const whole = convert(text, options);
      const converter = new Converter(options);
      for (let cut = 0; cut <= text.length; ++cut) {
        const joined = converter.push(text.slice(0, cut)) + converter.push(text.slice(cut)) + converter.finish();
        assert.equal(joined, whole, `cut at ${cut}`);
      }
    }
  });

  test('a long text in random pieces, and a new text after finish', () => {
    const text = generatedText(11, 300_000);
    const converter = new Converter({ style: 2, force: true });
    for (let round = 0; round < 2; ++round) {
      let joined = '';
      for (let at = 0; at < text.length;) {
        const next = Math.min(text.length, at + 1 + ((at * 7919 + round) % 5000));
        joined += converter.push(text.slice(at, next));
        at = next;
      }
      assert.equal(joined + converter.finish(), convert(text, { style: 2, force: true }));
    }
  });
});

describe('the same as pokopen-convert', { skip: !nativeConverter && 'POKOPEN_CONVERT is not set' }, () => {
  const texts = [['generated', generatedText(3, 100_000)], ['real document', realDocument(0, 300_000)]];
  for (const [name, text] of texts) {
    test(name, { skip: text === null && 'debian-reference-ja is not installed' }, () => {
      for (const options of SETTINGS) {
        assert.ok(convert(text, options) === convertNatively(text, options), JSON.stringify(options));
      }
    });
  }
});
