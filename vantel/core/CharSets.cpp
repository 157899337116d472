#include "vantel/core/CharSets.h"

#include <initializer_list>
#include <utility>

namespace vantel {

namespace {

CharSetTable makeTable(std::initializer_list<std::pair<char, char32_t>> entries) {
    CharSetTable table;
    for (auto [byte, replacement] : entries) {
        table.map[static_cast<uint8_t>(byte)] = replacement;
    }
    table.size = static_cast<int>(entries.size());
    return table;
}

struct Tables {
    CharSetTable decSpecialGraphics = makeTable({
        {'`', U'\u25C6'}, {'a', U'\u2592'}, {'b', U'\u2409'}, {'c', U'\u240C'}, {'d', U'\u240D'},
        {'e', U'\u240A'}, {'f', U'\u00B0'}, {'g', U'\u00B1'}, {'h', U'\u2424'}, {'i', U'\u240B'},
        {'j', U'\u2518'}, {'k', U'\u2510'}, {'l', U'\u250C'}, {'m', U'\u2514'}, {'n', U'\u253C'},
        {'o', U'\u23BA'}, {'p', U'\u23BB'}, {'q', U'\u2500'}, {'r', U'\u23BC'}, {'s', U'\u23BD'},
        {'t', U'\u251C'}, {'u', U'\u2524'}, {'v', U'\u2534'}, {'w', U'\u252C'}, {'x', U'\u2502'},
        {'y', U'\u2264'}, {'z', U'\u2265'}, {'{', U'\u03C0'}, {'|', U'\u2260'}, {'}', U'\u00A3'},
        {'~', U'\u00B7'},
    });
    CharSetTable unitedKingdom = makeTable({{'#', U'\u00A3'}});
    CharSetTable unitedStates = makeTable({});
    CharSetTable dutch = makeTable({
        {'#', U'\u00A3'}, {'@', U'\u00BE'}, {'[', U'\u0133'}, {'\\', U'\u00BD'}, {']', U'|'},
        {'{', U'\u00A8'}, {'|', U'f'}, {'}', U'\u00BC'}, {'~', U'\u00B4'},
    });
    CharSetTable finnish = makeTable({
        {'[', U'\u00C4'}, {'\\', U'\u00D6'}, {']', U'\u00C5'}, {'^', U'\u00DC'}, {'`', U'\u00E9'},
        {'{', U'\u00E4'}, {'|', U'\u00F6'}, {'}', U'\u00E5'}, {'~', U'\u00FC'},
    });
    CharSetTable french = makeTable({
        {'#', U'\u00A3'}, {'@', U'\u00E0'}, {'[', U'\u00B0'}, {'\\', U'\u00E7'}, {']', U'\u00A7'},
        {'{', U'\u00E9'}, {'|', U'\u00F9'}, {'}', U'\u00E8'}, {'~', U'\u00A8'},
    });
    CharSetTable frenchCanadian = makeTable({
        {'@', U'\u00E0'}, {'[', U'\u00E2'}, {'\\', U'\u00E7'}, {']', U'\u00EA'}, {'^', U'\u00EE'},
        {'`', U'\u00F4'}, {'{', U'\u00E9'}, {'|', U'\u00F9'}, {'}', U'\u00E8'}, {'~', U'\u00FB'},
    });
    CharSetTable german = makeTable({
        {'@', U'\u00A7'}, {'[', U'\u00C4'}, {'\\', U'\u00D6'}, {']', U'\u00DC'},
        {'{', U'\u00E4'}, {'|', U'\u00F6'}, {'}', U'\u00FC'}, {'~', U'\u00DF'},
    });
    CharSetTable italian = makeTable({
        {'#', U'\u00A3'}, {'@', U'\u00A7'}, {'[', U'\u00B0'}, {'\\', U'\u00E7'}, {']', U'\u00E9'},
        {'`', U'\u00F9'}, {'{', U'\u00E0'}, {'|', U'\u00F2'}, {'}', U'\u00E8'}, {'~', U'\u00EC'},
    });
    CharSetTable norwegianDanish = makeTable({
        {'@', U'\u00C4'}, {'[', U'\u00C6'}, {'\\', U'\u00D8'}, {']', U'\u00C5'}, {'^', U'\u00DC'},
        {'`', U'\u00E4'}, {'{', U'\u00E6'}, {'|', U'\u00F8'}, {'}', U'\u00E5'}, {'~', U'\u00FC'},
    });
    CharSetTable spanish = makeTable({
        {'#', U'\u00A3'}, {'@', U'\u00A7'}, {'[', U'\u00A1'}, {'\\', U'\u00D1'}, {']', U'\u00BF'},
        {'{', U'\u00B0'}, {'|', U'\u00F1'}, {'}', U'\u00E7'},
    });
    CharSetTable swedish = makeTable({
        {'@', U'\u00C9'}, {'[', U'\u00C4'}, {'\\', U'\u00D6'}, {']', U'\u00C5'}, {'^', U'\u00DC'},
        {'`', U'\u00E9'}, {'{', U'\u00E4'}, {'|', U'\u00F6'}, {'}', U'\u00E5'}, {'~', U'\u00FC'},
    });
    CharSetTable swiss = makeTable({
        {'#', U'\u00F9'}, {'@', U'\u00E0'}, {'[', U'\u00E9'}, {'\\', U'\u00E7'}, {']', U'\u00EA'},
        {'^', U'\u00EE'}, {'_', U'\u00E8'}, {'`', U'\u00F4'}, {'{', U'\u00E4'}, {'|', U'\u00F6'},
        {'}', U'\u00FC'}, {'~', U'\u00FB'},
    });

    std::map<uint8_t, const CharSetTable*> all{
        {'0', &decSpecialGraphics}, {'2', &decSpecialGraphics}, {'A', &unitedKingdom}, {'B', &unitedStates},
        {'4', &dutch},   {'5', &finnish},  {'C', &finnish},   {'R', &french},   {'Q', &frenchCanadian},
        {'K', &german},  {'Y', &italian},  {'6', &norwegianDanish}, {'E', &norwegianDanish},
        {'Z', &spanish}, {'7', &swedish},  {'H', &swedish},   {'=', &swiss},
    };
};

const Tables& tables() {
    static const Tables instance;
    return instance;
}

}  // namespace

const std::map<uint8_t, const CharSetTable*>& CharSets::all() { return tables().all; }

const CharSetTable* CharSets::find(uint8_t finalByte) {
    const auto& map = tables().all;
    auto it = map.find(finalByte);
    return it == map.end() ? nullptr : it->second;
}

}  // namespace vantel
