// The host-list reader: for any bytes, loading then saving gives back their lines, each
// followed by CR LF, and nothing crashes. The same bytes then drive the editor as keys.
#include "hosts/HostList.h"
#include "hosts/HostListEditor.h"
#include "hosts/HostListErrors.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {
// The reading rule written out the plain way, byte by byte.
std::string LinesWithCrLf(const std::string& ABytes) {
    std::string Result;
    bool InLine = false;
    for (std::size_t I = 0; I < ABytes.size(); ++I) {
        if (ABytes[I] == '\r' || ABytes[I] == '\n') {
            Result += "\r\n";
            InLine = false;
            if (ABytes[I] == '\r' && I + 1 < ABytes.size() && ABytes[I + 1] == '\n') {
                ++I;
            }
        } else {
            Result += ABytes[I];
            InLine = true;
        }
    }
    return InLine ? Result + "\r\n" : Result;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    const std::string Bytes(reinterpret_cast<const char*>(AData), ASize);
    THostList List;
    List.Assign(Bytes);
    if (List.Bytes() != LinesWithCrLf(Bytes)) {
        __builtin_trap();
    }
    (void)List.LookupDisplayName(Bytes.substr(0, 8));

    THostListEditor Editor(List);
    for (std::size_t I = 0; I < Bytes.size(); ++I) {
        const auto Key = static_cast<unsigned char>(Bytes[I]);
        try {
            switch (Key % 10) {
            case 0:
                Editor.MoveTo(Key / 10 % 8, Key / 80);
                break;
            case 1:
                Editor.Up();
                break;
            case 2:
                Editor.Down();
                break;
            case 3:
                Editor.First();
                break;
            case 4:
                Editor.Last();
                break;
            case 5:
                Editor.Insert();
                break;
            case 6:
                Editor.DeleteCurrent();
                break;
            case 7:
                Editor.Escape();
                break;
            default:
                Editor.SetCellText(Bytes.substr(I + 1, Key % 3));
                break;
            }
        } catch (const EKeyError&) {
        }
        if (Editor.Row() >= Editor.RowCount() ||
            Editor.RowCount() != std::max<std::size_t>(List.Count(), 1)) {
            __builtin_trap();
        }
    }
    return 0;
}
