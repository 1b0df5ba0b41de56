// The window's words for a file it refuses to read and for a text that the
// chosen encoding cannot hold.

const ENCODING_NAMES = {
  'utf-8': 'UTF-8', 'utf-16': 'UTF-16', 'utf-16le': 'UTF-16', 'utf-16be': 'UTF-16',
  cp932: 'コードページ 932',
};

// `facts` are what the library tells beyond the error: whether the bytes read
// as UTF-8 (utf8), and which encoding shows second in a mixed text (second).
export function loadFailure(name, error, facts = {}) {
  return `このファイルは読み込めません。\n\n${name}: ${loadDetail(error, facts)}`;
}

function loadDetail(error, facts) {
  const at = error.offset;
  switch (error.code) {
    case 'invalid_text': {
      const detail = `${ENCODING_NAMES[error.encoding]} として読めないバイトがあります (オフセット ${at})`;
      if (!facts.utf8) return detail;
      return error.encoding === 'cp932'
        ? `${detail}。UTF-8 としては読めます`
        : `${detail}。UTF-16 のバイト順マークのあとが UTF-8 です (マークの 2 バイトを除いてください)`;
    }
    case 'nul_byte':
      return `NUL バイトがあります (オフセット ${at})。テキストファイルではないか、壊れているか、バイト順マークのない UTF-16 です`;
    case 'euc_jp':
      return 'EUC-JP のファイルは読めません (iconv -f EUC-JP -t UTF-8 で変換できます)';
    case 'iso_2022_jp':
      return `ISO-2022-JP (JIS) のファイルは読めません (オフセット ${at} にエスケープシーケンス。iconv -f ISO-2022-JP -t UTF-8 で変換できます)`;
    case 'mixed_encodings':
      return `UTF-8 とコードページ 932 が混ざっています (オフセット ${at} から ${ENCODING_NAMES[facts.second] ?? '別のエンコーディング'})`;
    case 'not_japanese':
      return `UTF-8 でもコードページ 932 の日本語でもありません (UTF-8 としてはオフセット ${at} から読めません。ほかのエンコーディングなら iconv で UTF-8 に変換できます)`;
    case 'no_byte_order_mark':
      return 'UTF-16 のバイト順マークがありません';
    case 'no_memory':
      return 'メモリが足りません';
    default:
      return error.message;
  }
}

// The question when code page 932 cannot hold the text, and the message when
// even UTF-8 cannot (lone surrogates); `found` is { count, places }.
export function saveAsUtf8Question(found) {
  return `コードページ 932 (Shift_JIS) で保存できない文字が ${found.count} 個あります。\n\n${placeList(found)}` +
    '\nUTF-8 なら、すべての文字をそのまま保存できます。\n代わりに UTF-8 で、同じファイル名で保存しますか?';
}

export function notSavedAsUtf8(found) {
  return `UTF-8 でも保存できない文字 (対になっていないサロゲート) が ${found.count} 個あります。\n\n${placeList(found)}` +
    '\nこれらの文字を消してから、もう一度保存してください。';
}

// Characters that cannot be seen on their own between brackets.
const INVISIBLE = /^[\p{Cc}\p{Cf}\p{Cs}\p{Co}\p{Cn}\p{Z}\p{M}]$/u;

// "・2 行目 4 文字目「©」(U+00A9)" a line, then how many more there are.
function placeList({ count, places }) {
  let list = '';
  for (const { line, column, codePoint } of places) {
    const hex = `U+${codePoint.toString(16).toUpperCase().padStart(4, '0')}`;
    const character = String.fromCodePoint(codePoint);
    list += `・${line} 行目 ${column} 文字目${INVISIBLE.test(character) ? ` ${hex}` : `「${character}」(${hex})`}\n`;
  }
  if (count > places.length) list += `・ほか ${count - places.length} 個\n`;
  return list;
}
