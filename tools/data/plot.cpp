// plot.cpp -- the track's level drawn over the timeline, with the scenes' thresholds, for tuning the music
#include "tools/data/plot.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "tools/data/canvas.h"

namespace {

struct Mark {
    double seconds = 0;
    const char* name = nullptr;
};

// The instants where the picture changes what it does with the level.
const Mark marks[] = {{0, "star"},      {14.0, "title"}, {28.0, "tunnel"}, {56.5, "cubes"},
                      {92.5, "city"},   {121.0, "tree"}, {149.5, "credits"}, {156.0, "end"}};

struct Threshold {
    double level = 0;
    const char* use = nullptr;
    double r = 0, g = 0, b = 0;
};

const Threshold thresholds[] = {{2.5, "2.5 city shake", 0.3, 0.8, 0.3},
                                {3.0, "3.0 title / tunnel", 0.9, 0.8, 0.2},
                                {3.3, "3.3 city camera jump", 0.9, 0.5, 0.1},
                                {3.5, "3.5 tunnel overlay", 0.9, 0.2, 0.2}};

double fractionAbove(const std::vector<double>& levels, double from, double to, double limit) {
    int n = 0, above = 0;
    for (size_t k = 0; k < levels.size(); ++k) {
        const double t = static_cast<double>(k * 1000 / 60) / 1000.0;
        if (t < from || t >= to) continue;
        ++n;
        if (levels[k] > limit) ++above;
    }
    return n ? static_cast<double>(above) / n : 0.0;
}

double firstAbove(const std::vector<double>& levels, double from, double limit) {
    for (size_t k = 0; k < levels.size(); ++k) {
        const double t = static_cast<double>(k * 1000 / 60) / 1000.0;
        if (t > from && levels[k] > limit) return t;
    }
    return -1;
}

}  // namespace

void printLevelSummary(const std::vector<double>& levels) {
    std::printf("first reading > 3.0 after 14 s: %.3f s (wanted 14.4 .. 15.5)\n", firstAbove(levels, 14.0, 3.0));
    std::printf("first reading > 3.0 after 28 s: %.3f s (wanted 28.2 .. 29.5)\n", firstAbove(levels, 28.0, 3.0));
    std::printf("  0.0 ..  14.0 s  > 3.0: %5.1f %%\n", 100 * fractionAbove(levels, 0, 14.0, 3.0));
    std::printf(" 28.5 ..  56.5 s  > 3.5: %5.1f %% (wanted 10 .. 50)\n", 100 * fractionAbove(levels, 28.5, 56.5, 3.5));
    std::printf(" 56.5 ..  92.5 s  in 0.5 .. 2.5: %5.1f %%\n",
                100 * (fractionAbove(levels, 56.5, 92.5, 0.5) - fractionAbove(levels, 56.5, 92.5, 2.5)));
    std::printf(" 92.5 .. 121.0 s  > 3.3: %5.1f %% (wanted 2 .. 20), > 2.5: %5.1f %%\n",
                100 * fractionAbove(levels, 92.5, 121, 3.3), 100 * fractionAbove(levels, 92.5, 121, 2.5));
    std::printf("121.0 .. 149.5 s  in 1 .. 5: %5.1f %%\n",
                100 * (fractionAbove(levels, 121, 149.5, 1.0) - fractionAbove(levels, 121, 149.5, 5.0)));
    std::printf("149.5 .. 156.0 s  > 1.5: %5.1f %%\n", 100 * fractionAbove(levels, 149.5, 156, 1.5));
}

std::vector<uint8_t> plotLevels(const std::vector<double>& levels) {
    const int width = 2400, height = 700;
    const double left = 60, right = 20, top = 30, bottom = 50;
    const double maxLevel = 6.0, maxSeconds = 160.0;
    Canvas c;
    if (!c.create(width, height)) {
        c.destroy();
        return {};
    }
    cairo_t* cr = c.cr;
    cairo_set_source_rgb(cr, 0.06, 0.06, 0.08);
    cairo_paint(cr);
    auto xAt = [&](double s) { return left + s / maxSeconds * (width - left - right); };
    auto yAt = [&](double l) { return height - bottom - std::min(l, maxLevel) / maxLevel * (height - top - bottom); };

    setFont(cr, "DejaVu Sans", false, 13);
    for (int l = 0; l <= 6; ++l) {
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.24);
        cairo_set_line_width(cr, 1);
        cairo_move_to(cr, left, yAt(l) + 0.5);
        cairo_line_to(cr, width - right, yAt(l) + 0.5);
        cairo_stroke(cr);
        char label[16];
        std::snprintf(label, sizeof label, "%d", l);
        cairo_set_source_rgb(cr, 0.7, 0.7, 0.7);
        cairo_move_to(cr, 30, yAt(l) + 5);
        cairo_show_text(cr, label);
    }
    for (int s = 0; s <= 160; s += 10) {
        char label[16];
        std::snprintf(label, sizeof label, "%d s", s);
        cairo_set_source_rgb(cr, 0.7, 0.7, 0.7);
        cairo_move_to(cr, xAt(s) - 10, height - bottom + 20);
        cairo_show_text(cr, label);
    }
    for (const Mark& m : marks) {
        cairo_set_source_rgb(cr, 0.45, 0.45, 0.6);
        cairo_set_line_width(cr, 1.5);
        cairo_move_to(cr, xAt(m.seconds), top);
        cairo_line_to(cr, xAt(m.seconds), height - bottom);
        cairo_stroke(cr);
        cairo_move_to(cr, xAt(m.seconds) + 4, top + 14);
        cairo_show_text(cr, m.name);
    }

    cairo_set_source_rgb(cr, 0.35, 0.75, 1.0);
    cairo_set_line_width(cr, 1.0);
    for (size_t k = 0; k < levels.size(); ++k) {
        const double t = static_cast<double>(k * 1000 / 60) / 1000.0;
        if (k == 0)
            cairo_move_to(cr, xAt(t), yAt(levels[k]));
        else
            cairo_line_to(cr, xAt(t), yAt(levels[k]));
    }
    cairo_stroke(cr);

    for (const Threshold& th : thresholds) {
        cairo_set_source_rgb(cr, th.r, th.g, th.b);
        const double dash[2] = {8, 6};
        cairo_set_dash(cr, dash, 2, 0);
        cairo_move_to(cr, left, yAt(th.level));
        cairo_line_to(cr, width - right, yAt(th.level));
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
        cairo_move_to(cr, width - right - 180, yAt(th.level) - 4);
        cairo_show_text(cr, th.use);
    }
    std::vector<uint8_t> png = encodePng(c);
    c.destroy();
    return png;
}
