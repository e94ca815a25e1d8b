// Device contexts, fonts, icons, regions and snapshots of the headless window layer, drawn
// with cairo into each window's surface; text through pango with one font map shared by
// the process. Everything here runs under the layer's lock, which also keeps pango (not
// safe for concurrent use) to one thread at a time.
#include "platform/draw.h"

#include "platform/codepage.h"
#include "platform/memory.h"
#include "platform/module.h"
#include "platform/unicode.h"
#include "platform/winint.h"

#include <dlfcn.h>
#include <pango/pangocairo.h>

#include <cstdio>
#include <cstring>

namespace zo::plat {

namespace {

using win::Guard;
using win::layerLock;
using win::lookup;
using win::Window;

struct Font {
    PangoFontDescription *description;
};

struct Dc {
    HWND window;
    cairo_t *cr;
    Font *font;
    uint32_t textColour;
    uint32_t backgroundColour;
    bool transparent;
    bool clipped;
    ZoRect clip;
};

struct Icon {
    cairo_surface_t *surface;
    int32_t width, height;
};

struct Region {
    ZoRect rect;
};

PangoFontMap *g_fontMap = nullptr;
PangoContext *g_context = nullptr;
PangoLayout *g_layout = nullptr;
Font *g_defaultFont = nullptr;
Font *g_captionFont = nullptr;
// The layer's own application icon, shared by all who load it (like a stock icon, it is
// never destroyed by them) and freed with the layer.
Icon *g_applicationIcon = nullptr;
int g_cursorToken = 0;

constexpr const char *kFontFamily = "DejaVu Sans";
constexpr int32_t kDefaultFontPixels = 11;

Font *makeFont(const char *family, int32_t pixelSize, bool bold) {
    auto *font = static_cast<Font *>(heapAlloc(sizeof(Font), true));
    if (font == nullptr)
        return nullptr;
    font->description = pango_font_description_new();
    pango_font_description_set_family(font->description, family);
    pango_font_description_set_absolute_size(font->description, static_cast<double>(pixelSize) * PANGO_SCALE);
    pango_font_description_set_weight(font->description, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    return font;
}

void freeFont(Font *font) {
    if (font == nullptr)
        return;
    pango_font_description_free(font->description);
    heapFree(font);
}

Font *sharedDefaultFont() {
    if (g_defaultFont == nullptr)
        g_defaultFont = makeFont(kFontFamily, kDefaultFontPixels, false);
    return g_defaultFont;
}

// The layout that draws and measures all text: made once, with fixed font options so that
// measuring and drawing agree on every surface.
PangoLayout *sharedLayout() {
    if (g_layout != nullptr)
        return g_layout;
    g_fontMap = pango_cairo_font_map_new();
    pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(g_fontMap), 96.0);
    g_context = pango_font_map_create_context(g_fontMap);
    cairo_font_options_t *options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(g_context, options);
    cairo_font_options_destroy(options);
    g_layout = pango_layout_new(g_context);
    return g_layout;
}

void appendUtf8(uint16_t unit, char *out, uint32_t *n) {
    if (unit < 0x80) {
        out[(*n)++] = unit == 0 ? ' ' : static_cast<char>(unit);
    } else if (unit < 0x800) {
        out[(*n)++] = static_cast<char>(0xC0 | (unit >> 6));
        out[(*n)++] = static_cast<char>(0x80 | (unit & 0x3F));
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
        out[(*n)++] = '?'; // a lone surrogate has no character
    } else {
        out[(*n)++] = static_cast<char>(0xE0 | (unit >> 12));
        out[(*n)++] = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        out[(*n)++] = static_cast<char>(0x80 | (unit & 0x3F));
    }
}

// Puts text (bytes of the ANSI code page) into the shared layout as UTF-8, in the font.
// False when memory runs out.
bool layOut(void *font, const unsigned char *text, uint32_t length) {
    PangoLayout *layout = sharedLayout();
    Font *f = font != nullptr ? static_cast<Font *>(font) : sharedDefaultFont();
    if (f == nullptr || length > 0x3FFFFFFF)
        return false;
    pango_layout_set_font_description(layout, f->description);
    uint16_t stackUnits[256];
    char stackBytes[3 * 256];
    uint16_t *units = stackUnits;
    char *bytes = stackBytes;
    if (length > 256) {
        units = static_cast<uint16_t *>(heapAlloc(length * 2, false));
        bytes = static_cast<char *>(heapAlloc(length * 3, false));
    }
    bool made = units != nullptr && bytes != nullptr;
    if (made) {
        ConvertStatus status;
        int32_t count = length == 0 ? 0
                                    : codePageToUcs2(ansiCodePage(), text, static_cast<int32_t>(length), units,
                                                     static_cast<int32_t>(length), &status);
        uint32_t n = 0;
        for (int32_t i = 0; i < count; ++i)
            appendUtf8(units[i], bytes, &n);
        pango_layout_set_text(layout, bytes, static_cast<int>(n));
    }
    if (units != stackUnits)
        heapFree(units);
    if (bytes != stackBytes)
        heapFree(bytes);
    return made;
}

Dc *dcOf(void *dc) { return static_cast<Dc *>(dc); }

// Runs a drawing step with the device context's clip region (and an extra clip) applied.
template <class Draw>
void clippedDraw(Dc *dc, const ZoRect *extra, Draw draw) {
    cairo_save(dc->cr);
    if (dc->clipped) {
        cairo_rectangle(dc->cr, dc->clip.left, dc->clip.top, dc->clip.right - dc->clip.left,
                        dc->clip.bottom - dc->clip.top);
        cairo_clip(dc->cr);
    }
    if (extra != nullptr) {
        cairo_rectangle(dc->cr, extra->left, extra->top, extra->right - extra->left, extra->bottom - extra->top);
        cairo_clip(dc->cr);
    }
    draw(dc->cr);
    cairo_restore(dc->cr);
}

void textOutWith(Dc *dc, int32_t x, int32_t y, const ZoRect *clip, const unsigned char *text, uint32_t length) {
    clippedDraw(dc, clip, [&](cairo_t *cr) {
        if (!dc->transparent) {
            int32_t width, height;
            win::measureText(cr, dc->font, text, length, &width, &height);
            win::setSourceColour(cr, dc->backgroundColour);
            cairo_rectangle(cr, x, y, width, height);
            cairo_fill(cr);
        }
        win::drawText(cr, dc->font, x, y, text, length, dc->textColour);
    });
}

// The layer's own application icon: a small window with a title bar.
cairo_surface_t *applicationIcon() {
    cairo_surface_t *surface = win::makeSurface(32, 32);
    if (surface == nullptr)
        return nullptr;
    cairo_t *cr = cairo_create(surface);
    win::setSourceColour(cr, rgb(64, 64, 64));
    cairo_rectangle(cr, 2, 4, 28, 24);
    cairo_fill(cr);
    win::setSourceColour(cr, rgb(255, 255, 255));
    cairo_rectangle(cr, 3, 10, 26, 17);
    cairo_fill(cr);
    win::setSourceColour(cr, systemColour(ColourActiveCaption));
    cairo_rectangle(cr, 3, 5, 26, 5);
    cairo_fill(cr);
    cairo_destroy(cr);
    return surface;
}

// A module's icon through its zoFindIcon function.
cairo_surface_t *moduleIcon(void *module, const unsigned char *name) {
    auto find = reinterpret_cast<FindIconFunction>(moduleSymbol(module, "zoFindIcon"));
    if (find == nullptr)
        return nullptr;
    char numbered[16];
    const char *key = reinterpret_cast<const char *>(name);
    if (reinterpret_cast<uintptr_t>(name) < 0x10000) {
        std::snprintf(numbered, sizeof numbered, "#%u", static_cast<unsigned>(reinterpret_cast<uintptr_t>(name)));
        key = numbered;
    }
    int width = 0, height = 0;
    const uint32_t *pixels = find(key, &width, &height);
    if (pixels == nullptr || width <= 0 || height <= 0 || width > 256 || height > 256)
        return nullptr;
    cairo_surface_t *surface = win::makeSurface(width, height);
    if (surface == nullptr)
        return nullptr;
    cairo_surface_flush(surface);
    unsigned char *data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int row = 0; row < height; ++row)
        std::memcpy(data + row * stride, pixels + row * width, static_cast<size_t>(width) * 4);
    cairo_surface_mark_dirty(surface);
    return surface;
}

Icon *makeIcon(cairo_surface_t *surface) {
    if (surface == nullptr)
        return nullptr;
    auto *icon = static_cast<Icon *>(heapAlloc(sizeof(Icon), false));
    if (icon == nullptr) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    icon->surface = surface;
    icon->width = cairo_image_surface_get_width(surface);
    icon->height = cairo_image_surface_get_height(surface);
    return icon;
}

void freeIcon(Icon *icon) {
    if (icon == nullptr)
        return;
    cairo_surface_destroy(icon->surface);
    heapFree(icon);
}

// The window's frame and title bar, for snapshots.
void drawFrame(cairo_t *cr, const Window *w, double x, double y) {
    int32_t frame = win::frameWidth(w->style);
    int32_t caption = win::captionHeight(w->style);
    if (frame == 0 && caption == 0)
        return;
    win::setSourceColour(cr, systemColour(ColourWindowFrame));
    cairo_rectangle(cr, x, y, w->width, w->height);
    cairo_fill(cr);
    if (caption == 0)
        return;
    win::setSourceColour(cr, systemColour(ColourActiveCaption));
    cairo_rectangle(cr, x + frame, y + frame, w->width - 2 * frame, caption);
    cairo_fill(cr);
    if (g_captionFont == nullptr)
        g_captionFont = makeFont(kFontFamily, 12, true);
    cairo_save(cr);
    cairo_rectangle(cr, x + frame, y + frame, w->width - 2 * frame, caption);
    cairo_clip(cr);
    win::drawText(cr, g_captionFont, x + frame + 4, y + frame + 3, w->title,
                  static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(w->title))),
                  systemColour(ColourCaptionText));
    cairo_restore(cr);
}

// Draws the window (frame, client area, then its visible children from the bottom up)
// with its top-left corner at x, y.
void compose(cairo_t *cr, const Window *w, double x, double y) {
    drawFrame(cr, w, x, y);
    int32_t cw, ch;
    win::clientSize(w, &cw, &ch);
    double cx = x + win::frameWidth(w->style);
    double cy = y + win::frameWidth(w->style) + win::captionHeight(w->style);
    cairo_save(cr);
    cairo_rectangle(cr, cx, cy, cw, ch);
    cairo_clip(cr);
    cairo_set_source_surface(cr, w->surface, cx, cy);
    cairo_paint(cr);
    // Children are listed topmost first: draw the list backwards.
    const Window *children[256];
    int count = 0;
    for (const Window *c = w->firstChild; c != nullptr && count < 256; c = c->nextSibling)
        children[count++] = c;
    while (count-- > 0)
        if (children[count]->style & kStyleVisible)
            compose(cr, children[count], cx + children[count]->x, cy + children[count]->y);
    cairo_restore(cr);
}

// The drawing libraries stay loaded for the life of the process once this library has
// brought them in. pixman (under cairo) allocates its implementations when it is loaded and
// keeps them in its globals, so unloading it with this library would leak them at every
// load; glib and gobject are built to stay for the same reason. Pinning the module that
// holds a symbol keeps it, and what it depends on, resident.
void keepLoaded(const void *symbol) {
    Dl_info info;
    if (dladdr(symbol, &info) != 0 && info.dli_fname != nullptr)
        (void)dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE); // a handle that is never given back
}

__attribute__((constructor)) void keepDrawingLibrariesLoaded() {
    keepLoaded(reinterpret_cast<const void *>(&pango_cairo_font_map_new));
    keepLoaded(reinterpret_cast<const void *>(&cairo_create));
}

} // namespace

struct Snapshot {
    cairo_surface_t *surface;
};

namespace win {

cairo_surface_t *makeSurface(int32_t width, int32_t height) {
    cairo_surface_t *surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width > 0 ? width : 1, height > 0 ? height : 1);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return surface;
}

void setSourceColour(cairo_t *cr, uint32_t colour) {
    cairo_set_source_rgb(cr, (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0, ((colour >> 16) & 0xFF) / 255.0);
}

void drawText(cairo_t *cr, void *font, double x, double y, const unsigned char *text, uint32_t length,
              uint32_t colour) {
    if (!layOut(font, text, length))
        return;
    setSourceColour(cr, colour);
    cairo_move_to(cr, x, y);
    pango_cairo_update_layout(cr, g_layout);
    pango_cairo_show_layout(cr, g_layout);
}

void measureText(cairo_t *cr, void *font, const unsigned char *text, uint32_t length, int32_t *width, int32_t *height) {
    *width = 0;
    *height = 0;
    if (!layOut(font, text, length))
        return;
    pango_cairo_update_layout(cr, g_layout);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(g_layout, nullptr, &logical);
    *width = logical.width;
    *height = logical.height;
}

void releaseDrawing() {
    Guard guard(layerLock());
    freeFont(g_defaultFont);
    freeFont(g_captionFont);
    g_defaultFont = g_captionFont = nullptr;
    freeIcon(g_applicationIcon);
    g_applicationIcon = nullptr;
    if (g_layout != nullptr) {
        g_object_unref(g_layout);
        g_object_unref(g_context);
        g_object_unref(g_fontMap);
    }
    g_layout = nullptr;
    g_context = nullptr;
    g_fontMap = nullptr;
}

} // namespace win

uint32_t systemColour(int index) {
    switch (index) {
    case ColourScrollBar: return rgb(200, 200, 200);
    case ColourActiveCaption:
    case ColourHighlight: return rgb(0, 0, 128);
    case ColourWindow:
    case ColourCaptionText:
    case ColourHighlightText:
    case ColourButtonHighlight: return rgb(255, 255, 255);
    case ColourButtonFace: return rgb(192, 192, 192);
    case ColourButtonShadow: return rgb(128, 128, 128);
    default: return rgb(0, 0, 0);
    }
}

void *getDC(HWND window) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    if (w == nullptr)
        return nullptr;
    auto *dc = static_cast<Dc *>(heapAlloc(sizeof(Dc), true));
    if (dc == nullptr)
        return nullptr;
    dc->cr = cairo_create(w->surface);
    if (cairo_status(dc->cr) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(dc->cr);
        heapFree(dc);
        return nullptr;
    }
    dc->window = window;
    dc->font = static_cast<Font *>(windowFont(window));
    dc->textColour = rgb(0, 0, 0);
    dc->backgroundColour = rgb(255, 255, 255);
    return dc;
}

void releaseDC(HWND, void *dc) {
    if (dc == nullptr)
        return;
    Guard guard(layerLock());
    cairo_destroy(dcOf(dc)->cr);
    heapFree(dc);
}

void *beginPaint(HWND window) {
    bool erase;
    void *dc;
    {
        Guard guard(layerLock());
        Window *w = lookup(window);
        if (w == nullptr)
            return nullptr;
        erase = w->needsErase;
        w->needsErase = false;
        w->needsPaint = false;
        dc = getDC(window);
    }
    if (erase && dc != nullptr)
        sendMessage(window, kMsgEraseBackground, reinterpret_cast<uintptr_t>(dc), 0);
    return dc;
}

void endPaint(HWND window, void *dc) { releaseDC(window, dc); }

void fillRect(void *dc, const ZoRect &rect, uint32_t colour) {
    if (dc == nullptr)
        return;
    Guard guard(layerLock());
    clippedDraw(dcOf(dc), nullptr, [&](cairo_t *cr) {
        win::setSourceColour(cr, colour);
        cairo_rectangle(cr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
        cairo_fill(cr);
    });
}

uint32_t setTextColour(void *dc, uint32_t colour) {
    Guard guard(layerLock());
    uint32_t previous = dcOf(dc)->textColour;
    dcOf(dc)->textColour = colour;
    return previous;
}

uint32_t setBackgroundColour(void *dc, uint32_t colour) {
    Guard guard(layerLock());
    uint32_t previous = dcOf(dc)->backgroundColour;
    dcOf(dc)->backgroundColour = colour;
    return previous;
}

bool setTransparentBackground(void *dc, bool transparent) {
    Guard guard(layerLock());
    bool previous = dcOf(dc)->transparent;
    dcOf(dc)->transparent = transparent;
    return previous;
}

void textOut(void *dc, int32_t x, int32_t y, const unsigned char *text, uint32_t length) {
    if (dc == nullptr)
        return;
    Guard guard(layerLock());
    textOutWith(dcOf(dc), x, y, nullptr, text, length);
}

void textOutClipped(void *dc, int32_t x, int32_t y, const ZoRect &clip, const unsigned char *text, uint32_t length) {
    if (dc == nullptr)
        return;
    Guard guard(layerLock());
    textOutWith(dcOf(dc), x, y, &clip, text, length);
}

bool textExtent(void *dc, const unsigned char *text, uint32_t length, int32_t *width, int32_t *height) {
    if (dc == nullptr)
        return false;
    Guard guard(layerLock());
    win::measureText(dcOf(dc)->cr, dcOf(dc)->font, text, length, width, height);
    return *height > 0;
}

void drawFocusRect(void *dc, const ZoRect &rect) {
    if (dc == nullptr || rect.right - rect.left < 2 || rect.bottom - rect.top < 2)
        return;
    Guard guard(layerLock());
    clippedDraw(dcOf(dc), nullptr, [&](cairo_t *cr) {
        const double dash = 1.0;
        cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_set_line_width(cr, 1);
        cairo_set_dash(cr, &dash, 1, 0);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo_rectangle(cr, rect.left + 0.5, rect.top + 0.5, rect.right - rect.left - 1, rect.bottom - rect.top - 1);
        cairo_stroke(cr);
    });
}

void *createFont(const char *family, int32_t pixelSize, bool bold) {
    if (family == nullptr || pixelSize <= 0)
        return nullptr;
    Guard guard(layerLock());
    return makeFont(family, pixelSize, bold);
}

void deleteFont(void *font) {
    Guard guard(layerLock());
    if (font != g_defaultFont)
        freeFont(static_cast<Font *>(font));
}

void *defaultFont() {
    Guard guard(layerLock());
    return sharedDefaultFont();
}

void *selectFont(void *dc, void *font) {
    Guard guard(layerLock());
    Font *previous = dcOf(dc)->font;
    if (font != nullptr)
        dcOf(dc)->font = static_cast<Font *>(font);
    return previous;
}

void *windowFont(HWND window) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    return w != nullptr && w->font != nullptr ? w->font : sharedDefaultFont();
}

void *createRectRegion(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    auto *region = static_cast<Region *>(heapAlloc(sizeof(Region), false));
    if (region != nullptr)
        region->rect = ZoRect{left, top, right, bottom};
    return region;
}

void deleteRegion(void *region) { heapFree(region); }

bool selectClipRegion(void *dc, const void *region) {
    if (dc == nullptr)
        return false;
    Guard guard(layerLock());
    dcOf(dc)->clipped = region != nullptr;
    if (region != nullptr)
        dcOf(dc)->clip = static_cast<const Region *>(region)->rect;
    return true;
}

void *loadIcon(void *module, const unsigned char *name) {
    if (name == nullptr)
        return nullptr;
    Guard guard(layerLock());
    const bool application = module == nullptr && reinterpret_cast<uintptr_t>(name) == kIconApplication;
    if (application && g_applicationIcon != nullptr)
        return g_applicationIcon;
    Icon *icon = makeIcon(application ? applicationIcon() : moduleIcon(module, name));
    if (application)
        g_applicationIcon = icon;
    return icon;
}

void destroyIcon(void *icon) {
    if (icon == nullptr || icon == g_applicationIcon)
        return;
    Guard guard(layerLock());
    freeIcon(static_cast<Icon *>(icon));
}

bool iconSize(const void *icon, int32_t *width, int32_t *height) {
    if (icon == nullptr)
        return false;
    *width = static_cast<const Icon *>(icon)->width;
    *height = static_cast<const Icon *>(icon)->height;
    return true;
}

void drawIcon(void *dc, int32_t x, int32_t y, const void *icon) {
    if (dc == nullptr || icon == nullptr)
        return;
    Guard guard(layerLock());
    clippedDraw(dcOf(dc), nullptr, [&](cairo_t *cr) {
        cairo_set_source_surface(cr, static_cast<const Icon *>(icon)->surface, x, y);
        cairo_paint(cr);
    });
}

void *arrowCursor() { return &g_cursorToken; }

Snapshot *takeSnapshot(HWND window) {
    win::paintPending(window);
    Guard guard(layerLock());
    Window *w = lookup(window);
    if (w == nullptr)
        return nullptr;
    cairo_surface_t *surface = win::makeSurface(w->width, w->height);
    auto *snapshot = static_cast<Snapshot *>(heapAlloc(sizeof(Snapshot), false));
    if (surface == nullptr || snapshot == nullptr) {
        if (surface != nullptr)
            cairo_surface_destroy(surface);
        heapFree(snapshot);
        return nullptr;
    }
    cairo_t *cr = cairo_create(surface);
    compose(cr, w, 0, 0);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    snapshot->surface = surface;
    return snapshot;
}

void freeSnapshot(Snapshot *snapshot) {
    if (snapshot == nullptr)
        return;
    cairo_surface_destroy(snapshot->surface);
    heapFree(snapshot);
}

int32_t snapshotWidth(const Snapshot *snapshot) { return cairo_image_surface_get_width(snapshot->surface); }

int32_t snapshotHeight(const Snapshot *snapshot) { return cairo_image_surface_get_height(snapshot->surface); }

uint32_t snapshotPixel(const Snapshot *snapshot, int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= snapshotWidth(snapshot) || y >= snapshotHeight(snapshot))
        return 0;
    const unsigned char *data = cairo_image_surface_get_data(snapshot->surface);
    uint32_t pixel;
    std::memcpy(&pixel, data + y * cairo_image_surface_get_stride(snapshot->surface) + x * 4, sizeof pixel);
    return pixel;
}

bool writeSnapshotPng(const Snapshot *snapshot, const char *hostPath) {
    return snapshot != nullptr && hostPath != nullptr &&
           cairo_surface_write_to_png(snapshot->surface, hostPath) == CAIRO_STATUS_SUCCESS;
}

bool writeWindowPng(HWND window, const char *hostPath) {
    Snapshot *snapshot = takeSnapshot(window);
    bool written = writeSnapshotPng(snapshot, hostPath);
    freeSnapshot(snapshot);
    return written;
}

} // namespace zo::plat
