#include "hosts/HostList.h"

#include "hosts/HostListErrors.h"
#include "system/System.h"

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// A line is either a stretch of the file's bytes as loaded or, once edited or inserted, a
// slot of the side store. One span per line and no string of its own keeps a list of a
// million entries within a small multiple of its file's size.
struct TSpan {
    std::uint64_t Offset; // into the loaded bytes, or a side slot when SideBit is set
    std::uint64_t Length; // unused for a side slot
};
constexpr std::uint64_t SideBit = std::uint64_t{1} << 63;

std::size_t EqualsPos(std::string_view ALine) {
    const auto* Found = static_cast<const char*>(std::memchr(ALine.data(), '=', ALine.size()));
    return Found == nullptr ? std::string_view::npos
                            : static_cast<std::size_t>(Found - ALine.data());
}

const char* FindOrEnd(const char* AFrom, const char* AEnd, char AByte) {
    const void* Found = std::memchr(AFrom, AByte, static_cast<std::size_t>(AEnd - AFrom));
    return Found == nullptr ? AEnd : static_cast<const char*>(Found);
}

} // namespace

struct THostList::TImpl {
    std::string Bytes;
    std::vector<TSpan> Spans;
    std::vector<std::string> Side;
    std::vector<std::uint64_t> FreeSlots;

    std::string_view Line(std::size_t AIndex) const {
        const TSpan& Span = Spans[AIndex];
        if (Span.Offset & SideBit) {
            return Side[Span.Offset & ~SideBit];
        }
        return {Bytes.data() + Span.Offset, Span.Length};
    }

    TSpan NewSideLine(std::string ALine) {
        std::uint64_t Slot;
        if (FreeSlots.empty()) {
            Slot = Side.size();
            Side.push_back(std::move(ALine));
        } else {
            Slot = FreeSlots.back();
            FreeSlots.pop_back();
            Side[Slot] = std::move(ALine);
        }
        return {Slot | SideBit, 0};
    }

    void Replace(std::size_t AIndex, std::string ALine) {
        TSpan& Span = Spans[AIndex];
        if (Span.Offset & SideBit) {
            Side[Span.Offset & ~SideBit] = std::move(ALine);
        } else {
            Span = NewSideLine(std::move(ALine));
        }
    }

    void Release(const TSpan& ASpan) {
        if (ASpan.Offset & SideBit) {
            const std::uint64_t Slot = ASpan.Offset & ~SideBit;
            std::string().swap(Side[Slot]);
            FreeSlots.push_back(Slot);
        }
    }
};

THostList::THostList() = default;
THostList::~THostList() = default;
THostList::THostList(THostList&&) noexcept = default;
THostList& THostList::operator=(THostList&&) noexcept = default;

std::size_t THostList::Count() const {
    return FImpl == nullptr ? 0 : FImpl->Spans.size();
}

std::string_view THostList::Line(std::size_t AIndex) const {
    return FImpl->Line(AIndex);
}

std::string_view THostList::Address(std::size_t AIndex) const {
    const std::string_view Text = Line(AIndex);
    const std::size_t Pos = EqualsPos(Text);
    return Pos == std::string_view::npos ? std::string_view() : Text.substr(0, Pos);
}

std::string_view THostList::DisplayName(std::size_t AIndex) const {
    const std::string_view Text = Line(AIndex);
    const std::size_t Pos = EqualsPos(Text);
    return Pos == std::string_view::npos ? Text : Text.substr(Pos + 1);
}

bool THostList::IsEmptyEntry(std::size_t AIndex) const {
    const std::string_view Text = Line(AIndex);
    return Text.empty() || Text == "=";
}

void THostList::Assign(std::string ABytes) {
    TImpl Fresh;
    Fresh.Bytes = std::move(ABytes);
    const char* const Begin = Fresh.Bytes.data();
    const char* const End = Begin + Fresh.Bytes.size();
    // Two memchr searches, each redone only once passed, find the next CR and LF far
    // faster than a byte loop; a zero byte is just a byte of its line.
    const char* Pos = Begin;
    const char* NextCR = FindOrEnd(Pos, End, '\r');
    const char* NextLF = FindOrEnd(Pos, End, '\n');
    while (Pos < End) {
        if (NextCR < Pos) {
            NextCR = FindOrEnd(Pos, End, '\r');
        }
        if (NextLF < Pos) {
            NextLF = FindOrEnd(Pos, End, '\n');
        }
        const char* LineEnd = NextCR < NextLF ? NextCR : NextLF;
        Fresh.Spans.push_back(
            {static_cast<std::uint64_t>(Pos - Begin), static_cast<std::uint64_t>(LineEnd - Pos)});
        if (LineEnd == End) {
            break;
        }
        Pos = LineEnd + 1;
        if (*LineEnd == '\r' && Pos < End && *Pos == '\n') {
            ++Pos;
        }
    }
    // Growth can leave up to half the index unused, and a list lives as long as the window;
    // but the copy that gives it back costs as much as the rest of the load, so it is made
    // only when more than a quarter would be wasted.
    if (Fresh.Spans.capacity() - Fresh.Spans.size() > Fresh.Spans.size() / 4) {
        Fresh.Spans.shrink_to_fit();
    }
    FImpl = std::make_unique<TImpl>(std::move(Fresh));
}

std::string THostList::Bytes() const {
    std::string Result;
    ForEachPiece([&Result](std::string_view APiece) { Result += APiece; });
    return Result;
}

void THostList::ForEachPiece(const std::function<void(std::string_view)>& AWrite) const {
    if (FImpl == nullptr) {
        return;
    }
    // Unedited lines that lie in the file with their CR LF go out as runs of its bytes, as
    // they are; short runs and rebuilt lines are gathered, since a write per line would cost
    // more than the copy.
    constexpr std::size_t LargeRun = std::size_t{64} << 10;
    constexpr std::size_t GatherSize = std::size_t{1} << 20;
    const std::string_view Bytes = FImpl->Bytes;
    std::string Gathered;
    const auto Gather = [&](std::string_view APiece) {
        Gathered.append(APiece);
        if (Gathered.size() >= GatherSize) {
            AWrite(Gathered);
            Gathered.clear();
        }
    };
    std::size_t RunStart = 0;
    std::size_t RunEnd = 0; // empty when equal
    const auto EndRun = [&] {
        const std::string_view Run = Bytes.substr(RunStart, RunEnd - RunStart);
        if (Run.size() < LargeRun) {
            Gather(Run);
        } else {
            if (!Gathered.empty()) {
                AWrite(Gathered);
                Gathered.clear();
            }
            AWrite(Run);
        }
        RunStart = RunEnd = 0;
    };
    for (const TSpan& Span : FImpl->Spans) {
        const std::size_t End = Span.Offset + Span.Length;
        if (!(Span.Offset & SideBit) && End + 2 <= Bytes.size() && Bytes[End] == '\r' &&
            Bytes[End + 1] == '\n') {
            if (RunEnd != Span.Offset) {
                EndRun();
                RunStart = Span.Offset;
            }
            RunEnd = End + 2;
            continue;
        }
        EndRun();
        Gather(FImpl->Line(static_cast<std::size_t>(&Span - FImpl->Spans.data())));
        Gather("\r\n");
    }
    EndRun();
    if (!Gathered.empty()) {
        AWrite(Gathered);
    }
}

void THostList::Clear() {
    FImpl.reset();
}

void THostList::Insert(std::size_t AIndex, std::string_view ALine) {
    if (FImpl == nullptr) {
        FImpl = std::make_unique<TImpl>();
    }
    const TSpan Span = FImpl->NewSideLine(std::string(ALine));
    FImpl->Spans.insert(FImpl->Spans.begin() + static_cast<std::ptrdiff_t>(AIndex), Span);
}

void THostList::Append(std::string_view ALine) {
    Insert(Count(), ALine);
}

void THostList::Delete(std::size_t AIndex) {
    FImpl->Release(FImpl->Spans[AIndex]);
    FImpl->Spans.erase(FImpl->Spans.begin() + static_cast<std::ptrdiff_t>(AIndex));
}

void THostList::SetAddress(std::size_t AIndex, std::string_view AAddress) {
    if (AAddress.find('=') != std::string_view::npos) {
        throw EKeyError();
    }
    // Built apart first: the old name may live in the very string being replaced.
    const std::string_view Name = DisplayName(AIndex);
    std::string Text;
    Text.reserve(AAddress.size() + 1 + Name.size());
    Text.append(AAddress).append(1, '=').append(Name);
    FImpl->Replace(AIndex, std::move(Text));
}

void THostList::SetDisplayName(std::size_t AIndex, std::string_view AName) {
    const std::string_view Address = this->Address(AIndex);
    std::string Text;
    Text.reserve(Address.size() + 1 + AName.size());
    Text.append(Address).append(1, '=').append(AName);
    FImpl->Replace(AIndex, std::move(Text));
}

void THostList::SetLine(std::size_t AIndex, std::string_view ALine) {
    FImpl->Replace(AIndex, std::string(ALine));
}

std::optional<std::string> THostList::LookupDisplayName(std::string_view AText) const {
    for (std::size_t I = 0; I < Count(); ++I) {
        const std::string_view Text = Line(I);
        const std::size_t Pos = EqualsPos(Text);
        // Just after the address and one more character: past the "=", or past the first
        // character of a line without one.
        const std::size_t NameStart = Pos == std::string_view::npos ? 1 : Pos + 1;
        const std::string_view Name =
            NameStart <= Text.size() ? Text.substr(NameStart) : std::string_view();
        if (System::SameTextLocale(AText, Name)) {
            return std::string(Pos == std::string_view::npos ? std::string_view()
                                                             : Text.substr(0, Pos));
        }
    }
    return std::nullopt;
}
