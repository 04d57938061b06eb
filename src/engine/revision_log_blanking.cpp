#include "engine/revision_log_blanking.h"

#include <algorithm>
#include <map>
#include <set>


namespace velmora::engine {

namespace {

// 1 -> "A", 26 -> "Z", 27 -> "AA", as spreadsheet columns are named.
std::u16string Letters(size_t number) {
    std::u16string letters;
    for (; number > 0; number = (number - 1) / 26) letters.insert(letters.begin(), static_cast<char16_t>(u'A' + (number - 1) % 26));
    return letters;
}

// The number of a full-name placeholder ("Author 12", space padded); 0 for
// anything else.
size_t PlaceholderNumber(const std::u16string& name) {
    std::u16string text = name.substr(0, name.find_last_not_of(u' ') + 1);
    const std::u16string prefix = u"Author ";
    if (text.size() <= prefix.size() || text.compare(0, prefix.size(), prefix) != 0 || text.size() > prefix.size() + 6) return 0;
    size_t number = 0;
    for (size_t i = prefix.size(); i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9') return 0;
        number = number * 10 + (text[i] - u'0');
    }
    return number;
}

}  // namespace

std::u16string Placeholder(size_t person, size_t length, bool initials) {
    std::u16string text = u"Author ";
    for (char c : std::to_string(person)) text.push_back(static_cast<char16_t>(c));
    if (initials || text.size() > length) text = Letters(person);
    text.resize(length, u' ');
    return text;
}

InPlaceBlanking PlanRevisionLogBlanking(const RootStreamSource& read, std::vector<std::string>* warnings) {
    const RevisionLogNames found = FindRevisionLogNames(read);
    InPlaceBlanking plan;
    plan.problems = found.problems;
    if (warnings) warnings->insert(warnings->end(), found.warnings.begin(), found.warnings.end());

    // One number per distinct person, in the order the document names them.
    // A name that already is a placeholder ("Author 3", from a run that was
    // interrupted between two streams) keeps its number, and nobody else
    // gets it.
    std::map<std::u16string, size_t> people, initials;
    std::set<size_t> taken;
    for (const NameSite& site : found.sites)
        if (!site.initials)
            if (const size_t number = PlaceholderNumber(site.name)) {
                people.emplace(site.name, number);
                taken.insert(number);
            }
    size_t next = 1;
    for (const NameSite& site : found.sites) {
        if (site.initials) {
            initials.emplace(site.name, initials.size() + 1);
        } else if (!people.count(site.name)) {
            while (taken.count(next)) ++next;
            people.emplace(site.name, next);
            taken.insert(next);
        }
    }

    // Word needs its comment authors distinct; a field too short to tell
    // that many people apart is left alone rather than merged.
    std::map<std::u16string, size_t> commentAuthors;  // placeholder -> person
    for (const NameSite& site : found.sites) {
        if (site.where != "CommentAuthor" || site.stream == u"PowerPoint Document") continue;
        const size_t person = people.at(site.name);
        const auto [at, inserted] = commentAuthors.emplace(Placeholder(person, site.count, false), person);
        if (!inserted && at->second != person) {
            plan.problems.push_back("WordDocument: not cleaned: comment authors whose names are too short to keep apart");
            return plan;
        }
    }

    std::vector<std::u16string> order;  // streams in the order they are written
    std::map<std::u16string, std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> streams;  // before, after
    auto stream = [&](const std::u16string& name) -> std::vector<uint8_t>& {
        auto at = streams.find(name);
        if (at == streams.end()) {
            std::vector<uint8_t> bytes = read(name).value_or(std::vector<uint8_t>());
            at = streams.emplace(name, std::make_pair(bytes, bytes)).first;
            order.push_back(name);
        }
        return at->second.second;
    };
    // The FIB goes first: once it no longer points at the save history,
    // nothing reads the bytes that are zeroed after it.
    for (const StructureDrop& drop : found.drops) {
        std::vector<uint8_t>& word = stream(u"WordDocument");
        std::fill(word.begin() + static_cast<std::ptrdiff_t>(drop.fibOffset), word.begin() + static_cast<std::ptrdiff_t>(drop.fibOffset + 8), 0);
    }
    for (const StructureDrop& drop : found.drops) {
        std::vector<uint8_t>& table = stream(drop.stream);
        std::fill(table.begin() + static_cast<std::ptrdiff_t>(drop.offset), table.begin() + static_cast<std::ptrdiff_t>(drop.offset + drop.length), 0);
    }
    for (const NameSite& site : found.sites) {
        std::vector<uint8_t>& bytes = stream(site.stream);
        const std::u16string text = Placeholder((site.initials ? initials : people).at(site.name), site.count, site.initials);
        for (size_t i = 0; i < site.count; ++i) {
            if (site.wide) {
                bytes[site.offset + 2 * i] = static_cast<uint8_t>(text[i]);
                bytes[site.offset + 2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
            } else {
                bytes[site.offset + i] = static_cast<uint8_t>(text[i]);
            }
        }
    }
    for (const std::u16string& name : order) {
        const auto& [before, after] = streams.at(name);
        std::vector<storage::StreamPatch> patches = DifferingRanges(before, after);
        if (!patches.empty()) plan.streams.push_back({name, std::move(patches)});
    }
    return plan;
}

void BlankRevisionLogNames(const std::filesystem::path& path) {
    BlankInPlace(path, [](const RootStreamSource& read) { return PlanRevisionLogBlanking(read); });
}

}  // namespace velmora::engine
