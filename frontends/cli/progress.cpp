#include "frontends/cli/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "frontends/cli/translation.h"

namespace tsugihagi {
namespace {

constexpr auto redraw_interval = std::chrono::milliseconds(100);
constexpr auto rate_window = std::chrono::seconds(3);
constexpr int bar_width = 24;

std::string duration_text(double seconds) {
  const long s = std::lround(seconds);
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  }
  return text;
}

}  // namespace

std::string progress_text(std::uint64_t bytes, std::optional<std::uint64_t> total,
                          std::int64_t lines, double lines_per_second, double bytes_per_second) {
  std::string text;
  char part[96];
  if (total) {
    const double share =
        *total == 0 ? 1.0 : std::min(1.0, static_cast<double>(bytes) / static_cast<double>(*total));
    const int filled = static_cast<int>(share * bar_width);
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about "[" + string.
    text.append("[").append(static_cast<std::size_t>(filled), '#');
    text.append(static_cast<std::size_t>(bar_width - filled), '-').append("]");
    std::snprintf(part, sizeof part, " %3d%%", static_cast<int>(share * 100));
    text += part;
  }
  // English says "lines" for one too, as it always has.
  const auto n = static_cast<long long>(lines);
  const std::string counts =
      formatted(trn("%lld lines", "%lld lines", static_cast<unsigned long>(n)), n) + "  " +
      formatted(tr("%.0f lines/s"), lines_per_second);
  text += total ? "  " + counts : counts;
  if (total && bytes_per_second > 0 && bytes < *total) {
    const std::string left = duration_text(static_cast<double>(*total - bytes) / bytes_per_second);
    text += "  " + formatted(tr("%s left"), left.c_str());
  }
  return text;
}

std::string fit_columns(std::string_view text, int columns) {
  int used = 0;
  std::size_t end = 0;
  while (end < text.size()) {
    std::size_t next = end + 1;
    while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80)
      ++next;
    used += display_width(text.substr(end, next - end));
    if (used > columns) break;
    end = next;
  }
  return std::string(text.substr(0, end));
}

progress_bar::progress_bar(std::FILE* out, std::optional<std::uint64_t> total_bytes)
    : out_(out), total_(total_bytes), last_draw_(clock::now()) {
  recent_.push_back({last_draw_, 0, 0});
}

void progress_bar::update(std::uint64_t bytes, std::int64_t lines) {
  const clock::time_point now = clock::now();
  // The first line learned shows the bar at once; later ones redraw it at most every interval.
  if (drawn_ && now - last_draw_ < redraw_interval) return;
  last_draw_ = now;
  recent_.push_back({now, bytes, lines});
  while (recent_.size() > 2 && now - recent_[1].time >= rate_window)
    recent_.pop_front();
  const sample& first = recent_.front();
  const double seconds = std::chrono::duration<double>(now - first.time).count();
  const double line_rate = seconds > 0 ? static_cast<double>(lines - first.lines) / seconds : 0;
  const double byte_rate = seconds > 0 ? static_cast<double>(bytes - first.bytes) / seconds : 0;
  std::string text = progress_text(bytes, total_, lines, line_rate, byte_rate);
  // The last column is left free: a line that fills it wraps on some terminals, and the next
  // drawing would then start below the bar instead of over it.
  winsize size{};
  if (::ioctl(::fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
    text = fit_columns(text, size.ws_col - 1);
  std::fprintf(out_, "\r%s\033[K", text.c_str());
  std::fflush(out_);
  drawn_ = true;
}

void progress_bar::finish() {
  if (!drawn_) return;
  std::fputs("\r\033[K", out_);
  std::fflush(out_);
}

}  // namespace tsugihagi
