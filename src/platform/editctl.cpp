// The edit control: a text with a limit, a selection that can be replaced, lines ended by
// CR LF (the headless control does not wrap long lines), a read-only mode and the redraw
// switch. It paints the lines that fit, scrolled so that the caret's line shows, with
// plain scroll bars when its style asks for them.
#include "platform/draw.h"
#include "platform/memory.h"
#include "platform/winint.h"

#include <cstring>

namespace zo::plat::win {

namespace {

struct EditState {
    ControlState base;
    unsigned char *text; // NUL-terminated, capacity bytes
    uint32_t length;
    uint32_t capacity;
    uint32_t limit;
    uint32_t selectionStart;
    uint32_t selectionEnd; // the caret
    uint32_t firstVisibleLine;
    bool readOnly;
};

constexpr int32_t kScrollBarSize = 16;
constexpr int32_t kTextMargin = 2;

void releaseEdit(ControlState *state) {
    auto *edit = reinterpret_cast<EditState *>(state);
    heapFree(edit->text);
    heapFree(edit);
}

EditState *editOf(Window *w) { return reinterpret_cast<EditState *>(w->control); }

// Makes room for `length` bytes and a terminator; false (nothing changed) when memory runs out.
bool reserve(EditState *e, uint32_t length) {
    if (length < e->capacity)
        return true;
    if (length >= 0x7FFFFFFF)
        return false;
    uint32_t grown = e->capacity * 2 > length + 1 ? e->capacity * 2 : length + 1;
    void *block = e->text;
    if (!heapResize(&block, grown) && (grown = length + 1, !heapResize(&block, grown)))
        return false;
    e->text = static_cast<unsigned char *>(block);
    e->capacity = grown;
    return true;
}

// Replaces [start, end) by n bytes of insert. False when memory runs out.
bool replaceRange(EditState *e, uint32_t start, uint32_t end, const unsigned char *insert, uint32_t n) {
    uint32_t newLength = e->length - (end - start) + n;
    if (!reserve(e, newLength))
        return false;
    std::memmove(e->text + start + n, e->text + end, e->length - end + 1);
    std::memcpy(e->text + start, insert, n);
    e->length = newLength;
    return true;
}

uint32_t lineCount(const EditState *e) {
    uint32_t lines = 1;
    for (uint32_t i = 0; i + 1 < e->length; ++i)
        if (e->text[i] == '\r' && e->text[i + 1] == '\n')
            ++lines;
    return lines;
}

// Index at which line `line` starts, or -1 when the text has fewer lines.
intptr_t lineStart(const EditState *e, uint32_t line) {
    uint32_t i = 0;
    for (uint32_t current = 0; current < line; ++current) {
        while (i + 1 < e->length && !(e->text[i] == '\r' && e->text[i + 1] == '\n'))
            ++i;
        if (i + 1 >= e->length)
            return -1;
        i += 2;
    }
    return i;
}

uint32_t lineOf(const EditState *e, uint32_t index) {
    uint32_t line = 0;
    for (uint32_t i = 0; i + 1 < e->length && i + 1 <= index; ++i)
        if (e->text[i] == '\r' && e->text[i + 1] == '\n')
            ++line;
    return line;
}

// Length of the line that starts at index (up to its CR LF or the end).
uint32_t lineLength(const EditState *e, uint32_t start) {
    uint32_t i = start;
    while (i < e->length && !(e->text[i] == '\r' && i + 1 < e->length && e->text[i + 1] == '\n'))
        ++i;
    return i - start;
}

// The rectangle the lines are drawn in: the client area less the scroll bars.
ZoRect textArea(const Window *w) {
    int32_t cw, ch;
    clientSize(w, &cw, &ch);
    ZoRect area{0, 0, cw, ch};
    if (w->style & kStyleVScroll)
        area.right -= kScrollBarSize;
    if (w->style & kStyleHScroll)
        area.bottom -= kScrollBarSize;
    return area;
}

int32_t lineHeight(Window *w) {
    void *dc = getDC(w->handle);
    int32_t width = 0, height = 0;
    static const unsigned char sample[] = "A";
    textExtent(dc, sample, 1, &width, &height);
    releaseDC(w->handle, dc);
    return height > 0 ? height : 1;
}

void scrollCaretIntoView(Window *w) {
    EditState *e = editOf(w);
    ZoRect area = textArea(w);
    int32_t visible = (area.bottom - area.top) / lineHeight(w);
    if (visible < 1)
        visible = 1;
    uint32_t caretLine = lineOf(e, e->selectionEnd);
    if (caretLine < e->firstVisibleLine)
        e->firstVisibleLine = caretLine;
    else if (caretLine >= e->firstVisibleLine + static_cast<uint32_t>(visible))
        e->firstVisibleLine = caretLine - static_cast<uint32_t>(visible) + 1;
}

void drawScrollBar(void *dc, const ZoRect &track, bool vertical, uint32_t first, uint32_t shown, uint32_t total) {
    fillRect(dc, track, systemColour(ColourScrollBar));
    int32_t span = vertical ? track.bottom - track.top : track.right - track.left;
    if (total < shown)
        total = shown;
    int32_t size = total == 0 ? span : static_cast<int32_t>(int64_t{span} * shown / total);
    int32_t offset = total == 0 ? 0 : static_cast<int32_t>(int64_t{span} * first / total);
    if (size < 8)
        size = 8;
    if (offset + size > span)
        offset = span - size;
    ZoRect thumb = vertical ? ZoRect{track.left, track.top + offset, track.right, track.top + offset + size}
                            : ZoRect{track.left + offset, track.top, track.left + offset + size, track.bottom};
    fillRect(dc, thumb, systemColour(ColourButtonShadow));
    fillRect(dc, ZoRect{thumb.left, thumb.top, thumb.right - 1, thumb.bottom - 1}, systemColour(ColourButtonFace));
}

void paint(Window *w) {
    HWND handle = w->handle;
    void *dc = beginPaint(handle);
    if (dc == nullptr)
        return;
    EditState *e = editOf(w);
    int32_t cw, ch;
    clientSize(w, &cw, &ch);
    ZoRect area = textArea(w);
    fillRect(dc, area, systemColour(ColourWindow));
    setTextColour(dc, systemColour(ColourWindowText));
    setTransparentBackground(dc, true);
    int32_t height = lineHeight(w);
    intptr_t start = lineStart(e, e->firstVisibleLine);
    uint32_t shown = 0;
    for (int32_t y = area.top; start >= 0 && y < area.bottom; y += height, ++shown) {
        uint32_t n = lineLength(e, static_cast<uint32_t>(start));
        textOutClipped(dc, kTextMargin, y, area, e->text + start, n);
        uint32_t next = static_cast<uint32_t>(start) + n;
        start = next + 1 < e->length ? static_cast<intptr_t>(next + 2) : -1;
    }
    if (w->style & kStyleVScroll)
        drawScrollBar(dc, ZoRect{area.right, 0, cw, area.bottom}, true, e->firstVisibleLine, shown, lineCount(e));
    if (w->style & kStyleHScroll)
        drawScrollBar(dc, ZoRect{0, area.bottom, area.right, ch}, false, 0, 1, 1);
    if ((w->style & kStyleVScroll) && (w->style & kStyleHScroll))
        fillRect(dc, ZoRect{area.right, area.bottom, cw, ch}, systemColour(ColourButtonFace));
    endPaint(handle, dc);
}

intptr_t create(Window *w) {
    auto *e = static_cast<EditState *>(heapAlloc(sizeof(EditState), true));
    if (e == nullptr)
        return -1;
    e->base.release = releaseEdit;
    e->limit = kEditDefaultLimit;
    e->readOnly = (w->style & kEditReadOnly) != 0;
    w->control = &e->base;
    const uint32_t length = static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(w->title)));
    if (!reserve(e, length > 15 ? length : 15))
        return -1;
    std::memcpy(e->text, w->title, length + 1);
    e->length = length;
    return 0;
}

intptr_t setText(Window *w, const unsigned char *text) {
    EditState *e = editOf(w);
    if (text == nullptr)
        text = reinterpret_cast<const unsigned char *>("");
    size_t n = std::strlen(reinterpret_cast<const char *>(text));
    if (n >= 0x7FFFFFFF || !replaceRange(e, 0, e->length, text, static_cast<uint32_t>(n)))
        return 0;
    e->selectionStart = e->selectionEnd = 0;
    e->firstVisibleLine = 0;
    markForPaint(w, true);
    return 1;
}

intptr_t getText(EditState *e, uintptr_t size, unsigned char *out) {
    if (size == 0 || out == nullptr)
        return 0;
    uint32_t n = e->length < size - 1 ? e->length : static_cast<uint32_t>(size - 1);
    std::memcpy(out, e->text, n);
    out[n] = '\0';
    return n;
}

void setSelection(EditState *e, intptr_t start, intptr_t end) {
    auto clamp = [e](intptr_t i) {
        return i < 0 || i > static_cast<intptr_t>(e->length) ? e->length : static_cast<uint32_t>(i);
    };
    if (start == -1) {
        e->selectionStart = e->selectionEnd;
        return;
    }
    uint32_t a = clamp(start), b = clamp(end);
    e->selectionStart = a < b ? a : b;
    e->selectionEnd = a < b ? b : a;
}

intptr_t getSelection(const EditState *e, uintptr_t startOut, intptr_t endOut) {
    if (startOut != 0)
        *reinterpret_cast<uint32_t *>(startOut) = e->selectionStart;
    if (endOut != 0)
        *reinterpret_cast<uint32_t *>(endOut) = e->selectionEnd;
    uint32_t start = e->selectionStart > 0xFFFF ? 0xFFFF : e->selectionStart;
    uint32_t end = e->selectionEnd > 0xFFFF ? 0xFFFF : e->selectionEnd;
    return static_cast<intptr_t>((end << 16) | start);
}

// Replaces the selection by text, cut to what the limit leaves room for; the caret ends up
// after the inserted text.
void replaceSelection(Window *w, const unsigned char *text) {
    EditState *e = editOf(w);
    size_t n = text != nullptr ? std::strlen(reinterpret_cast<const char *>(text)) : 0;
    uint32_t kept = e->length - (e->selectionEnd - e->selectionStart);
    uint32_t room = e->limit > kept ? e->limit - kept : 0;
    uint32_t taken = n < room ? static_cast<uint32_t>(n) : room;
    if (!replaceRange(e, e->selectionStart, e->selectionEnd, text, taken))
        return;
    e->selectionStart = e->selectionEnd = e->selectionStart + taken;
    scrollCaretIntoView(w);
    markForPaint(w, true);
}

intptr_t lineIndex(const EditState *e, intptr_t line) {
    if (line < 0)
        line = lineOf(e, e->selectionEnd);
    return line > 0x7FFFFFFF ? -1 : lineStart(e, static_cast<uint32_t>(line));
}

} // namespace

intptr_t editProc(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    if (w == nullptr)
        return 0;
    if (message == kMsgCreate)
        return create(w);
    EditState *e = editOf(w);
    if (e == nullptr)
        return defaultWindowProc(window, message, wParam, lParam);
    switch (message) {
    case kMsgSetText: return setText(w, reinterpret_cast<const unsigned char *>(lParam));
    case kMsgGetText: return getText(e, wParam, reinterpret_cast<unsigned char *>(lParam));
    case kMsgGetTextLength: return e->length;
    case kMsgPaint: paint(w); return 0;
    case kMsgSize: scrollCaretIntoView(w); return 0;
    case kEditLimitText:
        e->limit = wParam == 0 || wParam > kEditMaxLimit ? kEditMaxLimit : static_cast<uint32_t>(wParam);
        return 0;
    case kEditGetLimitText: return e->limit;
    case kEditSetSel: setSelection(e, static_cast<intptr_t>(wParam), lParam); return 0;
    case kEditGetSel: return getSelection(e, wParam, lParam);
    case kEditReplaceSel: replaceSelection(w, reinterpret_cast<const unsigned char *>(lParam)); return 0;
    case kEditGetLineCount: return lineCount(e);
    case kEditLineIndex: return lineIndex(e, static_cast<intptr_t>(wParam));
    case kEditLineFromChar:
        return lineOf(e, static_cast<intptr_t>(wParam) < 0 ? e->selectionEnd : static_cast<uint32_t>(wParam));
    case kEditGetFirstVisibleLine: return e->firstVisibleLine;
    case kEditSetReadOnly:
        e->readOnly = wParam != 0;
        w->style = e->readOnly ? (w->style | kEditReadOnly) : (w->style & ~kEditReadOnly);
        return 1;
    default: return defaultWindowProc(window, message, wParam, lParam);
    }
}

} // namespace zo::plat::win
