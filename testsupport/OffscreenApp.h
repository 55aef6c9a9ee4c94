// main() of the Qt test binaries: a QApplication on Qt's offscreen platform with two screens,
// 1920 x 1080 (primary) and 1280 x 1024 to its right, then every test.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

inline int RunOffscreenTests(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    char path[] = "/tmp/console-screens-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd >= 0) {
        const std::string json =
            R"({"screens": [)"
            R"({"name": "primary", "x": 0, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},)"
            R"({"name": "second", "x": 1920, "y": 0, "width": 1280, "height": 1024, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1})"
            R"(]})";
        if (::write(fd, json.data(), json.size()) != static_cast<ssize_t>(json.size())) std::perror("screens");
        ::close(fd);
        ::setenv("QT_QPA_PLATFORM", (std::string("offscreen:configfile=") + path).c_str(), 1);
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const int result = RUN_ALL_TESTS();
    ::unlink(path);
    return result;
}
