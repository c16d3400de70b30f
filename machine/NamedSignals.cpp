#include "machine/NamedSignals.h"

#include <algorithm>
#include <utility>

namespace tarnwick {

namespace {

NamedSignal fromSignal(const MachineMap::MappedSignal& s) {
    NamedSignal n;
    n.name = s.name;
    n.section = s.section;
    n.width = s.width;
    n.kind = NamedSignal::Kind::output;
    n.signal = &s;
    return n;
}

NamedSignal fromRelay(const MachineMap::MappedRelay& r) {
    NamedSignal n;
    n.name = r.name;
    n.section = r.section;
    n.width = 0;
    n.kind = NamedSignal::Kind::relay;
    n.relay = &r;
    return n;
}

// "name[i]": the bus and the bit, when the text ends in a decimal index.
std::optional<std::pair<std::string_view, int>> splitBusBit(std::string_view name) {
    if (name.size() < 4 || name.back() != ']') return std::nullopt;
    const std::size_t open = name.rfind('[');
    if (open == std::string_view::npos || open + 2 > name.size() - 1) return std::nullopt;
    int bit = 0;
    for (std::size_t i = open + 1; i + 1 < name.size(); ++i) {
        const char c = name[i];
        if (c < '0' || c > '9' || bit > 63) return std::nullopt;
        bit = bit * 10 + (c - '0');
    }
    return std::pair{name.substr(0, open), bit};
}

// Glob match of one dot-free part: '*' is any run of characters.
bool partMatches(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::uint64_t NamedSignal::read(const Computer& computer) const {
    switch (kind) {
        case Kind::output:
            return MachineMap::value(computer, *signal);
        case Kind::busBit:
            // One bit read, not the whole bus.
            return signal->bit(reinterpret_cast<const unsigned char*>(&computer) + signal->offset, bit) ? 1
                                                                                                        : 0;
        case Kind::relay:
            return MachineMap::relay(computer, *relay).normallyOpen() ? 1 : 0;
    }
    return 0;
}

std::optional<NamedSignal> findNamedSignal(std::string_view name) {
    const MachineMap& map = MachineMap::get();
    if (const auto* s = map.findSignal(name)) return fromSignal(*s);
    if (const auto* r = map.findRelay(name)) return fromRelay(*r);
    if (const auto split = splitBusBit(name)) {
        const auto* s = map.findSignal(split->first);
        if (s && s->width > 0 && split->second < s->width) {
            NamedSignal n = fromSignal(*s);
            n.name = std::string(name);
            n.kind = NamedSignal::Kind::busBit;
            n.width = 0;
            n.bit = split->second;
            return n;
        }
    }
    return std::nullopt;
}

bool namePatternMatches(std::string_view pattern, std::string_view name) {
    while (true) {
        const std::size_t pd = pattern.find('.');
        const std::size_t nd = name.find('.');
        if (!partMatches(pattern.substr(0, pd), name.substr(0, nd))) return false;
        if (pd == std::string_view::npos || nd == std::string_view::npos) return pd == nd;
        pattern.remove_prefix(pd + 1);
        name.remove_prefix(nd + 1);
    }
}

std::vector<NamedSignal> matchNamedSignals(std::string_view pattern) {
    if (pattern.find('*') == std::string_view::npos) {
        if (auto one = findNamedSignal(pattern)) return {std::move(*one)};
        return {};
    }
    std::vector<NamedSignal> found;
    const MachineMap& map = MachineMap::get();
    for (const auto& s : map.signals())
        if (namePatternMatches(pattern, s.name)) found.push_back(fromSignal(s));
    for (const auto& r : map.relays())
        if (namePatternMatches(pattern, r.name)) found.push_back(fromRelay(r));
    return found;
}

std::vector<std::string> nearestSignalNames(std::string_view name, std::size_t count) {
    std::vector<std::pair<std::size_t, const std::string*>> scored;
    const MachineMap& map = MachineMap::get();
    for (const auto& s : map.signals()) scored.emplace_back(editDistance(name, s.name), &s.name);
    for (const auto& r : map.relays()) scored.emplace_back(editDistance(name, r.name), &r.name);
    count = std::min(count, scored.size());
    std::partial_sort(scored.begin(), scored.begin() + static_cast<std::ptrdiff_t>(count), scored.end(),
                      [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i) names.push_back(*scored[i].second);
    return names;
}

void writeVcdScopes(std::ostream& out, const std::vector<NamedSignal>& variables,
                    const std::function<std::string(std::size_t)>& id) {
    std::vector<std::string> open;  // the scopes below "tarnwick" now open
    auto split = [](const NamedSignal& probe) {
        std::vector<std::string> parts{std::string(sectionName(probe.section))};
        std::string_view rest = probe.name;
        // A bus bit "name[i]" keeps its index on the variable.
        for (std::size_t dot; (dot = rest.find('.')) != std::string_view::npos; rest.remove_prefix(dot + 1))
            parts.emplace_back(rest.substr(0, dot));
        parts.emplace_back(rest);
        return parts;
    };
    std::vector<std::size_t> order(variables.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (variables[a].section != variables[b].section) return variables[a].section < variables[b].section;
        auto pa = split(variables[a]), pb = split(variables[b]);
        pa.pop_back();
        pb.pop_back();
        return pa < pb;
    });
    for (const std::size_t i : order) {
        std::vector<std::string> parts = split(variables[i]);
        const std::string leaf = parts.back();
        parts.pop_back();
        std::size_t common = 0;
        while (common < open.size() && common < parts.size() && open[common] == parts[common]) ++common;
        for (std::size_t k = open.size(); k > common; --k) out << "$upscope $end\n";
        open.resize(common);
        for (std::size_t k = common; k < parts.size(); ++k) {
            out << "$scope module " << parts[k] << " $end\n";
            open.push_back(parts[k]);
        }
        const int width = variables[i].width;
        out << "$var wire " << (width == 0 ? 1 : width) << ' ' << id(i) << ' ' << leaf;
        if (width > 0) out << " [" << width - 1 << ":0]";
        out << " $end\n";
    }
    for (std::size_t k = open.size(); k > 0; --k) out << "$upscope $end\n";
}

std::vector<std::string> allSignalNames() {
    std::vector<std::string> names;
    const MachineMap& map = MachineMap::get();
    for (const auto& s : map.signals()) {
        names.push_back(s.name);
        for (int bit = 0; bit < s.width; ++bit) names.push_back(s.name + "[" + std::to_string(bit) + "]");
    }
    for (const auto& r : map.relays()) names.push_back(r.name);
    return names;
}

std::vector<NamedSignal> panelSignals() {
    std::vector<NamedSignal> rows;
    for (std::string_view name : panelSignalNames) {
        if (auto found = findNamedSignal(name)) rows.push_back(std::move(*found));
    }
    return rows;
}

}  // namespace tarnwick
