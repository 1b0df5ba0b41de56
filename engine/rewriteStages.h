// The rewriting rules as streaming stages. A conversion is a chain of stages,
// each reading the previous one's output in pieces, so the whole conversion
// takes one pass over the text in cache-sized pieces however many rules run.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mdlFlexConv.h"
#include "wordPresence.h"
#include "wordSearch.h"

namespace mdlFlexConv::detail {

class Stage {
 public:
  virtual ~Stage() = default;
  // Appends to `out` what can already be decided of the text so far; units
  // that may still belong to a match are held back for the next piece.
  virtual void Push(std::u16string_view piece, std::u16string& out) = 0;
  // The text has ended: appends everything held back.
  virtual void Finish(std::u16string& out) = 0;
  // Forgets the text so far, ready for a new one.
  virtual void Reset() = 0;
  // Push for a chain: the result is `piece` itself, or a part of it, where
  // the stage changes nothing in it, and otherwise is written to `buffer`.
  // Of the stage's words (bit k for word k), only `words` can occur in piece.
  virtual std::u16string_view Process(std::u16string_view piece, std::u16string& buffer,
                                      [[maybe_unused]] std::uint64_t words) {
    buffer.clear();
    Push(piece, buffer);
    return buffer;
  }
  // The words whose absence from a piece lets the chain pass the piece on
  // without this stage, while it holds nothing back; none when there are none.
  virtual std::span<const Needle> Words() const { return {}; }
  // The replacement of each word.
  virtual std::span<const std::u16string> Replacements() const { return {}; }
  // The words (bit k for word k) that the last Process replaced, or that
  // units held from the piece before may have begun.
  virtual std::uint64_t Rewritten() const { return ~std::uint64_t{0}; }
  virtual bool HoldsNothing() const { return false; }
};

// ReplaceAll: every non-overlapping occurrence of `find`, left to right. Given
// several words, each in turn by its replacement, in one pass: only where
// ReplacedTogetherAlike.
class ReplaceAllStage final : public Stage {
 public:
  ReplaceAllStage(std::u16string_view find, std::u16string_view replacement, Comparison mode);
  ReplaceAllStage(const std::vector<std::u16string_view>& finds,
                  const std::vector<std::u16string_view>& replacements, Comparison mode);
  void Push(std::u16string_view piece, std::u16string& out) override;
  void Finish(std::u16string& out) override;
  void Reset() override { held_.clear(); }
  std::u16string_view Process(std::u16string_view piece, std::u16string& buffer,
                              std::uint64_t words) override;

  std::span<const Needle> Words() const override { return words_.Words(); }
  std::span<const std::u16string> Replacements() const override { return replacements_; }
  std::uint64_t Rewritten() const override { return rewritten_; }
  bool HoldsNothing() const override { return held_.empty(); }

 private:
  using Match = WordSet::Match;

  void PutReplacement(const Match& match, std::u16string& out) {
    out.append(replacements_[match.word]);
    rewritten_ |= std::uint64_t{1} << match.word;
  }

  void PushJoined(std::u16string_view piece, std::u16string& out);
  std::size_t PushSeam(std::u16string_view piece, std::u16string& out);
  void PushFrom(std::u16string_view text, std::size_t position, std::u16string& out);
  void PushFrom(std::u16string_view text, std::size_t position, std::u16string& out,
                WordSet::Search& search);

  WordSet words_;
  std::vector<std::u16string> replacements_;  // by word
  std::uint64_t rewritten_ = 0;
  std::u16string held_;  // the last units, which may begin a match
};

// ReplaceBeforePunctuation. The text ahead of the search is treated as a
// stack whose top is the next unit: a rewrite pops the match and its tail and
// pushes the replacement, whose first unit is then final (the next search
// starts one unit after the match). Every decision looks at no more than
// `lookahead_` units from the top.
class PunctuationGuardStage final : public Stage {
 public:
  PunctuationGuardStage(std::u16string_view find, std::u16string_view replacement,
                        std::u16string_view set);
  void Push(std::u16string_view piece, std::u16string& out) override;
  void Finish(std::u16string& out) override;
  void Reset() override;
  std::u16string_view Process(std::u16string_view piece, std::u16string& buffer,
                              std::uint64_t words) override;

  // How the text pushed from now on writes its line breaks.
  void TakeLineFeeds(LineFeeds lineFeeds);

  const Needle& Find() const { return needle_; }
  // How many units from a match's start a decision about it may look at.
  std::size_t Lookahead() const { return lookahead_; }
  // Whether a rewrite can lead to another of its own making; only then is
  // the rewriting watched for a loop that never ends.
  bool MayFeedOnItself() const { return mayFeedOnItself_; }

 private:
  // The window after a match is three units; marks that move the cut point
  // lie at most four units after the start of the match.
  static constexpr std::size_t kWindowUnits = 3;
  static constexpr std::size_t kFarthestCut = 4;

  struct Entry {
    std::int64_t height;
    std::u16string window;
  };

  // The units after a match that decisions about it look at.
  struct After {
    std::array<char16_t, std::max(kWindowUnits, kFarthestCut + 1)> units{};
    std::size_t size = 0;
    unsigned givenCrs = 0;  // bit k: unit k is the CR of an LF that stands for CR LF
  };

  bool ReplacementCanBeginMatch() const;
  void Run(std::u16string& out, bool textEnded);
  void RunFast(std::u16string& out, bool textEnded);
  void RunWatched(std::u16string& out, bool textEnded);
  std::size_t Available() const { return carry_.size() + (input_.size() - position_); }
  char16_t At(std::size_t offset) const;
  void Pop(std::size_t count);
  void EmitTopAndPop(std::u16string& out);
  bool MatchAtTop() const;
  After AfterTop() const;
  After AfterMatch(std::u16string_view text, std::size_t at) const;
  bool WindowHasMark(const After& after) const;
  std::size_t CutOffset(const After& after) const;
  std::size_t UnitsBefore(const After& after, std::size_t offset) const;
  void AppendInput(std::u16string_view piece);
  void Rewrite(std::size_t cut);
  bool IsMark(char16_t unit) const { return marks_[Fold(unit)]; }
  bool SeenBefore();
  void FlushUnchanged(std::u16string& out);
  void CompactInput();
  std::int64_t Height() const;

  Needle needle_;  // folded
  std::u16string replacement_;
  std::vector<bool> marks_;  // indexed by folded unit
  std::size_t lookahead_;
  bool mayFeedOnItself_ = false;  // a rewrite can lead to another of its own making
  bool lineFeedsStandForCrLf_ = false;
  // Where LFs stand for CR LF, each is given its CR only in the units a
  // decision looks at, rather than in all the text, unless the needle or the
  // marks hold a line break or the rewriting is watched unit by unit.
  bool crsGivenInDecisions_ = false;
  std::u16string carry_;  // pushed replacement units not yet passed, top last
  std::u16string input_;  // text not yet passed, from position_ on
  std::size_t position_ = 0;
  std::int64_t consumed_ = 0;  // input units popped so far
  bool repeating_ = false;     // the rewriting was found to repeat itself for ever
  bool firstPassed_ = false;
  // Watching for that: the recorded tops no later step has started below.
  std::vector<Entry> chain_;
  std::unordered_map<std::u16string, std::size_t> windowCounts_;
};

// A chain of stages with a buffer between each two.
class StageChain {
 public:
  void Add(std::unique_ptr<Stage> stage);
  void Push(std::u16string_view piece, std::u16string& out);
  void Finish(std::u16string& out);
  void Reset();

  std::size_t Size() const { return stages_.size(); }
  Stage& At(std::size_t i) const { return *stages_[i]; }

 private:
  void PushFrom(std::size_t first, std::u16string_view piece, std::u16string& out);
  const WordPresence& Presence();
  std::uint64_t WordsToLookFor(std::u16string_view piece);

  std::vector<std::unique_ptr<Stage>> stages_;
  std::vector<std::u16string> buffers_;
  std::optional<WordPresence> presence_;  // made at the first piece
  std::size_t wordCount_ = 0;             // of every stage
  int unscannedPieces_ = 0;
};

// Runs one stage over a whole text in cache-sized pieces.
std::u16string RunWhole(Stage& stage, std::u16string_view text);
std::u16string RunWhole(StageChain& chain, std::u16string_view text);

}  // namespace mdlFlexConv::detail
