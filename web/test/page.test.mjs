// The page in Debian's Chromium, used as a person would: by role and name,
// from the keyboard, through the file input, the download and the clipboard;
// every conversion compared with the native pokopen-convert.
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import { after, before, describe, test } from 'node:test';

import { convert, encode } from '../../js/dist/node.js';
import { SETTINGS, convertNatively, generatedText, nativeConverter, realDocument } from '../../js/test/texts.mjs';
import { openPage, startBrowser } from './browser.mjs';

const STYLE_NAMES = ['標準ぽこる語', '元気なぽこる語', 'お悩みぽこる語', 'ぷちこにゅ', 'でじこにょ', 'ぴよこぴょ'];
const FLAG_NAMES = ['"ぽこる"も変換', '一人称も変換', '二人称も変換', '強引に変換'];
const FLAG_OPTIONS = ['pokoru', 'firstPerson', 'secondPerson', 'force'];

let browser;
let page;
const source = () => page.getByRole('textbox', { name: '素テキスト', exact: true });
const result = () => page.getByRole('textbox', { name: 'ぽこる語テキスト', exact: true });
const button = (name) => page.getByRole('button', { name, exact: true });

// Chooses a style with its function key and sets each flag from the keyboard.
async function choose({ style = 0, ...flags }) {
  await source().focus();
  await page.keyboard.press(`F${style + 2}`);
  for (const [index, name] of FLAG_NAMES.entries()) {
    const box = page.getByRole('checkbox', { name, exact: true });
    const wanted = flags[FLAG_OPTIONS[index]] ?? [false, true, true, false][index];
    if (await box.isDisabled() || (await box.isChecked()) === wanted) continue;
    await box.focus();
    await page.keyboard.press('Space');
  }
}

// Puts text into a box as a person pastes it: through the clipboard.
async function paste(box, text) {
  await page.evaluate((t) => navigator.clipboard.writeText(t), text);
  await box.focus();
  await page.keyboard.press('Control+a');
  await page.keyboard.press('Control+v');
  const length = text.replace(/\r\n?/g, '\n').length;
  await box.evaluate((area, n) => new Promise((resolve) => {
    const check = () => (area.value.length === n ? resolve() : setTimeout(check, 20));
    check();
  }), length);
}

async function convertInPage() {
  const before = await page.evaluate(() => document.getElementById('status').dataset.count ?? '0');
  await source().focus();
  await page.keyboard.press('Control+e');
  await page.waitForFunction((count) => (document.getElementById('status').dataset.count ?? '0') !== count, before);
  return result().inputValue();
}

function optionsOf(setting) {
  const options = { ...setting };
  if (setting.style >= 3) options.pokoru = options.firstPerson = options.secondPerson = undefined;
  return options;
}

async function download(name, format) {
  await page.keyboard.press('Control+s');
  const dialog = page.getByRole('dialog', { name: '保存 - ぽこぺん' });
  await dialog.getByRole('textbox', { name: 'ファイル名' }).fill(name);
  await dialog.getByRole('radio', { name: format }).check();
  const saved = page.waitForEvent('download');
  await dialog.getByRole('button', { name: '保存' }).press('Enter');
  const file = await saved;
  return { name: file.suggestedFilename(), bytes: new Uint8Array(await readFile(await file.path())) };
}

async function loadFile(name, bytes) {
  await page.locator('#file').setInputFiles({ name, mimeType: 'text/plain', buffer: Buffer.from(bytes) });
}

before(async () => {
  browser = await startBrowser();
  page = await openPage(browser);
});

after(async () => {
  await browser?.close();
});

describe('the page', () => {
  test('every control has the window\'s caption as its name', async () => {
    assert.equal(await page.locator('html').getAttribute('lang'), 'ja');
    assert.equal(await page.title(), 'ぽこぺん');
    const styles = page.getByRole('radiogroup', { name: 'スタイル' });
    assert.deepEqual(await styles.getByRole('radio').evaluateAll((radios) => radios.map((r) => r.labels[0].textContent)), STYLE_NAMES);
    for (const name of FLAG_NAMES) await page.getByRole('checkbox', { name, exact: true }).waitFor();
    for (const name of ['ぽこる語に変換', '素ファイルの読み込み...', 'ぽこる語テキストの保存...', 'ぽこる語テキストのコピー', 'バージョン情報...']) {
      await button(name).waitFor();
    }
    await source().waitFor();
    await result().waitFor();
  });

  test('a style renames the commands and a dialect disables three flags, keeping their marks', async () => {
    await button('バージョン情報...').focus();
    await page.keyboard.press('Tab');
    const checked = page.getByRole('radio', { name: '標準ぽこる語' });
    assert.ok(await checked.evaluate((radio) => radio === document.activeElement));
    const expected = ['ぽこる語', 'ぽこる語', 'ぷちこ言葉', 'でじこ言葉', 'ぴよこ言葉'];
    for (const [step, language] of expected.entries()) {
      await page.keyboard.press('ArrowDown');
      assert.ok(await page.getByRole('radio', { name: STYLE_NAMES[step + 1] }).isChecked());
      await button(`${language}に変換`).waitFor();
      await button(`${language}テキストの保存...`).waitFor();
      const dialect = step + 1 >= 3;
      for (const [index, name] of FLAG_NAMES.entries()) {
        assert.equal(await page.getByRole('checkbox', { name, exact: true }).isDisabled(), dialect && index < 3, `${STYLE_NAMES[step + 1]} ${name}`);
      }
    }
    // Ctrl+I does nothing to a disabled flag, and a persona style shows the marks again.
    await page.keyboard.press('Control+i');
    await page.keyboard.press('F3');
    assert.deepEqual(await Promise.all(FLAG_NAMES.map((name) => page.getByRole('checkbox', { name, exact: true }).isChecked())), [false, true, true, false]);
    await page.keyboard.press('Control+i');
    assert.equal(await page.getByRole('checkbox', { name: '一人称も変換' }).isChecked(), false);
    await page.keyboard.press('Control+i');
    await page.keyboard.press('F2');
  });

  test('typed and pasted text is converted with Ctrl+E and with the button', async () => {
    await source().fill('');
    await source().focus();
    await page.keyboard.type('わたしはあなたが好きです。');
    assert.equal(await convertInPage(), 'ぽこりゅんはダ～リンが好きだりゅん。');
    await page.evaluate(() => navigator.clipboard.writeText('\nそうなのだ'));
    await page.keyboard.press('Control+v');
    await page.keyboard.press('F6');
    await choose({ style: 4, force: true });
    await button('でじこ言葉に変換').press('Enter');
    await page.waitForFunction(() => document.getElementById('result').value.endsWith('にょにょ'));
    assert.equal(await result().inputValue(), 'わたしはあなたが好きだにょ。\nそうなんだにょにょ');
  });

  describe('the same as pokopen-convert in all six styles', { skip: !nativeConverter && 'POKOPEN_CONVERT is not set' }, () => {
    const texts = [1, 2, 3].map((seed) => [`generated text ${seed}`, generatedText(seed, 20_000 * seed)]);
    texts.push(['the Debian reference', realDocument(150_000, 200_000)]);
    for (const [name, text] of texts) {
      test(name, { skip: text === null && 'debian-reference-ja is not installed' }, async () => {
        await paste(source(), text);
        const shown = await source().inputValue();
        for (const setting of SETTINGS) {
          await choose(setting);
          assert.ok(await convertInPage() === convertNatively(shown, optionsOf(setting)), JSON.stringify(setting));
        }
      });
    }
  });

  test('a code page 932 file loads; a damaged UTF-8 file is refused in Japanese', async () => {
    const text = '漢字とカナ～①\r\nＡＢＣ、ｶﾀｶﾅ。';
    await loadFile('sjis.txt', encode(text, { encoding: 'cp932' }));
    await page.waitForFunction(() => document.getElementById('source').value.startsWith('漢字'));
    assert.equal(await source().inputValue(), '漢字とカナ～①\nＡＢＣ、ｶﾀｶﾅ。\n');

    const damaged = [...encode('日本語のテキストです。'), 0xE3, 0x81, ...encode('続き')];
    await loadFile('damaged.txt', damaged);
    const alert = page.getByRole('alertdialog', { name: '読み込み - ぽこぺん' });
    await alert.waitFor();
    assert.equal(await alert.locator('#messageText').textContent(),
      'このファイルは読み込めません。\n\ndamaged.txt: UTF-8 として読めないバイトがあります (オフセット 33)');
    await page.keyboard.press('Enter');
    assert.equal(await source().inputValue(), '漢字とカナ～①\nＡＢＣ、ｶﾀｶﾅ。\n');
  });

  test('a file dropped on the page loads too', async () => {
    const bytes = [0xFF, 0xFE, ...new Uint8Array(new Uint16Array([...'ぼくです'].map((c) => c.charCodeAt(0))).buffer)];
    await page.evaluate((data) => {
      const transfer = new DataTransfer();
      transfer.items.add(new File([new Uint8Array(data)], 'utf16.txt'));
      document.getElementById('source').dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
    }, bytes);
    await page.waitForFunction(() => document.getElementById('source').value === 'ぼくです\n');
  });

  test('saving downloads code page 932 with CR LF, or UTF-8 ending in one LF', async () => {
    await choose({ style: 0 });
    await source().fill('わたしです。\nあなたも～');
    const converted = await convertInPage();
    const cp932 = await download('out.txt', 'plain TEXT File (*.txt)');
    assert.equal(cp932.name, 'out.txt');
    assert.deepEqual(cp932.bytes, encode(`${converted}\n`, { encoding: 'cp932', crlf: true }));
    assert.ok(cp932.bytes.includes(0x0D));
    const utf8 = await download('utf8.txt', 'UTF-8 TEXT File (*.txt)');
    assert.equal(new TextDecoder().decode(utf8.bytes), `${converted}\n`);
    await result().fill('ぼく\n');
    assert.equal(new TextDecoder().decode((await download('ends.txt', 'UTF-8 TEXT File (*.txt)')).bytes), 'ぼく\n');
  });

  test('what code page 932 cannot hold is listed, and saved as UTF-8 when the person agrees', async () => {
    await result().fill('あ\n😀と©');
    const question = page.getByRole('alertdialog', { name: '保存 - ぽこぺん' });
    await page.keyboard.press('Control+s');
    await page.getByRole('radio', { name: 'plain TEXT File (*.txt)' }).check();
    await page.getByRole('button', { name: '保存', exact: true }).press('Enter');
    assert.equal(await question.locator('#messageText').textContent(),
      'コードページ 932 (Shift_JIS) で保存できない文字が 2 個あります。\n\n' +
      '・2 行目 1 文字目「😀」(U+1F600)\n・2 行目 3 文字目「©」(U+00A9)\n' +
      '\nUTF-8 なら、すべての文字をそのまま保存できます。\n代わりに UTF-8 で、同じファイル名で保存しますか?');
    await question.getByRole('button', { name: 'いいえ' }).press('Enter');
    assert.equal(await question.isVisible(), false);

    const saved = page.waitForEvent('download');
    await page.keyboard.press('Control+s');
    await page.getByRole('button', { name: '保存', exact: true }).press('Enter');
    await question.getByRole('button', { name: 'はい' }).press('Enter');
    const file = await saved;
    assert.equal(file.suggestedFilename(), 'ぽこる語テキスト.txt');
    assert.equal(await readFile(await file.path(), 'utf8'), 'あ\n😀と©\n');
  });

  test('the copy button and the about box', async () => {
    await result().fill('ぽこりゅんだりゅん。');
    await button('ぽこる語テキストのコピー').press('Enter');
    await page.waitForFunction(() => document.getElementById('status').textContent === 'コピーしました');
    assert.equal(await page.evaluate(() => navigator.clipboard.readText()), 'ぽこりゅんだりゅん。');
    await button('バージョン情報...').press('Enter');
    const about = page.getByRole('dialog', { name: 'ぽこぺんのバージョン情報' });
    assert.match(await about.locator('pre').textContent(),
      /^ぽこぺん 1\.00\.2000\n\ntranslate Japanese into Pokoryun and\nCharats' -Nyu -Nyo -Pyo languages \n\nCopyright \(C\) \d{4} .+$/);
    await page.keyboard.press('Escape');
    assert.equal(await about.isVisible(), false);
  });

  test('1 MB converts off the main thread, within three times the package in Node', async () => {
    const text = realDocument(0, 1 << 20) ?? generatedText(99, 1 << 20);
    await choose({ style: 1, force: true });
    await paste(source(), text);
    // The pasted text is laid out first: that is the text box's work, not the conversion's.
    await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(() => setTimeout(resolve, 200)))));
    await page.evaluate(() => {
      window.longTasks = [];
      new PerformanceObserver((list) => window.longTasks.push(...list.getEntries())).observe({ type: 'longtask' });
    });
    const converted = await convertInPage();
    const shown = await source().inputValue();
    const nodeStarted = performance.now();
    assert.ok(converted === convert(shown, { style: 1, force: true }));
    const inNode = performance.now() - nodeStarted;
    const { inPage, handover, blocked } = await page.evaluate(() => {
      const { startTime, duration } = performance.getEntriesByName('convert').at(-1);
      const handed = performance.getEntriesByName('convert-handover').at(-1);
      // Tasks that began and ended while the Worker converted. The task that
      // takes the result and shows it holds the end of the measure: any task
      // that kept the main thread from the result ended before it.
      const during = window.longTasks.filter((task) => task.startTime > handed.startTime + handed.duration &&
        task.startTime + task.duration < startTime + duration);
      return { inPage: duration, handover: handed.duration, blocked: during.map((task) => task.duration) };
    });
    // Typing at the end of the box that holds the text.
    await source().press('End');
    const keys = [];
    for (const key of 'abc') {
      const started = performance.now();
      await page.keyboard.press(key);
      keys.push(Math.round(performance.now() - started));
    }
    assert.ok((await source().inputValue()).endsWith('abc'));
    console.log(`1 MB: page ${inPage.toFixed(0)} ms (handing over ${handover.toFixed(0)} ms), Node ${inNode.toFixed(0)} ms, keys ${keys.join(', ')} ms`);
    assert.ok(handover < 50, `handing the text over took ${handover} ms`);
    assert.deepEqual(blocked, [], 'no long task on the main thread while the Worker converts');
    assert.ok(inPage < 3 * inNode + 100, `page ${inPage} ms, Node ${inNode} ms`);
  });

  test('readable at 360 px wide and at 200% zoom: nothing runs off to the side', async () => {
    // 200% zoom of a 1280 x 800 window leaves 640 x 400 CSS pixels.
    for (const viewport of [{ width: 360, height: 740 }, { width: 640, height: 400 }]) {
      const narrow = await browser.context.newPage();
      await narrow.setViewportSize(viewport);
      await openPage(browser, narrow);
      assert.ok(await narrow.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth), JSON.stringify(viewport));
      for (const name of ['ぽこる語に変換', '素ファイルの読み込み...', 'ぽこる語テキストの保存...']) {
        const box = await narrow.getByRole('button', { name, exact: true }).boundingBox();
        assert.ok(box.x >= 0 && box.x + box.width <= viewport.width, `${name} at ${viewport.width}`);
      }
      await narrow.close();
    }
  });

  test('after the first visit the page opens and converts offline', async () => {
    await page.evaluate(() => navigator.serviceWorker.ready);
    await page.reload();
    await page.waitForFunction(() => navigator.serviceWorker.controller !== null);
    await browser.context.setOffline(true);
    try {
      page = await openPage(browser, page);
      await source().fill('きみとぼく');
      await choose({ style: 5, force: true });
      assert.equal(await convertInPage(), convert('きみとぼく', { style: 5, force: true }));
    } finally {
      await browser.context.setOffline(false);
    }
  });

  test('no request left the page\'s origin and nothing went to the console as an error', () => {
    assert.deepEqual(browser.foreign, []);
    assert.deepEqual(browser.consoleErrors, []);
  });
});
