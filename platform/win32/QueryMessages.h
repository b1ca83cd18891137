// Names of the registered messages with which a test driver (or an accessibility
// tool) asks the program's windows what they show: fonts and drawn text cannot be
// read from outside a process.
#pragma once

namespace platform {

// Main window, wParam = control id: MAKELONG(character height in pixels, weight).
constexpr wchar_t kFontMetricsMessage[] = L"QVNOptimizeDB.FontMetrics";
// Main window, wParam = control id: a global atom of the face name, which the asker deletes.
constexpr wchar_t kFontFaceMessage[] = L"QVNOptimizeDB.FontFace";
// Progress window, wParam = line from the top, lParam = character index: that character
// of the text block on show, 0 past the line's end or the last line.
constexpr wchar_t kProgressDrawnTextMessage[] = L"QVNOptimizeDB.ProgressDrawnText";
// Progress window: how many text blocks it has drawn so far. The same count before and
// after reading lines says they were all read from one text block.
constexpr wchar_t kProgressDrawnCountMessage[] = L"QVNOptimizeDB.ProgressDrawnCount";

}  // namespace platform
