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

void drawPushButton(Canvas& canvas, const Rect& r, std::u16string_view text, bool pressed,
                    bool isDefault, int fontPixels) {
    canvas.fillRect(r, pressed ? colors::kShadow : colors::kFace);
    canvas.frameRect(r, colors::kBlack, isDefault ? 2 : 1);
    const Font& font = Font::atPixels(fontPixels);
    Region clip = canvas.clip();
    clip.intersect(r.inflate(-2));
    Canvas inner(canvas.screen(), clip);
    const int tw = font.measure(text);
    font.draw(inner, r.left + (r.width() - tw) / 2, r.top + (r.height() - font.lineHeight()) / 2,
              text, pressed ? colors::kWhite : colors::kBlack);
}

}  // namespace kdev
