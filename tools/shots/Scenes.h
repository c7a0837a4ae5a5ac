#pragma once
// The scenes the manual's pictures are taken in, each on its own simulated bench.
#include <QString>
#include <string>
#include <vector>

namespace fd::shots {

// Every picture, by the file name the manual refers to it by.
inline constexpr const char* kShotNames[] = {
    "main-window.png", "main-gang-run.png", "main-gang-results.png", "about.png",  "first-run.png",
    "single-operation.png", "id-code.png",  "power.png",            "loading.png", "erase.png",
    "address.png",     "read.png",          "top-address.png",      "firmware-update.png", "message-box.png",
};

// Takes every picture into `outDir` (which exists), working in the empty folder `appDir`
// (ending in '/') as the program's own; `resDir` holds the shipped device database.
// Returns one line for each picture that could not be taken as it should be.
std::vector<std::string> TakeShots(const QString& outDir, const std::string& appDir, const std::string& resDir);

}  // namespace fd::shots
