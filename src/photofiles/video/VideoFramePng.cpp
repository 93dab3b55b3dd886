// The tavrin_video module: a video's first frame as PNG, its track rotation applied. A module of
// its own so that the video libraries are loaded by the first video thumbnail, not at start-up.

#include <libffmpegthumbnailer/videothumbnailer.h>

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

extern "C" __attribute__((visibility("default"))) bool tavrin_video_frame_png(const char* path, int maxPixel,
                                                                             std::vector<uint8_t>* png)
{
    try {
        ffmpegthumbnailer::VideoThumbnailer thumbnailer(maxPixel, false, true, 8, false);
        thumbnailer.setLogCallback([](ThumbnailerLogLevel, const std::string&) {});
        thumbnailer.setPreferEmbeddedMetadata(false);
        thumbnailer.setSeekTime("00:00:00");
        thumbnailer.generateThumbnail(path, ThumbnailerImageType::Png, *png);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
