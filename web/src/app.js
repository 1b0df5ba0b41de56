// The page's window: two text boxes, the style and flags, and the commands
// of the ぽこぺん window. The library runs in a Worker, so the page never
// waits on a long text.
import { ABOUT_LINES } from './about.js';
import { loadFailure, notSavedAsUtf8, saveAsUtf8Question } from './messages.js';

const $ = (id) => document.getElementById(id);
const source = $('source');
const result = $('result');
const flagBoxes = ['pokoru', 'firstPerson', 'secondPerson', 'force'].map($);
const styleRadios = [...document.querySelectorAll('input[name=style]')];

// The language each style writes, which names the save, convert and copy commands.
const LANGUAGES = ['ぽこる語', 'ぽこる語', 'ぽこる語', 'ぷちこ言葉', 'でじこ言葉', 'ぴよこ言葉'];
const DIALECTS = 3;

// The Worker, called like a function.
const worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
const pending = new Map();
let nextId = 0;
worker.onmessage = ({ data }) => {
  const call = pending.get(data.id);
  if (!call) return;
  pending.delete(data.id);
  if (data.error) call.reject(Object.assign(new Error(data.error.message), data.error));
  else call.resolve(data.value);
};
function library(op, ...args) {
  return new Promise((resolve, reject) => {
    pending.set(++nextId, { resolve, reject });
    worker.postMessage({ id: nextId, op, args });
  });
}

function style() {
  const checked = styleRadios.findIndex((radio) => radio.checked);
  return checked < 0 ? 0 : checked;
}

// Choosing a style renames the commands and enables the flags it reads; the
// flags keep their marks.
function styleChosen() {
  const index = style();
  const language = LANGUAGES[index];
  $('convert').textContent = `${language}に変換`;
  $('save').textContent = `${language}テキストの保存...`;
  $('copy').textContent = `${language}テキストのコピー`;
  flagBoxes.slice(0, 3).forEach((box) => { box.disabled = index >= DIALECTS; });
}

function chooseStyle(index) {
  styleRadios[index].checked = true;
  styleChosen();
}

function toggleFlag(box) {
  if (!box.disabled) box.checked = !box.checked;
}

// Tells the outcome of a command; the count lets a reader tell two equal
// messages apart.
function say(text) {
  const status = $('status');
  status.textContent = text;
  status.dataset.count = String(Number(status.dataset.count ?? 0) + 1);
}

// A message box: resolves with the label of the button chosen, or '' when
// it is closed with Escape.
function showMessage(title, text, buttons = ['OK']) {
  const dialog = $('messageDialog');
  $('messageTitle').textContent = title;
  $('messageText').textContent = text;
  $('messageButtons').replaceChildren(...buttons.map((label, index) => {
    const choice = document.createElement('button');
    choice.value = label;
    choice.textContent = label;
    if (index === 0) choice.className = 'primary';
    return choice;
  }));
  dialog.returnValue = '';
  dialog.showModal();
  return new Promise((resolve) => dialog.addEventListener('close', () => resolve(dialog.returnValue), { once: true }));
}

async function convertSource() {
  const options = { style: style() };
  flagBoxes.forEach((box) => { options[box.id] = box.checked; });
  const button = $('convert');
  button.disabled = true;
  // Nothing else changes while converting: restyling or moving a box that
  // holds a long text would cost the main thread more than the conversion.
  result.setAttribute('aria-busy', 'true');
  try {
    // For the tests: the main thread's share (handing the text over) and the
    // Worker's round trip.
    performance.mark('convert-start');
    const converting = library('convert', source.value, options);
    performance.measure('convert-handover', 'convert-start');
    const converted = await converting;
    performance.measure('convert', 'convert-start');
    result.value = converted;
    say('変換しました');
  } catch (error) {
    say('変換できませんでした');
    showMessage('エラー - ぽこぺん', error.code === 'no_memory' ? 'メモリが足りません' : error.message);
  } finally {
    result.removeAttribute('aria-busy');
    button.disabled = false;
  }
}

async function loadFile(file) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  let text;
  try {
    ({ text } = await library('decode', bytes, { encoding: 'auto' }));
  } catch (error) {
    showMessage('読み込み - ぽこぺん', loadFailure(file.name, error, await refusalFacts(bytes, error)));
    return;
  }
  // Every line ends with a line break, the last one too, as the window loads it.
  source.value = text && !/[\r\n]$/.test(text) ? `${text}\n` : text;
  say(`${file.name} を読み込みました`);
}

// What the library tells of refused bytes besides the error itself.
async function refusalFacts(bytes, error) {
  const readsAs = (part, encoding) =>
    library('decode', part, { encoding }).then((decoded) => decoded.encoding, () => null);
  if (error.code === 'invalid_text') {
    const part = error.encoding === 'cp932' ? bytes : bytes.subarray(2);
    return { utf8: error.encoding !== 'utf-8' && (await readsAs(part, 'utf-8')) !== null };
  }
  if (error.code === 'mixed_encodings') {
    const first = await readsAs(bytes.subarray(0, error.offset), 'auto');
    return { second: first === 'cp932' ? 'utf-8' : first === 'utf-8' ? 'cp932' : undefined };
  }
  return {};
}

function openSave() {
  const name = $('saveName');
  // Asked afresh each time, as the window's dialog remembers no file.
  name.value = `${LANGUAGES[style()]}テキスト.txt`;
  $('saveDialog').returnValue = '';
  $('saveDialog').showModal();
}

async function save() {
  const name = $('saveName').value.trim() || 'pokopen.txt';
  const chosen = document.querySelector('input[name=saveFormat]:checked').value;
  const text = result.value;
  const format = await formatThatHolds(text, chosen);
  if (!format) return;
  // Code page 932 files get CR LF after the text whatever it ends with; UTF-8
  // files end with exactly one line break.
  const ending = format === 'cp932' || !/[\r\n]$/.test(text) ? '\n' : '';
  const bytes = await library('encode', text + ending, { encoding: format, crlf: format === 'cp932' });
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([bytes], { type: 'text/plain' }));
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60_000);
  say(`${name} を保存しました`);
}

// The chosen format, or UTF-8 when code page 932 cannot hold the text and the
// person agrees, or none when the save is not to go on.
async function formatThatHolds(text, chosen) {
  const found = await library('unencodable', text, chosen);
  if (found.count === 0) return chosen;
  if (chosen === 'cp932') {
    const answer = await showMessage('保存 - ぽこぺん', saveAsUtf8Question(found), ['はい', 'いいえ']);
    return answer === 'はい' ? formatThatHolds(text, 'utf-8') : null;
  }
  await showMessage('保存 - ぽこぺん', notSavedAsUtf8(found));
  return null;
}

async function copyResult() {
  try {
    await navigator.clipboard.writeText(result.value);
    say('コピーしました');
  } catch {
    result.select();
    say('コピーできませんでした。選択したテキストを Ctrl+C でコピーしてください');
  }
}

// The window's shortcut keys.
const SHORTCUTS = {
  'Control+e': () => convertSource(),
  'Control+o': () => $('file').click(),
  'Control+s': () => openSave(),
  'Control+i': () => toggleFlag(flagBoxes[1]),
  'Control+y': () => toggleFlag(flagBoxes[2]),
  F2: () => chooseStyle(0),
  F3: () => chooseStyle(1),
  F4: () => chooseStyle(2),
  F5: () => chooseStyle(3),
  F6: () => chooseStyle(4),
  F7: () => chooseStyle(5),
};

function onKey(event) {
  if (event.altKey || event.metaKey || event.shiftKey || document.querySelector('dialog[open]')) return;
  const key = event.ctrlKey ? `Control+${event.key.toLowerCase()}` : event.key;
  const action = SHORTCUTS[key];
  if (!action) return;
  event.preventDefault();
  action();
}

function onDrop(event) {
  event.preventDefault();
  const file = event.dataTransfer.files[0];
  if (file) loadFile(file);
}

async function start() {
  styleRadios.forEach((radio) => radio.addEventListener('change', styleChosen));
  $('convert').addEventListener('click', () => convertSource());
  $('load').addEventListener('click', () => $('file').click());
  $('file').addEventListener('change', (event) => {
    const [file] = event.target.files;
    event.target.value = '';
    if (file) loadFile(file);
  });
  $('save').addEventListener('click', openSave);
  $('saveDialog').addEventListener('close', () => {
    if ($('saveDialog').returnValue === 'save') save();
  });
  $('copy').addEventListener('click', copyResult);
  $('about').addEventListener('click', () => $('aboutDialog').showModal());
  document.addEventListener('keydown', onKey);
  document.addEventListener('dragover', (event) => event.preventDefault());
  document.addEventListener('drop', onDrop);
  styleChosen();

  $('aboutText').textContent = aboutText(await library('version'));
  document.body.dataset.ready = 'true';
  if ('serviceWorker' in navigator) {
    navigator.serviceWorker.register('sw.js').catch(() => {});
  }
}

// The about text: the version as the window writes it, 1.00.2000.
function aboutText(libraryVersion) {
  const [major, minor, revision] = libraryVersion.split('.');
  const version = `${major}.${minor.padStart(2, '0')}.${revision.padStart(4, '0')}`;
  return [`ぽこぺん ${version}`, ...ABOUT_LINES].join('\n');
}

start();
