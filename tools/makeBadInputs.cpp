// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/badInputs.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

// make_bad_inputs DIRECTORY: writes the corpus of awkward and damaged inputs
// into DIRECTORY, with the two surroundings that go wrong beside it (a working
// directory that cannot be written and one whose log name is a directory), and
// lists what it wrote. `tessavolant PATH` can then be tried on each file.
int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bad_inputs DIRECTORY\n");
        return 2;
    }
    const std::filesystem::path directory = argv[1];
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        std::fprintf(stderr, "make_bad_inputs: cannot create %s: %s\n", argv[1],
                     error.message().c_str());
        return 1;
    }
    const std::vector<badinputs::CorpusFile> corpus = badinputs::writeCorpus(directory);
    if (corpus.empty()) {
        std::fprintf(stderr, "make_bad_inputs: cannot write the corpus into %s\n", argv[1]);
        return 1;
    }

    const std::filesystem::path readOnly = directory / "read-only working directory";
    std::filesystem::create_directory(readOnly, error);
    std::filesystem::permissions(
        readOnly,
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
            std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
            std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
        error);
    std::filesystem::create_directories(directory / "log name taken" / "loggfile.txt", error);

    for (const badinputs::CorpusFile& file : corpus) {
        std::printf("%-40s %-9s %s\n", file.path.string().c_str(),
                    file.playable ? "plays" : "refused", file.what.c_str());
    }
    std::printf("%-40s %-9s %s\n", readOnly.string().c_str(), "(cwd)",
                "a working directory that cannot be written (not for root)");
    std::printf("%-40s %-9s %s\n", (directory / "log name taken").string().c_str(), "(cwd)",
                "a working directory whose loggfile.txt is a directory");
    return 0;
}
