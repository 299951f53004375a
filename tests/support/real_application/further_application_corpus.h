#pragma once

// Screens of application families and fonts that no other corpus holds, rendered at the time they
// are needed and never stored: lxterminal (VTE), qterminal (Qt) and mlterm (its own drawing) in
// Terminus and Go Mono, light and dark; and Mousepad and Pluma showing configuration files in
// Cantarell, Go and Go Mono. Each alone on a private server, its own window captured; the truth
// comes from the applications' drawings (drawn_lines.h).
//
// Two splits with their own looks and content, as in other_application_corpus.h: `tuning`, to look
// into misses with, and `judging`, on which figures are judged.

#include <chrono>
#include <string>
#include <vector>

#include "support/real_application/other_application_corpus.h"

namespace corvane::testing::real_application {

namespace further_detail {

using Look = ScriptedTerminalLook;

// The looks of `split`, one group per program, each group drawn on a server of its own.
inline std::vector<other_detail::Looks> looksOf(CorpusSplit split) {
  const bool tuning = split == CorpusSplit::tuning;
  const std::uint32_t seeds = tuning ? 70000 : 20000;
  auto terminals = [&](std::vector<Look> looks, std::uint32_t group) {
    other_detail::Looks made;
    made.vte = std::move(looks);
    made.seedOffset = seeds + group * 1000;
    return made;
  };
  auto editors = [&](std::vector<EditorLook> looks, std::uint32_t group) {
    other_detail::Looks made;
    made.editors = std::move(looks);
    made.seedOffset = seeds + group * 1000;
    return made;
  };
  if (tuning) {
    return {
        terminals({{"Terminus (TTF)", 10, false, "lxterminal"},
                   {"Go Mono", 9, true, "lxterminal"},
                   {"Go Mono", 11, false, "lxterminal"}},
                  0),
        terminals({{"Terminus (TTF)", 9, false, "qterminal"},
                   {"Go Mono", 10, true, "qterminal"},
                   {"Terminus (TTF)", 12, true, "qterminal"}},
                  1),
        terminals({{"Terminus (TTF)", 9, true, "mlterm"},
                   {"Go Mono", 10, false, "mlterm"},
                   {"Go Mono", 12, true, "mlterm"}},
                  2),
        editors({{"Go", 9, "mousepad"}, {"Cantarell", 12, "mousepad"}, {"Go Mono", 11, "mousepad"}},
                3),
        editors({{"Cantarell", 9, "pluma"}, {"Go", 11, "pluma"}, {"Go Mono", 10, "pluma"}}, 4)};
  }
  return {
      terminals({{"Terminus (TTF)", 9, true, "lxterminal"},
                 {"Go Mono", 10, false, "lxterminal"},
                 {"Terminus (TTF)", 12, false, "lxterminal"}},
                0),
      terminals({{"Go Mono", 9, false, "qterminal"},
                 {"Terminus (TTF)", 10, true, "qterminal"},
                 {"Go Mono", 11, true, "qterminal"}},
                1),
      terminals({{"Go Mono", 8, true, "mlterm"},
                 {"Terminus (TTF)", 11, false, "mlterm"},
                 {"Go Mono", 12, false, "mlterm"}},
                2),
      editors({{"Cantarell", 9, "mousepad"}, {"Go", 11, "mousepad"}, {"Go Mono", 10, "mousepad"}},
              3),
      editors({{"Go", 9, "pluma"}, {"Cantarell", 11, "pluma"}, {"Terminus (TTF)", 12, "pluma"}},
              4)};
}

}  // namespace further_detail

// Renders the corpus of `split`, each program's screens on a server of its own, all at once;
// `moreSeeds` gives the split's looks with other content.
inline RealApplicationCorpus renderFurtherApplicationCorpus(CorpusSplit split,
                                                            std::uint32_t moreSeeds = 0) {
  XInitThreads();
  const IgnoringXErrors ignoring;
  const auto start = std::chrono::steady_clock::now();
  TemporaryFolder folder("corvane-further-screens");
  auto groupLooks = further_detail::looksOf(split);
  std::vector<std::function<void(RealApplicationCorpus&)>> groups;
  for (auto& looks : groupLooks) {
    looks.seedOffset += moreSeeds;
    groups.push_back([&folder, &looks](RealApplicationCorpus& part) {
      if (!looks.vte.empty()) other_detail::vteScreens(folder.path(), looks, part);
      if (!looks.editors.empty()) other_detail::editorScreens(folder.path(), looks, part);
    });
  }
  return corpus_detail::renderedInGroups(groups, start);
}

}  // namespace corvane::testing::real_application
