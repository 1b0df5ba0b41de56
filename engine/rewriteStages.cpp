#include "rewriteStages.h"

#include <algorithm>
#include <array>
#include <bit>
#include <utility>

namespace mdlFlexConv::detail {

namespace {

// Pieces small enough for every stage's buffer to stay in the cache, and to
// come from the allocator's reused memory rather than fresh pages each run.
// Under 4 KiB, too: from there glibc copies with `rep movsb`, which some AMD
// processors run ten to thirty times slower when source and destination lie
// a few bytes past a multiple of 4 KiB apart, as buffers of one size
// allocated one after another do.
constexpr std::size_t kPieceUnits = 2000;

// The text with each LF given the CR it stands for.
void AppendWithCrs(std::u16string_view text, std::u16string& out) {
  for (const char16_t unit : text) {
    if (unit == u'\n') {
      out.push_back(u'\r');
    }
    out.push_back(unit);
  }
}

}  // namespace

ReplaceAllStage::ReplaceAllStage(std::u16string_view find, std::u16string_view replacement,
                                 Comparison mode)
    : ReplaceAllStage(std::vector<std::u16string_view>{find},
                      std::vector<std::u16string_view>{replacement}, mode) {}

ReplaceAllStage::ReplaceAllStage(const std::vector<std::u16string_view>& finds,
                                 const std::vector<std::u16string_view>& replacements,
                                 Comparison mode)
    : words_(finds, mode), replacements_(replacements.begin(), replacements.end()) {}

void ReplaceAllStage::Push(std::u16string_view piece, std::u16string& out) {
  if (words_.empty()) {
    out.append(piece);
    return;
  }
  if (held_.empty()) {
    PushFrom(piece, 0, out);
  } else if (piece.size() + 1 < words_.Longest()) {
    PushJoined(piece, out);
  } else {
    PushFrom(piece, PushSeam(piece, out), out);
  }
}

// A piece in which nothing is replaced and nothing is held goes on as it is,
// without a copy: most pieces, for most words.
std::u16string_view ReplaceAllStage::Process(std::u16string_view piece, std::u16string& buffer,
                                             std::uint64_t words) {
  // Held units may begin any word, and make one with what comes before.
  rewritten_ = held_.empty() ? 0 : ~std::uint64_t{0};
  if (words_.empty() || (!held_.empty() && piece.size() + 1 < words_.Longest())) {
    return Stage::Process(piece, buffer, words);
  }
  WordSet::Search search(words_, piece, words);
  // Units held from the piece before are settled with any word; the rest of
  // the piece is searched for its own words only.
  if (!held_.empty()) {
    buffer.clear();
    PushFrom(piece, PushSeam(piece, buffer), buffer, search);
    return buffer;
  }
  if (search.Next(0).at != kNotFound) {
    buffer.clear();
    PushFrom(piece, 0, buffer, search);
    return buffer;
  }
  const std::size_t hold = words_.BeginningAtEnd(piece);
  held_.assign(piece.substr(piece.size() - hold));
  return piece.substr(0, piece.size() - hold);
}

// A piece too short to settle the held units: they wait on together.
void ReplaceAllStage::PushJoined(std::u16string_view piece, std::u16string& out) {
  std::u16string joined = std::move(held_);
  joined.append(piece);
  held_.clear();
  PushFrom(joined, 0, out);
}

// Settles the held units with the first units of the piece, which complete
// any match that begins among them; returns where the piece goes on.
std::size_t ReplaceAllStage::PushSeam(std::u16string_view piece, std::u16string& out) {
  const std::size_t heldCount = held_.size();
  std::u16string seam = std::move(held_);
  held_.clear();
  seam.append(piece.substr(0, words_.Longest() - 1));
  std::size_t position = 0;
  while (position < heldCount) {
    const Match match = words_.FindIn(seam, position);
    if (match.at == kNotFound || match.at >= heldCount) {
      out.append(std::u16string_view(seam).substr(position, heldCount - position));
      return 0;
    }
    out.append(std::u16string_view(seam).substr(position, match.at - position));
    PutReplacement(match, out);
    position = match.at + match.length;
  }
  return position - heldCount;
}

void ReplaceAllStage::PushFrom(std::u16string_view text, std::size_t position,
                               std::u16string& out) {
  WordSet::Search search(words_, text, ~std::uint64_t{0});
  PushFrom(text, position, out, search);
}

void ReplaceAllStage::PushFrom(std::u16string_view text, std::size_t position, std::u16string& out,
                               WordSet::Search& search) {
  for (;;) {
    const Match match = search.Next(position);
    if (match.at == kNotFound) {
      break;
    }
    out.append(text.substr(position, match.at - position));
    PutReplacement(match, out);
    position = match.at + match.length;
  }
  // The last units may begin a match that the next piece completes.
  const std::size_t keep = std::max(position, text.size() - words_.BeginningAtEnd(text));
  out.append(text.substr(position, keep - position));
  held_.assign(text.substr(keep));
}

void ReplaceAllStage::Finish(std::u16string& out) {
  out.append(held_);
  held_.clear();
}

PunctuationGuardStage::PunctuationGuardStage(std::u16string_view find,
                                             std::u16string_view replacement,
                                             std::u16string_view set)
    : needle_(find, Comparison::Text),
      replacement_(replacement),
      marks_(0x10000, false),
      lookahead_(std::max(needle_.size() + kWindowUnits, kFarthestCut + 1)) {
  for (const char16_t mark : set) {
    marks_[Fold(mark)] = true;
  }
  mayFeedOnItself_ = needle_.empty() || ReplacementCanBeginMatch();
  const auto isLineBreak = [](char16_t unit) { return unit == u'\r' || unit == u'\n'; };
  crsGivenInDecisions_ =
      !mayFeedOnItself_ &&
      std::none_of(needle_.units().begin(), needle_.units().end(), isLineBreak) && !marks_[u'\r'] &&
      !marks_[u'\n'];
}

void PunctuationGuardStage::TakeLineFeeds(LineFeeds lineFeeds) {
  const bool standForCrLf = lineFeeds == LineFeeds::StandForCrLf;
  if (lineFeedsStandForCrLf_ && !standForCrLf && crsGivenInDecisions_) {
    // The units still held get their CRs now, as the text that follows has.
    const std::u16string held = input_.substr(position_);
    input_.clear();
    position_ = 0;
    AppendWithCrs(held, input_);
  }
  lineFeedsStandForCrLf_ = standForCrLf;
}

void PunctuationGuardStage::AppendInput(std::u16string_view piece) {
  if (!lineFeedsStandForCrLf_ || crsGivenInDecisions_) {
    input_.append(piece);
    return;
  }
  AppendWithCrs(piece, input_);
}

// Whether a match of the needle can begin inside the replacement after its
// first unit, either wholly inside it or running on into the text after it.
// Only then can a rewrite lead to another rewrite of its own making.
bool PunctuationGuardStage::ReplacementCanBeginMatch() const {
  const std::u16string folded = FoldAll(replacement_);
  const std::u16string_view replacement(folded);
  const std::u16string_view needle(needle_.units());
  for (std::size_t start = 1; start < replacement.size(); ++start) {
    const std::u16string_view tail = replacement.substr(start);
    const std::size_t overlap = std::min(tail.size(), needle.size());
    if (tail.substr(0, overlap) == needle.substr(0, overlap)) {
      return true;
    }
  }
  return false;
}

void PunctuationGuardStage::Push(std::u16string_view piece, std::u16string& out) {
  if (repeating_) {
    out.append(piece);
    return;
  }
  AppendInput(piece);
  Run(out, false);
}

void PunctuationGuardStage::Finish(std::u16string& out) {
  if (!repeating_) {
    Run(out, true);
  }
  FlushUnchanged(out);
}

std::u16string_view PunctuationGuardStage::Process(std::u16string_view piece,
                                                   std::u16string& buffer, std::uint64_t words) {
  const bool settled = !repeating_ && !mayFeedOnItself_ && firstPassed_ && carry_.empty() &&
                       position_ == input_.size() &&
                       (!lineFeedsStandForCrLf_ || crsGivenInDecisions_);
  if (!settled || needle_.empty() || needle_.FindIn(piece, 0) != kNotFound) {
    return Stage::Process(piece, buffer, words);
  }
  // No match: the piece goes on as it is, but for units that may begin one.
  const std::size_t hold = needle_.BeginningAtEnd(piece);
  input_.assign(piece.substr(piece.size() - hold));
  position_ = 0;
  return piece.substr(0, piece.size() - hold);
}

void PunctuationGuardStage::Reset() {
  carry_.clear();
  input_.clear();
  position_ = 0;
  consumed_ = 0;
  repeating_ = false;
  firstPassed_ = false;
  chain_.clear();
  windowCounts_.clear();
}

void PunctuationGuardStage::Run(std::u16string& out, bool textEnded) {
  // The first search starts at the second unit: the first is never rewritten.
  if (!firstPassed_ && Available() > 0) {
    EmitTopAndPop(out);
    firstPassed_ = true;
  }
  if (mayFeedOnItself_) {
    RunWatched(out, textEnded);
  } else {
    RunFast(out, textEnded);
  }
  if (repeating_) {
    FlushUnchanged(out);
  }
  CompactInput();
}

char16_t PunctuationGuardStage::At(std::size_t offset) const {
  return offset < carry_.size() ? carry_[carry_.size() - 1 - offset]
                                : input_[position_ + offset - carry_.size()];
}

void PunctuationGuardStage::Pop(std::size_t count) {
  const std::size_t fromCarry = std::min(count, carry_.size());
  carry_.resize(carry_.size() - fromCarry);
  position_ += count - fromCarry;
  consumed_ += static_cast<std::int64_t>(count - fromCarry);
}

void PunctuationGuardStage::EmitTopAndPop(std::u16string& out) {
  out.push_back(At(0));
  Pop(1);
}

bool PunctuationGuardStage::MatchAtTop() const {
  if (Available() < needle_.size() || Available() == 0) {
    return false;
  }
  for (std::size_t i = 0; i < needle_.size(); ++i) {
    if (Fold(At(i)) != needle_.units()[i]) {
      return false;
    }
  }
  return true;
}

PunctuationGuardStage::After PunctuationGuardStage::AfterTop() const {
  After after;
  for (std::size_t offset = needle_.size(); offset < Available() && after.size < after.units.size();
       ++offset) {
    after.units[after.size++] = At(offset);
  }
  return after;
}

// The same for a match at `at` in text, giving an LF that stands for CR LF its
// CR where the rules would see one.
PunctuationGuardStage::After PunctuationGuardStage::AfterMatch(std::u16string_view text,
                                                               std::size_t at) const {
  After after;
  const bool giveCrs = lineFeedsStandForCrLf_ && crsGivenInDecisions_;
  for (std::size_t i = at + needle_.size(); i < text.size() && after.size < after.units.size();
       ++i) {
    if (giveCrs && text[i] == u'\n' && text[i - 1] != u'\r') {
      after.givenCrs |= 1U << after.size;
      after.units[after.size++] = u'\r';
      if (after.size == after.units.size()) {
        break;
      }
    }
    after.units[after.size++] = text[i];
  }
  return after;
}

bool PunctuationGuardStage::WindowHasMark(const After& after) const {
  const std::size_t end = std::min(kWindowUnits, after.size);
  return std::any_of(after.units.begin(), after.units.begin() + end,
                     [this](char16_t unit) { return IsMark(unit); });
}

// The cut point, counted from the match's start: of the marks' first
// occurrences from the unit after the match on, the farthest that lies within
// four units of the match's start; the unit after the match when there is none.
std::size_t PunctuationGuardStage::CutOffset(const After& after) const {
  const std::size_t length = needle_.size();
  std::size_t cut = length;
  std::array<char16_t, kFarthestCut + 1> seen{};
  std::size_t seenCount = 0;
  const std::size_t end = std::min(kFarthestCut + 1, length + after.size);
  for (std::size_t offset = length; offset < end; ++offset) {
    const char16_t folded = Fold(after.units[offset - length]);
    if (!marks_[folded] ||
        std::find(seen.begin(), seen.begin() + seenCount, folded) != seen.begin() + seenCount) {
      continue;
    }
    seen[seenCount++] = folded;
    cut = std::max(cut, offset);
  }
  return cut;
}

// The units of the text up to an offset from the match's start, leaving out
// the CRs given to LFs.
std::size_t PunctuationGuardStage::UnitsBefore(const After& after, std::size_t offset) const {
  const std::size_t inAfter = offset - needle_.size();
  return offset - static_cast<std::size_t>(std::popcount(after.givenCrs & ((1U << inAfter) - 1)));
}

void PunctuationGuardStage::Rewrite(std::size_t cut) {
  Pop(cut);
  carry_.append(replacement_.rbegin(), replacement_.rend());
}

// The common case: no rewrite can produce another, so the carry stays empty
// and the search skips straight through the text.
void PunctuationGuardStage::RunFast(std::u16string& out, bool textEnded) {
  const std::u16string_view text(input_);
  const std::size_t length = needle_.size();
  for (;;) {
    const std::size_t match = needle_.FindIn(text, position_);
    if (match == kNotFound) {
      const std::size_t undecided = textEnded ? 0 : length - 1;
      const std::size_t end =
          std::max(position_, text.size() > undecided ? text.size() - undecided : 0);
      out.append(text.substr(position_, end - position_));
      position_ = end;
      return;
    }
    out.append(text.substr(position_, match - position_));
    position_ = match;
    if (!textEnded && match + lookahead_ > text.size()) {
      return;
    }
    const After after = AfterMatch(text, match);
    if (!WindowHasMark(after)) {
      out.push_back(text[position_++]);
      continue;
    }
    position_ += UnitsBefore(after, CutOffset(after));
    out.append(replacement_);
    if (replacement_.empty()) {
      out.push_back(text[position_++]);
    }
  }
}

// The general case, one unit at a time. The rewriting is a stack machine that
// decides from the top `lookahead_` units alone, so when the same top returns
// without the stack having sunk below where it first stood, the machine is in
// a loop it can never leave: that is where it stops.
void PunctuationGuardStage::RunWatched(std::u16string& out, bool textEnded) {
  while (!repeating_ && Available() > 0 && (textEnded || Available() >= lookahead_)) {
    if (SeenBefore()) {
      repeating_ = true;
      return;
    }
    if (!MatchAtTop()) {
      EmitTopAndPop(out);
      continue;
    }
    const After after = AfterTop();
    if (!WindowHasMark(after)) {
      EmitTopAndPop(out);
      continue;
    }
    Rewrite(CutOffset(after));
    if (Available() > 0) {
      EmitTopAndPop(out);
    }
  }
}

std::int64_t PunctuationGuardStage::Height() const {
  return static_cast<std::int64_t>(carry_.size()) - consumed_;
}

// Records the current top of the stack; true when the same top was recorded
// before and no step since has started lower than that record. A rewrite may
// pop below it within a step, but only units the record's top already held.
bool PunctuationGuardStage::SeenBefore() {
  const std::int64_t height = Height();
  while (!chain_.empty() && chain_.back().height > height) {
    const auto found = windowCounts_.find(chain_.back().window);
    if (--found->second == 0) {
      windowCounts_.erase(found);
    }
    chain_.pop_back();
  }
  std::u16string window;
  const std::size_t size = std::min(lookahead_, Available());
  window.reserve(size);
  for (std::size_t offset = 0; offset < size; ++offset) {
    window.push_back(At(offset));
  }
  if (windowCounts_.contains(window)) {
    return true;
  }
  ++windowCounts_[window];
  chain_.push_back({height, std::move(window)});
  return false;
}

void PunctuationGuardStage::FlushUnchanged(std::u16string& out) {
  out.append(carry_.rbegin(), carry_.rend());
  carry_.clear();
  out.append(std::u16string_view(input_).substr(position_));
  position_ = input_.size();
}

void PunctuationGuardStage::CompactInput() {
  input_.erase(0, position_);
  position_ = 0;
}

void StageChain::Add(std::unique_ptr<Stage> stage) {
  stages_.push_back(std::move(stage));
  buffers_.emplace_back();
}

void StageChain::Push(std::u16string_view piece, std::u16string& out) {
  for (std::size_t start = 0; start < piece.size(); start += kPieceUnits) {
    PushFrom(0, piece.substr(start, kPieceUnits), out);
  }
}

void StageChain::Finish(std::u16string& out) {
  for (std::size_t i = 0; i < stages_.size(); ++i) {
    std::u16string rest;
    stages_[i]->Finish(rest);
    PushFrom(i + 1, rest, out);
  }
}

void StageChain::Reset() {
  for (const auto& stage : stages_) {
    stage->Reset();
  }
  unscannedPieces_ = 0;
}

void StageChain::PushFrom(std::size_t first, std::u16string_view piece, std::u16string& out) {
  std::u16string_view current = piece;
  // Which stages may change the text, found once the stages that are always
  // run have had their turn.
  std::optional<std::uint64_t> toRun;  // a bit for each word of the chain
  for (std::size_t i = first; i < stages_.size(); ++i) {
    Stage& stage = *stages_[i];
    std::uint64_t words = ~std::uint64_t{0};
    if (!stage.Words().empty() && Presence().Usable()) {
      if (!toRun) {
        toRun = WordsToLookFor(current);
      }
      words = Presence().WordsOf(i, *toRun);
      if (words == 0 && stage.HoldsNothing()) {
        continue;
      }
    }
    const std::u16string_view next = stage.Process(current, buffers_[i], words);
    // Rewritten text, or units held from the piece before, may make words
    // that the piece did not hold.
    if (toRun && (next.data() < current.data() ||
                  next.data() + next.size() > current.data() + current.size())) {
      *toRun |= Presence().AfterRewrite(i, stage.Rewritten());
    }
    current = next;
  }
  out.append(current);
}

// Where the last pieces held most of the words, as generated or word-dense
// text does, the scan would cost more than it saves: every word is looked for
// for a while, and then the scan is tried again.
std::uint64_t StageChain::WordsToLookFor(std::u16string_view piece) {
  constexpr int kPiecesUnscanned = 8;
  if (unscannedPieces_ > 0) {
    --unscannedPieces_;
    return ~std::uint64_t{0};
  }
  const std::uint64_t words = Presence().Scan(piece);
  if (4 * std::popcount(words) >= 3 * static_cast<int>(wordCount_)) {
    unscannedPieces_ = kPiecesUnscanned;
  }
  return words;
}

const WordPresence& StageChain::Presence() {
  if (!presence_) {
    std::vector<WordPresence::Rule> rules;
    for (const auto& stage : stages_) {
      rules.push_back({stage->Words(), stage->Replacements()});
      wordCount_ += stage->Words().size();
    }
    presence_.emplace(rules);
  }
  return *presence_;
}

namespace {

template <typename Runner>
std::u16string RunInPieces(Runner& runner, std::u16string_view text) {
  // Reserving generously costs nothing until the memory is written, and saves
  // copying the whole result when it grows.
  std::u16string out;
  out.reserve(2 * text.size() + 16);
  for (std::size_t start = 0; start < text.size(); start += kPieceUnits) {
    runner.Push(text.substr(start, kPieceUnits), out);
  }
  runner.Finish(out);
  return out;
}

}  // namespace

std::u16string RunWhole(Stage& stage, std::u16string_view text) {
  return RunInPieces(stage, text);
}

std::u16string RunWhole(StageChain& chain, std::u16string_view text) {
  return RunInPieces(chain, text);
}

}  // namespace mdlFlexConv::detail
