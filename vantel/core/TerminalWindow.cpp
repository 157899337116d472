// Window operations (CSI t): requests handed to the host, size reports and the title stack.
#include <algorithm>

#include "vantel/core/TextUtil.h"
#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

using Command = WindowManipulationCommand;
using Kind = WindowManipulationCommand::Kind;

bool matches(std::span<const int> pars, std::initializer_list<int> pattern) {
    return std::equal(pars.begin(), pars.end(), pattern.begin(), pattern.end());
}

void pushBounded(std::vector<std::string>& stack, const std::string& title) {
    // A program that only ever saves must not grow the stack without end.
    const size_t keep = Terminal::maximumTitleStackDepth - 1;
    if (stack.size() > keep) stack.erase(stack.begin(), stack.end() - static_cast<std::ptrdiff_t>(keep));
    stack.push_back(title);
}

// Plain actions: the whole parameter list names one command.
std::optional<Command> actionCommand(std::span<const int> pars) {
    if (pars.size() == 3) {
        switch (pars[0]) {
        case 3: return Command{Kind::moveWindowTo, pars[1], pars[2]};
        case 4: return Command{Kind::resizeWindowTo, pars[2], pars[1]};
        case 8: return Command{Kind::resizeTerminal, pars[2], pars[1]};
        default: return std::nullopt;
        }
    }
    if (pars.size() == 1) {
        switch (pars[0]) {
        case 1: return Command{Kind::deiconifyWindow};
        case 2: return Command{Kind::iconifyWindow};
        case 5: return Command{Kind::bringToFront};
        case 6: return Command{Kind::sendToBack};
        case 7: return Command{Kind::refreshWindow};
        default: return std::nullopt;
        }
    }
    if (pars.size() == 2 && pars[0] == 9) {
        switch (pars[1]) {
        case 0: return Command{Kind::restoreMaximizedWindow};
        case 1: return Command{Kind::maximizeWindow};
        case 2: return Command{Kind::maximizeWindowVertically};
        case 3: return Command{Kind::maximizeWindowHorizontally};
        default: return std::nullopt;
        }
    }
    if (pars.size() == 2 && pars[0] == 10) {
        switch (pars[1]) {
        case 0: return Command{Kind::undoFullScreen};
        case 1: return Command{Kind::switchToFullScreen};
        case 2: return Command{Kind::toggleFullScreen};
        default: return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<Kind> reportKind(std::span<const int> pars) {
    if (matches(pars, {14})) return Kind::reportTextAreaPixelDimension;
    if (matches(pars, {14, 2})) return Kind::reportTerminalWindowPixelDimension;
    if (matches(pars, {15})) return Kind::reportSizeOfScreenInPixels;
    if (matches(pars, {16})) return Kind::reportCellSizeInPixels;
    if (matches(pars, {18})) return Kind::reportTextAreaCharacters;
    if (matches(pars, {19})) return Kind::reportScreenSizeCharacters;
    return std::nullopt;
}

}  // namespace

void Terminal::cmdWindowOptions(std::span<const int> pars) {
    if (!tdel_) return;
    if (auto command = actionCommand(pars)) {
        tdel_->windowCommand(*this, *command);
        return;
    }
    if (auto kind = reportKind(pars)) {
        if (auto answer = tdel_->windowCommand(*this, Command{*kind})) {
            // An empty answer: the host declines to report, and nothing goes out.
            if (!answer->empty()) sendResponse(std::span<const uint8_t>(*answer));
            return;
        }
        const auto cell = tdel_->cellSizeInPixels(*this).value_or(std::make_pair(10, 16));
        // 64-bit products: the cell size comes from the host and is not bounded here.
        const int64_t width = cell.first, height = cell.second;
        switch (*kind) {
        case Kind::reportTextAreaPixelDimension:
        case Kind::reportTerminalWindowPixelDimension:
            sendResponseParts(csi(), "4;", std::to_string(height * rows_), ";", std::to_string(width * cols_), "t");
            break;
        case Kind::reportSizeOfScreenInPixels:
            sendResponseParts(csi(), "5;", std::to_string(height * rows_), ";", std::to_string(width * cols_), "t");
            break;
        case Kind::reportCellSizeInPixels:
            sendResponseParts(csi(), "6;", std::to_string(height), ";", std::to_string(width), "t");
            break;
        case Kind::reportTextAreaCharacters:
            sendResponseParts(csi(), "8;", std::to_string(rows_), ";", std::to_string(cols_), "t");
            break;
        default:
            sendResponseParts(csi(), "9;", std::to_string(rows_), ";", std::to_string(cols_), "t");
            break;
        }
        return;
    }
    // The titles themselves are never echoed: a program could make the terminal type them back.
    if (matches(pars, {20})) return sendResponseParts(osc(), "L", st());
    if (matches(pars, {21})) return sendResponseParts(osc(), "l", st());

    auto restoreWindowTitle = [this] {
        if (terminalTitleStack.empty()) return;
        terminalTitle = std::move(terminalTitleStack.back());
        terminalTitleStack.pop_back();
        if (tdel_) tdel_->setTerminalTitle(*this, terminalTitle);
    };
    auto restoreIconTitle = [this] {
        if (terminalIconStack.empty()) return;
        iconTitle = std::move(terminalIconStack.back());
        terminalIconStack.pop_back();
        if (tdel_) tdel_->setTerminalIconTitle(*this, iconTitle);
    };
    if (matches(pars, {22, 0}) || matches(pars, {22, 0, 0})) {
        pushBounded(terminalTitleStack, terminalTitle);
        pushBounded(terminalIconStack, iconTitle);
    } else if (matches(pars, {22, 1})) {
        pushBounded(terminalIconStack, iconTitle);
    } else if (matches(pars, {22, 2})) {
        pushBounded(terminalTitleStack, terminalTitle);
    } else if (matches(pars, {23, 0}) || matches(pars, {23, 0, 0})) {
        restoreWindowTitle();
        restoreIconTitle();
    } else if (matches(pars, {23, 1})) {
        restoreIconTitle();
    } else if (matches(pars, {23, 2})) {
        restoreWindowTitle();
    } else {
        if (!silentLog) log("Unhandled Window command: " + text::decimalList(pars));
    }
}

}  // namespace vantel
