// The contact sheet: every transition at 0, 25, 50, 75 and 100 percent of its run,
// one labelled row per transition, drawn with cairo.
#include <cairo.h>

#include <algorithm>
#include <set>

#include "tools/Tool.h"

namespace wqtrans::tool {

namespace {

constexpr int kMargin = 14;
constexpr int kLabelWidth = 170;
constexpr int kGap = 8;
constexpr int kHeader = 30;
constexpr int kColumns = 5;

void Text(cairo_t* cr, const std::string& text, double x, double y, double size, bool bold, bool centred = false) {
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    if (centred) {
        cairo_text_extents_t extents;
        cairo_text_extents(cr, text.c_str(), &extents);
        x -= extents.width / 2 + extents.x_bearing;
    }
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text.c_str());
}

} // namespace

std::pair<int32_t, int32_t> SheetSize(size_t transitions, int32_t w, int32_t h) {
    const int64_t rowHeight = std::max(h, 40) + kGap;
    const int64_t sheetWidth = kMargin * 2 + kLabelWidth + int64_t{kColumns} * w + (kColumns - 1) * kGap;
    const int64_t sheetHeight = kMargin * 2 + kHeader + static_cast<int64_t>(transitions) * rowHeight - kGap;
    const std::string problem = OverBudget(sheetWidth, sheetHeight);
    if (!problem.empty()) {
        UsageError("a sheet of " + std::to_string(transitions) + " transitions at " + std::to_string(w) + "x" +
                   std::to_string(h) + " would be " + problem + "; use a smaller --size or fewer transitions");
    }
    return {static_cast<int32_t>(sheetWidth), static_cast<int32_t>(sheetHeight)};
}

std::unique_ptr<Picture> ContactSheet(const std::vector<const TransitionInfo*>& transitions, Picture& oldPicture,
                                      Picture& newPicture, const RunOptions& options, bool quiet) {
    const int32_t w = oldPicture.Width();
    const int32_t h = oldPicture.Height();
    const int rowHeight = std::max(h, 40) + kGap;
    const auto [width, height] = SheetSize(transitions.size(), w, h);

    cairo_surface_t* sheet = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(sheet);
    cairo_set_source_rgb(cr, 0.96, 0.96, 0.95);
    cairo_paint(cr);

    const uint32_t d = options.durationMs;
    const uint32_t moments[kColumns] = {0, d / 4, d / 2, static_cast<uint32_t>(uint64_t{d} * 3 / 4), d};
    const char* headings[kColumns] = {"0%", "25%", "50%", "75%", "100%"};
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.22);
    for (int c = 0; c < kColumns; ++c) {
        Text(cr, headings[c], kMargin + kLabelWidth + c * (w + kGap) + w / 2.0, kMargin + 18, 14, true, true);
    }

    std::vector<uint32_t> times = FrameTimes(options.durationMs, options.fps);
    std::set<uint32_t> all(times.begin(), times.end());
    all.insert(std::begin(moments), std::end(moments));
    times.assign(all.begin(), all.end());

    Progress progress(transitions.size(), quiet, "transitions");
    std::vector<uint32_t> thumb(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (size_t row = 0; row < transitions.size(); ++row) {
        const TransitionInfo& info = *transitions[row];
        const double top = kMargin + kHeader + static_cast<double>(row) * rowHeight;
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.12);
        Text(cr, info.name, kMargin, top + 18, 15, true);
        cairo_set_source_rgb(cr, 0.4, 0.4, 0.42);
        Text(cr, info.idText + "  mode " + std::to_string(info.mode), kMargin, top + 36, 11, false);

        Instance instance = Create(info, {});
        Run(instance.get(), oldPicture, newPicture, options, times, [&](size_t, uint32_t time, Picture& frame) {
            for (int c = 0; c < kColumns; ++c) {
                if (moments[c] != time) {
                    continue;
                }
                std::copy(frame.Pixels(), frame.Pixels() + thumb.size(), thumb.begin());
                for (uint32_t& pixel : thumb) {
                    pixel |= 0xFF000000u;
                }
                cairo_surface_t* image = cairo_image_surface_create_for_data(
                    reinterpret_cast<unsigned char*>(thumb.data()), CAIRO_FORMAT_ARGB32, w, h, w * 4);
                const double left = kMargin + kLabelWidth + c * (w + kGap);
                cairo_set_source_surface(cr, image, left, top);
                cairo_paint(cr);
                cairo_surface_destroy(image);
                cairo_set_source_rgb(cr, 0.55, 0.55, 0.57);
                cairo_set_line_width(cr, 1);
                cairo_rectangle(cr, left - 0.5, top - 0.5, w + 1, h + 1);
                cairo_stroke(cr);
            }
        });
        progress.Update(row + 1);
    }
    progress.Done();

    cairo_destroy(cr);
    cairo_surface_flush(sheet);
    auto picture = std::make_unique<Picture>(width, height);
    const unsigned char* data = cairo_image_surface_get_data(sheet);
    const int stride = cairo_image_surface_get_stride(sheet);
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        for (int x = 0; x < width; ++x) {
            picture->SetPixel(x, y, line[x] | 0xFF000000u);
        }
    }
    cairo_surface_destroy(sheet);
    return picture;
}

} // namespace wqtrans::tool
