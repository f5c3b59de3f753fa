#include "core/rules/DisplayPlatform.h"

#include <gtest/gtest.h>
#include <vector>

TEST(DisplayPlatform, ChoosesX11InWaylandSessionsWithXWaylandTable)
{
    struct Row
    {
        const char* name;
        TDisplayEnvironment environment;
        QByteArray chosen;
    };
    const std::vector<Row> rows = {
        {"wayland with xwayland", {"", "wayland-0", ":0", "wayland"}, "xcb"},
        {"wayland display only", {"", "wayland-0", "", "wayland"}, ""},
        {"session type says wayland", {"", "", ":1", "Wayland"}, "xcb"},
        {"x11 session", {"", "", ":0", "x11"}, ""},
        {"no display at all", {"", "", "", "tty"}, ""},
        {"user chose wayland", {"wayland", "wayland-0", ":0", "wayland"}, ""},
        {"user chose xcb", {"xcb", "", ":0", "x11"}, ""},
        {"user chose offscreen", {"offscreen", "wayland-0", ":0", ""}, ""},
        {"blank choice counts as none", {"  ", "wayland-0", ":0", ""}, "xcb"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ChooseDisplayPlatform(row.environment), row.chosen) << row.name;
}
