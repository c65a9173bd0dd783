#include "review/PickLayout.h"

namespace corvane {

std::string WrapTextToWidth(const std::string& text, const TTextWidthFunc& textWidth,
                            int32_t maxWidth) {
    std::string rest = text;
    std::string result;
    do {
        std::string line;
        for (;;) {
            if (!rest.empty()) {
                line.push_back(rest.front());
                rest.erase(0, 1);
            }
            if (rest.empty() || textWidth(line) > maxWidth) break;
        }
        if (textWidth(line) > maxWidth && line.find(' ') != std::string::npos) {
            for (;;) {
                const char last = line.back();
                line.pop_back();
                if (last == ' ') break;
                rest.insert(rest.begin(), last);
            }
        }
        if (!result.empty()) result += "\r\n";
        result += line;
    } while (!rest.empty());
    return result;
}

int32_t PickFormWidth(int buttonCount) {
    return buttonCount < 2 ? 240 : buttonCount * 100 + 40;
}

bool PickPromptNeedsWrap(int32_t promptWidth, int32_t formWidth) {
    return promptWidth + 40 > formWidth;
}

TPickLayout ComputePickLayout(int buttonCount, int32_t promptWidth, int32_t labelTop,
                              int32_t labelHeight, int32_t buttonWidth, int32_t buttonHeight) {
    TPickLayout layout;
    layout.FormWidth = PickFormWidth(buttonCount);
    layout.PromptWrapped = PickPromptNeedsWrap(promptWidth, layout.FormWidth);
    layout.WrapWidth = layout.FormWidth - 40;
    layout.LabelLeft = 20;
    layout.FormHeight = labelTop + labelHeight + buttonHeight + 52;
    const int32_t top = labelTop + labelHeight + 16;
    for (int k = 1; k <= buttonCount; ++k) {
        const int32_t left =
            buttonCount == 1 ? (layout.FormWidth - buttonWidth) / 2 : (k - 1) * 100 + 20;
        layout.Buttons.push_back({left, top});
    }
    return layout;
}

int PickIndexOfCaption(const std::vector<std::string>& captions, const std::string& clicked) {
    int chosen = 0;
    for (size_t k = 0; k < captions.size(); ++k)
        if (captions[k] == clicked) chosen = static_cast<int>(k) + 1;
    return chosen;
}

void CheckPickCaptions(const std::vector<std::string>& captions) {
    if (captions.size() > kPickMaxButtons)
        throw EPickStrToInt("PickStrToInt: more than 9 buttons.");
}

int32_t CentredOffset(int32_t areaExtent, int32_t formExtent) {
    return (areaExtent - formExtent) / 2;
}

}  // namespace corvane
