#include "platform/linux/ocr/read_line.h"

#include <algorithm>

namespace corvane::platform::ocr {

namespace {
// A gap between words this many times the line's height is a gap between columns (cards of a
// dashboard, cells of a table), not a space: the words on either side are lines of their own.
constexpr int kColumnGapInLineHeights = 2;
}  // namespace

// `line` as read, or, where its words lie apart by a column gap, each run of words as a line of
// its own for the rules: the words' text joined by spaces, over the part of the line's box up to
// the middle of the gaps on either side, with the line's confidence. The runs still account for
// the whole line as it was read: a rule or a grid line in a gap is part of the line read, not
// text left unread, and the reading vouches for each run as it did for the line.
void appendSplitAtColumnGaps(ReadLine line, const std::vector<ReadLine>& words,
                             std::vector<ReadLine>& lines) {
  const int gap = kColumnGapInLineHeights * (line.bottom - line.top);
  std::vector<std::size_t> starts{0};
  for (std::size_t i = 1; i < words.size(); ++i)
    if (words[i].left - words[i - 1].right > gap) starts.push_back(i);
  const bool withCharacters = std::any_of(
      words.begin(), words.end(), [](const ReadLine& word) { return !word.symbols.empty(); });
  if (starts.size() == 1) {
    if (withCharacters) line.words = words;
    lines.push_back(std::move(line));
    return;
  }
  starts.push_back(words.size());
  for (std::size_t run = 0; run + 1 < starts.size(); ++run) {
    const std::size_t first = starts[run], end = starts[run + 1];
    ReadLine piece{line.left,         line.top,        line.right, line.bottom,
                   words[first].text, line.confidence, {},         {}};
    if (run > 0) piece.left = (words[first - 1].right + words[first].left) / 2;
    if (end < words.size()) piece.right = (words[end - 1].right + words[end].left) / 2;
    for (std::size_t i = first + 1; i < end; ++i) piece.text += " " + words[i].text;
    if (withCharacters)
      piece.words.assign(words.begin() + static_cast<std::ptrdiff_t>(first),
                         words.begin() + static_cast<std::ptrdiff_t>(end));
    lines.push_back(std::move(piece));
  }
}

}  // namespace corvane::platform::ocr
