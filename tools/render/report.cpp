// report.cpp -- error and progress lines, and frame-time statistics
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "render_tool.h"

void reportError(const std::string& text) {
    std::fprintf(stderr, "talumen-render: %s\n", text.c_str());
    std::fflush(stderr);
}

double wallSeconds() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

void ProgressLine::begin(const char* what, int64_t frameCount) {
    label = what;
    total = frameCount;
    startSeconds = wallSeconds();
    lastShownSeconds = startSeconds;
    shown = false;
    terminal = isatty(2) != 0;
}

void ProgressLine::update(int64_t framesDone) {
    const double now = wallSeconds();
    // On a terminal the line is rewritten twice a second; in a log, one line every ten seconds.
    const double interval = terminal ? 0.5 : 10.0;
    if (now - lastShownSeconds < interval) return;
    lastShownSeconds = now;
    const double elapsed = now - startSeconds;
    const double rate = elapsed > 0.0 ? static_cast<double>(framesDone) / elapsed : 0.0;
    const double left = rate > 0.0 ? static_cast<double>(total - framesDone) / rate : 0.0;
    const int leftSeconds = static_cast<int>(left + 0.5);
    std::fprintf(stderr, "%s%s: frame %lld of %lld, %.1f fps, %d:%02d left%s", terminal ? "\r" : "", label,
                 static_cast<long long>(framesDone), static_cast<long long>(total), rate, leftSeconds / 60,
                 leftSeconds % 60, terminal ? "\033[K" : "\n");
    std::fflush(stderr);
    shown = true;
}

void ProgressLine::end() {
    if (shown && terminal) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    shown = false;
}

TimingSummary summarise(std::vector<double> times) {
    TimingSummary summary;
    summary.frames = static_cast<int64_t>(times.size());
    if (times.empty()) return summary;
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    summary.median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2.0;
    // Nearest rank: the smallest time that at least 95 % of the frames do not exceed.
    size_t rank = (n * 95 + 99) / 100;
    if (rank < 1) rank = 1;
    summary.p95 = times[rank - 1];
    summary.max = times.back();
    return summary;
}
