#include "vantel/view/DrawnRows.h"

#include <algorithm>
#include <utility>

namespace vantel {

bool DrawnRows::same(const Stamp& drawn, const Stamp& now) {
    return drawn.reusable && drawn.serial == now.serial && drawn.generation == now.generation &&
           drawn.paragraph == now.paragraph && drawn.selectionStart == now.selectionStart && drawn.selectionEnd == now.selectionEnd &&
           drawn.highlight == now.highlight && (drawn.blink == 0 || drawn.blink == now.blink);
}

int DrawnRows::Plan::staleCount() const { return static_cast<int>(std::count(stale.begin(), stale.end(), true)); }

void DrawnRows::reset(int rows) { bands_.assign(static_cast<size_t>(std::max(rows, 0)), Band{}); }

void DrawnRows::drawnWhole(int row, const Stamp& above, const Stamp& stamp) {
    if (row < 0 || row >= rows()) return;
    bands_[row] = Band{true, above, stamp};
}

void DrawnRows::drawnInPart(int row, const Stamp& above, const Stamp& stamp) {
    if (row < 0 || row >= rows()) return;
    Band& band = bands_[row];
    if (band.known && !(same(band.row, stamp) && same(band.above, above))) band = Band{};
}

bool DrawnRows::fits(const Band& band, std::span<const Stamp> now, int r) const {
    return band.known && same(band.row, now[r]) && same(band.above, r > 0 ? now[r - 1] : Stamp{});
}

std::optional<DrawnRows::Plan> DrawnRows::planScroll(std::span<const Stamp> now) const {
    const int count = rows();
    if (count < 2 || static_cast<int>(now.size()) != count) return std::nullopt;
    int staleInPlace = 0;
    for (int r = 0; r < count; ++r) staleInPlace += fits(bands_[r], now, r) ? 0 : 1;
    if (staleInPlace == 0) return std::nullopt;

    // Each row now shown that was drawn elsewhere votes for the distance it travelled.
    std::vector<std::pair<uint64_t, int>> drawnAt;
    drawnAt.reserve(bands_.size());
    for (int d = 0; d < count; ++d) {
        if (bands_[d].known && bands_[d].row.serial != 0) drawnAt.emplace_back(bands_[d].row.serial, d);
    }
    std::sort(drawnAt.begin(), drawnAt.end());
    std::vector<int> votes(static_cast<size_t>(2 * count), 0);
    for (int r = 0; r < count; ++r) {
        auto it = std::lower_bound(drawnAt.begin(), drawnAt.end(), std::make_pair(now[r].serial, 0));
        if (it == drawnAt.end() || it->first != now[r].serial || it->second == r) continue;
        if (same(bands_[it->second].row, now[r])) ++votes[it->second - r + count];
    }
    int shift = 0, best = 0;
    for (int s = 1 - count; s < count; ++s) {
        const int v = votes[s + count];
        if (v > best || (v == best && v > 0 && std::abs(s) < std::abs(shift))) best = v, shift = s;
    }
    if (best < 2) return std::nullopt;

    Plan plan;
    plan.shift = shift;
    plan.first = count;
    for (int r = std::max(0, -shift); r < std::min(count, count - shift); ++r) {
        if (bands_[r + shift].known && same(bands_[r + shift].row, now[r])) {
            plan.first = std::min(plan.first, r);
            plan.last = std::max(plan.last, r);
        }
    }
    plan.areaFirst = std::min(plan.first, plan.first + shift);
    plan.areaLast = std::max(plan.last, plan.last + shift);
    plan.stale.assign(static_cast<size_t>(count), false);
    for (int r = 0; r < count; ++r) {
        const bool moved = r >= plan.first && r <= plan.last;
        const bool uncovered = !moved && r >= plan.areaFirst && r <= plan.areaLast;
        const Band band = moved ? bands_[r + shift] : uncovered ? Band{} : bands_[r];
        plan.stale[r] = !fits(band, now, r);
    }
    // Moving a band costs about a third of drawing a full one: the move must spare more than that.
    const int spared = staleInPlace - plan.staleCount();
    const int movedRows = plan.areaLast - plan.areaFirst + 1;
    if (spared < 2 || spared * 3 < movedRows) return std::nullopt;
    return plan;
}

void DrawnRows::applyMove(const Plan& plan) {
    const std::vector<Band> before = bands_;
    for (int r = std::max(plan.areaFirst, 0); r <= plan.areaLast && r < rows(); ++r) {
        const int source = r + plan.shift;
        const bool moved = r >= plan.first && r <= plan.last && source >= 0 && source < rows();
        bands_[r] = moved ? before[source] : Band{};
    }
}

}  // namespace vantel
