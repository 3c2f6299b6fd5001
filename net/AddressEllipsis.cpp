#include "net/AddressEllipsis.h"

#include <vector>

namespace {
// The groups of an address text: where each starts and ends. The colons between them (one,
// or two where zero groups were left out) lie between the end of one and the start of the
// next. A dotted tail or a zone stays with the last group, and a "::" that starts or ends
// the text with its neighbour, so that no group is empty.
struct TGroup {
    size_t Start;
    size_t End;
};

std::vector<TGroup> SplitGroups(std::string_view AText) {
    std::vector<TGroup> Groups;
    size_t Start = 0;
    for (size_t I = 0; I <= AText.size(); ++I) {
        if (I < AText.size() && AText[I] != ':') {
            continue;
        }
        Groups.push_back({Start, I});
        while (I + 1 < AText.size() && AText[I + 1] == ':') {
            ++I;
        }
        Start = I + 1;
    }
    if (Groups.size() > 1 && Groups.front().End == 0) {
        Groups.erase(Groups.begin());
        Groups.front().Start = 0;
    }
    if (Groups.size() > 1 && Groups.back().Start == AText.size()) {
        Groups.pop_back();
        Groups.back().End = AText.size();
    }
    return Groups;
}
} // namespace

std::string ShortenAddress(std::string_view AAddress, const TTextWidth& AWidth, int ABoxWidth,
                           std::string_view AEllipsis) {
    if (AWidth(AAddress) <= ABoxWidth) {
        return std::string(AAddress);
    }
    const std::vector<TGroup> Groups = SplitGroups(AAddress);
    const size_t Count = Groups.size();
    // Text without groups (a dotted quad, a name) is not cut: the box clips it.
    if (Count < 2) {
        return std::string(AAddress);
    }
    std::string Candidate;
    // Keeping every group but one saves nothing worth an ellipsis; fewer are tried down to
    // one on each side, then one leading group alone.
    for (size_t Kept = Count - 1; Kept > 0; --Kept) {
        const size_t Leading = (Kept + 1) / 2;
        const size_t Trailing = Kept - Leading;
        Candidate = std::string(AAddress.substr(0, Groups[Leading - 1].End));
        Candidate += AEllipsis;
        if (Trailing > 0) {
            Candidate += AAddress.substr(Groups[Count - Trailing].Start - 1);
        }
        if (AWidth(Candidate) <= ABoxWidth || Kept == 1) {
            break;
        }
    }
    return Candidate;
}
