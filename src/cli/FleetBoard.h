// What a fleet shows while it runs: one row per port (port, model, what it is doing now), redrawn in place
// on a terminal, or a plain line prefixed with the port at each change elsewhere; and at the end the
// summary table. Workers change their own rows from their threads; the board keeps them under a lock.
#pragma once

#include "cli/EventLog.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvexa {

class FleetBoard {
public:
    enum class Display { None, PlainLines, LiveTable };

    // columns: the terminal's width now (0: 80); asked at each redraw.
    FleetBoard(std::FILE* err, Display display, std::function<int()> columns = {});
    ~FleetBoard();
    FleetBoard(const FleetBoard&) = delete;
    FleetBoard& operator=(const FleetBoard&) = delete;

    // The rows, before the workers start; a live table starts redrawing.
    void start(const std::vector<PortInfo>& ports);
    // A row for a port that came later (a station's); its index.
    std::size_t addRow(const PortInfo& port);
    // A plain line is printed for each change worth a line: progress only every tenth.
    void setDoing(std::size_t row, const std::string& doing, bool worthALine = true);
    void setModel(std::size_t row, const std::string& model);
    // The last redraw; the table stays on the screen above what follows.
    void finish();

    // Lines shown below a live table, asked at each redraw (what Ctrl-C did): a line written on the
    // terminal by anyone else would tear the table.
    void setFooter(std::function<std::string()> footer) { footer_ = std::move(footer); }

    // The table as drawn now, one string per line, each fitted into width.
    std::vector<std::string> tableLines(int width) const;

private:
    struct Row {
        std::string port;
        std::string model;
        std::string doing;
    };
    void redrawLoop();
    void redraw();

    std::FILE* err_;
    Display display_;
    std::function<int()> columns_;
    std::function<std::string()> footer_;
    mutable std::mutex mutex_;
    std::vector<Row> rows_;
    std::size_t linesOnScreen_ = 0;
    std::condition_variable wake_;
    bool finished_ = false;
    std::thread redrawer_;
};

// The closing table: port, model, firmware before and after, result, time taken; fitted into width.
std::vector<std::string> summaryLines(const std::vector<ScannerResult>& results, int width);

} // namespace orvexa
