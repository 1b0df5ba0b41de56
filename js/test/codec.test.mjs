import assert from 'node:assert/strict';
import { describe, test } from 'node:test';

import { PokopenError, decode, encode } from 'pokopen';

const bytes = (...values) => new Uint8Array(values.flat());
const refusal = (call) => {
  try {
    call();
  } catch (error) {
    assert.ok(error instanceof PokopenError && error instanceof Error);
    return { ...error };
  }
  assert.fail('no error');
};

describe('decode', () => {
  test('detects the encoding or reads the one named', () => {
    const text = 'ぽこぺん～１\nabc\n';
    const cases = [
      [encode(text, { encoding: 'cp932' }), {}, 'cp932'],
      [encode(text), { encoding: 'auto' }, 'utf-8'],
      [encode(text, { encoding: 'utf-16' }), {}, 'utf-16le'],
      [bytes([0xFE, 0xFF], [...encode(text, { encoding: 'utf-16be' })]), {}, 'utf-16be'],
      [bytes([0xEF, 0xBB, 0xBF], [...encode(text)]), {}, 'utf-8'],
      [encode(text, { encoding: 'shift_jis' }), { encoding: 'Windows-31J' }, 'cp932'],
      [encode(text, { encoding: 'utf-16le' }), { encoding: 'utf-16le' }, 'utf-16le'],
    ];
    for (const [input, options, encoding] of cases) {
      assert.deepEqual(decode(input, options), { text, encoding }, JSON.stringify(options));
    }
    assert.deepEqual(decode(new ArrayBuffer(0)), { text: '', encoding: 'utf-8' });
    assert.equal(decode(new DataView(encode('あ').buffer)).text, 'あ');
  });

  test('refuses what it cannot read safely, with the offset and likely encoding', () => {
    const damagedUtf8 = bytes([...encode('日本語のテキスト')], 0x82, 0xA0, [...encode('です')]);
    const cases = [
      [damagedUtf8, {}, { code: 'invalid_text', offset: 24, encoding: 'utf-8', guessed: true }],
      [damagedUtf8, { encoding: 'utf-8' }, { code: 'invalid_text', offset: 24, encoding: 'utf-8', guessed: false }],
      [bytes(0x61, 0x00, 0x62, 0x00), {}, { code: 'nul_byte', offset: 1 }],
      [bytes([0x1B, 0x24, 0x42], [0x46, 0x7C, 0x4B, 0x5C], [0x1B, 0x28, 0x42]), {}, { code: 'iso_2022_jp', offset: 0, encoding: 'iso-2022-jp' }],
      [encode('あいう'), { encoding: 'utf-16' }, { code: 'no_byte_order_mark' }],
    ];
    for (const [input, options, expected] of cases) {
      const error = refusal(() => decode(input, options));
      for (const [key, value] of Object.entries(expected)) assert.equal(error[key], value, `${expected.code} ${key}`);
    }
  });

  test('bad arguments', () => {
    assert.throws(() => decode('text'), TypeError);
    assert.throws(() => decode(bytes(1), { encoding: 'latin1' }), /unknown encoding "latin1"/);
    assert.throws(() => decode(bytes(1), { encoding: 5 }), TypeError);
  });
});

describe('encode', () => {
  test('writes each encoding with LF or CR LF', () => {
    const cases = [
      ['あ\nb', {}, [0xE3, 0x81, 0x82, 0x0A, 0x62]],
      ['あ\r\nb', { crlf: false }, [0xE3, 0x81, 0x82, 0x0A, 0x62]],
      ['～\rb', { encoding: 'cp932', crlf: true }, [0x81, 0x60, 0x0D, 0x0A, 0x62]],
      ['\u301C', { encoding: 'cp932' }, [0x81, 0x60]],
      ['a\n', { encoding: 'utf-16', crlf: true }, [0xFF, 0xFE, 0x61, 0, 0x0D, 0, 0x0A, 0]],
      ['a', { encoding: 'UTF-16BE' }, [0, 0x61]],
    ];
    for (const [text, options, expected] of cases) assert.deepEqual(encode(text, options), bytes(expected), JSON.stringify(options));
  });

  test('a character the encoding cannot hold: where the first is, and how many', () => {
    const error = refusal(() => encode('あ\nい😀う\r\n€€', { encoding: 'cp932' }));
    assert.deepEqual(error, {
      name: 'PokopenError', code: 'unencodable', encoding: 'cp932', offset: 3, line: 2, column: 2,
      codePoint: 0x1F600, count: 3,
    });
    assert.equal(refusal(() => encode('ab\uD800', { encoding: 'utf-8' })).column, 3);
  });

  test('bad arguments', () => {
    assert.throws(() => encode('a', { encoding: 'auto' }), RangeError);
    assert.throws(() => encode('a', { crlf: 'yes' }), TypeError);
    assert.throws(() => encode(new Uint8Array(1)), TypeError);
  });
});
