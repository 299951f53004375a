#pragma once

#include <string>
#include <vector>

namespace corvane::platform::ocr {

// One character as the engine read it.
struct ReadSymbol {
  std::string text;
  float confidence = 0;
};

// A line (or a word) as the engine read it: its box in pixels of the image it was given, and,
// when they were asked for, a line's words and a word's characters.
struct ReadLine {
  int left = 0, top = 0, right = 0, bottom = 0;
  std::string text;
  float confidence = 0;
  std::vector<ReadLine> words;
  std::vector<ReadSymbol> symbols;
};

// Appends `line` to `lines` as read, or, where its words (in order) lie apart by more than twice
// the line's height, each run of words as a line of its own. Words that carry their characters
// go with the line (or the run) they are part of.
void appendSplitAtColumnGaps(ReadLine line, const std::vector<ReadLine>& words,
                             std::vector<ReadLine>& lines);

}  // namespace corvane::platform::ocr
