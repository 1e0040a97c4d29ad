// oddball-tool captions DIR: the font sheet, every caption image and the title frames as PNG files, plus a contact sheet (portable).
#include "tools/cli/command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "data/blocks.h"
#include "director/precalc.h"
#include "imaging/blits.h"
#include "imaging/image.h"
#include "media/media_files.h"
#include "text/captions.h"
#include "text/font.h"

namespace {

constexpr uint32_t mid_grey = 0xFF808080u;  // halos darken it, glows lighten it
constexpr int sheet_max_width = 1280;
constexpr int gap = 8;
constexpr int label_height = 20;

// A new image of the given size filled with mid-grey.
image grey_canvas(int width, int height)
{
    image canvas = image_create(int16_t(width), int16_t(height));
    std::fill(canvas.pixels, canvas.pixels + size_t(width) * height, mid_grey);
    return canvas;
}

// An image as the scenes mostly draw it: blit_alpha onto mid-grey.
image on_grey(const image& source)
{
    image canvas = grey_canvas(source.width, source.height);
    blit_alpha(source, canvas, 0, 0);
    return canvas;
}

// The font sheet at its own size: intensities as grey, markers in red.
image font_sheet_picture()
{
    image sheet = image_create(font_sheet_width, font_sheet_height);
    for (int p = 0; p < font_sheet_width * font_sheet_height; ++p) {
        uint8_t v = embedded_font_bin[p];
        sheet.pixels[p] = v == font_marker ? 0xFFFF0000u : 0xFF000000u | (uint32_t(v) * 85u * 0x010101u);
    }
    return sheet;
}

bool write_png(const std::string& path, const image& im)
{
    picture pic;
    pic.width = im.width;
    pic.height = im.height;
    pic.pixels.assign(im.pixels, im.pixels + size_t(im.width) * im.height);
    std::string error;
    if (!png_write(path, pic, false, &error)) {
        tool_fail("captions: %s", error.c_str());
        return false;
    }
    return true;
}

struct sheet_item {
    std::string label;
    image picture;  // already on grey
};

// The pictures of the contact sheet, given back however the command ends.
struct sheet_items : std::vector<sheet_item> {
    ~sheet_items()
    {
        for (sheet_item& item : *this)
            image_release(item.picture);
    }
};

// Lays the items out in rows on one grey sheet, each under its label.
image contact_sheet(const std::vector<sheet_item>& items)
{
    struct placed {
        int x, y;
    };
    std::vector<placed> at;
    int x = gap, y = gap, row_height = 0, width = 0;
    for (const sheet_item& item : items) {
        int w = std::max(item.picture.width, text_width(item.label.c_str()) + 2);
        if (x > gap && x + w + gap > sheet_max_width) {
            x = gap;
            y += row_height + gap;
            row_height = 0;
        }
        at.push_back({x, y});
        x += w + gap;
        width = std::max(width, x);
        row_height = std::max(row_height, label_height + item.picture.height);
    }
    image sheet = grey_canvas(width, y + row_height + gap);
    for (size_t i = 0; i < items.size(); ++i) {
        image label = text_sprite(items[i].label.c_str(), 0xFFFF99);
        blit_alpha(label, sheet, int16_t(at[i].x), int16_t(at[i].y));
        image_release(label);
        // Positions beyond 16 bits cannot be blitted; copy rows instead.
        const image& p = items[i].picture;
        for (int r = 0; r < p.height; ++r)
            std::memcpy(sheet.pixels + size_t(at[i].y + label_height + r) * sheet.width + at[i].x,
                        p.pixels + size_t(r) * p.width, size_t(p.width) * 4);
    }
    return sheet;
}

int write_captions(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '-')
        return tool_usage_error("captions: expected one argument, the folder to write into");
    const std::filesystem::path dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error || !std::filesystem::is_directory(dir))
        return tool_fail("captions: cannot make folder '%s'", argv[1]);

    precalc_all();

    sheet_items items;
    image sheet = font_sheet_picture();
    bool sheet_written = write_png((dir / "font_sheet.png").string(), sheet);
    items.push_back({"font sheet", double_size(sheet)});
    if (!sheet_written)
        return 1;

    for (int k = 0; k < 6; ++k) {
        image frame = on_grey(caption_table[9 + k]);
        items.push_back({"title " + std::to_string(k), frame});
        if (!write_png((dir / ("title_frame_" + std::to_string(k) + ".png")).string(), frame))
            return 1;
    }
    int written = 0;
    for (int slot = 0; slot < caption_slot_count; ++slot) {
        const image& caption = caption_table[slot];
        if (!caption.pixels || (slot >= 9 && slot <= 14))
            continue;
        image shown = on_grey(caption);
        items.push_back({std::to_string(slot), shown});
        char name[32];
        std::snprintf(name, sizeof name, "caption_%03d.png", slot);
        if (!write_png((dir / name).string(), shown))
            return 1;
        ++written;
    }
    image overview = contact_sheet(items);
    bool ok = write_png((dir / "contact_sheet.png").string(), overview);
    if (ok)
        std::printf("%s: font_sheet.png, 6 title frames, %d captions, contact_sheet.png (%dx%d)\n", argv[1],
                    written, overview.width, overview.height);
    image_release(overview);
    return ok ? 0 : 1;
}

}  // namespace

const tool_command captions_command{"captions", "DIR",
                     "writes the font sheet, every caption image, the six title frames and a contact sheet "
                     "(all drawn on mid-grey) as PNG files into DIR",
                     write_captions};
