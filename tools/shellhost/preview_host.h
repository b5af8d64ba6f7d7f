// What Explorer's preview pane gives a preview handler: the handler registered for .dfu
// files, found as the shell finds it, and a window on screen to draw into, whose pixels can
// be read back.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The CLSID (as text) of the preview handler of .dfu files: the entry under the file
// type's ProgID, else under the extension itself; empty when there is none.
std::wstring RegisteredPreviewHandler();

class PreviewPane {
public:
    explicit PreviewPane(SIZE size);
    ~PreviewPane();
    PreviewPane(const PreviewPane&) = delete;
    PreviewPane& operator=(const PreviewPane&) = delete;

    HWND window() const noexcept { return m_window; }
    RECT client() const noexcept;
    void Resize(SIZE size) noexcept;

    // Runs every message waiting for this thread, so that the handler's paints are done.
    static void Pump() noexcept;
    // The window's pixels as drawn, rows from the top, each 0x00RRGGBB; empty on failure.
    std::vector<std::uint32_t> Pixels(SIZE& size) const;

private:
    HWND m_window = nullptr;
};
