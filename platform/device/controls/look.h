// The look the device's own windows share: colours, the caption strip and the push-button
// face.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/geometry.h"
#include "gfx/canvas.h"
#include "wm/window_manager.h"

namespace kdev {

// The device's colours, 0x00BBGGRR.
namespace colors {
constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kFace = 0xC8D0D4;  // bars, buttons, dialog faces
constexpr std::uint32_t kShadow = 0x808080;
constexpr std::uint32_t kCaption = 0x8A4A0A;  // a deep blue
constexpr std::uint32_t kHighlight = 0x6A2408;
}  // namespace colors

// Caption strip of a top-level window with a caption, inside its one-pixel frame (which the
// window draws): title at the left and, when asked for, the OK button at the right.
void drawCaption(Canvas& canvas, const Window& w, bool okButton, bool okPressed);
Rect captionOkRect(const Window& w);

// A push button face with centred text; `isDefault` gives it the heavier frame, `focused` the
// focus mark: a dotted rectangle three pixels inside its edge, on every other pixel from the
// top-left corner.
void drawPushButton(Canvas& canvas, const Rect& r, std::u16string_view text, bool pressed,
                    bool isDefault, bool focused, int fontPixels);
Rect focusMarkRect(const Rect& button);

}  // namespace kdev
