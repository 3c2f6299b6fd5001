// What Windows itself knows of the program's window, for the end-to-end test under Wine: the
// X server shows the pixels, but only the system can say whether the window is topmost and
// which region it keeps.
// Usage: e2e_window_facts [--minimize]: of the window titled Vexlo, minimized first with
// --minimize. Prints one NAME VALUE pair a line.
#include "system/win/WindowsApi.h"

#include <cstdio>
#include <cstring>

int main(int AArgc, char** AArgv) {
    const HWND Window = ::FindWindowA(nullptr, "Vexlo");
    if (Window == nullptr) {
        std::printf("found 0\n");
        return 1;
    }
    if (AArgc > 1 && std::strcmp(AArgv[1], "--minimize") == 0) {
        ::ShowWindow(Window, SW_MINIMIZE);
    }
    RECT Frame{};
    ::GetWindowRect(Window, &Frame);
    const LONG_PTR Style = ::GetWindowLongPtrA(Window, GWL_EXSTYLE);
    const HRGN Region = ::CreateRectRgn(0, 0, 0, 0);
    const int Kind = ::GetWindowRgn(Window, Region);
    DWORD Rectangles = 0;
    if (Kind != ERROR) {
        const DWORD Bytes = ::GetRegionData(Region, 0, nullptr);
        if (Bytes >= sizeof(RGNDATAHEADER)) {
            auto* Data = static_cast<RGNDATA*>(::operator new(Bytes));
            if (::GetRegionData(Region, Bytes, Data) != 0) {
                Rectangles = Data->rdh.nCount;
            }
            ::operator delete(Data);
        }
    }
    ::DeleteObject(Region);
    std::printf("found 1\n");
    std::printf("frame %ld %ld %ld %ld\n", Frame.left, Frame.top, Frame.right - Frame.left,
                Frame.bottom - Frame.top);
    std::printf("topmost %d\n", (Style & WS_EX_TOPMOST) != 0 ? 1 : 0);
    // COMPLEXREGION (3): a shape of many rectangles; SIMPLEREGION (2): one; ERROR (0): none.
    std::printf("region %d %lu\n", Kind, Rectangles);
    std::printf("visible %d\n", ::IsWindowVisible(Window) ? 1 : 0);
    std::printf("iconic %d\n", ::IsIconic(Window) ? 1 : 0);
    return 0;
}
