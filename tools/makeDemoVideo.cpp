#include "tools/syntheticVideo.h"

#include <cstdio>
#include <string>

// Makes the demo video: 24 s of a breathing kidney stone at 25 fps, 640 x 480,
// that leaves the imaging plane twice. The same command always makes the same
// video, and the optional CSV tells where the stone really was in each frame.
int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.avi [GROUND_TRUTH.csv]\n", argv[0]);
        return 2;
    }
    const std::string aviPath = argv[1];
    const std::string csvPath = argc == 3 ? argv[2] : "";

    SyntheticVideoSpec spec; // the defaults are the demo
    if (!writeSyntheticVideo(aviPath, csvPath, spec)) {
        std::fprintf(stderr, "make_demo_video: cannot write %s%s%s\n", aviPath.c_str(),
                     csvPath.empty() ? "" : " or ", csvPath.c_str());
        return 1;
    }
    std::printf("wrote %s (%d frames, %dx%d, %g fps)%s%s\n", aviPath.c_str(), spec.frames,
                spec.width, spec.height, spec.fps, csvPath.empty() ? "" : " and ", csvPath.c_str());
    return 0;
}
