#include "cli/FleetBoard.h"

#include "cli/ScreenRelay.h"

#include "cli/TerminalWindow.h"

#include <algorithm>
#include <chrono>

namespace orvexa {

namespace {

constexpr int kDefaultColumns = 80;
constexpr auto kRedrawEvery = std::chrono::milliseconds(250);
constexpr char kCursorUp[] = "\x1b[%zuA";
constexpr char kClearToEnd[] = "\x1b[K";
constexpr std::size_t kGap = 2;

std::string fitted(std::string line, int width) {
    if (width > 0 && line.size() > static_cast<std::size_t>(width)) {
        line.resize(static_cast<std::size_t>(width));
    }
    return line;
}

// Columns of text, each as wide as its widest cell; the last one is not padded. Width 0: lines as long as
// they come.
std::vector<std::string> columnsOf(const std::vector<std::vector<std::string>>& cells, int width) {
    std::vector<std::size_t> widths;
    for (const auto& row : cells) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    std::vector<std::string> lines;
    for (const auto& row : cells) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line += std::string(widths[i] - row[i].size() + kGap, ' ');
            }
        }
        lines.push_back(fitted(line, width));
    }
    return lines;
}

std::string minutesAndSeconds(std::uint32_t ms) {
    const std::uint32_t seconds = ms / 1000;
    char text[16];
    std::snprintf(text, sizeof text, "%u:%02u", seconds / 60, seconds % 60);
    return text;
}

} // namespace

FleetBoard::FleetBoard(std::FILE* err, Display display, std::function<int()> columns)
    : err_(err), display_(display), columns_(std::move(columns)) {}

FleetBoard::~FleetBoard() {
    finish();
}

void FleetBoard::start(const std::vector<PortInfo>& ports) {
    for (const PortInfo& port : ports) {
        addRow(port);
    }
    if (display_ == Display::LiveTable) {
        redrawer_ = std::thread([this] { redrawLoop(); });
    }
}

std::size_t FleetBoard::addRow(const PortInfo& port) {
    std::lock_guard<std::mutex> lock(mutex_);
    rows_.push_back(Row{port.displayName.empty() ? port.path : port.displayName, "", "waiting"});
    return rows_.size() - 1;
}

void FleetBoard::setDoing(std::size_t row, const std::string& doing, bool worthALine) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (row >= rows_.size() || rows_[row].doing == doing) {
        return;
    }
    rows_[row].doing = doing;
    if (display_ == Display::PlainLines && worthALine) {
        std::fprintf(err_, "%s: %s\n", rows_[row].port.c_str(), doing.c_str());
        std::fflush(err_);
    }
}

void FleetBoard::setModel(std::size_t row, const std::string& model) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (row < rows_.size()) {
        rows_[row].model = model;
    }
}

void FleetBoard::finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (finished_) {
            return;
        }
        finished_ = true;
    }
    wake_.notify_all();
    if (redrawer_.joinable()) {
        redrawer_.join();
        redraw();
    }
}

std::vector<std::string> FleetBoard::tableLines(int width) const {
    std::vector<std::vector<std::string>> cells = {{"PORT", "MODEL", "NOW"}};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Row& row : rows_) {
            cells.push_back({row.port, row.model.empty() ? "-" : row.model, row.doing});
        }
    }
    std::vector<std::string> lines = columnsOf(cells, width);
    // Asked without the rows' lock: the footer may ask its owner, who may be adding a row.
    if (footer_) {
        for (const std::string& line : splitLines(footer_())) {
            if (!line.empty()) {
                lines.push_back(fitted(line, width));
            }
        }
    }
    return lines;
}

void FleetBoard::redrawLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!finished_) {
        lock.unlock();
        // A screen that has not taken the last table yet gets the next one when it has.
        if (!ScreenRelay::behind(err_)) {
            redraw();
        }
        lock.lock();
        wake_.wait_for(lock, kRedrawEvery, [this] { return finished_; });
    }
}

// The cursor goes back up over the table drawn last and each line is written over; the last column stays
// free, since a terminal that wraps on it would scroll the table away.
void FleetBoard::redraw() {
    const int columns = columns_ ? columns_() : 0;
    std::vector<std::string> lines = tableLines((columns > 0 ? columns : kDefaultColumns) - 1);
    lines.resize(std::max(lines.size(), linesOnScreen_)); // a shorter table blanks what it drew before
    std::string text;
    if (linesOnScreen_ > 0) {
        char up[32];
        std::snprintf(up, sizeof up, kCursorUp, linesOnScreen_);
        text += up;
    }
    for (const std::string& line : lines) {
        text += "\r" + line + kClearToEnd + "\n";
    }
    linesOnScreen_ = lines.size();
    std::fputs(text.c_str(), err_);
    std::fflush(err_);
}

std::vector<std::string> summaryLines(const std::vector<ScannerResult>& results, int width) {
    // With --firmware each row names the package its scanner got.
    const bool packages = std::any_of(results.begin(), results.end(),
                                      [](const ScannerResult& r) { return !r.package.empty(); });
    std::vector<std::vector<std::string>> cells = {{"PORT", "MODEL", "BEFORE", "AFTER", "TIME", "RESULT"}};
    if (packages) {
        cells[0].insert(cells[0].begin() + 4, "PACKAGE");
    }
    for (const ScannerResult& r : results) {
        const std::string result = resultText(r);
        const std::string port = r.port.displayName.empty() ? r.port.path : r.port.displayName;
        auto orDash = [](const std::string& text) { return text.empty() ? std::string("-") : text; };
        cells.push_back({port, orDash(r.model), orDash(r.firmwareBefore), orDash(r.firmwareAfter),
                         minutesAndSeconds(r.elapsedMs), result});
        if (packages) {
            cells.back().insert(cells.back().begin() + 4, orDash(r.package));
        }
    }
    return columnsOf(cells, width);
}

} // namespace orvexa
