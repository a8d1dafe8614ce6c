/*
 * test_device.h - plays through the test sound card: ALSA is pointed at the
 * configuration and the kvtest plugin that the build puts in
 * <build>/testaudio, beside the bin folder of the test or benchmark, and the
 * played frames go to a file of the caller's choosing. Header-only, so the
 * playback benchmark can use it too.
 */
#ifndef KV_TEST_AUDIO_TEST_DEVICE_H
#define KV_TEST_AUDIO_TEST_DEVICE_H

#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using KvStereoFrame = std::array<int16_t, 2>;

inline std::string kvTestAudioFolder() {
    std::error_code ignored;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ignored);
    return (program.parent_path().parent_path() / "testaudio").string();
}

/* Must run before the engine first touches the sound card; the output file
 * may change between plays (the device reads its name at every open). */
inline void kvUseTestAudioDevice(const std::string &outputFile) {
    std::string folder = kvTestAudioFolder();
    setenv("ALSA_CONFIG_PATH", (folder + "/asound.conf").c_str(), 1);
    setenv("ALSA_PLUGIN_DIR", folder.c_str(), 1);
    setenv("KV_TEST_AUDIO_OUT", outputFile.c_str(), 1);
}

/* Frames the device has played so far into the file. */
inline int64_t kvPlayedFrameCount(const std::string &outputFile) {
    struct stat info;
    return stat(outputFile.c_str(), &info) == 0 ? info.st_size / 4 : 0;
}

inline std::vector<KvStereoFrame> kvReadPlayedFrames(const std::string &outputFile) {
    std::ifstream in(outputFile, std::ios::binary);
    std::vector<KvStereoFrame> frames;
    KvStereoFrame frame;
    while (in.read(reinterpret_cast<char *>(frame.data()), sizeof frame))
        frames.push_back(frame);
    return frames;
}

#endif
