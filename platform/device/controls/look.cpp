#include "controls/look.h"

#include "gfx/text.h"

namespace kdev {

Rect captionOkRect(const Window& w) {
    const int size = kCaptionHeight - 4;
    return {w.rect.right - 2 - size - 6, w.rect.top + 2, w.rect.right - 2, w.rect.top + 2 + size};
}

void drawCaption(Canvas& canvas, const Window& w, bool okButton, bool okPressed) {
    // Inside the window's one-pixel frame, as wide as the client area below it.
    const Rect bar{w.rect.left + 1, w.rect.top + 1, w.rect.right - 1, w.rect.top + kCaptionHeight};
    canvas.fillRect(bar, colors::kCaption);
    const Font& font = Font::ui();
    const int textTop = w.rect.top + (kCaptionHeight - font.lineHeight()) / 2;
    Region r = canvas.clip();
    r.intersect({w.rect.left + 4, bar.top, okButton ? captionOkRect(w).left - 2 : w.rect.right - 2,
                 bar.bottom});
    Canvas clipped(canvas.screen(), r);
    font.draw(clipped, w.rect.left + 5, textTop, w.title, colors::kWhite);
    if (okButton) {
        const Rect ok = captionOkRect(w);
        canvas.fillRect(ok, okPressed ? colors::kWhite : colors::kFace);
        canvas.frameRect(ok, colors::kBlack);
        const std::u16string_view label = u"OK";
        const int tw = font.measure(label);
        Region lr = canvas.clip();
        lr.intersect(ok.inflate(-1));
        Canvas labelCanvas(canvas.screen(), lr);
        font.draw(labelCanvas, ok.left + (ok.width() - tw) / 2,
                  ok.top + (ok.height() - font.lineHeight()) / 2, label, colors::kBlack);
    }
}

Rect focusMarkRect(const Rect& button) { return button.inflate(-3); }

void drawPushButton(Canvas& canvas, const Rect& r, std::u16string_view text, bool pressed,
                    bool isDefault, bool focused, int fontPixels) {
    canvas.fillRect(r, pressed ? colors::kShadow : colors::kFace);
    canvas.frameRect(r, colors::kBlack, isDefault ? 2 : 1);
    const Font& font = Font::atPixels(fontPixels);
    Region clip = canvas.clip();
    clip.intersect(r.inflate(-2));
    Canvas inner(canvas.screen(), clip);
    const int tw = font.measure(text);
    font.draw(inner, r.left + (r.width() - tw) / 2, r.top + (r.height() - font.lineHeight()) / 2,
              text, pressed ? colors::kWhite : colors::kBlack);
    const Rect mark = focusMarkRect(r);
    if (!focused || mark.empty()) return;
    const std::uint32_t ink = pressed ? colors::kWhite : colors::kBlack;
    for (int y = mark.top; y < mark.bottom; ++y)
        for (int x = mark.left; x < mark.right; ++x) {
            const bool edge =
                y == mark.top || y == mark.bottom - 1 || x == mark.left || x == mark.right - 1;
            if (edge && (x - mark.left + y - mark.top) % 2 == 0)
                canvas.fillRect({x, y, x + 1, y + 1}, ink);
        }
}

}  // namespace kdev
