// The chooser dialog's prompt wrapping and layout numbers, independent of the
// window system: text widths come from a measuring function that the window
// layer supplies from its font.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "util/Exception.h"

namespace corvane {

// Width in pixels of a text drawn in some font.
using TTextWidthFunc = std::function<int32_t(const std::string&)>;

// Breaks Text into lines joined by "\r\n" so that each line is at most
// MaxWidth wide where possible: a line breaks at its last fitting space (the
// space is dropped); a word too wide on its own is cut after the first
// character that makes it too wide, which stays on the line. An empty text
// gives an empty result.
std::string WrapTextToWidth(const std::string& text, const TTextWidthFunc& textWidth,
                            int32_t maxWidth);

// More than nine captions: "PickStrToInt: more than 9 buttons.".
class EPickStrToInt : public Exception {
  public:
    using Exception::Exception;
};

constexpr int kPickMaxButtons = 9;

struct TPickButtonPlace {
    int32_t Left = 0;
    int32_t Top = 0;
};

// Where everything of the chooser goes, for given label and button metrics.
struct TPickLayout {
    int32_t FormWidth = 0;
    int32_t FormHeight = 0;
    int32_t LabelLeft = 20;
    bool PromptWrapped = false;
    int32_t WrapWidth = 0;                  // maximum line width when wrapped
    std::vector<TPickButtonPlace> Buttons;  // one per shown button
};

// Form width: 240 for fewer than 2 buttons, else count * 100 + 40. The prompt
// is wrapped when its width plus 40 exceeds the form width.
int32_t PickFormWidth(int buttonCount);
bool PickPromptNeedsWrap(int32_t promptWidth, int32_t formWidth);

// Height, button places and form width once the label's final height is
// known (after any wrapping).
TPickLayout ComputePickLayout(int buttonCount, int32_t promptWidth, int32_t labelTop,
                              int32_t labelHeight, int32_t buttonWidth, int32_t buttonHeight);

// The chosen number: the last caption equal to the clicked one, 0 if none.
int PickIndexOfCaption(const std::vector<std::string>& captions, const std::string& clicked);

// Throws EPickStrToInt for more than nine captions.
void CheckPickCaptions(const std::vector<std::string>& captions);

// Centred position on a work area (truncating division).
int32_t CentredOffset(int32_t areaExtent, int32_t formExtent);

}  // namespace corvane
