// The window's words for a file it cannot read or write, for the page's
// error box: "name: what is wrong".

const ENCODING_NAMES = {
  'utf-8': 'UTF-8', 'utf-16': 'UTF-16', 'utf-16le': 'UTF-16', 'utf-16be': 'UTF-16',
  cp932: 'コードページ 932',
};

// `facts` are what the library tells beyond the error: whether the bytes read
// as UTF-8 (utf8), and which encoding shows second in a mixed text (second).
export function loadFailure(name, error, facts = {}) {
  return `${name}: ${loadDetail(error, facts)}`;
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

export function saveFailure(name, error) {
  if (error.code !== 'unencodable') return `${name}: ${error.code === 'no_memory' ? 'メモリが足りません' : error.message}`;
  const hex = error.codePoint.toString(16).toUpperCase().padStart(4, '0');
  const encoding = ENCODING_NAMES[error.encoding];
  // A Latin name stands apart from the Japanese around it.
  const is = error.encoding === 'cp932' ? ' は' : ' は ';
  return `${name}: ${error.line} 行目 ${error.column} 文字目の U+${hex}${is}${encoding} で保存できない文字です`;
}
