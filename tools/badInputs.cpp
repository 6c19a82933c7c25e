// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/badInputs.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <numbers>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <random>

namespace badinputs {

namespace {

// Larger pictures are rendered at most this size and scaled up: the generator
// works pixel by pixel and takes seconds for one 4K frame.
const cv::Size largestRendered(640, 480);

std::uint32_t littleEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

void overwriteWithRandomBytes(std::string& bytes, std::size_t from, std::size_t to,
                              std::mt19937& random) {
    for (std::size_t i = from; i < to && i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(random() & 0xFF);
    }
}

// A RIFF file under construction: chunks are opened, filled and closed, and a
// chunk's size is filled in when it is closed.
class RiffWriter {
  public:
    void tag(const char* fourcc) { bytes.append(fourcc, 4); }
    void u16(std::uint32_t value) {
        for (int i = 0; i < 2; ++i) {
            bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        }
    }
    void u32(std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        }
    }
    // Opens a chunk (or, with a list type, a LIST or RIFF) and returns where
    // its contents start.
    std::size_t open(const char* fourcc, const char* listType = nullptr) {
        tag(fourcc);
        u32(0);
        const std::size_t start = bytes.size();
        if (listType) {
            tag(listType);
        }
        return start;
    }
    void close(std::size_t start) {
        const auto size = static_cast<std::uint32_t>(bytes.size() - start);
        for (int i = 0; i < 4; ++i) {
            bytes[start - 4 + static_cast<std::size_t>(i)] =
                static_cast<char>((size >> (8 * i)) & 0xFF);
        }
        if (size % 2 != 0) {
            bytes.push_back('\0');
        }
    }
    std::string bytes;
};

} // namespace

SyntheticVideoSpec crossingStone(cv::Size size, int frames) {
    SyntheticVideoSpec spec;
    spec.width = size.width;
    spec.height = size.height;
    spec.frames = frames;
    spec.stone = [size, frames](int frameIndex) {
        const double step = frames > 1 ? 0.6 * size.width / (frames - 1) : 0.0;
        return StoneState{0.2 * size.width + step * frameIndex, size.height / 2.0, 1.0};
    };
    return spec;
}

bool writeVideoOfAnySize(const std::filesystem::path& path, const SyntheticVideoSpec& spec) {
    const cv::Size size(spec.width, spec.height);
    const double scale = std::min({1.0, static_cast<double>(largestRendered.width) / size.width,
                                   static_cast<double>(largestRendered.height) / size.height});
    SyntheticVideoSpec rendered = spec;
    if (scale < 1.0) {
        rendered.width = std::max(1, static_cast<int>(size.width * scale));
        rendered.height = std::max(1, static_cast<int>(size.height * scale));
        rendered.stone = [spec, scale](int frameIndex) {
            StoneState stone = stoneAt(spec, frameIndex);
            stone.centreX *= scale;
            stone.centreY *= scale;
            return stone;
        };
    }
    std::vector<cv::Mat> frames;
    for (int i = 0; i < spec.frames; ++i) {
        cv::Mat picture = renderFrame(rendered, i);
        if (picture.size() != size) {
            cv::resize(picture, picture, size, 0, 0, cv::INTER_LINEAR);
        }
        frames.push_back(picture);
    }
    return writeMjpegAvi(path, frames, size, spec.fps);
}

bool writeMjpegAvi(const std::filesystem::path& path, const std::vector<cv::Mat>& frames,
                   cv::Size size, double fps) {
    std::vector<std::vector<uchar>> jpegs;
    for (const cv::Mat& frame : frames) {
        jpegs.emplace_back();
        if (frame.type() != CV_8UC3 || !cv::imencode(".jpg", frame, jpegs.back())) {
            return false;
        }
    }
    const auto width = static_cast<std::uint32_t>(size.width);
    const auto height = static_cast<std::uint32_t>(size.height);
    const auto count = static_cast<std::uint32_t>(frames.size());
    const auto rate = static_cast<std::uint32_t>(std::lround(fps));
    std::size_t largest = 0;
    for (const std::vector<uchar>& jpeg : jpegs) {
        largest = std::max(largest, jpeg.size());
    }

    RiffWriter avi;
    const std::size_t riff = avi.open("RIFF", "AVI ");
    const std::size_t headers = avi.open("LIST", "hdrl");
    const std::size_t main = avi.open("avih");
    avi.u32(static_cast<std::uint32_t>(std::lround(1e6 / fps))); // microseconds per frame
    avi.u32(0);                                                  // maximum bytes per second
    avi.u32(0);                                                  // padding granularity
    avi.u32(0x10);                                               // flags: has an index
    avi.u32(count);
    avi.u32(0); // initial frames
    avi.u32(1); // streams
    avi.u32(static_cast<std::uint32_t>(largest));
    avi.u32(width);
    avi.u32(height);
    for (int i = 0; i < 4; ++i) {
        avi.u32(0);
    }
    avi.close(main);
    const std::size_t streamList = avi.open("LIST", "strl");
    const std::size_t stream = avi.open("strh");
    avi.tag("vids");
    avi.tag("MJPG");
    avi.u32(0);     // flags
    avi.u16(0);     // priority
    avi.u16(0);     // language
    avi.u32(0);     // initial frames
    avi.u32(1);     // scale
    avi.u32(rate);  // rate: frames per second
    avi.u32(0);     // start
    avi.u32(count); // length
    avi.u32(static_cast<std::uint32_t>(largest));
    avi.u32(0xFFFFFFFF); // quality: default
    avi.u32(0);          // sample size: varies
    avi.u16(0);
    avi.u16(0);
    avi.u16(width);
    avi.u16(height);
    avi.close(stream);
    const std::size_t format = avi.open("strf");
    avi.u32(40);
    avi.u32(width);
    avi.u32(height);
    avi.u16(1);  // planes
    avi.u16(24); // bits per pixel
    avi.tag("MJPG");
    avi.u32(width * height * 3);
    for (int i = 0; i < 4; ++i) {
        avi.u32(0);
    }
    avi.close(format);
    avi.close(streamList);
    avi.close(headers);

    const std::size_t movi = avi.open("LIST", "movi");
    std::vector<std::size_t> offsets;
    for (const std::vector<uchar>& jpeg : jpegs) {
        offsets.push_back(avi.bytes.size() - movi);
        const std::size_t chunk = avi.open("00dc");
        avi.bytes.append(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
        avi.close(chunk);
    }
    avi.close(movi);
    const std::size_t index = avi.open("idx1");
    for (std::size_t i = 0; i < jpegs.size(); ++i) {
        avi.tag("00dc");
        avi.u32(0x10);                                   // a key frame
        avi.u32(static_cast<std::uint32_t>(offsets[i])); // from the "movi" tag
        avi.u32(static_cast<std::uint32_t>(jpegs[i].size()));
    }
    avi.close(index);
    avi.close(riff);
    return writeFile(path, avi.bytes);
}

bool writeWithHeaderCount(const std::filesystem::path& source, const std::filesystem::path& target,
                          std::uint32_t headerCount, bool keepIndex) {
    std::string bytes = readFile(source);
    const std::size_t mainHeader = bytes.find("avih");
    const std::size_t streamHeader = bytes.find("strh");
    const std::size_t index = bytes.rfind("idx1");
    if (mainHeader == std::string::npos || streamHeader == std::string::npos) {
        return false;
    }
    const auto put = [&bytes](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    };
    // After the chunk's tag and size: the main header's total frames is its
    // fifth field, the stream header's length its ninth.
    put(mainHeader + 8 + 16, headerCount);
    put(streamHeader + 8 + 32, headerCount);
    if (!keepIndex && index != std::string::npos) {
        const std::uint32_t flags = littleEndian32(bytes, mainHeader + 8 + 12);
        put(mainHeader + 8 + 12, flags & ~0x10u);
        bytes.resize(index);
        put(4, static_cast<std::uint32_t>(bytes.size() - 8));
    }
    return writeFile(target, bytes);
}

bool writeVideoWithoutFrames(const std::filesystem::path& path, cv::Size size) {
    return writeMjpegAvi(path, {}, size, 25.0);
}

bool writeEmptyFile(const std::filesystem::path& path) {
    return writeFile(path, {});
}

bool writeRandomBytes(const std::filesystem::path& path, std::size_t count, unsigned seed) {
    std::string bytes(count, '\0');
    std::mt19937 random(seed);
    overwriteWithRandomBytes(bytes, 0, count, random);
    return writeFile(path, bytes);
}

std::vector<FrameChunk> frameChunks(const std::string& bytes) {
    std::vector<FrameChunk> chunks;
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "AVI ") != 0) {
        return chunks;
    }
    const std::size_t movi = bytes.find("movi", 12);
    if (movi == std::string::npos) {
        return chunks;
    }
    std::size_t at = movi + 4;
    while (at + 8 <= bytes.size()) {
        const std::string id = bytes.substr(at, 4);
        const std::size_t size = littleEndian32(bytes, at + 4);
        if (id == "idx1" || at + 8 + size > bytes.size()) {
            break;
        }
        if (id.compare(2, 2, "dc") == 0 || id.compare(2, 2, "db") == 0) {
            chunks.push_back({at + 8, size});
        }
        at += 8 + size + (size % 2);
    }
    return chunks;
}

bool writeCutShort(const std::filesystem::path& source, const std::filesystem::path& target,
                   double keptFraction) {
    const std::string bytes = readFile(source);
    if (bytes.empty()) {
        return false;
    }
    return writeFile(target,
                     bytes.substr(0, static_cast<std::size_t>(bytes.size() * keptFraction)));
}

bool writeWithDamagedFrames(const std::filesystem::path& source,
                            const std::filesystem::path& target, int first, int count,
                            unsigned seed) {
    std::string bytes = readFile(source);
    const std::vector<FrameChunk> chunks = frameChunks(bytes);
    if (first < 0 || count < 0 || static_cast<std::size_t>(first + count) > chunks.size()) {
        return false;
    }
    std::mt19937 random(seed);
    for (int i = first; i < first + count; ++i) {
        const FrameChunk& chunk = chunks[static_cast<std::size_t>(i)];
        overwriteWithRandomBytes(bytes, chunk.offset, chunk.offset + chunk.size, random);
    }
    return writeFile(target, bytes);
}

bool writeWithDamagedStretch(const std::filesystem::path& source,
                             const std::filesystem::path& target, double from, double to,
                             unsigned seed) {
    std::string bytes = readFile(source);
    if (bytes.empty()) {
        return false;
    }
    std::mt19937 random(seed);
    overwriteWithRandomBytes(bytes, static_cast<std::size_t>(bytes.size() * from),
                             static_cast<std::size_t>(bytes.size() * to), random);
    return writeFile(target, bytes);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

SyntheticVideoSpec damageSource() {
    SyntheticVideoSpec spec;
    spec.width = 160;
    spec.height = 120;
    spec.frames = damageSourceFrames;
    spec.stone = [](int frameIndex) {
        return StoneState{80.0 + 8.0 * std::sin(2.0 * std::numbers::pi * frameIndex / breathFrames),
                          60.0, 1.0};
    };
    return spec;
}

std::vector<CorpusFile> writeCorpus(const std::filesystem::path& directory) {
    std::vector<CorpusFile> corpus;
    bool written = true;
    const auto add = [&](const std::string& name, bool playable, const std::string& what, bool ok) {
        corpus.push_back({name, directory / name, playable, what});
        written = written && ok;
    };
    const auto at = [&directory](const std::string& name) { return directory / name; };

    add("empty.avi", false, "an empty file", writeEmptyFile(at("empty.avi")));
    add("random.avi", false, "64 KiB of random bytes named .avi",
        writeRandomBytes(at("random.avi"), 64 * 1024, 1));
    add("no-frames.avi", false, "an AVI whose stream has no frame",
        writeVideoWithoutFrames(at("no-frames.avi"), {64, 48}));
    std::error_code error;
    std::filesystem::create_directory(at("folder.avi"), error);
    add("folder.avi", false, "a directory given as the video", !error);

    // The damaged copies are made from a video written the usual way, by FFmpeg.
    const std::filesystem::path source = at("source.avi");
    const bool sourceWritten = writeSyntheticVideo(source.string(), "", damageSource());
    add("cut-in-half.avi", true, "an AVI cut after half of its bytes",
        sourceWritten && writeCutShort(source, at("cut-in-half.avi"), 0.5));
    add("damaged-frames.avi", true, "an AVI whose frames 20 to 29 are random bytes",
        sourceWritten && writeWithDamagedFrames(source, at("damaged-frames.avi"), firstDamagedFrame,
                                                damagedFrames, 2));
    add("damaged-middle.avi", true,
        "an AVI with random bytes over the middle fifth, chunk headers and all",
        sourceWritten && writeWithDamagedStretch(source, at("damaged-middle.avi"), 0.4, 0.6, 3));
    std::filesystem::remove(source, error);

    for (const cv::Size size : {cv::Size(1, 1), cv::Size(64, 48), cv::Size(399, 299),
                                cv::Size(401, 301), cv::Size(3840, 2160)}) {
        const std::string name =
            "size-" + std::to_string(size.width) + "x" + std::to_string(size.height) + ".avi";
        const bool large = size.area() > largestRendered.area();
        add(name, true,
            "a " + std::to_string(size.width) + " x " + std::to_string(size.height) + " video",
            writeVideoOfAnySize(at(name), crossingStone(size, large ? 4 : 12)));
    }

    const std::string latin1Name = "bl\u00e5 s\u00f8ndag.avi";
    add(latin1Name, true, "a name with the Latin-1 letters \u00e5 and \u00f8",
        writeVideoOfAnySize(at(latin1Name), crossingStone({160, 120}, 12)));
    const std::string foreignName = "nyre \u03a9 \u814e\u81d3.avi";
    add(foreignName, true, "a name with letters outside Latin-1",
        writeVideoOfAnySize(at(foreignName), crossingStone({160, 120}, 12)));
    std::filesystem::create_directory(at("a folder with spaces"), error);
    const std::string spacedName = "a folder with spaces/my video 1.avi";
    add(spacedName, true, "a path with spaces",
        !error && writeVideoOfAnySize(at(spacedName), crossingStone({160, 120}, 12)));

    if (!written) {
        return {};
    }
    return corpus;
}

} // namespace badinputs
