#include "app/CommandLine.h"

#include <cwchar>

#include "util/AsciiCase.h"

namespace {

void ParseHandOver(const std::vector<std::wstring>& args, CommandLineOptions& o) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] != L"/u" || i + 1 >= args.size()) continue;
        // The id argument is examined as an option too on the next round.
        const long id = std::wcstol(args[i + 1].c_str(), nullptr, 10);
        if (id == 0 || id == 4) {
            o.handOverResult = 0;
            return;
        }
        o.handOverIds.push_back(id);
    }
    o.handOverResult = 1;
}

void ParseDirectories(const std::vector<std::wstring>& args, CommandLineOptions& o) {
    for (std::size_t i = 1; i + 1 < args.size(); ++i) {
        if (args[i] != L"/sdir") continue;
        const std::wstring& value = args[i + 1];
        if (value.size() > kSdirValueMax || value.find(L":\\") == std::wstring::npos) return;
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = value.find(L';', start);
            const std::wstring piece = value.substr(start, end == std::wstring::npos ? end : end - start);
            if (!piece.empty()) o.directories.push_back(piece);  // "a;;b" and "a;" leave no empty paths
            if (end == std::wstring::npos) break;
            start = end + 1;
        }
        o.request.directories = true;
    }
}

}  // namespace

CommandLineOptions ParseCommandLine(const std::vector<std::wstring>& args) {
    CommandLineOptions o;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == L"/s") o.silent = true;
        if (args[i] == L"/noone") o.noOne = true;
    }
    const bool manyArgs = args.size() > 2;
    if (!o.silent && manyArgs) ParseHandOver(args, o);
    if (manyArgs) ParseDirectories(args, o);
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == L"/f") {
            o.request.full = true;
        } else if (args[i] == L"/usb") {
            o.request.removable = true;
        } else if (args[i] == L"/a") {
            o.request.all = true;
        } else {
            continue;
        }
        break;  // only the leftmost of the three counts
    }
    return o;
}

int EditionFromPath(const std::wstring& programPath) {
    if (programPath.size() <= 2) return 1;
    return AsciiFindNoCase(programPath, std::wstring(L"velusbkill.exe")) != std::wstring::npos ? 0 : 1;
}

int WindowsVersionClassOf(unsigned platformId, unsigned major, unsigned minor) {
    if (platformId != 2) return 0;
    if (major == 5 && minor == 1) return 1;
    if (major == 6 && minor == 0) return 2;
    if (major == 6 && minor == 1) return 3;
    return 0;
}
