#pragma once

// What the program asks of the help viewer, in one place for both sides: the command number
// that shows the topic for a keyword, and the keyword of the topic that explains the whole
// program.
namespace help {

inline constexpr int kKeywordCommand = 0x101; // 257 on the viewer's command line
inline constexpr char kContentsKeyword[] = "CONTENTS";

} // namespace help
