#include "benchTexts.h"

#include <array>
#include <cstdint>
#include <vector>

#include "textCodec.h"

namespace benchTexts {

namespace {

// Everyday sentences of every register: pronouns of each kind, です closing
// clauses and inside them, requests, plain and emphatic endings, katakana,
// ASCII and full-width Latin, half-width katakana.
constexpr std::array<std::u16string_view, 60> kSeedSentences = {
    u"今日は朝から雨です。",
    u"わたしは駅までの道を、傘をさしてゆっくり歩きました。",
    u"角のパン屋さんはまだ開いていなかったので、少しだけ残念でした。",
    u"「あなたも一緒に来ますか？」と友だちが聞きました。",
    u"自分の考えをうまく言葉にできないのは、よくあることです。",
    u"この本はとても面白いですよ。",
    u"明日の会議の資料は、PDFで送ってください。",
    u"それは本当なのだ、と祖父はいつも笑って言いました。",
    u"私たちのチームは、来月から新しいプロジェクトを担当します。",
    u"きみの描いた絵、すごくきれいだね。",
    u"当方では、そのような注文は受け付けておりません。",
    u"拙者、ここで失礼つかまつる。",
    u"あたしね、実はケーキを三つも食べちゃったの。",
    u"あんた、また遅刻したでしょう。",
    u"手前どもの店は、創業百年になります。",
    u"貴殿のご意見、たしかに承りました。",
    u"おぬし、なかなかやるではないか。",
    u"お主の腕前、見せてもらおう。",
    u"そちらの天気はいかがですか。",
    u"こちらはもう桜が散りはじめています。",
    u"うちの猫は、毎朝六時に起こしにきます。",
    u"あっしは江戸の生まれでございます。",
    u"わたくしが本日の司会を務めます、どうぞよろしくお願いいたします。",
    u"ダーリン、お昼ごはんは何がいい？",
    u"君が言ったことは、ずっと覚えているよ。",
    u"コーヒーを淹れるのは、ワタシの朝の楽しみです。",
    u"駅前のカフェでは、Wi-Fiが無料で使えます。",
    u"ＵＳＢメモリが見つからないので、少し困っているんです。",
    u"この問題はそんなに難しくないと思います。",
    u"彼はまだ来ないようです、電話してみましょうか。",
    u"雨ですから、今日の散歩はやめにしましょう。",
    u"ここに名前を書いてください。",
    u"部屋の掃除をしますから、少し待っていてください。",
    u"そうなんだ、知らなかったよ。",
    u"昨日は一日じゅう家にいたので、とても静かでした。",
    u"ぼくのパソコンは古いですが、まだ十分に動きます。",
    u"「これはペンです」と先生は英語で言いました。",
    u"彼女はピアノを弾くのが上手です、とみんなが言います。",
    u"郵便局は午後5時までです。",
    u"大丈夫です、心配しないでください。",
    u"新しいスマートフォンは、バッテリーの持ちがいいらしいです。",
    u"メールの件名には「至急」と書いてありました。",
    u"今度の休みには、ｶﾗｵｹに行く予定です。",
    u"子どもたちは公園で元気に遊んでいます。",
    u"ちょっと待ってください、すぐに行きますから。",
    u"先週のテストの結果は、思ったよりよかったです。",
    u"それはきっと、あなたのせいではないのだ。",
    u"この町には、古いお寺がたくさんあります。",
    u"電車が遅れていたので、会議には間に合いませんでした。",
    u"窓の外では、ＯＫと書かれた看板が風に揺れていました。",
    u"晩ごはんはカレーですか、それともラーメンですか。",
    u"夜になると、星がとてもきれいに見えます。",
    u"「あなたです。」と彼は静かに答えました。",
    u"自分でやってみないと、わからないこともあります。",
    u"今日のお昼はサンドイッチとスープでした。",
    u"メモ: 3月10日、14時からA会議室。",
    u"手紙を書くのは久しぶりなので、少し緊張します。",
    u"そのうち、また遊びに来てくださいね。",
    u"忘れ物はないですか？",
    u"以上です。",
};

// A technical manual: Japanese sentences around commands, paths, options and
// numbers, and lines of code and output between the paragraphs.
constexpr std::array<std::u16string_view, 32> kTechnicalSentences = {
    u"設定ファイルは /etc/pokopen/config.toml にあります。",
    u"まず sudo apt-get install -y cmake g++ qt6-base-dev を実行してください。",
    u"ビルドには約 12 分かかります（2 コア、メモリ 8 GiB の場合）。",
    u"エラー 0x80070005 が出た場合は、ファイルの権限を確認します。",
    u"git clone https://example.org/pokopen.git でリポジトリを取得します。",
    u"ログは /var/log/pokopen/convert.log に出力されます。",
    u"オプション --jobs=4 を付けると、4 つのスレッドで変換します。",
    u"この関数は std::u16string_view を受け取り、std::u16string を返します。",
    u"戻り値が 0 でない場合は、errno を見てください。",
    u"詳しくは man 1 pokopen-convert を参照してください。",
    u"環境変数 LANG=ja_JP.UTF-8 を設定しておくと便利です。",
    u"Ubuntu 24.04 と Debian 12 で動作を確認しました。",
    u"バッファの大きさは 65536 バイトです。",
    u"テストは ctest --test-dir build-test -j2 で実行できます。",
    u"ポート 8080 が使われていないことを確認してください。",
    u"私の環境では、1 GB のファイルを 3.2 秒で処理できました。",
    u"このコマンドは終了コード 2 を返すことがあります。",
    u"ファイル名に空白を含む場合は、\"My Documents/a.txt\" のように引用符で囲みます。",
    u"最新版は v1.00.2000 です。",
    u"CPU 使用率が 100% になるのは正常な動作です。",
    u"HTTP ステータス 404 は、ページが見つからないことを示します。",
    u"この設定は config.yaml の timeout: 30 で変更できます。",
    u"自分で確認したい場合は、diff -u old.txt new.txt を使ってください。",
    u"あなたの PR は main ブランチにマージされました。",
    u"キャッシュは ~/.cache/pokopen/ に保存されます。",
    u"JSON の例: {\"style\": 1, \"force\": true, \"name\": \"ぽこる\"}",
    u"パッチは 3 件あります: #1201、#1202、#1207 です。",
    u"その場合は、chmod 644 ~/.config/pokopen/settings.ini としてください。",
    u"メモリ使用量は約 64 MiB に抑えられています。",
    u"IPv4 アドレス 192.168.0.10 に接続できない場合は、ファイアウォールを確認します。",
    u"次の章では、API の使い方を説明します。",
    u"以上で、インストールは完了です。",
};

constexpr std::array<std::u16string_view, 12> kCodeLines = {
    u"    for (std::size_t i = 0; i < text.size(); ++i) {",
    u"        total += weights[i] * values[i];",
    u"    }",
    u"$ ./configure --prefix=/usr/local && make -j4 && sudo make install",
    u"$ pokopen-convert --style=1 --force notes.txt -o notes-pokoru.txt",
    u"Reading package lists... Done",
    u"drwxr-xr-x 2 root root 4096 Dec  7 12:34 /usr/share/pokopen",
    u"    if (result != 0) { return -1; }",
    u"export PATH=\"$HOME/.local/bin:$PATH\"",
    u"  \"dependencies\": { \"lodash\": \"^4.17.21\" },",
    u"SELECT id, name FROM users WHERE created_at > '2026-01-01';",
    u"[INFO] 2026-12-07T10:15:30Z worker-3 processed 1048576 bytes in 12 ms",
};

// Every first- and second-person word as written, in katakana and in
// half-width katakana.
constexpr std::u16string_view kPronouns =
    u"わたしわたくしあたし私拙者自分当方あっしうちこちら手前"
    u"あなたあんたきみ君貴殿おぬしお主そちらダーリン"
    u"ワタシワタクシアタシアッシウチコチラアナタアンタキミオヌシオ主ソチラだーりん"
    u"ﾜﾀｼﾜﾀｸｼｱﾀｼｱｯｼｳﾁｺﾁﾗｱﾅﾀｱﾝﾀｷﾐｵﾇｼｵ主ｿﾁﾗﾀﾞｰﾘﾝ";

// splitmix64: fixed output on every platform, unlike the standard
// distributions.
class Sequence {
 public:
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t bound) { return static_cast<std::size_t>(Next() % bound); }

 private:
  std::uint64_t state_ = 20260101;
};

std::size_t Utf8Length(std::u16string_view text) {
  return textCodec::EncodeUtf8(text).bytes.size();
}

// Appends pieces while the UTF-8 size stays within the budget.
class Grower {
 public:
  explicit Grower(std::size_t utf8Bytes) : budget_(utf8Bytes) { text_.reserve(utf8Bytes / 2); }

  bool Append(std::u16string_view piece, std::size_t pieceBytes) {
    if (pieceBytes > budget_ - used_) {
      return false;
    }
    text_.append(piece);
    used_ += pieceBytes;
    return true;
  }

  // Fills what is left with single units of piece, as far as they fit.
  void FillWith(std::u16string_view piece) {
    for (const char16_t unit : piece) {
      if (!Append(std::u16string_view(&unit, 1), Utf8Length(std::u16string_view(&unit, 1)))) {
        return;
      }
    }
  }

  std::u16string Take() { return std::move(text_); }

 private:
  std::size_t budget_;
  std::size_t used_ = 0;
  std::u16string text_;
};

// The seed in order once, then paragraphs of two to six sentences drawn at
// random, now and then an empty line between them.
std::u16string GrowProse(std::size_t utf8Bytes) {
  std::vector<std::size_t> lengths;
  for (const std::u16string_view sentence : kSeedSentences) {
    lengths.push_back(Utf8Length(sentence));
  }
  Grower grower(utf8Bytes);
  Sequence sequence;
  for (std::size_t i = 0; i < kSeedSentences.size(); ++i) {
    if (!grower.Append(kSeedSentences[i], lengths[i]) ||
        ((i % 4 == 3) && !grower.Append(u"\n", 1))) {
      return grower.Take();
    }
  }
  for (;;) {
    const std::size_t count = 2 + sequence.Below(5);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t pick = sequence.Below(kSeedSentences.size());
      if (!grower.Append(kSeedSentences[pick], lengths[pick])) {
        return grower.Take();
      }
    }
    const std::u16string_view lineBreaks = sequence.Below(5) == 0 ? u"\n\n" : u"\n";
    if (!grower.Append(lineBreaks, lineBreaks.size())) {
      return grower.Take();
    }
  }
}

// Paragraphs of two to five sentences drawn at random, and now and then a
// block of two to four lines of code or output between them.
std::u16string GrowTechnical(std::size_t utf8Bytes) {
  const auto lengthsOf = [](const auto& pieces) {
    std::vector<std::size_t> lengths;
    for (const std::u16string_view piece : pieces) {
      lengths.push_back(Utf8Length(piece));
    }
    return lengths;
  };
  const std::vector<std::size_t> sentenceLengths = lengthsOf(kTechnicalSentences);
  const std::vector<std::size_t> codeLengths = lengthsOf(kCodeLines);
  Grower grower(utf8Bytes);
  Sequence sequence;
  for (;;) {
    const std::size_t sentences = 2 + sequence.Below(4);
    for (std::size_t i = 0; i < sentences; ++i) {
      const std::size_t pick = sequence.Below(kTechnicalSentences.size());
      if (!grower.Append(kTechnicalSentences[pick], sentenceLengths[pick])) {
        return grower.Take();
      }
    }
    if (!grower.Append(u"\n", 1)) {
      return grower.Take();
    }
    if (sequence.Below(3) != 0) {
      continue;
    }
    const std::size_t lines = 2 + sequence.Below(3);
    for (std::size_t i = 0; i < lines; ++i) {
      const std::size_t pick = sequence.Below(kCodeLines.size());
      if (!grower.Append(kCodeLines[pick], codeLengths[pick]) || !grower.Append(u"\n", 1)) {
        return grower.Take();
      }
    }
  }
}

std::u16string Repeat(std::u16string_view unit, std::size_t utf8Bytes) {
  const std::size_t unitBytes = Utf8Length(unit);
  Grower grower(utf8Bytes);
  while (grower.Append(unit, unitBytes)) {
  }
  grower.FillWith(unit);
  return grower.Take();
}

}  // namespace

std::string_view KindName(Kind kind) {
  switch (kind) {
    case Kind::Prose:
      return "prose";
    case Kind::Technical:
      return "technical";
    case Kind::DesuMaru:
      return "desu-maru";
    case Kind::DesuRun:
      return "desu-run";
    case Kind::Nanoda:
      return "nanoda";
    case Kind::Pronouns:
      return "pronouns";
  }
  return "prose";
}

std::optional<Kind> KindNamed(std::string_view name) {
  for (const Kind kind : kAllKinds) {
    if (KindName(kind) == name) {
      return kind;
    }
  }
  return std::nullopt;
}

std::u16string Generate(Kind kind, std::size_t utf8Bytes) {
  switch (kind) {
    case Kind::Prose:
      return GrowProse(utf8Bytes);
    case Kind::Technical:
      return GrowTechnical(utf8Bytes);
    case Kind::DesuMaru:
      return Repeat(u"です。", utf8Bytes);
    case Kind::DesuRun:
      return Repeat(u"です", utf8Bytes);
    case Kind::Nanoda:
      return Repeat(u"なのだ", utf8Bytes);
    case Kind::Pronouns:
      return Repeat(kPronouns, utf8Bytes);
  }
  return {};
}

}  // namespace benchTexts
