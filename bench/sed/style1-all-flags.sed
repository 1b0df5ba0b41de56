# What pokopen-convert -s 1 --pokoru --force does (元気なぽこる語, all four
# flags), as plain substitutions in the same order: です before a punctuation
# mark, the persona's name, the first-person words, the second-person words
# and the sentence endings, each list from its last word to its first.
# Run as: LC_ALL=C.UTF-8 sed -E -f style1-all-flags.sed FILE
#
# Left out, so sed does less than the converter: no folding of case, width or
# kana (デス, ﾜﾀｼ, ＰＯＫＯＲＵ stay as they are); the ASCII and half-width forms
# of the marks do not count; a line break cannot fall inside the three
# characters after です, as sed sees one line at a time; です at the very start
# of the text is rewritten; and when a mark occurs twice after です (です。ね。)
# sed drops up to the second, where the converter keeps the first.
s/です.?.?([。、，．（）「」『』])/だりゅん\1/g
s/ぽこる/ぽこりゅんっ/g
s/手前/ぽこりゅんっ/g
s/こちら/ぽこりゅんっ/g
s/うち/ぽこりゅんっ/g
s/あっし/ぽこりゅんっ/g
s/当方/ぽこりゅんっ/g
s/自分/ぽこりゅんっ/g
s/拙者/ぽこりゅんっ/g
s/私/ぽこりゅんっ/g
s/あたし/ぽこりゅんっ/g
s/わたくし/ぽこりゅんっ/g
s/わたし/ぽこりゅんっ/g
s/ダーリン/ダ～リンっ/g
s/そちら/ダ～リンっ/g
s/お主/ダ～リンっ/g
s/おぬし/ダ～リンっ/g
s/貴殿/ダ～リンっ/g
s/君/ダ～リンっ/g
s/きみ/ダ～リンっ/g
s/あんた/ダ～リンっ/g
s/あなた/ダ～リンっ/g
s/ない/ないりゅんっ/g
s/です/だりゅんっ/g
s/でした/だったりゅんっ/g
s/なのだ/なんだりゅんっ/g
s/なんだ/なんだりゅんっ/g
s/します/するりゅんっ/g
s/ください/くださいりゅんっ/g
