// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/packetReader.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

JpegTables jpegTables(const unsigned char* bytes, std::size_t size) {
    JpegTables tables;
    if (size < 4 || bytes[0] != 0xff || bytes[1] != 0xd8) {
        return tables;
    }
    std::size_t at = 2;
    while (at + 4 <= size) {
        if (bytes[at] != 0xff) {
            return tables;
        }
        const unsigned char marker = bytes[at + 1];
        if (marker == 0xff) { // fill byte before a marker
            ++at;
            continue;
        }
        if (marker == 0xda) {
            tables.wellFormed = true;
            return tables;
        }
        tables.quantisation = tables.quantisation || marker == 0xdb;
        tables.huffman = tables.huffman || marker == 0xc4;
        at += 2 + ((std::size_t{bytes[at + 2]} << 8) | bytes[at + 3]);
    }
    return tables;
}

void JpegStreamCheck::add(const JpegTables& tables) {
    if (pictures++ == 0) {
        firstHasHuffman = tables.huffman;
    }
    alone = alone && tables.wellFormed && tables.quantisation && tables.huffman == firstHasHuffman;
}

namespace {

// As OpenCV's capture gives up a read after this many packets of other streams.
constexpr int otherPacketsAtMost = 4096;

template <auto free> struct Freeing {
    template <typename T> void operator()(T* pointer) const { free(&pointer); }
};

} // namespace

struct PacketReader::Decoding {
    std::unique_ptr<AVFormatContext, Freeing<avformat_close_input>> format;
    std::unique_ptr<AVCodecContext, Freeing<avcodec_free_context>> codec;
    std::unique_ptr<AVPacket, Freeing<av_packet_free>> packet{av_packet_alloc()};
    std::unique_ptr<AVFrame, Freeing<av_frame_free>> picture{av_frame_alloc()};
    std::unique_ptr<AVFrame, Freeing<av_frame_free>> converted{av_frame_alloc()};
    SwsContext* conversion = nullptr;
    int rowBytes = 0;
    int stream = -1;
    std::int64_t firstStamp = 0;
    bool pastEnd = false;

    ~Decoding() { sws_freeContext(conversion); }

    const AVStream& videoStream() const { return *format->streams[stream]; }
    std::int64_t stampOf(std::int64_t frame) const { return firstStamp + frame; }
    std::int64_t frameOf(std::int64_t stamp) const {
        return stamp == AV_NOPTS_VALUE ? -1 : stamp - firstStamp;
    }

    // The picture just decoded, in BGR, as OpenCV's capture converts it: the
    // whole coded size through one bicubic context into rows as far apart
    // as av_frame_get_buffer puts them; but straight into the frame handed
    // out (rows that far apart, the picture's own size), not into a buffer
    // copied from.
    bool convert(cv::Mat& frame) {
        const int width = codec->coded_width;
        const int height = codec->coded_height;
        conversion = sws_getCachedContext(
            conversion, width, height, static_cast<AVPixelFormat>(picture->format), width, height,
            AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!conversion || !fitConvertedRows(width, height)) {
            return false;
        }
        const std::size_t bytes = static_cast<std::size_t>(rowBytes) * height;
        const bool reusable = frame.type() == CV_8UC3 && frame.rows == codec->height &&
                              frame.cols == codec->width &&
                              frame.step[0] == static_cast<std::size_t>(rowBytes) &&
                              frame.u != nullptr && frame.u->refcount == 1 &&
                              static_cast<std::size_t>(frame.datalimit - frame.data) >= bytes;
        if (!reusable) {
            cv::Mat rows(height, rowBytes, CV_8UC1);
            frame = rows(cv::Rect(0, 0, codec->width * 3, codec->height)).reshape(3);
        }
        uint8_t* const target[4] = {frame.data, nullptr, nullptr, nullptr};
        const int targetSteps[4] = {rowBytes, 0, 0, 0};
        sws_scale(conversion, picture->data, picture->linesize, 0, height, target, targetSteps);
        return true;
    }

    // The row length av_frame_get_buffer gives a BGR picture `width` wide.
    bool fitConvertedRows(int width, int height) {
        if (converted->width == width && converted->height == height) {
            return true;
        }
        av_frame_unref(converted.get());
        converted->format = AV_PIX_FMT_BGR24;
        converted->width = width;
        converted->height = height;
        if (av_frame_get_buffer(converted.get(), 32) != 0) {
            return false;
        }
        rowBytes = converted->linesize[0];
        av_frame_unref(converted.get());
        converted->width = width;
        converted->height = height;
        return true;
    }
};

PacketReader::PacketReader(std::string fileName, double framesPerSecond)
    : name(std::move(fileName)), framesPerSecond(framesPerSecond) {}
PacketReader::~PacketReader() = default;

bool PacketReader::openStream() {
    decoding = std::make_unique<Decoding>();
    Decoding& d = *decoding;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, name.c_str(), nullptr, nullptr) < 0) {
        return false;
    }
    // No probing of the stream (avformat_find_stream_info decodes seconds
    // of it): the container's header says all that is needed.
    d.format.reset(format);
    for (unsigned i = 0; i < format->nb_streams && d.stream < 0; ++i) {
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            d.stream = static_cast<int>(i);
        }
    }
    if (d.stream < 0) {
        return false;
    }
    const AVStream& stream = d.videoStream();
    const AVCodecID codecId = stream.codecpar->codec_id;
    // One time stamp per frame at the capture's frame rate, as the capture
    // counts frames from time stamps.
    const double stampsPerFrame = av_q2d(stream.time_base) * framesPerSecond;
    if ((codecId != AV_CODEC_ID_MJPEG && codecId != AV_CODEC_ID_RAWVIDEO) ||
        std::abs(stampsPerFrame - 1.0) > 1e-9) {
        return false;
    }
    d.firstStamp = stream.start_time == AV_NOPTS_VALUE ? 0 : stream.start_time;
    const AVCodec* decoder = avcodec_find_decoder(codecId);
    d.codec.reset(avcodec_alloc_context3(decoder));
    return decoder && d.codec && d.packet && d.picture && d.converted &&
           avcodec_parameters_to_context(d.codec.get(), stream.codecpar) >= 0 &&
           avcodec_open2(d.codec.get(), decoder, nullptr) >= 0;
}

std::unique_ptr<PacketReader> PacketReader::open(const std::string& fileName,
                                                 std::int64_t frameCount, double framesPerSecond) {
    std::unique_ptr<PacketReader> reader(new PacketReader(fileName, framesPerSecond));
    if (frameCount < 2 || !reader->openStream()) {
        return nullptr;
    }
    Decoding& d = *reader->decoding;
    const bool jpeg = d.videoStream().codecpar->codec_id == AV_CODEC_ID_MJPEG;
    JpegStreamCheck tables;
    std::int64_t packets = 0;
    AVPacket* packet = d.packet.get();
    while (av_read_frame(d.format.get(), packet) >= 0) {
        if (packet->stream_index == d.stream) {
            const std::int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            const bool inPlace = (packet->flags & AV_PKT_FLAG_KEY) != 0 &&
                                 d.frameOf(stamp) == packets && packets < frameCount;
            if (jpeg) {
                tables.add(jpegTables(packet->data, static_cast<std::size_t>(packet->size)));
            }
            ++packets;
            if (!inPlace || !tables.codedAlone()) {
                av_packet_unref(packet);
                return nullptr;
            }
        }
        av_packet_unref(packet);
    }
    if (packets != frameCount) {
        return nullptr;
    }
    reader->frameCount = frameCount;
    reader->seek(0);
    return reader;
}

// Beside the reader it makes, so that the capture's file needs no word of it.
std::unique_ptr<FrameReader> CaptureReader::openAnother() const {
    return PacketReader::open(name, frameCount, framesPerSecond);
}

std::unique_ptr<FrameReader> PacketReader::openAnother() const {
    std::unique_ptr<PacketReader> another(new PacketReader(name, framesPerSecond));
    if (!another->openStream()) {
        return nullptr;
    }
    another->frameCount = frameCount;
    another->seek(0);
    return another;
}

void PacketReader::seek(std::int64_t index) {
    Decoding& d = *decoding;
    next = std::clamp<std::int64_t>(index, 0, frameCount);
    lastFrame = -1;
    d.pastEnd = next >= frameCount;
    if (!d.pastEnd) {
        av_seek_frame(d.format.get(), d.stream, d.stampOf(next), AVSEEK_FLAG_BACKWARD);
    }
    avcodec_flush_buffers(d.codec.get());
}

bool PacketReader::read(cv::Mat& frame) {
    Decoding& d = *decoding;
    lastFrame = -1;
    int otherPackets = 0;
    AVPacket* packet = d.packet.get();
    while (!d.pastEnd) {
        const int result = av_read_frame(d.format.get(), packet);
        if (result == AVERROR(EAGAIN)) {
            continue;
        }
        if (result < 0) {
            d.pastEnd = true;
            break;
        }
        if (packet->stream_index != d.stream) {
            av_packet_unref(packet);
            if (++otherPackets > otherPacketsAtMost) {
                break;
            }
            continue;
        }
        const bool sent = avcodec_send_packet(d.codec.get(), packet) >= 0;
        av_packet_unref(packet);
        const int decoded = sent ? avcodec_receive_frame(d.codec.get(), d.picture.get()) : -1;
        if (decoded == AVERROR(EAGAIN)) {
            continue;
        }
        if (decoded < 0 || !d.convert(frame)) {
            // As the capture: the packet is gone, the read failed, and the
            // position stays.
            av_frame_unref(d.picture.get());
            return false;
        }
        lastFrame = d.frameOf(d.picture->best_effort_timestamp);
        av_frame_unref(d.picture.get());
        ++next;
        return true;
    }
    return false;
}

bool PacketReader::lastReadWasFrame(std::int64_t index) {
    return lastFrame >= 0 && lastFrame == index;
}
